#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Layer.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace hestio::platform {

class View;

enum class AnimatedProperty { Frame, Alpha, Transform, ContentInset, BoundsOrigin };
using AnimatedValue = std::variant<Rect, double, AffineTransform, EdgeInsets, Point>;

struct AnimationOptions {
    double duration { 0.2 };
    double delay { 0 };
    AnimationCurve curve { AnimationCurve::EaseInOut };
    bool beginFromCurrentState { false };
};

/// One committed animation, as an observer is told of it.
struct AnimationLogEntry {
    std::string name;
    double duration { 0 };
    double delay { 0 };
    bool operator==(const AnimationLogEntry&) const = default;
};

/// Runs view animations on the run loop's clock.
///
/// Inside an animation (a block, or beginAnimations…commitAnimations) the
/// animatable setters store their final value at once — the model is always
/// the final state — and register the change here; drawing asks for the
/// in-between value at the clock's current time, and the completion runs on
/// the run loop when the duration has passed. Without a current run loop
/// changes are immediate and completions run at once.
class Animator {
public:
    static constexpr double defaultDuration = 0.2;

    /// The animator of the current application.
    static Animator& current();

    static void animate(
        double duration, const std::function<void()>& changes, std::function<void(bool finished)> completion = {});
    static void animate(const AnimationOptions& options, const std::function<void()>& changes,
        std::function<void(bool finished)> completion = {});
    /// Runs `changes` with animation recording switched off.
    static void performWithoutAnimation(const std::function<void()>& changes);

    // Named animations, nested like the platform's begin/commit pairs.
    void beginAnimations(std::string name);
    void setAnimationDuration(double seconds);
    void setAnimationDelay(double seconds);
    void setAnimationCurve(AnimationCurve curve);
    void setAnimationBeginsFromCurrentState(bool on);
    void setAnimationDidStop(std::function<void(bool finished)> handler);
    void commitAnimations();

    /// Whether setters are being recorded into an animation now.
    bool isRecording() const;
    /// Called by animatable setters with the old (model) value and the new one.
    void recordChange(View& view, AnimatedProperty property, const AnimatedValue& from, const AnimatedValue& to);
    /// The value to draw for `property` of `view` now, when it is animating.
    [[nodiscard]] std::optional<AnimatedValue> presentedValue(const View& view, AnimatedProperty property) const;
    bool isAnimating(const View& view) const;
    bool hasRunningAnimations() const;
    /// Views that need drawing continuously (spinning indicators).
    void setContinuouslyAnimating(const View& view, bool on);
    /// Drops every animation of a view that is going away.
    void forget(const View& view);
    /// Ends every running animation at its final value and runs completions.
    void finishAll();

    using CommitObserver = std::function<void(const AnimationLogEntry&)>;
    /// Told of every animation as it is committed; none by default.
    const CommitObserver& commitObserver() const { return m_commitObserver; }
    void setCommitObserver(CommitObserver observer) { m_commitObserver = std::move(observer); }

    double now() const;
    /// Keeps the host drawing until a layer transition has ended.
    void noteTransitionUntil(double endTime);

private:
    struct Group;
    struct Pending {
        std::string name;
        AnimationOptions options;
        std::function<void(bool)> completion;
        struct Change {
            View* view;
            AnimatedProperty property;
            AnimatedValue from;
            AnimatedValue to;
        };
        std::vector<Change> changes;
    };
    struct Running {
        View* view;
        AnimatedProperty property;
        AnimatedValue from;
        AnimatedValue to;
        double start;
        double duration;
        AnimationCurve curve;
        std::shared_ptr<Group> group;
    };
    struct Group {
        std::function<void(bool)> completion;
        bool interrupted { false };
        bool done { false };
        TimerHandle timer;
    };
    void commit(Pending pending);
    void finishGroup(const std::shared_ptr<Group>& group);

    std::vector<Pending> m_stack;
    int m_suppressed { 0 };
    std::vector<Running> m_running;
    std::vector<const View*> m_continuous;
    CommitObserver m_commitObserver;
    double m_transitionsUntil { 0 };
    std::shared_ptr<int> m_alive { std::make_shared<int>(0) };
};

/// Value interpolation, exposed for tests.
[[nodiscard]] AnimatedValue interpolate(const AnimatedValue& from, const AnimatedValue& to, double t);
[[nodiscard]] double applyCurve(AnimationCurve curve, double t);

}
