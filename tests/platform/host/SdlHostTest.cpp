#include "platform/host/SdlHost.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/host/ScreenFit.h"

#include "HostTestScreen.h"
#include "platform/gfx/Image.h"
#include "platform/host/LocationMenu.h"
#include "platform/location/GeoLocationManager.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace hestio;
using namespace hestio::platform;

namespace {

/// The window host on SDL's offscreen driver (no display needed), with the
/// test screen in its window and a manual clock.
class SdlHostFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        // At one pixel a point, window places are points.
        SdlHost::Options options;
        options.readyFile = (dir.path() / "ready").string();
        options.scale = 1;
        auto opened = SdlHost::open(app, loop.loop(), options);
        ASSERT_TRUE(opened) << opened.error().message();
        host = std::move(*opened);
        host->settle();
    }

    void push(SDL_Event event)
    {
        SDL_PushEvent(&event);
        host->settle();
    }

    void mouse(Uint32 type, int x, int y)
    {
        SDL_Event event {};
        event.type = type;
        if (type == SDL_MOUSEMOTION) {
            event.motion.x = x;
            event.motion.y = y;
            event.motion.state = SDL_BUTTON_LMASK;
        } else {
            event.button.button = SDL_BUTTON_LEFT;
            event.button.x = x;
            event.button.y = y;
        }
        push(event);
    }

    /// A touchscreen finger at a place in the window (window units).
    void finger(Uint32 type, SDL_FingerID id, double x, double y)
    {
        Size size = host->windowSize();
        SDL_Event event {};
        event.type = type;
        event.tfinger.touchId = 1;
        event.tfinger.fingerId = id;
        event.tfinger.x = static_cast<float>(x / size.width);
        event.tfinger.y = static_cast<float>(y / size.height);
        push(event);
    }

    void key(SDL_Keycode code, Uint16 mods = 0)
    {
        SDL_Event event {};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = code;
        event.key.keysym.mod = mods;
        push(event);
    }

    void text(const char* utf8)
    {
        SDL_Event event {};
        event.type = SDL_TEXTINPUT;
        std::snprintf(event.text.text, sizeof event.text.text, "%s", utf8);
        push(event);
    }

    test::TempDir dir;
    test::ScopedEnvironment driver { "SDL_VIDEODRIVER", "offscreen" };
    test::TestRunLoop loop;
    Application app;
    std::shared_ptr<Window> window { Window::create() };
    test::HostTestScreen screen { app, *window };
    std::unique_ptr<SdlHost> host;
};

}

TEST_F(SdlHostFixture, DrawsTheFirstFrameAndSaysSo)
{
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "ready"));
    EXPECT_FALSE(app.needsDisplay());
}

TEST_F(SdlHostFixture, TheWindowShowsTheWindowsPictureFrameAfterFrame)
{
    auto samePixels = [&] {
        auto shown = host->windowPixels();
        auto drawn = window->snapshot(1);
        if (!shown || shown->pixelWidth() != drawn->pixelWidth() || shown->pixelHeight() != drawn->pixelHeight())
            return testing::AssertionFailure() << "no picture, or " << (shown ? shown->pixelWidth() : 0) << " x "
                                               << (shown ? shown->pixelHeight() : 0) << " pixels";
        for (int y = 0; y < drawn->pixelHeight(); ++y)
            for (int x = 0; x < drawn->pixelWidth(); ++x) {
                Color want = drawn->pixelAt(x, y), got = shown->pixelAt(x, y);
                // The window is opaque where it draws; elsewhere the texture
                // shows black through.
                bool same = got.red == want.red && got.green == want.green && got.blue == want.blue && got.alpha == 1;
                if (want.alpha == 1 ? !same : got.alpha != 1)
                    return testing::AssertionFailure() << "differs at " << x << ", " << y;
            }
        return testing::AssertionSuccess();
    };
    EXPECT_TRUE(samePixels());
    // The next frames are drawn over the last one's pixels: nothing of it stays.
    screen.status->setText("Changed to a longer text");
    host->settle();
    EXPECT_TRUE(samePixels());
    screen.status->setText("X");
    host->settle();
    EXPECT_TRUE(samePixels());
}

TEST_F(SdlHostFixture, DrawsOnlyWhenSomethingChangedOrAnimates)
{
    auto frames = host->framesDrawn();
    EXPECT_EQ(frames, 1u);
    host->settle();
    host->pass(5);
    EXPECT_EQ(host->framesDrawn(), frames) << "an idle app draws nothing";

    screen.status->setText("Changed");
    host->settle();
    EXPECT_EQ(host->framesDrawn(), ++frames);

    Animator::animate(0.3, [&] { screen.pad->setAlpha(0.5); });
    host->settle();
    EXPECT_EQ(host->framesDrawn(), ++frames);
    host->settle();
    EXPECT_EQ(host->framesDrawn(), frames) << "on a manual clock a frame is drawn only when time moved";
    host->pass(0.1);
    host->pass(0.1);
    EXPECT_EQ(host->framesDrawn(), frames + 2);
    host->pass(0.2);
    frames = host->framesDrawn();
    host->pass(1);
    host->settle();
    EXPECT_EQ(host->framesDrawn(), frames) << "the animation has ended";
}

TEST_F(SdlHostFixture, TheMouseIsOneFinger)
{
    mouse(SDL_MOUSEBUTTONDOWN, 30, 40);
    mouse(SDL_MOUSEMOTION, 32, 41);
    mouse(SDL_MOUSEBUTTONUP, 32, 41);
    EXPECT_EQ(screen.status->text(), "Went");
    EXPECT_EQ(window->activeTouchCount(), 0u);

    // A press that leaves with the focus is cancelled, not a tap.
    screen.status->setText("Waiting");
    mouse(SDL_MOUSEBUTTONDOWN, 30, 40);
    EXPECT_EQ(window->activeTouchCount(), 1u);
    SDL_Event focus {};
    focus.type = SDL_WINDOWEVENT;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    push(focus);
    mouse(SDL_MOUSEBUTTONUP, 30, 40);
    EXPECT_EQ(screen.status->text(), "Waiting");
    EXPECT_EQ(window->activeTouchCount(), 0u);
}

TEST_F(SdlHostFixture, KeysGoToTheFirstResponderAndTabMovesOn)
{
    text("ignored");
    key(SDLK_TAB);
    EXPECT_TRUE(screen.button->isFirstResponder()) << "the button comes first in reading order";
    text(" ");
    key(SDLK_SPACE);
    EXPECT_EQ(screen.status->text(), "Went") << "Space on the focused button taps it";
    key(SDLK_TAB);
    EXPECT_TRUE(screen.name->isFirstResponder());
    text("ab");
    key(SDLK_BACKSPACE);
    text("é");
    key(SDLK_SPACE);
    text(" ");
    EXPECT_EQ(screen.name->text(), "aé ") << "in a field the space is typed once, as text";
    key(SDLK_TAB);
    EXPECT_TRUE(screen.other->isFirstResponder());
    key(SDLK_TAB);
    EXPECT_TRUE(screen.button->isFirstResponder()) << "Tab wraps";
    key(SDLK_TAB, KMOD_SHIFT);
    EXPECT_TRUE(screen.other->isFirstResponder());
    text("x");
    SDL_SetModState(KMOD_LCTRL);
    key(SDLK_1, KMOD_LCTRL);
    text("1");
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(screen.other->text(), "x") << "Ctrl+1 chooses a tab; it types nothing";
}

TEST_F(SdlHostFixture, F2OpensTheLocationMenuWhichTakesTheKeysUntilItCloses)
{
    PositionSource source;
    GeoLocationManager manager({}, source);
    manager.startMonitoringForRegion({ "Home", { 51.5, -0.12 }, 100 });
    LocationMenu menu(source, loop.clock(), [&] { return GeoLocationManager::regionsWatchedOn(source); });
    key(SDLK_F2);
    EXPECT_FALSE(menu.isOpen()) << "without a menu F2 does nothing";
    host->setLocationMenu(&menu);

    key(SDLK_TAB);
    key(SDLK_TAB);
    ASSERT_TRUE(screen.name->isFirstResponder());
    key(SDLK_F2);
    ASSERT_TRUE(menu.isOpen());
    EXPECT_NE(window->findByAccessibilityIdentifier("locationMenu"), nullptr);
    text("1");
    key(SDLK_1);
    EXPECT_EQ(screen.name->text(), "") << "keys typed into the open menu are not typed into the field";
    EXPECT_FALSE(menu.isOpen());
    ASSERT_TRUE(source.current());
    EXPECT_EQ(source.current()->coordinate, (Coordinate { 51.5, -0.12 })) << "1 picked the first line, Go to Home";

    key(SDLK_F2);
    key(SDLK_DOWN);
    key(SDLK_DOWN);
    key(SDLK_RETURN);
    EXPECT_FALSE(menu.isOpen());
    EXPECT_GT(distanceBetween(source.current()->coordinate, { 51.5, -0.12 }), 100) << "the third line goes away";

    key(SDLK_F2);
    key(SDLK_ESCAPE);
    EXPECT_FALSE(menu.isOpen());
    text("x");
    EXPECT_EQ(screen.name->text(), "x") << "a closed menu gives the keys back";
    host->setLocationMenu(nullptr);
}

TEST_F(SdlHostFixture, MinimisingSendsTheAppToTheBackground)
{
    SDL_Event event {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_MINIMIZED;
    push(event);
    EXPECT_EQ(app.applicationState(), ApplicationState::Background);
    event.window.event = SDL_WINDOWEVENT_RESTORED;
    push(event);
    EXPECT_EQ(app.applicationState(), ApplicationState::Active);
}

TEST_F(SdlHostFixture, CtrlWheelPinchesAboutThePointer)
{
    mouse(SDL_MOUSEMOTION, 160, 210);
    SDL_Event wheel {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 3;
    wheel.wheel.preciseY = 3;
    SDL_SetModState(KMOD_LCTRL);
    push(wheel);
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(window->activeTouchCount(), 2u);
    // The fingers lift when Ctrl is let go.
    SDL_Event release {};
    release.type = SDL_KEYUP;
    release.key.keysym.sym = SDLK_LCTRL;
    push(release);
    EXPECT_EQ(window->activeTouchCount(), 0u);
    EXPECT_NEAR(screen.lastPinchScale, 1.1 * 1.1 * 1.1, 0.01);
}

TEST_F(SdlHostFixture, CtrlArrowsTurnTheDeviceAndTheWindowWithIt)
{
    key(SDLK_RIGHT, KMOD_LCTRL);
    host->pass(1);
    EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeLeft);
    EXPECT_EQ(window->frame().size, (Size { 480, 320 }));
    auto landscape = host->screenshot();
    ASSERT_TRUE(landscape);
    EXPECT_EQ(landscape->pixelWidth(), 960);
    EXPECT_EQ(landscape->pixelHeight(), 640);

    key(SDLK_UP, KMOD_LCTRL);
    host->pass(1);
    EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);
    EXPECT_EQ(window->frame().size, (Size { 320, 480 }));
}

TEST_F(SdlHostFixture, ClosingTheWindowQuits)
{
    SDL_Event event {};
    event.type = SDL_QUIT;
    push(event);
    EXPECT_TRUE(host->isQuitting());
}

TEST_F(SdlHostFixture, TouchscreenFingersTapSwipeAndPinch)
{
    finger(SDL_FINGERDOWN, 5, 80, 30);
    EXPECT_EQ(window->activeTouchCount(), 1u);
    finger(SDL_FINGERUP, 5, 80, 30);
    EXPECT_EQ(screen.status->text(), "Went");
    EXPECT_EQ(window->activeTouchCount(), 0u);

    // A quick slide to the left across the pad.
    finger(SDL_FINGERDOWN, 6, 260, 190);
    for (double x : { 230.0, 200.0, 170.0, 140.0 }) {
        host->pass(0.02);
        finger(SDL_FINGERMOTION, 6, x, 190);
    }
    finger(SDL_FINGERUP, 6, 140, 190);
    EXPECT_EQ(screen.leftSwipes, 1);

    // Two fingers spread from 80 to 160 apart, each moving on its own as
    // real fingers are reported.
    host->pass(1);
    finger(SDL_FINGERDOWN, 7, 120, 190);
    finger(SDL_FINGERDOWN, 8, 200, 190);
    EXPECT_EQ(window->activeTouchCount(), 2u);
    for (int step = 1; step <= 4; ++step) {
        host->pass(0.02);
        finger(SDL_FINGERMOTION, 7, 120 - 10 * step, 190);
        finger(SDL_FINGERMOTION, 8, 200 + 10 * step, 190);
    }
    finger(SDL_FINGERUP, 7, 80, 190);
    finger(SDL_FINGERUP, 8, 240, 190);
    EXPECT_NEAR(screen.lastPinchScale, 2, 0.01);
    EXPECT_EQ(window->activeTouchCount(), 0u);
}

TEST_F(SdlHostFixture, FingersDownWhenTheWindowLosesFocusAreCancelled)
{
    finger(SDL_FINGERDOWN, 5, 80, 30);
    finger(SDL_FINGERDOWN, 6, 160, 190);
    EXPECT_EQ(window->activeTouchCount(), 2u);
    SDL_Event focus {};
    focus.type = SDL_WINDOWEVENT;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    push(focus);
    EXPECT_EQ(window->activeTouchCount(), 0u);
    finger(SDL_FINGERUP, 5, 80, 30);
    EXPECT_EQ(screen.status->text(), "Waiting") << "a cancelled press is no tap";
}

TEST_F(SdlHostFixture, AResizedWindowShowsTheScreenBetweenBarsAndMapsThePointer)
{
    host->resizeWindow({ 500, 600 });
    host->settle();
    ASSERT_EQ(host->windowSize(), (Size { 500, 600 }));
    EXPECT_EQ(host->screenViewport(), (Rect { 50, 0, 400, 600 }));
    EXPECT_EQ(window->frame().size, (Size { 320, 480 })) << "the device did not turn";

    // (32, 40) on the screen is (50 + 40, 50) in the window.
    mouse(SDL_MOUSEBUTTONDOWN, 90, 50);
    mouse(SDL_MOUSEBUTTONUP, 90, 50);
    EXPECT_EQ(screen.status->text(), "Went");

    // Presses on the bars touch nothing.
    mouse(SDL_MOUSEBUTTONDOWN, 49, 300);
    EXPECT_EQ(window->activeTouchCount(), 0u);
    mouse(SDL_MOUSEBUTTONUP, 49, 300);
    finger(SDL_FINGERDOWN, 1, 460, 300);
    EXPECT_EQ(window->activeTouchCount(), 0u);
    finger(SDL_FINGERUP, 1, 460, 300);
}

TEST(SdlHostWindow, FitsTheDisplayAndRemembersItsSize)
{
    test::TempDir dir;
    test::ScopedEnvironment driver { "SDL_VIDEODRIVER", "offscreen" };
    test::TestRunLoop loop;
    Application app;
    auto window = Window::create();
    test::HostTestScreen screen { app, *window };
    SdlHost::Options options;
    options.sizeFile = (dir.path() / "config" / "Window.plist").string();
    auto open = [&] {
        auto opened = SdlHost::open(app, loop.loop(), options);
        EXPECT_TRUE(opened) << opened.error().message();
        std::unique_ptr<SdlHost> host = opened ? std::move(*opened) : nullptr;
        if (host)
            host->settle();
        return host;
    };

    double fitting = 0;
    {
        auto host = open();
        ASSERT_TRUE(host);
        SDL_Rect usable {};
        ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0) << SDL_GetError();
        fitting = ScreenFit::fitScale({ 320, 480 }, { double(usable.w), double(usable.h) });
        EXPECT_EQ(host->openingScale(), fitting);
        EXPECT_EQ(host->windowSize(), (Size { 320 * fitting, 480 * fitting }));
        host->resizeWindow({ 400, 500 });
        host->settle();
    }
    // The size is written on the disk writer as the window closes.
    DiskWriter::shared().settle();
    ASSERT_TRUE(std::filesystem::exists(options.sizeFile.value()));
    {
        auto host = open();
        EXPECT_EQ(host->windowSize(), (Size { 400, 500 })) << "the remembered size";
        // Turned, the window turns; the size is remembered as a portrait one.
        host->rotate(InterfaceOrientation::LandscapeLeft);
        host->settle();
        EXPECT_EQ(host->windowSize(), (Size { 500, 400 }));
        host->resizeWindow({ 600, 420 });
        host->settle();
        host->rotate(InterfaceOrientation::Portrait);
    }
    {
        auto host = open();
        EXPECT_EQ(host->windowSize(), (Size { 420, 600 }));
    }
    {
        // A forced scale wins over the remembered size.
        options.scale = 2;
        auto host = open();
        EXPECT_EQ(host->windowSize(), (Size { 640, 960 }));
        EXPECT_EQ(host->openingScale(), 2);
        options.scale.reset();
    }
    {
        // A remembered size that no longer fits (another display) is not used.
        UserDefaults saved { std::filesystem::path(*options.sizeFile) };
        saved.setInteger(5000, "width");
        saved.setInteger(6000, "height");
        auto host = open();
        EXPECT_EQ(host->windowSize(), (Size { 320 * fitting, 480 * fitting }));
    }
}
