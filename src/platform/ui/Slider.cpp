#include "platform/ui/Slider.h"

#include "platform/gfx/Context.h"
#include "platform/ui/KeyboardFocus.h"
#include "platform/ui/Theme.h"

#include <algorithm>
#include <cstdio>

namespace hestio::platform {

namespace {
    constexpr double thumbSize = 23;
}

std::shared_ptr<Slider> Slider::create(Rect frame)
{
    return std::make_shared<Slider>(frame);
}

Slider::Slider(Rect frame)
    : Control(frame)
{
    if (frame.height() <= 0)
        storeFrame({ frame.origin, { frame.width(), 23 } });
}

void Slider::setValue(double value, bool)
{
    value = std::clamp(value, std::min(m_minimum, m_maximum), std::max(m_minimum, m_maximum));
    if (value == m_value)
        return;
    m_value = value;
    setNeedsDisplay();
}

void Slider::setMinimumValue(double minimum)
{
    m_minimum = minimum;
    if (m_maximum < m_minimum)
        m_maximum = m_minimum;
    setValue(m_value);
    setNeedsDisplay();
}

void Slider::setMaximumValue(double maximum)
{
    m_maximum = maximum;
    if (m_minimum > m_maximum)
        m_minimum = m_maximum;
    setValue(m_value);
    setNeedsDisplay();
}

void Slider::setMinimumTrackTintColor(std::optional<Color> tint)
{
    m_minTint = tint;
    setNeedsDisplay();
}

double Slider::thumbCenterX(double value) const
{
    double span = m_maximum - m_minimum;
    double t = span > 0 ? (value - m_minimum) / span : 0;
    return bounds().x() + thumbSize / 2 + t * (bounds().width() - thumbSize);
}

double Slider::valueForX(double x) const
{
    double usable = bounds().width() - thumbSize;
    double t = usable > 0 ? (x - bounds().x() - thumbSize / 2) / usable : 0;
    return m_minimum + std::clamp(t, 0.0, 1.0) * (m_maximum - m_minimum);
}

void Slider::trackTo(double x)
{
    double before = m_value;
    setValue(valueForX(x));
    if (m_value != before) {
        m_changedWhileTracking = true;
        if (m_continuous)
            sendActionsForControlEvents(ControlEventValueChanged);
    }
}

bool Slider::keyPressed(const KeyPress& key)
{
    if (!key.isArrow() || !isEnabled())
        return false;
    bool up = key.code == KeyCode::Right || key.code == KeyCode::Up;
    double step = KeyboardFocus::sliderStep(m_minimum, m_maximum);
    double before = m_value;
    setValue(m_value + (up ? step : -step));
    if (m_value != before) {
        auto keep = self();
        sendActionsForControlEvents(ControlEventValueChanged);
        sendActionsForControlEvents(ControlEventTouchUpInside);
    }
    return true;
}

bool Slider::beginTracking(Point point)
{
    m_changedWhileTracking = false;
    trackTo(point.x);
    return true;
}

bool Slider::continueTracking(Point point)
{
    trackTo(point.x);
    return true;
}

void Slider::endTracking(Point point, bool)
{
    trackTo(point.x);
    if (!m_continuous && m_changedWhileTracking)
        sendActionsForControlEvents(ControlEventValueChanged);
}

void Slider::draw(Context& context, const Rect& rect)
{
    double cy = rect.midY();
    double thumbX = thumbCenterX(m_value);
    Rect track { rect.x() + 2, cy - 4.5, rect.width() - 4, 9 };
    Color minColor = m_minTint.value_or(theme::selectionTop);
    {
        ContextStateSaver saver(context);
        context.clipToRect({ rect.x(), rect.y(), thumbX - rect.x(), rect.height() });
        theme::fillRoundedGradient(context, track, 4.5, theme::darker(minColor, 0.15), theme::lighter(minColor, 0.2));
    }
    {
        ContextStateSaver saver(context);
        context.clipToRect({ thumbX, rect.y(), rect.maxX() - thumbX, rect.height() });
        theme::fillRoundedGradient(context, track, 4.5, Color::hex(0xbdbdbd), Color::hex(0xfafafa));
    }
    context.beginPath();
    context.addRoundedRect(track.insetBy(0.5, 0.5), 4);
    context.setStrokeColor(Color::white(0.45, 0.7));
    context.setLineWidth(1);
    context.stroke();
    Rect thumb { thumbX - thumbSize / 2, cy - thumbSize / 2, thumbSize, thumbSize };
    context.beginPath();
    context.addEllipse(thumb.offsetBy(0, 1.5));
    context.setFillColor(Color::white(0, 0.2));
    context.fill();
    context.beginPath();
    context.addEllipse(thumb);
    context.fillPathWithLinearGradient(
        Gradient::between(Color::whiteColor(), Color::hex(isHighlighted() ? 0xc8c8c8 : 0xe2e2e2)), { 0, thumb.minY() },
        { 0, thumb.maxY() });
    context.beginPath();
    context.addEllipse(thumb.insetBy(0.5, 0.5));
    context.setStrokeColor(Color::hex(0xa0a0a0));
    context.setLineWidth(1);
    context.stroke();
}

std::string Slider::describeProperties() const
{
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, " value=%g [%g, %g]", m_value, m_minimum, m_maximum);
    return buffer;
}

}
