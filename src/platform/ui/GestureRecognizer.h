#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/Touch.h"

#include <functional>
#include <memory>
#include <vector>

namespace hestio::platform {

class View;

/// Turns a sequence of touches into a gesture. Attached to a view, it sees the
/// touches on that view and its subviews before the views do; once it
/// recognises, the views' touches are cancelled (cancelsTouchesInView).
///
/// Discrete gestures (tap, swipe) go Possible → Recognized (Ended) or Failed;
/// continuous ones (pinch, pan) Possible → Began → Changed… → Ended or
/// Cancelled. Actions run on every transition that the platform reports.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
public:
    enum class State { Possible, Began, Changed, Ended, Cancelled, Failed };
    static constexpr State Recognized = State::Ended;
    using Action = std::function<void(GestureRecognizer&)>;

    explicit GestureRecognizer(Action action = {});
    virtual ~GestureRecognizer() = default;

    void addAction(Action action) { m_actions.push_back(std::move(action)); }
    State state() const { return m_state; }
    /// The view it is attached to (non-owning; cleared when detached).
    View* view() const { return m_view; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool cancelsTouchesInView() const { return m_cancelsTouchesInView; }
    void setCancelsTouchesInView(bool on) { m_cancelsTouchesInView = on; }
    /// The centroid of the touches, in `view`'s coordinates (nullptr: window).
    virtual Point locationInView(const View* view) const;
    std::size_t numberOfTouches() const { return m_touches.size(); }
    /// How many times the actions have run with a recognised gesture.
    int recognitionCount() const { return m_recognitionCount; }
    virtual const char* kind() const = 0;

    // Fed by the window.
    void handleTouchesBegan(const TouchSet& touches, const Event& event);
    void handleTouchesMoved(const TouchSet& touches, const Event& event);
    void handleTouchesEnded(const TouchSet& touches, const Event& event);
    void handleTouchesCancelled(const TouchSet& touches, const Event& event);
    /// Back to Possible after the last touch lifted.
    void resetIfFinished();
    bool isTracking(const Touch& touch) const;

protected:
    virtual void touchesBegan(const TouchSet&, const Event&) { }
    virtual void touchesMoved(const TouchSet&, const Event&) { }
    virtual void touchesEnded(const TouchSet&, const Event&) { }
    virtual void touchesCancelled(const TouchSet&, const Event&);
    virtual void reset() { }
    void setState(State state);
    const TouchSet& trackedTouches() const { return m_touches; }
    /// Ignores a touch from now on (more fingers than the gesture wants).
    void ignoreTouch(const Touch& touch);

private:
    friend class View;
    friend class Window;
    void fire();
    std::vector<Action> m_actions;
    State m_state { State::Possible };
    View* m_view { nullptr };
    bool m_enabled { true };
    bool m_cancelsTouchesInView { true };
    TouchSet m_touches;
    int m_recognitionCount { 0 };
};

}
