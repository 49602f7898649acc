#include "platform/ui/Animator.h"

#include "platform/ui/Application.h"
#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hestio::platform {

namespace {

    double lerp(double a, double b, double t)
    {
        return a + (b - a) * t;
    }

    struct Decomposed {
        double angle, sx, sy, tx, ty;
    };

    Decomposed decompose(const AffineTransform& m)
    {
        double sx = std::hypot(m.a, m.b);
        double det = m.a * m.d - m.b * m.c;
        double sy = sx == 0 ? std::hypot(m.c, m.d) : det / sx;
        return { std::atan2(m.b, m.a), sx, sy, m.tx, m.ty };
    }

}

double applyCurve(AnimationCurve curve, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    switch (curve) {
    case AnimationCurve::Linear:
        return t;
    case AnimationCurve::EaseIn:
        return t * t;
    case AnimationCurve::EaseOut:
        return 1 - (1 - t) * (1 - t);
    case AnimationCurve::EaseInOut:
        return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2;
    }
    return t;
}

AnimatedValue interpolate(const AnimatedValue& from, const AnimatedValue& to, double t)
{
    if (from.index() != to.index())
        return t < 1 ? from : to;
    if (auto* a = std::get_if<double>(&from))
        return lerp(*a, std::get<double>(to), t);
    if (auto* a = std::get_if<Rect>(&from)) {
        const Rect& b = std::get<Rect>(to);
        return Rect { lerp(a->x(), b.x(), t), lerp(a->y(), b.y(), t), lerp(a->width(), b.width(), t),
            lerp(a->height(), b.height(), t) };
    }
    if (auto* a = std::get_if<Point>(&from)) {
        const Point& b = std::get<Point>(to);
        return Point { lerp(a->x, b.x, t), lerp(a->y, b.y, t) };
    }
    if (auto* a = std::get_if<EdgeInsets>(&from)) {
        const EdgeInsets& b = std::get<EdgeInsets>(to);
        return EdgeInsets { lerp(a->top, b.top, t), lerp(a->left, b.left, t), lerp(a->bottom, b.bottom, t),
            lerp(a->right, b.right, t) };
    }
    const auto& ma = std::get<AffineTransform>(from);
    const auto& mb = std::get<AffineTransform>(to);
    if (t >= 1)
        return mb;
    Decomposed da = decompose(ma), db = decompose(mb);
    double delta = db.angle - da.angle;
    while (delta > std::numbers::pi)
        delta -= 2 * std::numbers::pi;
    while (delta < -std::numbers::pi)
        delta += 2 * std::numbers::pi;
    double angle = da.angle + delta * t;
    double sx = lerp(da.sx, db.sx, t), sy = lerp(da.sy, db.sy, t);
    AffineTransform r = AffineTransform::scale(sx, sy).concat(AffineTransform::rotation(angle));
    r.tx = lerp(da.tx, db.tx, t);
    r.ty = lerp(da.ty, db.ty, t);
    return r;
}

Animator& Animator::current()
{
    return Application::shared().animator();
}

double Animator::now() const
{
    if (auto* loop = RunLoop::currentIfAny())
        return loop->clock().monotonicSeconds();
    return 0;
}

void Animator::animate(double duration, const std::function<void()>& changes, std::function<void(bool)> completion)
{
    AnimationOptions options;
    options.duration = duration;
    animate(options, changes, std::move(completion));
}

void Animator::animate(
    const AnimationOptions& options, const std::function<void()>& changes, std::function<void(bool)> completion)
{
    auto& animator = current();
    animator.m_stack.push_back(Pending { {}, options, std::move(completion), {} });
    if (changes)
        changes();
    Pending pending = std::move(animator.m_stack.back());
    animator.m_stack.pop_back();
    animator.commit(std::move(pending));
}

void Animator::performWithoutAnimation(const std::function<void()>& changes)
{
    auto& animator = current();
    ++animator.m_suppressed;
    changes();
    --animator.m_suppressed;
}

void Animator::beginAnimations(std::string name)
{
    AnimationOptions options;
    options.duration = defaultDuration;
    m_stack.push_back(Pending { std::move(name), options, {}, {} });
}

void Animator::setAnimationDuration(double seconds)
{
    if (!m_stack.empty())
        m_stack.back().options.duration = seconds;
}

void Animator::setAnimationDelay(double seconds)
{
    if (!m_stack.empty())
        m_stack.back().options.delay = seconds;
}

void Animator::setAnimationCurve(AnimationCurve curve)
{
    if (!m_stack.empty())
        m_stack.back().options.curve = curve;
}

void Animator::setAnimationBeginsFromCurrentState(bool on)
{
    if (!m_stack.empty())
        m_stack.back().options.beginFromCurrentState = on;
}

void Animator::setAnimationDidStop(std::function<void(bool)> handler)
{
    if (!m_stack.empty())
        m_stack.back().completion = std::move(handler);
}

void Animator::commitAnimations()
{
    if (m_stack.empty())
        return;
    Pending pending = std::move(m_stack.back());
    m_stack.pop_back();
    commit(std::move(pending));
}

bool Animator::isRecording() const
{
    return !m_stack.empty() && m_suppressed == 0;
}

void Animator::recordChange(View& view, AnimatedProperty property, const AnimatedValue& from, const AnimatedValue& to)
{
    if (!isRecording())
        return;
    auto& changes = m_stack.back().changes;
    for (auto& change : changes) {
        if (change.view == &view && change.property == property) {
            change.to = to;
            return;
        }
    }
    changes.push_back({ &view, property, from, to });
}

void Animator::commit(Pending pending)
{
    const auto& options = pending.options;
    if (m_commitObserver)
        m_commitObserver({ pending.name, options.duration, options.delay });
    auto group = std::make_shared<Group>();
    group->completion = std::move(pending.completion);
    double start = now() + options.delay;
    RunLoop* loop = RunLoop::currentIfAny();
    bool immediate = !loop || (options.duration <= 0 && options.delay <= 0);

    for (auto& change : pending.changes) {
        AnimatedValue from = change.from;
        auto existing = std::find_if(m_running.begin(), m_running.end(),
            [&](const Running& r) { return r.view == change.view && r.property == change.property; });
        if (existing != m_running.end()) {
            if (options.beginFromCurrentState)
                from = *presentedValue(*change.view, change.property);
            existing->group->interrupted = true;
            m_running.erase(existing);
        }
        if (!immediate)
            m_running.push_back({ change.view, change.property, from, change.to, start,
                std::max(options.duration, 1e-6), options.curve, group });
        change.view->setNeedsDisplay();
    }

    if (!loop) {
        finishGroup(group);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    group->timer = loop->postDelayed(std::max(0.0, options.delay + options.duration), [this, alive, group] {
        if (!alive.expired())
            finishGroup(group);
    });
}

void Animator::finishGroup(const std::shared_ptr<Group>& group)
{
    if (group->done)
        return;
    group->done = true;
    group->timer.cancel();
    for (auto& r : m_running)
        if (r.group == group && r.view)
            r.view->setNeedsDisplay();
    m_running.erase(
        std::remove_if(m_running.begin(), m_running.end(), [&](const Running& r) { return r.group == group; }),
        m_running.end());
    if (group->completion) {
        auto completion = std::move(group->completion);
        completion(!group->interrupted);
    }
}

std::optional<AnimatedValue> Animator::presentedValue(const View& view, AnimatedProperty property) const
{
    for (auto it = m_running.rbegin(); it != m_running.rend(); ++it) {
        if (it->view != &view || it->property != property)
            continue;
        double t = (now() - it->start) / it->duration;
        if (t <= 0)
            return it->from;
        return interpolate(it->from, it->to, applyCurve(it->curve, t));
    }
    return std::nullopt;
}

bool Animator::isAnimating(const View& view) const
{
    return std::any_of(m_running.begin(), m_running.end(), [&](const Running& r) { return r.view == &view; });
}

bool Animator::hasRunningAnimations() const
{
    return !m_running.empty() || !m_continuous.empty() || now() < m_transitionsUntil;
}

void Animator::noteTransitionUntil(double endTime)
{
    m_transitionsUntil = std::max(m_transitionsUntil, endTime);
}

void Animator::setContinuouslyAnimating(const View& view, bool on)
{
    auto it = std::find(m_continuous.begin(), m_continuous.end(), &view);
    if (on && it == m_continuous.end())
        m_continuous.push_back(&view);
    else if (!on && it != m_continuous.end())
        m_continuous.erase(it);
}

void Animator::forget(const View& view)
{
    m_running.erase(
        std::remove_if(m_running.begin(), m_running.end(), [&](const Running& r) { return r.view == &view; }),
        m_running.end());
    setContinuouslyAnimating(view, false);
    for (auto& pending : m_stack)
        pending.changes.erase(std::remove_if(pending.changes.begin(), pending.changes.end(),
                                  [&](const Pending::Change& c) { return c.view == &view; }),
            pending.changes.end());
}

void Animator::finishAll()
{
    std::vector<std::shared_ptr<Group>> groups;
    for (auto& r : m_running)
        if (std::find(groups.begin(), groups.end(), r.group) == groups.end())
            groups.push_back(r.group);
    for (auto& g : groups)
        finishGroup(g);
}

}
