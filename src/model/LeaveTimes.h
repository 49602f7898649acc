#pragma once

#include "model/ScheduledAlarm.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"

#include <memory>
#include <optional>
#include <vector>

namespace hestio {

/// When the household's schedules say it leaves home. A schedule leaves at
/// its leave hour and minute in the household's zone on the days its repeat
/// flags name (day 1 is Sunday, 7 Saturday: the calendar's weekday numbers),
/// and every day when it names none. A wall time the clocks skip happens at
/// the first instant after the gap; one they pass twice happens once, the
/// first time.
class LeaveTimes {
public:
    /// The first leave time of `schedules` strictly after `after`; none when
    /// no schedule has a readable leave time (hour 0 to 23, minute 0 to 59).
    [[nodiscard]] static std::optional<platform::Date> next(
        const std::vector<std::shared_ptr<ScheduledAlarm>>& schedules, platform::Date after,
        const platform::TimeZone& zone);
};

}
