#include "platform/host/AutomationDriver.h"

#include "HostTestScreen.h"
#include "platform/foundation/Log.h"
#include "platform/gfx/Image.h"
#include "platform/host/HeadlessHost.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/AlertView.h"
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
