#include "platform/ui/SwipeGestureRecognizer.h"

#include "platform/ui/View.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<SwipeGestureRecognizer> SwipeGestureRecognizer::create(unsigned direction, Action action)
{
    auto r = std::make_shared<SwipeGestureRecognizer>(std::move(action));
    r->setDirection(direction);
    return r;
}

SwipeGestureRecognizer::SwipeGestureRecognizer(Action action)
    : GestureRecognizer(std::move(action))
{
}

Point SwipeGestureRecognizer::locationInView(const View* view) const
{
    return view ? view->convertFromWindow(m_start) : m_start;
}

void SwipeGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (trackedTouches().size() > 1) {
        setState(State::Failed);
        return;
    }
    m_start = touches.front()->locationInWindow;
    m_startTime = event.timestamp;
}

bool SwipeGestureRecognizer::evaluate(const Touch& touch, bool final)
{
    double dx = touch.locationInWindow.x - m_start.x;
    double dy = touch.locationInWindow.y - m_start.y;
    struct Candidate {
        Direction direction;
        double along;
        double across;
    };
    const Candidate candidates[] = { { Right, dx, std::abs(dy) }, { Left, -dx, std::abs(dy) },
        { Down, dy, std::abs(dx) }, { Up, -dy, std::abs(dx) } };
    for (const auto& c : candidates) {
        if ((m_direction & c.direction) && c.along >= minimumDistance && c.across <= c.along * 0.5) {
            m_recognized = c.direction;
            setState(State::Ended);
            return true;
        }
    }
    // A stroke that has gone far in a direction we do not watch cannot become a swipe.
    if (final || std::hypot(dx, dy) > 3 * minimumDistance)
        setState(State::Failed);
    return false;
}

void SwipeGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&)
{
    evaluate(*touches.front(), false);
}

void SwipeGestureRecognizer::touchesEnded(const TouchSet& touches, const Event&)
{
    evaluate(*touches.front(), true);
}

void SwipeGestureRecognizer::recognizeWithoutTouches()
{
    if (!isEnabled() || !view() || numberOfTouches() > 0)
        return;
    m_recognized = m_direction;
    setState(Recognized);
    resetIfFinished();
}

}
