#include "model/FollowedSavings.h"

#include "model/QuantityText.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/CurrencyFormatter.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace hestio {

namespace {

    constexpr double kSecondsPerDay = 86400;
    constexpr const char* kMinus = "\u2212";

    /// Midnight `days` calendar days after the day that starts at `dayStart`.
    platform::Date dayStartAfter(const platform::Calendar& calendar, platform::Date dayStart, int days)
    {
        platform::DateComponents day = calendar.components(dayStart);
        day.day += days;
        day.hour = day.minute = day.second = 0;
        return calendar.date(day);
    }

    /// Whole calendar days from one midnight to another; clock changes move
    /// midnights by an hour or two, which rounding absorbs.
    int daysBetween(platform::Date fromMidnight, platform::Date toMidnight)
    {
        double days = std::round(toMidnight.timeIntervalSince(fromMidnight) / kSecondsPerDay);
        return static_cast<int>(std::clamp(days, -1e6, 1e6));
    }

    struct DayTally {
        platform::Date start;
        platform::Date end;
        std::set<double> hoursSeen;
        double kWh { 0 };
        double cost { 0 };

        double hours() const { return end.timeIntervalSince(start) / 3600; }
        bool isWhole() const { return static_cast<double>(hoursSeen.size()) >= std::floor(hours()); }
    };

    std::string plural(int count, const char* one, const char* many)
    {
        return std::to_string(count) + " " + (count == 1 ? one : many);
    }

    std::string signedKWh(double kWh, const platform::Locale& locale)
    {
        std::string number = quantity::number(std::fabs(kWh), 1, locale) + quantity::unitSpace + "kWh";
        if (std::fabs(kWh) < 0.05)
            return number;
        return (kWh < 0 ? kMinus : "+") + number;
    }

    std::string signedMoney(double amount, const Tariff& tariff, const platform::Locale& locale)
    {
        platform::CurrencyFormatter formatter(tariff.currency, locale);
        std::string magnitude = formatter.string(std::fabs(amount));
        if (magnitude == formatter.string(0))
            return magnitude;
        return (amount < 0 ? kMinus : "+") + magnitude;
    }

}

SavingsPeriod savingsPeriod(platform::Date followedAt, platform::Date now, const platform::TimeZone& zone)
{
    platform::Calendar calendar(zone);
    SavingsPeriod period;
    period.followDayStart = calendar.startOfDay(followedAt);
    period.beforeStart = dayStartAfter(calendar, period.followDayStart, -Savings::daysBefore);
    period.sinceStart = dayStartAfter(calendar, period.followDayStart, 1);
    platform::Date today = calendar.startOfDay(now);
    int ended = daysBetween(period.sinceStart, today);
    period.wholeDaysSince = std::clamp(ended, 0, Savings::maximumDaysSince);
    period.sinceEnd = dayStartAfter(calendar, period.sinceStart, period.wholeDaysSince);
    if (period.wholeDaysSince == 0)
        period.daysUntilFirstFigure = std::max(1, 1 - ended);
    return period;
}

Savings computeSavings(const std::vector<HourlyEnergy>& hours, platform::Date followedAt, platform::Date now,
    const platform::TimeZone& zone, const std::optional<Tariff>& tariff)
{
    Savings savings;
    savings.period = savingsPeriod(followedAt, now, zone);
    const SavingsPeriod& period = savings.period;
    if (period.wholeDaysSince == 0) {
        savings.outcome = Savings::Outcome::NoWholeDayYet;
        return savings;
    }

    platform::Calendar calendar(zone);
    std::vector<DayTally> days;
    for (int i = 0; i < Savings::daysBefore; ++i)
        days.push_back(DayTally {
            dayStartAfter(calendar, period.beforeStart, i), dayStartAfter(calendar, period.beforeStart, i + 1) });
    for (int i = 0; i < period.wholeDaysSince; ++i)
        days.push_back(DayTally {
            dayStartAfter(calendar, period.sinceStart, i), dayStartAfter(calendar, period.sinceStart, i + 1) });

    bool outOfRange = false;
    for (const auto& hour : hours) {
        auto day = std::find_if(days.begin(), days.end(),
            [&](const DayTally& each) { return hour.from >= each.start && hour.from < each.end; });
        if (day == days.end())
            continue; // the follow day, or outside both spans
        // An hour the reply repeats counts once, as first given.
        if (!day->hoursSeen.insert(std::floor(hour.from.timeIntervalSince1970())).second)
            continue;
        if (hour.kWh > Savings::maximumHourlyKWh)
            outOfRange = true;
        day->kWh += hour.kWh;
        if (tariff)
            day->cost += tariff->costOf(hour.kWh, hour.from, zone);
    }

    double costBefore = 0;
    double costSince = 0;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const DayTally& day = days[i];
        bool before = i < static_cast<std::size_t>(Savings::daysBefore);
        if (!day.isWhole()) {
            ++savings.daysLeftOut;
            continue;
        }
        if (before) {
            ++savings.daysBeforeCounted;
            savings.kWhBefore += day.kWh;
            savings.hoursBefore += day.hours();
            costBefore += day.cost;
        } else {
            ++savings.daysSinceCounted;
            savings.kWhSince += day.kWh;
            savings.hoursSince += day.hours();
            costSince += day.cost;
        }
    }
    if (outOfRange) {
        savings.outcome = Savings::Outcome::OutOfRange;
        return savings;
    }
    if (savings.daysBeforeCounted == 0) {
        savings.outcome = Savings::Outcome::NoDataBefore;
        return savings;
    }
    if (savings.daysSinceCounted == 0) {
        savings.outcome = Savings::Outcome::NoDataSince;
        return savings;
    }
    double share = savings.hoursSince / savings.hoursBefore;
    savings.differenceKWh = savings.kWhSince - savings.kWhBefore * share;
    if (tariff)
        savings.differenceMoney = costSince - costBefore * share;
    bool finite
        = std::isfinite(savings.differenceKWh) && (!savings.differenceMoney || std::isfinite(*savings.differenceMoney));
    savings.outcome = finite ? Savings::Outcome::Counted : Savings::Outcome::OutOfRange;
    return savings;
}

std::string savingsFigureText(
    const Savings& savings, const std::optional<Tariff>& tariff, const platform::Locale& locale)
{
    switch (savings.outcome) {
    case Savings::Outcome::Counted: {
        std::string text = signedKWh(savings.differenceKWh, locale);
        if (tariff && savings.differenceMoney)
            text += ", " + signedMoney(*savings.differenceMoney, *tariff, locale);
        return text + " in " + plural(savings.daysSinceCounted, "day", "days");
    }
    case Savings::Outcome::NoWholeDayYet:
        if (savings.period.daysUntilFirstFigure <= 1)
            return "First figure tomorrow";
        return "First figure in " + plural(savings.period.daysUntilFirstFigure, "day", "days");
    case Savings::Outcome::NoDataBefore:
        return "\u2014 No energy use recorded in the week before";
    case Savings::Outcome::NoDataSince:
        return "\u2014 No energy use recorded since";
    case Savings::Outcome::OutOfRange:
        return "\u2014 The energy figures are out of range";
    }
    return {};
}

std::string savingsNoteText(const Savings& savings)
{
    if (savings.outcome != Savings::Outcome::Counted)
        return {};
    std::string note = "Against " + plural(savings.daysBeforeCounted, "day", "days") + " before";
    if (savings.daysLeftOut != 0)
        note += "; " + plural(savings.daysLeftOut, "day", "days") + " without data left out";
    return note;
}

}
