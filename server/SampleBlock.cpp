#include "SampleBlock.h"

#include <algorithm>
#include <cmath>

namespace hestio::sim {

namespace {
    // Plugs report no more than this (the parsers refuse more); kept within
    // it, any two values differ by less than an int64 holds.
    constexpr double kLargestMilli = 1e18;

    void putVarint(std::string& out, uint64_t value)
    {
        while (value >= 0x80) {
            out += static_cast<char>((value & 0x7f) | 0x80);
            value >>= 7;
        }
        out += static_cast<char>(value);
    }

    void putSigned(std::string& out, int64_t value)
    {
        putVarint(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
    }

    bool getVarint(const std::string& in, size_t& at, uint64_t& value)
    {
        value = 0;
        for (int shift = 0; shift < 64 && at < in.size(); shift += 7) {
            auto byte = static_cast<unsigned char>(in[at++]);
            value |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    bool getSigned(const std::string& in, size_t& at, int64_t& value)
    {
        uint64_t raw = 0;
        if (!getVarint(in, at, raw))
            return false;
        value = static_cast<int64_t>(raw >> 1) ^ -static_cast<int64_t>(raw & 1);
        return true;
    }

    /// More steps than any block has; a damaged block is read no further.
    constexpr int64_t kMostSteps = 1 << 20;

    /// A damaged block must not overflow: its sums wrap instead.
    int64_t wrappingSum(int64_t a, int64_t b)
    {
        return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
    }

    int64_t wrappingDifference(int64_t a, int64_t b)
    {
        return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
    }

    int64_t toMilli(double value)
    {
        if (!std::isfinite(value))
            return 0;
        return std::llround(std::clamp(value * 1000.0, -kLargestMilli, kLargestMilli));
    }
}

int64_t toMilliwatts(double watts)
{
    return toMilli(watts);
}

int64_t toMilliWattHours(double wattHours)
{
    return toMilli(wattHours);
}

SampleBlock::SampleBlock(int64_t startMs, int64_t stepMs)
    : m_startMs(startMs)
    , m_stepMs(stepMs)
{
}

void SampleBlock::encode(std::string& out, Cursor& cursor, int64_t step, const StoredSample& sample)
{
    putVarint(out, static_cast<uint64_t>(step - cursor.lastStep) << 1 | (sample.counterMilliWh ? 1 : 0));
    putSigned(out, wrappingDifference(sample.milliwatts, cursor.lastMilliwatts));
    cursor.lastStep = step;
    cursor.lastMilliwatts = sample.milliwatts;
    if (sample.counterMilliWh) {
        putSigned(out, wrappingDifference(*sample.counterMilliWh, cursor.lastCounter));
        cursor.lastCounter = *sample.counterMilliWh;
    }
}

SampleBlock SampleBlock::decode(int64_t startMs, int64_t stepMs, const std::string& bytes)
{
    SampleBlock block(startMs, stepMs);
    size_t at = 0;
    Cursor cursor;
    while (at < bytes.size()) {
        size_t begin = at;
        uint64_t head = 0;
        int64_t power = 0;
        if (!getVarint(bytes, at, head) || (head >> 1) == 0 || (head >> 1) > kMostSteps || !getSigned(bytes, at, power))
            break;
        Cursor next = cursor;
        next.lastStep += static_cast<int64_t>(head >> 1);
        next.lastMilliwatts = wrappingSum(next.lastMilliwatts, power);
        if (head & 1) {
            int64_t counter = 0;
            if (!getSigned(bytes, at, counter))
                break;
            next.lastCounter = wrappingSum(next.lastCounter, counter);
        }
        if (next.lastStep > kMostSteps)
            break;
        cursor = next;
        block.m_bytes.append(bytes, begin, at - begin);
    }
    block.m_cursor = cursor;
    return block;
}

std::vector<StoredSample> SampleBlock::samples() const
{
    std::vector<StoredSample> result;
    size_t at = 0;
    Cursor cursor;
    while (at < m_bytes.size()) {
        uint64_t head = 0;
        int64_t power = 0;
        int64_t counter = 0;
        getVarint(m_bytes, at, head);
        getSigned(m_bytes, at, power);
        cursor.lastStep += static_cast<int64_t>(head >> 1);
        cursor.lastMilliwatts = wrappingSum(cursor.lastMilliwatts, power);
        StoredSample sample { m_startMs + cursor.lastStep * m_stepMs, cursor.lastMilliwatts, std::nullopt };
        if (head & 1) {
            getSigned(m_bytes, at, counter);
            cursor.lastCounter = wrappingSum(cursor.lastCounter, counter);
            sample.counterMilliWh = cursor.lastCounter;
        }
        result.push_back(sample);
    }
    return result;
}

void SampleBlock::put(const StoredSample& sample)
{
    if (sample.atMs < m_startMs)
        return;
    int64_t step = (sample.atMs - m_startMs) / m_stepMs;
    if (step > kMostSteps)
        return;
    if (step > m_cursor.lastStep) {
        encode(m_bytes, m_cursor, step, sample);
        return;
    }
    // Late or again: unpack, place it and pack anew.
    auto all = samples();
    StoredSample placed = sample;
    placed.atMs = m_startMs + step * m_stepMs;
    auto at = std::lower_bound(
        all.begin(), all.end(), placed.atMs, [](const StoredSample& s, int64_t t) { return s.atMs < t; });
    if (at != all.end() && at->atMs == placed.atMs)
        *at = placed;
    else
        all.insert(at, placed);
    m_bytes.clear();
    m_cursor = Cursor {};
    for (const auto& each : all)
        encode(m_bytes, m_cursor, (each.atMs - m_startMs) / m_stepMs, each);
}

std::string SampleBlock::bytesWith(const StoredSample& sample) const
{
    SampleBlock copy = *this;
    copy.put(sample);
    return copy.m_bytes;
}

}
