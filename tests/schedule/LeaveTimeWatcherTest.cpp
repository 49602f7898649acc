#include "ScheduleTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "schedule/LeaveTimeWatcher.h"
#include "schedule/ScheduleTableViewController.h"
#include "session/LeaveHomeChecker.h"

#include <cmath>

using namespace hestio;
using platform::Date;
using platform::FakeTransport;

namespace {

struct LeaveTimeWatcherTest : test::HouseholdFixture {
    std::shared_ptr<LeaveTimeWatcher> watcher = LeaveTimeWatcher::create(userSession());

    LeaveTimeWatcherTest()
    {
        session().curUser()->tokenExpiration = 4102444800000.0; // 2100: no renewal in the way
        ServiceEnvironment::shared().currentToken = [this] { return session().currentToken(); };
        // The heater is on whenever the device list is asked for.
        transport->setHandler([this](const platform::HttpRequest&) {
            auto stamp = std::to_string(static_cast<long long>(loop.now().millisecondsSince1970()));
            return FakeTransport::Reply::json(R"({"success":true,"devices":[{"id":108,"name":"Heater",)"
                                              R"("location":"Bedroom","meterPluggedIn":true,"currentStatus":)"
                                              R"({"timestamp":)"
                + stamp + R"(,"powerDraw":1800},"onOff":{"device_id":108,"id":8}}]})");
        });
    }
    static std::shared_ptr<ScheduledAlarm> leavingAt(int hour, int minute)
    {
        auto schedule = std::make_shared<ScheduledAlarm>();
        schedule->title = "Home";
        schedule->startTime = { hour, minute };
        schedule->endTime = { 18, 0 };
        return schedule;
    }
    static Date utc(int y, int mo, int d, int h, int mi)
    {
        return platform::Calendar(platform::TimeZone::gmt()).date({ y, mo, d, h, mi, 0, 0 });
    }
    void advanceTo(Date when) { loop.advance(when.timeIntervalSince(loop.now())); }
    std::size_t deviceListRequests() const
    {
        std::size_t count = 0;
        for (const auto& line : requestLines())
            count += line.find("/api/device?") != std::string::npos;
        return count;
    }
};

}

TEST_F(LeaveTimeWatcherTest, OnTheDayTheClocksGoForwardASkippedLeaveTimeChecksAtTheGapsEnd)
{
    // 10 March 2013: New York skips from 02:00 EST to 03:00 EDT.
    advanceTo(utc(2013, 3, 9, 12, 0));
    watcher->watch({ leavingAt(2, 30) });
    EXPECT_EQ(watcher->nextLeaveTime(), utc(2013, 3, 10, 7, 0));
    advanceTo(utc(2013, 3, 10, 6, 59));
    EXPECT_EQ(deviceListRequests(), 0u);
    advanceTo(utc(2013, 3, 10, 7, 0));
    EXPECT_EQ(deviceListRequests(), 1u) << "the check at 03:00 EDT";
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->message(), "Still on at home: Heater 1.80\u00a0kW");
    EXPECT_EQ(watcher->nextLeaveTime(), utc(2013, 3, 11, 6, 30)) << "the next day's 02:30 EDT";
    advanceTo(utc(2013, 3, 11, 6, 30));
    EXPECT_EQ(deviceListRequests(), 2u);
}

TEST_F(LeaveTimeWatcherTest, OnTheDayTheClocksGoBackARepeatedLeaveTimeChecksOnce)
{
    // 3 November 2013: 01:00 to 02:00 happens twice in New York.
    advanceTo(utc(2013, 11, 2, 12, 0));
    watcher->watch({ leavingAt(1, 30) });
    advanceTo(utc(2013, 11, 3, 5, 30)); // the first 01:30, EDT
    EXPECT_EQ(deviceListRequests(), 1u);
    advanceTo(utc(2013, 11, 3, 7, 0)); // past the second 01:30, EST
    EXPECT_EQ(deviceListRequests(), 1u);
    EXPECT_EQ(watcher->nextLeaveTime(), utc(2013, 11, 4, 6, 30));
}

TEST_F(LeaveTimeWatcherTest, ChangedSchedulesReplaceTheOldAndSigningOutForgetsThem)
{
    Date start = loop.now(); // 2012-12-06 00:00 UTC, 19:00 the day before in New York
    watcher->watch({ leavingAt(19, 30) });
    EXPECT_EQ(watcher->nextLeaveTime(), start.addingTimeInterval(1800));
    watcher->watch({ leavingAt(20, 0) });
    loop.advance(1800);
    EXPECT_EQ(deviceListRequests(), 0u) << "the old leave time no longer counts";
    loop.advance(1800);
    EXPECT_EQ(deviceListRequests(), 1u);

    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(watcher->nextLeaveTime(), std::nullopt);
    loop.advance(2 * 86400);
    EXPECT_EQ(deviceListRequests(), 1u);
}

TEST_F(LeaveTimeWatcherTest, TheScheduleListHandsOverWhatTheServiceHas)
{
    auto screen = ScheduleTableViewController::create(userSession());
    transport->setHandler([](const platform::HttpRequest&) {
        return FakeTransport::Reply::json(
            R"({"success":true,"schedules":[{"title":"Home","startHour":19,"startMin":45,"endHour":23,"endMin":0,"repeatDays":""}]})");
    });
    screen->view();
    loop.runPending();
    EXPECT_EQ(screen->leaveTimes().nextLeaveTime(), loop.now().addingTimeInterval(2700)) << "19:45 in New York";
}

TEST_F(LeaveTimeWatcherTest, BeforeTheTabOpensTheLastRunsSchedulesAreWatchedWithoutARequest)
{
    platform::UserDefaults::standard().setObject("demo", "username");
    auto cache = userSession()->offline().cache();
    ASSERT_TRUE(cache);
    ASSERT_TRUE(cache->store("schedules",
        R"({"success":true,"schedules":[{"title":"Home","startHour":19,"startMin":45,"endHour":23,"endMin":0,"repeatDays":""}]})",
        loop.now()));
    auto screen = ScheduleTableViewController::create(userSession());
    EXPECT_FALSE(screen->leaveTimes().nextLeaveTime());

    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_EQ(screen->leaveTimes().nextLeaveTime(), loop.now().addingTimeInterval(2700)) << "19:45 in New York";
    EXPECT_TRUE(requestLines().empty()) << "no list of its own is asked for";

    // A damaged or missing kept list watches nothing, and asks for nothing.
    cache->removeAll();
    auto other = ScheduleTableViewController::create(userSession());
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_FALSE(other->leaveTimes().nextLeaveTime());
    EXPECT_TRUE(requestLines().empty());
    platform::UserDefaults::standard().removeObjectForKey("username");
}

TEST_F(LeaveTimeWatcherTest, ALeaveTimeNoticedUpToTenMinutesLateChecksAndOneSecondMoreIsSkipped)
{
    // The watcher looks at the clock every longestWait; the wall clock
    // jumps meanwhile, as when the machine sleeps, so that the look comes
    // `late` seconds after the leave time.
    struct Case {
        double late;
        std::size_t checks;
    };
    for (auto [late, checks] : { Case { 0, 1 }, Case { 600, 1 }, Case { 601, 0 }, Case { 5 * 3600, 0 } }) {
        SCOPED_TRACE(late);
        Date start = loop.now();
        std::size_t before = deviceListRequests();
        watcher->watch({ leavingAt(19, 30) }); // 30 minutes away, in New York
        Date leave = *watcher->nextLeaveTime();
        loop.clock().setNow(leave.addingTimeInterval(late - LeaveTimeWatcher::longestWait));
        loop.advance(LeaveTimeWatcher::longestWait);
        EXPECT_EQ(loop.now(), leave.addingTimeInterval(late));
        EXPECT_EQ(deviceListRequests() - before, checks);
        if (checks) {
            ASSERT_NE(application->topAlert(), nullptr);
            EXPECT_EQ(application->topAlert()->message(), "Still on at home: Heater 1.80\u00a0kW");
            userSession()->leaveHomeChecker()->cancel();
        } else {
            EXPECT_EQ(application->topAlert(), nullptr);
            EXPECT_TRUE(logs.contains(hestio::format(
                "Leave time of a schedule missed by %.0f minutes (the clock jumped or the machine slept): not checked",
                std::floor(late / 60))));
        }
        EXPECT_EQ(watcher->nextLeaveTime(), leave.addingTimeInterval(86400)) << "the next day's goes on";
        loop.clock().setNow(start.addingTimeInterval(86400)); // 19:00 the next day
    }
}

TEST_F(LeaveTimeWatcherTest, AWallClockThatJumpsPastALeaveTimeShowsTheNoticeWithinTheLongestWait)
{
    watcher->watch({ leavingAt(19, 30) });
    Date leave = *watcher->nextLeaveTime();
    loop.advance(1);
    loop.clock().setNow(leave.addingTimeInterval(5)); // the time was set
    loop.advance(LeaveTimeWatcher::longestWait - 2);
    EXPECT_EQ(application->topAlert(), nullptr);
    loop.advance(1);
    EXPECT_EQ(deviceListRequests(), 1u);
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->title(), "Leaving home");
    EXPECT_EQ(application->topAlert()->message(), "Still on at home: Heater 1.80\u00a0kW");
}
