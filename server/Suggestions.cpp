#include "Suggestions.h"

#include <cstdio>

namespace hestio::sim {

namespace {
    std::string format(const char* pattern, const std::string& name, double number)
    {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, pattern, name.c_str(), number);
        return buffer;
    }
}

std::optional<Suggestion> suggestionWithId(int64_t id, const DeviceRow& device)
{
    if (id / 10 != device.id)
        return std::nullopt;
    const ProposedAction switchOff { device.id, powerActionId(device.id), 0 };
    switch (id % 10) {
    case 1:
        if (device.kind == "heater" || standbyWatts(device.kind) < 2.0)
            return std::nullopt;
        return Suggestion { id, device.id, {}, switchOff };
    case 2:
        if (device.kind != "lamp")
            return std::nullopt;
        return Suggestion { id, device.id, {}, switchOff };
    case 3:
        if (device.kind != "heater")
            return std::nullopt;
        return Suggestion { id, device.id, {}, ProposedAction { device.id, rangeActionId(device.id), 20 } };
    case 4:
        if (device.kind != "washer")
            return std::nullopt;
        return Suggestion { id, device.id, {}, std::nullopt };
    case 5: // a real plug's standby all night
    case 6: // a real plug on far longer than its usual runs
        if (device.kind != "plug")
            return std::nullopt;
        return Suggestion { id, device.id, {}, switchOff };
    default:
        return std::nullopt;
    }
}

std::vector<Suggestion> deriveSuggestions(const PowerModel& model, const std::vector<DeviceRow>& devices,
    const std::map<int64_t, StateTimeline>& timelines, int64_t nowMs)
{
    std::vector<Suggestion> out;
    int64_t end = floorTo(nowMs, kMinuteMs);
    int64_t start = end - kDayMs + kMinuteMs;
    for (const auto& device : devices) {
        if (!device.meterPluggedIn || device.reportsUntilMs || !reportsAt(device, nowMs))
            continue;
        auto found = timelines.find(device.id);
        if (found == timelines.end())
            continue;
        const StateTimeline& timeline = found->second;
        StateChange now = timeline.at(nowMs);
        if (!now.switchedOn)
            continue;

        double standby = standbyWatts(device.kind);
        int standbyMinutes = 0;
        int daylightMinutesLit = 0;
        double wattMinutes = 0.0;
        double daylightWattMinutes = 0.0;
        for (const auto& sample : model.samples(device, timeline, start, end, nowMs)) {
            wattMinutes += sample.watts;
            if (standby > 0 && sample.watts > 0 && sample.watts < standby * 1.5)
                ++standbyMinutes;
            int minute = model.localMinuteOfDay(sample.timestampMs);
            if (device.kind == "lamp" && sample.watts > 0 && minute >= 9 * 60 && minute < 16 * 60) {
                ++daylightMinutesLit;
                daylightWattMinutes += sample.watts;
            }
        }

        if (device.kind != "heater" && standby >= 2.0 && standbyMinutes >= 10 * 60) {
            out.push_back(Suggestion { device.id * 10 + 1, device.id,
                format("The %s draws about %.1f W on standby. Switch it off at the meter when it is not in use.",
                    device.name, standby),
                ProposedAction { device.id, powerActionId(device.id), 0 } });
        }
        if (daylightMinutesLit >= 120) {
            out.push_back(Suggestion { device.id * 10 + 2, device.id,
                format("The %s has been left on during the day. Switching it off saves about %.2f kWh a day.",
                    device.name, daylightWattMinutes / 60000.0),
                ProposedAction { device.id, powerActionId(device.id), 0 } });
        }
        if (device.kind == "heater" && now.level > 21) {
            out.push_back(Suggestion { device.id * 10 + 3, device.id,
                format("The %s is set to %.0f. Setting it to 20 saves about a tenth of its energy.", device.name,
                    static_cast<double>(now.level)),
                ProposedAction { device.id, rangeActionId(device.id), 20 } });
        }
        if (device.kind == "washer" && wattMinutes / 60000.0 >= 0.5) {
            out.push_back(Suggestion { device.id * 10 + 4, device.id,
                format("The %s used %.1f kWh today. Washing at 30 degrees instead of 40 uses about 40%% less.",
                    device.name, wattMinutes / 60000.0),
                std::nullopt });
        }
    }
    return out;
}

}
