#pragma once

#include "platform/gfx/Geometry.h"

#include <memory>
#include <vector>

namespace hestio::platform {

class View;
class Window;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

/// One finger on the screen, from the moment it lands to the moment it lifts.
/// The window keeps it; views and gesture recognisers read it.
class Touch {
public:
    int identifier { 0 };
    TouchPhase phase { TouchPhase::Began };
    double timestamp { 0 };
    int tapCount { 1 };
    Point locationInWindow;
    Point previousLocationInWindow;
    Point startLocationInWindow;
    std::weak_ptr<View> view; ///< the view the touch landed on
    bool cancelledForView { false };
    bool deliveredToView { false };

    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;
};

using TouchSet = std::vector<std::shared_ptr<Touch>>;

/// The touches of one event, as the window saw them.
struct Event {
    double timestamp { 0 };
    TouchSet allTouches;
};

/// What a host hands the application: the fingers that changed (and, for
/// multi-touch, those that did not) with their window positions in points.
struct TouchInput {
    int identifier { 0 };
    Point location;
    TouchPhase phase { TouchPhase::Began };
};

struct TouchEvent {
    double timestamp { 0 };
    std::vector<TouchInput> touches;
};

}
