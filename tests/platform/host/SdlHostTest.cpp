#include "platform/host/SdlHost.h"

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
        std::string error;
        host = SdlHost::open(app, loop.loop(), { (dir.path() / "ready").string() }, error);
        ASSERT_TRUE(host) << error;
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
    EXPECT_TRUE(screen.name->isFirstResponder());
    text("ab");
    key(SDLK_BACKSPACE);
    text("é");
    EXPECT_EQ(screen.name->text(), "aé");
    key(SDLK_TAB);
    EXPECT_TRUE(screen.other->isFirstResponder());
    key(SDLK_TAB);
    EXPECT_TRUE(screen.name->isFirstResponder());
    key(SDLK_TAB, KMOD_SHIFT);
    EXPECT_TRUE(screen.other->isFirstResponder());
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
