#include "graphs/DataGaps.h"

#include "platform/foundation/Calendar.h"

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

    /// The calendar days `window` touches, each cut to the window; the day
    /// a moment lies in runs from its midnight to the next one (a day and a
    /// half later lies in the next day, whatever its length).
    std::vector<TimeSpan> calendarDaysWithin(TimeSpan window, const platform::TimeZone& zone)
    {
        std::vector<TimeSpan> days;
        double start = window.start;
        while (start < window.end && std::isfinite(start)) {
            platform::Date midnight = platform::dateAtMidnight(platform::Date(start), zone);
            double next
                = platform::dateAtMidnight(midnight.addingTimeInterval(36 * 3600), zone).timeIntervalSince1970();
            if (!(next > start))
                break;
            days.push_back({ start, std::min(next, window.end) });
            start = next;
        }
        return days;
    }

    std::vector<double> dayTimes(const std::vector<double>& times, const TimeSpan& day, bool lastDay)
    {
        std::vector<double> within;
        for (double t : times)
            if (t >= day.start && (t < day.end || (lastDay && t == day.end)))
                within.push_back(t);
        return within;
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
        if (times[i] > times[i - 1])
            steps.push_back(times[i] - times[i - 1]);
    if (steps.empty())
        return 0;
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

std::vector<DayGaps> findGapsByDay(const std::vector<double>& times, TimeSpan window, const platform::TimeZone& zone)
{
    std::vector<DayGaps> days;
    std::vector<TimeSpan> spans = calendarDaysWithin(window, zone);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        // A sample at the window's very end is the last day's; one at a
        // midnight inside the window is the next day's.
        std::vector<double> within = dayTimes(times, spans[i], i + 1 == spans.size());
        double usual = usualSampleInterval(within);
        days.push_back({ spans[i], usual, findGaps(std::move(within), spans[i]) });
    }
    return days;
}

std::vector<TimeSpan> findMissingHoursByDay(
    const std::vector<double>& blockStarts, TimeSpan window, const platform::TimeZone& zone)
{
    std::vector<TimeSpan> missing;
    for (const TimeSpan& part : calendarDaysWithin(window, zone)) {
        // Hours count from the day's midnight, also in the window's first day.
        platform::Date midnight = platform::dateAtMidnight(platform::Date(part.start), zone);
        TimeSpan day { midnight.timeIntervalSince1970(),
            platform::dateAtMidnight(midnight.addingTimeInterval(36 * 3600), zone).timeIntervalSince1970() };
        for (const TimeSpan& hour : findMissingHours(dayTimes(blockStarts, day, false), day, part.end))
            if (hour.start >= part.start)
                missing.push_back(hour);
    }
    return missing;
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
