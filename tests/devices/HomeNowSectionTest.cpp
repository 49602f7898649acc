#include "devices/HomeNowSection.h"
#include "devices/DeviceDetailViewController.h"
#include "devices/DevicesTestSupport.h"
#include "devices/HomeTabViewController.h"
#include "devices/NowFigureCell.h"
#include "devices/NowTexts.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "support/DeviceSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <string>
#include <vector>

using namespace hestio;
using namespace platform;
using Texts = HomeNowSection::Texts;

namespace {

const TimeZone kBerlin = *TimeZone::named("Europe/Berlin");

Date local(int year, int month, int day, int hour, int minute = 0)
{
    return Calendar(kBerlin).date({ year, month, day, hour, minute, 0 });
}

/// One device of a device-list reply.
struct Meter {
    std::string name;
    std::string powerDraw; // JSON text
    double ageSeconds { 20 };
    bool pluggedIn { true };
};

/// The Home tab in a window on the manual clock, the household in Berlin on
/// Monday 1 April 2013 at 14:30 (the day after a 23-hour Sunday), the app
/// active. The fake service answers each kind of request from its own queue,
/// and with its default when the queue is empty.
struct HomeNowTest : test::DevicesFixture {
    test::DeviceSettings settings { "UTC", "en_GB" };
    std::shared_ptr<HomeTabViewController> screen = HomeTabViewController::create(userSession());
    std::shared_ptr<NavigationController> navigation = NavigationController::create(screen);
    std::shared_ptr<Window> window = Window::create();
    std::deque<FakeTransport::Reply> deviceReplies;
    std::deque<FakeTransport::Reply> energyReplies;
    std::vector<Meter> meters { { "Heater", "1500" }, { "Fridge", "120.6" }, { "Lamp", "60" }, { "Radio", "4" } };
    /// The energy the household used each hour (the hour under way: half).
    double kWhPerHour { 1 };

    HomeNowTest()
    {
        user->household = json::Value::dictionary(
            { { "name", "The Demos" }, { "UTCTimeZone", "+2" }, { "timeZoneArea", "Europe/Berlin" } });
        loop.clock().setNow(local(2013, 4, 1, 14, 30));
        activate();
        transport->setHandler([this](const HttpRequest& request) { return answer(request); });
        window->setRootViewController(navigation);
    }
    ~HomeNowTest() override { UserDefaults::standard().removeObjectForKey(Tariff::defaultsKey("demo")); }

    FakeTransport::Reply answer(const HttpRequest& request)
    {
        auto next = [](std::deque<FakeTransport::Reply>& queue, FakeTransport::Reply fallback) {
            if (queue.empty())
                return fallback;
            FakeTransport::Reply reply = std::move(queue.front());
            queue.pop_front();
            return reply;
        };
        if (request.url.find("/api/device?") != std::string::npos)
            return next(deviceReplies, FakeTransport::Reply::json(devicesReply()));
        if (request.url.find("/api/energyconsumption?") != std::string::npos)
            return next(energyReplies, FakeTransport::Reply::json(energyReply()));
        return FakeTransport::Reply::json(R"({"success":true,"statuses":[]})");
    }

    std::string devicesReply() const
    {
        std::string items;
        int id = 1;
        for (const Meter& m : meters) {
            auto stamp = std::llround(loop.now().millisecondsSince1970() - m.ageSeconds * 1000);
            items += std::string(items.empty() ? "" : ",") + R"({"id":)" + std::to_string(id++) + R"(,"name":")"
                + m.name + R"(","location":"Home","meterPluggedIn":)" + (m.pluggedIn ? "true" : "false")
                + R"(,"currentStatus":{"timestamp":)" + std::to_string(stamp) + R"(,"powerDraw":)" + m.powerDraw + "}}";
        }
        return R"({"success":true,"devices":[)" + items + "]}";
    }

    /// Every hour from yesterday's midnight up to now.
    std::string energyReply() const
    {
        Date now = loop.now();
        Date start = EnergyToday::daysAround(now, kBerlin).yesterdayStart;
        std::string items;
        for (Date hour = start; hour < now; hour = hour.addingTimeInterval(3600)) {
            double kWh = hour.addingTimeInterval(3600) > now ? kWhPerHour / 2 : kWhPerHour;
            items += std::string(items.empty() ? "" : ",") + R"({"from":)"
                + std::to_string(std::llround(hour.millisecondsSince1970())) + R"(,"energyConsumed":)"
                + std::to_string(kWh) + "}";
        }
        return R"({"success":true,"energyConsumptions":[)" + items + "]}";
    }

    std::size_t requestsTo(const std::string& path) const
    {
        std::size_t count = 0;
        for (const auto& request : transport->requests())
            count += request.url.find(path) != std::string::npos;
        return count;
    }
    std::size_t deviceRequests() const { return requestsTo("/api/device?"); }
    std::size_t energyRequests() const { return requestsTo("/api/energyconsumption?"); }

    /// The tab comes on screen and its first answers arrive.
    void show()
    {
        window->makeKeyAndVisible();
        loop.runPending();
    }
    Texts row(int index) { return screen->nowSection()->textsOfRow(index); }
    void setTariff()
    {
        Tariff tariff;
        tariff.currency = "EUR";
        tariff.pricePerKWh = 0.30;
        tariff.offPeak = Tariff::OffPeak { 0.10, 22, 6 };
        tariff.save(UserDefaults::standard(), "demo");
    }
};

}

TEST_F(HomeNowTest, TheDrawIsRefreshedEveryTenSecondsWhileTheTabIsOnScreen)
{
    show();
    EXPECT_EQ(deviceRequests(), 1u) << "at once when the tab appears";
    bool listed = false;
    for (const auto& request : transport->requests())
        listed = listed
            || request.url == "https://localhost:8443/kivoraserver/api/device?token=T0K3N&action=true&token=T0K3N";
    EXPECT_TRUE(listed) << "the device list's own request";

    loop.advance(9.999);
    EXPECT_EQ(deviceRequests(), 1u) << "not before ten seconds";
    loop.advance(0.001);
    EXPECT_EQ(deviceRequests(), 2u) << "at exactly ten seconds";
    loop.advance(30);
    EXPECT_EQ(deviceRequests(), 5u);
}

TEST_F(HomeNowTest, NothingIsRefreshedWhileAnotherScreenCoversTheTabOrTheAppIsInTheBackground)
{
    show();
    ASSERT_EQ(deviceRequests(), 1u);

    navigation->pushViewController(std::make_shared<ViewController>(), false);
    loop.advance(60);
    EXPECT_EQ(deviceRequests(), 1u) << "a screen pushed over the tab";
    navigation->popViewControllerAnimated(false);
    loop.runPending();
    EXPECT_EQ(deviceRequests(), 2u) << "back on screen: at once";

    screen->presentModalViewController(std::make_shared<ViewController>(), false);
    loop.advance(60);
    EXPECT_EQ(deviceRequests(), 2u) << "a screen presented over the tab";
    screen->dismissModalViewControllerAnimated(false);
    loop.advance(1);
    EXPECT_EQ(deviceRequests(), 3u);

    application->enterBackground();
    loop.advance(60);
    EXPECT_EQ(deviceRequests(), 3u) << "in the background";
    application->enterForeground();
    loop.runPending();
    EXPECT_EQ(deviceRequests(), 4u) << "active again: at once";
    loop.advance(10);
    EXPECT_EQ(deviceRequests(), 5u) << "and every ten seconds from then";

    window->setRootViewController(nullptr);
    loop.advance(60);
    EXPECT_EQ(deviceRequests(), 5u) << "off screen";
}

TEST_F(HomeNowTest, NothingIsRefreshedWhileAnotherTabIsChosen)
{
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ std::make_shared<ViewController>(), navigation });
    window->setRootViewController(tabs);
    window->makeKeyAndVisible();
    loop.advance(30);
    EXPECT_EQ(deviceRequests(), 0u) << "the Home tab has not been chosen";
    tabs->setSelectedIndex(1);
    loop.advance(10);
    EXPECT_EQ(deviceRequests(), 2u) << "at once and ten seconds later";
    tabs->setSelectedIndex(0);
    loop.advance(60);
    EXPECT_EQ(deviceRequests(), 2u) << "another tab chosen";
    tabs->setSelectedIndex(1);
    loop.runPending();
    EXPECT_EQ(deviceRequests(), 3u);
}

TEST_F(HomeNowTest, NothingIsRefreshedWhenTheTabAppearsWhileTheAppIsNotActive)
{
    application->enterBackground();
    show();
    loop.advance(30);
    EXPECT_EQ(deviceRequests(), 0u);
    EXPECT_EQ(energyRequests(), 0u);
    application->enterForeground();
    loop.runPending();
    EXPECT_EQ(deviceRequests(), 1u);
    EXPECT_EQ(energyRequests(), 1u);
}

TEST_F(HomeNowTest, ARefreshInFlightIsNotDoubledAndItsLateAnswerStillShows)
{
    show();
    ASSERT_EQ(deviceRequests(), 1u);
    EXPECT_EQ(row(0).value, "1.68\u00a0kW");

    // The next answer takes 25 s: the timer fires twice meanwhile.
    meters[0].powerDraw = "2500";
    deviceReplies.push_back(FakeTransport::Reply::json(devicesReply()).after(25));
    loop.advance(10);
    ASSERT_EQ(deviceRequests(), 2u);
    EXPECT_TRUE(screen->nowSection()->isDownloadingDevices());
    loop.advance(10);
    EXPECT_EQ(deviceRequests(), 2u) << "one still in flight";
    EXPECT_EQ(row(0).value, "1.68\u00a0kW") << "the figure shown stays until the answer";
    loop.advance(14.999);
    EXPECT_EQ(deviceRequests(), 2u);
    loop.advance(0.001);
    EXPECT_FALSE(screen->nowSection()->isDownloadingDevices());
    EXPECT_EQ(row(0).value, "2.68\u00a0kW") << "the late answer is the newest";
    loop.advance(4.999);
    EXPECT_EQ(deviceRequests(), 2u);
    loop.advance(0.001);
    EXPECT_EQ(deviceRequests(), 3u) << "the next tick after the answer asks again";

    // Leaving and coming back while one is in flight does not double it either.
    deviceReplies.push_back(FakeTransport::Reply::json(devicesReply()).after(15));
    loop.advance(10);
    ASSERT_EQ(deviceRequests(), 4u);
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    navigation->popViewControllerAnimated(false);
    loop.runPending();
    EXPECT_EQ(deviceRequests(), 4u);
}

TEST_F(HomeNowTest, ARequestThatCannotStartIsAFailureAndTheNextTickTriesAgain)
{
    transport->setRefusesToStart(true);
    show();
    EXPECT_EQ(row(0), (Texts { "Power now", "—", "Service unreachable", "" }));
    EXPECT_EQ(row(1), (Texts { "Energy today", "—", "Service unreachable", "" }));
    EXPECT_FALSE(screen->nowSection()->isDownloadingDevices());
    transport->setRefusesToStart(false);
    loop.advance(10);
    EXPECT_EQ(row(0).value, "1.68\u00a0kW") << "nothing is left waiting for an answer that cannot come";
}

TEST_F(HomeNowTest, ARefreshTheServiceRefusesRedrawsTheCellOnScreenWithTheReason)
{
    show();
    auto shown = [&](int row) -> std::pair<std::string, std::string> {
        screen->tableView().layoutIfNeeded();
        auto cell = std::dynamic_pointer_cast<NowFigureCell>(
            screen->tableView().cellForRowAtIndexPath({ HomeTabViewController::NowSection, row }));
        if (!cell)
            return { "(no cell)", "" };
        return { cell->value().text(), cell->detail().text() };
    };
    ASSERT_EQ(shown(0), std::make_pair(std::string("1.68\u00a0kW"), std::string("at 14:29")));
    // The service answers, and the energy still comes; only the device list
    // is refused, with and then without a message of its own.
    deviceReplies.push_back(FakeTransport::Reply::json(R"({"success":false,"error":"too many requests"})", 429));
    loop.advance(10);
    EXPECT_FALSE(userSession()->offline().isOffline());
    EXPECT_EQ(shown(0), std::make_pair(std::string("1.68\u00a0kW"), std::string("at 14:29 · Too many requests")));
    for (int tick = 0; tick < 30; ++tick)
        deviceReplies.push_back(FakeTransport::Reply::json(R"({"success":false})"));
    loop.advance(300);
    EXPECT_EQ(shown(0), std::make_pair(std::string("—"), std::string("The service refused the request")));
    EXPECT_EQ(shown(1).first, "14.5\u00a0kWh") << "the energy still shows";
}

TEST_F(HomeNowTest, ARequestInFlightAtSignOutFillsNothing)
{
    show();
    deviceReplies.push_back(FakeTransport::Reply::json(devicesReply()).after(5));
    energyReplies.push_back(FakeTransport::Reply::json(energyReply()).after(5));
    loop.advance(10);
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(row(0).value, "");
    EXPECT_EQ(row(0).detail, "Loading…");
    loop.advance(6);
    EXPECT_EQ(row(0).detail, "Loading…") << "the answer for the session that ended is dropped";
    EXPECT_EQ(screen->nowSection()->numberOfRows(), 2);
}

TEST_F(HomeNowTest, TheDrawLeavesOutAndCountsMetersInError)
{
    struct Case {
        const char* what;
        std::vector<Meter> meters;
        Texts power;
        int rows;
    };
    const Case cases[] = {
        { "none in error", { { "Heater", "1500" }, { "Lamp", "60" } }, { "Power now", "1.56\u00a0kW", "at 14:29", "" },
            4 },
        { "one in error", { { "Heater", "1500" }, { "Lamp", "60" }, { "Kettle", "2000", 5 * 60 } },
            { "Power now", "1.56\u00a0kW", "at 14:29 · 1 meter not reporting", "" }, 4 },
        { "two in error", { { "Heater", "1500", 40 }, { "Lamp", "60", 30, false }, { "Broken", "1e12" } },
            { "Power now", "1.50\u00a0kW", "at 14:29 · 2 meters not reporting", "" }, 3 },
        { "all in error", { { "Heater", "1500", 600 }, { "Lamp", "60", 30, false }, { "Odd", "-5" } },
            { "Power now", "—", "3 meters not reporting", "" }, 2 },
        { "no devices", {}, { "Power now", "—", "No devices", "" }, 2 },
        { "just under a kilowatt", { { "Lamp", "0.4" }, { "Radio", "999" } },
            { "Power now", "999\u00a0W", "at 14:29", "" }, 4 },
        { "rounding up to one", { { "Lamp", "0.4" }, { "Radio", "999.4" } },
            { "Power now", "1.00\u00a0kW", "at 14:29", "" }, 4 },
    };
    show();
    for (const Case& c : cases) {
        meters = c.meters;
        loop.clock().setNow(local(2013, 4, 1, 14, 30));
        loop.advance(10);
        EXPECT_EQ(row(0), c.power) << c.what;
        EXPECT_EQ(screen->nowSection()->numberOfRows(), c.rows) << c.what;
        EXPECT_EQ(screen->tableView().numberOfRowsInSection(0), c.rows) << c.what << ": the table was reloaded";
    }
}

TEST_F(HomeNowTest, TheThreeDevicesDrawingMostOpenTheirDetailScreen)
{
    show();
    ASSERT_EQ(screen->nowSection()->numberOfRows(), 5);
    EXPECT_EQ(row(2), (Texts { "Heater", "1.50\u00a0kW", "", "" }));
    EXPECT_EQ(row(3), (Texts { "Fridge", "121\u00a0W", "", "" }));
    EXPECT_EQ(row(4), (Texts { "Lamp", "60\u00a0W", "", "" }));
    auto cell = std::dynamic_pointer_cast<NowFigureCell>(
        screen->cellForRowAtIndexPath(screen->tableView(), { HomeTabViewController::NowSection, 3 }));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->accessibilityIdentifier(), "topDevice1");
    EXPECT_EQ(cell->accessoryType(), TableViewCellAccessoryType::DisclosureIndicator);
    EXPECT_EQ(screen->titleForHeaderInSection(screen->tableView(), 0), "Now");

    screen->didSelectRowAtIndexPath(screen->tableView(), { HomeTabViewController::NowSection, 3 });
    loop.advance(1);
    auto* detail = dynamic_cast<DeviceDetailViewController*>(navigation->topViewController());
    ASSERT_TRUE(detail);
    ASSERT_TRUE(detail->selected_device);
    EXPECT_EQ(detail->selected_device->deviceName, "Fridge");
    EXPECT_EQ(detail->title(), "Fridge");
    EXPECT_EQ(screen->navigationItem().backBarButtonItem()->title(), "Back");
    navigation->popViewControllerAnimated(false);

    screen->didSelectRowAtIndexPath(screen->tableView(), { HomeTabViewController::NowSection, 0 });
    loop.advance(1);
    EXPECT_EQ(navigation->topViewController(), screen.get()) << "the figures open nothing";
}

TEST_F(HomeNowTest, TodaysEnergyStandsBesideYesterdaysByTheSameClockTimeAfterAClockChange)
{
    show();
    ASSERT_EQ(energyRequests(), 1u);
    // Yesterday, Sunday 31 March 2013, began at 23:00 UTC the day before and
    // had 23 hours; by 14:30 it had run 13.5 of them, today 14.5.
    std::string url;
    for (const auto& request : transport->requests())
        if (request.url.find("/api/energyconsumption?") != std::string::npos)
            url = request.url;
    EXPECT_EQ(url,
        "https://localhost:8443/kivoraserver/api/energyconsumption?token=T0K3N&device_id=battery&from=1364684400000"
        "&to=1364819400000&block=CLOCK_HOUR&token=T0K3N");
    EXPECT_EQ(row(1), (Texts { "Energy today", "14.5\u00a0kWh", "Yesterday by 14:30: 13.5\u00a0kWh", "+7\u00a0%" }));
    EXPECT_EQ(screen->nowSection()->numberOfRows(), 5) << "no cost row without a tariff";

    // Asked again every minute, not every ten seconds.
    loop.advance(50);
    EXPECT_EQ(energyRequests(), 1u);
    loop.advance(10);
    EXPECT_EQ(energyRequests(), 2u);

    kWhPerHour = 0;
    loop.advance(60);
    EXPECT_EQ(row(1), (Texts { "Energy today", "0.00\u00a0kWh", "Yesterday by 14:32: 0.00\u00a0kWh", "—" }))
        << "no share of nothing";
}

TEST_F(HomeNowTest, WithATariffTodaysCostShowsBesideYesterdays)
{
    setTariff();
    show();
    ASSERT_EQ(screen->nowSection()->numberOfRows(), 6);
    // Today: six hours off-peak at 0.10, 8.5 at 0.30. Yesterday, whose clock
    // skipped 2:00, one off-peak hour less.
    EXPECT_EQ(row(2), (Texts { "Cost today", "€3.15", "Yesterday by 14:30: €3.05", "" }));
    auto cell = std::dynamic_pointer_cast<NowFigureCell>(
        screen->cellForRowAtIndexPath(screen->tableView(), { HomeTabViewController::NowSection, 2 }));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->accessibilityIdentifier(), "costTodayCell");
    EXPECT_EQ(cell->value().text(), "€3.15");
    EXPECT_EQ(row(3).name, "Heater") << "the devices come after the cost";

    // The tariff removed while the tab is away: the row goes when it returns.
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    Tariff::remove(UserDefaults::standard(), "demo");
    navigation->popViewControllerAnimated(false);
    loop.runPending();
    EXPECT_EQ(screen->nowSection()->numberOfRows(), 5);
    EXPECT_EQ(row(2).name, "Heater");
}

TEST_F(HomeNowTest, OnAGermanPhoneEveryNumberAndAmountReadsTheGermanWay)
{
    test::DeviceSettings german { "UTC", "de_DE" };
    setTariff();
    show();
    const std::string nbsp = "\u00a0";
    EXPECT_EQ(row(0).value, "1,68" + nbsp + "kW");
    EXPECT_EQ(row(1),
        (Texts {
            "Energy today", "14,5" + nbsp + "kWh", "Yesterday by 14:30: 13,5" + nbsp + "kWh", "+7" + nbsp + "%" }));
    EXPECT_EQ(row(2), (Texts { "Cost today", "3,15" + nbsp + "€", "Yesterday by 14:30: 3,05" + nbsp + "€", "" }));

    // The phone's language changes while the tab is on screen: the next
    // refresh writes amounts the new way, not the kept formatter's.
    test::DeviceSettings english { "UTC", "en_US" };
    loop.advance(10);
    EXPECT_EQ(row(0).value, "1.68" + nbsp + "kW");
    EXPECT_EQ(row(2).value, "€3.15");
}

TEST_F(HomeNowTest, AFigureWhoseRequestFailsShowsADashAndTheReason)
{
    struct Case {
        const char* what;
        FakeTransport::Reply reply;
        const char* reason;
    };
    const Case cases[] = {
        { "no connection", FakeTransport::Reply::failure(), "Service unreachable" },
        { "the service's message",
            FakeTransport::Reply::json(R"({"success":false,"error":"the token has expired; sign in again"})", 401),
            "The token has expired; sign in again" },
        { "a refusal without a message", FakeTransport::Reply::json(R"({"success":false})"),
            "The service refused the request" },
        { "an error page", FakeTransport::Reply::json("<html>Bad Gateway</html>", 502),
            "Unreadable answer from the service" },
        { "success without the list", FakeTransport::Reply::json(R"({"success":true})"),
            "Unreadable answer from the service" },
    };
    setTariff();
    show();
    for (const Case& c : cases) {
        screen->reset();
        deviceReplies.push_back(c.reply);
        energyReplies.push_back(c.reply);
        window->setRootViewController(nullptr);
        window->setRootViewController(navigation);
        loop.runPending();
        EXPECT_EQ(row(0), (Texts { "Power now", "—", c.reason, "" })) << c.what;
        EXPECT_EQ(row(1), (Texts { "Energy today", "—", c.reason, "" })) << c.what;
        EXPECT_EQ(row(2), (Texts { "Cost today", "—", c.reason, "" })) << c.what;
        EXPECT_EQ(screen->nowSection()->numberOfRows(), 3) << c.what << ": no devices without a list";
    }
}

TEST_F(HomeNowTest, AfterAGoodFigureAFailureKeepsItWithItsTimeForFiveMinutesThenADash)
{
    setTariff();
    show();
    ASSERT_EQ(row(0).value, "1.68\u00a0kW");
    Date readAt = loop.now().addingTimeInterval(-20);
    // From now on the service cannot be reached.
    transport->setHandler([](const HttpRequest&) { return FakeTransport::Reply::failure(); });
    loop.advance(10);
    EXPECT_EQ(row(0), (Texts { "Power now", "1.68\u00a0kW", "at 14:29 · Service unreachable", "" }));
    EXPECT_EQ(row(3).name, "Heater") << "the devices stay with the figure they belong to";

    loop.advance(50);
    EXPECT_EQ(row(1), (Texts { "Energy today", "14.5\u00a0kWh", "at 14:30 · Service unreachable", "" }));
    EXPECT_EQ(row(2), (Texts { "Cost today", "€3.15", "at 14:30 · Service unreachable", "" }));

    // Five minutes after the reading it was: still kept; a tick later, gone.
    loop.advance(readAt.addingTimeInterval(HomeNowSection::keptFigureSeconds).timeIntervalSince(loop.now()) - 10);
    ASSERT_EQ(loop.now().timeIntervalSince(readAt), 290);
    loop.advance(10);
    EXPECT_EQ(row(0).value, "1.68\u00a0kW") << "exactly five minutes";
    loop.advance(10);
    EXPECT_EQ(row(0), (Texts { "Power now", "—", "Service unreachable", "" }));
    EXPECT_EQ(screen->nowSection()->numberOfRows(), 3) << "no devices without a figure";
    EXPECT_EQ(row(1).value, "14.5\u00a0kWh") << "the energy was read at 14:30, 4 min 50 s ago";
    loop.advance(20);
    EXPECT_EQ(row(1), (Texts { "Energy today", "—", "Service unreachable", "" }));
    EXPECT_EQ(row(2), (Texts { "Cost today", "—", "Service unreachable", "" }));

    // Back again: the figures come back at the next tick.
    transport->setHandler([this](const HttpRequest& request) { return answer(request); });
    loop.advance(10);
    EXPECT_EQ(row(0).value, "1.68\u00a0kW");
    EXPECT_EQ(row(0).detail, "at 14:35");
    EXPECT_EQ(screen->nowSection()->numberOfRows(), 6);
}

TEST_F(HomeNowTest, AnEnergyFigureFromBeforeMidnightIsNotKeptForToday)
{
    loop.clock().setNow(local(2013, 4, 1, 23, 59));
    show();
    ASSERT_EQ(row(1).value, "23.5\u00a0kWh");
    transport->setHandler([](const HttpRequest&) { return FakeTransport::Reply::failure(); });
    loop.advance(60);
    EXPECT_EQ(row(1), (Texts { "Energy today", "—", "Service unreachable", "" })) << "a minute later it is another day";
}
