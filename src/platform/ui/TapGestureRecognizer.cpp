#include "platform/ui/TapGestureRecognizer.h"

#include "platform/ui/View.h"

#include <cmath>

namespace hestio::platform {

namespace {

    /// The accessible action whose taps are being delivered; 0 for a finger.
    int currentActivation = 0;
    int activationsMade = 0;

}

TapGestureRecognizer::AccessibleActivation::AccessibleActivation()
    : m_outer(currentActivation)
{
    currentActivation = ++activationsMade;
}

TapGestureRecognizer::AccessibleActivation::~AccessibleActivation()
{
    currentActivation = m_outer;
}

std::shared_ptr<TapGestureRecognizer> TapGestureRecognizer::create(Action action, int taps)
{
    auto r = std::make_shared<TapGestureRecognizer>(std::move(action));
    r->setNumberOfTapsRequired(taps);
    return r;
}

TapGestureRecognizer::TapGestureRecognizer(Action action)
    : GestureRecognizer(std::move(action))
{
}

Point TapGestureRecognizer::locationInView(const View* view) const
{
    return view ? view->convertFromWindow(m_location) : m_location;
}

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (static_cast<int>(trackedTouches().size()) > m_touchesRequired) {
        setState(State::Failed);
        return;
    }
    Point p = touches.front()->locationInWindow;
    bool continues = m_taps > 0 && currentActivation == m_activation && event.timestamp - m_lastEnd <= 0.35
        && std::hypot(p.x - m_start.x, p.y - m_start.y) <= 45;
    if (!continues)
        m_taps = 0;
    m_start = p;
    m_activation = currentActivation;
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&)
{
    for (auto& t : touches) {
        Point d { t->locationInWindow.x - t->startLocationInWindow.x,
            t->locationInWindow.y - t->startLocationInWindow.y };
        if (std::hypot(d.x, d.y) > 10) {
            setState(State::Failed);
            return;
        }
    }
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (touches.size() < trackedTouches().size())
        return; // wait for the last finger of a multi-finger tap
    m_location = touches.front()->locationInWindow;
    m_lastEnd = event.timestamp;
    if (++m_taps >= m_tapsRequired)
        setState(State::Ended);
}

void TapGestureRecognizer::reset()
{
    m_taps = 0;
    m_lastEnd = -1;
    m_activation = 0;
}

}
