#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace hestio {

/// An hour and minute on the household's wall clock.
struct WallClockTime {
    std::int64_t hour { 0 };
    std::int64_t minute { 0 };
    bool operator==(const WallClockTime&) const = default;
};

/// One leave-home / arrive-home schedule: two wall-clock times in the
/// household's zone, a title (the service's key for it) and seven repeat-day
/// flags (day d at position d - 1).
///
/// The wall-clock times are what the service knows and what is sent back;
/// the dates only place them on a day for showing. A time read from the
/// service is kept as received, so that a day on which it does not exist
/// (the hour the clocks skip) cannot change it.
class ScheduledAlarm {
public:
    /// A schedule made on the phone: no repeat day set. `zone` is the
    /// household's (householdTimeZone).
    [[nodiscard]] static std::shared_ptr<ScheduledAlarm> initWithLeaveDate(platform::Date leaveDate,
        platform::Date arriveDate, std::string title,
        const platform::TimeZone& zone = platform::TimeZone::defaultZone());
    /// A schedule in the service's form ("title", "startHour", "startMin",
    /// "endHour", "endMin", "repeatDays").
    [[nodiscard]] static std::shared_ptr<ScheduledAlarm> initWithJSONData(
        const json::Value& data, const platform::TimeZone& zone = platform::TimeZone::defaultZone());

    platform::Date startDate;
    platform::Date endDate;
    WallClockTime startTime;
    WallClockTime endTime;
    std::string title;
    std::array<bool, 7> repeatDays {};

    /// Whether the service has this schedule as the phone shows it.
    enum class ServiceState {
        Saved, // read from the service, or its last save was accepted
        NotSent, // made or changed on the phone and not (successfully) sent yet
        Sending, // a save is on its way
    };
    ServiceState serviceState { ServiceState::NotSent };

    /// The set day numbers in ascending order, no separators ("135").
    [[nodiscard]] std::string getRepeatDaysAsString() const;
    /// The form body that creates or replaces this schedule on the service.
    [[nodiscard]] std::string createPostParameters() const;
};

}
