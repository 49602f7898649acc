#include "platform/location/Geo.h"

#include <cmath>
#include <numbers>

namespace hestio::platform {

double distanceBetween(Coordinate a, Coordinate b)
{
    constexpr double earthRadius = 6371008.8;
    constexpr double toRadians = std::numbers::pi / 180.0;
    double lat1 = a.latitude * toRadians, lat2 = b.latitude * toRadians;
    double dLat = lat2 - lat1, dLon = (b.longitude - a.longitude) * toRadians;
    double h = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * earthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

}
