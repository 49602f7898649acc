#pragma once

#include "platform/location/Geo.h"

#include <memory>
#include <string>

namespace hestio {

/// A saved location: its title (also the identifier of its region) and where
/// it is. Shared between the session's list, the account screen and the
/// schedule screens.
class Location {
public:
    [[nodiscard]] static std::shared_ptr<Location> initWithTitle(std::string title, platform::GeoLocation location)
    {
        return std::make_shared<Location>(std::move(title), location);
    }
    Location(std::string title, platform::GeoLocation location)
        : title(std::move(title))
        , location(location)
    {
    }

    std::string title;
    platform::GeoLocation location;
};

}
