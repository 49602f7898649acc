#pragma once

#include "platform/ui/View.h"

namespace hestio::platform {

class PanGestureRecognizer;
class ScrollView;

/// What a scroll view tells its delegate; every method has an empty default.
class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(ScrollView&) { }
    virtual void scrollViewWillBeginDragging(ScrollView&) { }
    virtual void scrollViewDidEndDragging(ScrollView&, bool /*willDecelerate*/) { }
    virtual void scrollViewDidEndDecelerating(ScrollView&) { }
};

/// A view whose content is larger than itself, moved by dragging. The content
/// offset is the bounds origin; the inset adds room around the content. A
/// drag past an edge follows the finger (bouncing) and springs back when
/// released; the delegate hears will-begin-dragging, did-scroll on every
/// movement and did-end-dragging (will decelerate when springing back).
class ScrollView : public View {
public:
    static constexpr double springBackDuration = 0.3;
    [[nodiscard]] static std::shared_ptr<ScrollView> create(Rect frame = {});
    explicit ScrollView(Rect frame = {});
    ~ScrollView() override;

    std::string className() const override { return "ScrollView"; }

    Size contentSize() const { return m_contentSize; }
    void setContentSize(Size size);
    Point contentOffset() const { return boundsOrigin(); }
    /// Tells the delegate scrollViewDidScroll when the offset changes.
    void setContentOffset(Point offset, bool animated = false);
    EdgeInsets contentInset() const { return m_contentInset; }
    /// Animatable inside an animation block.
    void setContentInset(EdgeInsets inset);
    EdgeInsets presentationContentInset() const;

    /// Non-owning; table views report to their table delegate.
    virtual ScrollViewDelegate* scrollDelegate() const { return m_delegate; }
    void setDelegate(ScrollViewDelegate* delegate) { m_delegate = delegate; }

    bool bounces() const { return m_bounces; }
    void setBounces(bool bounces) { m_bounces = bounces; }
    bool isScrollEnabled() const { return m_scrollEnabled; }
    void setScrollEnabled(bool enabled);
    bool isDragging() const { return m_dragging; }
    bool isDecelerating() const { return m_decelerating; }
    PanGestureRecognizer& panGestureRecognizer() { return *m_pan; }

    Point minimumContentOffset() const;
    Point maximumContentOffset() const;
    void scrollRectToVisible(const Rect& rect, bool animated);

protected:
    void frameSizeDidChange(Size) override;
    std::string describeProperties() const override;

private:
    void handlePan();
    bool canScrollHorizontally() const;

    Size m_contentSize;
    EdgeInsets m_contentInset;
    ScrollViewDelegate* m_delegate { nullptr };
    bool m_bounces { true };
    bool m_scrollEnabled { true };
    bool m_dragging { false };
    bool m_decelerating { false };
    Point m_dragStartOffset;
    std::shared_ptr<PanGestureRecognizer> m_pan;
};

}
