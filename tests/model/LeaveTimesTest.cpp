#include "model/LeaveTimes.h"

#include "platform/foundation/Calendar.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::Date;

namespace {

const platform::TimeZone& newYork()
{
    static const platform::TimeZone zone = *platform::TimeZone::named("America/New_York");
    return zone;
}

/// A UTC instant, written as year, month, day, hour, minute.
Date utc(int y, int mo, int d, int h, int mi)
{
    return platform::Calendar(platform::TimeZone::gmt()).date({ y, mo, d, h, mi, 0, 0 });
}

std::shared_ptr<ScheduledAlarm> leavingAt(int hour, int minute, std::initializer_list<int> days = {})
{
    auto schedule = std::make_shared<ScheduledAlarm>();
    schedule->title = "Home";
    schedule->startTime = { hour, minute };
    schedule->endTime = { 18, 0 };
    for (int day : days)
        schedule->repeatDays[static_cast<std::size_t>(day - 1)] = true;
    return schedule;
}

}

TEST(LeaveTimes, TheNextLeaveTimeIsTheEarliestStrictlyAfter)
{
    // Monday 7 December 2026, 08:00 in New York (13:00 UTC).
    const Date monday8 = utc(2026, 12, 7, 13, 0);
    struct Case {
        const char* what;
        std::vector<std::shared_ptr<ScheduledAlarm>> schedules;
        Date after;
        std::optional<Date> next;
    };
    const Case cases[] = {
        { "later today", { leavingAt(8, 30) }, monday8, utc(2026, 12, 7, 13, 30) },
        { "exactly now is not after now", { leavingAt(8, 0) }, monday8, utc(2026, 12, 8, 13, 0) },
        { "one minute before", { leavingAt(8, 0) }, utc(2026, 12, 7, 12, 59), monday8 },
        { "the earlier of two", { leavingAt(17, 0), leavingAt(9, 15) }, monday8, utc(2026, 12, 7, 14, 15) },
        { "only on Saturdays (day 7)", { leavingAt(7, 0, { 7 }) }, monday8, utc(2026, 12, 12, 12, 0) },
        { "Monday (day 2), a week on", { leavingAt(7, 0, { 2 }) }, monday8, utc(2026, 12, 14, 12, 0) },
        { "Sunday (day 1) or Tuesday (day 3)", { leavingAt(7, 0, { 1, 3 }) }, monday8, utc(2026, 12, 8, 12, 0) },
        { "no readable time", { leavingAt(24, 0), leavingAt(7, 60), leavingAt(-1, 0), nullptr }, monday8,
            std::nullopt },
        { "no schedule", {}, monday8, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeaveTimes::next(c.schedules, c.after, newYork()), c.next) << c.what;
}

TEST(LeaveTimes, ClockChangesInTheHouseholdsZone)
{
    // 8 March 2026: New York's clocks go from 02:00 EST to 03:00 EDT.
    EXPECT_EQ(LeaveTimes::next({ leavingAt(2, 30) }, utc(2026, 3, 8, 5, 0), newYork()), utc(2026, 3, 8, 7, 0))
        << "02:30 does not exist: the first instant after the gap, 03:00 EDT";
    EXPECT_EQ(LeaveTimes::next({ leavingAt(7, 45) }, utc(2026, 3, 8, 5, 0), newYork()), utc(2026, 3, 8, 11, 45))
        << "07:45 EDT is four hours behind UTC";
    EXPECT_EQ(LeaveTimes::next({ leavingAt(7, 45) }, utc(2026, 3, 7, 13, 0), newYork()), utc(2026, 3, 8, 11, 45))
        << "the day before: 23 hours later, not 24";

    // 1 November 2026: 01:00 to 02:00 EDT happens again as EST.
    const Date firstHalfPastOne = utc(2026, 11, 1, 5, 30);
    EXPECT_EQ(LeaveTimes::next({ leavingAt(1, 30) }, utc(2026, 11, 1, 4, 0), newYork()), firstHalfPastOne);
    EXPECT_EQ(LeaveTimes::next({ leavingAt(1, 30) }, firstHalfPastOne, newYork()), utc(2026, 11, 2, 6, 30))
        << "once a day: not again at the second 01:30";
    EXPECT_EQ(LeaveTimes::next({ leavingAt(7, 45) }, utc(2026, 11, 1, 4, 0), newYork()), utc(2026, 11, 1, 12, 45))
        << "07:45 EST is five hours behind UTC";
}
