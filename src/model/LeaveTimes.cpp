#include "model/LeaveTimes.h"

#include "platform/foundation/Calendar.h"

namespace hestio {

namespace {

    bool readable(const WallClockTime& time)
    {
        return time.hour >= 0 && time.hour <= 23 && time.minute >= 0 && time.minute <= 59;
    }

    bool leavesOn(const ScheduledAlarm& schedule, int weekday)
    {
        bool any = false;
        for (bool day : schedule.repeatDays)
            any = any || day;
        return !any || (weekday >= 1 && weekday <= 7 && schedule.repeatDays[static_cast<std::size_t>(weekday - 1)]);
    }

}

std::optional<platform::Date> LeaveTimes::next(
    const std::vector<std::shared_ptr<ScheduledAlarm>>& schedules, platform::Date after, const platform::TimeZone& zone)
{
    platform::Calendar calendar(zone);
    platform::DateComponents today = calendar.components(after);
    std::optional<platform::Date> first;
    // A week and a day covers every weekday after today's leave time passed.
    for (int offset = 0; offset <= 7; ++offset) {
        platform::DateComponents noon { today.year, today.month, today.day + offset, 12, 0, 0, 0 };
        int weekday = calendar.components(calendar.date(noon)).weekday;
        for (const auto& schedule : schedules) {
            if (!schedule || !readable(schedule->startTime) || !leavesOn(*schedule, weekday))
                continue;
            platform::DateComponents leave = noon;
            leave.hour = static_cast<int>(schedule->startTime.hour);
            leave.minute = static_cast<int>(schedule->startTime.minute);
            platform::Date at = calendar.date(leave);
            if (at > after && (!first || at < *first))
                first = at;
        }
        if (first)
            return first;
    }
    return first;
}

}
