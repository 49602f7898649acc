#include "RealSuggestions.h"

#include <algorithm>
#include <cstdio>

namespace hestio::sim {

namespace {
    constexpr int64_t kLongestGapMs = 15 * kMinuteMs;

    std::string format(const char* pattern, const std::string& name, double first, double second, double third = 0)
    {
        char buffer[300];
        std::snprintf(buffer, sizeof buffer, pattern, name.c_str(), first, second, third);
        return buffer;
    }

    ProposedAction switchOff(int64_t deviceId)
    {
        return ProposedAction { deviceId, powerActionId(deviceId), 0 };
    }

    struct Run {
        int64_t fromMs;
        int64_t toMs;
    };

    /// Stretches drawing at least kRunWatts, each lasting until the first
    /// sample below it; a silence over 15 minutes ends one where it fell silent.
    std::vector<Run> runsOf(const std::vector<PowerSample>& samples)
    {
        std::vector<Run> runs;
        bool open = false;
        for (size_t i = 0; i < samples.size(); ++i) {
            int64_t at = samples[i].timestampMs;
            bool gap = i > 0 && at - samples[i - 1].timestampMs > kLongestGapMs;
            if (samples[i].watts >= kRunWatts) {
                if (!open || gap)
                    runs.push_back(Run { at, at });
                else
                    runs.back().toMs = at;
                open = true;
            } else {
                if (open && !gap)
                    runs.back().toMs = at;
                open = false;
            }
        }
        return runs;
    }
}

int64_t lastNightStart(int64_t nowMs, int64_t offsetMs)
{
    int64_t midnight = floorTo(nowMs + offsetMs, kDayMs) - offsetMs;
    return midnight + 5 * kHourMs <= nowMs ? midnight : midnight - kDayMs;
}

std::optional<Suggestion> standbySuggestion(const std::string& name, int64_t deviceId,
    const std::vector<PowerSample>& night, int64_t nightFromMs, int64_t nightToMs)
{
    if (night.empty() || night.front().timestampMs - nightFromMs > kLongestGapMs
        || nightToMs - night.back().timestampMs > kLongestGapMs)
        return std::nullopt;
    double sum = 0;
    for (size_t i = 0; i < night.size(); ++i) {
        if (night[i].watts < kStandbyWatts)
            return std::nullopt;
        if (i > 0 && night[i].timestampMs - night[i - 1].timestampMs > kLongestGapMs)
            return std::nullopt;
        sum += night[i].watts;
    }
    double mean = sum / static_cast<double>(night.size());
    // Five hours a night, every night of a year.
    double kilowattHoursAYear = mean * 5 * 365 / 1000;
    return Suggestion { deviceId * 10 + kStandbyRule, deviceId,
        format("The %s draws %.1f W all night. Switching it off at night saves about %.0f kWh a year.", name, mean,
            kilowattHoursAYear),
        switchOff(deviceId) };
}

std::optional<Suggestion> longRunSuggestion(
    const std::string& name, int64_t deviceId, const std::vector<PowerSample>& samples, int64_t nowMs)
{
    std::vector<Run> runs = runsOf(samples);
    if (runs.size() < 4 || samples.empty() || samples.back().watts < kRunWatts
        || nowMs - samples.back().timestampMs > kLongestGapMs)
        return std::nullopt;
    Run current = runs.back();
    runs.pop_back();
    std::vector<int64_t> lengths;
    for (const auto& run : runs)
        lengths.push_back(run.toMs - run.fromMs);
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<long>(lengths.size() / 2), lengths.end());
    int64_t usual = lengths[lengths.size() / 2];
    int64_t length = current.toMs - current.fromMs;
    if (length <= 3 * usual || length - usual < 30 * kMinuteMs)
        return std::nullopt;
    double watts = samples.back().watts;
    // What the time beyond its usual run cost, at the draw it has now.
    double kilowattHours = watts * static_cast<double>(length - usual) / kHourMs / 1000;
    return Suggestion { deviceId * 10 + kLongRunRule, deviceId,
        format("The %s has been on for %.0f minutes; it usually runs %.0f. Switching it off now saves about %.2f "
               "kWh.",
            name, static_cast<double>(length / kMinuteMs), static_cast<double>(usual / kMinuteMs), kilowattHours),
        switchOff(deviceId) };
}

}
