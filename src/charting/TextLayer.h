#pragma once

#include "charting/Layer.h"
#include "charting/TextStyle.h"
#include "platform/gfx/TextLine.h"

#include <string>

namespace hestio::chart {

/// One line of text. Placed by an anchor point (fractions of the unrotated
/// text's size) put at `position` in the superlayer; the text may be rotated.
class TextLayer : public Layer {
public:
    TextLayer(std::string text, std::shared_ptr<const TextStyle> style);
    [[nodiscard]] static std::shared_ptr<TextLayer> create(std::string text, std::shared_ptr<const TextStyle> style)
    {
        return std::make_shared<TextLayer>(std::move(text), std::move(style));
    }

    const std::string& text() const { return m_text; }
    const std::shared_ptr<const TextStyle>& textStyle() const { return m_textStyle; }
    /// Applies a new style at once (the size follows the text).
    void setTextStyle(std::shared_ptr<const TextStyle> style);
    /// The text's own size, unrotated.
    platform::Size textSize() const { return m_textSize; }

    double rotation() const { return m_rotation; }
    void setRotation(double radians);
    platform::Point anchorPoint() const { return m_anchorPoint; }
    platform::Point position() const { return m_position; }
    /// Sets the anchor and the position and recomputes the frame (the
    /// rotated text's bounding box), aligned to whole device pixels.
    void place(platform::Point anchorPoint, platform::Point position);
    /// Width and height of the rotated text.
    platform::Size rotatedSize() const;

protected:
    void renderAsVectorInContext(platform::Context& context) override;

private:
    void updateFrame();
    std::string m_text;
    std::shared_ptr<const TextStyle> m_textStyle;
    /// The text laid out, kept between frames (shared with other layers
    /// showing the same text in the same font).
    std::shared_ptr<platform::TextLine> m_line;
    platform::Size m_textSize;
    double m_rotation { 0 };
    platform::Point m_anchorPoint { 0.5, 0.5 };
    platform::Point m_position;
};

}
