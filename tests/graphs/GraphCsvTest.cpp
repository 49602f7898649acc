#include "graphs/GraphCsv.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace hestio;

namespace {

platform::TimeZone zone(const char* name)
{
    auto found = platform::TimeZone::named(name);
    EXPECT_TRUE(found) << name;
    return found.value_or(platform::TimeZone::gmt());
}

/// 2026-10-25 in Berlin: summer time ends, 03:00 CEST becomes 02:00 CET
/// at 01:00 UTC.
constexpr std::int64_t berlinFallBackUtc = 1792890000;
/// 2026-03-29 in Berlin: 02:00 CET becomes 03:00 CEST at 01:00 UTC.
constexpr std::int64_t berlinSpringForwardUtc = 1774746000;

std::vector<std::string> linesOf(const std::string& csv)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < csv.size()) {
        std::size_t end = csv.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(csv.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}

TEST(GraphCsv, WritesAPowerWeekWithGapsAcrossTheEndOfSummerTimeByteForByte)
{
    // The week ending with the day the clocks go back: 169 hours.
    CsvRange week = weekEndingWithDay(platform::Date(berlinFallBackUtc), zone("Europe/Berlin"));
    ASSERT_EQ(
        isoTime(static_cast<std::int64_t>(week.start.timeIntervalSince1970()), week.zone), "2026-10-19T00:00:00+02:00");
    ASSERT_EQ(week.end.timeIntervalSince(week.start), 169 * 3600.0);

    // Every five minutes from 01:50 CEST, but none for 35 minutes after
    // 02:05 CEST (a gap: longer than two and a half intervals) and none for
    // exactly 12.5 minutes after 02:05 CET (no gap: not longer).
    std::int64_t t = berlinFallBackUtc - 4200; // 01:50 CEST
    std::vector<CsvSample> samples {
        { t, std::int64_t(1500) },
        { t + 300, 0.1 },
        { t + 600, 1e12 },
        { t + 900, -5.0 },
        { t + 3000, 1e300 }, // 02:40 CEST
        { t + 3300, CsvValue {} },
        { t + 3600, std::numeric_limits<double>::quiet_NaN() },
        { t + 3900, std::numeric_limits<double>::infinity() },
        { t + 4200, 1.7976931348623157e308 }, // 02:00 CET
        { t + 4500, std::numeric_limits<std::uint64_t>::max() },
        { t + 5250, 5e-324 }, // 02:17:30 CET
        { t + 5550, -0.5 },
    };
    std::string csv = graphCsv(samples, { "W", CsvGaps::BetweenSamples }, week);
    // Each day without samples has its line at its start.
    EXPECT_EQ(csv,
        "time,value,unit\r\n"
        "2026-10-19T00:00:00+02:00,,W\r\n"
        "2026-10-20T00:00:00+02:00,,W\r\n"
        "2026-10-21T00:00:00+02:00,,W\r\n"
        "2026-10-22T00:00:00+02:00,,W\r\n"
        "2026-10-23T00:00:00+02:00,,W\r\n"
        "2026-10-24T00:00:00+02:00,,W\r\n"
        "2026-10-25T00:00:00+02:00,,W\r\n"
        "2026-10-25T01:50:00+02:00,1500,W\r\n"
        "2026-10-25T01:55:00+02:00,0.1,W\r\n"
        "2026-10-25T02:00:00+02:00,1e+12,W\r\n"
        "2026-10-25T02:05:00+02:00,-5,W\r\n"
        "2026-10-25T02:10:00+02:00,,W\r\n"
        "2026-10-25T02:40:00+02:00,1e+300,W\r\n"
        "2026-10-25T02:45:00+02:00,,W\r\n"
        "2026-10-25T02:50:00+02:00,,W\r\n"
        "2026-10-25T02:55:00+02:00,,W\r\n"
        "2026-10-25T02:00:00+01:00,1.7976931348623157e+308,W\r\n"
        "2026-10-25T02:05:00+01:00,18446744073709551615,W\r\n"
        "2026-10-25T02:17:30+01:00,5e-324,W\r\n"
        "2026-10-25T02:22:30+01:00,-0.5,W\r\n"
        "2026-10-25T02:27:30+01:00,,W\r\n");
}

TEST(GraphCsv, WritesAnEnergyWeekAcrossTheStartOfSummerTimeWithAnEmptyLineForEveryHourWithoutABlock)
{
    // The week ending with the day the clocks go forward: 167 hours. Blocks
    // only on that day, and not for 01:00 CET nor 03:00 CEST, the hours on
    // either side of the change.
    auto berlin = zone("Europe/Berlin");
    CsvRange week = weekEndingWithDay(platform::Date(berlinSpringForwardUtc), berlin);
    ASSERT_EQ(week.end.timeIntervalSince(week.start), 167 * 3600.0);
    std::int64_t dayStart = berlinSpringForwardUtc - 7200; // 00:00 CET
    std::vector<CsvSample> samples;
    for (int hour = 0; hour < 23; ++hour)
        if (hour != 1 && hour != 2)
            samples.push_back({ dayStart + hour * 3600, 0.25 * hour });
    // Out of the range on both sides: left out.
    samples.push_back({ static_cast<std::int64_t>(week.start.timeIntervalSince1970()) - 3600, 9.0 });
    samples.push_back({ static_cast<std::int64_t>(week.end.timeIntervalSince1970()), 9.0 });

    auto lines = linesOf(graphCsv(samples, { "kWh", CsvGaps::EmptyHours }, week));
    ASSERT_EQ(lines.size(), 1u + 167u);
    EXPECT_EQ(lines[0], "time,value,unit");
    EXPECT_EQ(lines[1], "2026-03-23T00:00:00+01:00,,kWh");
    EXPECT_EQ(lines[2], "2026-03-23T01:00:00+01:00,,kWh");
    std::size_t first = 1 + 6 * 24;
    std::vector<std::string> dstDay(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.begin() + first + 6);
    EXPECT_EQ(dstDay,
        (std::vector<std::string> {
            "2026-03-29T00:00:00+01:00,0,kWh",
            "2026-03-29T01:00:00+01:00,,kWh",
            "2026-03-29T03:00:00+02:00,,kWh",
            "2026-03-29T04:00:00+02:00,0.75,kWh",
            "2026-03-29T05:00:00+02:00,1,kWh",
            "2026-03-29T06:00:00+02:00,1.25,kWh",
        }));
    EXPECT_EQ(lines.back(), "2026-03-29T23:00:00+02:00,5.5,kWh");
}

TEST(GraphCsv, LeavesTheHourStillRunningAtTheEndOfTheRangeUnmarked)
{
    auto utc = platform::TimeZone::gmt();
    // 00:00 to 02:30: hours 00 and 01 are whole, 02 is running.
    CsvRange range { platform::Date(0), platform::Date(9000), utc };
    EXPECT_EQ(graphCsv({ { 3600, 1.5 } }, { "kWh", CsvGaps::EmptyHours }, range),
        "time,value,unit\r\n"
        "1970-01-01T00:00:00+00:00,,kWh\r\n"
        "1970-01-01T01:00:00+00:00,1.5,kWh\r\n");
    // The running hour's block, when there is one, is written.
    EXPECT_EQ(graphCsv({ { 7200, 0.5 }, { 0, 2.0 }, { 3600, 1.5 } }, { "kWh", CsvGaps::EmptyHours }, range),
        "time,value,unit\r\n"
        "1970-01-01T00:00:00+00:00,2,kWh\r\n"
        "1970-01-01T01:00:00+00:00,1.5,kWh\r\n"
        "1970-01-01T02:00:00+00:00,0.5,kWh\r\n");
}

TEST(GraphCsv, AWeekWithoutSamplesIsOneGapADayFromEachDaysStart)
{
    CsvRange range { platform::Date(0), platform::Date(7 * 86400), platform::TimeZone::gmt() };
    auto lines = linesOf(graphCsv({}, { "%", CsvGaps::BetweenSamples }, range));
    ASSERT_EQ(lines.size(), 1u + 7);
    EXPECT_EQ(lines[1], "1970-01-01T00:00:00+00:00,,%");
    EXPECT_EQ(lines[7], "1970-01-07T00:00:00+00:00,,%");
    EXPECT_EQ(linesOf(graphCsv({}, { "kWh", CsvGaps::EmptyHours }, range)).size(), 1u + 7 * 24);
}

TEST(GraphCsv, SamplesOfEqualTimeKeepTheirOrderAndOutOfOrderSamplesAreSorted)
{
    CsvRange range { platform::Date(0), platform::Date(1200), platform::TimeZone::gmt() };
    // Steps of 60 s and 880 s: a usual interval of 470 s, so no gap.
    EXPECT_EQ(graphCsv({ { 120, 3.0 }, { 60, 1.0 }, { 60, 2.0 }, { 1000, 4.0 } }, { "W" }, range),
        "time,value,unit\r\n"
        "1970-01-01T00:01:00+00:00,1,W\r\n"
        "1970-01-01T00:01:00+00:00,2,W\r\n"
        "1970-01-01T00:02:00+00:00,3,W\r\n"
        "1970-01-01T00:16:40+00:00,4,W\r\n");
}

TEST(GraphCsv, QuotesAUnitThatNeedsIt)
{
    CsvRange range { platform::Date(0), platform::Date(60), platform::TimeZone::gmt() };
    EXPECT_EQ(graphCsv({ { 0, 1.0 } }, { "kWh, \"net\"" }, range),
        "time,value,unit\r\n1970-01-01T00:00:00+00:00,1,\"kWh, \"\"net\"\"\"\r\n");
}

TEST(GraphCsv, NumbersAreShortestRoundTripWithAPointWhateverTheLocale)
{
    struct Case {
        CsvValue value;
        const char* text;
    };
    const Case cases[] = {
        { 0.1, "0.1" },
        { 1.0 / 3.0, "0.3333333333333333" },
        { 1500.0, "1500" },
        { 123456789012.5, "123456789012.5" },
        { 1e12, "1e+12" },
        { -1e-7, "-1e-07" },
        { 1e300, "1e+300" },
        { -1e300, "-1e+300" },
        { 2.5e-308, "2.5e-308" },
        { std::numeric_limits<double>::infinity(), "" },
        { -std::numeric_limits<double>::infinity(), "" },
        { std::numeric_limits<double>::quiet_NaN(), "" },
        { CsvValue {}, "" },
        { std::int64_t(-9223372036854775807 - 1), "-9223372036854775808" },
        { std::uint64_t(18446744073709551615u), "18446744073709551615" },
    };
    // A locale with a decimal comma, where the machine has one.
    std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const auto& c : cases)
        EXPECT_EQ(csvNumber(c.value), c.text) << c.text;
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(GraphCsv, ReadsSampleValuesAsTheServiceSentThem)
{
    json::Decoder decoder;
    json::Value sample = decoder.objectWithData(
        R"({"int":1500,"big":18446744073709551615,"real":12.25,"huge":1e300,"text":"12.5","textInt":"42",)"
        R"("words":"12 W","empty":"","null":null,"yes":true,"list":[1]})");
    ASSERT_TRUE(sample);
    struct Case {
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        { "int", "1500" },
        { "big", "18446744073709551615" },
        { "real", "12.25" },
        { "huge", "1e+300" },
        { "text", "12.5" },
        { "textInt", "42" },
        { "words", "" },
        { "empty", "" },
        { "null", "" },
        { "yes", "" },
        { "list", "" },
        { "missing", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(csvNumber(csvValueOf(sample[c.key])), c.text) << c.key;
}

TEST(GraphCsv, WritesTimesWithTheOffsetInForceThen)
{
    struct Case {
        const char* zone;
        std::int64_t seconds;
        const char* text;
    };
    const Case cases[] = {
        { "UTC", 0, "1970-01-01T00:00:00+00:00" },
        { "UTC", -1, "1969-12-31T23:59:59+00:00" },
        { "America/New_York", 1796225400, "2026-12-02T10:30:00-05:00" },
        { "America/New_York", 1783003800, "2026-07-02T10:50:00-04:00" },
        { "Asia/Kolkata", 1796225400, "2026-12-02T21:00:00+05:30" },
        { "Pacific/Chatham", 1796225400, "2026-12-03T05:15:00+13:45" },
        { "Europe/Berlin", berlinFallBackUtc - 1, "2026-10-25T02:59:59+02:00" },
        { "Europe/Berlin", berlinFallBackUtc, "2026-10-25T02:00:00+01:00" },
        { "Europe/Berlin", berlinSpringForwardUtc - 1, "2026-03-29T01:59:59+01:00" },
        { "Europe/Berlin", berlinSpringForwardUtc, "2026-03-29T03:00:00+02:00" },
        { "UTC", 253402300800, "+10000-01-01T00:00:00+00:00" },
        { "UTC", -62135596800, "0001-01-01T00:00:00+00:00" },
        // Before 1972 Monrovia kept a local mean time 44 minutes 30 seconds
        // behind: not writable as an ISO offset, so in UTC.
        { "Africa/Monrovia", 0, "1970-01-01T00:00:00Z" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(isoTime(c.seconds, zone(c.zone)), c.text) << c.zone << " " << c.seconds;
}

TEST(GraphCsv, QuotesFieldsOnlyWhereTheyNeedIt)
{
    EXPECT_EQ(csvField("kWh"), "kWh");
    EXPECT_EQ(csvField(""), "");
    EXPECT_EQ(csvField("a b"), "a b");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csvField("cr\r"), "\"cr\r\"");
}

TEST(GraphCsv, TheWeekIsSevenCalendarDaysEndingWithTheShownDay)
{
    struct Case {
        const char* zone;
        std::int64_t instant;
        const char* start;
        const char* end;
        double hours;
    };
    const Case cases[] = {
        { "Europe/Berlin", berlinFallBackUtc, "2026-10-19T00:00:00+02:00", "2026-10-26T00:00:00+01:00", 169 },
        { "Europe/Berlin", berlinSpringForwardUtc, "2026-03-23T00:00:00+01:00", "2026-03-30T00:00:00+02:00", 167 },
        // The last second of a day still belongs to it; the next one not.
        { "UTC", 86400 * 7 - 1, "1970-01-01T00:00:00+00:00", "1970-01-08T00:00:00+00:00", 168 },
        { "UTC", 86400 * 7, "1970-01-02T00:00:00+00:00", "1970-01-09T00:00:00+00:00", 168 },
        // São Paulo skipped midnight on 2018-11-04: that day began at 01:00.
        { "America/Sao_Paulo", 1541858400, "2018-11-04T01:00:00-02:00", "2018-11-11T00:00:00-02:00", 167 },
    };
    for (const auto& c : cases) {
        CsvRange week = weekEndingWithDay(platform::Date(static_cast<double>(c.instant)), zone(c.zone));
        EXPECT_EQ(isoTime(static_cast<std::int64_t>(week.start.timeIntervalSince1970()), week.zone), c.start) << c.zone;
        EXPECT_EQ(isoTime(static_cast<std::int64_t>(week.end.timeIntervalSince1970()), week.zone), c.end) << c.zone;
        EXPECT_EQ(week.end.timeIntervalSince(week.start), c.hours * 3600) << c.zone;
    }
}
