#include "platform/ui/TextView.h"

#include "platform/gfx/Context.h"

namespace hestio::platform {

std::shared_ptr<TextView> TextView::create(Rect frame)
{
    return std::make_shared<TextView>(frame);
}

TextView::TextView(Rect frame)
    : View(frame)
{
    setBackgroundColor(Color::whiteColor());
    setClipsToBounds(true);
}

void TextView::setText(std::string text)
{
    m_text = std::move(text);
    setNeedsDisplay();
}

void TextView::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void TextView::setTextColor(Color color)
{
    m_textColor = color;
    setNeedsDisplay();
}

void TextView::setTextAlignment(TextAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay();
}

void TextView::draw(Context& context, const Rect& rect)
{
    if (m_text.empty())
        return;
    TextStyle style { m_font, m_alignment, LineBreakMode::WordWrap, 0 };
    context.drawText(m_text, rect.insetBy(8, 8), style, m_textColor);
}

}
