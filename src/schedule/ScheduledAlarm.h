#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <array>
#include <memory>
#include <string>

namespace hestio {

/// The zone the household's wall-clock times are in: the signed-in user's
/// household "timeZoneArea", or the device's zone when there is no user or
/// the name is unknown.
platform::TimeZone householdTimeZone();

/// One leave-home / arrive-home schedule: two wall-clock times in the
/// household's zone, a title (the service's key for it) and seven repeat-day
/// flags (day d at position d - 1).
class ScheduledAlarm {
public:
    /// A schedule made on the phone: no repeat day set.
    static std::shared_ptr<ScheduledAlarm> initWithLeaveDate(
        platform::Date leaveDate, platform::Date arriveDate, std::string title);
    /// A schedule in the service's form ("title", "startHour", "startMin",
    /// "endHour", "endMin", "repeatDays").
    static std::shared_ptr<ScheduledAlarm> initWithJSONData(const json::Value& data);

    platform::Date startDate;
    platform::Date endDate;
    std::string title;
    std::array<bool, 7> repeatDays {};

    /// The set day numbers in ascending order, no separators ("135").
    std::string getRepeatDaysAsString() const;
    /// The form body that creates or replaces this schedule on the service.
    std::string createPostParameters() const;
};

}
