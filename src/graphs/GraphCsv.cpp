#include "graphs/GraphCsv.h"

#include "graphs/DataGaps.h"
#include "platform/foundation/Calendar.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hestio {

namespace {

    struct CivilDay {
        std::int64_t year;
        int month;
        int day;
    };

    // Days since 1970-01-01 to a proleptic Gregorian date, for any day.
    CivilDay civilFromDays(std::int64_t days)
    {
        days += 719468;
        std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        auto dayOfEra = static_cast<std::int64_t>(days - era * 146097);
        std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
        int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
        int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
        return { yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day };
    }

    std::int64_t floorDivide(std::int64_t a, std::int64_t b)
    {
        std::int64_t quotient = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
    }

    std::string localTimeText(std::int64_t localSeconds)
    {
        std::int64_t days = floorDivide(localSeconds, 86400);
        auto secondOfDay = static_cast<int>(localSeconds - days * 86400);
        CivilDay civil = civilFromDays(days);
        char year[32];
        // Years past 9999 or before year 0 take ISO 8601's expanded form.
        if (civil.year >= 0 && civil.year <= 9999)
            std::snprintf(year, sizeof year, "%04lld", static_cast<long long>(civil.year));
        else
            std::snprintf(year, sizeof year, "%+05lld", static_cast<long long>(civil.year));
        char text[64];
        std::snprintf(text, sizeof text, "%s-%02d-%02dT%02d:%02d:%02d", year, civil.month, civil.day,
            secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
        return text;
    }

    template<class Number> std::string numberText(Number number)
    {
        char text[64];
        auto [end, error] = std::to_chars(text, text + sizeof text, number);
        return error == std::errc() ? std::string(text, end) : std::string();
    }

    template<class Number> bool parseWhole(std::string_view text, Number& out)
    {
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
        return error == std::errc() && end == text.data() + text.size();
    }

    /// One line of the file: a sample, or the empty value of a gap.
    struct Line {
        std::int64_t seconds;
        const CsvValue* value; // none for a gap
    };

    std::vector<double> timesOf(const std::vector<CsvSample>& samples)
    {
        std::vector<double> times;
        times.reserve(samples.size());
        for (const auto& sample : samples)
            times.push_back(static_cast<double>(sample.seconds));
        return times;
    }

    /// Where the file has a line without a value: by the rule the graph
    /// screens mark missing data with, day by day, so that a file and the
    /// screen never disagree about what is missing.
    std::vector<std::int64_t> gapLineTimes(
        const std::vector<double>& times, const CsvSeries& series, const CsvRange& range)
    {
        TimeSpan window { range.start.timeIntervalSince1970(), range.end.timeIntervalSince1970() };
        std::vector<std::int64_t> lines;
        if (series.gaps == CsvGaps::EmptyHours) {
            for (const TimeSpan& hour : findMissingHoursByDay(times, window, range.zone))
                lines.push_back(static_cast<std::int64_t>(std::ceil(hour.start)));
            return lines;
        }
        for (const DayGaps& day : findGapsByDay(times, window, range.zone)) {
            double step = day.usualInterval > 0 ? day.usualInterval : shortestGapSeconds;
            bool startsWithSample = std::find(times.begin(), times.end(), day.window.start) != times.end();
            for (const TimeSpan& gap : day.gaps) {
                // A day that begins without data has its line at its start;
                // otherwise the line stands a usual interval after the last
                // sample, where the next one was due.
                bool atDayStart = gap.start == day.window.start && !startsWithSample;
                lines.push_back(static_cast<std::int64_t>(std::ceil(atDayStart ? gap.start : gap.start + step)));
            }
        }
        return lines;
    }

}

CsvValue csvValueOf(const json::Value& value)
{
    switch (value.kind()) {
    case json::Kind::Integer:
        return value.integerValue();
    case json::Kind::Unsigned:
        return value.unsignedValue();
    case json::Kind::Double:
        return value.doubleValue();
    case json::Kind::String: {
        std::string_view text = value.stringValue();
        std::int64_t integer;
        std::uint64_t large;
        double real;
        if (parseWhole(text, integer))
            return integer;
        if (parseWhole(text, large))
            return large;
        if (parseWhole(text, real))
            return real;
        return {};
    }
    default:
        return {};
    }
}

std::string csvNumber(const CsvValue& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return numberText(*integer);
    if (const auto* large = std::get_if<std::uint64_t>(&value))
        return numberText(*large);
    if (const auto* real = std::get_if<double>(&value); real && std::isfinite(*real))
        return numberText(*real);
    return {};
}

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string isoTime(std::int64_t seconds, const platform::TimeZone& zone)
{
    int offset = zone.secondsFromGMT(platform::Date(static_cast<double>(seconds)));
    if (offset % 60 != 0)
        return localTimeText(seconds) + "Z";
    char sign = offset < 0 ? '-' : '+';
    int minutes = std::abs(offset) / 60;
    char zoneText[16];
    std::snprintf(zoneText, sizeof zoneText, "%c%02d:%02d", sign, minutes / 60, minutes % 60);
    return localTimeText(seconds + offset) + zoneText;
}

CsvRange weekEndingWithDay(platform::Date day, const platform::TimeZone& zone)
{
    platform::Calendar calendar(zone);
    platform::DateComponents midnight = calendar.components(day);
    midnight.hour = midnight.minute = midnight.second = 0;
    platform::DateComponents first = midnight;
    first.day -= 6;
    platform::DateComponents next = midnight;
    next.day += 1;
    return { calendar.date(first), calendar.date(next), zone };
}

std::string graphCsv(std::vector<CsvSample> samples, const CsvSeries& series, const CsvRange& range)
{
    double start = range.start.timeIntervalSince1970();
    double end = range.end.timeIntervalSince1970();
    std::erase_if(samples, [&](const CsvSample& sample) {
        auto time = static_cast<double>(sample.seconds);
        return time < start || time >= end;
    });
    std::stable_sort(
        samples.begin(), samples.end(), [](const auto& a, const auto& b) { return a.seconds < b.seconds; });

    std::vector<Line> lines;
    lines.reserve(samples.size());
    for (const auto& sample : samples)
        lines.push_back({ sample.seconds, &sample.value });
    for (std::int64_t seconds : gapLineTimes(timesOf(samples), series, range))
        lines.push_back({ seconds, nullptr });
    // A gap's line never shares its time with a sample: it lies strictly
    // between two, or in an hour that holds none.
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.seconds < b.seconds; });

    std::string unit = csvField(series.unit);
    std::string text = std::string(csvHeader) + "\r\n";
    text.reserve(text.size() + lines.size() * (36 + unit.size()));
    for (const Line& line : lines) {
        text += isoTime(line.seconds, range.zone);
        text += ',';
        if (line.value)
            text += csvNumber(*line.value);
        text += ',';
        text += unit;
        text += "\r\n";
    }
    return text;
}

}
