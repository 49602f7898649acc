#include "PowerModel.h"

#include <algorithm>
#include <cmath>

namespace hestio::sim {

namespace {
    uint64_t mix(uint64_t x)
    {
        x += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }

    bool within(int minute, int start, int end)
    {
        return minute >= start && minute < end;
    }

    constexpr RangeAction kBrightness { "Brightness", 0, 100, 80 };
    constexpr RangeAction kTemperature { "Temperature", 10, 28, 21 };
    constexpr RangeAction kChargeRate { "Charge rate", 6, 32, 16 };
}

int64_t floorTo(int64_t ms, int64_t step)
{
    int64_t q = ms / step;
    if (ms % step != 0 && ms < 0)
        --q;
    return q * step;
}

int64_t ceilTo(int64_t ms, int64_t step)
{
    int64_t f = floorTo(ms, step);
    return f == ms ? f : f + step;
}

bool reportsAt(const DeviceRow& device, int64_t atMs)
{
    if (device.reportsUntilMs && atMs > *device.reportsUntilMs)
        return false;
    return std::none_of(device.outages.begin(), device.outages.end(),
        [&](const MeterOutage& outage) { return atMs > outage.fromMs && atMs < outage.toMs; });
}

const RangeAction* rangeActionOf(std::string_view kind)
{
    if (kind == "lamp")
        return &kBrightness;
    if (kind == "heater")
        return &kTemperature;
    if (kind == "ev-charger")
        return &kChargeRate;
    return nullptr;
}

double standbyWatts(std::string_view kind)
{
    if (kind == "tv")
        return 9.0;
    if (kind == "ev-charger")
        return 3.0;
    if (kind == "computer")
        return 2.5;
    if (kind == "washer")
        return 1.5;
    if (kind == "dishwasher")
        return 1.2;
    if (kind == "heater")
        return 1.0;
    return 0.0;
}

StateTimeline::StateTimeline(std::vector<StateChange> changes)
    : m_changes(std::move(changes))
{
}

StateChange StateTimeline::at(int64_t atMs) const
{
    auto after = std::upper_bound(
        m_changes.begin(), m_changes.end(), atMs, [](int64_t t, const StateChange& c) { return t < c.atMs; });
    if (after == m_changes.begin())
        return m_changes.empty() ? StateChange { atMs, true, 0 } : m_changes.front();
    return *(after - 1);
}

PowerModel::PowerModel(uint64_t seed, int utcOffsetMinutes)
    : m_seed(seed)
    , m_offsetMinutes(utcOffsetMinutes)
{
}

double PowerModel::unit(uint64_t a, uint64_t b) const
{
    return static_cast<double>(mix(mix(m_seed ^ mix(a)) ^ b) >> 11) / 9007199254740992.0;
}

double PowerModel::noise(int64_t deviceId, int64_t minuteMs) const
{
    return unit(static_cast<uint64_t>(deviceId), static_cast<uint64_t>(minuteMs)) * 2.0 - 1.0;
}

int PowerModel::localMinuteOfDay(int64_t ms) const
{
    int64_t local = floorTo(ms, kMinuteMs) / kMinuteMs + m_offsetMinutes;
    int64_t minute = local % 1440;
    return static_cast<int>(minute < 0 ? minute + 1440 : minute);
}

int64_t PowerModel::localDay(int64_t ms) const
{
    int64_t local = floorTo(ms, kMinuteMs) / kMinuteMs + m_offsetMinutes;
    return floorTo(local, 1440) / 1440;
}

double PowerModel::activeWatts(const DeviceRow& device, const StateChange& state, int64_t minuteMs) const
{
    const std::string& kind = device.kind;
    int t = localMinuteOfDay(minuteMs);
    int64_t day = localDay(minuteMs);
    int weekday = static_cast<int>(((day + 4) % 7 + 7) % 7); // 0 = Sunday; 1970-01-01 was a Thursday
    auto dayChance
        = [&](int64_t d) { return unit(static_cast<uint64_t>(device.id) * 7919u, static_cast<uint64_t>(d)); };
    int64_t absoluteMinute = floorTo(minuteMs, kMinuteMs) / kMinuteMs;

    if (kind == "fridge" || kind == "freezer") {
        int period = kind == "fridge" ? 47 : 53;
        int running = kind == "fridge" ? 17 : 20;
        int64_t phase = (absoluteMinute + device.id * 13) % period;
        if (phase < running)
            return kind == "fridge" ? 115.0 : 95.0;
        return kind == "fridge" ? 4.0 : 3.0;
    }
    if (kind == "kettle") {
        if (within(t, 7 * 60 + 5, 7 * 60 + 8) || within(t, 12 * 60 + 30, 12 * 60 + 33)
            || within(t, 18 * 60 + 40, 18 * 60 + 43))
            return 2200.0;
        return 0.0;
    }
    if (kind == "lamp") {
        double rated = 40.0 + static_cast<double>(device.id % 3) * 10.0;
        double lit = state.level <= 0 ? 0.0 : rated * (0.1 + 0.9 * state.level / 100.0);
        if (device.leftOn || within(t, 6 * 60 + 30, 7 * 60 + 30) || within(t, 17 * 60, 23 * 60 + 30))
            return lit;
        return 0.0;
    }
    if (kind == "tv") {
        if (within(t, 7 * 60, 8 * 60) || within(t, 19 * 60, 23 * 60))
            return 110.0;
        return standbyWatts(kind);
    }
    if (kind == "router")
        return 11.0;
    if (kind == "heater") {
        if (!within(t, 6 * 60, 8 * 60 + 30) && !within(t, 17 * 60 + 30, 23 * 60))
            return standbyWatts(kind);
        double duty = std::clamp((state.level - 12) / 14.0, 0.0, 1.0);
        int64_t phase = absoluteMinute % 20;
        return phase < static_cast<int64_t>(std::lround(duty * 20.0)) ? 1800.0 : standbyWatts(kind);
    }
    if (kind == "washer") {
        int start = 10 * 60;
        if (dayChance(day) < 0.4 && within(t, start, start + 120)) {
            int m = t - start;
            return m < 20 ? 2000.0 : m < 100 ? 250.0 : m < 115 ? 550.0 : 100.0;
        }
        return standbyWatts(kind);
    }
    if (kind == "dishwasher") {
        int start = 20 * 60 + 30;
        if (dayChance(day) < 0.5 && within(t, start, start + 90)) {
            int m = t - start;
            return m < 25 ? 1800.0 : m < 70 ? 150.0 : 1500.0;
        }
        return standbyWatts(kind);
    }
    if (kind == "ev-charger") {
        // A charge starts at 23:00 on most days and may run past midnight.
        auto sessionLength
            = [&](int64_t d) { return dayChance(d) < 0.8 ? 120 + static_cast<int>(dayChance(d + 100000) * 180.0) : 0; };
        bool charging = (t >= 23 * 60 && t - 23 * 60 < sessionLength(day)) || (t + 60 < sessionLength(day - 1));
        return charging ? 230.0 * state.level : standbyWatts(kind);
    }
    if (kind == "computer") {
        bool workday = weekday >= 1 && weekday <= 5;
        return workday && within(t, 9 * 60, 17 * 60 + 30) ? 95.0 : standbyWatts(kind);
    }
    return 0.0;
}

double PowerModel::watts(const DeviceRow& device, const StateChange& state, int64_t minuteMs) const
{
    if (!device.meterPluggedIn || !state.switchedOn)
        return 0.0;
    double base = activeWatts(device, state, minuteMs);
    if (base <= 0.0)
        return 0.0;
    double w = base * (1.0 + 0.03 * noise(device.id, minuteMs));
    return std::round(w * 100.0) / 100.0;
}

std::vector<PowerSample> PowerModel::samples(
    const DeviceRow& device, const StateTimeline& timeline, int64_t fromMs, int64_t toMs, int64_t nowMs) const
{
    std::vector<PowerSample> out;
    int64_t last = std::min(toMs, nowMs);
    if (device.reportsUntilMs)
        last = std::min(last, *device.reportsUntilMs);
    int64_t first = ceilTo(fromMs, kMinuteMs);
    if (last < first)
        return out;
    out.reserve(static_cast<size_t>((last - first) / kMinuteMs + 1));
    for (int64_t t = first; t <= last; t += kMinuteMs) {
        if (reportsAt(device, t))
            out.push_back(PowerSample { t, watts(device, timeline.at(t), t) });
    }
    return out;
}

void PowerModel::addMeterReadings(
    const DeviceRow& device, const StateTimeline& timeline, std::vector<PowerSample>& samples) const
{
    const auto& starts = device.registerStartsMs;
    std::optional<int64_t> counting;
    int64_t cursor = 0;
    double kilowattHours = 0.0;
    for (auto& sample : samples) {
        auto after = std::upper_bound(starts.begin(), starts.end(), sample.timestampMs);
        if (after == starts.begin())
            continue;
        int64_t start = *(after - 1);
        if (counting != start) {
            counting = start;
            cursor = ceilTo(start, kMinuteMs);
            kilowattHours = 0.0;
        }
        for (; cursor < sample.timestampMs; cursor += kMinuteMs)
            kilowattHours += watts(device, timeline.at(cursor), cursor) / 60.0 / 1000.0;
        sample.meterReadingKWh = kilowattHours;
    }
}

std::optional<PowerSample> PowerModel::current(
    const DeviceRow& device, const StateTimeline& timeline, int64_t nowMs) const
{
    if (reportsAt(device, nowMs))
        return PowerSample { nowMs, watts(device, timeline.at(nowMs), floorTo(nowMs, kMinuteMs)) };
    // The last minute sent: before the meter stopped, and before any outage
    // that minute falls in.
    int64_t t = floorTo(device.reportsUntilMs ? std::min(*device.reportsUntilMs, nowMs) : nowMs, kMinuteMs);
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& outage : device.outages) {
            if (t > outage.fromMs && t < outage.toMs) {
                if (outage.fromMs == INT64_MIN)
                    return std::nullopt;
                t = floorTo(outage.fromMs, kMinuteMs);
                moved = true;
            }
        }
    }
    return PowerSample { t, watts(device, timeline.at(t), t) };
}

std::vector<EnergyBlock> PowerModel::hourlyEnergy(const std::vector<DeviceRow>& devices,
    const std::map<int64_t, StateTimeline>& timelines, int64_t fromMs, int64_t toMs, int64_t nowMs) const
{
    // Local clock hours: UTC hours shifted by the part of the offset below an hour.
    int64_t shift = static_cast<int64_t>(((m_offsetMinutes % 60) + 60) % 60) * kMinuteMs;
    int64_t firstHour = ceilTo(fromMs + shift, kHourMs) - shift;
    std::vector<EnergyBlock> blocks;
    static const StateTimeline kNoChanges({});
    for (int64_t hour = firstHour; hour < toMs && hour <= nowMs; hour += kHourMs) {
        double wattMinutes = 0.0;
        bool reported = false;
        for (const auto& device : devices) {
            auto found = timelines.find(device.id);
            const StateTimeline& timeline = found == timelines.end() ? kNoChanges : found->second;
            for (const auto& sample : samples(device, timeline, hour, hour + kHourMs - 1, nowMs)) {
                wattMinutes += sample.watts;
                reported = true;
            }
        }
        if (reported)
            blocks.push_back(EnergyBlock { hour, wattMinutes / 60.0 / 1000.0 });
    }
    return blocks;
}

BatteryReading PowerModel::battery(int64_t minuteMs) const
{
    int t = localMinuteOfDay(minuteMs);
    int64_t day = localDay(minuteMs);
    auto low = [&](int64_t d) { return 18.0 + 12.0 * unit(0xBA77E21u, static_cast<uint64_t>(d)); };
    auto high = [&](int64_t d) { return 82.0 + 16.0 * unit(0xC4A26Eu, static_cast<uint64_t>(d)); };
    constexpr int chargeStart = 9 * 60;
    constexpr int chargeEnd = 16 * 60;
    double percentage;
    bool charging = t >= chargeStart && t < chargeEnd;
    if (charging) {
        double x = (t - chargeStart) / static_cast<double>(chargeEnd - chargeStart);
        double eased = x * x * (3.0 - 2.0 * x);
        percentage = low(day) + (high(day) - low(day)) * eased;
    } else {
        int64_t fullDay = t >= chargeEnd ? day : day - 1;
        int elapsed = t >= chargeEnd ? t - chargeEnd : t + 1440 - chargeEnd;
        double span = 1440.0 - (chargeEnd - chargeStart);
        percentage = high(fullDay) - (high(fullDay) - low(fullDay + 1)) * (elapsed / span);
    }
    double jitter = 2.0 * unit(0xB4u, static_cast<uint64_t>(minuteMs)) - 1.0;
    percentage = std::clamp(percentage + 0.2 * jitter, 0.0, 100.0);
    double voltage = 48.0 + 5.0 * percentage / 100.0 + (charging ? 0.6 : 0.0) + 0.05 * jitter;
    return BatteryReading { minuteMs, std::round(percentage * 100.0) / 100.0, std::round(voltage * 100.0) / 100.0,
        charging };
}

std::vector<BatteryReading> PowerModel::batteryReadings(int64_t fromMs, int64_t toMs, int64_t nowMs) const
{
    std::vector<BatteryReading> out;
    int64_t last = floorTo(std::min(toMs, nowMs), kMinuteMs);
    for (int64_t t = ceilTo(fromMs, kMinuteMs); t <= last; t += kMinuteMs)
        out.push_back(battery(t));
    return out;
}

}
