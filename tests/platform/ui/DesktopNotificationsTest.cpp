#include "platform/ui/DesktopNotifications.h"

#include "UiTestSupport.h"
#include "support/BusMock.h"
#include "support/LogCapture.h"
#include "support/NotificationDaemon.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::BusMock;
using hestio::test::PrivateBus;
using hestio::test::runUntil;

namespace {

/// A notification daemon numbering its notifications from 41.
struct NotificationFixture : ::testing::Test {
    hestio::test::UiFixture ui;
    hestio::test::NotificationDaemon desktop;
    PrivateBus& bus = desktop.bus;
    std::unique_ptr<BusMock>& daemon = desktop.daemon;
    hestio::test::LogCapture log;

    void SetUp() override { ASSERT_EQ(desktop.start(), ""); }
    void invoke(std::uint32_t id, const char* key) { desktop.invoke(id, key); }
    void close(std::uint32_t id) { desktop.close(id); }
};

}

TEST_F(NotificationFixture, SendsTheAppNameSummaryBodyAndActionsAndReportsThePickedAction)
{
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    std::vector<std::string> picked;
    notifications.notify({ "Message from server", "Heater left on", { { "default", "OK" }, { "later", "Remind me" } },
        [&](const std::string& key) { picked.push_back(key); } });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 1; }));
    EXPECT_EQ(daemon->calls(),
        (std::vector<std::string> { "Notify('Hestio', 0, 'hestio', 'Message from server', 'Heater left on', "
                                    "['default', 'OK', 'later', 'Remind me'], {'desktop-entry': <'hestio'>}, -1)" }));
    EXPECT_EQ(notifications.waitingCount(), 1u);

    invoke(99, "default"); // someone else's notification
    invoke(41, "later");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return !picked.empty(); }));
    EXPECT_EQ(picked, (std::vector<std::string> { "later" }));
    EXPECT_EQ(notifications.waitingCount(), 0u);
    invoke(41, "default");
    close(41);
    EXPECT_TRUE(notifications.isAvailable());
}

TEST_F(NotificationFixture, AClosedNotificationForgetsItsHandler)
{
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    int picked = 0;
    for (int i = 0; i < 2; ++i)
        notifications.notify({ "Hestio", "body", { { "default", "OK" } }, [&](const std::string&) { ++picked; } });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.waitingCount() == 2; }));
    close(41);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.waitingCount() == 1; }));
    invoke(41, "default");
    invoke(42, "default");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return picked == 1; }));
    EXPECT_EQ(notifications.waitingCount(), 0u);
}

TEST(DesktopNotifications, WithoutADaemonNothingIsShownAndOneLineIsLogged)
{
    hestio::test::UiFixture ui;
    hestio::test::LogCapture log;
    PrivateBus bus;
    ASSERT_FALSE(bus.address().empty()) << bus.error();
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    bool picked = false;
    for (int i = 0; i < 3; ++i)
        notifications.notify({ "Hestio", "body", { { "default", "OK" } }, [&](const std::string&) { picked = true; } });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return !notifications.isAvailable(); }));
    ui.loop.runPending();
    EXPECT_EQ(notifications.shownCount(), 0u);
    EXPECT_EQ(notifications.waitingCount(), 0u);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Desktop notifications: not available (", 0), 0u) << log.lines()[0];
    EXPECT_FALSE(picked);
}

TEST_F(NotificationFixture, TheAppsNoticesGoToTheDesktopOnlyWhenTheUserCannotSeeTheApp)
{
    ui.app.launch();
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    bool windowInView = true;
    int raised = 0;
    routeDesktopNotices(
        ui.app, notifications, [&] { return windowInView; }, [&] { ++raised; });

    ui.app.presentLocalNotificationNow({ "Failed to post location to server. \nPlease check cellular strength", "OK" });
    windowInView = false; // another window in front
    ui.app.presentDesktopNotice({ "Message from server", "Heater left on", "OK" });
    windowInView = true;
    ui.app.enterBackground();
    ui.app.presentLocalNotificationNow({ "Failed to post location to server. \nPlease check cellular strength", "" });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 2; }));
    EXPECT_EQ(daemon->calls(),
        (std::vector<std::string> {
            "Notify('Hestio', 0, 'hestio', 'Message from server', 'Heater left on', ['default', 'OK'], "
            "{'desktop-entry': <'hestio'>}, -1)",
            "Notify('Hestio', 0, 'hestio', 'Hestio', 'Failed to post location to server. \\nPlease check "
            "cellular strength', ['default', 'Open'], {'desktop-entry': <'hestio'>}, -1)" }));

    invoke(42, "default");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return raised == 1; }));
    EXPECT_EQ(ui.app.applicationState(), ApplicationState::Active) << "picking the notice brings the app back";
    invoke(41, "default");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return raised == 2; }));
    EXPECT_EQ(ui.app.applicationState(), ApplicationState::Active);
}

TEST_F(NotificationFixture, ANoticesOwnActionsGoToItsHandlerAndLeaveTheAppInTheBackground)
{
    ui.app.launch();
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    int raised = 0;
    routeDesktopNotices(
        ui.app, notifications, [] { return true; }, [&] { ++raised; });
    ui.app.enterBackground();
    std::vector<std::string> picked;
    DesktopNotice notice { "Hestio", "Still on at home: Heater 1.8 kW, TV 90 W", "Open" };
    notice.actions = { { "switch-off-0", "Switch off Heater" }, { "switch-off-1", "Switch off TV" } };
    notice.onAction = [&](const std::string& key) { picked.push_back(key); };
    ui.app.presentDesktopNotice(notice);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 1; }));
    EXPECT_EQ(daemon->calls(),
        (std::vector<std::string> {
            "Notify('Hestio', 0, 'hestio', 'Hestio', 'Still on at home: Heater 1.8 kW, TV 90 W', "
            "['default', 'Open', 'switch-off-0', 'Switch off Heater', 'switch-off-1', "
            "'Switch off TV'], {'desktop-entry': <'hestio'>}, -1)" }));
    invoke(41, "switch-off-1");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return !picked.empty(); }));
    EXPECT_EQ(picked, (std::vector<std::string> { "switch-off-1" }));
    EXPECT_EQ(raised, 0);
    EXPECT_EQ(ui.app.applicationState(), ApplicationState::Background) << "switching off does not open the app";

    // Clicking the notification itself still brings the app forward.
    ui.app.presentDesktopNotice(notice);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 2; }));
    invoke(42, "default");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return raised == 1; }));
    EXPECT_EQ(picked.size(), 1u);
    EXPECT_EQ(ui.app.applicationState(), ApplicationState::Active);
}

TEST_F(NotificationFixture, BodiesAndActionLabelsAreEscapedAndOneTagIsOneNotificationUntilWithdrawn)
{
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    std::vector<std::string> picked;
    auto handler = [&](const std::string& key) { picked.push_back(key); };
    notifications.notify({ "Hestio <3", "Still on at home: <b>Heater</b> & \"TV\" 1.8 kW",
        { { "switch-off-0", "Switch off <b>Heater</b> & \"TV\"" } }, handler, "leave-home" });
    // Sent before the daemon named the first: waits for its id, then
    // replaces it; the second update in between is never shown.
    notifications.notify({ "Hestio", "first update", { { "switch-off-0", "Switch off" } }, handler, "leave-home" });
    notifications.notify({ "Hestio", "Still on at home: TV 90 W", {}, handler, "leave-home" });
    notifications.notify({ "Hestio", "\xff not UTF-8 <", {}, {} });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 3; }));
    auto calls = daemon->calls();
    std::sort(calls.begin(), calls.end()); // the untagged one may come in between
    EXPECT_EQ(calls,
        (std::vector<std::string> {
            "Notify('Hestio', 0, 'hestio', 'Hestio <3', 'Still on at home: &lt;b&gt;Heater&lt;/b&gt; &amp; \"TV\" "
            "1.8 kW', ['switch-off-0', 'Switch off &lt;b&gt;Heater&lt;/b&gt; &amp; \"TV\"'], "
            "{'desktop-entry': <'hestio'>}, -1)",
            "Notify('Hestio', 0, 'hestio', 'Hestio', '\xef\xbf\xbd not UTF-8 &lt;', [], "
            "{'desktop-entry': <'hestio'>}, -1)",
            "Notify('Hestio', 41, 'hestio', 'Hestio', 'Still on at home: TV 90 W', [], "
            "{'desktop-entry': <'hestio'>}, -1)" }));
    EXPECT_EQ(notifications.waitingCount(), 1u) << "one handler for the one tagged notification";

    // The update offers no actions: a key the daemon still sends is not taken.
    invoke(41, "switch-off-0");
    notifications.withdraw("leave-home");
    notifications.withdraw("leave-home");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return daemon->calls().size() == 4; }));
    EXPECT_EQ(daemon->calls().back(), "CloseNotification(41,)");
    ui.loop.runPending();
    EXPECT_TRUE(picked.empty());
    EXPECT_EQ(notifications.waitingCount(), 0u);

    // After a withdrawal, and after the user closed it, the tag starts anew.
    notifications.notify({ "Hestio", "again", {}, handler, "leave-home" });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 4; }));
    close(43);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.waitingCount() == 0; }));
    notifications.notify({ "Hestio", "after closing", {}, handler, "leave-home" });
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 5; }));
    EXPECT_EQ(daemon->calls()[4].substr(0, 20), "Notify('Hestio', 0, ");
    EXPECT_EQ(daemon->calls()[5].substr(0, 20), "Notify('Hestio', 0, ");
}

TEST_F(NotificationFixture, ATaggedNoticeIsUpdatedInPlaceAndGivesWayToTheAppWhenItIsInView)
{
    ui.app.launch();
    DesktopNotifications notifications(ui.loop.loop(), { bus.address() });
    bool windowInView = false;
    routeDesktopNotices(
        ui.app, notifications, [&] { return windowInView; }, [] {});
    DesktopNotice notice { "Hestio", "Still on at home: Heater 1.8 kW", "Open" };
    notice.tag = "leave-home";
    ui.app.presentDesktopNotice(notice);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 1; }));
    notice.body = "Still on at home: TV 90 W";
    ui.app.presentDesktopNotice(notice);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return notifications.shownCount() == 2; }));
    windowInView = true; // the app's own alert says it now
    ui.app.presentDesktopNotice(notice);
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return daemon->calls().size() == 3; }));
    EXPECT_EQ(daemon->calls()[1],
        "Notify('Hestio', 41, 'hestio', 'Hestio', 'Still on at home: TV 90 W', ['default', 'Open'], "
        "{'desktop-entry': <'hestio'>}, -1)");
    EXPECT_EQ(daemon->calls()[2], "CloseNotification(41,)");

    windowInView = false;
    ui.app.presentDesktopNotice(notice);
    ui.app.withdrawDesktopNotice("leave-home");
    ASSERT_TRUE(runUntil(ui.loop.loop(), [&] { return daemon->calls().size() == 5; }));
    EXPECT_EQ(daemon->calls()[3].substr(0, 20), "Notify('Hestio', 0, ");
    EXPECT_EQ(daemon->calls()[4], "CloseNotification(42,)") << "withdrawn once the daemon named it";
    EXPECT_EQ(notifications.waitingCount(), 0u);
}
