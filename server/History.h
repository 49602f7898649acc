#pragma once

#include "Database.h"
#include "PowerModel.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

struct HistorySettings {
    /// Raw samples (at most one per device per kRawStepMs) are kept this long.
    int64_t rawKeepMs { 35 * kDayMs };
    /// Per-minute averages are kept this long.
    int64_t minuteKeepMs { 400 * kDayMs };
};

/// The readings of a real household's plugs, kept in the hub's database: raw
/// samples, per-minute averages, and energy per quarter hour worked out from
/// each plug's own counter. Readings gather in memory and reach the file in
/// one transaction every few seconds, so the broker's pace never waits on
/// the disk. Safe to use from several threads.
class History {
public:
    static constexpr int64_t kRawStepMs = 5000;
    static constexpr int64_t kQuarterMs = 15 * kMinuteMs;
    /// A counter step across a longer silence is not spread over it: the
    /// silence stays without energy and the step lands where the plug spoke again.
    static constexpr int64_t kLongestSpreadMs = 15 * kMinuteMs;
    static constexpr int64_t kFlushEveryMs = 5000;
    /// Windows of samples up to this long are served raw; longer ones as
    /// per-minute averages, which is all a graph of them can show.
    static constexpr int64_t kLongestRawWindowMs = 6 * kHourMs;

    History(const std::string& path, HistorySettings settings);

    /// One reading of a device at `atMs`; either value may be missing.
    void record(int64_t deviceId, int64_t atMs, std::optional<double> watts, std::optional<double> counterWh);
    /// Writes what gathered in memory (and, once an hour, forgets what is older than kept).
    void flush(int64_t nowMs);

    /// Samples of one device in [fromMs, toMs], ascending, each with the
    /// plug's counter (kWh) when it sent one: raw for short windows, minute
    /// averages for long ones and for what is older than the raw samples kept.
    std::vector<PowerSample> samples(int64_t deviceId, int64_t fromMs, int64_t toMs, int64_t nowMs);
    /// Energy of the devices together per clock hour of `zone` starting in
    /// [fromMs, toMs); an hour without any energy record has no block.
    std::vector<EnergyBlock> hourlyEnergy(
        const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone, int64_t nowMs);

private:
    struct Average {
        int64_t atMs { -1 };
        double sum {};
        int count {};
        std::optional<double> counterWh;
    };
    struct Counter {
        int64_t atMs {};
        double wh {};
        /// The values seen last, to know an old copy that comes late.
        std::deque<double> recent;
        bool dirty { false };
    };
    struct Pending {
        Average raw;
        Average minute;
        Counter counter;
        bool hasCounter { false };
    };

    void addToAverage(int64_t deviceId, Average& average, int64_t slotMs, std::optional<double> watts,
        std::optional<double> counterWh, bool raw);
    void writeAverage(int64_t deviceId, const Average& average, bool raw);
    void countEnergy(int64_t deviceId, Pending& pending, int64_t atMs, double counterWh);
    void spread(int64_t deviceId, double wh, int64_t fromMs, int64_t toMs);
    void flushLocked(int64_t nowMs);

    std::mutex m_mutex;
    Database m_db;
    HistorySettings m_settings;
    std::map<int64_t, Pending> m_pending;
    std::map<std::pair<int64_t, int64_t>, double> m_quarters;
    std::vector<std::pair<int64_t, Average>> m_finishedRaw;
    std::vector<std::pair<int64_t, Average>> m_finishedMinutes;
    int64_t m_lastFlushMs { 0 };
    int64_t m_lastPruneMs { 0 };
};

}
