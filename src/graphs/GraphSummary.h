#pragma once

#include "graphs/DataGaps.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"

#include <optional>
#include <string>
#include <vector>

// The pieces of the summary line under a graph: what day it shows, its
// figures, and how much of it is missing. Pure functions of their
// arguments, so that every text can be checked exactly.
namespace hestio::summary {

/// "Today" or "Yesterday" as seen at `now`, else the weekday and date in the
/// device's locale ("Mon, Nov 30" in en_US, "Mo., 30. Nov." in de_DE), of
/// the calendar day that starts at `dayStart` in `zone`.
[[nodiscard]] std::string dayName(platform::Date dayStart, platform::Date now, const platform::TimeZone& zone);

/// The calendar day of `zone` that `instant` falls on, midnight to midnight
/// (23 or 25 hours long on the days the clocks change).
[[nodiscard]] TimeSpan calendarDay(platform::Date instant, const platform::TimeZone& zone);

/// A length of time to the nearest minute: "2 h 10 min", "40 min", "3 h".
[[nodiscard]] std::string duration(double seconds);

/// "23.4 %" with one decimal in the device's locale ("23,4 %" in de_DE) and
/// a no-break space before the sign.
[[nodiscard]] std::string percentage(double value);

/// The lowest, highest and average value of a day's samples.
struct Figures {
    double lowest { 0 };
    double highest { 0 };
    double average { 0 };
};

/// The figures of `samples`; none without samples. The average is over
/// time: the line between consecutive samples, as the graph draws it,
/// except across `gaps`; with no such stretch, the plain mean.
[[nodiscard]] std::optional<Figures> figuresOf(std::vector<Reading> samples, const std::vector<TimeSpan>& gaps);

/// "40 min without data, meter reset at 9:15 PM"; empty when nothing is
/// missing and nothing was reset. Several resets are counted ("2 meter
/// resets"). Times in `zone`.
[[nodiscard]] std::string missingLine(
    double missingSeconds, const std::vector<double>& resets, const platform::TimeZone& zone);

/// "Yesterday: peak 1843 W, average 612 W", with the missing line below it
/// when there is one.
[[nodiscard]] std::string line(const std::string& day, const std::string& figures, const std::string& missing);

// Figures for a day with nothing to show.
constexpr const char* noData = "no data";
constexpr const char* loading = "loading…";
constexpr const char* notLoaded = "could not be loaded";

}
