#include "RealSuggestions.h"

#include <gtest/gtest.h>

using namespace hestio::sim;

namespace {
/// 2026-12-02 00:00 UTC.
constexpr int64_t kMidnight = 1796169600000;

std::vector<PowerSample> every(int64_t fromMs, int64_t toMs, int64_t stepMs, double watts)
{
    std::vector<PowerSample> samples;
    for (int64_t at = fromMs; at <= toMs; at += stepMs)
        samples.push_back(PowerSample { at, watts });
    return samples;
}
}

TEST(RealSuggestions, StandbyNeedsTheWholeNightAboveAFewWatts)
{
    int64_t end = kMidnight + 5 * kHourMs;
    auto night = every(kMidnight, end, 10 * kMinuteMs, 4.0);
    auto standby = standbySuggestion("TV", 7, night, kMidnight, end);
    ASSERT_TRUE(standby);
    EXPECT_EQ(standby->id, 75);
    EXPECT_EQ(standby->name, "The TV draws 4.0 W all night. Switching it off at night saves about 7 kWh a year.");
    EXPECT_EQ(standby->action->actionId, 71);
    EXPECT_EQ(standby->action->value, 0);

    auto below = night;
    below[5].watts = kStandbyWatts - 0.01;
    EXPECT_FALSE(standbySuggestion("TV", 7, below, kMidnight, end));
    below[5].watts = kStandbyWatts;
    EXPECT_TRUE(standbySuggestion("TV", 7, below, kMidnight, end));

    // A silence of 15 minutes is still the whole night; a moment more is not.
    auto sparse = every(kMidnight + 15 * kMinuteMs, end - 15 * kMinuteMs, 15 * kMinuteMs, 4.0);
    EXPECT_TRUE(standbySuggestion("TV", 7, sparse, kMidnight, end));
    EXPECT_FALSE(standbySuggestion("TV", 7, sparse, kMidnight - 1, end));
    EXPECT_FALSE(standbySuggestion("TV", 7, sparse, kMidnight, end + 1));
    EXPECT_FALSE(standbySuggestion("TV", 7, {}, kMidnight, end));
}

TEST(RealSuggestions, ALongRunIsOverThreeTimesTheUsualAndHalfAnHourBeyondIt)
{
    // Four earlier runs of 30 minutes at 100 W, then one still going.
    auto history = [](int64_t currentMinutes) {
        std::vector<PowerSample> samples;
        int64_t at = kMidnight;
        for (int run = 0; run < 4; ++run) {
            for (auto s : every(at, at + 29 * kMinuteMs, kMinuteMs, 100))
                samples.push_back(s);
            for (auto s : every(at + 30 * kMinuteMs, at + 2 * kHourMs - kMinuteMs, kMinuteMs, 0.5))
                samples.push_back(s);
            at += 2 * kHourMs;
        }
        for (auto s : every(at, at + currentMinutes * kMinuteMs, kMinuteMs, 100))
            samples.push_back(s);
        return std::make_pair(samples, at + currentMinutes * kMinuteMs);
    };
    auto [longer, now] = history(91);
    auto longRun = longRunSuggestion("Heater", 3, longer, now);
    ASSERT_TRUE(longRun);
    EXPECT_EQ(longRun->id, 36);
    EXPECT_EQ(longRun->name,
        "The Heater has been on for 91 minutes; it usually runs 30. Switching it off now saves about 0.10 kWh.");
    auto [exactly, then] = history(90);
    EXPECT_FALSE(longRunSuggestion("Heater", 3, exactly, then));
    // Not when it has gone quiet, nor when it is off now.
    EXPECT_FALSE(longRunSuggestion("Heater", 3, longer, now + 15 * kMinuteMs + 1));
    longer.push_back(PowerSample { now + kMinuteMs, 0 });
    EXPECT_FALSE(longRunSuggestion("Heater", 3, longer, now + kMinuteMs));
}

TEST(RealSuggestions, LastNightIsTheLatestWhoseFiveOClockHasPassed)
{
    int64_t berlin = kHourMs; // UTC+1 in December
    int64_t localMidnight = kMidnight - berlin;
    EXPECT_EQ(lastNightStart(localMidnight + 5 * kHourMs, berlin), localMidnight);
    EXPECT_EQ(lastNightStart(localMidnight + 5 * kHourMs - 1, berlin), localMidnight - kDayMs);
    EXPECT_EQ(lastNightStart(localMidnight + 23 * kHourMs, berlin), localMidnight);
}
