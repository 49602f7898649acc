#include "model/DataPoint.h"

#include "platform/foundation/Calendar.h"
#include "json/Decoder.h"
#include "json/Dictionary.h"
#include "json/Serializer.h"

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

TEST(DataPoint, AFlattenedSampleReadsAsReceived)
{
    struct Case {
        const char* sample;
        bool flat;
    };
    const Case cases[] = {
        { R"({"timestamp":1354748400000,"powerDraw":12.5})", true },
        { R"({"timestamp":1354748400000,"powerDraw":12,"meterReading":1043.125})", true },
        // Four members, as many as are kept flat, and one more; three
        // numbers, as many as are kept flat, and one more.
        { R"({"timestamp":-1500,"percentage":87.5,"voltage":52.38,"isCharging":true})", true },
        { R"({"timestamp":1,"percentage":0,"voltage":-0.0,"isCharging":false,"extra":null})", false },
        { R"({"timestamp":1,"percentage":0,"voltage":-0.0,"level":7})", false },
        { R"({"from":18446744073709551615,"kWh":1e300,"note":null})", true }, // an unsigned past the signed range
        { R"({"from":-9223372036854775808,"kWh":4.9e-324})", true },
        { R"({"timestamp":"1999","powerDraw":3})", false }, // a string member
        { R"({"timestamp":1000,"powerDraw":[1]})", false },
        { R"({"k\"ey\/\u00e9":1,"a":2,"b":3})", true }, // a key the serializer escapes
        { R"({})", true },
        { R"([1,2])", false },
    };
    for (const Case& c : cases) {
        json::Value sample = parse(c.sample);
        DataPoint received(sample, Date(1354834800.0));
        DataPoint flat = DataPoint::flattened(sample, Date(1354834800.0));
        EXPECT_EQ(flat.isFlat(), c.flat) << c.sample;
        EXPECT_EQ(flat.description(), received.description()) << c.sample;
        EXPECT_EQ(flat.timeInterval(), received.timeInterval()) << c.sample;
        EXPECT_EQ(flat.refDate(), received.refDate());
        if (!sample.isDictionary())
            continue;
        for (const json::Value& key : sample.asDictionary()->allKeys()) {
            std::string_view name = key.stringValue();
            EXPECT_EQ(flat.member(name).kind(), received.member(name).kind()) << c.sample << " " << name;
            EXPECT_EQ(json::JSONString(json::Value::array({ flat.member(name) })),
                json::JSONString(json::Value::array({ received.member(name) })))
                << c.sample << " " << name;
            EXPECT_EQ(flat.doubleMember(name), received.doubleMember(name)) << c.sample << " " << name;
        }
        EXPECT_TRUE(flat.member("absent").isNone());
        EXPECT_EQ(flat.doubleMember("absent"), 0.0);
        EXPECT_TRUE(flat.point() == sample) << c.sample;
    }
    // Members in a table's slot order, which two documents with the same keys
    // in another order need not share: each sample writes its own.
    for (const char* text : { R"({"a":1,"b":2,"c":true,"d":null})", R"({"d":null,"c":true,"b":2,"a":1})" }) {
        json::Value sample = parse(text);
        EXPECT_TRUE(DataPoint::flattened(sample, Date(0)).isFlat()) << text;
        EXPECT_EQ(DataPoint::flattened(sample, Date(0)).description(), DataPoint(sample, Date(0)).description());
    }
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
