#include "platform/ui/Layer.h"

#include "platform/ui/Animator.h"
#include "platform/ui/View.h"

namespace hestio::platform {

void Layer::setTransform(const AffineTransform& transform)
{
    auto& animator = Animator::current();
    if (animator.isRecording())
        animator.recordChange(m_view, AnimatedProperty::Transform, m_transform, transform);
    if (m_transform == transform)
        return;
    m_transform = transform;
    m_view.setNeedsDisplay();
}

void Layer::setCornerRadius(double radius)
{
    if (m_cornerRadius == radius)
        return;
    m_cornerRadius = radius;
    m_view.setNeedsDisplay();
}

void Layer::addTransition(Transition transition, const std::string&)
{
    transition.beginTime = Animator::current().now();
    m_lastTransition = transition;
    Animator::current().noteTransitionUntil(transition.beginTime + transition.duration);
    m_view.setNeedsDisplay();
}

const Transition* Layer::runningTransition(double now) const
{
    if (!m_lastTransition)
        return nullptr;
    const auto& last = *m_lastTransition;
    if (now >= last.beginTime && now < last.beginTime + last.duration)
        return &last;
    return nullptr;
}

}
