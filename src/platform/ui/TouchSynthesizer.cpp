#include "platform/ui/TouchSynthesizer.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"

#include <algorithm>

namespace hestio::platform {

TouchSynthesizer::TouchSynthesizer(Application& application, std::function<void(double)> wait)
    : m_application(application)
    , m_wait(std::move(wait))
{
}

double TouchSynthesizer::nextTimestamp(double delay)
{
    if (m_wait && delay > 0)
        m_wait(delay);
    double now = 0;
    if (auto* loop = RunLoop::currentIfAny())
        now = loop->clock().monotonicSeconds();
    double t = m_wait ? now : std::max(now, m_last + delay);
    t = std::max(t, m_last + 1e-6);
    m_last = t;
    return t;
}

void TouchSynthesizer::send(std::vector<TouchInput> touches, double delay)
{
    TouchEvent event { nextTimestamp(delay), std::move(touches) };
    m_application.sendEvent(event);
}

void TouchSynthesizer::touchDown(Point at, int identifier)
{
    send({ { identifier, at, TouchPhase::Began } }, 0.02);
}

void TouchSynthesizer::touchMove(Point to, int identifier)
{
    send({ { identifier, to, TouchPhase::Moved } }, 0.016);
}

void TouchSynthesizer::touchUp(Point at, int identifier)
{
    send({ { identifier, at, TouchPhase::Ended } }, 0.016);
}

void TouchSynthesizer::tap(Point at, int taps)
{
    for (int i = 0; i < taps; ++i) {
        send({ { 1, at, TouchPhase::Began } }, i == 0 ? 0.02 : 0.1);
        send({ { 1, at, TouchPhase::Ended } }, 0.08);
    }
}

void TouchSynthesizer::drag(Point from, Point to, int steps, double duration, bool lift)
{
    steps = std::max(1, steps);
    touchDown(from);
    for (int i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        send({ { 1, { from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t }, TouchPhase::Moved } },
            duration / steps);
    }
    if (lift)
        touchUp(to);
}

void TouchSynthesizer::swipe(Point from, double dx, double dy)
{
    double sx = dx > 0 ? 1 : dx < 0 ? -1 : 0;
    double sy = dy > 0 ? 1 : dy < 0 ? -1 : 0;
    drag(from, { from.x + 120 * sx, from.y + 120 * sy }, 6, 0.12);
}

void TouchSynthesizer::pinch(Point center, double startDistance, double endDistance, int steps)
{
    auto fingers = [&](double d, TouchPhase phase) {
        return std::vector<TouchInput> { { 1, { center.x - d / 2, center.y }, phase },
            { 2, { center.x + d / 2, center.y }, phase } };
    };
    send(fingers(startDistance, TouchPhase::Began), 0.02);
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i)
        send(fingers(startDistance + (endDistance - startDistance) * i / steps, TouchPhase::Moved), 0.02);
    send(fingers(endDistance, TouchPhase::Ended), 0.02);
}

}
