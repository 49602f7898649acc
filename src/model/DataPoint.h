#pragma once

#include "platform/foundation/Date.h"
#include "json/Value.h"

#include <string>

namespace hestio {

/// One sample of a graph, placed on the graph's time axis: `timeInterval` is
/// the seconds from the graph's reference instant (the start of the current
/// day) to the sample's time. The sample itself is kept exactly as received.
class DataPoint {
public:
    DataPoint(json::Value point, platform::Date refDate);

    double timeInterval() const { return m_timeInterval; }
    const json::Value& point() const { return m_point; }
    platform::Date refDate() const { return m_refDate; }

    /// The sample's time relative to `refDate`, in whole seconds: "timestamp"
    /// when the sample has one, else "from", read as milliseconds since 1970
    /// and truncated to the second. A sample with neither is at 1970.
    [[nodiscard]] double getTimeInterval() const;
    /// The sample's own text.
    [[nodiscard]] std::string description() const;

private:
    json::Value m_point;
    platform::Date m_refDate;
    double m_timeInterval;
};

}
