#include "GraphTestSupport.h"

#include "graphs/DayMarks.h"
#include "graphs/GraphScreens.h"
#include "model/Device.h"
#include "net/ReplyCache.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationBar.h"
#include "widgets/OfflineBar.h"

#include <filesystem>
#include <functional>

using namespace hestio;
using platform::Date;
using platform::FakeTransport;

namespace {

constexpr double day = test::GraphFixture::day;
constexpr double midnight = test::GraphFixture::berlinMidnight;
/// 10:32 in Berlin on the day of the fixture.
constexpr double keptAt = midnight + 10 * 3600 + 32 * 60;

/// One kind of graph screen and how its weeks are kept and answered.
struct GraphKind {
    const char* name;
    std::function<std::shared_ptr<GraphViewController>(std::shared_ptr<Session>)> make;
    /// The key of the newest week.
    const char* key;
    std::function<std::string(double firstSeconds, int count)> reply;
};

std::shared_ptr<Device> deviceWithID(const std::string& id)
{
    return Device::initWithID(id, "Desk Lamp", "Study");
}

std::string statuses(const char* valueKey, double first, int count)
{
    return test::GraphFixture::samplesReply("statuses", "timestamp", valueKey, first, count, 40);
}

std::string energies(double first, int count)
{
    return test::GraphFixture::samplesReply("energyConsumptions", "from", "energyConsumed", first, count, 0.5);
}

/// A week as the screens keep it: the reply with the stretch it was asked
/// for (by default the week ending at `keptAt`, or the one before it).
std::string keptWeek(const std::string& reply, double from = keptAt - 7 * day, double to = keptAt)
{
    return R"({"success":true,"from":)" + test::GraphFixture::ms(from) + R"(,"to":)" + test::GraphFixture::ms(to)
        + R"(,"week":)" + reply + "}";
}

const std::vector<GraphKind>& graphKinds()
{
    static const std::vector<GraphKind> kinds {
        { "device power", [](auto session) { return makeDevicePowerDrawGraph(std::move(session), deviceWithID("42")); },
            "graph-power-42-week-0", [](double first, int count) { return statuses("powerDraw", first, count); } },
        { "device energy", [](auto session) { return makeDeviceEnergyGraph(std::move(session), deviceWithID("42")); },
            "graph-energy-42-week-0", energies },
        { "home energy", [](auto session) { return makeHomeEnergyGraph(std::move(session)); },
            "graph-home-energy-week-0", energies },
        { "home battery", [](auto session) { return makeHomeBatteryGraph(std::move(session)); },
            "graph-home-battery-week-0", [](double first, int count) { return statuses("percentage", first, count); } },
    };
    return kinds;
}

struct KeptWeekTest : test::GraphFixture {
    KeptWeekTest()
    {
        userSession()->curUser()->tokenExpiration = 1e15; // no renewal on the way
        userSession()->connectToRequests(ServiceEnvironment::shared());
        platform::UserDefaults::standard().setObject("demo", "username");
    }

    ReplyCache cache() { return ReplyCache(profile / "cache", "demo"); }

    static std::string bar(const GraphViewController& graph)
    {
        const auto& label = graph.offlineBar();
        return label && !label->isHidden() ? label->text() : "(hidden)";
    }
    static double graphTop(const GraphViewController& graph) { return graph.hostingView()->frame().minY(); }
    /// The samples a kept reply holds, read back.
    std::size_t keptSamples(const std::string& key, const char* arrayKey)
    {
        auto kept = cache().load(key);
        if (!kept)
            return 0;
        return json::objectFromJSONDataWithParseOptions(kept->body, json::ParseOptionStrict, nullptr)["week"][arrayKey]
            .count();
    }
};

const double barHeight = OfflineBar::height;
const double navBottom = platform::NavigationBar::height;

}

TEST_F(KeptWeekTest, EachKindShowsItsKeptWeekAtOnceUntilTheLiveOneReplacesIt)
{
    for (const GraphKind& kind : graphKinds()) {
        SCOPED_TRACE(kind.name);
        transport->clearRequests();
        ASSERT_TRUE(cache().store(kind.key, keptWeek(kind.reply(midnight, 5)), Date(keptAt)));
        // The fake service answers requests in the order they go out.
        transport->enqueue(FakeTransport::Reply::json(kind.reply(midnight + 3600, 3)));
        auto graph = load(kind.make(userSession()));
        EXPECT_EQ(graph->numPoints(), 5u) << "shown before any answer";
        EXPECT_TRUE(graph->showsKeptWeek());
        EXPECT_EQ(bar(*graph), "Updated 10:32\u202fAM");
        EXPECT_EQ(graph->offlineBar()->frame().minY(), navBottom) << "right under the graph's own bar";
        EXPECT_EQ(graphTop(*graph), navBottom + barHeight) << "the graph moves below it";
        EXPECT_EQ(graph->hostingView()->frame().maxY(), navBottom + 367) << "its foot stays";
        ASSERT_EQ(transport->requests().size(), 1u) << "the current week is asked for as always";
        EXPECT_NE(transport->requests()[0].url.find("&to=" + ms(loop.now().timeIntervalSince1970())), std::string::npos)
            << transport->requests()[0].url;

        loop.runPending();
        EXPECT_EQ(graph->numPoints(), 3u) << "the live week takes the kept one's place";
        EXPECT_FALSE(graph->showsKeptWeek());
        EXPECT_EQ(bar(*graph), "(hidden)");
        EXPECT_EQ(graphTop(*graph), navBottom);
        auto kept = cache().load(kind.key);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->fetchedAt, loop.now()) << "the live week is kept in turn";
        EXPECT_NE(kept->body, keptWeek(kind.reply(midnight, 5)));
        loop.advance(60);
    }
}

TEST_F(KeptWeekTest, TheRequestIsTheSameWithOrWithoutAKeptWeek)
{
    auto first = load(makeDevicePowerDrawGraph(userSession(), deviceWithID("42")));
    std::string without = transport->lastRequest().url;
    ASSERT_TRUE(cache().store("graph-power-42-week-0", keptWeek(statuses("powerDraw", midnight, 2)), Date(keptAt)));
    auto second = load(makeDevicePowerDrawGraph(userSession(), deviceWithID("42")));
    ASSERT_TRUE(second->showsKeptWeek());
    EXPECT_EQ(transport->lastRequest().url, without);
    EXPECT_EQ(transport->requests().size(), 2u);
}

TEST_F(KeptWeekTest, AFirstRequestThatCannotReachTheServiceKeepsTheKeptWeekUntilOneDoes)
{
    const char* key = "graph-power-42-week-0";
    ASSERT_TRUE(cache().store(key, keptWeek(statuses("powerDraw", midnight, 4)), Date(keptAt)));
    transport->enqueue(FakeTransport::Reply::failure());
    auto graph = load(makeDevicePowerDrawGraph(userSession(), deviceWithID("42")));
    std::string firstURL = transport->lastRequest().url;
    loop.runPending();
    EXPECT_TRUE(userSession()->offline().isOffline());
    EXPECT_EQ(graph->numPoints(), 4u) << "the kept week stays";
    EXPECT_EQ(bar(*graph), "Offline · updated 10:32\u202fAM");
    EXPECT_EQ(graphTop(*graph), navBottom + barHeight);
    EXPECT_EQ(keptSamples(key, "statuses"), 4u) << "a failure keeps the kept copy";

    // Another exchange reaches the service: the current week is asked for
    // again at once, with what it sent the first time.
    userSession()->offline().exchangeEnded(true);
    transport->enqueue(FakeTransport::Reply::json(statuses("powerDraw", midnight, 6)));
    loop.runPending();
    ASSERT_EQ(transport->requests().size(), 2u);
    EXPECT_EQ(transport->lastRequest().url, firstURL);
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 6u);
    EXPECT_EQ(bar(*graph), "(hidden)");
    EXPECT_EQ(graphTop(*graph), navBottom);
    EXPECT_EQ(keptSamples(key, "statuses"), 6u);
}

TEST_F(KeptWeekTest, ARefusedFirstRequestLeavesTheKeptWeekMarkedWithItsTime)
{
    ASSERT_TRUE(cache().store("graph-home-energy-week-0", keptWeek(energies(midnight, 4)), Date(keptAt)));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    auto graph = load(makeHomeEnergyGraph(userSession()));
    loop.runPending();
    EXPECT_FALSE(userSession()->offline().isOffline());
    EXPECT_EQ(graph->numPoints(), 4u);
    EXPECT_EQ(bar(*graph), "Updated 10:32\u202fAM");
    EXPECT_EQ(keptSamples("graph-home-energy-week-0", "energyConsumptions"), 4u) << "a refusal is not kept";
}

TEST_F(KeptWeekTest, WithNothingKeptAFailedRequestShowsNoBar)
{
    transport->enqueue(FakeTransport::Reply::failure());
    auto graph = load(makeHomeBatteryGraph(userSession()));
    EXPECT_EQ(bar(*graph), "(hidden)");
    loop.runPending();
    EXPECT_TRUE(userSession()->offline().isOffline());
    EXPECT_EQ(graph->numPoints(), 0u);
    EXPECT_EQ(bar(*graph), "(hidden)") << "nothing shown, nothing to date";
    EXPECT_EQ(graphTop(*graph), navBottom);
}

TEST_F(KeptWeekTest, DamagedOrForeignKeptWeeksAreNotShown)
{
    struct Case {
        const char* what;
        const char* key;
        std::string body;
        bool damage;
    };
    const std::vector<Case> cases {
        { "cut short", "graph-power-42-week-0", keptWeek(statuses("powerDraw", midnight, 30)), true },
        { "not an answer", "graph-power-42-week-0", R"({"success":false,"statuses":[]})", false },
        { "not JSON", "graph-power-42-week-0", "<html>", false },
        { "a reply without its stretch", "graph-power-42-week-0", statuses("powerDraw", midnight, 3), false },
        { "a stretch that ends before it starts", "graph-power-42-week-0",
            keptWeek(statuses("powerDraw", midnight, 3), keptAt, keptAt - day), false },
        { "another device", "graph-power-43-week-0", keptWeek(statuses("powerDraw", midnight, 3)), false },
        { "another kind", "graph-energy-42-week-0", keptWeek(energies(midnight, 3)), false },
        { "another week", "graph-power-42-week-2", keptWeek(statuses("powerDraw", midnight, 3)), false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cache().removeAll();
        ReplyCache kept = cache();
        ASSERT_TRUE(kept.store(c.key, c.body, Date(keptAt)));
        platform::DiskWriter::shared().settle();
        if (c.damage)
            std::filesystem::resize_file(kept.folder() / (ReplyCache::folderNameFor(c.key) + ".reply"), 80);
        transport->enqueue(FakeTransport::Reply::json(statuses("powerDraw", midnight, 2)));
        auto graph = load(makeDevicePowerDrawGraph(userSession(), deviceWithID("42")));
        EXPECT_EQ(graph->numPoints(), 0u);
        EXPECT_FALSE(graph->showsKeptWeek());
        EXPECT_EQ(bar(*graph), "(hidden)");
        loop.runPending();
        EXPECT_EQ(graph->numPoints(), 2u) << "the live week shows as ever";
    }
    EXPECT_TRUE(logs.contains("Ignoring the damaged cached reply"));
}

TEST_F(KeptWeekTest, ADeviceIdIsKeptInsideTheCacheFolderUnderItsOwnName)
{
    transport->enqueue(FakeTransport::Reply::json(energies(midnight, 3)));
    auto graph = load(makeDeviceEnergyGraph(userSession(), deviceWithID("../x y")));
    loop.runPending();
    const std::string key = "graph-energy-../x y-week-0";
    ReplyCache kept = cache();
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kept.folder()))
        files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::filesystem::path> { ReplyCache::folderNameFor(key) + ".reply" });
    EXPECT_EQ(files[0].string().find('/'), std::string::npos);

    auto again = load(makeDeviceEnergyGraph(userSession(), deviceWithID("../x y")));
    EXPECT_EQ(again->numPoints(), 3u) << "and found again by the next screen of that device";
    auto other = load(makeDeviceEnergyGraph(userSession(), deviceWithID("..")));
    EXPECT_EQ(other->numPoints(), 0u);
}

TEST_F(KeptWeekTest, OlderWeeksAreKeptUnderHowManyWeeksBackTheyLie)
{
    transport->enqueue(FakeTransport::Reply::json(energies(midnight, 3)));
    auto graph = load(makeHomeEnergyGraph(userSession()));
    loop.runPending();
    transport->enqueue(FakeTransport::Reply::json(energies(midnight - 10 * day, 5)));
    for (int i = 0; i < 4; ++i)
        graph->back();
    ASSERT_EQ(transport->requests().size(), 2u);
    loop.runPending();
    EXPECT_EQ(keptSamples("graph-home-energy-week-0", "energyConsumptions"), 3u);
    EXPECT_EQ(keptSamples("graph-home-energy-week-1", "energyConsumptions"), 5u);
    EXPECT_EQ(bar(*graph), "(hidden)");
}

TEST_F(KeptWeekTest, ALateReplyForAClosedScreenIsKeptAndOneForAnUnloadedViewDropped)
{
    const char* key = "graph-home-battery-week-0";
    ASSERT_TRUE(cache().store(key, keptWeek(statuses("percentage", midnight, 4)), Date(keptAt)));
    transport->enqueue(FakeTransport::Reply::json(statuses("percentage", midnight, 7)));
    {
        auto graph = load(makeHomeBatteryGraph(userSession()));
        graph->dismissGraph();
    } // nobody holds the screen but its request
    loop.runPending();
    EXPECT_EQ(keptSamples(key, "statuses"), 7u) << "a good reply is kept for the next opening";

    transport->enqueue(FakeTransport::Reply::json(statuses("percentage", midnight, 9)));
    auto unloaded = load(makeHomeBatteryGraph(userSession()));
    EXPECT_EQ(unloaded->numPoints(), 7u);
    unloaded->viewDidUnload();
    loop.runPending();
    EXPECT_EQ(keptSamples(key, "statuses"), 7u) << "an answer for a view let go of is dropped";
}

TEST_F(KeptWeekTest, WithoutAStoredUserNameNothingIsKeptOrShown)
{
    ASSERT_TRUE(
        cache().store("graph-home-battery-week-0", keptWeek(statuses("percentage", midnight, 4)), Date(keptAt)));
    platform::UserDefaults::standard().removeObjectForKey("username");
    transport->enqueue(FakeTransport::Reply::json(statuses("percentage", midnight, 2)));
    auto graph = load(makeHomeBatteryGraph(userSession()));
    EXPECT_EQ(graph->numPoints(), 0u);
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 2u);
    EXPECT_EQ(keptSamples("graph-home-battery-week-0", "statuses"), 4u);
}

TEST_F(KeptWeekTest, AnOlderWeekLostInTransportShowsAsKeptUntilTheServiceIsBack)
{
    // Fetched two days ago at 08:00 in Berlin.
    const Date olderFetched(midnight - 2 * day + 8 * 3600);
    ASSERT_TRUE(cache().store("graph-home-energy-week-1",
        keptWeek(energies(midnight - 10 * day, 5), olderFetched.timeIntervalSince1970() - 14 * day,
            olderFetched.timeIntervalSince1970() - 7 * day),
        olderFetched));
    transport->enqueue(FakeTransport::Reply::json(energies(midnight, 3)));
    auto graph = load(makeHomeEnergyGraph(userSession()));
    EXPECT_FALSE(graph->showsKept(1)) << "older weeks are not shown before they are asked for";
    loop.runPending();
    ASSERT_EQ(graph->numPoints(), 3u);

    transport->enqueue(FakeTransport::Reply::failure());
    for (int i = 0; i < 4; ++i)
        graph->back();
    ASSERT_EQ(transport->requests().size(), 2u);
    std::string olderURL = transport->lastRequest().url;
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 8u);
    EXPECT_TRUE(graph->showsKept(1));
    EXPECT_FALSE(graph->showsKeptWeek());
    EXPECT_EQ(bar(*graph), "Offline · updated 12/4/12, 8:00\u202fAM") << "the time of the oldest week shown";

    userSession()->offline().exchangeEnded(true);
    transport->enqueue(FakeTransport::Reply::json(energies(midnight - 10 * day, 2)));
    loop.runPending();
    ASSERT_EQ(transport->requests().size(), 3u) << "asked for again once the service is back";
    EXPECT_EQ(transport->lastRequest().url, olderURL);
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 5u);
    EXPECT_FALSE(graph->showsKept(1));
    EXPECT_EQ(bar(*graph), "(hidden)");
    EXPECT_EQ(keptSamples("graph-home-energy-week-1", "energyConsumptions"), 2u);
}

TEST_F(KeptWeekTest, AReplyThatComesAfterSignOutOrAnotherSignInIsNotKept)
{
    const char* key = "graph-home-battery-week-0";
    ASSERT_TRUE(cache().store(key, keptWeek(statuses("percentage", midnight, 4)), Date(keptAt)));
    transport->enqueue(FakeTransport::Reply::json(statuses("percentage", midnight, 7)));
    auto graph = load(makeHomeBatteryGraph(userSession()));
    platform::UserDefaults::standard().setObject("other", "username");
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 7u) << "the screen still shows it";
    EXPECT_FALSE(ReplyCache(profile / "cache", "other").load(key)) << "not in the other user's cache";
    EXPECT_EQ(keptSamples(key, "statuses"), 4u);

    platform::UserDefaults::standard().setObject("demo", "username");
    transport->enqueue(FakeTransport::Reply::json(statuses("percentage", midnight, 9)));
    auto second = load(makeHomeBatteryGraph(userSession()));
    cache().removeAll(); // signed out
    platform::UserDefaults::standard().removeObjectForKey("username");
    loop.runPending();
    EXPECT_FALSE(std::filesystem::exists(cache().folder())) << "the deleted cache stays deleted";
}

TEST_F(KeptWeekTest, AnEmptyLiveBatteryWeekTakesAwayTheKeptOne)
{
    // The battery graph adds no block for a week without samples.
    const char* key = "graph-home-battery-week-0";
    ASSERT_TRUE(cache().store(key, keptWeek(statuses("percentage", midnight, 4)), Date(keptAt)));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"));
    auto graph = load(makeHomeBatteryGraph(userSession()));
    ASSERT_EQ(graph->numPoints(), 4u);
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 0u) << "the service has nothing for the week now";
    EXPECT_TRUE(graph->indexRanges().empty());
    EXPECT_FALSE(graph->showsKeptWeek());
    EXPECT_EQ(bar(*graph), "(hidden)");
    EXPECT_EQ(keptSamples(key, "statuses"), 0u);
    EXPECT_TRUE(cache().load(key)) << "the empty week is kept as it came";
}

TEST_F(KeptWeekTest, AWeekKeptYesterdayServesTodaysGraphWhileTheServiceCannotBeReached)
{
    // Kept yesterday at 10:32 with a sample every hour of yesterday morning.
    const double yesterdayKept = keptAt - day;
    ASSERT_TRUE(cache().store("graph-power-42-week-0",
        keptWeek(statuses("powerDraw", midnight - day, 10), yesterdayKept - 7 * day, yesterdayKept),
        Date(yesterdayKept)));
    transport->enqueue(FakeTransport::Reply::failure());
    auto graph = load(makeDevicePowerDrawGraph(userSession(), deviceWithID("42")));
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 10u);
    EXPECT_TRUE(graph->showsKeptWeek());
    EXPECT_EQ(bar(*graph), "Offline · updated 12/5/12, 10:32\u202fAM");
    // Today is not in it: not loaded, rather than a day without data.
    EXPECT_NE(graph->summaryLabel()->text().find("could not be loaded"), std::string::npos)
        << graph->summaryLabel()->text();
    graph->back();
    EXPECT_NE(graph->summaryLabel()->text().find("peak 40"), std::string::npos) << graph->summaryLabel()->text();
    // Yesterday's data ends where it was fetched: the rest of the day is
    // not marked missing.
    EXPECT_TRUE(graph->dayMarks()->missing().empty());
}
