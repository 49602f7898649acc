#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace hestio {

// Where an export leaves data out on purpose: stretches of a line without
// samples, and hours of an hourly series without a block.
//
// FIXME: the graph screens are to mark missing data too; once they have
// their own finder, this should call it, so that a file and the screen never
// disagree about what is missing.

/// The shortest stretch without samples that counts as missing data: ten
/// minutes, or five usual intervals when the samples are further apart.
inline constexpr double minimumGapSeconds = 600;
inline constexpr double gapIntervals = 5;

/// The typical spacing of samples (sorted, in seconds): the median of the
/// differences between neighbours that differ at all; none with fewer than
/// two distinct times.
std::optional<double> usualSampleInterval(const std::vector<std::int64_t>& sortedSeconds);

/// The longest stretch without a sample that is still no gap.
double gapThreshold(std::optional<double> usualInterval);

/// A stretch longer than the threshold in which no sample lies: from the
/// last sample before it (or from the range's start) to the next sample
/// (or the range's end).
struct SampleGap {
    double start;
    double end;
    /// The range began without samples (no sample lies before the gap).
    bool atRangeStart;
};

/// The gaps of sorted sample times within [rangeStart, rangeEnd]. Exactly
/// the threshold apart is no gap; one second more is.
std::vector<SampleGap> gapsBetweenSamples(
    const std::vector<std::int64_t>& sortedSeconds, double rangeStart, double rangeEnd);

/// The starts of the whole hours from `rangeStart` (counted in steps of an
/// hour, so whole-hour clock changes keep them on the clock's hours) that end
/// by `rangeEnd` and hold no sample time.
std::vector<std::int64_t> hoursWithoutSamples(
    const std::vector<std::int64_t>& sortedSeconds, double rangeStart, double rangeEnd);

}
