#pragma once

#include <memory>

namespace hestio::platform {

class Application;
class Clock;
class Image;
class RunLoop;
class Window;

/// The app on a device, as the automation driver sees it: the application,
/// the clock it runs on, and the passing of time. The headless host and the
/// window host are the two devices.
class Device {
public:
    virtual ~Device() = default;

    [[nodiscard]] virtual Application& application() = 0;
    [[nodiscard]] virtual RunLoop& runLoop() = 0;
    [[nodiscard]] Clock& clock();

    /// Lets `seconds` go by with the app running: the manual clock is
    /// advanced at once; on the real clock the loop runs (and the window
    /// draws) until that much time has passed.
    virtual void pass(double seconds) = 0;
    /// Runs what is due now without letting time pass.
    virtual void settle() = 0;

    /// The key window, when there is one.
    [[nodiscard]] Window* keyWindow();
    /// The key window as it looks now, at the screen's scale; none without a window.
    [[nodiscard]] std::shared_ptr<Image> screenshot();
    /// The same in `last`'s pixels when nothing else holds them
    /// (Window::snapshot): a new frame without a second picture.
    [[nodiscard]] std::shared_ptr<Image> screenshot(std::shared_ptr<Image> last);
};

}
