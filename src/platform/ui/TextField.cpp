#include "platform/ui/TextField.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Theme.h"

#include <algorithm>

namespace hestio::platform {

namespace {

    std::string bullets(const std::string& text)
    {
        std::string out;
        for (unsigned char c : text)
            if ((c & 0xc0) != 0x80)
                out += "\u2022";
        return out;
    }

}

std::shared_ptr<TextField> TextField::create(Rect frame)
{
    return std::make_shared<TextField>(frame);
}

TextField::TextField(Rect frame)
    : Control(frame)
{
}

std::string TextField::visibleText() const
{
    if (m_text.empty())
        return m_placeholder;
    return m_secure ? bullets(m_text) : m_text;
}

void TextField::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    setNeedsDisplay();
}

void TextField::setPlaceholder(std::string placeholder)
{
    m_placeholder = std::move(placeholder);
    setNeedsDisplay();
}

void TextField::setBorderStyle(TextBorderStyle style)
{
    m_borderStyle = style;
    setNeedsDisplay();
}

void TextField::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void TextField::setTextColor(Color color)
{
    m_textColor = color;
    setNeedsDisplay();
}

void TextField::setTextAlignment(TextAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay();
}

void TextField::setSecureTextEntry(bool secure)
{
    m_secure = secure;
    setNeedsDisplay();
}

void TextField::setClearButtonMode(TextFieldViewMode mode)
{
    m_clearButtonMode = mode;
    setNeedsDisplay();
}

bool TextField::isClearButtonVisible() const
{
    if (m_text.empty())
        return false;
    switch (m_clearButtonMode) {
    case TextFieldViewMode::Never:
        return false;
    case TextFieldViewMode::WhileEditing:
        return m_editing;
    case TextFieldViewMode::UnlessEditing:
        return !m_editing;
    case TextFieldViewMode::Always:
        return true;
    }
    return false;
}

Rect TextField::clearButtonRect() const
{
    Rect b = bounds();
    return { b.maxX() - 27, b.midY() - 9.5, 19, 19 };
}

bool TextField::canBecomeFirstResponder() const
{
    if (!isEnabled())
        return false;
    return !m_delegate || m_delegate->textFieldShouldBeginEditing(const_cast<TextField&>(*this));
}

bool TextField::canResignFirstResponder() const
{
    return !m_delegate || m_delegate->textFieldShouldEndEditing(const_cast<TextField&>(*this));
}

void TextField::didBecomeFirstResponder()
{
    m_editing = true;
    if (m_clearsOnBeginEditing)
        m_text.clear();
    setNeedsDisplay();
    auto keep = self();
    if (m_delegate)
        m_delegate->textFieldDidBeginEditing(*this);
    sendActionsForControlEvents(ControlEventEditingDidBegin);
}

void TextField::didResignFirstResponder()
{
    m_editing = false;
    setNeedsDisplay();
    auto keep = self();
    if (m_delegate)
        m_delegate->textFieldDidEndEditing(*this);
    sendActionsForControlEvents(ControlEventEditingDidEnd);
}

void TextField::insertText(const std::string& text)
{
    if (text == "\n" || text == "\r") {
        insertReturn();
        return;
    }
    m_text += text;
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventEditingChanged);
}

void TextField::deleteBackward()
{
    if (m_text.empty())
        return;
    std::size_t end = m_text.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(m_text[end]) & 0xc0) == 0x80)
        --end;
    m_text.erase(end);
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEventEditingChanged);
}

void TextField::insertReturn()
{
    auto keep = self();
    if (m_delegate)
        m_delegate->textFieldShouldReturn(*this);
    if (targetCount(ControlEventEditingDidEndOnExit) > 0) {
        sendActionsForControlEvents(ControlEventEditingDidEndOnExit);
        resignFirstResponder();
    }
}

void TextField::endTracking(Point point, bool inside)
{
    if (!inside)
        return;
    if (m_editing && isClearButtonVisible() && clearButtonRect().insetBy(-6, -6).contains(point)) {
        if (!m_delegate || m_delegate->textFieldShouldClear(*this)) {
            m_text.clear();
            setNeedsDisplay();
            sendActionsForControlEvents(ControlEventEditingChanged);
        }
        return;
    }
    becomeFirstResponder();
}

void TextField::draw(Context& context, const Rect& rect)
{
    Rect r = rect;
    switch (m_borderStyle) {
    case TextBorderStyle::None:
        break;
    case TextBorderStyle::Line:
        context.strokeRect(r.insetBy(0.5, 0.5), Color::black(), 1);
        break;
    case TextBorderStyle::Bezel:
        context.fillRect(r, Color::whiteColor());
        context.fillRect({ r.x(), r.y(), r.width(), 1 }, Color::white(0.35));
        context.fillRect({ r.x(), r.y() + 1, r.width(), 1 }, Color::white(0.6));
        context.fillRect({ r.x(), r.y(), 1, r.height() }, Color::white(0.55));
        context.fillRect({ r.maxX() - 1, r.y(), 1, r.height() }, Color::white(0.55));
        context.fillRect({ r.x(), r.maxY() - 1, r.width(), 1 }, Color::white(0.75));
        break;
    case TextBorderStyle::RoundedRect:
        context.beginPath();
        context.addRoundedRect(r.insetBy(0.5, 0.5), 7);
        context.setFillColor(Color::whiteColor());
        context.setStrokeColor(Color::hex(0x9a9a9a));
        context.setLineWidth(1);
        context.fillAndStroke();
        break;
    }
    double inset = m_borderStyle == TextBorderStyle::None ? 0 : 8;
    double right = isClearButtonVisible() ? 30 : inset;
    Rect textArea { r.x() + inset, r.y(), r.width() - inset - right, r.height() };
    bool showPlaceholder = m_text.empty();
    std::string shown = showPlaceholder ? m_placeholder : (m_secure ? bullets(m_text) : m_text);
    TextStyle style { m_font, m_alignment, m_editing ? LineBreakMode::TruncateHead : LineBreakMode::TruncateTail, 1 };
    auto metrics = measureText(shown.empty() ? std::string("Ag") : shown, style, textArea.width());
    double y = textArea.midY() - metrics.size.height / 2;
    Rect line { textArea.x(), y, textArea.width(), metrics.size.height };
    if (!shown.empty())
        context.drawText(shown, line, style, showPlaceholder ? Color::white(0.7) : m_textColor);
    if (m_editing) {
        double width = showPlaceholder ? 0 : std::min(sizeOfText(shown, m_font).width, textArea.width());
        double x = textArea.x();
        if (m_alignment == TextAlignment::Center)
            x = textArea.midX() + width / 2;
        else if (m_alignment == TextAlignment::Right)
            x = textArea.maxX();
        else
            x += width;
        context.fillRect({ x + 1, y + 1, 2, metrics.size.height - 2 }, Color::hex(0x426bf2));
    }
    if (isClearButtonVisible()) {
        Rect c = clearButtonRect();
        context.beginPath();
        context.addEllipse(c);
        context.setFillColor(Color::white(0.7));
        context.fill();
        context.beginPath();
        Point m = c.center();
        context.moveTo({ m.x - 4, m.y - 4 });
        context.lineTo({ m.x + 4, m.y + 4 });
        context.moveTo({ m.x + 4, m.y - 4 });
        context.lineTo({ m.x - 4, m.y + 4 });
        context.setStrokeColor(Color::whiteColor());
        context.setLineWidth(2);
        context.stroke();
    }
}

std::string TextField::describeProperties() const
{
    std::string out;
    if (m_secure)
        out += " secure";
    if (m_editing)
        out += " editing";
    return out;
}

}
