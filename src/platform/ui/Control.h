#pragma once

#include "platform/ui/View.h"

#include <functional>
#include <vector>

namespace hestio::platform {

/// Events a control reports to its targets.
enum ControlEvent : unsigned {
    ControlEventTouchDown = 1 << 0,
    ControlEventTouchDownRepeat = 1 << 1,
    ControlEventTouchDragInside = 1 << 2,
    ControlEventTouchDragOutside = 1 << 3,
    ControlEventTouchUpInside = 1 << 6,
    ControlEventTouchUpOutside = 1 << 7,
    ControlEventTouchCancel = 1 << 8,
    ControlEventValueChanged = 1 << 12,
    ControlEventEditingDidBegin = 1 << 16,
    ControlEventEditingChanged = 1 << 17,
    ControlEventEditingDidEnd = 1 << 18,
    ControlEventEditingDidEndOnExit = 1 << 19,
};

/// States that select a control's title, image and colours.
enum class ControlState { Normal, Highlighted, Disabled, Selected };

/// A view that tracks a finger and sends actions to its targets
/// (target-action: `addTarget(events, action)`).
class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;

    explicit Control(Rect frame = {});
    std::string className() const override { return "Control"; }

    /// Runs `action` whenever one of `events` happens. Returns an id for removeTarget.
    int addTarget(unsigned events, Action action);
    void removeTarget(int id);
    void removeAllTargets();
    /// The number of actions registered for any of `events`.
    std::size_t targetCount(unsigned events) const;
    void sendActionsForControlEvents(unsigned events);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    bool isTracking() const { return m_tracking; }
    bool isTouchInside() const { return m_touchInside; }
    ControlState state() const;

    std::shared_ptr<View> hitTest(Point point) override;

    /// An enabled control takes the keyboard focus.
    bool canBecomeFirstResponder() const override { return m_enabled && isUserInteractionEnabled(); }
    /// A tap in the middle: touch down, tracking, touch up inside.
    bool accessibilityActivate() override;

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

protected:
    // Tracking hooks; return false to stop tracking.
    virtual bool beginTracking(Point point);
    virtual bool continueTracking(Point point);
    virtual void endTracking(Point point, bool inside);
    virtual void cancelTracking();
    /// Slack around the bounds within which a finger still counts as inside.
    virtual double touchSlack() const { return 70; }

private:
    struct Target {
        int id;
        unsigned events;
        Action action;
    };
    std::vector<Target> m_targets;
    int m_nextTarget { 1 };
    bool m_enabled { true };
    bool m_selected { false };
    bool m_highlighted { false };
    bool m_tracking { false };
    bool m_touchInside { false };
};

}
