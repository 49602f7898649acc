#pragma once

#include "platform/ui/View.h"

namespace hestio::platform {

class Image;

enum class ContentMode { ScaleToFill, ScaleAspectFit, ScaleAspectFill, Center, Top, Bottom, Left, Right };

/// Shows an image (or its highlighted image while highlighted). Stretchable
/// images keep their caps as the view grows.
class ImageView : public View {
public:
    [[nodiscard]] static std::shared_ptr<ImageView> create(Rect frame = {});
    /// Sized to the image.
    [[nodiscard]] static std::shared_ptr<ImageView> create(std::shared_ptr<const Image> image);
    explicit ImageView(Rect frame = {});

    std::string className() const override { return "ImageView"; }

    std::shared_ptr<const Image> image() const { return m_image; }
    void setImage(std::shared_ptr<const Image> image);
    /// Looks the image up among the assets and remembers its name.
    void setImageNamed(const std::string& name);
    const std::string& imageName() const { return m_imageName; }
    std::shared_ptr<const Image> highlightedImage() const { return m_highlightedImage; }
    void setHighlightedImage(std::shared_ptr<const Image> image);
    void setHighlightedImageNamed(const std::string& name);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    ContentMode contentMode() const { return m_contentMode; }
    void setContentMode(ContentMode mode);

    Size sizeThatFits(Size size) const override;

protected:
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override;

private:
    std::shared_ptr<const Image> m_image;
    std::string m_imageName;
    std::shared_ptr<const Image> m_highlightedImage;
    std::string m_highlightedName;
    bool m_highlighted { false };
    ContentMode m_contentMode { ContentMode::ScaleToFill };
};

}
