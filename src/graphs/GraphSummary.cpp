#include "graphs/GraphSummary.h"

#include "model/QuantityText.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/DateFormatter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace hestio::summary {

using platform::Date;

TimeSpan calendarDay(Date instant, const platform::TimeZone& zone)
{
    Date start = platform::dateAtMidnight(instant, zone);
    // A day and a half later lies within the next day, whether this one has
    // 23, 24 or 25 hours.
    Date end = platform::dateAtMidnight(start.addingTimeInterval(36 * 3600), zone);
    return { start.timeIntervalSince1970(), end.timeIntervalSince1970() };
}

std::string dayName(Date dayStart, Date now, const platform::TimeZone& zone)
{
    Date today = platform::dateAtMidnight(now, zone);
    Date shown = platform::dateAtMidnight(dayStart, zone);
    if (shown == today)
        return "Today";
    if (shown == platform::dateAtMidnight(today.addingTimeInterval(-1), zone))
        return "Yesterday";
    // The weekday and date as the device's locale orders and spells them,
    // like every other date and number of the line.
    platform::DateFormatter formatter;
    formatter.setDateFormatFromTemplate("EEEdMMM");
    formatter.setTimeZone(zone);
    return formatter.stringFromDate(shown);
}

std::string duration(double seconds)
{
    long minutes = std::lround(std::max(0.0, seconds) / 60);
    long hours = minutes / 60;
    minutes %= 60;
    if (hours > 0 && minutes > 0)
        return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
    if (hours > 0)
        return std::to_string(hours) + " h";
    return std::to_string(minutes) + " min";
}

std::string percentage(double value)
{
    return quantity::number(value, 1, platform::Locale::current()) + quantity::unitSpace + "%";
}

std::optional<Figures> figuresOf(std::vector<Reading> samples, const std::vector<TimeSpan>& gaps)
{
    std::erase_if(samples, [](const Reading& r) { return !std::isfinite(r.time) || !std::isfinite(r.value); });
    if (samples.empty())
        return std::nullopt;
    std::stable_sort(
        samples.begin(), samples.end(), [](const Reading& a, const Reading& b) { return a.time < b.time; });
    Figures figures { samples.front().value, samples.front().value, 0 };
    double sum = 0;
    double area = 0;
    double covered = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        figures.lowest = std::min(figures.lowest, samples[i].value);
        figures.highest = std::max(figures.highest, samples[i].value);
        sum += samples[i].value;
        if (i == 0)
            continue;
        const Reading& a = samples[i - 1];
        const Reading& b = samples[i];
        bool acrossGap = std::any_of(
            gaps.begin(), gaps.end(), [&](const TimeSpan& gap) { return gap.start <= a.time && gap.end >= b.time; });
        if (acrossGap)
            continue;
        area += (a.value + b.value) / 2 * (b.time - a.time);
        covered += b.time - a.time;
    }
    figures.average = covered > 0 ? area / covered : sum / static_cast<double>(samples.size());
    return figures;
}

std::string missingLine(double missingSeconds, const std::vector<double>& resets, const platform::TimeZone& zone)
{
    std::vector<std::string> parts;
    if (std::lround(missingSeconds / 60) > 0)
        parts.push_back(duration(missingSeconds) + " without data");
    if (resets.size() == 1) {
        platform::DateFormatter formatter;
        formatter.setTimeStyle(platform::DateFormatter::Style::Short);
        formatter.setTimeZone(zone);
        parts.push_back("meter reset at " + formatter.stringFromDate(Date(resets.front())));
    } else if (resets.size() > 1) {
        parts.push_back(std::to_string(resets.size()) + " meter resets");
    }
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

std::string line(const std::string& day, const std::string& figures, const std::string& missing)
{
    std::string text = day + ": " + figures;
    if (!missing.empty())
        text += "\n" + missing;
    return text;
}

}
