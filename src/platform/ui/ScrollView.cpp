#include "platform/ui/ScrollView.h"

#include "platform/ui/Animator.h"
#include "platform/ui/PanGestureRecognizer.h"

#include <algorithm>
#include <cstdio>

namespace hestio::platform {

std::shared_ptr<ScrollView> ScrollView::create(Rect frame)
{
    return std::make_shared<ScrollView>(frame);
}

ScrollView::ScrollView(Rect frame)
    : View(frame)
    , m_pan(PanGestureRecognizer::create())
{
    setClipsToBounds(true);
    m_pan->addAction([this](GestureRecognizer&) { handlePan(); });
    m_pan->setVerticalOnly(true);
    addGestureRecognizer(m_pan);
}

ScrollView::~ScrollView() = default;

void ScrollView::setContentSize(Size size)
{
    if (size == m_contentSize)
        return;
    m_contentSize = size;
    m_pan->setVerticalOnly(!canScrollHorizontally());
    setNeedsLayout();
    setNeedsDisplay();
}

void ScrollView::setContentOffset(Point offset, bool animated)
{
    if (offset == contentOffset())
        return;
    if (animated)
        Animator::animate(springBackDuration, [&] { setBoundsOrigin(offset); });
    else
        setBoundsOrigin(offset);
    if (auto* delegate = scrollDelegate())
        delegate->scrollViewDidScroll(*this);
}

void ScrollView::setContentInset(EdgeInsets inset)
{
    auto& animator = Animator::current();
    if (animator.isRecording() && !(inset == m_contentInset))
        animator.recordChange(*this, AnimatedProperty::ContentInset, m_contentInset, inset);
    if (inset == m_contentInset)
        return;
    m_contentInset = inset;
    setNeedsLayout();
}

EdgeInsets ScrollView::presentationContentInset() const
{
    if (auto v = Animator::current().presentedValue(*this, AnimatedProperty::ContentInset))
        return std::get<EdgeInsets>(*v);
    return m_contentInset;
}

void ScrollView::setScrollEnabled(bool enabled)
{
    m_scrollEnabled = enabled;
    m_pan->setEnabled(enabled);
}

bool ScrollView::canScrollHorizontally() const
{
    return m_contentSize.width > frame().width();
}

Point ScrollView::minimumContentOffset() const
{
    return { -m_contentInset.left, -m_contentInset.top };
}

Point ScrollView::maximumContentOffset() const
{
    Point min = minimumContentOffset();
    return { std::max(min.x, m_contentSize.width + m_contentInset.right - frame().width()),
        std::max(min.y, m_contentSize.height + m_contentInset.bottom - frame().height()) };
}

void ScrollView::frameSizeDidChange(Size)
{
    m_pan->setVerticalOnly(!canScrollHorizontally());
}

void ScrollView::handlePan()
{
    using State = GestureRecognizer::State;
    auto* delegate = scrollDelegate();
    switch (m_pan->state()) {
    case State::Began:
        m_dragStartOffset = contentOffset();
        m_dragging = true;
        m_decelerating = false;
        if (delegate)
            delegate->scrollViewWillBeginDragging(*this);
        [[fallthrough]];
    case State::Changed: {
        Point t = m_pan->translation();
        Point offset { m_dragStartOffset.x - (canScrollHorizontally() ? t.x : 0), m_dragStartOffset.y - t.y };
        if (!m_bounces) {
            Point min = minimumContentOffset(), max = maximumContentOffset();
            offset = { std::clamp(offset.x, min.x, max.x), std::clamp(offset.y, min.y, max.y) };
        }
        setContentOffset(offset);
        break;
    }
    case State::Ended:
    case State::Cancelled: {
        if (!m_dragging)
            break;
        m_dragging = false;
        Point offset = contentOffset();
        Point min = minimumContentOffset(), max = maximumContentOffset();
        bool outside = offset.x < min.x || offset.x > max.x || offset.y < min.y || offset.y > max.y;
        if (delegate)
            delegate->scrollViewDidEndDragging(*this, outside);
        if (!outside)
            break;
        // The delegate may have changed the inset (a refresh header does), so
        // the edges are read again.
        min = minimumContentOffset();
        max = maximumContentOffset();
        Point target { std::clamp(offset.x, min.x, max.x), std::clamp(offset.y, min.y, max.y) };
        m_decelerating = true;
        std::weak_ptr<View> weak = self();
        Animator::animate(
            springBackDuration, [&] { setBoundsOrigin(target); },
            [weak](bool) {
                auto self = std::static_pointer_cast<ScrollView>(weak.lock());
                if (!self)
                    return;
                self->m_decelerating = false;
                if (auto* d = self->scrollDelegate())
                    d->scrollViewDidEndDecelerating(*self);
            });
        if (delegate && !(target == offset))
            delegate->scrollViewDidScroll(*this);
        break;
    }
    default:
        break;
    }
}

void ScrollView::scrollRectToVisible(const Rect& rect, bool animated)
{
    Rect visible = bounds();
    Point offset = contentOffset();
    if (rect.minY() < visible.minY())
        offset.y = rect.minY();
    else if (rect.maxY() > visible.maxY())
        offset.y = rect.maxY() - visible.height();
    Point min = minimumContentOffset(), max = maximumContentOffset();
    offset.y = std::clamp(offset.y, min.y, max.y);
    setContentOffset(offset, animated);
}

std::string ScrollView::describeProperties() const
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, " offset=(%g,%g) content=(%g,%g)", contentOffset().x, contentOffset().y,
        m_contentSize.width, m_contentSize.height);
    return buffer;
}

}
