#include "model/EnergyToday.h"

#include "platform/foundation/Calendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hestio;
using platform::Date;
using platform::TimeZone;

namespace {

const TimeZone kBerlin = *TimeZone::named("Europe/Berlin");

/// The instant the household's clock shows that time (the first one when it
/// shows it twice).
Date local(int year, int month, int day, int hour, int minute = 0)
{
    return platform::Calendar(kBerlin).date({ year, month, day, hour, minute, 0 });
}

Date utc(int year, int month, int day, int hour, int minute = 0)
{
    return platform::Calendar(TimeZone::gmt()).date({ year, month, day, hour, minute, 0 });
}

/// One block of `kWh` for every hour from `first` up to `now`; the hour under
/// way holds `underWay` (what it used so far).
std::vector<HourlyEnergy> hourly(Date first, Date now, double kWh = 1, double underWay = 0.5)
{
    std::vector<HourlyEnergy> blocks;
    for (Date hour = first; hour < now; hour = hour.addingTimeInterval(3600))
        blocks.push_back({ hour, hour.addingTimeInterval(3600) > now ? underWay : kWh });
    return blocks;
}

}

TEST(EnergyToday, YesterdayIsCutAtTheSameClockTimeAcrossAClockChange)
{
    struct Case {
        const char* what;
        Date now;
        Date yesterdayStart, todayStart, cutoff;
    };
    const Case cases[] = {
        { "yesterday had 23 hours", local(2026, 3, 30, 14, 30), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22),
            utc(2026, 3, 29, 12, 30) },
        { "yesterday had 25 hours", local(2026, 10, 26, 14, 30), utc(2026, 10, 24, 22), utc(2026, 10, 25, 23),
            utc(2026, 10, 25, 13, 30) },
        { "today has 23 hours", local(2026, 3, 29, 14, 30), utc(2026, 3, 27, 23), utc(2026, 3, 28, 23),
            utc(2026, 3, 28, 13, 30) },
        { "a time yesterday skipped: where the clock jumped past it", local(2026, 3, 30, 2, 30), utc(2026, 3, 28, 23),
            utc(2026, 3, 29, 22), utc(2026, 3, 29, 1) },
        { "a time yesterday showed twice: the first", local(2026, 10, 26, 2, 30), utc(2026, 10, 24, 22),
            utc(2026, 10, 25, 23), utc(2026, 10, 25, 0, 30) },
        { "today's first 2:30", utc(2026, 10, 25, 0, 30), utc(2026, 10, 23, 22), utc(2026, 10, 24, 22),
            utc(2026, 10, 24, 0, 30) },
        { "today's second 2:30", utc(2026, 10, 25, 1, 30), utc(2026, 10, 23, 22), utc(2026, 10, 24, 22),
            utc(2026, 10, 24, 0, 30) },
        { "exactly midnight", local(2026, 3, 30, 0), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22), utc(2026, 3, 28, 23) },
        { "the last second of the day", local(2026, 3, 29, 23, 59).addingTimeInterval(59.5), utc(2026, 3, 27, 23),
            utc(2026, 3, 28, 23), utc(2026, 3, 28, 22, 59).addingTimeInterval(59.5) },
        { "the first of a month", local(2026, 3, 1, 10), utc(2026, 2, 27, 23), utc(2026, 2, 28, 23),
            utc(2026, 2, 28, 9) },
    };
    for (const Case& c : cases) {
        EnergyToday::Days days = EnergyToday::daysAround(c.now, kBerlin);
        EXPECT_EQ(days.yesterdayStart, c.yesterdayStart) << c.what;
        EXPECT_EQ(days.todayStart, c.todayStart) << c.what;
        EXPECT_EQ(days.yesterdayCutoff, c.cutoff) << c.what;
    }
}

TEST(EnergyToday, SumsTodaySoFarAgainstYesterdayByTheSameClockTime)
{
    struct Case {
        const char* what;
        Date now;
        double today, yesterday;
    };
    // Every hour used 1 kWh, the one under way 0.5 so far; the hours before
    // yesterday used 100, so that a day begun at the wrong hour shows.
    const Case cases[] = {
        // Yesterday 00:00 to 14:30 lasted 13.5 hours, today 14.5.
        { "after a 23-hour yesterday", local(2026, 3, 30, 14, 30), 14.5, 13.5 },
        // Yesterday 00:00 to 14:30 lasted 15.5 hours.
        { "after a 25-hour yesterday", local(2026, 10, 26, 14, 30), 14.5, 15.5 },
        { "on a 23-hour day", local(2026, 3, 29, 14, 30), 13.5, 14.5 },
        { "on a 25-hour day", local(2026, 10, 25, 14, 30), 15.5, 14.5 },
        // Yesterday's clock went from 2:00 to 3:00: by 2:30 two hours had passed.
        { "at a time yesterday skipped", local(2026, 3, 30, 2, 30), 2.5, 2 },
        { "at the second 2:30 of a 25-hour day", utc(2026, 10, 25, 1, 30), 3.5, 2.5 },
        { "on an ordinary day", local(2026, 6, 10, 14, 30), 14.5, 14.5 },
    };
    for (const Case& c : cases) {
        EnergyToday::Days days = EnergyToday::daysAround(c.now, kBerlin);
        std::vector<HourlyEnergy> blocks
            = hourly(days.yesterdayStart.addingTimeInterval(-5 * 3600), days.yesterdayStart, 100);
        for (const HourlyEnergy& block : hourly(days.yesterdayStart, c.now))
            blocks.push_back(block);
        EnergyToday energy = EnergyToday::of(blocks, c.now, kBerlin);
        EXPECT_DOUBLE_EQ(energy.todayKWh, c.today) << c.what;
        EXPECT_DOUBLE_EQ(energy.yesterdayKWh, c.yesterday) << c.what;
        ASSERT_TRUE(energy.changePercent) << c.what;
        EXPECT_DOUBLE_EQ(*energy.changePercent, (c.today - c.yesterday) / c.yesterday * 100) << c.what;
        EXPECT_EQ(energy.hoursWithoutData, 0) << c.what;
        EXPECT_FALSE(energy.todayCost) << "no tariff, no cost";
    }
}

TEST(EnergyToday, AtMidnightBothDaysAreEmptyAndThereIsNoChange)
{
    Date midnight = local(2026, 3, 30, 0);
    auto blocks = hourly(midnight.addingTimeInterval(-30 * 3600), midnight);
    blocks.push_back({ midnight, 7 }); // an hour that has not begun to run
    EnergyToday energy = EnergyToday::of(blocks, midnight, kBerlin);
    EXPECT_EQ(energy.todayKWh, 0);
    EXPECT_EQ(energy.yesterdayKWh, 0);
    EXPECT_FALSE(energy.changePercent) << "nothing compared with nothing";
    EXPECT_EQ(energy.hoursWithoutData, 0);

    // A second later, a second of yesterday's first hour counts.
    Date later = midnight.addingTimeInterval(1);
    blocks.back().kWh = 0.001;
    EnergyToday after = EnergyToday::of(blocks, later, kBerlin);
    EXPECT_DOUBLE_EQ(after.todayKWh, 0.001);
    EXPECT_DOUBLE_EQ(after.yesterdayKWh, 1.0 / 3600);
    ASSERT_TRUE(after.changePercent);
    EXPECT_NEAR(*after.changePercent, 260, 1e-9);
}

TEST(EnergyToday, HoursWithoutABlockAreCountedAndUsableBlocksStillSum)
{
    Date now = local(2026, 6, 10, 14, 30);
    EnergyToday::Days days = EnergyToday::daysAround(now, kBerlin);
    std::vector<HourlyEnergy> blocks;
    for (const HourlyEnergy& block : hourly(days.yesterdayStart, now)) {
        double hour = block.from.timeIntervalSince(days.todayStart) / 3600;
        if (hour == 3 || hour == 7 || hour == 14)
            continue; // today's 3:00, 7:00 and the hour under way sent nothing
        blocks.push_back(block);
    }
    EnergyToday energy = EnergyToday::of(blocks, now, kBerlin);
    EXPECT_EQ(energy.hoursWithoutData, 2) << "the hour under way is not missing yet";
    EXPECT_DOUBLE_EQ(energy.todayKWh, 12);
    EXPECT_DOUBLE_EQ(energy.yesterdayKWh, 14.5);

    EnergyToday empty = EnergyToday::of({}, now, kBerlin);
    EXPECT_EQ(empty.hoursWithoutData, 14) << "a day with no data";
    EXPECT_EQ(empty.todayKWh, 0);
    EXPECT_FALSE(empty.changePercent);

    // Yesterday used nothing by now: no change; today nothing: 100 % less.
    std::vector<HourlyEnergy> todayOnly = hourly(days.todayStart, now);
    EXPECT_FALSE(EnergyToday::of(todayOnly, now, kBerlin).changePercent);
    std::vector<HourlyEnergy> yesterdayOnly = hourly(days.yesterdayStart, days.todayStart);
    ASSERT_TRUE(EnergyToday::of(yesterdayOnly, now, kBerlin).changePercent);
    EXPECT_DOUBLE_EQ(*EnergyToday::of(yesterdayOnly, now, kBerlin).changePercent, -100);
}

TEST(EnergyToday, CostsEachHourAtThePriceOfItsLocalHour)
{
    Tariff tariff;
    tariff.currency = "EUR";
    tariff.pricePerKWh = 0.30;
    tariff.offPeak = Tariff::OffPeak { 0.12, 22, 6 };
    // Today 0:00 to 8:30: six hours off-peak, two at the peak price and half
    // an hour of the third. Yesterday, the day the clock skipped 2:00, lost
    // an off-peak hour.
    Date now = local(2026, 3, 30, 8, 30);
    EnergyToday::Days days = EnergyToday::daysAround(now, kBerlin);
    EnergyToday energy = EnergyToday::of(hourly(days.yesterdayStart, now), now, kBerlin, tariff);
    ASSERT_TRUE(energy.todayCost);
    ASSERT_TRUE(energy.yesterdayCost);
    EXPECT_DOUBLE_EQ(*energy.todayCost, 6 * 0.12 + 2 * 0.30 + 0.5 * 0.30);
    EXPECT_DOUBLE_EQ(*energy.yesterdayCost, 5 * 0.12 + 2 * 0.30 + 0.5 * 0.30);
    EXPECT_DOUBLE_EQ(energy.yesterdayKWh, 7.5);

    tariff.offPeak.reset();
    EnergyToday single = EnergyToday::of(hourly(days.yesterdayStart, now), now, kBerlin, tariff);
    EXPECT_DOUBLE_EQ(*single.todayCost, 8.5 * 0.30);
}
