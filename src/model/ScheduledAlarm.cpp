#include "model/ScheduledAlarm.h"

#include "net/ServiceEnvironment.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>

namespace hestio {

using platform::Calendar;
using platform::Date;
using platform::DateComponents;
using platform::TimeZone;

namespace {

    // A date whose wall-clock hour and minute in the household's zone are
    // the given ones, for showing the time. Today's date is used unless the
    // clocks skip that time today (the hour lost in spring); then the
    // nearest day before on which it exists. A time out of the clock's
    // range is shown at the nearest time within it (and still sent back as
    // received).
    Date dateWithHourAndMinute(const Calendar& calendar, WallClockTime time)
    {
        int hour = static_cast<int>(std::clamp<std::int64_t>(time.hour, 0, 23));
        int minute = static_cast<int>(std::clamp<std::int64_t>(time.minute, 0, 59));
        Date now = platform::RunLoop::current().clock().now();
        Date found;
        for (int daysBack = 0; daysBack < 3; ++daysBack) {
            DateComponents day = calendar.components(now.addingTimeInterval(-86400.0 * daysBack));
            day.hour = hour;
            day.minute = minute;
            day.second = 0;
            found = calendar.date(day);
            DateComponents back = calendar.components(found);
            if (back.hour == day.hour && back.minute == day.minute)
                break;
        }
        return found;
    }

    WallClockTime wallClockTimeOf(const Calendar& calendar, Date date)
    {
        DateComponents parts = calendar.components(date);
        return { parts.hour, parts.minute };
    }

}

std::shared_ptr<ScheduledAlarm> ScheduledAlarm::initWithLeaveDate(
    Date leaveDate, Date arriveDate, std::string title, const TimeZone& zone)
{
    auto alarm = std::make_shared<ScheduledAlarm>();
    Calendar calendar(zone);
    alarm->startDate = leaveDate;
    alarm->endDate = arriveDate;
    alarm->startTime = wallClockTimeOf(calendar, leaveDate);
    alarm->endTime = wallClockTimeOf(calendar, arriveDate);
    alarm->title = std::move(title);
    return alarm;
}

std::shared_ptr<ScheduledAlarm> ScheduledAlarm::initWithJSONData(const json::Value& data, const TimeZone& zone)
{
    Calendar calendar(zone);
    auto alarm = std::make_shared<ScheduledAlarm>();
    alarm->startTime = { data["startHour"].integerValue(), data["startMin"].integerValue() };
    alarm->endTime = { data["endHour"].integerValue(), data["endMin"].integerValue() };
    alarm->startDate = dateWithHourAndMinute(calendar, alarm->startTime);
    alarm->endDate = dateWithHourAndMinute(calendar, alarm->endTime);
    alarm->title = std::string(data["title"].stringValue());
    alarm->serviceState = ServiceState::Saved;
    for (char digit : data["repeatDays"].stringValue()) {
        if (digit >= '1' && digit <= '7')
            alarm->repeatDays[static_cast<std::size_t>(digit - '1')] = true;
    }
    return alarm;
}

std::string ScheduledAlarm::getRepeatDaysAsString() const
{
    std::string days;
    for (std::size_t i = 0; i < repeatDays.size(); ++i) {
        if (repeatDays[i])
            days += std::to_string(i + 1);
    }
    return days;
}

std::string ScheduledAlarm::createPostParameters() const
{
    return "title=" + escapeParameter(title) + "&startHour=" + std::to_string(startTime.hour)
        + "&startMin=" + std::to_string(startTime.minute) + "&endHour=" + std::to_string(endTime.hour)
        + "&endMin=" + std::to_string(endTime.minute) + "&repeatDays=" + getRepeatDaysAsString();
}

}
