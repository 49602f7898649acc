#include "platform/host/AutomationDriver.h"

#include "HostTestScreen.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/host/Device.h"
#include "platform/host/HeadlessHost.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

using namespace hestio;
using namespace hestio::platform;

namespace {

class DriverFixture : public ::testing::Test {
protected:
    /// Runs one step: none when it passed, else the reason it gives.
    std::optional<std::string> step(const std::string& line)
    {
        Script script = Script::parse(line);
        EXPECT_FALSE(script.error) << line;
        if (script.error || script.steps.empty())
            return "bad step";
        Status done = driver.runStep(script.steps[0]);
        if (!done)
            return done.error().message();
        return std::nullopt;
    }

    test::TempDir dir;
    test::TestRunLoop loop;
    Application app;
    std::shared_ptr<Window> window { Window::create() };
    HeadlessHost host { app, loop.loop() };
    AutomationDriver driver { host, (dir.path() / "failure.png").string() };
    test::HostTestScreen screen { app, *window };
    std::shared_ptr<Button>& button { screen.button };
    std::shared_ptr<Label>& status { screen.status };
    std::shared_ptr<TextField>& name { screen.name };
    std::shared_ptr<View>& pad { screen.pad };
    int& doubleTaps { screen.doubleTaps };
    int& leftSwipes { screen.leftSwipes };
    int& refreshes { screen.refreshes };
    double& lastPinchScale { screen.lastPinchScale };
};

}

TEST_F(DriverFixture, TapsReachControlsByTextIdentifierAndPoint)
{
    EXPECT_EQ(step("tap \"Go\""), std::nullopt);
    EXPECT_EQ(status->text(), "Went");
    status->setText("Waiting");
    EXPECT_EQ(step("tap #goButton"), std::nullopt);
    EXPECT_EQ(status->text(), "Went");
    status->setText("Waiting");
    EXPECT_EQ(step("tap-at 30 40"), std::nullopt);
    EXPECT_EQ(status->text(), "Went");
    EXPECT_EQ(step("expect-log \"go tapped\""), std::nullopt);
}

TEST_F(DriverFixture, MissingViewsFailWithWhatWasLookedFor)
{
    EXPECT_EQ(step("tap \"Stop\""), "no visible view shows \"Stop\"");
    EXPECT_EQ(step("tap #nothing"), "no visible view has the accessibility identifier #nothing");
    EXPECT_EQ(step("tap-at 400 10"), "(400, 10) is outside the window");
    button->setHidden(true);
    EXPECT_EQ(step("expect \"Go\""), "no visible view shows \"Go\"");
    EXPECT_EQ(step("expect-not \"Go\""), std::nullopt);
    EXPECT_EQ(
        step("expect-not \"Waiting\""), "\"Waiting\" is on screen: Label \"Waiting\" #status at (160, 30) 140x40");
}

TEST_F(DriverFixture, TypingGoesToTheTappedFieldAndNeedsOne)
{
    EXPECT_EQ(step("type \"x\""), "type: no field is being edited (tap one first)");
    EXPECT_EQ(step("return"), "return: no field is being edited (tap one first)");
    EXPECT_EQ(step("backspace"), "backspace: no field is being edited (tap one first)");
    ASSERT_EQ(step("tap #name"), std::nullopt);
    EXPECT_EQ(step("type \"demo!\""), std::nullopt);
    EXPECT_EQ(step("backspace"), std::nullopt);
    EXPECT_EQ(name->text(), "demo");
    EXPECT_EQ(step("expect \"demo\""), std::nullopt);
    // The keyboard is up now: what it covers cannot be touched.
    EXPECT_EQ(step("expect \"First row\""), std::nullopt);
    EXPECT_EQ(step("tap \"First row\""), "\"First row\" is covered by KeyboardView #keyboard at (0, 264) 320x216");
}

TEST_F(DriverFixture, KeysMoveTheFocusActivateAndTypeIntoFields)
{
    EXPECT_EQ(step("expect-focus #goButton"), "expected the focus on #goButton, but it is on nothing");
    EXPECT_EQ(step("key Escape"), "Escape did nothing here (the focus is on nothing)");
    EXPECT_EQ(step("key Tab"), std::nullopt);
    EXPECT_EQ(step("expect-focus \"Go\""), std::nullopt);
    EXPECT_EQ(step("type \"x\""), "type: no field is being edited (tap one first)") << "a button takes no text";
    EXPECT_EQ(step("key Return"), std::nullopt);
    EXPECT_EQ(status->text(), "Went");
    EXPECT_EQ(step("key Tab"), std::nullopt);
    EXPECT_EQ(step("expect-focus #name"), std::nullopt);
    EXPECT_EQ(step("type \"a\""), std::nullopt);
    EXPECT_EQ(step("key Space"), std::nullopt);
    EXPECT_EQ(step("type \"b\""), std::nullopt);
    EXPECT_EQ(name->text(), "a b") << "Space in a field types a space";
    EXPECT_EQ(step("key Shift+Tab"), std::nullopt);
    EXPECT_EQ(step("expect-focus #name"),
        "expected the focus on #name, but it is on Button \"Go\" #goButton at (20, 30) 120x40");
    EXPECT_EQ(
        step("key Ctrl+2"), "Ctrl+2 did nothing here (the focus is on Button \"Go\" #goButton at (20, 30) 120x40)");
}

TEST_F(DriverFixture, TextThatDoesNotFitIsListedWithTheRoomItNeedsAndHas)
{
    EXPECT_EQ(step("expect-text-fits"), std::nullopt);
    // A title too wide for its button; hidden views are not on screen.
    button->setTitle("Go somewhere very far away from here");
    auto hidden = Label::create({ 0, 0, 5, 5 });
    hidden->setText("Never shown");
    hidden->setHidden(true);
    window->addSubview(hidden);
    auto failed = step("expect-text-fits");
    ASSERT_TRUE(failed);
    Size needed = sizeOfText("Go somewhere very far away from here", button->titleLabel().font());
    char expected[160];
    std::snprintf(expected, sizeof expected, "needs %gx%g, has 120x40", std::ceil(needed.width * 10) / 10,
        std::ceil(needed.height * 10) / 10);
    EXPECT_EQ(*failed,
        "1 text is not shown whole (cut off, shortened with an ellipsis or clipped):\n"
        "    Button \"Go somewhere very far away from here\" #goButton at (20, 30) 120x40: \"Go somewhere very far "
        "away from here\" "
            + std::string(expected));
}

TEST_F(DriverFixture, TabsAreFoundByTitleAndByTitleWithTheirBadge)
{
    auto bar = TabBar::create({ 0, 431, 320, TabBar::height });
    std::vector<TabBar::Tab> tabs(2);
    tabs[0].title = "Suggestions";
    tabs[0].badge = "6";
    tabs[1].title = "Devices";
    tabs[1].badge = "";
    bar->setTabs(tabs);
    int tapped = -1;
    bar->setSelectAction([&](int index) { tapped = index; });
    window->addSubview(bar);

    EXPECT_EQ(step("expect \"Suggestions (6)\""), std::nullopt);
    EXPECT_EQ(step("expect-not \"Suggestions (5)\""), std::nullopt);
    // An empty badge is not shown, so it cannot be read either.
    EXPECT_EQ(step("expect-not \"Devices (\""), std::nullopt);
    EXPECT_EQ(step("tap \"Devices\""), std::nullopt);
    EXPECT_EQ(tapped, 1);
    EXPECT_EQ(step("tap \"Suggestions (6)\""), std::nullopt);
    EXPECT_EQ(tapped, 0);
}

TEST_F(DriverFixture, GesturesReachTheirRecognizers)
{
    EXPECT_EQ(step("double-tap #pad"), std::nullopt);
    EXPECT_EQ(doubleTaps, 1);
    EXPECT_EQ(step("swipe left on #pad"), std::nullopt);
    EXPECT_EQ(leftSwipes, 1);
    EXPECT_EQ(step("swipe right on #pad"), std::nullopt);
    EXPECT_EQ(leftSwipes, 1);
    EXPECT_EQ(step("pinch 160 190 2"), std::nullopt);
    EXPECT_NEAR(lastPinchScale, 2.0, 0.01);
    EXPECT_EQ(step("pull-to-refresh"), std::nullopt);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(step("pinch 400 190 2"), "the pinch centre (400, 190) is outside the window");
    EXPECT_EQ(step("drag 10 10 10 600"), "the drag point (10, 600) is outside the window");
}

TEST_F(DriverFixture, WaitsAdvanceTheManualClock)
{
    double before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait 2.5"), std::nullopt);
    EXPECT_DOUBLE_EQ(loop.clock().monotonicSeconds() - before, 2.5);

    loop.loop().postDelayed(1.0, [this] { status->setText("Later"); });
    EXPECT_EQ(step("wait-for \"Later\" 3"), std::nullopt);
    EXPECT_LT(loop.clock().monotonicSeconds() - before, 2.5 + 1.5);
    EXPECT_EQ(step("wait-for #ghost 0.5"), "#ghost did not appear within 0.5 s");
}

TEST_F(DriverFixture, WaitsForViewsToGoAndAlertsToShow)
{
    double before = loop.clock().monotonicSeconds();
    loop.loop().postDelayed(1.0, [this] { status->setHidden(true); });
    EXPECT_EQ(step("wait-for-not #status 3"), std::nullopt);
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 1.0, 1e-6);
    EXPECT_EQ(step("wait-for-not \"Go\" 0.5"),
        "\"Go\" was still on screen after 0.5 s: Button \"Go\" #goButton at (20, 30) 120x40");
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 1.5, 1e-6);

    auto alert = AlertView::create("Oops", "Something", nullptr, std::string("OK"));
    loop.loop().postDelayed(0.3, [&] { alert->show(); });
    EXPECT_EQ(step("wait-for-alert \"Oops\" 1"), std::nullopt);
    EXPECT_EQ(step("wait-for-alert \"Other\" 0.2"), "no alert \"Other\" showed within 0.2 s (showing: \"Oops\")");
    EXPECT_EQ(step("tap \"OK\""), std::nullopt);
    EXPECT_EQ(step("wait-for-alert \"Oops\" 0"), "no alert \"Oops\" showed within 0 s");
}

TEST_F(DriverFixture, EachLogLineSatisfiesOneWaitForLog)
{
    hestio::log("Data sent successfully (switch)");
    loop.loop().postDelayed(2.0, [] { hestio::log("Data sent successfully (slider)"); });
    double before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait-for-log \"Data sent\" 5"), std::nullopt);
    EXPECT_EQ(loop.clock().monotonicSeconds(), before);
    // The first line is taken: the second wait waits for the later one.
    EXPECT_EQ(step("wait-for-log \"Data sent\" 5"), std::nullopt);
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 2.0, 1e-6);
    EXPECT_EQ(step("wait-for-log \"Data sent\" 1"),
        "no new log line contained \"Data sent\" within 1 s (2 earlier such lines were taken by earlier waits)");
    EXPECT_EQ(step("wait-for-log \"nothing\" 0"), "no new log line contained \"nothing\" within 0 s");
    // expect-log still reads every line.
    EXPECT_EQ(step("expect-log \"(switch)\""), std::nullopt);
}

TEST_F(DriverFixture, IdleMeansNoRequestNoAnimationAndNothingDueSoon)
{
    constexpr double horizon = AutomationDriver::idleHorizonSeconds;
    EXPECT_EQ(driver.busyWith(horizon), std::nullopt);
    app.setNetworkActivityIndicatorVisible(true);
    EXPECT_EQ(driver.busyWith(horizon), "a request is in flight (the network activity indicator shows)");
    app.setNetworkActivityIndicatorVisible(false);
    auto task = app.beginBackgroundTask([] {});
    EXPECT_EQ(driver.busyWith(horizon), "a background task is running");
    app.endBackgroundTask(task);
    Animator::animate(0.3, [this] { status->setAlpha(0.5); });
    EXPECT_EQ(driver.busyWith(horizon), "an animation is running");
    loop.advance(0.3);
    EXPECT_EQ(driver.busyWith(horizon), std::nullopt);
    // A timer due at the horizon is work still to come; one just past it is not.
    auto timer = loop.loop().postDelayed(0.5, [] {});
    EXPECT_EQ(driver.busyWith(horizon), "a timer is due in 0.5 s");
    timer.cancel();
    timer = loop.loop().postDelayed(0.51, [] {});
    EXPECT_EQ(driver.busyWith(horizon), std::nullopt);
    timer.cancel();
    loop.loop().post([] {});
    EXPECT_EQ(driver.busyWith(horizon), "work is posted to the run loop");
    loop.runPending();

    // A request that ends after a second: idle a tenth of a second later.
    app.setNetworkActivityIndicatorVisible(true);
    loop.loop().postDelayed(1.0, [this] { app.setNetworkActivityIndicatorVisible(false); });
    double before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait-for-idle 5"), std::nullopt);
    constexpr double poll = AutomationDriver::frameSeconds * 2 + 1e-6;
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 1.0 + AutomationDriver::idleQuietSeconds, poll);

    // As after a sign-in: the answer, then half a second later the login
    // screen goes with an animation. Idle only once that has ended.
    app.setNetworkActivityIndicatorVisible(true);
    loop.loop().postDelayed(1.0, [this] {
        app.setNetworkActivityIndicatorVisible(false);
        loop.loop().postDelayed(0.5, [this] { Animator::animate(0.3, [this] { status->setAlpha(1); }); });
    });
    before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait-for-idle 5"), std::nullopt);
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 1.0 + 0.5 + 0.3 + AutomationDriver::idleQuietSeconds, poll);

    // A request followed shortly by the next one is not an idle moment.
    app.setNetworkActivityIndicatorVisible(true);
    loop.loop().postDelayed(0.5, [this] {
        app.setNetworkActivityIndicatorVisible(false);
        loop.loop().postDelayed(0.4, [this] { app.setNetworkActivityIndicatorVisible(true); });
    });
    EXPECT_EQ(step("wait-for-idle 2"),
        "the app was still busy after 2 s: a request is in flight (the network activity indicator shows)");
    app.setNetworkActivityIndicatorVisible(false);

    // A spinner that never stops keeps the app busy.
    auto spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
    window->addSubview(spinner);
    spinner->startAnimating();
    EXPECT_EQ(step("wait-for-idle 0.5"), "the app was still busy after 0.5 s: an animation is running");
    spinner->stopAnimating();
    EXPECT_EQ(step("wait-for-idle 0.5"), std::nullopt);
    // Quiet, but not for long enough to tell.
    EXPECT_EQ(step("wait-for-idle 0.05"), "the app had been quiet for only 0.05 s after 0.05 s");
}

TEST_F(DriverFixture, StillMeansNothingOnScreenMovesWhateverTheNetworkAndSpinnersDo)
{
    auto spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
    window->addSubview(spinner);
    spinner->startAnimating();
    app.setNetworkActivityIndicatorVisible(true);
    double before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait-for-still 1"), std::nullopt);
    EXPECT_LT(loop.clock().monotonicSeconds() - before, 0.2);

    // An animation, and a second one started when the first ends.
    Animator::animate(
        0.3, [this] { status->setAlpha(0.5); },
        [this](bool) { Animator::animate(0.3, [this] { pad->setAlpha(0.5); }); });
    before = loop.clock().monotonicSeconds();
    EXPECT_EQ(step("wait-for-still 2"), std::nullopt);
    EXPECT_NEAR(loop.clock().monotonicSeconds() - before, 0.6, 0.2);
    EXPECT_FALSE(app.animator().isAnimating(*pad));

    Animator::animate(1.0, [this] { status->setAlpha(1); });
    EXPECT_EQ(step("wait-for-still 0.5"), "Label \"Waiting\" #status at (160, 30) 140x40 was still moving after 0.5 s");
    // A layer transition moves the view too.
    loop.advance(1.0);
    pad->layer().addTransition(
        { Transition::Type::Push, Transition::Subtype::FromTop, 0.4, AnimationCurve::EaseInOut });
    EXPECT_EQ(step("wait-for-still 0.2"), "View #pad at (20, 160) 280x100 was still moving after 0.2 s");
    EXPECT_EQ(step("wait-for-still 1"), std::nullopt);
    spinner->stopAnimating();
    app.setNetworkActivityIndicatorVisible(false);
}

TEST_F(DriverFixture, AlertsLogsAndNotifications)
{
    EXPECT_EQ(step("expect-alert \"Oops\""), "no alert is showing (expected \"Oops\")");
    auto alert = AlertView::create("Oops", "Something", nullptr, std::string("OK"));
    alert->show();
    EXPECT_EQ(step("expect-alert \"Oops\""), std::nullopt);
    EXPECT_EQ(step("expect-alert \"Other\""), "the alert showing is \"Oops\", not \"Other\"");
    EXPECT_EQ(step("tap \"OK\""), std::nullopt);
    EXPECT_EQ(step("expect-alert \"Oops\""), "no alert is showing (expected \"Oops\")");

    hestio::log("first");
    EXPECT_EQ(step("expect-log \"nope\""), "no log line contains \"nope\"; the last lines were:\n    first");

    EXPECT_EQ(step("background"), std::nullopt);
    EXPECT_EQ(app.applicationState(), ApplicationState::Background);
    EXPECT_EQ(step("foreground"), std::nullopt);
    EXPECT_EQ(app.applicationState(), ApplicationState::Active);

    EXPECT_EQ(step("location 51.5 -0.125"), std::nullopt);
    ASSERT_TRUE(PositionSource::shared().current());
    EXPECT_EQ(PositionSource::shared().current()->coordinate, (Coordinate { 51.5, -0.125 }));
}

TEST_F(DriverFixture, AFailedScriptReportsTheStepTheReasonAScreenshotAndTheTree)
{
    auto shot = dir.path() / "ok.png";
    Script script = Script::parse("tap \"Go\"\nscreenshot " + shot.string() + "\nexpect \"Nowhere\"\ntap \"Go\"\n");
    AutomationResult result = driver.run(script);
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.stepsRun, 3);
    EXPECT_TRUE(std::filesystem::exists(shot));
    ASSERT_TRUE(result.screenshotPath);
    EXPECT_TRUE(std::filesystem::exists(*result.screenshotPath));
    auto expectedStart = "line 3: expect \"Nowhere\"\n  failed: no visible view shows \"Nowhere\"\n  screenshot: "
        + (dir.path() / "failure.png").string() + "\nview tree:\n";
    EXPECT_EQ(result.report.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(result.report.find("Went"), std::string::npos) << result.report;

    auto image = Image::fromPngFile(*result.screenshotPath);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 640);
    EXPECT_EQ(image->pixelHeight(), 960);
}

TEST_F(DriverFixture, APassingScriptRunsEveryStep)
{
    AutomationResult result = driver.run(Script::parse("tap #name\ntype \"a\"\nexpect \"a\"\n"));
    EXPECT_TRUE(result.passed) << result.report;
    EXPECT_EQ(result.stepsRun, 3);
    EXPECT_EQ(driver.run(Script::parse("bogus")).report, "line 1: unknown step \"bogus\"");
}

namespace {

/// A clock that is not the manual one, so the driver behaves as on the real
/// clock, but whose time moves only when the device lets it pass.
class SteppedClock final : public Clock {
public:
    Date now() const override { return Date(1354752000.0 + m_seconds); }
    double monotonicSeconds() const override { return m_seconds; }
    void set(double seconds) { m_seconds = seconds; }

private:
    double m_seconds { 0 };
};

/// A device on the stepped clock: passing time runs every timer at its time.
class SteppedDevice final : public Device {
public:
    explicit SteppedDevice(Application& app)
        : m_app(app)
    {
    }
    Application& application() override { return m_app; }
    RunLoop& runLoop() override { return m_loop; }
    void pass(double seconds) override
    {
        double end = m_clock.monotonicSeconds() + seconds;
        while (auto due = m_loop.nextTimerDueTime()) {
            if (*due > end)
                break;
            m_clock.set(std::max(*due, m_clock.monotonicSeconds()));
            m_loop.runDueTasks();
        }
        m_clock.set(end);
        settle();
    }
    void settle() override
    {
        // As the headless host: a task that keeps posting itself stops here.
        for (int round = 0; round < 100 && m_loop.runDueTasks(); ++round) { }
    }
    double seconds() const { return m_clock.monotonicSeconds(); }

private:
    Application& m_app;
    SteppedClock m_clock;
    RunLoop m_loop { m_clock };
    CurrentRunLoopScope m_scope { m_loop };
};

class RealClockFixture : public ::testing::Test {
protected:
    /// Seconds the step took.
    double timed(const std::string& line)
    {
        Script script = Script::parse(line);
        double before = device.seconds();
        Status done = driver.runStep(script.steps.at(0));
        EXPECT_TRUE(done) << line << ": " << (done ? std::string() : done.error().message());
        return device.seconds() - before;
    }

    test::TempDir dir;
    Application app;
    SteppedDevice device { app };
    std::shared_ptr<Window> window { Window::create() };
    AutomationDriver driver { device, (dir.path() / "failure.png").string() };
    test::HostTestScreen screen { app, *window };
};

}

TEST_F(RealClockFixture, ATouchWaitsOnlyUntilTheAppIsQuietAtMostHalfASecond)
{
    constexpr double tapHold = 0.05;
    // Nothing follows the tap but a label's new text.
    EXPECT_NEAR(timed("tap \"Go\""), tapHold, 1e-9);
    EXPECT_EQ(screen.status->text(), "Went");

    // An animation: the step ends with it (give or take a frame).
    screen.button->addTarget(ControlEventTouchUpInside,
        [this](Control&) { Animator::animate(0.3, [this] { screen.status->setAlpha(0.5); }); });
    double animated = timed("tap \"Go\"");
    EXPECT_GE(animated, tapHold + 0.3);
    EXPECT_LE(animated, tapHold + 0.3 + AutomationDriver::frameSeconds + 1e-9);

    // A request that does not end: the whole half second passes, no more.
    app.setNetworkActivityIndicatorVisible(true);
    EXPECT_NEAR(timed("tap \"Go\""), tapHold + AutomationDriver::settleSeconds, 1e-9);
    app.setNetworkActivityIndicatorVisible(false);

    // Typing into a field: the keyboard's animation, then on.
    double typed = timed("tap #name");
    EXPECT_LE(typed, tapHold + AutomationDriver::settleSeconds);
    EXPECT_LT(timed("type \"a\""), AutomationDriver::settleSeconds);
    EXPECT_EQ(screen.name->text(), "a");
}
