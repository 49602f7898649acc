#include "platform/ui/Switch.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Theme.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<Switch> Switch::create(Rect frame)
{
    return std::make_shared<Switch>(frame);
}

Switch::Switch(Rect frame)
    : Control({ frame.origin, defaultSize })
{
    // Like the platform's switch, the size is fixed whatever frame is asked for.
}

void Switch::setOn(bool on, bool)
{
    if (on == m_on)
        return;
    m_on = on;
    setNeedsDisplay();
}

void Switch::setOnTintColor(std::optional<Color> tint)
{
    m_onTint = tint;
    setNeedsDisplay();
}

bool Switch::beginTracking(Point point)
{
    m_trackStart = point;
    m_slid = false;
    return true;
}

bool Switch::continueTracking(Point point)
{
    if (std::abs(point.x - m_trackStart.x) > 8)
        m_slid = true;
    return true;
}

void Switch::endTracking(Point point, bool inside)
{
    bool newValue = m_on;
    if (m_slid)
        newValue = point.x > bounds().midX();
    else if (inside)
        newValue = !m_on;
    if (newValue == m_on)
        return;
    setOn(newValue);
    sendActionsForControlEvents(ControlEventValueChanged);
}

Rect Switch::textSide(const Rect& track) const
{
    // The knob sits at one end; "ON" or "OFF" is centred in the rest.
    double knob = track.height();
    return m_on ? Rect { track.minX(), track.minY(), track.width() - knob, track.height() }
                : Rect { track.minX() + knob, track.minY(), track.width() - knob, track.height() };
}

std::vector<DrawnText> Switch::drawnTexts() const
{
    std::string text = visibleText();
    return { DrawnText::measured(text, sizeOfText(text, Font::boldSystemFont(15)), textSide(bounds().insetBy(1, 1))) };
}

void Switch::draw(Context& context, const Rect& rect)
{
    Rect track = rect.insetBy(1, 1);
    double radius = track.height() / 2;
    context.beginPath();
    context.addRoundedRect(track.offsetBy(0, 1), radius);
    context.setFillColor(Color::white(1, 0.6));
    context.fill();
    Color on = m_onTint.value_or(theme::switchOn);
    if (m_on)
        theme::fillRoundedGradient(context, track, radius, theme::darker(on, 0.12), theme::lighter(on, 0.15));
    else
        theme::fillRoundedGradient(context, track, radius, Color::hex(0xd9d9d9), Color::hex(0xf7f7f7));
    context.beginPath();
    context.addRoundedRect(track.insetBy(0.5, 0.5), radius - 0.5);
    context.setStrokeColor(m_on ? theme::darker(on, 0.3) : Color::hex(0xa6a6a6));
    context.setLineWidth(1);
    context.stroke();

    double knob = track.height();
    double knobX = m_on ? track.maxX() - knob : track.minX();
    Font font = Font::boldSystemFont(15);
    std::string text = visibleText();
    Size ts = sizeOfText(text, font);
    Rect side = textSide(track);
    context.drawText(text, { side.midX() - ts.width / 2, track.midY() - ts.height / 2 }, font,
        m_on ? Color::whiteColor() : Color::hex(0x7a7a7a));

    Rect knobRect { knobX, track.y(), knob, knob };
    context.beginPath();
    context.addEllipse(knobRect.offsetBy(0, 1));
    context.setFillColor(Color::white(0, 0.18));
    context.fill();
    context.beginPath();
    context.addEllipse(knobRect);
    context.fillPathWithLinearGradient(
        Gradient::between(Color::whiteColor(), Color::hex(0xe4e4e4)), { 0, knobRect.minY() }, { 0, knobRect.maxY() });
    context.beginPath();
    context.addEllipse(knobRect.insetBy(0.5, 0.5));
    context.setStrokeColor(Color::hex(0xb0b0b0));
    context.setLineWidth(1);
    context.stroke();
}

}
