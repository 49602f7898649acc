#include "graphs/GraphWeekLoader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hestio;
using platform::Date;

namespace {

constexpr double kWeek = 7 * 86400;
constexpr double kOpened = 1354807800; // when the screen loaded

/// Hears the answers as a screen does: tells the loader, and notes what it
/// made of each.
struct Screen final : GraphWeekLoader::Listener {
    GraphWeekLoader* loader { nullptr };
    std::vector<std::string> heard;

    void weekReceived(const GraphWeekLoader::Week& week, bool success, const json::Value&, std::string) override
    {
        bool current = loader->arrived(week);
        heard.push_back(
            "week " + std::to_string(week.index) + (success ? " came" : " refused") + (current ? "" : ", dropped"));
    }
    void weekFailedInTransport(const GraphWeekLoader::Week& week) override
    {
        bool current = loader->lost(week);
        heard.push_back("week " + std::to_string(week.index) + " lost" + (current ? "" : ", dropped"));
    }
};

struct GraphWeekLoaderTest : testing::Test {
    GraphWeekLoader loader;
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
    /// The end of each week asked for, and its request's delegate.
    std::vector<std::pair<double, std::shared_ptr<WebServiceConnectorDelegate>>> asked;
    GraphWeekLoader::Request request = [this](Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo) {
        asked.emplace_back(end.timeIntervalSince1970(), std::move(replyTo));
        return end.addingTimeInterval(-kWeek);
    };

    GraphWeekLoaderTest()
    {
        screen->loader = &loader;
        loader.start(Date(kOpened));
    }
    void send() { loader.sendRequests(screen, request); }
    const std::shared_ptr<WebServiceConnectorDelegate>& replyTo(std::size_t request)
    {
        return asked.at(request).second;
    }
};

}

TEST_F(GraphWeekLoaderTest, AsksForTheNewestWeekThenEachOlderOneAndHearsTheirAnswersInAnyOrder)
{
    send();
    send();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].first, kOpened) << "week 0 ends when the screen loaded";
    EXPECT_EQ(asked[1].first, kOpened - kWeek) << "week 1 where week 0 starts";
    EXPECT_EQ(loader.spans().at(1), (TimeSpan { kOpened - 2 * kWeek, kOpened - kWeek }));
    EXPECT_EQ(loader.weeksLoading(), 2u);

    replyTo(1)->dataReceived(true, json::Value(), 0);
    replyTo(0)->dataReceived(false, json::Value(), 0);
    replyTo(0)->dataReceived(true, json::Value(), 0);
    EXPECT_EQ(screen->heard, (std::vector<std::string> { "week 1 came", "week 0 refused" })) << "each answer once";
    EXPECT_EQ(loader.weeksLoading(), 0u);
    EXPECT_TRUE(loader.weeksToRetry().empty()) << "a refused week is not asked for again";
    send();
    EXPECT_EQ(asked.back().first, kOpened - 2 * kWeek);
}

TEST_F(GraphWeekLoaderTest, AWeekLostInTransportIsAskedForAgainBeforeTheNextOlderOne)
{
    send();
    send();
    replyTo(0)->requestToServerFailedWithError({}, "");
    replyTo(1)->requestToServerFailedWithError({}, "");
    EXPECT_EQ(loader.weeksToRetry().size(), 2u);
    EXPECT_EQ(loader.weeksLoading(), 0u);

    send();
    ASSERT_EQ(asked.size(), 4u) << "both lost weeks, at once";
    EXPECT_EQ(asked[2].first, kOpened);
    EXPECT_EQ(asked[3].first, kOpened - kWeek);
    EXPECT_EQ(loader.weeksLoading(), 2u);
    EXPECT_TRUE(loader.weeksToRetry().empty());
    send();
    EXPECT_EQ(asked.back().first, kOpened - 2 * kWeek) << "then the next older week";
}

TEST_F(GraphWeekLoaderTest, AnswersForAnEarlierLoadAreDropped)
{
    send();
    send();
    loader.stop(); // the view was let go of
    replyTo(0)->dataReceived(true, json::Value(), 0);
    replyTo(1)->requestToServerFailedWithError({}, "");
    EXPECT_EQ(screen->heard, (std::vector<std::string> { "week 0 came, dropped", "week 1 lost, dropped" }));
    EXPECT_TRUE(loader.weeksToRetry().empty()) << "a lost week of an earlier load is not asked for again";

    loader.start(Date(kOpened + 3600));
    send();
    EXPECT_EQ(asked.back().first, kOpened + 3600) << "a new load starts over with week 0";
    EXPECT_EQ(loader.spans().size(), 1u);
}
