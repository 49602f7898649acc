#include "platform/foundation/Calendar.h"

#include "support/DeviceSettings.h"

#include <gtest/gtest.h>

using hestio::platform::Calendar;
using hestio::platform::Date;
using hestio::platform::DateComponents;
using hestio::platform::TimeZone;

namespace {

TimeZone zone(const char* name)
{
    auto found = TimeZone::named(name);
    EXPECT_TRUE(found) << name;
    return found ? *found : TimeZone::gmt();
}

}

TEST(Calendar, SplitsAndRebuildsInTheGivenZone)
{
    Date friday(1351219767.0); // 2012-10-26 02:49:27 UTC
    struct Case {
        const char* zone;
        DateComponents expected;
    };
    const Case cases[] = {
        { "UTC", { 2012, 10, 26, 2, 49, 27, 6 } },
        { "America/Los_Angeles", { 2012, 10, 25, 19, 49, 27, 5 } },
        { "Australia/Sydney", { 2012, 10, 26, 13, 49, 27, 6 } },
        { "Asia/Kathmandu", { 2012, 10, 26, 8, 34, 27, 6 } },
    };
    for (const Case& c : cases) {
        Calendar calendar(zone(c.zone));
        EXPECT_EQ(calendar.components(friday), c.expected) << c.zone;
        EXPECT_EQ(calendar.date(c.expected), friday) << c.zone;
    }
}

TEST(Calendar, DropsFractionsAndCarriesOverflowingFields)
{
    Calendar calendar(TimeZone::gmt());
    EXPECT_EQ(calendar.components(Date(1351295999.75)).second, 59);
    EXPECT_EQ(calendar.components(Date(-0.5)), (DateComponents { 1969, 12, 31, 23, 59, 59, 4 }));
    EXPECT_EQ(calendar.date({ 2012, 13, 1, 0, 0, 0 }), Date(1356998400.0)); // 2013-01-01
    EXPECT_EQ(calendar.date({ 2013, 1, 1, 0, 0, -1 }), Date(1356998399.0));
    EXPECT_EQ(calendar.date({ 2012, 2, 30, 0, 0, 0 }), calendar.date({ 2012, 3, 1, 0, 0, 0 }));
}

TEST(Calendar, MidnightAndLastSecondOfADayEastAndWestOfGMT)
{
    struct Case {
        const char* zone;
        double instant;
        double midnight;
    };
    // 2012-10-26 23:30 UTC is already the 27th east of GMT+0:30.
    const Case cases[] = {
        { "UTC", 1351294200.0, 1351209600.0 }, { "GMT+02:00", 1351294200.0, 1351288800.0 },
        { "Europe/Helsinki", 1351294200.0, 1351285200.0 }, // UTC+3 in summer time
        { "Asia/Tokyo", 1351294200.0, 1351263600.0 }, { "America/New_York", 1351294200.0, 1351224000.0 },
        { "Pacific/Honolulu", 1351294200.0, 1351245600.0 },
        { "Pacific/Kiritimati", 1351294200.0, 1351332000.0 - 86400 }, // UTC+14
        { "Pacific/Pago_Pago", 1351294200.0, 1351249200.0 }, // UTC-11
        { "America/New_York", 1351224000.0, 1351224000.0 }, // already midnight
        { "America/New_York", 1351223999.0, 1351137600.0 }, // one second before it
    };
    for (const Case& c : cases) {
        TimeZone tz = zone(c.zone);
        Date midnight = hestio::platform::dateAtMidnight(Date(c.instant), tz);
        EXPECT_EQ(midnight, Date(c.midnight)) << c.zone << " " << c.instant;
        EXPECT_EQ(hestio::platform::dateJustBeforeMidnight(Date(c.instant), tz), Date(c.midnight + 86399))
            << c.zone << " " << c.instant;
        DateComponents local = Calendar(tz).components(midnight);
        EXPECT_EQ(local.hour + local.minute + local.second, 0) << c.zone;
    }
}

TEST(Calendar, DaysAroundClockChanges)
{
    // São Paulo skipped from 00:00 to 01:00 on 2018-11-04: that day starts at 01:00.
    TimeZone saoPaulo = zone("America/Sao_Paulo");
    Date noon(1541340000.0);
    EXPECT_EQ(hestio::platform::dateAtMidnight(noon, saoPaulo), Date(1541300400.0));
    EXPECT_EQ(hestio::platform::dateJustBeforeMidnight(noon, saoPaulo), Date(1541300400.0 + 82799));
    // The day before was an ordinary one.
    EXPECT_EQ(hestio::platform::dateAtMidnight(Date(1541300399.0), saoPaulo), Date(1541300400.0 - 86400));

    // New York's clocks went back on 2012-11-04: that day lasts 25 hours.
    TimeZone newYork = zone("America/New_York");
    Date sunday(1352052000.0); // 2012-11-04 18:00 UTC
    Date start = hestio::platform::dateAtMidnight(sunday, newYork);
    EXPECT_EQ(start, Date(1352001600.0));
    EXPECT_EQ(hestio::platform::dateJustBeforeMidnight(sunday, newYork).timeIntervalSince(start), 90000 - 1);
}
