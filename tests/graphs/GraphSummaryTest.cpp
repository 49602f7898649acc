#include "graphs/GraphSummary.h"

#include "platform/foundation/Locale.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio;
using platform::Date;

namespace {

platform::TimeZone zone(const char* name)
{
    return *platform::TimeZone::named(name);
}

// The short time style puts a narrow no-break space before AM and PM.
const std::string nnbsp = "\u202F";

struct EnglishLocale : testing::Test {
    EnglishLocale() { platform::Locale::setCurrent(platform::Locale("en_US")); }
    ~EnglishLocale() override { platform::Locale::setCurrent(std::nullopt); }
};

using GraphSummaryTest = EnglishLocale;

}

TEST_F(GraphSummaryTest, TheDayIsNamedRelativeToNowInTheHouseholdsZone)
{
    const auto newYork = zone("America/New_York");
    // Tuesday 1 December 2026, 09:00 in New York.
    const Date now(1796133600);
    struct Case {
        double dayStart;
        const char* name;
    };
    const Case cases[] = {
        { 1796101200, "Today" }, // Tue 1 Dec 00:00 EST
        { 1796101200 + 3600, "Today" }, // any instant of the day names it
        { 1796014800, "Yesterday" }, // Mon 30 Nov
        { 1795928400, "Sun, Nov 29" }, { 1772956800, "Sun, Mar 8" }, // a 23-hour day
        { 1796187600, "Wed, Dec 2" }, // tomorrow is not "Tomorrow": graphs never show it
    };
    for (const auto& c : cases)
        EXPECT_EQ(summary::dayName(Date(c.dayStart), now, newYork), c.name) << c.dayStart;

    // The same instants in another zone: 09:00 in New York is 15:00 in
    // Berlin, and New York's midnight is 06:00 there.
    EXPECT_EQ(summary::dayName(Date(1796014800), now, zone("Europe/Berlin")), "Yesterday");
    // Just after Berlin's midnight it is still yesterday evening in New York.
    const Date berlinNight(1796080000); // 2026-12-01 00:06 in Berlin, 30 Nov 18:06 in New York
    EXPECT_EQ(summary::dayName(Date(1796014800), berlinNight, newYork), "Today");
    EXPECT_EQ(summary::dayName(Date(1796014800), berlinNight, zone("Europe/Berlin")), "Yesterday");

    // In the order and words of the device's locale, as its numbers are.
    platform::Locale::setCurrent(platform::Locale("de_DE"));
    EXPECT_EQ(summary::dayName(Date(1795928400), now, newYork), "So., 29. Nov.");
    platform::Locale::setCurrent(platform::Locale("en_GB"));
    EXPECT_EQ(summary::dayName(Date(1795928400), now, newYork), "Sun, 29 Nov");
}

TEST_F(GraphSummaryTest, CalendarDaysLastAsLongAsTheClockSays)
{
    const auto newYork = zone("America/New_York");
    struct Case {
        double instant;
        double start;
        double hours;
    };
    const Case cases[] = {
        { 1796133600, 1796101200, 24 }, { 1772956800, 1772946000, 23 }, // 2026-03-08
        { 1793509200, 1793505600, 25 }, // 2026-11-01
        { 1793505600, 1793505600, 25 }, // its first instant
        { 1793595599, 1793505600, 25 }, // its last second
    };
    for (const auto& c : cases) {
        auto day = summary::calendarDay(Date(c.instant), newYork);
        EXPECT_EQ(day.start, c.start) << c.instant;
        EXPECT_EQ(day.length(), c.hours * 3600) << c.instant;
    }
}

TEST_F(GraphSummaryTest, NumbersAreWrittenWithTheirUnits)
{
    struct Case {
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        { summary::duration(0), "0 min" },
        { summary::duration(29), "0 min" },
        { summary::duration(30), "1 min" },
        { summary::duration(600), "10 min" },
        { summary::duration(601), "10 min" },
        { summary::duration(2400), "40 min" },
        { summary::duration(3599), "1 h" },
        { summary::duration(3600), "1 h" },
        { summary::duration(7800), "2 h 10 min" },
        { summary::duration(23 * 3600), "23 h" },
        { summary::duration(25 * 3600), "25 h" },
        { summary::duration(-5), "0 min" },
        { summary::percentage(23.44), "23.4\u00a0%" },
        { summary::percentage(100), "100.0\u00a0%" },
        { summary::percentage(1234.5), "1,234.5\u00a0%" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected);
    platform::Locale::setCurrent(platform::Locale("de_DE"));
    EXPECT_EQ(summary::percentage(23.44), "23,4\u00a0%");
}

TEST_F(GraphSummaryTest, TheAverageFollowsTheLineButNotAcrossGaps)
{
    EXPECT_FALSE(summary::figuresOf({}, {}));

    auto one = summary::figuresOf({ { 100, 7 } }, {});
    ASSERT_TRUE(one);
    EXPECT_EQ(one->lowest, 7);
    EXPECT_EQ(one->highest, 7);
    EXPECT_EQ(one->average, 7);

    // 0 W for ten minutes, then a ramp to 100 W over ten minutes: the line
    // encloses 500 W over 20 minutes, 25 W on average (the mean of the three
    // samples would be 33.3).
    auto ramp = summary::figuresOf({ { 0, 0 }, { 600, 0 }, { 1200, 100 } }, {});
    ASSERT_TRUE(ramp);
    EXPECT_DOUBLE_EQ(ramp->average, 25);
    EXPECT_EQ(ramp->highest, 100);
    EXPECT_EQ(ramp->lowest, 0);

    // 1000 W before a gap and 0 W after it: the stretch across the gap does
    // not count.
    std::vector<Reading> samples { { 0, 1000 }, { 60, 1000 }, { 2460, 0 }, { 2520, 0 } };
    auto gapped = summary::figuresOf(samples, { { 60, 2460 } });
    ASSERT_TRUE(gapped);
    EXPECT_DOUBLE_EQ(gapped->average, 500);
    auto bridged = summary::figuresOf(samples, {});
    EXPECT_DOUBLE_EQ(bridged->average, (1000 * 60 + 500 * 2400) / 2520.0);

    // Two samples on either side of a gap, nothing else: the plain mean.
    auto apart = summary::figuresOf({ { 0, 10 }, { 5000, 30 } }, { { 0, 5000 } });
    EXPECT_DOUBLE_EQ(apart->average, 20);
}

TEST_F(GraphSummaryTest, TheLineSaysWhatIsMissingAndWhenTheMeterWasReset)
{
    const auto newYork = zone("America/New_York");
    // 2026-11-30 21:15 and 23:02 in New York.
    const double quarterPastNine = 1796091300;
    const double twoPastEleven = 1796097720;
    struct Case {
        double missing;
        std::vector<double> resets;
        std::string text;
    };
    const Case cases[] = {
        { 0, {}, "" },
        { 29, {}, "" },
        { 2460, {}, "41 min without data" },
        { 7800, {}, "2 h 10 min without data" },
        { 0, { quarterPastNine }, "meter reset at 9:15" + nnbsp + "PM" },
        { 2400, { quarterPastNine }, "40 min without data, meter reset at 9:15" + nnbsp + "PM" },
        { 2400, { quarterPastNine, twoPastEleven }, "40 min without data, 2 meter resets" },
        { 86400, {}, "24 h without data" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(summary::missingLine(c.missing, c.resets, newYork), c.text) << c.missing;

    EXPECT_EQ(summary::line("Yesterday", "peak 1843 W, average 612 W", ""), "Yesterday: peak 1843 W, average 612 W");
    EXPECT_EQ(
        summary::line("Mon 30 Nov", summary::noData, "24 h without data"), "Mon 30 Nov: no data\n24 h without data");
    EXPECT_EQ(summary::line("Today", summary::loading, ""), "Today: loading…");
}
