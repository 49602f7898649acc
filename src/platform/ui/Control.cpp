#include "platform/ui/Control.h"

#include <algorithm>

namespace hestio::platform {

Control::Control(Rect frame)
    : View(frame)
{
}

int Control::addTarget(unsigned events, Action action)
{
    int id = m_nextTarget++;
    m_targets.push_back({ id, events, std::move(action) });
    return id;
}

void Control::removeTarget(int id)
{
    m_targets.erase(
        std::remove_if(m_targets.begin(), m_targets.end(), [&](auto& t) { return t.id == id; }), m_targets.end());
}

void Control::removeAllTargets()
{
    m_targets.clear();
}

std::size_t Control::targetCount(unsigned events) const
{
    return static_cast<std::size_t>(
        std::count_if(m_targets.begin(), m_targets.end(), [&](auto& t) { return (t.events & events) != 0; }));
}

void Control::sendActionsForControlEvents(unsigned events)
{
    auto keep = self();
    auto targets = m_targets;
    for (auto& t : targets)
        if ((t.events & events) && t.action)
            t.action(*this);
}

void Control::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        m_highlighted = false;
    setNeedsDisplay();
}

void Control::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

ControlState Control::state() const
{
    if (!m_enabled)
        return ControlState::Disabled;
    if (m_highlighted)
        return ControlState::Highlighted;
    if (m_selected)
        return ControlState::Selected;
    return ControlState::Normal;
}

std::shared_ptr<View> Control::hitTest(Point point)
{
    if (!m_enabled && !isHidden() && pointInside(point))
        return nullptr;
    return View::hitTest(point);
}

bool Control::beginTracking(Point)
{
    return true;
}
bool Control::continueTracking(Point)
{
    return true;
}
void Control::endTracking(Point, bool)
{
}
void Control::cancelTracking()
{
}

bool Control::accessibilityActivate()
{
    if (!m_enabled)
        return false;
    auto keep = self();
    Point middle = bounds().center();
    m_tracking = beginTracking(middle);
    m_touchInside = true;
    setHighlighted(true);
    sendActionsForControlEvents(ControlEventTouchDown);
    setHighlighted(false);
    if (m_tracking)
        endTracking(middle, true);
    m_tracking = false;
    m_touchInside = false;
    sendActionsForControlEvents(ControlEventTouchUpInside);
    return true;
}

void Control::touchesBegan(const TouchSet& touches, const Event&)
{
    if (!m_enabled || touches.empty())
        return;
    Point p = touches.front()->locationInView(this);
    m_tracking = beginTracking(p);
    m_touchInside = true;
    setHighlighted(true);
    sendActionsForControlEvents(ControlEventTouchDown);
}

void Control::touchesMoved(const TouchSet& touches, const Event&)
{
    if (!m_enabled || touches.empty())
        return;
    Point p = touches.front()->locationInView(this);
    double slack = touchSlack();
    m_touchInside = bounds().insetBy(-slack, -slack).contains(p);
    setHighlighted(m_touchInside);
    if (m_tracking)
        m_tracking = continueTracking(p);
    sendActionsForControlEvents(m_touchInside ? ControlEventTouchDragInside : ControlEventTouchDragOutside);
}

void Control::touchesEnded(const TouchSet& touches, const Event&)
{
    if (!m_enabled || touches.empty())
        return;
    auto keep = self();
    Point p = touches.front()->locationInView(this);
    double slack = touchSlack();
    bool inside = bounds().insetBy(-slack, -slack).contains(p);
    setHighlighted(false);
    if (m_tracking)
        endTracking(p, inside);
    m_tracking = false;
    m_touchInside = false;
    sendActionsForControlEvents(inside ? ControlEventTouchUpInside : ControlEventTouchUpOutside);
}

void Control::touchesCancelled(const TouchSet&, const Event&)
{
    if (m_tracking)
        cancelTracking();
    m_tracking = false;
    m_touchInside = false;
    setHighlighted(false);
    sendActionsForControlEvents(ControlEventTouchCancel);
}

}
