#pragma once

#include "Store.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace hestio::sim {

constexpr int64_t kMinuteMs = 60'000;
constexpr int64_t kHourMs = 3'600'000;
constexpr int64_t kDayMs = 86'400'000;

/// The one range action a kind of device may offer besides switching.
struct RangeAction {
    const char* name;
    int lowest;
    int highest;
    int initial;
};

/// The range action of a kind, or none for switch-only devices.
const RangeAction* rangeActionOf(std::string_view kind);
/// What a device of this kind draws while switched on and idle; 0 for none.
double standbyWatts(std::string_view kind);

/// The states of one device through time, from its recorded changes.
class StateTimeline {
public:
    /// `changes` ascending by time; the first one is the device's initial state.
    explicit StateTimeline(std::vector<StateChange> changes);
    /// The state in force at `atMs`; a device with no change at all is on at level 0.
    StateChange at(int64_t atMs) const;

private:
    std::vector<StateChange> m_changes;
};

struct PowerSample {
    int64_t timestampMs;
    double watts;
    /// The meter's energy register at the sample (kWh since it last started
    /// from zero), when asked for and the meter had started counting.
    std::optional<double> meterReadingKWh {};
    bool operator==(const PowerSample&) const = default;
};

/// Whether the meter sends the sample of the minute at `atMs`: not after it
/// stopped, not strictly within one of its outages.
bool reportsAt(const DeviceRow& device, int64_t atMs);

struct BatteryReading {
    int64_t timestampMs;
    double percentage;
    double voltage;
    bool charging;
};

struct EnergyBlock {
    int64_t fromMs;
    double kilowattHours;
};

/// The simulated household's physics: how much each device draws in each
/// minute, and the home battery's state. Everything is a pure function of the
/// seed, the device, its state and the time, so the same question always gets
/// the same answer and any window can be computed without history.
class PowerModel {
public:
    /// `utcOffsetMinutes`: the household's standard offset, which places the
    /// daily routines on its local clock.
    PowerModel(uint64_t seed, int utcOffsetMinutes);

    /// Draw during the minute that starts at `minuteMs` (a multiple of a minute).
    double watts(const DeviceRow& device, const StateChange& state, int64_t minuteMs) const;
    BatteryReading battery(int64_t minuteMs) const;

    /// One sample per minute with fromMs <= t <= toMs and t <= nowMs, for the
    /// minutes the meter reports (see reportsAt), ascending.
    std::vector<PowerSample> samples(
        const DeviceRow& device, const StateTimeline& timeline, int64_t fromMs, int64_t toMs, int64_t nowMs) const;
    /// Fills in each sample's meter reading: the energy of every minute from
    /// the register's latest start up to the sample, whether or not the meter
    /// sent those minutes (it measures while it cannot send). `samples`
    /// ascending.
    void addMeterReadings(
        const DeviceRow& device, const StateTimeline& timeline, std::vector<PowerSample>& samples) const;
    /// The latest sample: at `nowMs` in the state in force then, or the last
    /// one the meter sent before it stopped or went offline; none for a meter
    /// that never reported.
    std::optional<PowerSample> current(const DeviceRow& device, const StateTimeline& timeline, int64_t nowMs) const;
    /// Energy per local clock hour starting in [fromMs, toMs) and not after
    /// nowMs: the sum of the minute samples of that hour (watt-minutes) in kWh.
    /// An hour in which no meter sent a sample has no block.
    std::vector<EnergyBlock> hourlyEnergy(const std::vector<DeviceRow>& devices,
        const std::map<int64_t, StateTimeline>& timelines, int64_t fromMs, int64_t toMs, int64_t nowMs) const;
    std::vector<BatteryReading> batteryReadings(int64_t fromMs, int64_t toMs, int64_t nowMs) const;

    int utcOffsetMinutes() const { return m_offsetMinutes; }
    /// Local minute of the day (0..1439) and day number since 1970 of a UTC instant.
    int localMinuteOfDay(int64_t ms) const;
    int64_t localDay(int64_t ms) const;

private:
    double noise(int64_t deviceId, int64_t minuteMs) const;
    double unit(uint64_t a, uint64_t b) const;
    double activeWatts(const DeviceRow& device, const StateChange& state, int64_t minuteMs) const;

    uint64_t m_seed;
    int m_offsetMinutes;
};

int64_t floorTo(int64_t ms, int64_t step);
int64_t ceilTo(int64_t ms, int64_t step);

}
