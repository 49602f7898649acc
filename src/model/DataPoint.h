#pragma once

#include "platform/foundation/Date.h"
#include "json/Value.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace hestio {

/// One sample of a graph, placed on the graph's time axis: `timeInterval` is
/// the seconds from the graph's reference instant (the start of the current
/// day) to the sample's time.
///
/// A sample made with the constructor is kept exactly as received. A graph
/// holds weeks of samples, each a small record of numbers; `flattened` keeps
/// such a record as its numbers only (and its keys once for all records of
/// the same keys), not the decoded object, which would hold the whole
/// decoded reply in memory with it. Both read the same: `member`,
/// `description` and the time give what the sample as received gives.
class DataPoint {
public:
    DataPoint(json::Value point, platform::Date refDate);

    /// The sample kept as its members when it is a record of at most
    /// `kFlatMembers` members, of which at most `kFlatNumbers` numbers and
    /// the others booleans or nulls; else kept as received.
    [[nodiscard]] static DataPoint flattened(const json::Value& point, platform::Date refDate);
    static constexpr std::size_t kFlatMembers = 4;
    static constexpr std::size_t kFlatNumbers = 3;

    double timeInterval() const { return m_timeInterval; }
    platform::Date refDate() const { return m_refDate; }
    /// Whether only the members are kept (see `flattened`).
    bool isFlat() const { return m_shape != 0; }

    /// The sample as received; for a flat one, a record of the same members
    /// made again (its members' order in `description` may differ).
    [[nodiscard]] json::Value point() const;
    /// The sample's member under `key`, or a handle holding nothing.
    [[nodiscard]] json::Value member(std::string_view key) const;
    /// `member(key).doubleValue()`, without making the member.
    [[nodiscard]] double doubleMember(std::string_view key) const;

    /// The sample's time relative to `refDate`, in whole seconds: "timestamp"
    /// when the sample has one, else "from", read as milliseconds since 1970
    /// and truncated to the second. A sample with neither is at 1970.
    [[nodiscard]] double getTimeInterval() const;
    /// The sample's own text.
    [[nodiscard]] std::string description() const;

    /// The keys of flat records, in the order of their table's slots, shared
    /// by every record with the same ones. Made once and kept for the process.
    struct Shape;

private:
    DataPoint() = default;
    const Shape& shape() const;
    int memberSlot(std::string_view key) const;
    /// Where member `slot`'s number lies in `m_numbers`: after those of the
    /// members before it.
    std::size_t numberIndex(std::size_t slot) const;
    json::Value memberAt(std::size_t slot) const;

    // A graph holds tens of thousands of these: 56 bytes each.
    json::Value m_point;
    platform::Date m_refDate;
    double m_timeInterval { 0 };
    /// A flat sample's numbers, each its eight bytes, in its shape's order.
    std::array<std::uint64_t, kFlatNumbers> m_numbers {};
    /// Each member's kind, in the shape's order.
    std::array<json::Kind, kFlatMembers> m_kinds {};
    /// The booleans' values, a bit per member.
    std::uint8_t m_booleans { 0 };
    /// The shape's number, from 1; 0 when the sample is kept whole.
    std::uint8_t m_shape { 0 };
};

}
