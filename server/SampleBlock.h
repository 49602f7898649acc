#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

/// One stored sample: its time, its power in milliwatts and, when the plug
/// sent one, its counter in milliwatt-hours.
struct StoredSample {
    int64_t atMs {};
    int64_t milliwatts {};
    std::optional<int64_t> counterMilliWh;
    bool operator==(const StoredSample&) const = default;
};

/// The samples of one device in one stretch of time (a quarter hour of raw
/// samples, an hour of minute averages), packed into a few bytes each so
/// that months of them stay small: per sample, the steps since the previous
/// sample and whether a counter follows, then the change of the power and of
/// the counter since the previous ones, each as a variable-length integer.
/// A steady plug's sample takes three or four bytes where a table row took
/// forty.
class SampleBlock {
public:
    SampleBlock(int64_t startMs, int64_t stepMs);

    /// The block stored as `bytes`; the samples read up to the first damaged one.
    static SampleBlock decode(int64_t startMs, int64_t stepMs, const std::string& bytes);

    /// Adds a sample. One on the step of an existing sample replaces it;
    /// one outside the block is ignored. Appending in time order is cheap,
    /// anything else repacks the block.
    void put(const StoredSample& sample);
    [[nodiscard]] std::vector<StoredSample> samples() const;
    [[nodiscard]] const std::string& bytes() const { return m_bytes; }
    /// The bytes with one more sample after the last, the block unchanged.
    [[nodiscard]] std::string bytesWith(const StoredSample& sample) const;
    [[nodiscard]] int64_t startMs() const { return m_startMs; }
    [[nodiscard]] bool empty() const { return m_bytes.empty(); }

private:
    struct Cursor {
        int64_t lastStep { -1 };
        int64_t lastMilliwatts { 0 };
        int64_t lastCounter { 0 };
    };
    static void encode(std::string& out, Cursor& cursor, int64_t step, const StoredSample& sample);

    int64_t m_startMs;
    int64_t m_stepMs;
    std::string m_bytes;
    Cursor m_cursor;
};

/// Power in watts as stored (milliwatts, within what a plug may report).
[[nodiscard]] int64_t toMilliwatts(double watts);
[[nodiscard]] int64_t toMilliWattHours(double wattHours);

}
