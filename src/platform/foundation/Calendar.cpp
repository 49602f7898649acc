#include "platform/foundation/Calendar.h"

#include "platform/foundation/IcuBridge.h"

#include <cassert>
#include <cmath>

#include <unicode/gregocal.h>

namespace hestio::platform {

struct Calendar::State {
    std::unique_ptr<icu::GregorianCalendar> calendar;
};

namespace {

    std::unique_ptr<icu::GregorianCalendar> makeCalendar(const TimeZone& zone)
    {
        UErrorCode status = U_ZERO_ERROR;
        auto calendar = std::make_unique<icu::GregorianCalendar>(TimeZoneAccess::icuZone(zone), status);
        assert(U_SUCCESS(status) && "the Gregorian calendar is always available");
        calendar->setLenient(true);
        calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
        calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
        return calendar;
    }

}

Calendar::Calendar()
    : Calendar(TimeZone::defaultZone())
{
}

Calendar::Calendar(TimeZone zone)
    : m_zone(std::move(zone))
    , m_state(std::make_unique<State>())
{
    m_state->calendar = makeCalendar(m_zone);
}

Calendar::~Calendar() = default;

Calendar::Calendar(const Calendar& other)
    : Calendar(other.m_zone)
{
}

Calendar& Calendar::operator=(const Calendar& other)
{
    if (this != &other)
        setTimeZone(other.m_zone);
    return *this;
}

void Calendar::setTimeZone(TimeZone zone)
{
    m_zone = std::move(zone);
    m_state->calendar->setTimeZone(TimeZoneAccess::icuZone(m_zone));
}

DateComponents Calendar::components(Date date) const
{
    auto& calendar = *m_state->calendar;
    UErrorCode status = U_ZERO_ERROR;
    // Whole seconds toward the past, so that 23:59:59.7 stays in its day.
    calendar.setTime(std::floor(date.timeIntervalSince1970()) * 1000.0, status);
    DateComponents components;
    components.year = calendar.get(UCAL_EXTENDED_YEAR, status);
    components.month = calendar.get(UCAL_MONTH, status) + 1;
    components.day = calendar.get(UCAL_DATE, status);
    components.hour = calendar.get(UCAL_HOUR_OF_DAY, status);
    components.minute = calendar.get(UCAL_MINUTE, status);
    components.second = calendar.get(UCAL_SECOND, status);
    components.weekday = calendar.get(UCAL_DAY_OF_WEEK, status);
    if (U_FAILURE(status))
        return DateComponents {};
    return components;
}

Date Calendar::date(const DateComponents& components) const
{
    auto& calendar = *m_state->calendar;
    calendar.clear();
    calendar.set(UCAL_EXTENDED_YEAR, components.year);
    calendar.set(UCAL_MONTH, components.month - 1);
    calendar.set(UCAL_DATE, components.day);
    calendar.set(UCAL_HOUR_OF_DAY, components.hour);
    calendar.set(UCAL_MINUTE, components.minute);
    calendar.set(UCAL_SECOND, components.second);
    UErrorCode status = U_ZERO_ERROR;
    UDate time = calendar.getTime(status);
    if (U_FAILURE(status))
        return Date(0);
    return fromUDate(time);
}

Date Calendar::startOfDay(Date date) const
{
    DateComponents day = components(date);
    day.hour = day.minute = day.second = 0;
    return this->date(day);
}

Date Calendar::lastSecondOfDay(Date date) const
{
    DateComponents day = components(date);
    day.hour = 23;
    day.minute = 59;
    day.second = 59;
    return this->date(day);
}

Date dateAtMidnight(Date date, const TimeZone& zone)
{
    return Calendar(zone).startOfDay(date);
}

Date dateJustBeforeMidnight(Date date, const TimeZone& zone)
{
    return Calendar(zone).lastSecondOfDay(date);
}

}
