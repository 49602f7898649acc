#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hestio {

// A graph's samples as a CSV file (RFC 4180, lines ending in CR LF):
//
//   time,value,unit
//   2026-11-24T00:00:00+01:00,0.412,kWh
//   2026-11-24T01:00:00+01:00,,kWh
//
// Times are ISO 8601 with the household's offset at that moment (so the
// offset changes where the clocks do), whole seconds. Values are written in
// the shortest form that reads back as the same number, with "." as the
// decimal mark whatever the locale; integers as received, digit for digit;
// a sample without a number has an empty value. Where data is missing a
// line with the time and an empty value stands in the gap, so that a
// spreadsheet's chart breaks its line there instead of joining across.

/// A value as the service sent it: none, an integer, or a double.
using CsvValue = std::variant<std::monostate, std::int64_t, std::uint64_t, double>;

/// A JSON number as it is; a string that is wholly a decimal number as that
/// number; anything else (null, missing, text, true) as no value.
CsvValue csvValueOf(const json::Value& value);

struct CsvSample {
    /// Whole seconds since 1970 UTC.
    std::int64_t seconds;
    CsvValue value;
};

/// How missing data shows: as a stretch between the samples of a line
/// (power, battery), or as an hour without its block (energy per hour).
enum class CsvGaps { BetweenSamples, EmptyHours };

struct CsvSeries {
    /// "W", "kWh", "%".
    std::string unit;
    CsvGaps gaps { CsvGaps::BetweenSamples };
};

/// What a file covers: samples from `start` (included) to `end` (excluded),
/// their times written in `zone`.
struct CsvRange {
    platform::Date start;
    platform::Date end;
    platform::TimeZone zone;
};

inline constexpr const char* csvHeader = "time,value,unit";

/// The whole file: the header, then every sample within the range and a
/// line for each gap, in time order (samples of equal time keep their
/// order). Gaps are found as the graph screens find them (DataGaps.h), each
/// calendar day of the range's zone by its own samples. A gap between
/// samples gets its line one usual sample interval of its day after the last
/// sample before it (the shortest gap when there is no usual interval), or at the
/// day's start when the day begins without data; an hour without a block
/// gets its line at the hour's start.
[[nodiscard]] std::string graphCsv(std::vector<CsvSample> samples, const CsvSeries& series, const CsvRange& range);

/// The seven calendar days in `zone` that end with the day holding `day`:
/// from midnight six days before it to the midnight after it. Days are
/// counted on the calendar, so a week with a clock change is an hour
/// shorter or longer than 168 hours.
CsvRange weekEndingWithDay(platform::Date day, const platform::TimeZone& zone);

// The pieces, for their own tests.

/// "2026-11-30T14:05:00+01:00". An offset with seconds (old local mean
/// times) cannot be written in ISO 8601's form, so such a time is written
/// in UTC with "Z".
std::string isoTime(std::int64_t seconds, const platform::TimeZone& zone);
/// The shortest text that reads back as the same value; empty for none and
/// for infinities and NaN.
std::string csvNumber(const CsvValue& value);
/// The field as it is, or in double quotes (inner quotes doubled) when it
/// holds a comma, a quote or a line break.
std::string csvField(std::string_view text);

}
