#include "model/DataPoint.h"

#include "platform/foundation/Calendar.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::Date;

namespace {

json::Value parse(const std::string& text)
{
    json::Decoder decoder;
    return decoder.objectWithData(text);
}

}

TEST(DataPoint, TimeIntervalIsWholeSecondsFromTheReferenceDate)
{
    struct Case {
        const char* sample;
        double refDate;
        double expected;
    };
    const Case cases[] = {
        { R"({"timestamp":1500})", 0, 1.0 }, // the half second is dropped
        { R"({"timestamp":-1500})", 0, -1.0 }, // truncated toward zero
        { R"({"timestamp":"1999"})", 0, 1.0 }, // a numeric string
        { R"({"timestamp":1000,"from":5000})", 0, 1.0 }, // "timestamp" wins over "from"
        { R"({"from":7000})", 2, 5.0 }, // energy samples carry "from"
        { R"({"powerDraw":3})", 100, -100.0 }, // neither key: 1970
        { R"({"timestamp":1354748400000})", 1354834800.0, -86400.0 }, // a day before the reference
    };
    for (const Case& c : cases) {
        DataPoint point(parse(c.sample), Date(c.refDate));
        EXPECT_EQ(point.timeInterval(), c.expected) << c.sample << " against " << c.refDate;
        EXPECT_EQ(point.getTimeInterval(), c.expected) << c.sample;
        EXPECT_EQ(point.refDate(), Date(c.refDate));
    }
}

TEST(DataPoint, KeepsTheSampleAsReceived)
{
    json::Value sample = parse(R"({"timestamp":1000,"powerDraw":12.5})");
    DataPoint point(sample, Date(0));
    EXPECT_TRUE(point.point().isSameObject(sample));
    EXPECT_NE(point.description().find("\"powerDraw\":12.5"), std::string::npos) << point.description();
}

TEST(DayBoundaries, DependOnTheZone)
{
    auto plus2 = *platform::TimeZone::named("GMT+02:00");
    auto utc = platform::TimeZone::gmt();
    auto berlin = *platform::TimeZone::named("Europe/Berlin");
    const Date lateEvening(1354750200.0); // 2012-12-05 23:30 UTC
    struct Case {
        const char* zone;
        platform::TimeZone tz;
        double midnight;
    };
    const Case cases[] = {
        { "UTC+2", plus2, 1354744800.0 }, // 2012-12-05 22:00 UTC: midnight of the next local day
        { "UTC", utc, 1354665600.0 }, // 2012-12-05 00:00 UTC
        { "Berlin", berlin, 1354748400.0 }, // 2012-12-05 23:00 UTC
    };
    for (const Case& c : cases) {
        Date midnight = platform::dateAtMidnight(lateEvening, c.tz);
        EXPECT_EQ(midnight.timeIntervalSince1970(), c.midnight) << c.zone;
        EXPECT_EQ(platform::dateJustBeforeMidnight(lateEvening, c.tz).timeIntervalSince(midnight), 86399.0) << c.zone;
    }
}
