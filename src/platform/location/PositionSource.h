#pragma once

#include "platform/location/Geo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace hestio::platform {

/// Where the device is. Stands in for the satellite receiver: the host moves
/// it from `--location`, a GPX track, the automation step `location LAT LON`
/// or the window's Location menu; location managers listen to it.
/// Main thread only.
class PositionSource {
public:
    using Listener = std::function<void(const GeoLocation&)>;
    using ListenerId = std::uint64_t;

    /// The process-wide source the location managers use by default.
    [[nodiscard]] static PositionSource& shared();

    [[nodiscard]] std::optional<GeoLocation> current() const { return m_current; }
    /// Moves the device and tells every listener at once.
    void moveTo(Coordinate coordinate, Date when, double accuracy = 10);
    /// Forgets the position (no fix).
    void clear() { m_current.reset(); }

    ListenerId addListener(Listener listener);
    void removeListener(ListenerId id);

private:
    std::optional<GeoLocation> m_current;
    std::map<ListenerId, Listener> m_listeners;
    ListenerId m_nextId { 1 };
};

}
