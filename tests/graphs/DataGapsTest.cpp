#include "graphs/DataGaps.h"
#include "graphs/GraphSummary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace hestio;

namespace {

// 2026-12-01 00:00 in New York (UTC-5), a day without a clock change.
constexpr double kMidnight = 1796101200;
constexpr double kDay = 86400;
constexpr double kMinute = 60;

/// Samples every `step` seconds from `from` up to and including `to`.
std::vector<double> every(double step, double from, double to)
{
    std::vector<double> times;
    for (double t = from; t <= to; t += step)
        times.push_back(t);
    return times;
}

std::vector<double> joined(std::vector<double> a, const std::vector<double>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

platform::TimeZone newYork()
{
    return *platform::TimeZone::named("America/New_York");
}

}

TEST(DataGaps, TheUsualIntervalIsTheMedianStep)
{
    struct Case {
        std::vector<double> times;
        double usual;
        const char* what;
    };
    const Case cases[] = {
        { {}, 0, "no samples" },
        { { 5 }, 0, "one sample" },
        { { 0, 60 }, 60, "one step" },
        { every(60, 0, 3600), 60, "a regular minute" },
        { { 0, 60, 360, 1260 }, 300, "an odd number of steps: 60, 300, 900" },
        { { 0, 60, 120, 180, 360, 660, 3660 }, 120, "an even number: 60, 60, 60, 180, 300, 3000 -> (60 + 180) / 2" },
        { { 1260, 0, 360, 60 }, 300, "in any order" },
        { { 0, 0, 0, 60 }, 60, "a repeated time is no step" },
        { { 5, 5, 5 }, 0, "one time repeated" },
        { { 0, NAN, 60, INFINITY, 120 }, 60, "unreadable times are left out" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(usualSampleInterval(c.times), c.usual) << c.what;
}

TEST(DataGaps, TheThresholdIsTwoAndAHalfUsualIntervalsAndNeverBelowAMinutesOwn)
{
    EXPECT_EQ(gapThreshold(0), 150);
    EXPECT_EQ(gapThreshold(5), 150) << "the hub's 5 s samples";
    EXPECT_EQ(gapThreshold(59), 150);
    EXPECT_EQ(gapThreshold(60), 150) << "two and a half times a minute is the floor exactly";
    EXPECT_EQ(gapThreshold(61), 152.5);
    EXPECT_EQ(gapThreshold(900), 2250);
}

TEST(DataGaps, AStretchIsAGapOnlyWhenLongerThanTheThreshold)
{
    const TimeSpan day { kMidnight, kMidnight + kDay };
    struct Case {
        double stretch; // seconds without a sample after 12:00
        double step; // the usual interval elsewhere
        bool gap;
    };
    const Case cases[] = {
        { 150, 60, false }, // samples a minute apart: two and a half minutes exactly
        { 151, 60, true }, // and a second more
        { 120, 60, false }, // a minute without its sample: a plug's jitter
        { 180, 60, true }, // two minutes without: the hub missed them, the broker away a minute
        { 150, 5, false }, // the hub's 5 s samples: the floor exactly
        { 151, 5, true }, { 300, 120, false }, // every two minutes: two and a half intervals exactly
        { 301, 120, true }, { 2250, 900, false }, // a 15-minute meter: two and a half intervals exactly
        { 2251, 900, true }, { 1800, 900, false }, // one report lost
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stretch << " s with samples every " << c.step << " s");
        double noon = kMidnight + 12 * 3600;
        auto times = joined(every(c.step, kMidnight, noon), every(c.step, noon + c.stretch, kMidnight + kDay));
        // The fixture has the stretch it claims and reaches the day's end.
        ASSERT_EQ(*std::find(times.begin(), times.end(), noon + c.stretch) - noon, c.stretch);
        ASSERT_GE(times.back(), day.end - c.step);
        auto gaps = findGaps(times, day);
        if (c.gap)
            EXPECT_EQ(gaps, (std::vector<TimeSpan> { { noon, noon + c.stretch } }));
        else
            EXPECT_TRUE(gaps.empty());
    }
}

TEST(DataGaps, IrregularIntervalsSetTheirOwnThreshold)
{
    const TimeSpan day { kMidnight, kMidnight + kDay };
    // Steps of one and three minutes by turns: a usual interval of two
    // minutes, so five minutes is the threshold.
    std::vector<double> times { kMidnight };
    for (int i = 0; i < 720; ++i)
        times.push_back(times.back() + (i % 2 ? 180 : 60));
    ASSERT_EQ(times.back(), kMidnight + kDay);
    ASSERT_EQ(usualSampleInterval(times), 120);
    EXPECT_TRUE(findGaps(times, day).empty());

    // A meter that reported every two and a half minutes in the morning and
    // every minute after: the median is one minute, so a second more
    // between two afternoon samples is a gap, and the morning's steps are not.
    for (double morning : { 150.0, 151.0 }) {
        SCOPED_TRACE(morning);
        auto mixed = joined(every(morning, kMidnight, kMidnight + 6 * 3600),
            joined(every(60, kMidnight + 6 * 3600 + 60, kMidnight + 14 * 3600),
                every(60, kMidnight + 14 * 3600 + 151, kMidnight + kDay - 60)));
        EXPECT_EQ(usualSampleInterval(mixed), 60);
        auto gaps = findGaps(mixed, day);
        ASSERT_FALSE(gaps.empty());
        EXPECT_EQ(gaps.back(), (TimeSpan { kMidnight + 14 * 3600, kMidnight + 14 * 3600 + 151 }));
        EXPECT_EQ(gaps.size(), morning == 150 ? 1u : 6u * 3600 / 151 + 1);
    }

    // Mostly every 15 minutes: a 37.5-minute stretch is not a gap.
    auto sparse = joined(
        every(900, kMidnight, kMidnight + 10 * 3600), every(900, kMidnight + 10 * 3600 + 2250, kMidnight + kDay - 900));
    EXPECT_EQ(usualSampleInterval(sparse), 900);
    EXPECT_TRUE(findGaps(sparse, day).empty());
}

TEST(DataGaps, TheDaysEdgesBoundTheFirstAndLastStretch)
{
    const TimeSpan day { kMidnight, kMidnight + kDay };
    auto middle = every(60, kMidnight + 3600, kMidnight + kDay - 3600);
    struct Case {
        double first;
        double last;
        std::vector<TimeSpan> gaps;
    };
    const Case cases[] = {
        { kMidnight + 150, kMidnight + kDay - 150, {} },
        { kMidnight + 151, kMidnight + kDay - 151,
            { { kMidnight, kMidnight + 151 }, { kMidnight + kDay - 151, kMidnight + kDay } } },
        { kMidnight, kMidnight + kDay, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first - kMidnight);
        auto times = every(60, c.first, kMidnight + 3600);
        times = joined(times, middle);
        times = joined(times, every(60, kMidnight + kDay - 3600, c.last));
        times.push_back(c.last);
        EXPECT_EQ(findGaps(times, day), c.gaps);
    }
    // Samples of the days before and after do not close a stretch.
    auto outside = joined(every(60, kMidnight - 3600, kMidnight - 60), every(60, kMidnight + 1200, kMidnight + kDay));
    EXPECT_EQ(findGaps(outside, day), (std::vector<TimeSpan> { { kMidnight, kMidnight + 1200 } }));
}

TEST(DataGaps, ADayWithoutDataIsAllMissingUpToNowForToday)
{
    struct Case {
        TimeSpan window;
        double missing;
        const char* what;
    };
    const TimeSpan springForward = summary::calendarDay(platform::Date(1772956800), newYork()); // 2026-03-08
    const TimeSpan fallBack = summary::calendarDay(platform::Date(1793509200), newYork()); // 2026-11-01
    const Case cases[] = {
        { { kMidnight, kMidnight + kDay }, kDay, "a whole day" },
        { springForward, 23 * 3600, "the day the clocks go forward" },
        { fallBack, 25 * 3600, "the day the clocks go back" },
        { { kMidnight, kMidnight + 8 * 3600 + 1800 }, 8 * 3600 + 1800, "today at 08:30" },
        { { kMidnight, kMidnight + 150 }, 0, "today at 00:02:30: not yet two and a half minutes" },
        { { kMidnight, kMidnight + 151 }, 151, "today at 00:02:31" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto gaps = findGaps({}, c.window);
        EXPECT_EQ(totalLength(gaps), c.missing);
        if (c.missing > 0) {
            EXPECT_EQ(gaps, (std::vector<TimeSpan> { c.window }));
        }
    }
    // Today, up to the moment the data was asked for: a meter that reported
    // every minute until two and a half minutes ago is missing nothing yet,
    // a second later it is.
    const double last = kMidnight + 9 * 3600;
    EXPECT_TRUE(findGaps(every(60, kMidnight, last), { kMidnight, last + 150 }).empty());
    EXPECT_EQ(findGaps(every(60, kMidnight, last), { kMidnight, last + 151 }),
        (std::vector<TimeSpan> { { last, last + 151 } }));
}

TEST(DataGaps, AReadingThatGoesBackIsAReset)
{
    struct Case {
        std::vector<Reading> readings;
        std::vector<double> resets;
        const char* what;
    };
    const Case cases[] = {
        { { { 0, 1.0 }, { 60, 1.5 }, { 120, 1.5 }, { 180, 2.0 } }, {}, "counting up, or standing still" },
        { { { 0, 41.25 }, { 60, 41.3 }, { 120, 0.0 }, { 180, 0.01 } }, { 120 }, "back to zero" },
        { { { 0, 5 }, { 60, 4.999 } }, { 60 }, "back by a watt-hour" },
        { { { 120, 0.0 }, { 0, 41.25 }, { 60, 41.3 } }, { 120 }, "in time order, not the order given" },
        { { { 0, 3 }, { 60, 1 }, { 120, 2 }, { 180, 0.5 } }, { 60, 180 }, "twice" },
        { { { 0, 3 }, { 60, NAN }, { 120, 1 } }, { 120 }, "an unreadable reading is left out" },
        { {}, {}, "none" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(findResets(c.readings), c.resets) << c.what;
}

TEST(DataGaps, AnHourWithoutABlockIsMissingOnceItHasEnded)
{
    auto hours = [](const TimeSpan& day, std::initializer_list<int> without) {
        std::vector<double> starts;
        for (int h = 0; day.start + h * 3600 < day.end; ++h) {
            if (std::find(without.begin(), without.end(), h) == without.end())
                starts.push_back(day.start + h * 3600);
        }
        return starts;
    };
    const TimeSpan day { kMidnight, kMidnight + kDay };
    EXPECT_TRUE(findMissingHours(hours(day, {}), day, day.end).empty());
    EXPECT_EQ(findMissingHours(hours(day, { 3, 10 }), day, day.end),
        (std::vector<TimeSpan> {
            { kMidnight + 3 * 3600, kMidnight + 4 * 3600 }, { kMidnight + 10 * 3600, kMidnight + 11 * 3600 } }));
    // A block starting anywhere in the hour counts for it.
    EXPECT_TRUE(findMissingHours({ kMidnight + 1800 }, { kMidnight, kMidnight + 3600 }, kMidnight + 3600).empty());

    // Today at 10:30: the hour under way is not missing, whether or not its block came.
    const double now = kMidnight + 10 * 3600 + 1800;
    EXPECT_TRUE(findMissingHours(hours({ kMidnight, kMidnight + 10 * 3600 }, {}), day, now).empty());
    EXPECT_EQ(findMissingHours(hours({ kMidnight, kMidnight + 9 * 3600 }, {}), day, now),
        (std::vector<TimeSpan> { { kMidnight + 9 * 3600, kMidnight + 10 * 3600 } }));
    EXPECT_EQ(totalLength(findMissingHours({}, day, now)), 10 * 3600) << "nothing yet today";

    // Days of 23 and 25 hours have as many hours.
    for (auto [start, count] : { std::pair { 1772956800.0, 23 }, std::pair { 1793509200.0, 25 } }) {
        TimeSpan dst = summary::calendarDay(platform::Date(start), newYork());
        ASSERT_EQ(dst.length(), count * 3600);
        auto missing = findMissingHours({}, dst, dst.end);
        EXPECT_EQ(missing.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(totalLength(missing), count * 3600);
        EXPECT_TRUE(findMissingHours(hours(dst, {}), dst, dst.end).empty());
    }
}
