#include "graphs/DataGaps.h"

#include <algorithm>
#include <cmath>

namespace hestio {

namespace {

    constexpr double hourSeconds = 3600;

    std::vector<double> sortedWithin(std::vector<double> times, TimeSpan window)
    {
        std::erase_if(times, [&](double t) { return !(t >= window.start && t <= window.end); });
        std::sort(times.begin(), times.end());
        return times;
    }

}

double usualSampleInterval(std::vector<double> times)
{
    std::erase_if(times, [](double t) { return !std::isfinite(t); });
    if (times.size() < 2)
        return 0;
    std::sort(times.begin(), times.end());
    std::vector<double> steps;
    steps.reserve(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    std::size_t middle = steps.size() / 2;
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(middle), steps.end());
    double upper = steps[middle];
    if (steps.size() % 2 == 1)
        return upper;
    double lower = *std::max_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2;
}

double gapThreshold(double usualInterval)
{
    return std::max(shortestGapSeconds, gapIntervalFactor * usualInterval);
}

std::vector<TimeSpan> findGaps(std::vector<double> times, TimeSpan window)
{
    std::vector<TimeSpan> gaps;
    if (!(window.end > window.start))
        return gaps;
    times = sortedWithin(std::move(times), window);
    double threshold = gapThreshold(usualSampleInterval(times));
    double previous = window.start;
    auto stretchTo = [&](double next) {
        if (next - previous > threshold)
            gaps.push_back({ previous, next });
        previous = next;
    };
    for (double t : times)
        stretchTo(t);
    stretchTo(window.end);
    return gaps;
}

std::vector<double> findResets(std::vector<Reading> readings)
{
    std::erase_if(readings, [](const Reading& r) { return !std::isfinite(r.time) || !std::isfinite(r.value); });
    std::stable_sort(
        readings.begin(), readings.end(), [](const Reading& a, const Reading& b) { return a.time < b.time; });
    std::vector<double> resets;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        if (readings[i].value < readings[i - 1].value)
            resets.push_back(readings[i].time);
    }
    return resets;
}

std::vector<TimeSpan> findMissingHours(const std::vector<double>& blockStarts, TimeSpan day, double knownUntil)
{
    std::vector<double> starts = sortedWithin(blockStarts, { day.start, day.end });
    std::vector<TimeSpan> missing;
    for (double hour = day.start; hour < day.end; hour += hourSeconds) {
        TimeSpan slot { hour, std::min(hour + hourSeconds, day.end) };
        if (slot.end > knownUntil)
            break;
        auto first = std::lower_bound(starts.begin(), starts.end(), slot.start);
        if (first == starts.end() || *first >= slot.end)
            missing.push_back(slot);
    }
    return missing;
}

double totalLength(const std::vector<TimeSpan>& spans)
{
    double total = 0;
    for (const auto& span : spans)
        total += span.length();
    return total;
}

}
