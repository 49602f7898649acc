#pragma once

#include "platform/foundation/Date.h"

#include <string>

namespace hestio::platform {

/// Degrees, WGS 84.
struct Coordinate {
    double latitude { 0 };
    double longitude { 0 };
    bool operator==(const Coordinate&) const = default;
};

/// A position fix.
struct GeoLocation {
    Coordinate coordinate;
    double horizontalAccuracy { 10 }; ///< metres
    Date timestamp;
};

/// A circle watched for arrivals and departures.
struct CircularRegion {
    std::string identifier;
    Coordinate center;
    double radius { 0 }; ///< metres
    bool operator==(const CircularRegion&) const = default;
};

struct LocationError {
    enum Code : int { LocationUnknown = 0, Denied = 1, RegionMonitoringDenied = 4, RegionMonitoringFailure = 5 };
    int code { RegionMonitoringFailure };
    std::string localizedDescription;
};

/// Great-circle distance in metres (mean Earth radius).
[[nodiscard]] double distanceBetween(Coordinate a, Coordinate b);

/// Desired-accuracy values, in metres.
inline constexpr double accuracyBest = -1;
inline constexpr double accuracyNearestTenMeters = 10;
inline constexpr double accuracyHundredMeters = 100;

}
