#include "platform/ui/Label.h"

#include "platform/gfx/Context.h"
#include "platform/ui/DrawnText.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<Label> Label::create(Rect frame)
{
    return std::make_shared<Label>(frame);
}

Label::Label(Rect frame)
    : View(frame)
{
    setUserInteractionEnabled(false);
}

void Label::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    setNeedsDisplay();
}

void Label::setFont(Font font)
{
    if (font == m_style.font)
        return;
    m_style.font = std::move(font);
    setNeedsDisplay();
}

void Label::setTextColor(Color color)
{
    if (color == m_textColor)
        return;
    m_textColor = color;
    setNeedsDisplay();
}

void Label::setHighlightedTextColor(Color color)
{
    m_highlightedTextColor = color;
    setNeedsDisplay();
}

void Label::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

void Label::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment)
{
    if (alignment == m_style.alignment)
        return;
    m_style.alignment = alignment;
    setNeedsDisplay();
}

void Label::setNumberOfLines(int lines)
{
    if (lines == m_style.numberOfLines)
        return;
    m_style.numberOfLines = lines;
    setNeedsDisplay();
}

void Label::setLineBreakMode(LineBreakMode mode)
{
    if (mode == m_style.lineBreakMode)
        return;
    m_style.lineBreakMode = mode;
    setNeedsDisplay();
}

void Label::setShadowColor(std::optional<Color> color)
{
    m_shadowColor = color;
    setNeedsDisplay();
}

void Label::setShadowOffset(Size offset)
{
    m_shadowOffset = offset;
    setNeedsDisplay();
}

Size Label::sizeThatFits(Size size) const
{
    if (m_text.empty())
        return { 0, 0 };
    double maxWidth = m_style.numberOfLines == 1 ? 0 : size.width;
    TextStyle style = m_style;
    if (style.numberOfLines == 1)
        style.lineBreakMode = LineBreakMode::Clip;
    auto metrics = measureText(m_text, style, maxWidth);
    return { std::ceil(metrics.size.width), std::ceil(metrics.size.height) };
}

bool Label::textFits() const
{
    auto texts = drawnTextsOf(*this);
    return texts.empty() || texts.front().fits;
}

void Label::draw(Context& context, const Rect& rect)
{
    if (m_text.empty())
        return;
    auto metrics = measureText(m_text, m_style, rect.width());
    double height = std::min(metrics.size.height, rect.height() + 2);
    double y = rect.y() + std::floor((rect.height() - height) / 2);
    Rect textRect { rect.x(), y, rect.width(), height };
    Color color = m_highlighted ? m_highlightedTextColor : m_textColor;
    if (!m_enabled)
        color = color.withAlpha(color.alpha * 0.45);
    if (m_shadowColor && !m_highlighted)
        context.drawText(
            m_text, textRect.offsetBy(m_shadowOffset.width, m_shadowOffset.height), m_style, *m_shadowColor);
    context.drawText(m_text, textRect, m_style, color);
}

std::string Label::describeProperties() const
{
    return m_style.numberOfLines != 1 ? " lines=" + std::to_string(m_style.numberOfLines) : std::string {};
}

}
