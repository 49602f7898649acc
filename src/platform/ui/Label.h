#pragma once

#include "platform/gfx/Font.h"
#include "platform/ui/View.h"

#include <optional>

namespace hestio::platform {

/// One or more lines of read-only text, vertically centred in its bounds.
class Label : public View {
public:
    [[nodiscard]] static std::shared_ptr<Label> create(Rect frame = {});
    explicit Label(Rect frame = {});

    std::string className() const override { return "Label"; }
    std::string visibleText() const override { return m_text; }

    const std::string& text() const { return m_text; }
    void setText(std::string text);
    const Font& font() const { return m_style.font; }
    void setFont(Font font);
    Color textColor() const { return m_textColor; }
    void setTextColor(Color color);
    Color highlightedTextColor() const { return m_highlightedTextColor; }
    void setHighlightedTextColor(Color color);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    TextAlignment textAlignment() const { return m_style.alignment; }
    void setTextAlignment(TextAlignment alignment);
    /// 0: as many lines as the text needs.
    int numberOfLines() const { return m_style.numberOfLines; }
    void setNumberOfLines(int lines);
    LineBreakMode lineBreakMode() const { return m_style.lineBreakMode; }
    void setLineBreakMode(LineBreakMode mode);
    std::optional<Color> shadowColor() const { return m_shadowColor; }
    void setShadowColor(std::optional<Color> color);
    Size shadowOffset() const { return m_shadowOffset; }
    void setShadowOffset(Size offset);
    const TextStyle& textStyle() const { return m_style; }

    /// The size the text needs within the given width (single line: unbounded).
    Size sizeThatFits(Size size) const override;
    /// Whether the whole text shows in the label's bounds: no line cut off
    /// or shortened with an ellipsis, no line clipped at the top or bottom.
    [[nodiscard]] bool textFits() const;

protected:
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override;

private:
    std::string m_text;
    TextStyle m_style { Font::systemFont(17), TextAlignment::Left, LineBreakMode::TruncateTail, 1 };
    Color m_textColor { Color::black() };
    Color m_highlightedTextColor { Color::whiteColor() };
    bool m_highlighted { false };
    bool m_enabled { true };
    std::optional<Color> m_shadowColor;
    Size m_shadowOffset { 0, -1 };
};

}
