#pragma once

#include "model/HourlyEnergy.h"
#include "model/Tariff.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <optional>
#include <vector>

namespace hestio {

/// Today's energy so far beside yesterday's up to the same clock time, both
/// by the household's calendar (a day of a clock change has 23 or 25 hours),
/// and their cost with a tariff. Plain arithmetic on the blocks given; no
/// clock of its own.
class EnergyToday {
public:
    /// Where the two days begin and where yesterday is cut, for one moment.
    struct Days {
        platform::Date yesterdayStart;
        platform::Date todayStart;
        /// Yesterday at the clock time it is now. A time the clock showed
        /// twice yesterday means the first; one it skipped, the instant the
        /// clock jumped past it.
        platform::Date yesterdayCutoff;
    };
    [[nodiscard]] static Days daysAround(platform::Date now, const platform::TimeZone& zone);

    /// The figures at `now` in `zone`. Yesterday's block that holds the cut
    /// counts with the share of its hour before the cut, as today's hour under
    /// way holds only what was used so far.
    [[nodiscard]] static EnergyToday of(const std::vector<HourlyEnergy>& blocks, platform::Date now,
        const platform::TimeZone& zone, const std::optional<Tariff>& tariff = std::nullopt);

    double todayKWh { 0 };
    double yesterdayKWh { 0 };
    /// With a tariff only.
    std::optional<double> todayCost;
    std::optional<double> yesterdayCost;
    /// How much more (positive) or less today used than yesterday by the same
    /// time, in percent of yesterday's; none when yesterday used nothing by
    /// then, as no share of nothing says anything.
    std::optional<double> changePercent;
    /// The hours of today that have ended without a block.
    int hoursWithoutData { 0 };
    Days days;
};

}
