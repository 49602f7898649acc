#include "model/FollowedSavings.h"

#include "platform/foundation/Calendar.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace hestio;
using platform::Date;
using platform::Locale;
using platform::TimeZone;

namespace {

const TimeZone& newYork()
{
    static const TimeZone zone = *TimeZone::named("America/New_York");
    return zone;
}

Date local(int year, int month, int day, int hour = 0, int minute = 0)
{
    return platform::Calendar(newYork()).date({ year, month, day, hour, minute, 0 });
}

/// Every clock hour from `from` up to `to` (instants, so a day with a clock
/// change gets its 23 or 25 hours), each with the use `kWhAt` gives it.
std::vector<HourlyEnergy> hoursBetween(Date from, Date to, const std::function<double(Date)>& kWhAt)
{
    std::vector<HourlyEnergy> hours;
    for (Date hour = from; hour < to; hour = hour.addingTimeInterval(3600))
        hours.push_back({ hour, kWhAt(hour) });
    return hours;
}

/// Use of `before` kWh an hour until `switchedAt`, `after` from then on.
std::function<double(Date)> stepAt(Date switchedAt, double before, double after)
{
    return [=](Date hour) { return hour < switchedAt ? before : after; };
}

Tariff euros(double price)
{
    Tariff tariff;
    tariff.currency = "EUR";
    tariff.pricePerKWh = price;
    return tariff;
}

std::string figure(
    const Savings& savings, const std::optional<Tariff>& tariff = std::nullopt, const Locale& locale = Locale("en_US"))
{
    return savingsFigureText(savings, tariff, locale);
}

}

TEST(FollowedSavings, ThePeriodIsTheSevenDaysBeforeTheFollowDayAndTheWholeDaysAfterIt)
{
    // Followed on Wednesday 14 October 2026 at 10:00 in New York.
    const Date followed = local(2026, 10, 14, 10);
    struct Case {
        Date now;
        int wholeDays;
        Date sinceEnd;
        int daysUntilFirst;
    };
    const Case cases[] = {
        { local(2026, 10, 14, 23, 59), 0, local(2026, 10, 15), 2 }, // the follow day
        { local(2026, 10, 15, 12), 0, local(2026, 10, 15), 1 }, // the day after, not ended
        { local(2026, 10, 16), 1, local(2026, 10, 16), 0 }, // exactly when it ends
        { local(2026, 10, 21, 18), 6, local(2026, 10, 21), 0 }, { local(2026, 10, 22), 7, local(2026, 10, 22), 0 },
        { local(2026, 10, 23), 7, local(2026, 10, 22), 0 }, // at most seven
        { local(2027, 10, 23), 7, local(2026, 10, 22), 0 },
        { local(2026, 10, 12, 9), 0, local(2026, 10, 15), 4 }, // a clock behind the follow
    };
    for (const auto& c : cases) {
        auto period = savingsPeriod(followed, c.now, newYork());
        EXPECT_EQ(period.beforeStart, local(2026, 10, 7)) << c.now.timeIntervalSince1970();
        EXPECT_EQ(period.followDayStart, local(2026, 10, 14));
        EXPECT_EQ(period.sinceStart, local(2026, 10, 15));
        EXPECT_EQ(period.wholeDaysSince, c.wholeDays) << c.now.timeIntervalSince1970();
        EXPECT_EQ(period.sinceEnd, c.sinceEnd) << c.now.timeIntervalSince1970();
        EXPECT_EQ(period.daysUntilFirstFigure, c.daysUntilFirst) << c.now.timeIntervalSince1970();
    }
}

TEST(FollowedSavings, TheDifferenceIsTheUseSinceAgainstTheDaysBeforeInAsManyHours)
{
    const Date followed = local(2026, 10, 14, 10);
    const Date now = local(2026, 10, 20, 9); // five whole days since
    auto hours = hoursBetween(local(2026, 10, 7), local(2026, 10, 20), stepAt(followed, 0.1, 0.0));
    struct Case {
        const char* what;
        std::function<double(Date)> use;
        std::optional<Tariff> tariff;
        const char* figure;
    };
    Tariff night = euros(0.30);
    night.offPeak = Tariff::OffPeak { 0.10, 22, 6 };
    // Off at night only from the follow on: the peak hours keep their use.
    auto nightsOff = [followed](Date hour) {
        int h = platform::Calendar(newYork()).components(hour).hour;
        return hour >= followed && (h >= 22 || h < 6) ? 0.0 : 0.1;
    };
    const Case cases[] = {
        { "the same use", [](Date) { return 0.1; }, std::nullopt, "0.0\u00a0kWh in 5 days" },
        { "switched off", stepAt(followed, 0.1, 0.0), std::nullopt, "\u221212.0\u00a0kWh in 5 days" },
        { "switched off, priced", stepAt(followed, 0.1, 0.0), euros(0.30),
            "\u221212.0\u00a0kWh, \u2212\u20ac3.60 in 5 days" },
        { "more use", stepAt(followed, 0.1, 0.15), euros(0.30), "+6.0\u00a0kWh, +\u20ac1.80 in 5 days" },
        { "off at night, night price", nightsOff, night, "\u22124.0\u00a0kWh, \u2212\u20ac0.40 in 5 days" },
        { "a difference that rounds to nothing", stepAt(followed, 0.1, 0.0999), euros(0.30),
            "0.0\u00a0kWh, \u20ac0.00 in 5 days" },
    };
    for (const auto& c : cases) {
        auto savings = computeSavings(
            hoursBetween(local(2026, 10, 7), local(2026, 10, 20), c.use), followed, now, newYork(), c.tariff);
        EXPECT_EQ(savings.outcome, Savings::Outcome::Counted) << c.what;
        EXPECT_EQ(figure(savings, c.tariff), c.figure) << c.what;
        EXPECT_EQ(savingsNoteText(savings), "Against 7 days before") << c.what;
    }

    auto switchedOff = computeSavings(hours, followed, now, newYork(), euros(0.30));
    EXPECT_EQ(switchedOff.daysBeforeCounted, 7);
    EXPECT_EQ(switchedOff.daysSinceCounted, 5);
    EXPECT_DOUBLE_EQ(switchedOff.kWhBefore, 16.8);
    EXPECT_DOUBLE_EQ(switchedOff.kWhSince, 0);
    EXPECT_NEAR(switchedOff.differenceKWh, -12.0, 1e-9);
    EXPECT_NEAR(*switchedOff.differenceMoney, -3.6, 1e-9);
    // The hours of today and of the follow day count for nothing either way.
    auto busyToday = hours;
    for (auto& hour : busyToday) {
        if (hour.from >= local(2026, 10, 20) || (hour.from >= local(2026, 10, 14) && hour.from < local(2026, 10, 15)))
            hour.kWh = 50;
    }
    EXPECT_NEAR(computeSavings(busyToday, followed, now, newYork(), std::nullopt).differenceKWh, -12.0, 1e-9);
}

TEST(FollowedSavings, DaysWithAClockChangeCountTheirOwnHours)
{
    // 8 March 2026 has 23 hours in New York, 1 November 2026 has 25.
    ASSERT_EQ(local(2026, 3, 9).timeIntervalSince(local(2026, 3, 8)), 23 * 3600);
    ASSERT_EQ(local(2026, 11, 2).timeIntervalSince(local(2026, 11, 1)), 25 * 3600);
    struct Case {
        const char* what;
        Date followed;
        Date now;
        double hoursBefore;
        double hoursSince;
        const char* figure;
    };
    const Case cases[] = {
        { "the 23-hour day since", local(2026, 3, 7, 12), local(2026, 3, 10, 8), 168, 47,
            "0.0\u00a0kWh, \u20ac0.00 in 2 days" },
        { "the 23-hour day before", local(2026, 3, 10, 12), local(2026, 3, 12, 8), 167, 24,
            "0.0\u00a0kWh, \u20ac0.00 in 1 day" },
        { "the 25-hour day since", local(2026, 10, 31, 12), local(2026, 11, 2, 8), 168, 25,
            "0.0\u00a0kWh, \u20ac0.00 in 1 day" },
        { "the 25-hour day before", local(2026, 11, 3, 12), local(2026, 11, 5, 8), 169, 24,
            "0.0\u00a0kWh, \u20ac0.00 in 1 day" },
    };
    for (const auto& c : cases) {
        auto period = savingsPeriod(c.followed, c.now, newYork());
        // A steady draw of 1 kWh an hour is no change, however long the days.
        auto steady = computeSavings(hoursBetween(period.beforeStart, period.sinceEnd, [](Date) { return 1.0; }),
            c.followed, c.now, newYork(), euros(0.25));
        ASSERT_EQ(steady.outcome, Savings::Outcome::Counted) << c.what;
        EXPECT_EQ(steady.daysLeftOut, 0) << c.what << ": every hour of the short or long day is there";
        EXPECT_EQ(steady.hoursBefore, c.hoursBefore) << c.what;
        EXPECT_EQ(steady.hoursSince, c.hoursSince) << c.what;
        EXPECT_EQ(steady.kWhBefore, c.hoursBefore) << c.what << ": no hour spilled into a neighbouring day";
        EXPECT_EQ(steady.kWhSince, c.hoursSince) << c.what;
        EXPECT_NEAR(steady.differenceKWh, 0, 1e-9) << c.what;
        EXPECT_EQ(figure(steady, euros(0.25)), c.figure) << c.what;

        // Switched off: the saving is what the hours since would have used.
        auto off = computeSavings(hoursBetween(period.beforeStart, period.sinceEnd, stepAt(c.followed, 1.0, 0.0)),
            c.followed, c.now, newYork(), std::nullopt);
        EXPECT_NEAR(off.differenceKWh, -c.hoursSince, 1e-9) << c.what;
    }

    // A clock-change day missing its last hour is not whole.
    const Date followed = local(2026, 3, 7, 12);
    auto hours = hoursBetween(local(2026, 2, 28), local(2026, 3, 10), [](Date) { return 1.0; });
    std::erase_if(hours, [](const HourlyEnergy& h) { return h.from == local(2026, 3, 8, 23); });
    auto savings = computeSavings(hours, followed, local(2026, 3, 10, 8), newYork(), std::nullopt);
    EXPECT_EQ(savings.daysSinceCounted, 1);
    EXPECT_EQ(savings.daysLeftOut, 1);
    EXPECT_EQ(figure(savings), "0.0\u00a0kWh in 1 day");
    EXPECT_EQ(savingsNoteText(savings), "Against 7 days before; 1 day without data left out");
}

TEST(FollowedSavings, DaysWithoutDataAreLeftOutNotCountedAsNoUse)
{
    const Date followed = local(2026, 10, 14, 10);
    const Date now = local(2026, 10, 20, 9);
    auto all = hoursBetween(local(2026, 10, 7), local(2026, 10, 20), stepAt(followed, 0.1, 0.05));
    auto without = [&](std::vector<std::pair<Date, Date>> gaps) {
        auto hours = all;
        std::erase_if(hours, [&](const HourlyEnergy& h) {
            return std::any_of(
                gaps.begin(), gaps.end(), [&](const auto& gap) { return h.from >= gap.first && h.from < gap.second; });
        });
        return computeSavings(hours, followed, now, newYork(), euros(0.30));
    };
    struct Case {
        const char* what;
        std::vector<std::pair<Date, Date>> gaps;
        Savings::Outcome outcome;
        const char* figure;
        const char* note;
    };
    const Case cases[] = {
        { "nothing missing", {}, Savings::Outcome::Counted, "\u22126.0\u00a0kWh, \u2212\u20ac1.80 in 5 days",
            "Against 7 days before" },
        // Two days before without data: the other five give the use an hour.
        { "two days before", { { local(2026, 10, 8), local(2026, 10, 10) } }, Savings::Outcome::Counted,
            "\u22126.0\u00a0kWh, \u2212\u20ac1.80 in 5 days", "Against 5 days before; 2 days without data left out" },
        { "one hour of a day before", { { local(2026, 10, 9, 13), local(2026, 10, 9, 14) } }, Savings::Outcome::Counted,
            "\u22126.0\u00a0kWh, \u2212\u20ac1.80 in 5 days", "Against 6 days before; 1 day without data left out" },
        // A day since without data: four days compared, not five with one at nothing.
        { "one day since", { { local(2026, 10, 17), local(2026, 10, 18) } }, Savings::Outcome::Counted,
            "\u22124.8\u00a0kWh, \u2212\u20ac1.44 in 4 days", "Against 7 days before; 1 day without data left out" },
        { "every day before", { { local(2026, 10, 7), local(2026, 10, 14) } }, Savings::Outcome::NoDataBefore,
            "\u2014 No energy use recorded in the week before", "" },
        { "every day since", { { local(2026, 10, 15), local(2026, 10, 20) } }, Savings::Outcome::NoDataSince,
            "\u2014 No energy use recorded since", "" },
        { "everything", { { local(2026, 10, 1), local(2026, 10, 30) } }, Savings::Outcome::NoDataBefore,
            "\u2014 No energy use recorded in the week before", "" },
    };
    for (const auto& c : cases) {
        auto savings = without(c.gaps);
        EXPECT_EQ(savings.outcome, c.outcome) << c.what;
        EXPECT_EQ(figure(savings, euros(0.30)), c.figure) << c.what;
        EXPECT_EQ(savingsNoteText(savings), c.note) << c.what;
    }
}

TEST(FollowedSavings, BeforeAWholeDayHasPassedItSaysWhenTheFirstFigureComes)
{
    const Date followed = local(2026, 10, 14, 10);
    auto hours = hoursBetween(local(2026, 10, 7), local(2026, 10, 16), [](Date) { return 1.0; });
    struct Case {
        Date now;
        const char* figure;
    };
    const Case cases[] = {
        { local(2026, 10, 14, 10, 1), "First figure in 2 days" },
        { local(2026, 10, 15, 0), "First figure tomorrow" },
        { local(2026, 10, 15, 23, 59), "First figure tomorrow" },
        { local(2026, 10, 13, 12), "First figure in 3 days" },
    };
    for (const auto& c : cases) {
        auto savings = computeSavings(hours, followed, c.now, newYork(), euros(0.3));
        EXPECT_EQ(savings.outcome, Savings::Outcome::NoWholeDayYet);
        EXPECT_EQ(figure(savings, euros(0.3)), c.figure);
        EXPECT_EQ(savingsNoteText(savings), "");
    }
    EXPECT_EQ(computeSavings(hours, followed, local(2026, 10, 16), newYork(), std::nullopt).outcome,
        Savings::Outcome::Counted);
}

TEST(FollowedSavings, ExtremeUseIsCountedUpToItsLimitAndNamedBeyondIt)
{
    const Date followed = local(2026, 10, 14, 10);
    const Date now = local(2026, 10, 30); // seven whole days since, whatever came later
    auto at = [&](double before, double after) {
        return hoursBetween(local(2026, 10, 7), local(2026, 10, 30), stepAt(followed, before, after));
    };
    Tariff dear = euros(1000);
    auto limit = computeSavings(at(Savings::maximumHourlyKWh, 0), followed, now, newYork(), dear);
    ASSERT_EQ(limit.outcome, Savings::Outcome::Counted);
    EXPECT_EQ(limit.daysSinceCounted, 7);
    EXPECT_EQ(figure(limit, dear), "\u2212168,000,000.0\u00a0kWh, \u2212\u20ac168,000,000,000.00 in 7 days");

    auto beyond = computeSavings(at(std::nextafter(Savings::maximumHourlyKWh, 2 * Savings::maximumHourlyKWh), 0),
        followed, now, newYork(), dear);
    EXPECT_EQ(beyond.outcome, Savings::Outcome::OutOfRange);
    EXPECT_EQ(figure(beyond, dear), "\u2014 The energy figures are out of range");
    EXPECT_EQ(savingsNoteText(beyond), "");

    // The smallest use there is still counts as use.
    auto tiny = computeSavings(at(0, 1e-300), followed, now, newYork(), std::nullopt);
    EXPECT_EQ(tiny.outcome, Savings::Outcome::Counted);
    EXPECT_EQ(figure(tiny), "0.0\u00a0kWh in 7 days");
}

TEST(FollowedSavings, TheFigureIsWrittenInTheUsersLocale)
{
    const Date followed = local(2026, 10, 14, 10);
    const Date now = local(2026, 10, 20, 9);
    auto savings = computeSavings(
        hoursBetween(local(2026, 10, 7), now, stepAt(followed, 0.0275, 0)), followed, now, newYork(), euros(0.30));
    EXPECT_EQ(figure(savings, euros(0.30), Locale("en_US")), "\u22123.3\u00a0kWh, \u2212\u20ac0.99 in 5 days");
    EXPECT_EQ(figure(savings, euros(0.30), Locale("de_DE")), "\u22123,3\u00a0kWh, \u22120,99\u00a0\u20ac in 5 days");
}

TEST(FollowedSavings, AnHourGivenTwiceCountsOnce)
{
    const Date followed = local(2026, 10, 14, 10);
    const Date now = local(2026, 10, 16, 9);
    auto hours = hoursBetween(local(2026, 10, 7), local(2026, 10, 16), [](Date) { return 1.0; });
    hours.push_back({ local(2026, 10, 15, 3), 100.0 });
    auto savings = computeSavings(hours, followed, now, newYork(), std::nullopt);
    EXPECT_EQ(savings.kWhSince, 24);
    EXPECT_EQ(figure(savings), "0.0\u00a0kWh in 1 day");
}
