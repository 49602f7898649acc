#include "platform/foundation/TimeZone.h"

#include "platform/foundation/Calendar.h"
#include "platform/foundation/Locale.h"

#include "support/DeviceSettings.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

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

TEST(TimeZone, NamedZonesAreFoundAndUnknownNamesAreNot)
{
    for (const char* name : { "America/New_York", "Europe/Amsterdam", "UTC", "GMT", "Asia/Kolkata", "GMT-05:00" }) {
        auto found = TimeZone::named(name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found->name(), name);
    }
    for (const char* name : { "", "Mars/Olympus_Mons", "America/NewYork", "Etc/Unknown", "-5" })
        EXPECT_FALSE(TimeZone::named(name)) << name;
}

TEST(TimeZone, HourOffsetTextGivesFixedZones)
{
    struct Case {
        const char* text;
        int seconds;
        const char* name;
    };
    const Case cases[] = {
        { "-5", -5 * 3600, "GMT-0500" },
        { "2", 2 * 3600, "GMT+0200" },
        { "+10", 10 * 3600, "GMT+1000" },
        { "5.75", 5 * 3600, "GMT+0500" },
        { "", 0, "GMT" },
        { "west", 0, "GMT" },
        { "0", 0, "GMT" },
        { "99", 18 * 3600, "GMT+1800" },
    };
    for (const Case& c : cases) {
        TimeZone fixed = TimeZone::forHourOffsetText(c.text);
        EXPECT_EQ(fixed.name(), c.name) << '"' << c.text << '"';
        EXPECT_EQ(fixed.secondsFromGMT(Date(1351219767.0)), c.seconds) << '"' << c.text << '"';
        EXPECT_EQ(fixed.secondsFromGMT(Date(1341100800.0)), c.seconds) << "no daylight saving in a fixed zone";
    }
    EXPECT_EQ(TimeZone::forSecondsFromGMT(19800).name(), "GMT+0530");
}

TEST(TimeZone, OffsetsFollowDaylightSaving)
{
    TimeZone newYork = zone("America/New_York");
    EXPECT_EQ(newYork.secondsFromGMT(Date(1341100800.0)), -4 * 3600); // July 2012
    EXPECT_TRUE(newYork.isDaylightSavingTime(Date(1341100800.0)));
    EXPECT_EQ(newYork.secondsFromGMT(Date(1356998400.0)), -5 * 3600); // January 2013
    EXPECT_FALSE(newYork.isDaylightSavingTime(Date(1356998400.0)));
}

TEST(TimeZone, DeviceZoneComesFromTheEnvironmentUnlessFixed)
{
    EXPECT_EQ(TimeZone::defaultZone().name(), "UTC"); // the test environment's TZ
    {
        hestio::test::DeviceSettings device("Asia/Tokyo");
        EXPECT_EQ(TimeZone::defaultZone().name(), "Asia/Tokyo");
        EXPECT_EQ(Calendar().timeZone().name(), "Asia/Tokyo");
    }
    EXPECT_EQ(TimeZone::defaultZone().name(), "UTC");
}

TEST(TimeZone, UnknownZoneInTheEnvironmentFallsBackToGMTWithOneLogLine)
{
    hestio::test::LogCapture capture;
    {
        hestio::test::ScopedEnvironment tz("TZ", "Nowhere/Land");
        EXPECT_EQ(TimeZone::defaultZone().name(), "GMT");
        EXPECT_EQ(TimeZone::defaultZone().name(), "GMT");
        EXPECT_EQ(
            capture.lines(), (std::vector<std::string> { "Unknown time zone \"Nowhere/Land\" in TZ; using GMT" }));
    }
    {
        hestio::test::ScopedEnvironment tz("TZ", ":Europe/Paris");
        EXPECT_EQ(TimeZone::defaultZone().name(), "Europe/Paris");
    }
    EXPECT_EQ(TimeZone::defaultZone().name(), "UTC");
    EXPECT_EQ(capture.lines().size(), 1u);
}

TEST(Locale, DeviceLocaleComesFromTheEnvironment)
{
    struct Case {
        const char* posix;
        const char* identifier;
    };
    for (Case c : { Case { "de_DE.UTF-8@euro", "de_DE" }, Case { "C.UTF-8", "en_US" }, Case { "POSIX", "en_US" },
             Case { "", "en_US" }, Case { "fr_CA", "fr_CA" } })
        EXPECT_EQ(hestio::platform::Locale::identifierFromPosix(c.posix), c.identifier) << c.posix;
    hestio::test::ScopedEnvironment all("LC_ALL", nullptr);
    hestio::test::ScopedEnvironment time("LC_TIME", nullptr);
    hestio::test::ScopedEnvironment lang("LANG", "nl_NL.UTF-8");
    EXPECT_EQ(hestio::platform::Locale::current().identifier(), "nl_NL");
    hestio::test::ScopedEnvironment all2("LC_ALL", "sv_SE.UTF-8");
    EXPECT_EQ(hestio::platform::Locale::current().identifier(), "sv_SE");
    hestio::test::DeviceSettings device("UTC", "ja_JP");
    EXPECT_EQ(hestio::platform::Locale::current().identifier(), "ja_JP");
}
