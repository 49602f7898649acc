#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/Label.h"

#include <map>
#include <optional>

namespace hestio::platform {

class Image;

/// A push button: title, image and background image per state; sends
/// ControlEventTouchUpInside when tapped.
class Button : public Control {
public:
    enum class Type { Custom, RoundedRect, DetailDisclosure, InfoLight, InfoDark, ContactAdd };

    [[nodiscard]] static std::shared_ptr<Button> create(Type type = Type::RoundedRect, Rect frame = {});
    explicit Button(Type type = Type::RoundedRect, Rect frame = {});

    std::string className() const override { return "Button"; }
    std::string visibleText() const override { return currentTitle(); }
    Type buttonType() const { return m_type; }

    /// The title for a state; other states fall back to the normal title.
    std::string title(ControlState state = ControlState::Normal) const;
    void setTitle(std::string title, ControlState state = ControlState::Normal);
    std::string currentTitle() const { return title(state()); }
    Color titleColor(ControlState state = ControlState::Normal) const;
    void setTitleColor(Color color, ControlState state = ControlState::Normal);
    std::shared_ptr<const Image> image(ControlState state = ControlState::Normal) const;
    void setImage(std::shared_ptr<const Image> image, ControlState state = ControlState::Normal);
    std::shared_ptr<const Image> backgroundImage(ControlState state = ControlState::Normal) const;
    void setBackgroundImage(std::shared_ptr<const Image> image, ControlState state = ControlState::Normal);
    /// Font, alignment and shadow of the title come from this label.
    Label& titleLabel() { return *m_titleLabel; }
    const Label& titleLabel() const { return *m_titleLabel; }
    std::optional<Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<Color> tint);
    EdgeInsets contentEdgeInsets() const { return m_contentInsets; }
    void setContentEdgeInsets(EdgeInsets insets);

    Size sizeThatFits(Size size) const override;

protected:
    void draw(Context& context, const Rect& rect) override;
    void drawTitleAndImage(Context& context, const Rect& rect, Color titleColor);

private:
    template<class T> static std::optional<T> lookup(const std::map<ControlState, T>& map, ControlState state);
    Type m_type;
    std::map<ControlState, std::string> m_titles;
    std::map<ControlState, Color> m_titleColors;
    std::map<ControlState, std::shared_ptr<const Image>> m_images;
    std::map<ControlState, std::shared_ptr<const Image>> m_backgroundImages;
    std::shared_ptr<Label> m_titleLabel;
    std::optional<Color> m_tint;
    EdgeInsets m_contentInsets;
};

}
