#include "platform/ui/PinchGestureRecognizer.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<PinchGestureRecognizer> PinchGestureRecognizer::create(Action action)
{
    return std::make_shared<PinchGestureRecognizer>(std::move(action));
}

PinchGestureRecognizer::PinchGestureRecognizer(Action action)
    : GestureRecognizer(std::move(action))
{
}

double PinchGestureRecognizer::currentDistance() const
{
    const auto& t = trackedTouches();
    if (t.size() < 2)
        return 0;
    return std::hypot(
        t[0]->locationInWindow.x - t[1]->locationInWindow.x, t[0]->locationInWindow.y - t[1]->locationInWindow.y);
}

void PinchGestureRecognizer::touchesBegan(const TouchSet&, const Event& event)
{
    if (trackedTouches().size() > 2) {
        if (state() == State::Possible)
            setState(State::Failed);
        return;
    }
    if (trackedTouches().size() == 2) {
        m_startDistance = m_lastDistance = currentDistance();
        m_lastTime = event.timestamp;
    }
}

void PinchGestureRecognizer::touchesMoved(const TouchSet&, const Event& event)
{
    if (trackedTouches().size() != 2 || m_lastDistance <= 0)
        return;
    double d = currentDistance();
    if (d <= 0)
        return;
    if (state() == State::Possible && std::abs(d - m_startDistance) < 3)
        return;
    double factor = d / m_lastDistance;
    double dt = event.timestamp - m_lastTime;
    m_velocity = dt > 0 ? (factor - 1) / dt : 0;
    m_scale *= factor;
    m_lastDistance = d;
    m_lastTime = event.timestamp;
    setState(state() == State::Possible ? State::Began : State::Changed);
}

void PinchGestureRecognizer::touchesEnded(const TouchSet&, const Event&)
{
    if (state() == State::Began || state() == State::Changed)
        setState(State::Ended);
    else
        setState(State::Failed);
}

void PinchGestureRecognizer::reset()
{
    m_scale = 1;
    m_velocity = 0;
    m_startDistance = m_lastDistance = 0;
}

}
