#pragma once

#include "platform/gfx/Font.h"
#include "platform/ui/View.h"

namespace hestio::platform {

/// A block of wrapped text shown from the top, 8 points in from each edge.
/// Not editable unless asked (only read-only use exists so far).
class TextView : public View {
public:
    [[nodiscard]] static std::shared_ptr<TextView> create(Rect frame = {});
    explicit TextView(Rect frame = {});

    std::string className() const override { return "TextView"; }
    std::string visibleText() const override { return m_text; }

    const std::string& text() const { return m_text; }
    void setText(std::string text);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    Color textColor() const { return m_textColor; }
    void setTextColor(Color color);
    TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(TextAlignment alignment);
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    std::string m_text;
    Font m_font { "Helvetica", 12 };
    Color m_textColor { Color::black() };
    TextAlignment m_alignment { TextAlignment::Left };
    bool m_editable { true };
};

}
