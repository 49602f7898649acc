#include "platform/foundation/DateFormatter.h"

#include "support/DeviceSettings.h"

#include <gtest/gtest.h>

using hestio::platform::Date;
using hestio::platform::DateFormatter;
using hestio::platform::Locale;
using hestio::platform::TimeZone;
using hestio::test::DeviceSettings;

namespace {

// Friday 26 October 2012, 02:49:27 UTC.
constexpr Date friday(1351219767.0);

TimeZone zone(const char* name)
{
    auto found = TimeZone::named(name);
    EXPECT_TRUE(found) << name;
    return found ? *found : TimeZone::gmt();
}

}

TEST(DateFormatter, PatternsGiveExactTextForFixedInstantsAndZones)
{
    struct Case {
        const char* pattern;
        double instant;
        const char* zone;
        const char* expected;
    };
    const Case cases[] = {
        { "MM/dd/yyyy hh:mm:ss a", friday.timeIntervalSince1970(), "UTC", "10/26/2012 02:49:27 AM" },
        { "MM/dd/yyyy hh:mm:ss a", friday.timeIntervalSince1970(), "America/New_York", "10/25/2012 10:49:27 PM" },
        { "MM-dd-YY hh:mm a", friday.timeIntervalSince1970(), "UTC", "10-26-12 02:49 AM" },
        { "ccc. MM/dd/yy 'at' hh:mma", friday.timeIntervalSince1970(), "UTC", "Fri. 10/26/12 at 02:49AM" },
        { "ccc. MM/dd/yy 'at' hh:mma", friday.timeIntervalSince1970(), "Asia/Tokyo", "Fri. 10/26/12 at 11:49AM" },
        { "hh:mm a", friday.timeIntervalSince1970(), "Europe/Berlin", "04:49 AM" },
        { "MM/dd/yyyy", friday.timeIntervalSince1970(), "Pacific/Honolulu", "10/25/2012" },
        // 12-hour clock at both ends of the day: midnight is 12 AM, noon 12 PM.
        { "hh:mm a", 1351209600.0, "UTC", "12:00 AM" },
        { "hh:mm a", 1351252800.0, "UTC", "12:00 PM" },
        { "hh:mm a", 1351256340.0, "UTC", "12:59 PM" },
        { "hh:mm a", 1351295999.0, "UTC", "11:59 PM" },
        // "YY" is the week-numbering year: the Monday 31 December 2012 lies in
        // the first week of 2013, while "yy" stays 12.
        { "MM-dd-YY", 1356948000.0, "UTC", "12-31-13" },
        { "MM-dd-yy", 1356948000.0, "UTC", "12-31-12" },
        { "MM-dd-YY", 1356861600.0, "UTC", "12-30-13" }, // Sunday 30 December starts that week
        { "MM-dd-YY", 1356775200.0, "UTC", "12-29-12" },
        // With US weeks (Sunday first, a week of 1 January is week 1), the
        // Thursday 31 December 2015 already belongs to 2016.
        { "MM-dd-YY hh:mm a", 1451606400.0, "UTC", "01-01-16 12:00 AM" },
        { "MM-dd-YY hh:mm a", 1451606400.0, "America/Los_Angeles", "12-31-16 04:00 PM" },
        { "MM-dd-YY hh:mm a", 1451606400.0 - 5 * 86400, "UTC", "12-27-16 12:00 AM" },
        { "MM-dd-YY hh:mm a", 1451606400.0 - 6 * 86400, "UTC", "12-26-15 12:00 AM" },
        { "yyyy-MM-dd HH:mm:ss", 1541300400.0, "America/Sao_Paulo", "2018-11-04 01:00:00" },
        { "'quoted ''text'''", 0, "UTC", "quoted 'text'" },
    };
    for (const Case& c : cases) {
        DateFormatter formatter(c.pattern);
        formatter.setTimeZone(zone(c.zone));
        formatter.setLocale(Locale("en_US"));
        EXPECT_EQ(formatter.stringFromDate(Date(c.instant)), c.expected)
            << c.pattern << " at " << c.instant << " in " << c.zone;
    }
}

TEST(DateFormatter, StylesFollowTheLocale)
{
    struct Case {
        DateFormatter::Style date;
        DateFormatter::Style time;
        const char* locale;
        const char* expected;
    };
    using Style = DateFormatter::Style;
    const Case cases[] = {
        { Style::None, Style::Short, "en_US", "2:49\u202FAM" },
        { Style::None, Style::Medium, "en_US", "2:49:27\u202FAM" },
        { Style::Short, Style::None, "en_US", "10/26/12" },
        { Style::Medium, Style::None, "en_US", "Oct 26, 2012" },
        { Style::Medium, Style::Medium, "en_US", "Oct 26, 2012, 2:49:27\u202FAM" },
        { Style::None, Style::Short, "de_DE", "02:49" },
        { Style::Medium, Style::None, "de_DE", "26.10.2012" },
        { Style::None, Style::Short, "en_GB", "02:49" },
    };
    for (const Case& c : cases) {
        DateFormatter formatter;
        formatter.setTimeZone(TimeZone::gmt());
        formatter.setLocale(Locale(c.locale));
        formatter.setDateStyle(c.date);
        formatter.setTimeStyle(c.time);
        EXPECT_EQ(formatter.stringFromDate(friday), c.expected)
            << "styles " << int(c.date) << "/" << int(c.time) << " in " << c.locale;
    }
}

TEST(DateFormatter, TheLastOfPatternAndStylesDecides)
{
    DateFormatter formatter("yyyy");
    formatter.setTimeZone(TimeZone::gmt());
    formatter.setLocale(Locale("en_US"));
    formatter.setTimeStyle(DateFormatter::Style::Short);
    EXPECT_EQ(formatter.dateFormat(), "h:mm\u202Fa");
    EXPECT_EQ(formatter.stringFromDate(friday), "2:49\u202FAM");
    formatter.setDateFormat("yyyy");
    EXPECT_EQ(formatter.dateStyle(), DateFormatter::Style::None);
    EXPECT_EQ(formatter.stringFromDate(friday), "2012");
}

TEST(DateFormatter, ATemplateTakesEachLocalesOwnOrderAndFollowsALaterLocale)
{
    DateFormatter formatter;
    formatter.setTimeZone(TimeZone::gmt());
    formatter.setLocale(Locale("en_US"));
    formatter.setDateFormatFromTemplate("EEEdMMM");
    EXPECT_EQ(formatter.stringFromDate(friday), "Fri, Oct 26");
    formatter.setLocale(Locale("de_DE"));
    EXPECT_EQ(formatter.stringFromDate(friday), "Fr., 26. Okt.");
    DateFormatter copy = formatter;
    copy.setLocale(Locale("en_GB"));
    EXPECT_EQ(copy.stringFromDate(friday), "Fri, 26 Oct");
    formatter.setDateFormat("yyyy");
    formatter.setLocale(Locale("en_US"));
    EXPECT_EQ(formatter.stringFromDate(friday), "2012") << "a pattern set afterwards stays";
}

TEST(DateFormatter, SettingsChangedAfterUseApply)
{
    DateFormatter formatter("HH:mm");
    formatter.setTimeZone(TimeZone::gmt());
    EXPECT_EQ(formatter.stringFromDate(friday), "02:49");
    formatter.setTimeZone(TimeZone::forHourOffsetText("-5"));
    EXPECT_EQ(formatter.stringFromDate(friday), "21:49");
    DateFormatter copy = formatter;
    formatter.setDateFormat("mm");
    EXPECT_EQ(copy.stringFromDate(friday), "21:49");
    EXPECT_EQ(formatter.stringFromDate(friday), "49");
}

TEST(DateFormatter, UsesTheDeviceZoneAndLocaleByDefault)
{
    {
        DeviceSettings device("America/New_York", "en_US");
        DateFormatter formatter("MM/dd/yyyy hh:mm:ss a");
        EXPECT_EQ(formatter.timeZone().name(), "America/New_York");
        EXPECT_EQ(formatter.stringFromDate(friday), "10/25/2012 10:49:27 PM");
    }
    {
        DeviceSettings device("Europe/Berlin", "de_DE");
        DateFormatter formatter;
        formatter.setTimeStyle(DateFormatter::Style::Short);
        EXPECT_EQ(formatter.stringFromDate(friday), "04:49");
    }
}

TEST(DateFormatter, ParsesOnlyTextThatMatchesThePatternWhole)
{
    DateFormatter formatter("MM/dd/yyyy hh:mm:ss a");
    formatter.setTimeZone(TimeZone::gmt());
    formatter.setLocale(Locale("en_US"));
    auto parsed = formatter.dateFromString("10/26/2012 02:49:27 AM");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, friday);
    for (const char* bad : { "", "10/26/2012", "10/26/2012 02:49:27 AM and more", "13/45/2012 02:49:27 AM", "soon" })
        EXPECT_FALSE(formatter.dateFromString(bad)) << bad;
}

TEST(DateFormatter, EmptyPatternFormatsToEmptyText)
{
    DateFormatter empty;
    EXPECT_EQ(empty.stringFromDate(friday), "");
}
