#include "devices/AdviceTableViewController.h"
#include "devices/CustomAdviceCell.h"
#include "devices/DevicesTestSupport.h"
#include "devices/FollowedSuggestionCell.h"

#include "model/FollowedSuggestion.h"
#include "model/Tariff.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <regex>

using namespace hestio;
using namespace platform;

namespace {

const char* kKitchenAndDen = R"({"success":true,"devices":[
    {"id":101,"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k1","id":1},{"name":"k2","id":2}]},
    {"id":102,"name":"Lamp","location":"Den","suggestions":[{"name":"d1","id":10}]},
    {"id":103,"name":"Fridge","location":"Kitchen","suggestions":[{"name":"f1","id":3},{"name":"f2","id":4},{"name":"f3","id":5}]}]})";

const TimeZone& newYork()
{
    static const TimeZone zone = *TimeZone::named("America/New_York");
    return zone;
}

Date local(int year, int month, int day, int hour = 0, int minute = 0)
{
    return Calendar(newYork()).date({ year, month, day, hour, minute, 0 });
}

std::string milliseconds(Date date)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", date.millisecondsSince1970());
    return buffer;
}

/// The hours of an energy reply from `from` up to `to`, each with the use
/// `kWhAt` gives it.
std::string energyReply(Date from, Date to, const std::function<double(Date)>& kWhAt)
{
    std::string items;
    for (Date hour = from; hour < to; hour = hour.addingTimeInterval(3600)) {
        char item[96];
        std::snprintf(
            item, sizeof item, R"({"from":%s,"energyConsumed":%.6f})", milliseconds(hour).c_str(), kWhAt(hour));
        items += (items.empty() ? "" : ",") + std::string(item);
    }
    return R"({"success":true,"energyConsumptions":[)" + items + "]}";
}

struct EnergyAsked {
    std::string device;
    Date from;
    Date to;
};

std::optional<EnergyAsked> energyAsked(const HttpRequest& request)
{
    static const std::regex pattern(
        R"(/api/energyconsumption\?token=T0K3N&device_id=([^&]*)&from=(\d+)&to=(\d+)&block=CLOCK_HOUR&token=T0K3N$)");
    std::smatch match;
    if (request.method != "GET" || !std::regex_search(request.url, match, pattern))
        return std::nullopt;
    return EnergyAsked { match[1], Date::fromMilliseconds(std::stod(match[2])),
        Date::fromMilliseconds(std::stod(match[3])) };
}

struct FollowedSuggestionsTest : test::DevicesFixture {
    std::shared_ptr<AdviceTableViewController> screen;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window = Window::create();
    /// Use per device and hour that the fake service reports.
    std::map<std::string, std::function<double(Date)>> use;
    /// How late the fake service answers energy requests, per device.
    std::map<std::string, double> energyDelay;
    std::vector<EnergyAsked> energyRequests;

    FollowedSuggestionsTest()
    {
        Locale::setCurrent(Locale("en_US"));
        user->household = json::Value::dictionary(
            { { "name", "The Demos" }, { "timeZoneArea", "America/New_York" }, { "UTCTimeZone", "-5" } });
        transport->setHandler([this](const HttpRequest& request) {
            if (auto asked = energyAsked(request)) {
                energyRequests.push_back(*asked);
                auto found = use.find(asked->device);
                if (found == use.end())
                    return FakeTransport::Reply::json(R"({"success":false})");
                return FakeTransport::Reply::json(energyReply(asked->from, asked->to, found->second))
                    .after(energyDelay[asked->device]);
            }
            if (request.url.find("/api/device?") != std::string::npos)
                return FakeTransport::Reply::json(kKitchenAndDen);
            return FakeTransport::Reply::json(R"({"success":true})");
        });
        makeScreen();
    }
    ~FollowedSuggestionsTest() override { Locale::setCurrent(std::nullopt); }

    void makeScreen()
    {
        screen = AdviceTableViewController::create(userSession());
        navigation = NavigationController::create(screen);
        window->setRootViewController(navigation);
        screen->view();
    }
    void setNow(Date date) { loop.clock().setNow(date); }
    /// A pull, and whatever answers come at once.
    void pull()
    {
        screen->startLoading();
        loop.runPending();
        loop.runPending();
        loop.runPending();
    }
    std::vector<std::string> sections()
    {
        std::vector<std::string> lines;
        TableView& table = screen->tableView();
        for (int s = 0; s < table.numberOfSections(); ++s)
            lines.push_back(screen->titleForHeaderInSection(table, s).value_or("-") + " "
                + std::to_string(table.numberOfRowsInSection(s)));
        return lines;
    }
    void press(IndexPath path, bool like)
    {
        auto cell = std::dynamic_pointer_cast<CustomAdviceCell>(screen->tableView().cellForRowAtIndexPath(path));
        ASSERT_TRUE(cell) << path.section << "/" << path.row;
        (like ? cell->likeButton() : cell->dislikeButton())->sendActionsForControlEvents(ControlEventTouchUpInside);
        loop.runPending();
    }
    /// The rows of the Followed section as the user reads them.
    std::vector<std::string> followedRows()
    {
        std::vector<std::string> lines;
        auto section = screen->followedSectionIndex();
        if (!section)
            return lines;
        TableView& table = screen->tableView();
        for (int row = 0; row < table.numberOfRowsInSection(*section); ++row) {
            auto cell
                = std::dynamic_pointer_cast<FollowedSuggestionCell>(table.cellForRowAtIndexPath({ *section, row }));
            if (!cell)
                cell = std::dynamic_pointer_cast<FollowedSuggestionCell>(
                    screen->cellForRowAtIndexPath(table, { *section, row }));
            std::string line
                = cell->deviceLabel().text() + " | " + cell->adviceLabel().text() + " | " + cell->savingsLabel().text();
            if (!cell->savingsNoteLabel().text().empty())
                line += " | " + cell->savingsNoteLabel().text();
            if (cell->spinner().isAnimating())
                line += " (spinning)";
            lines.push_back(line);
        }
        return lines;
    }
    static FollowedSuggestionStore storeOf(const std::string& username)
    {
        return FollowedSuggestionStore::forUser(Profile::current().dataDirectory(), username);
    }
    std::vector<std::string> answerBodies()
    {
        std::vector<std::string> bodies;
        for (const auto& request : transport->requests()) {
            if (request.method == "POST")
                bodies.push_back(request.url.substr(request.url.rfind('/')) + " " + request.body);
        }
        return bodies;
    }
    using Texts = std::vector<std::string>;
};

std::function<double(Date)> stepAt(Date switchedAt, double before, double after)
{
    return [=](Date hour) { return hour < switchedAt ? before : after; };
}

}

TEST_F(FollowedSuggestionsTest, AFollowIsKeptOnlyOnceTheServiceAcceptsItAndSendsWhatItAlwaysSent)
{
    setNow(local(2026, 10, 14, 10));
    pull();
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5" })) << "nothing followed yet: no section";
    transport->clearRequests();

    // Followed, and accepted: the suggestion, its device and the time are kept.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    press({ 1, 0 }, true); // Kitchen: the kettle's k1
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 4" })) << "not before the service said yes";
    EXPECT_TRUE(storeOf("demo").load().empty());
    loop.advance(1);
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 4", "Followed 1" }));
    EXPECT_EQ(followedRows(), (Texts { "Kettle | k1 | First figure in 2 days" }));
    auto kept = storeOf("demo").load();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(
        kept[0], (FollowedSuggestion { 1, "k1", "101", "Kettle", local(2026, 10, 14, 10, 0).addingTimeInterval(1) }));

    // Ignored, refused or lost: nothing kept.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    press({ 0, 0 }, false); // Den: d1
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    press({ 0, 0 }, true); // Kitchen: k2
    loop.runPending();
    loop.runPending();
    transport->enqueue(FakeTransport::Reply::failure());
    press({ 0, 0 }, true);
    loop.runPending();
    EXPECT_EQ(storeOf("demo").load().size(), 1u);
    EXPECT_EQ(followedRows(), (Texts { "Kettle | k1 | First figure in 2 days" }));

    // What went out is the answer alone, as before: no energy request yet
    // (no whole day has passed), and the answers' bodies unchanged.
    EXPECT_EQ(answerBodies(),
        (Texts { "/suggestion sug_id=1&state=FOLLOWED&token=T0K3N", "/suggestion sug_id=10&state=IGNORED&token=T0K3N",
            "/suggestion sug_id=2&state=FOLLOWED&token=T0K3N", "/suggestion sug_id=10&state=FOLLOWED&token=T0K3N" }));
    EXPECT_TRUE(energyRequests.empty());
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5", "Followed 1" }));
    EXPECT_EQ(navigation->tabBarItem().badgeValue(), "6") << "the Followed rows are not counted";

    // The next day: the first figure comes tomorrow.
    setNow(local(2026, 10, 15, 8));
    pull();
    EXPECT_EQ(followedRows(), (Texts { "Kettle | k1 | First figure tomorrow" }));
    EXPECT_TRUE(energyRequests.empty());
}

TEST_F(FollowedSuggestionsTest, AfterWholeDaysTheRowShowsTheDifferenceInEnergyAndMoney)
{
    Tariff tariff;
    tariff.currency = "EUR";
    tariff.pricePerKWh = 0.30;
    tariff.save(UserDefaults::standard(), "demo");
    const Date followed = local(2026, 10, 14, 10);
    storeOf("demo").record({ 1051, "The TV draws about 9.0 W on standby.", "105", "TV", followed });
    use["105"] = stepAt(followed, 0.1, 0.0);
    energyDelay["105"] = 2;

    setNow(local(2026, 10, 20, 9));
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    ASSERT_EQ(energyRequests.size(), 1u);
    // The seven days before the follow day, up to the start of today.
    EXPECT_EQ(energyRequests[0].device, "105");
    EXPECT_EQ(energyRequests[0].from, local(2026, 10, 7));
    EXPECT_EQ(energyRequests[0].to, local(2026, 10, 20));
    EXPECT_EQ(
        followedRows(), (Texts { "TV | The TV draws about 9.0 W on standby. | Loading energy use\u2026 (spinning)" }));

    loop.advance(2);
    EXPECT_EQ(followedRows(),
        (Texts {
            "TV | The TV draws about 9.0 W on standby. | \u221212.0\u00a0kWh, \u2212\u20ac3.60 in 5 days | Against 7 "
            "days before" }));

    // Without a tariff, energy only; a pull asks again.
    Tariff::remove(UserDefaults::standard(), "demo");
    pull();
    EXPECT_EQ(energyRequests.size(), 2u);
    loop.advance(2);
    EXPECT_EQ(followedRows(),
        (Texts {
            "TV | The TV draws about 9.0 W on standby. | \u221212.0\u00a0kWh in 5 days | Against 7 days before" }));

    // Tapping the row shows the whole of it.
    screen->didSelectRowAtIndexPath(screen->tableView(), { *screen->followedSectionIndex(), 0 });
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "TV");
    EXPECT_EQ(alert->message(),
        "The TV draws about 9.0 W on standby.\n\n\u221212.0\u00a0kWh in 5 days\nAgainst 7 days before");
}

TEST_F(FollowedSuggestionsTest, TheDaysAskedForFollowTheHouseholdsClockChanges)
{
    // Followed the day before New York's clocks go forward (8 March 2026).
    const Date followed = local(2026, 3, 7, 12);
    storeOf("demo").record({ 1062, "Switch off the lamp", "106", "Bedside Lamp", followed });
    use["106"] = [](Date) { return 0.5; };
    setNow(local(2026, 3, 10, 8));
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    ASSERT_EQ(energyRequests.size(), 1u);
    EXPECT_EQ(milliseconds(energyRequests[0].from), "1772254800000"); // 28 February 00:00 EST
    EXPECT_EQ(milliseconds(energyRequests[0].to), "1773115200000"); // 10 March 00:00 EDT
    EXPECT_EQ(followedRows(),
        (Texts { "Bedside Lamp | Switch off the lamp | 0.0\u00a0kWh in 2 days | Against 7 days before" }))
        << "the 23-hour day is whole, and a steady use is no change";
}

TEST_F(FollowedSuggestionsTest, EachReplyLandsOnItsOwnRowAndAPullDropsTheLateOnes)
{
    storeOf("demo").record({ 1051, "TV standby", "105", "TV", local(2026, 10, 10, 10) });
    storeOf("demo").record({ 1062, "Lamp by day", "106", "Bedside Lamp", local(2026, 10, 12, 10) });
    use["105"] = stepAt(local(2026, 10, 10, 10), 0.1, 0.0);
    use["106"] = stepAt(local(2026, 10, 12, 10), 0.05, 0.1);
    energyDelay["105"] = 3; // the older row's reply comes last
    energyDelay["106"] = 1;
    setNow(local(2026, 10, 20, 9));
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(followedRows(),
        (Texts { "Bedside Lamp | Lamp by day | Loading energy use\u2026 (spinning)",
            "TV | TV standby | Loading energy use\u2026 (spinning)" }));
    loop.advance(1);
    EXPECT_EQ(followedRows(),
        (Texts { "Bedside Lamp | Lamp by day | +8.4\u00a0kWh in 7 days | Against 7 days before",
            "TV | TV standby | Loading energy use\u2026 (spinning)" }));
    loop.advance(2);
    EXPECT_EQ(followedRows(),
        (Texts { "Bedside Lamp | Lamp by day | +8.4\u00a0kWh in 7 days | Against 7 days before",
            "TV | TV standby | \u221216.8\u00a0kWh in 7 days | Against 7 days before" }));

    // A pull while the TV's reply is on its way: that reply, later than the
    // next one, is dropped, and the row shows what the new request brings.
    energyDelay["105"] = 5;
    pull();
    loop.advance(1);
    use["105"] = stepAt(local(2026, 10, 10, 10), 0.2, 0.0);
    energyDelay["105"] = 1;
    pull();
    std::size_t asked = energyRequests.size();
    EXPECT_EQ(asked, 6u);
    loop.advance(10);
    EXPECT_EQ(followedRows(),
        (Texts { "Bedside Lamp | Lamp by day | +8.4\u00a0kWh in 7 days | Against 7 days before",
            "TV | TV standby | \u221233.6\u00a0kWh in 7 days | Against 7 days before" }));
    EXPECT_EQ(energyRequests.size(), asked);
}

TEST_F(FollowedSuggestionsTest, AFailedEnergyRequestSaysWhyInItsRow)
{
    storeOf("demo").record({ 1051, "TV standby", "105", "TV", local(2026, 10, 10, 10) });
    storeOf("demo").record({ 1, "k1", "", "Kettle", local(2026, 10, 11, 10) });
    setNow(local(2026, 10, 20, 9));

    // The service refuses (no use is known for the device here).
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(followedRows(),
        (Texts { "Kettle | k1 | \u2014 The device is not known",
            "TV | TV standby | \u2014 The service sent no energy use" }));
    EXPECT_TRUE(logs.contains("Failed to get the energy use of TV"));
    EXPECT_EQ(energyRequests.size(), 1u) << "none for a device without an identifier";

    // The network fails: the panel shows, and the row says so.
    transport->setHandler([](const HttpRequest& request) {
        if (request.url.find("/api/device?") != std::string::npos)
            return FakeTransport::Reply::json(kKitchenAndDen);
        return FakeTransport::Reply::failure();
    });
    pull();
    loop.runPending();
    EXPECT_EQ(followedRows(),
        (Texts {
            "Kettle | k1 | \u2014 The device is not known", "TV | TV standby | \u2014 Could not reach the service" }));
    EXPECT_TRUE(logs.contains("Error Code: -1009"));
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5", "Followed 2" }));
}

TEST_F(FollowedSuggestionsTest, RowsArePerUserAndAFollowAcceptedAfterSignOutIsKeptForItsUser)
{
    storeOf("demo").record({ 1051, "TV standby", "105", "TV", local(2026, 10, 10, 10) });
    setNow(local(2026, 10, 11, 9));
    pull();
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5", "Followed 1" }));

    // demo follows k1; the answer is slow, and demo signs out meanwhile.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    press({ 1, 0 }, true);
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_TRUE(sections().empty());
    auto sam = User::initWithUsername("sam", "T0K3N");
    sam->household = user->household;
    session().setCurUser(sam);
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    loop.advance(2);
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5" })) << "sam followed nothing";
    ASSERT_EQ(storeOf("demo").load().size(), 2u);
    EXPECT_EQ(storeOf("demo").load()[0].text, "k1");
    EXPECT_TRUE(storeOf("sam").load().empty());

    // demo again: both rows.
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    session().setCurUser(user);
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(
        followedRows(), (Texts { "Kettle | k1 | First figure in 2 days", "TV | TV standby | First figure tomorrow" }));
}

TEST_F(FollowedSuggestionsTest, AnUnreadableListIsLeftOutWithOneLineAndReplacedByTheNextFollow)
{
    auto file = storeOf("demo").file();
    std::filesystem::create_directories(file.parent_path());
    {
        std::FILE* out = std::fopen(file.c_str(), "w");
        ASSERT_TRUE(out);
        std::fputs("<plist><dict><key>followed</key><arr", out);
        std::fclose(out);
    }
    setNow(local(2026, 10, 14, 10));
    logs.clear();
    pull();
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 5" }));
    EXPECT_EQ(std::count_if(logs.lines().begin(), logs.lines().end(),
                  [&](const std::string& line) { return line.find(file.string()) != std::string::npos; }),
        1);

    press({ 1, 0 }, true);
    loop.runPending();
    EXPECT_EQ(followedRows(), (Texts { "Kettle | k1 | First figure in 2 days" }));
    EXPECT_EQ(storeOf("demo").load().size(), 1u);
}

TEST_F(FollowedSuggestionsTest, TheEmptyListLabelStandsBelowTheFollowedRows)
{
    storeOf("demo").record({ 1051, "TV standby", "105", "TV", local(2026, 10, 10, 10) });
    storeOf("demo").record({ 1062, "Lamp by day", "106", "Bedside Lamp", local(2026, 10, 12, 10) });
    storeOf("demo").record({ 1083, "Heater", "108", "Heater", local(2026, 10, 12, 11) });
    setNow(local(2026, 10, 13, 9));
    transport->setHandler(
        [](const HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true,"devices":[]})"); });
    pull();
    window->layoutIfNeeded();
    ASSERT_EQ(sections(), (Texts { "Followed 3" }));
    auto* hint = screen->noSuggestionsLabel();
    EXPECT_FALSE(hint->isHidden());
    EXPECT_GE(hint->frame().minY(), screen->tableView().rectForSection(0).maxY());

    NotificationCenter::defaultCenter().post("UserLoggedOut");
    session().setCurUser(nullptr);
    pull();
    EXPECT_TRUE(sections().empty());
    EXPECT_EQ(hint->frame().minY(), 140) << "back where an empty list has it";
}
