#include "graphs/ExportGaps.h"

#include <algorithm>
#include <cmath>

namespace hestio {

std::optional<double> usualSampleInterval(const std::vector<std::int64_t>& sortedSeconds)
{
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < sortedSeconds.size(); ++i)
        if (sortedSeconds[i] > sortedSeconds[i - 1])
            steps.push_back(sortedSeconds[i] - sortedSeconds[i - 1]);
    if (steps.empty())
        return std::nullopt;
    // The lower median: a few long pauses or bursts do not move it.
    auto middle = steps.begin() + static_cast<std::ptrdiff_t>((steps.size() - 1) / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return static_cast<double>(*middle);
}

double gapThreshold(std::optional<double> usualInterval)
{
    return std::max(minimumGapSeconds, gapIntervals * usualInterval.value_or(0));
}

std::vector<SampleGap> gapsBetweenSamples(
    const std::vector<std::int64_t>& sortedSeconds, double rangeStart, double rangeEnd)
{
    double threshold = gapThreshold(usualSampleInterval(sortedSeconds));
    std::vector<SampleGap> gaps;
    double previous = rangeStart;
    bool atStart = true;
    for (std::int64_t seconds : sortedSeconds) {
        auto time = static_cast<double>(seconds);
        if (time < rangeStart || time > rangeEnd)
            continue;
        if (time - previous > threshold)
            gaps.push_back({ previous, time, atStart });
        previous = time;
        atStart = false;
    }
    if (rangeEnd - previous > threshold)
        gaps.push_back({ previous, rangeEnd, atStart });
    return gaps;
}

std::vector<std::int64_t> hoursWithoutSamples(
    const std::vector<std::int64_t>& sortedSeconds, double rangeStart, double rangeEnd)
{
    std::vector<std::int64_t> empty;
    auto sample = sortedSeconds.begin();
    for (auto hour = static_cast<std::int64_t>(std::ceil(rangeStart)); static_cast<double>(hour + 3600) <= rangeEnd;
         hour += 3600) {
        sample = std::lower_bound(sample, sortedSeconds.end(), hour);
        if (sample == sortedSeconds.end() || *sample >= hour + 3600)
            empty.push_back(hour);
    }
    return empty;
}

}
