#pragma once

#include "platform/gfx/Geometry.h"

#include <optional>
#include <string>

namespace hestio::platform {

class View;

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };

/// A layer transition: the view's content is replaced by sliding the new
/// content in (push) or cross-fading (fade).
struct Transition {
    enum class Type { Fade, Push, MoveIn, Reveal };
    enum class Subtype { None, FromBottom, FromTop, FromLeft, FromRight };
    Type type { Type::Fade };
    Subtype subtype { Subtype::None };
    double duration { 0.25 };
    AnimationCurve timingFunction { AnimationCurve::EaseInOut };
    double beginTime { 0 }; ///< monotonic seconds, set when added
};

/// The drawing side of a view: its transform (rotation about z, scale) and the
/// transitions added to it. Every view has exactly one.
class Layer {
public:
    explicit Layer(View& view)
        : m_view(view)
    {
    }
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    View& view() const { return m_view; }

    const AffineTransform& transform() const { return m_transform; }
    /// Animatable inside an animation block.
    void setTransform(const AffineTransform& transform);

    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);

    /// Adds a transition that starts now on the run loop's clock; it
    /// replaces the one running, if any.
    void addTransition(Transition transition, const std::string& key = "transition");
    /// The transition added last, running or over; none before the first.
    const std::optional<Transition>& lastTransition() const { return m_lastTransition; }
    /// The transition running at `now`, if any.
    const Transition* runningTransition(double now) const;

private:
    friend class View;
    View& m_view;
    AffineTransform m_transform;
    double m_cornerRadius { 0 };
    std::optional<Transition> m_lastTransition;
};

}
