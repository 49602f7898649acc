#pragma once

#include "platform/foundation/TimeZone.h"

#include <vector>

namespace hestio {

/// A stretch of time from `start` up to `end`, in seconds since 1970.
struct TimeSpan {
    double start { 0 };
    double end { 0 };

    [[nodiscard]] double length() const { return end - start; }
    bool operator==(const TimeSpan&) const = default;
};

/// One reading of a quantity at a time (seconds since 1970).
struct Reading {
    double time { 0 };
    double value { 0 };
};

// How the graphs and their exported files tell missing data from data, the
// one rule both go by. A stretch without a sample is a gap when it is longer
// than `gapIntervalFactor` times the usual interval between the samples and
// than `shortestGapSeconds`. The finest samples a graph is given are a
// minute apart (the demo's; the hub's per-minute averages of its plugs).
// Between those a plug's jitter leaves a minute without a sample now and
// then: two minutes between samples, no gap. A minute the hub did not hear
// whole has no sample, so the broker away for a minute takes two minutes or
// more: three minutes or more between samples, a gap. Readings every 15
// minutes may lose one report (30 minutes) without a gap. The floor is the
// threshold of minute samples, so that finer ones (the hub's 5 s samples)
// do not show a plug's silences between its reports as gaps. Each calendar
// day is judged by its own samples, as a graph screen shows it: a day of
// 15-minute readings in a week of 1-minute readings has no gaps.
constexpr double gapIntervalFactor = 2.5;
constexpr double shortestGapSeconds = gapIntervalFactor * 60;

/// The usual time between consecutive samples: the median of the steps
/// between the sorted distinct times (the mean of the middle two for an even
/// number of steps), so that a few long steps or bursts do not move it; a
/// time repeated is no step. 0 with fewer than two distinct times.
[[nodiscard]] double usualSampleInterval(std::vector<double> times);

/// How long a stretch without a sample must last to be a gap.
[[nodiscard]] double gapThreshold(double usualInterval);

/// The gaps within `window`: the stretches between consecutive samples, and
/// from the window's start to the first sample and from the last sample to
/// the window's end, that are longer than the threshold of the window's own
/// samples. A window without samples is one gap when it is longer than the
/// shortest gap. `times` may come in any order; those outside the window
/// are not looked at. For a day still going on, end the window where the
/// data was asked for: what has not happened yet is not missing.
[[nodiscard]] std::vector<TimeSpan> findGaps(std::vector<double> times, TimeSpan window);

/// The gaps of one calendar day, and the usual interval its samples were
/// judged by.
struct DayGaps {
    /// The day, from its start (or the window's) to its end (or the window's).
    TimeSpan window;
    double usualInterval { 0 };
    std::vector<TimeSpan> gaps;
};

/// The gaps of each calendar day of `zone` that `window` touches, each day
/// judged alone by findGaps over its part of the window with the samples
/// from its start up to (not including) its end. A day with none is
/// listed too. `times` may come in any order.
[[nodiscard]] std::vector<DayGaps> findGapsByDay(
    const std::vector<double>& times, TimeSpan window, const platform::TimeZone& zone);

/// The hours without a block of each calendar day of `zone` that `window`
/// touches, by findMissingHours with the day's part of the window as what
/// is known; a day is counted from its midnight.
[[nodiscard]] std::vector<TimeSpan> findMissingHoursByDay(
    const std::vector<double>& blockStarts, TimeSpan window, const platform::TimeZone& zone);

/// The times of the readings lower than the reading before them in time:
/// where a register that only ever counts up went backwards, which only a
/// reset does.
[[nodiscard]] std::vector<double> findResets(std::vector<Reading> readings);

/// The clock hours of `day` (from its start, one every 3600 s, the last one
/// cut at its end) that had ended by `knownUntil` and in which no block
/// starts. An hour still going on is not missing yet.
[[nodiscard]] std::vector<TimeSpan> findMissingHours(
    const std::vector<double>& blockStarts, TimeSpan day, double knownUntil);

/// The sum of the spans' lengths.
[[nodiscard]] double totalLength(const std::vector<TimeSpan>& spans);

}
