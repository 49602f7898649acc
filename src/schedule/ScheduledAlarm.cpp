#include "schedule/ScheduledAlarm.h"

#include "app/HestioAppDelegate.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/RunLoop.h"

namespace hestio {

using platform::Calendar;
using platform::Date;
using platform::DateComponents;
using platform::TimeZone;

TimeZone householdTimeZone()
{
    if (auto user = HestioAppDelegate::shared().curUser()) {
        if (auto zone = TimeZone::named(user->household["timeZoneArea"].stringValue()))
            return *zone;
    }
    return TimeZone::defaultZone();
}

namespace {

    // A date whose wall-clock hour and minute in the household's zone are
    // the given ones; the day is today's there, and carries no meaning.
    Date dateWithHourAndMinute(const Calendar& calendar, std::int64_t hour, std::int64_t minute)
    {
        DateComponents today = calendar.components(platform::RunLoop::current().clock().now());
        today.hour = static_cast<int>(hour);
        today.minute = static_cast<int>(minute);
        today.second = 0;
        return calendar.date(today);
    }

}

std::shared_ptr<ScheduledAlarm> ScheduledAlarm::initWithLeaveDate(Date leaveDate, Date arriveDate, std::string title)
{
    auto alarm = std::make_shared<ScheduledAlarm>();
    alarm->startDate = leaveDate;
    alarm->endDate = arriveDate;
    alarm->title = std::move(title);
    return alarm;
}

std::shared_ptr<ScheduledAlarm> ScheduledAlarm::initWithJSONData(const json::Value& data)
{
    Calendar calendar(householdTimeZone());
    auto alarm = std::make_shared<ScheduledAlarm>();
    alarm->startDate
        = dateWithHourAndMinute(calendar, data["startHour"].integerValue(), data["startMin"].integerValue());
    alarm->endDate = dateWithHourAndMinute(calendar, data["endHour"].integerValue(), data["endMin"].integerValue());
    alarm->title = std::string(data["title"].stringValue());
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
    Calendar calendar(householdTimeZone());
    DateComponents start = calendar.components(startDate);
    DateComponents end = calendar.components(endDate);
    return "title=" + escapeParameter(title) + "&startHour=" + std::to_string(start.hour)
        + "&startMin=" + std::to_string(start.minute) + "&endHour=" + std::to_string(end.hour)
        + "&endMin=" + std::to_string(end.minute) + "&repeatDays=" + getRepeatDaysAsString();
}

}
