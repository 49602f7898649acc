#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/KeyPress.h"

#include <vector>

namespace hestio::platform {

class Application;
class View;

/// The app by keyboard: the focus chain of the screen on top and what each
/// key does with it. Focus is the first responder; the application hands
/// every key here (Application::sendKey).
class KeyboardFocus {
public:
    /// One place Tab stops at: a view, and which of its stops (a tab of a
    /// tab bar), with the stop's visible rectangle in window coordinates.
    struct Stop {
        View* view { nullptr };
        int stop { 0 };
        Rect rect;
    };

    /// The stops Tab walks on the key window, in reading order (top to
    /// bottom, then left to right): the visible, enabled views of the
    /// screen on top that can become first responder; only the alert's
    /// when one shows.
    [[nodiscard]] static std::vector<Stop> chain(Application& application);
    /// The tree the chain is taken from: the top alert, else the view of the
    /// controller on top, else the key window. None without a key window.
    [[nodiscard]] static View* topScreen(Application& application);

    /// Does what `key` does now; true when it did something.
    static bool handle(Application& application, const KeyPress& key);

    /// The step an arrow moves a slider between `minimum` and `maximum`:
    /// a tenth of the range, rounded down to 1, 2 or 5 times a power of ten.
    [[nodiscard]] static double sliderStep(double minimum, double maximum);

private:
    static bool moveFocus(Application& application, int direction);
    static bool activate(Application& application, const KeyPress& key);
    static bool arrow(Application& application, const KeyPress& key);
    static bool escape(Application& application);
    static bool chooseTab(Application& application, int digit);
    static bool pageBySwipe(Application& application, const KeyPress& key);
};

}
