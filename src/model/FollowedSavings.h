#pragma once

#include "model/HourlyEnergy.h"
#include "model/Tariff.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace hestio {

/// The local days in the household's zone that tell what following a
/// suggestion changed: the seven whole days before the day it was followed,
/// and the whole days after that day up to yesterday (at most seven). The
/// day of the follow is in neither (part of it came before, part after), and
/// neither is today until it ends: a part of a day is not compared with
/// whole ones.
struct SavingsPeriod {
    /// Midnight seven days before the follow day: where the energy request starts.
    platform::Date beforeStart;
    platform::Date followDayStart;
    /// Midnight after the follow day.
    platform::Date sinceStart;
    /// The end of the last whole day since (the start of today, or of the
    /// eighth day after); equal to `sinceStart` when no day has ended.
    platform::Date sinceEnd;
    int wholeDaysSince { 0 };
    /// While no day has ended: in how many days (from today) the first one
    /// will have (2 on the day of the follow, 1 the day after).
    int daysUntilFirstFigure { 0 };
};

[[nodiscard]] SavingsPeriod savingsPeriod(
    platform::Date followedAt, platform::Date now, const platform::TimeZone& zone);

/// What following a suggestion saved: the use over the whole days since,
/// against what the days before would have used in as many hours.
///
/// A day counts only when the reply has every one of its hours (23, 24 or 25
/// of them, by the clock changes of the zone); a day without them is left
/// out of both sums and said to be so, rather than read as a day without
/// use. The days before give a use per hour, which times the hours counted
/// since is what those days would have used; per hour rather than per day so
/// that a 23- or 25-hour day is not taken for a change of habit.
struct Savings {
    enum class Outcome {
        /// The figures below hold.
        Counted,
        /// The follow day, or the day after it, has not ended yet.
        NoWholeDayYet,
        NoDataBefore,
        NoDataSince,
        /// An hour beyond `maximumHourlyKWh`, or sums beyond a double.
        OutOfRange,
    };
    /// More than a device can use in an hour; a reply with it is mistaken.
    static constexpr double maximumHourlyKWh = 1'000'000;
    static constexpr int daysBefore = 7;
    static constexpr int maximumDaysSince = 7;

    Outcome outcome { Outcome::NoWholeDayYet };
    SavingsPeriod period;
    int daysBeforeCounted { 0 };
    int daysSinceCounted { 0 };
    /// Days of either span left out for want of data.
    int daysLeftOut { 0 };
    double kWhBefore { 0 };
    double kWhSince { 0 };
    double hoursBefore { 0 };
    double hoursSince { 0 };
    /// Since minus what the days before would have used (negative: saved).
    double differenceKWh { 0 };
    /// The same in money, with a tariff (each hour at its own price).
    std::optional<double> differenceMoney;
};

[[nodiscard]] Savings computeSavings(const std::vector<HourlyEnergy>& hours, platform::Date followedAt,
    platform::Date now, const platform::TimeZone& zone, const std::optional<Tariff>& tariff);

/// The figure of a followed suggestion's row: "−3.2 kWh, −€0.96 in 5 days"
/// (the money with a tariff only; U+2212 as the minus sign, "+" for more
/// use, no sign when the difference rounds to nothing), "First figure
/// tomorrow", or "—" and why there is none.
[[nodiscard]] std::string savingsFigureText(
    const Savings& savings, const std::optional<Tariff>& tariff, const platform::Locale& locale);
/// What the figure is against, and the days left out: "Against 7 days
/// before", "Against 6 days before; 2 days without data left out"; empty
/// while there is no figure.
[[nodiscard]] std::string savingsNoteText(const Savings& savings);

}
