#include "platform/ui/GestureRecognizer.h"

#include "platform/ui/View.h"

#include <algorithm>

namespace hestio::platform {

GestureRecognizer::GestureRecognizer(Action action)
{
    if (action)
        m_actions.push_back(std::move(action));
}

void GestureRecognizer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled && (m_state == State::Began || m_state == State::Changed))
        setState(State::Cancelled);
}

Point GestureRecognizer::locationInView(const View* view) const
{
    if (m_touches.empty())
        return {};
    Point sum;
    for (auto& t : m_touches) {
        sum.x += t->locationInWindow.x;
        sum.y += t->locationInWindow.y;
    }
    Point centroid { sum.x / static_cast<double>(m_touches.size()), sum.y / static_cast<double>(m_touches.size()) };
    return view ? view->convertFromWindow(centroid) : centroid;
}

bool GestureRecognizer::isTracking(const Touch& touch) const
{
    return std::any_of(m_touches.begin(), m_touches.end(), [&](auto& t) { return t.get() == &touch; });
}

void GestureRecognizer::ignoreTouch(const Touch& touch)
{
    m_touches.erase(std::remove_if(m_touches.begin(), m_touches.end(), [&](auto& t) { return t.get() == &touch; }),
        m_touches.end());
}

static bool isFinished(GestureRecognizer::State s)
{
    return s == GestureRecognizer::State::Ended || s == GestureRecognizer::State::Failed
        || s == GestureRecognizer::State::Cancelled;
}

void GestureRecognizer::handleTouchesBegan(const TouchSet& touches, const Event& event)
{
    for (auto& t : touches)
        if (!isTracking(*t))
            m_touches.push_back(t);
    if (!isFinished(m_state))
        touchesBegan(touches, event);
}

void GestureRecognizer::handleTouchesMoved(const TouchSet& touches, const Event& event)
{
    TouchSet mine;
    for (auto& t : touches)
        if (isTracking(*t))
            mine.push_back(t);
    if (!mine.empty() && !isFinished(m_state))
        touchesMoved(mine, event);
}

void GestureRecognizer::handleTouchesEnded(const TouchSet& touches, const Event& event)
{
    TouchSet mine;
    for (auto& t : touches)
        if (isTracking(*t))
            mine.push_back(t);
    if (!mine.empty() && !isFinished(m_state))
        touchesEnded(mine, event);
    for (auto& t : mine)
        ignoreTouch(*t);
}

void GestureRecognizer::handleTouchesCancelled(const TouchSet& touches, const Event& event)
{
    TouchSet mine;
    for (auto& t : touches)
        if (isTracking(*t))
            mine.push_back(t);
    if (!mine.empty() && !isFinished(m_state))
        touchesCancelled(mine, event);
    for (auto& t : mine)
        ignoreTouch(*t);
}

void GestureRecognizer::touchesCancelled(const TouchSet&, const Event&)
{
    if (m_state == State::Began || m_state == State::Changed)
        setState(State::Cancelled);
    else
        setState(State::Failed);
}

void GestureRecognizer::resetIfFinished()
{
    if (!m_touches.empty())
        return;
    if (isFinished(m_state)) {
        m_state = State::Possible;
        reset();
    } else if (m_state == State::Began || m_state == State::Changed) {
        setState(State::Cancelled);
        m_state = State::Possible;
        reset();
    }
}

void GestureRecognizer::setState(State state)
{
    State old = m_state;
    m_state = state;
    if (state == State::Failed)
        return;
    if (state == State::Began || (state == State::Ended && old == State::Possible))
        ++m_recognitionCount;
    fire();
}

void GestureRecognizer::fire()
{
    auto keep = shared_from_this();
    auto actions = m_actions;
    for (auto& action : actions)
        if (action)
            action(*this);
}

}
