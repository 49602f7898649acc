#pragma once

#include "Database.h"
#include "PowerModel.h"
#include "SampleBlock.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace hestio::sim {

struct HistorySettings {
    /// Raw samples (at most one per device per kRawStepMs) are kept this long.
    int64_t rawKeepMs { 35 * kDayMs };
    /// Per-minute averages are kept this long.
    int64_t minuteKeepMs { 400 * kDayMs };
};

/// The readings of a real household's plugs, kept in the hub's database: raw
/// samples, per-minute averages (both packed into blocks, see SampleBlock),
/// and energy per quarter hour worked out from each plug's own counter. Readings gather in memory and reach the file in
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
    /// The stretch one stored block of raw samples, or of minute averages, holds.
    static constexpr int64_t kRawBlockMs = 15 * kMinuteMs;
    static constexpr int64_t kMinuteBlockMs = kHourMs;

    History(const std::string& path, HistorySettings settings);

    /// One reading of a device at `atMs`; either value may be missing.
    void record(int64_t deviceId, int64_t atMs, std::optional<double> watts, std::optional<double> counterWh);
    /// Writes what gathered in memory (and, once an hour, forgets what is older than kept).
    void flush(int64_t nowMs);
    /// The hub lost the broker at `atMs`: what it heard of the step under way
    /// (of every device, raw and per minute) is dropped, as the step was not
    /// heard whole.
    void hearingLost(int64_t atMs);
    /// The broker is back at `atMs`: readings in the step under way are not
    /// kept, for the same reason; from the next one on they are again. So the
    /// stretch the hub did not hear stays without samples, and a graph shows
    /// it missing, however short it was. Nothing without a loss before it.
    void hearingAgain(int64_t atMs);

    /// Samples of one device in [fromMs, toMs], ascending, each with the
    /// plug's counter (kWh) when it sent one: raw for short windows, minute
    /// averages for long ones and for what is older than the raw samples kept.
    std::vector<PowerSample> samples(int64_t deviceId, int64_t fromMs, int64_t toMs, int64_t nowMs);
    /// The newest raw sample kept of the device, if any.
    std::optional<PowerSample> lastSample(int64_t deviceId, int64_t nowMs);
    /// Energy of the devices together per clock hour of `zone` starting in
    /// [fromMs, toMs); an hour without any energy record has no block.
    std::vector<EnergyBlock> hourlyEnergy(
        const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone, int64_t nowMs);

private:
    /// The samples of one kind: raw (kRawStepMs, kept by rawKeepMs) or
    /// per-minute averages.
    enum Kind { Raw = 0, Minutes = 1 };
    struct Average {
        int64_t atMs { -1 };
        double sum {};
        int count {};
        std::optional<double> counterWh;
    };
    /// Samples gathering for one device and kind: the block they fill, and
    /// the average of the step going on now.
    struct Series {
        Average open;
        std::optional<SampleBlock> block;
        bool dirty { false };
    };
    struct Counter {
        int64_t atMs {};
        double wh {};
        /// The values seen last, to know an old copy that comes late.
        std::deque<double> recent;
        bool dirty { false };
    };
    struct Pending {
        Series series[2];
        Counter counter;
        bool hasCounter { false };
    };

    static int64_t stepOf(Kind kind);
    static int64_t blockOf(Kind kind);
    void addToSeries(
        int64_t deviceId, Kind kind, Series& series, int64_t atMs, double watts, std::optional<double> counterWh);
    void place(int64_t deviceId, Kind kind, Series& series, const Average& average);
    /// The block of `kind` starting at `startMs` as stored (or about to be).
    SampleBlock storedBlock(Kind kind, int64_t deviceId, int64_t startMs);
    void readSeries(Kind kind, int64_t deviceId, int64_t fromMs, int64_t toMs, std::vector<PowerSample>& out);
    void countEnergy(int64_t deviceId, Pending& pending, int64_t atMs, double counterWh);
    void spread(int64_t deviceId, double wh, int64_t fromMs, int64_t toMs);
    void flushLocked(int64_t nowMs);
    /// Packs the rows of the first, one row a sample, layout into blocks.
    void packRowsOfOldLayout();
    /// The rows of one old table packed; how many there were.
    int64_t packRows(Kind kind, const char* table);

    std::mutex m_mutex;
    Database m_db;
    HistorySettings m_settings;
    std::map<int64_t, Pending> m_pending;
    std::map<std::pair<int64_t, int64_t>, double> m_quarters;
    /// Blocks complete (or changed by a late sample) waiting to be written, by kind, device and start.
    std::map<std::tuple<int, int64_t, int64_t>, std::string> m_finished;
    /// Whether the broker is lost: nothing is heard.
    bool m_lost { false };
    /// By kind, the step the broker came back in, heard only in part.
    int64_t m_partStep[2] { INT64_MIN, INT64_MIN };
    int64_t m_lastFlushMs { 0 };
    int64_t m_lastPruneMs { 0 };
};

}
