#include "UiTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

class Delegate : public ApplicationDelegate {
public:
    std::vector<std::string> calls;
    std::vector<std::uint8_t> token;
    std::string payload;
    void didFinishLaunching(Application&) override { calls.push_back("launch"); }
    void willResignActive(Application&) override { calls.push_back("resign"); }
    void didEnterBackground(Application& app) override
    {
        calls.push_back("background " + std::to_string(static_cast<int>(app.applicationState())));
    }
    void willEnterForeground(Application&) override { calls.push_back("foreground"); }
    void didBecomeActive(Application& app) override
    {
        calls.push_back("active " + std::to_string(static_cast<int>(app.applicationState())));
    }
    void didRegisterForRemoteNotifications(Application&, const std::vector<std::uint8_t>& t) override { token = t; }
    void didReceiveRemoteNotification(Application&, const std::string& p) override { payload = p; }
};

}

TEST(Application, MovesBetweenStatesTellingItsDelegate)
{
    UiFixture ui;
    Delegate delegate;
    ui.app.setDelegate(&delegate);
    EXPECT_EQ(ui.app.applicationState(), ApplicationState::Inactive);
    ui.app.launch();
    ui.app.enterBackground();
    ui.app.enterForeground();
    EXPECT_EQ(delegate.calls,
        (std::vector<std::string> { "launch", "active 0", "resign", "background 2", "foreground", "active 0" }));
}

TEST(Application, PostsWhenItStopsAndStartsBeingActiveAfterTellingItsDelegate)
{
    UiFixture ui;
    Delegate delegate;
    ui.app.setDelegate(&delegate);
    std::vector<std::string> seen;
    int observer = 0;
    for (const char* name : { Application::willResignActiveNotification, Application::didBecomeActiveNotification }) {
        NotificationCenter::defaultCenter().addObserver(&observer, name, [&](const Notification& notification) {
            EXPECT_EQ(notification.sender, &ui.app);
            seen.push_back(notification.name + " after " + delegate.calls.back());
        });
    }
    ui.app.launch();
    ui.app.enterBackground();
    ui.app.enterBackground();
    ui.app.enterForeground();
    ui.app.enterForeground();
    NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(seen,
        (std::vector<std::string> { "ApplicationDidBecomeActive after active 0",
            "ApplicationWillResignActive after resign", "ApplicationDidBecomeActive after active 0" }))
        << "once per transition; a repeated one changes nothing";
}

TEST(Application, BackgroundTasksExpireAfterTheirTime)
{
    UiFixture ui;
    ui.app.launch();
    int expired = 0;
    BackgroundTaskIdentifier task = BackgroundTaskInvalid;
    task = ui.app.beginBackgroundTask([&] {
        ++expired;
        ui.app.endBackgroundTask(task);
        task = BackgroundTaskInvalid;
    });
    EXPECT_NE(task, BackgroundTaskInvalid);
    ui.loop.advance(Application::backgroundTaskLifetime * 2);
    EXPECT_EQ(expired, 0) << "nothing expires in the foreground";
    ui.app.enterBackground();
    ui.loop.advance(Application::backgroundTaskLifetime - 1);
    EXPECT_EQ(expired, 0);
    EXPECT_NEAR(ui.app.backgroundTimeRemaining(), 1, 1e-9);
    ui.loop.advance(1);
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(task, BackgroundTaskInvalid);
    EXPECT_EQ(ui.app.openBackgroundTaskCount(), 0u);
}

TEST(Application, LocalNotificationsShowABannerAndALogLine)
{
    UiFixture ui;
    hestio::test::LogCapture log;
    std::vector<std::string> desktop;
    ui.app.setDesktopNotifier(
        [&](const DesktopNotice& n) { desktop.push_back(n.summary + "|" + n.body + "|" + n.actionLabel); });
    std::vector<LocalNotification> told;
    ui.app.setLocalNotificationObserver([&](const LocalNotification& n) { told.push_back(n); });
    ui.app.presentLocalNotificationNow(
        { "Your login credentials aren't stored in the keychain. Please login", "OK", {}, 0 });
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].alertAction, "OK");
    EXPECT_EQ(log.lines(),
        (std::vector<std::string> {
            "Local notification: Your login credentials aren't stored in the keychain. Please login" }));
    EXPECT_EQ(desktop,
        (std::vector<std::string> { "Hestio|Your login credentials aren't stored in the keychain. Please login|OK" }));
    EXPECT_NE(ui.window->findByAccessibilityIdentifier("notificationBanner"), nullptr);
    ui.loop.advance(5);
    EXPECT_EQ(ui.window->findByAccessibilityIdentifier("notificationBanner"), nullptr);
}

TEST(Application, TheDeviceTokenIsMadeOnceAndKept)
{
    hestio::test::TempDir dir;
    std::vector<std::uint8_t> first;
    {
        UiFixture ui;
        Delegate delegate;
        ui.app.setDelegate(&delegate);
        ui.app.setDeviceTokenPath((dir.path() / "profile" / "device-token").string());
        ui.app.registerForRemoteNotificationTypes(
            RemoteNotificationBadge | RemoteNotificationSound | RemoteNotificationAlert);
        EXPECT_TRUE(delegate.token.empty()) << "delivered on the run loop, not during the call";
        ui.loop.runPending();
        ASSERT_EQ(delegate.token.size(), 32u);
        EXPECT_EQ(ui.app.enabledRemoteNotificationTypes(), 7u);
        first = delegate.token;
    }
    UiFixture ui;
    Delegate delegate;
    ui.app.setDelegate(&delegate);
    ui.app.setDeviceTokenPath((dir.path() / "profile" / "device-token").string());
    ui.app.registerForRemoteNotificationTypes(7);
    ui.loop.runPending();
    EXPECT_EQ(delegate.token, first);
    EXPECT_EQ(std::filesystem::status(dir.path() / "profile" / "device-token").permissions(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "it names this phone: the owner's only";
    ui.app.deliverRemoteNotification(R"({"aps":{"alert":"Heater left on"}})");
    EXPECT_EQ(delegate.payload, R"({"aps":{"alert":"Heater left on"}})");
}

TEST(Application, TheStatusBarTakesTwentyPointsUnlessHidden)
{
    UiFixture ui;
    auto root = std::make_shared<ViewController>();
    ui.window->setRootViewController(root);
    EXPECT_EQ(ui.app.statusBarFrame(), (Rect { 0, 0, 320, 20 }));
    EXPECT_EQ(root->view()->frame(), (Rect { 0, 20, 320, 460 }));
    ui.app.setStatusBarHidden(true);
    EXPECT_TRUE(ui.app.statusBarFrame().isEmpty());
    EXPECT_EQ(root->view()->frame(), (Rect { 0, 0, 320, 480 }));
    ui.app.setApplicationIconBadgeNumber(6);
    EXPECT_EQ(ui.app.applicationIconBadgeNumber(), 6);
    EXPECT_EQ(ui.app.screenScale(), 2.0);
}

TEST(Application, RotationAsksTheTopScreenAndTellsIt)
{
    UiFixture ui;
    struct Rotating : ViewController {
        std::vector<std::string> calls;
        bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation) const override { return true; }
        void willRotateToInterfaceOrientation(InterfaceOrientation, double) override { calls.push_back("will"); }
        void willAnimateRotationToInterfaceOrientation(InterfaceOrientation, double) override
        {
            calls.push_back("animate " + std::to_string(static_cast<int>(view()->frame().width())));
        }
        void didRotateFromInterfaceOrientation(InterfaceOrientation from) override
        {
            calls.push_back("did from " + std::to_string(static_cast<int>(from)));
        }
    };
    auto portraitOnly = std::make_shared<ViewController>();
    ui.window->setRootViewController(portraitOnly);
    ui.app.rotateTo(InterfaceOrientation::LandscapeLeft);
    EXPECT_EQ(ui.app.statusBarOrientation(), InterfaceOrientation::Portrait);
    auto graph = std::make_shared<Rotating>();
    portraitOnly->presentModalViewController(graph, false);
    ui.app.rotateTo(InterfaceOrientation::LandscapeLeft);
    EXPECT_EQ(graph->calls, (std::vector<std::string> { "will", "animate 480", "did from 1" }));
    EXPECT_EQ(graph->interfaceOrientation(), InterfaceOrientation::LandscapeLeft);
}
