#include "platform/ui/View.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace hestio::platform {

namespace {

    std::string formatNumber(double v)
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", std::abs(v) < 1e-9 ? 0.0 : v);
        return buffer;
    }

    AffineTransform aboutCenter(const AffineTransform& t, Size size)
    {
        double cx = size.width / 2, cy = size.height / 2;
        return AffineTransform::translation(-cx, -cy).concat(t).concat(AffineTransform::translation(cx, cy));
    }

}

std::shared_ptr<View> View::create(Rect frame)
{
    return std::make_shared<View>(frame);
}

View::View(Rect frame)
    : m_frame(frame)
{
}

View::~View()
{
    for (auto& child : m_subviews)
        child->m_superview = nullptr;
    for (auto& recognizer : m_gestureRecognizers)
        recognizer->m_view = nullptr;
    if (auto* app = Application::currentIfAny())
        app->animator().forget(*this);
}

void View::setFrame(const Rect& frame)
{
    auto& animator = Animator::current();
    if (animator.isRecording() && !(frame == m_frame))
        animator.recordChange(*this, AnimatedProperty::Frame, m_frame, frame);
    if (frame == m_frame)
        return;
    Size oldSize = m_frame.size;
    m_frame = frame;
    if (!(oldSize == frame.size)) {
        if (m_autoresizesSubviews)
            resizeSubviews(oldSize);
        setNeedsLayout();
        frameSizeDidChange(oldSize);
    }
    setNeedsDisplay();
    if (m_superview)
        m_superview->setNeedsDisplay();
}

void View::setBoundsOrigin(Point origin)
{
    auto& animator = Animator::current();
    if (animator.isRecording() && !(origin == m_boundsOrigin))
        animator.recordChange(*this, AnimatedProperty::BoundsOrigin, m_boundsOrigin, origin);
    if (origin == m_boundsOrigin)
        return;
    m_boundsOrigin = origin;
    setNeedsLayout();
    setNeedsDisplay();
}

void View::setCenter(Point c)
{
    setFrame({ c.x - m_frame.width() / 2, c.y - m_frame.height() / 2, m_frame.width(), m_frame.height() });
}

void View::setAlpha(double alpha)
{
    alpha = std::clamp(alpha, 0.0, 1.0);
    auto& animator = Animator::current();
    if (animator.isRecording() && alpha != m_alpha)
        animator.recordChange(*this, AnimatedProperty::Alpha, m_alpha, alpha);
    if (alpha == m_alpha)
        return;
    m_alpha = alpha;
    setNeedsDisplay();
}

void View::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    if (hidden) {
        auto* responder = Application::shared().firstResponder();
        auto* view = dynamic_cast<View*>(responder);
        if (view && (view == this || view->isDescendantOf(*this)))
            view->resignFirstResponder();
    }
    setNeedsDisplay();
    markWindowNeedsDisplay();
}

void View::setBackgroundColor(Color color)
{
    if (color == m_backgroundColor)
        return;
    m_backgroundColor = color;
    setNeedsDisplay();
}

void View::setClipsToBounds(bool clips)
{
    if (clips == m_clipsToBounds)
        return;
    m_clipsToBounds = clips;
    setNeedsDisplay();
}

void View::addSubview(std::shared_ptr<View> view)
{
    if (!view || view.get() == this)
        return;
    insertSubview(std::move(view), m_subviews.size() + (0));
}

void View::insertSubview(std::shared_ptr<View> view, std::size_t index)
{
    if (!view || view.get() == this)
        return;
    Window* oldWindow = view->window();
    if (view->m_superview == this) {
        auto it = std::find(m_subviews.begin(), m_subviews.end(), view);
        std::size_t current = static_cast<std::size_t>(it - m_subviews.begin());
        m_subviews.erase(it);
        if (index > current)
            --index;
    } else if (view->m_superview) {
        auto keep = view;
        auto* old = view->m_superview;
        old->willRemoveSubview(*view);
        auto& siblings = old->m_subviews;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), view), siblings.end());
        old->setNeedsDisplay();
    }
    index = std::min(index, m_subviews.size());
    m_subviews.insert(m_subviews.begin() + static_cast<std::ptrdiff_t>(index), view);
    view->setSuperview(this);
    didAddSubview(*view);
    if (oldWindow != view->window())
        view->notifyMovedToWindow();
    setNeedsLayout();
    view->setNeedsDisplay();
}

void View::insertSubviewBelow(std::shared_ptr<View> view, const View& sibling)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& v) { return v.get() == &sibling; });
    insertSubview(std::move(view), static_cast<std::size_t>(it - m_subviews.begin()));
}

void View::insertSubviewAbove(std::shared_ptr<View> view, const View& sibling)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& v) { return v.get() == &sibling; });
    std::size_t index
        = it == m_subviews.end() ? m_subviews.size() : static_cast<std::size_t>(it - m_subviews.begin()) + 1;
    insertSubview(std::move(view), index);
}

void View::removeFromSuperview()
{
    if (!m_superview)
        return;
    auto keep = self();
    auto* responder = dynamic_cast<View*>(Application::shared().firstResponder());
    if (responder && (responder == this || responder->isDescendantOf(*this)))
        responder->resignFirstResponder();
    Window* oldWindow = window();
    View* parent = m_superview;
    parent->willRemoveSubview(*this);
    auto& siblings = parent->m_subviews;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    m_superview = nullptr;
    parent->setNeedsDisplay();
    parent->markWindowNeedsDisplay();
    didMoveToSuperview();
    if (oldWindow)
        notifyMovedToWindow();
}

void View::setSuperview(View* superview)
{
    m_superview = superview;
    didMoveToSuperview();
}

void View::notifyMovedToWindow()
{
    didMoveToWindow();
    for (auto& child : std::vector<std::shared_ptr<View>>(m_subviews))
        child->notifyMovedToWindow();
}

void View::bringSubviewToFront(const View& view)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& v) { return v.get() == &view; });
    if (it == m_subviews.end())
        return;
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.push_back(keep);
    setNeedsDisplay();
}

void View::sendSubviewToBack(const View& view)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& v) { return v.get() == &view; });
    if (it == m_subviews.end())
        return;
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.insert(m_subviews.begin(), keep);
    setNeedsDisplay();
}

bool View::isDescendantOf(const View& ancestor) const
{
    for (auto* v = m_superview; v; v = v->m_superview)
        if (v == &ancestor)
            return true;
    return false;
}

Window* View::window() const
{
    const View* v = this;
    while (v->m_superview)
        v = v->m_superview;
    return v == this ? nullptr : v->window();
}

View* View::viewWithTag(int tag)
{
    if (m_tag == tag)
        return this;
    for (auto& child : m_subviews)
        if (auto* found = child->viewWithTag(tag))
            return found;
    return nullptr;
}

View* View::findByAccessibilityIdentifier(const std::string& id)
{
    auto all = findAll([&](const View& v) { return v.accessibilityIdentifier() == id; });
    return all.empty() ? nullptr : all.front();
}

View* View::findByText(const std::string& text)
{
    if (m_hidden)
        return nullptr;
    if (visibleText() == text || (!m_accessibilityLabel.empty() && m_accessibilityLabel == text))
        return this;
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it)
        if (auto* found = (*it)->findByText(text))
            return found;
    return nullptr;
}

std::vector<View*> View::findAll(const std::function<bool(const View&)>& predicate)
{
    std::vector<View*> out;
    std::function<void(View&)> walk = [&](View& v) {
        if (predicate(v))
            out.push_back(&v);
        for (auto& child : v.m_subviews)
            walk(*child);
    };
    walk(*this);
    return out;
}

bool View::isVisibleOnScreen() const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v->m_hidden || v->m_alpha <= 0.01)
            return false;
    return window() != nullptr || dynamic_cast<const Window*>(this) != nullptr;
}

std::optional<Rect> View::visibleRectInWindow() const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v->m_hidden || v->m_alpha <= 0.01)
            return std::nullopt;
    Rect visible = convertRectToView(bounds(), nullptr);
    const View* root = this;
    for (const View* v = m_superview; v; v = v->m_superview) {
        if (v->m_clipsToBounds)
            visible = visible.intersection(v->convertRectToView(v->bounds(), nullptr));
        root = v;
    }
    if (dynamic_cast<const Window*>(root))
        visible = visible.intersection(root->bounds());
    if (visible.isEmpty())
        return std::nullopt;
    return visible;
}

void View::setKeyboardFocusStop(int stop)
{
    if (stop == m_keyboardFocusStop)
        return;
    m_keyboardFocusStop = stop;
    if (isFirstResponder()) {
        Application::shared().firstResponderDidChange();
        setNeedsDisplay();
    }
}

bool View::endEditing(bool)
{
    auto* responder = dynamic_cast<View*>(Application::shared().firstResponder());
    if (responder && (responder == this || responder->isDescendantOf(*this)))
        return responder->resignFirstResponder();
    return true;
}

void View::setNeedsLayout()
{
    m_needsLayout = true;
    markWindowNeedsDisplay();
}

void View::layoutIfNeeded()
{
    if (m_needsLayout) {
        m_needsLayout = false;
        layoutSubviews();
    }
    for (auto& child : std::vector<std::shared_ptr<View>>(m_subviews))
        child->layoutIfNeeded();
}

Size View::sizeThatFits(Size) const
{
    return m_frame.size;
}

void View::sizeToFit()
{
    Size s = sizeThatFits(m_frame.size);
    setFrame({ m_frame.origin, s });
}

void View::setNeedsDisplay()
{
    m_needsDisplay = true;
    markWindowNeedsDisplay();
}

void View::markWindowNeedsDisplay()
{
    if (auto* w = window())
        w->setWindowNeedsDisplay();
}

void View::resizeSubviews(Size oldSize)
{
    double dw = m_frame.width() - oldSize.width;
    double dh = m_frame.height() - oldSize.height;
    for (auto& child : m_subviews) {
        unsigned mask = child->m_autoresizingMask;
        if (mask == AutoresizingNone)
            continue;
        Rect f = child->m_frame;
        int hCount = ((mask & AutoresizingFlexibleLeftMargin) ? 1 : 0) + ((mask & AutoresizingFlexibleWidth) ? 1 : 0)
            + ((mask & AutoresizingFlexibleRightMargin) ? 1 : 0);
        if (hCount > 0 && dw != 0) {
            double share = dw / hCount;
            if (mask & AutoresizingFlexibleLeftMargin)
                f.origin.x += share;
            if (mask & AutoresizingFlexibleWidth)
                f.size.width = std::max(0.0, f.size.width + share);
        }
        int vCount = ((mask & AutoresizingFlexibleTopMargin) ? 1 : 0) + ((mask & AutoresizingFlexibleHeight) ? 1 : 0)
            + ((mask & AutoresizingFlexibleBottomMargin) ? 1 : 0);
        if (vCount > 0 && dh != 0) {
            double share = dh / vCount;
            if (mask & AutoresizingFlexibleTopMargin)
                f.origin.y += share;
            if (mask & AutoresizingFlexibleHeight)
                f.size.height = std::max(0.0, f.size.height + share);
        }
        child->setFrame(f);
    }
}

void View::draw(Context&, const Rect&)
{
}

void View::drawBackground(Context& context, const Rect& local, Color color)
{
    if (color.alpha <= 0)
        return;
    double radius = m_layer.cornerRadius();
    if (radius > 0) {
        context.beginPath();
        context.addRoundedRect(local, radius);
        context.setFillColor(color);
        context.fill();
    } else {
        context.fillRect(local, color);
    }
}

void View::drawHierarchy(Context& context, double inheritedAlpha)
{
    m_needsDisplay = false;
    if (m_hidden)
        return;
    double alpha = presentationAlpha() * inheritedAlpha;
    Rect frame = presentationFrame();
    double now = Animator::current().now();
    Point offset;
    if (const Transition* t = m_layer.runningTransition(now)) {
        double p = applyCurve(t->timingFunction, (now - t->beginTime) / t->duration);
        if (t->type == Transition::Type::Fade) {
            alpha *= p;
        } else {
            double dx = 0, dy = 0;
            switch (t->subtype) {
            case Transition::Subtype::FromBottom:
                dy = frame.height();
                break;
            case Transition::Subtype::FromTop:
                dy = -frame.height();
                break;
            case Transition::Subtype::FromLeft:
                dx = -frame.width();
                break;
            case Transition::Subtype::FromRight:
                dx = frame.width();
                break;
            case Transition::Subtype::None:
                break;
            }
            offset = { dx * (1 - p), dy * (1 - p) };
        }
    }
    if (alpha <= 0.001)
        return;

    ContextStateSaver saver(context);
    context.translate(frame.x() + offset.x, frame.y() + offset.y);
    AffineTransform t = presentationTransform();
    if (!t.isIdentity())
        context.concat(aboutCenter(t, frame.size));
    Rect local { 0, 0, frame.width(), frame.height() };
    double radius = m_layer.cornerRadius();
    if (m_clipsToBounds) {
        if (radius > 0) {
            context.beginPath();
            context.addRoundedRect(local, radius);
            context.clip();
        } else {
            context.clipToRect(local);
        }
    }
    context.setAlpha(alpha);
    drawBackground(context, local, m_backgroundColor);
    Point origin = presentationBoundsOrigin();
    context.translate(-origin.x, -origin.y);
    draw(context, { origin, frame.size });
    for (auto& child : std::vector<std::shared_ptr<View>>(m_subviews))
        child->drawHierarchy(context, alpha);
}

bool View::pointInside(Point point) const
{
    return bounds().contains(point);
}

namespace {

    Point fromSuperview(const View& v, Point p)
    {
        Rect f = v.frame();
        Point q { p.x - f.x(), p.y - f.y() };
        if (!v.transform().isIdentity())
            q = aboutCenter(v.transform(), f.size).inverted().apply(q);
        return { q.x + v.boundsOrigin().x, q.y + v.boundsOrigin().y };
    }

    Point toSuperview(const View& v, Point p)
    {
        Rect f = v.frame();
        Point q { p.x - v.boundsOrigin().x, p.y - v.boundsOrigin().y };
        if (!v.transform().isIdentity())
            q = aboutCenter(v.transform(), f.size).apply(q);
        return { q.x + f.x(), q.y + f.y() };
    }

}

std::shared_ptr<View> View::hitTest(Point point)
{
    if (m_hidden || !m_userInteractionEnabled || m_alpha < 0.01)
        return nullptr;
    if (!pointInside(point))
        return nullptr;
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it) {
        auto child = *it;
        if (auto hit = child->hitTest(fromSuperview(*child, point)))
            return hit;
    }
    return self();
}

Point View::convertToWindow(Point point) const
{
    const View* v = this;
    while (v->m_superview) {
        point = toSuperview(*v, point);
        v = v->m_superview;
    }
    if (dynamic_cast<const Window*>(v) == nullptr)
        point = toSuperview(*v, point);
    else
        point = { point.x - v->m_boundsOrigin.x, point.y - v->m_boundsOrigin.y };
    return point;
}

Point View::convertFromWindow(Point point) const
{
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->m_superview)
        chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const View* v = *it;
        if (it == chain.rbegin() && dynamic_cast<const Window*>(v))
            point = { point.x + v->m_boundsOrigin.x, point.y + v->m_boundsOrigin.y };
        else
            point = fromSuperview(*v, point);
    }
    return point;
}

Point View::convertPointToView(Point point, const View* other) const
{
    Point inWindow = convertToWindow(point);
    return other ? other->convertFromWindow(inWindow) : inWindow;
}

Point View::convertPointFromView(Point point, const View* other) const
{
    Point inWindow = other ? other->convertToWindow(point) : point;
    return convertFromWindow(inWindow);
}

Rect View::convertRectToView(const Rect& rect, const View* other) const
{
    Point a = convertPointToView(rect.origin, other);
    Point b = convertPointToView({ rect.maxX(), rect.maxY() }, other);
    return { std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y) };
}

void View::addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer)
{
    if (!recognizer)
        return;
    if (recognizer->m_view && recognizer->m_view != this)
        recognizer->m_view->removeGestureRecognizer(*recognizer);
    if (std::find(m_gestureRecognizers.begin(), m_gestureRecognizers.end(), recognizer) != m_gestureRecognizers.end())
        return;
    recognizer->m_view = this;
    m_gestureRecognizers.push_back(std::move(recognizer));
}

void View::removeGestureRecognizer(const GestureRecognizer& recognizer)
{
    auto it = std::find_if(
        m_gestureRecognizers.begin(), m_gestureRecognizers.end(), [&](auto& r) { return r.get() == &recognizer; });
    if (it == m_gestureRecognizers.end())
        return;
    (*it)->m_view = nullptr;
    // A detached recogniser no longer hears about the touches it was
    // following, so it lets go of them now; the window still resets it when
    // they end, and it recognises again once it is attached again.
    (*it)->m_touches.clear();
    m_gestureRecognizers.erase(it);
}

Rect View::presentationFrame() const
{
    if (auto v = Animator::current().presentedValue(*this, AnimatedProperty::Frame))
        return std::get<Rect>(*v);
    return m_frame;
}

double View::presentationAlpha() const
{
    if (auto v = Animator::current().presentedValue(*this, AnimatedProperty::Alpha))
        return std::get<double>(*v);
    return m_alpha;
}

AffineTransform View::presentationTransform() const
{
    if (auto v = Animator::current().presentedValue(*this, AnimatedProperty::Transform))
        return std::get<AffineTransform>(*v);
    return m_layer.transform();
}

Point View::presentationBoundsOrigin() const
{
    if (auto v = Animator::current().presentedValue(*this, AnimatedProperty::BoundsOrigin))
        return std::get<Point>(*v);
    return m_boundsOrigin;
}

std::string View::dumpTree() const
{
    std::string out;
    dumpInto(out, 0);
    return out;
}

void View::dumpInto(std::string& out, int depth) const
{
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += className();
    if (!m_accessibilityIdentifier.empty())
        out += " #" + m_accessibilityIdentifier;
    out += " (" + formatNumber(m_frame.x()) + "," + formatNumber(m_frame.y()) + "," + formatNumber(m_frame.width())
        + "," + formatNumber(m_frame.height()) + ")";
    if (m_tag)
        out += " tag=" + std::to_string(m_tag);
    if (m_hidden)
        out += " hidden";
    if (m_alpha < 1)
        out += " alpha=" + formatNumber(m_alpha);
    std::string text = visibleText();
    if (!text.empty())
        out += " \"" + text + "\"";
    out += describeProperties();
    out += '\n';
    for (auto& child : m_subviews)
        child->dumpInto(out, depth + 1);
}

}
