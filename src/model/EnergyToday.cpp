#include "model/EnergyToday.h"

#include "platform/foundation/Calendar.h"

#include <algorithm>
#include <cmath>

namespace hestio {

namespace {

    constexpr double kHourSeconds = 3600;

}

EnergyToday::Days EnergyToday::daysAround(platform::Date now, const platform::TimeZone& zone)
{
    platform::Calendar calendar(zone);
    Days days;
    days.todayStart = calendar.startOfDay(now);
    days.yesterdayStart = calendar.startOfDay(days.todayStart.addingTimeInterval(-1));
    platform::DateComponents clock = calendar.components(now);
    clock.day -= 1; // day 0 carries back into the month before
    double fraction = now.timeIntervalSince1970() - std::floor(now.timeIntervalSince1970());
    platform::Date cutoff = calendar.date(clock).addingTimeInterval(fraction);
    days.yesterdayCutoff = std::clamp(cutoff, days.yesterdayStart, days.todayStart);
    return days;
}

EnergyToday EnergyToday::of(const std::vector<HourlyEnergy>& blocks, platform::Date now, const platform::TimeZone& zone,
    const std::optional<Tariff>& tariff)
{
    EnergyToday energy;
    energy.days = daysAround(now, zone);
    const Days& days = energy.days;
    double todayCost = 0;
    double yesterdayCost = 0;
    // The hours of today that have ended, each marked once a block covers it.
    auto hoursEnded
        = static_cast<std::size_t>(std::max(0.0, std::floor(now.timeIntervalSince(days.todayStart) / kHourSeconds)));
    std::vector<bool> covered(hoursEnded, false);
    for (const HourlyEnergy& block : blocks) {
        if (block.from >= days.todayStart && block.from < now) {
            energy.todayKWh += block.kWh;
            if (tariff)
                todayCost += tariff->costOf(block.kWh, block.from, zone);
            auto hour = static_cast<std::size_t>(block.from.timeIntervalSince(days.todayStart) / kHourSeconds);
            if (hour < covered.size())
                covered[hour] = true;
        } else if (block.from >= days.yesterdayStart && block.from < days.yesterdayCutoff) {
            double share = std::min(1.0, days.yesterdayCutoff.timeIntervalSince(block.from) / kHourSeconds);
            energy.yesterdayKWh += block.kWh * share;
            if (tariff)
                yesterdayCost += tariff->costOf(block.kWh * share, block.from, zone);
        }
    }
    energy.hoursWithoutData = static_cast<int>(std::count(covered.begin(), covered.end(), false));
    if (tariff) {
        energy.todayCost = todayCost;
        energy.yesterdayCost = yesterdayCost;
    }
    if (energy.yesterdayKWh > 0)
        energy.changePercent = (energy.todayKWh - energy.yesterdayKWh) / energy.yesterdayKWh * 100;
    return energy;
}

}
