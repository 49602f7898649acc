#include "platform/ui/PanGestureRecognizer.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<PanGestureRecognizer> PanGestureRecognizer::create(Action action)
{
    return std::make_shared<PanGestureRecognizer>(std::move(action));
}

PanGestureRecognizer::PanGestureRecognizer(Action action)
    : GestureRecognizer(std::move(action))
{
}

Point PanGestureRecognizer::translation() const
{
    return { m_current.x - m_start.x + m_offset.x, m_current.y - m_start.y + m_offset.y };
}

void PanGestureRecognizer::setTranslation(Point translation)
{
    m_start = m_current;
    m_offset = translation;
}

void PanGestureRecognizer::touchesBegan(const TouchSet& touches, const Event&)
{
    if (trackedTouches().size() > 1)
        return;
    m_start = m_current = touches.front()->locationInWindow;
    m_offset = {};
}

void PanGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&)
{
    m_current = touches.front()->locationInWindow;
    if (state() == State::Possible) {
        double dx = m_current.x - m_start.x, dy = m_current.y - m_start.y;
        if (std::hypot(dx, dy) < threshold)
            return;
        if (m_verticalOnly && std::abs(dx) > std::abs(dy)) {
            setState(State::Failed);
            return;
        }
        setState(State::Began);
        return;
    }
    setState(State::Changed);
}

void PanGestureRecognizer::touchesEnded(const TouchSet& touches, const Event&)
{
    m_current = touches.front()->locationInWindow;
    if (state() == State::Began || state() == State::Changed)
        setState(State::Ended);
    else
        setState(State::Failed);
}

}
