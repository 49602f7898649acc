#include "GraphTestSupport.h"

#include "graphs/GraphWeekKeeper.h"
#include "net/ReplyCache.h"
#include "platform/foundation/UserDefaults.h"

using namespace hestio;
using platform::Date;

namespace {

constexpr double midnight = test::GraphFixture::berlinMidnight;
constexpr double day = test::GraphFixture::day;
/// 10:32 in Berlin on the day of the fixture.
constexpr double keptAt = midnight + 10 * 3600 + 32 * 60;

struct GraphWeekKeeperTest : test::GraphFixture {
    GraphWeekKeeper keeper;
    const platform::TimeZone berlin = *platform::TimeZone::named("Europe/Berlin");

    GraphWeekKeeperTest()
    {
        platform::UserDefaults::standard().setObject("demo", "username");
        keeper.open(userSession(), "power-42");
    }
    ReplyCache cache(const char* user = "demo") { return ReplyCache(profile / "cache", user); }
    static json::Value reply(int samples)
    {
        std::string text = samplesReply("statuses", "timestamp", "powerDraw", midnight, samples);
        return json::objectFromJSONDataWithParseOptions(text, json::ParseOptionStrict, nullptr);
    }
};

}

TEST_F(GraphWeekKeeperTest, AWeekIsKeptUnderHowManyWeeksBackItLiesWithTheStretchItWasAskedFor)
{
    EXPECT_EQ(GraphWeekKeeper::keyFor("power-42", 0), "graph-power-42-week-0");
    EXPECT_EQ(GraphWeekKeeper::keyFor("home-energy", 3), "graph-home-energy-week-3");
    EXPECT_EQ(GraphWeekKeeper::keyFor("", 0), std::nullopt) << "a graph that keeps nothing";

    const TimeSpan span { keptAt - 7 * day, keptAt };
    keeper.keep(0, span, reply(3), Date(keptAt));
    auto stored = cache().load("graph-power-42-week-0");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->body.rfind(
                  R"({"success":true,"from":)" + ms(span.start) + R"(,"to":)" + ms(span.end) + R"(,"week":{)", 0),
        0u)
        << stored->body;

    // Read back by the next opening, a day later: the same place.
    loop.advance(day);
    GraphWeekKeeper next;
    next.open(userSession(), "power-42");
    auto kept = next.load(0);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->fetchedAt, Date(keptAt));
    EXPECT_EQ(kept->span, span);
    EXPECT_EQ(kept->reply["statuses"].count(), 3u);
    EXPECT_FALSE(next.load(1)) << "nothing kept one week further back";

    // The reply's text as it came is kept as it is, not written out again.
    const std::string text = " " + samplesReply("statuses", "timestamp", "powerDraw", midnight, 2) + "\n";
    keeper.keep(2, span, reply(2), Date(keptAt), text);
    stored = cache().load("graph-power-42-week-2");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->body,
        R"({"success":true,"from":)" + ms(span.start) + R"(,"to":)" + ms(span.end) + R"(,"week":)" + text + "}");
    kept = next.load(2);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->reply["statuses"].count(), 2u);
}

TEST_F(GraphWeekKeeperTest, WhatShowsFromTheCacheSetsTheBarAndItsTime)
{
    EXPECT_EQ(keeper.barText(Date(keptAt), berlin), std::nullopt) << "nothing shown yet";
    keeper.showsKept(1, { reply(2), Date(keptAt - day), { keptAt - 15 * day, keptAt - 8 * day } });
    keeper.showsKept(0, { reply(2), Date(keptAt), { keptAt - 7 * day, keptAt } });
    EXPECT_TRUE(keeper.isShownKept(0));
    EXPECT_EQ(keeper.keptSpan(1), (TimeSpan { keptAt - 15 * day, keptAt - 8 * day }));
    EXPECT_EQ(keeper.barText(Date(keptAt + 60), berlin), "Updated 12/5/12, 10:32\u202fAM") << "the oldest shown";
    userSession()->offline().exchangeEnded(false);
    EXPECT_EQ(keeper.barText(Date(keptAt + 60), berlin), "Offline · updated 12/5/12, 10:32\u202fAM");
    userSession()->offline().exchangeEnded(true);

    keeper.showsLive(1);
    keeper.showsLive(0);
    EXPECT_FALSE(keeper.isShownKept(0));
    EXPECT_EQ(keeper.keptSpan(1), std::nullopt);
    EXPECT_EQ(keeper.barText(Date(keptAt + 60), berlin), std::nullopt) << "all live and the service reachable";
}

TEST_F(GraphWeekKeeperTest, AWeekWithoutItsStretchOrForAnotherUserIsNeitherShownNorKept)
{
    ASSERT_TRUE(cache().store(
        "graph-power-42-week-0", samplesReply("statuses", "timestamp", "powerDraw", midnight, 2), Date(keptAt)));
    EXPECT_FALSE(keeper.load(0)) << "a reply kept without the stretch it was asked for";
    EXPECT_TRUE(logs.contains("Ignoring the kept week graph-power-42-week-0: it does not say which days it holds"));

    // Another user signed in while the reply was on its way.
    platform::UserDefaults::standard().setObject("other", "username");
    keeper.keep(0, { keptAt - 7 * day, keptAt }, reply(3), Date(keptAt));
    EXPECT_FALSE(cache("other").load("graph-power-42-week-0"));
    auto mine = cache().load("graph-power-42-week-0");
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->body.find("\"from\""), std::string::npos) << "the old copy stays as it was";
}
