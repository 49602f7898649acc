#pragma once

#include "platform/foundation/Result.h"
#include "platform/gfx/Geometry.h"
#include "platform/host/Device.h"
#include "platform/ui/Application.h"
#include "platform/ui/Touch.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

union SDL_Event;

namespace hestio::platform {

class Image;
class LocationMenu;

/// The app in a phone-sized SDL window: 320x480 points (480x320 when turned
/// to landscape) at the largest scale that fits the display's free area,
/// kept at their aspect with black bars when the window is resized; the size
/// is remembered for the next start. The mouse is one finger, a touchscreen's
/// fingers are fingers, Ctrl+wheel and two-finger trackpad gestures pinch
/// about the pointer, the keyboard types into the first responder and drives
/// the app (Tab and Shift+Tab move the focus, Return and Space activate,
/// arrows, Escape, Ctrl+1 to Ctrl+5: Application::sendKey; Ctrl+arrows turn
/// the device), and losing the window to a minimise sends the app to the
/// background.
///
/// The loop sleeps in SDL_WaitEventTimeout until input arrives, the run
/// loop's next timer falls due, or a post() from another thread wakes it; it
/// draws only when something is marked or an animation runs, so an idle app
/// costs no CPU.
class SdlHost final : public Device {
public:
    struct Options {
        /// A file made once the first frame is on screen.
        std::optional<std::string> readyFile;
        /// Window units a point, instead of the size that fits the display
        /// (or the remembered one).
        std::optional<double> scale;
        /// Where the window's size is remembered (none: it is not).
        std::optional<std::string> sizeFile;
        /// Prints the chosen scale and the window's place once it shows.
        bool printGeometry { false };
    };

    /// Opens the window, or says why SDL cannot (no display, no video
    /// driver). Non-owning: the application and the loop outlive the host.
    static Result<std::unique_ptr<SdlHost>> open(Application& application, RunLoop& loop, Options options);
    ~SdlHost() override;

    /// Runs until the window is closed (or quit() is called); the
    /// application is told it terminates.
    void run();
    void quit() { m_quit = true; }
    [[nodiscard]] bool isQuitting() const { return m_quit; }

    [[nodiscard]] Application& application() override { return m_application; }
    [[nodiscard]] RunLoop& runLoop() override { return m_loop; }
    /// Keeps the window live (input, timers, drawing) for `seconds`; on a
    /// manual clock the clock is advanced instead.
    void pass(double seconds) override;
    void settle() override;

    /// Turns the device, and the window with it between portrait and landscape.
    void rotate(InterfaceOrientation orientation);
    /// Resizes the window (desktop units) as a person dragging its edge does.
    void resizeWindow(Size size);

    /// The Location menu F2 opens (not owned; none: F2 does nothing).
    void setLocationMenu(LocationMenu* menu) { m_locationMenu = menu; }

    /// Whether the window has the keyboard (the user is looking at it).
    [[nodiscard]] bool hasInputFocus() const;
    /// Restores a minimised window and puts it in front.
    void raise();

    /// The window's pixels as last put on screen, read back from the
    /// renderer (for tests); none when they cannot be read.
    [[nodiscard]] std::shared_ptr<Image> windowPixels() const;

    /// Frames put on screen so far (an idle app adds none).
    [[nodiscard]] std::uint64_t framesDrawn() const { return m_framesDrawn; }

    /// The window's size in the desktop's units, and the scale it was opened
    /// at (window units a point).
    [[nodiscard]] Size windowSize() const;
    [[nodiscard]] double openingScale() const { return m_openingScale; }
    /// Where the screen is in the window now (window units).
    [[nodiscard]] Rect screenViewport() const;
    /// Where the window's top left corner is on the desktop.
    [[nodiscard]] Point windowPosition() const;

    struct Impl;

private:
    SdlHost(Application& application, RunLoop& loop, Options options);
    /// One turn of the loop: waits for input or the next due time (at most
    /// until `deadline`, in monotonic seconds), handles what came, runs due
    /// tasks and draws when needed.
    void turn(std::optional<double> deadline);
    void handle(const SDL_Event& event);
    void handleWindowEvent(const SDL_Event& event);
    void handleKey(const SDL_Event& event);
    [[nodiscard]] bool handleMenuKey(int key);
    void handleWheel(const SDL_Event& event);
    void handleFinger(const SDL_Event& event);
    /// The screen's point under a place in the window (window units).
    [[nodiscard]] Point pointAt(double x, double y) const;
    void rememberSize(Size size);
    void printGeometry();
    void pinchBy(double factor, Point center);
    void endPinch();
    /// The key an SDL key with modifiers stands for, if the app answers it.
    [[nodiscard]] static std::optional<KeyPress> keyPress(int key, unsigned mods);
    void sendTouch(int id, Point at, int phase);
    void sendTouchInput(const TouchInput& input);
    void sendPinchTouches(int phase);
    void drawIfNeeded();
    void drawWindowIntoTexture(Window& window, double scale);
    [[nodiscard]] bool resizeSurfaces(Size points);
    [[nodiscard]] double now() const;

    Application& m_application;
    RunLoop& m_loop;
    Options m_options;
    std::unique_ptr<Impl> m_impl;
    LocationMenu* m_locationMenu { nullptr };
    bool m_quit { false };
    double m_openingScale { 1 };
    Size m_openingSize;
    std::optional<Size> m_sizeToRemember;
    bool m_mouseDown { false };
    bool m_inputSinceDraw { true };
    bool m_drewOnce { false };
    std::uint64_t m_framesDrawn { 0 };
    bool m_animatingAfterDraw { false };
    double m_lastDrawClock { -1 };
    double m_lastDrawReal { 0 };
    long m_lastDrawMinute { -1 };
    struct Pinch {
        bool active { false };
        Point center;
        double spread { 0 };
        double lastChange { 0 };
    } m_pinch;
};

}
