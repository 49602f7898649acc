#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/Touch.h"

#include <functional>

namespace hestio::platform {

class Application;

/// Makes the touches a person would: taps, drags, swipes and pinches, sent
/// through Application::sendEvent with increasing timestamps. Between two
/// events it calls the wait hook with the time a finger takes (a test
/// advances its manual clock there; the host runs its loop).
class TouchSynthesizer {
public:
    explicit TouchSynthesizer(Application& application, std::function<void(double seconds)> wait = {});

    void tap(Point at, int taps = 1);
    /// Drags from `from` to `to` in `steps` moves over `duration` seconds.
    void drag(Point from, Point to, int steps = 10, double duration = 0.3, bool lift = true);
    /// A quick drag of 120 points in a direction (dx, dy signs).
    void swipe(Point from, double dx, double dy);
    /// Two fingers around `center` going from `startDistance` apart to `endDistance`.
    void pinch(Point center, double startDistance, double endDistance, int steps = 8);

    void touchDown(Point at, int identifier = 1);
    void touchMove(Point to, int identifier = 1);
    void touchUp(Point at, int identifier = 1);

private:
    double nextTimestamp(double delay);
    void send(std::vector<TouchInput> touches, double delay);
    Application& m_application;
    std::function<void(double)> m_wait;
    double m_last { -1 };
};

}
