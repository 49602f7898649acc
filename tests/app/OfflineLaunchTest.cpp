#include "app/SessionTestSupport.h"

#include "devices/AdviceTableViewController.h"
#include "devices/HomeNowSection.h"
#include "devices/HomeTabViewController.h"
#include "devices/LogTabViewController.h"
#include "devices/StatusTableViewController.h"
#include "net/ReplyCache.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "schedule/ScheduleTableViewController.h"

using namespace hestio;
using namespace platform;

namespace {

// The test clock starts at 2012-12-06 00:00:00 UTC; every list was kept at
// 23:50 the day before, the battery state reported at 23:58.
const Date kKeptAt = Date::fromMilliseconds(1354751400000);

const struct {
    const char* key;
    const char* body;
} kKeptReplies[] = {
    { "suggestions",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","suggestions":[{"id":1083,"name":"Raise the fridge by a degree"}]}]})" },
    { "battery",
        R"({"success":true,"statuses":[{"timestamp":1354751880000,"percentage":55,"voltage":12.6,"isCharging":true}]})" },
    { "devices",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354751880000,"powerDraw":80}}]})" },
    { "schedules",
        R"({"success":true,"schedules":[{"title":"Office","startHour":8,"startMin":0,"endHour":17,"endMin":30,"repeatDays":""}]})" },
    { "activities", R"({"success":true,"activities":[{"title":"Watered the ferns"}]})" },
    { "places", R"({"success":true,"locations":[{"title":"Home","latitude":40.7128,"longitude":-74.006}]})" },
};

struct OfflineLaunchTest : test::SessionFixture {
    OfflineLaunchTest()
    {
        UserDefaults::standard().setObject("demo", "username");
        KeychainWrapper::storeKey(std::string("demo"), std::string("demo"), std::string("kivora"), true);
    }

    template<typename Screen> std::shared_ptr<Screen> tab(int index)
    {
        session().rootController->setSelectedIndex(index);
        auto navigation = std::dynamic_pointer_cast<NavigationController>(
            session().rootController->viewControllers().at(static_cast<std::size_t>(index)));
        auto screen = std::dynamic_pointer_cast<Screen>(navigation->topViewController()->shared_from_this());
        screen->view();
        return screen;
    }
    static std::string bar(const OfflineBar& offlineBar)
    {
        return offlineBar.isShown() ? offlineBar.label()->text() : "(hidden)";
    }
};

}

TEST_F(OfflineLaunchTest, EveryListOfTheLastRunShowsAtLaunchAndTheBarTurnsOfflineWhenTheSignInCannotGetThrough)
{
    ReplyCache cache(profile / "cache", "demo");
    for (const auto& kept : kKeptReplies)
        ASSERT_TRUE(cache.store(kept.key, kept.body, kKeptAt)) << kept.key;

    session().applicationDidFinishLaunching(false); // nothing answers: every request fails
    EXPECT_EQ(session().savedLocations().size(), 1u) << "the kept places are there before any answer";
    ASSERT_EQ(transport->requestCount(), 1u) << "only the sign-in went out so far";
    EXPECT_EQ(transport->lastRequest().body, "name=demo&password=demo&token=(null)") << "requests are unchanged";

    auto advice = tab<AdviceTableViewController>(0);
    ASSERT_EQ(advice->adviceData["Kitchen"].size(), 1u);
    EXPECT_EQ(advice->adviceData["Kitchen"][0]->name, "Raise the fridge by a degree");
    auto home = tab<HomeTabViewController>(1);
    EXPECT_EQ(home->batteryInfoCell->percentageLabel().text(), "55.0%");
    auto devices = tab<StatusTableViewController>(2);
    ASSERT_TRUE(devices->statusData);
    EXPECT_EQ(devices->statusData->at("Kitchen").at(0)->deviceName, "Fridge");
    auto schedule = tab<ScheduleTableViewController>(3);
    ASSERT_EQ(schedule->alarms->size(), 1u);
    EXPECT_EQ(schedule->alarms->at(0)->title, "Office");
    auto log = tab<LogTabViewController>(4);
    ASSERT_EQ(log->data.size(), 1u);
    EXPECT_EQ(log->data[0]["title"].stringValue(), "Watered the ferns");

    const std::vector<std::pair<const char*, const OfflineBar*>> bars = {
        { "suggestions", &advice->offlineBar() },
        { "home", &home->offlineBar() },
        { "devices", &devices->offlineBar() },
        { "schedule", &schedule->offlineBar() },
        { "log", &log->offlineBar() },
    };
    for (const auto& [name, offlineBar] : bars) {
        session().rootController->setSelectedIndex(0);
        EXPECT_EQ(bar(*offlineBar), "Updated 12/5/12, 11:50\u202fPM") << name << ": marked with its time";
    }

    loop.runPending();
    loop.runPending();
    EXPECT_TRUE(userSession()->offline().isOffline());
    EXPECT_TRUE(logs.contains("Connection failed! Error - "));
    for (const auto& [name, offlineBar] : bars)
        EXPECT_EQ(bar(*offlineBar), "Offline · updated 12/5/12, 11:50\u202fPM") << name;
    EXPECT_FALSE(session().rootController->modalViewController()) << "no login screen for a network failure";
}

TEST_F(OfflineLaunchTest, WithNothingKeptEachTabSaysTheServiceCannotBeReachedAndHowToTryAgain)
{
    session().applicationDidFinishLaunching(false); // nothing answers: every request fails
    activate();
    auto advice = tab<AdviceTableViewController>(0);
    auto home = tab<HomeTabViewController>(1);
    auto devices = tab<StatusTableViewController>(2);
    auto schedule = tab<ScheduleTableViewController>(3);
    auto log = tab<LogTabViewController>(4);
    const std::vector<std::pair<const char*, const OfflineEmptyState*>> states = {
        { "suggestions", &advice->offlineEmptyState() },
        { "devices", &devices->offlineEmptyState() },
        { "schedule", &schedule->offlineEmptyState() },
        { "log", &log->offlineEmptyState() },
    };
    for (const auto& [name, state] : states)
        EXPECT_FALSE(state->isShown()) << name << ": not before the service is known to be away";

    loop.runPending();
    loop.runPending();
    ASSERT_TRUE(userSession()->offline().isOffline());
    for (const auto& [name, state] : states) {
        ASSERT_TRUE(state->isShown()) << name;
        EXPECT_EQ(state->label()->text(), "The service cannot be reached.\nCheck the connection,\nthen tap Try Again.")
            << name;
        EXPECT_EQ(state->retryButton()->title(), "Try Again") << name;
    }
    EXPECT_FALSE(log->titleForHeaderInSection(*log->logTableView, 1)) << "no bare headers";
    session().rootController->setSelectedIndex(1);
    EXPECT_TRUE(home->nowSection()->isRunning());
    EXPECT_EQ(
        home->nowSection()->textsOfRow(0), (HomeNowSection::Texts { "Power now", "—", "Service unreachable", "" }));
    EXPECT_EQ(
        home->nowSection()->textsOfRow(1), (HomeNowSection::Texts { "Energy today", "—", "Service unreachable", "" }));

    // Each tab's button signs in again: the list comes with the sign-in.
    for (const auto& [name, state] : states) {
        transport->clearRequests();
        state->retryButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
        loop.runPending();
        ASSERT_GE(transport->requestCount(), 1u) << name;
        EXPECT_EQ(transport->requests()[0].body.rfind("name=demo&password=demo&", 0), 0u) << name;
        EXPECT_TRUE(state->isShown()) << name << ": still nothing to show";
    }
}

TEST_F(OfflineLaunchTest, HomeShowsTheDrawOfTheKeptDeviceListWithItsTimeWhileTheServiceCannotBeReached)
{
    // Read at 23:49, kept at 23:50 the day before.
    ASSERT_TRUE(
        ReplyCache(profile / "cache", "demo")
            .store("devices",
                R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","meterPluggedIn":true,)"
                R"("currentStatus":{"timestamp":1354751340000,"powerDraw":80}}]})",
                kKeptAt));
    session().applicationDidFinishLaunching(false);
    activate();
    auto home = tab<HomeTabViewController>(1);
    EXPECT_EQ(home->nowSection()->textsOfRow(0).detail, "Loading…") << "while the sign-in is on its way";
    loop.runPending();
    loop.runPending();
    ASSERT_TRUE(userSession()->offline().isOffline());
    EXPECT_EQ(home->nowSection()->textsOfRow(0),
        (HomeNowSection::Texts { "Power now", "80\u00a0W", "at 12/5/12, 11:49\u202fPM · Service unreachable", "" }));
    EXPECT_EQ(home->nowSection()->numberOfRows(), 3) << "and the device drawing most";
    EXPECT_EQ(home->nowSection()->textsOfRow(2).name, "Fridge");
}

TEST_F(OfflineLaunchTest, TheLiveSavedPlacesAreKeptForTheNextLaunch)
{
    session().applicationDidFinishLaunching(true);
    transport->enqueue(FakeTransport::Reply::json(kKeptReplies[5].body));
    session().getUsersSavedLocations();
    loop.runPending();
    ASSERT_EQ(session().savedLocations().size(), 1u);
    auto kept = ReplyCache(profile / "cache", "demo").load("places");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, kKeptReplies[5].body);
    EXPECT_EQ(kept->fetchedAt, loop.now());
}
