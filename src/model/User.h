#pragma once

#include "model/Location.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// The signed-in user, as the sign-in reply describes them.
class User {
public:
    [[nodiscard]] static std::shared_ptr<User> initWithUsername(std::string username, std::string loginToken);
    User(std::string username, std::string loginToken);

    std::string username;
    /// Sent with every request; empty when the sign-in reply had none.
    std::string loginToken;
    std::optional<std::string> pushToken;
    std::string type;
    /// The household record as decoded ("name", "timeZoneArea", "UTCTimeZone").
    json::Value household;
    /// When the token expires, in milliseconds since 1970.
    double tokenExpiration { 0 };
    std::int32_t userID { 0 };

    bool hasToken() const { return !loginToken.empty(); }
    /// The zone the household's wall-clock times are in: its "timeZoneArea",
    /// or the device's zone when the name is unknown.
    [[nodiscard]] platform::TimeZone householdTimeZone() const;
    /// A type that contains "admin" in any letter case.
    [[nodiscard]] bool isAdministrator() const;

    const std::shared_ptr<Location>& currentLocation() const { return m_currentLocation; }
    /// Stores the location the user is at and mirrors it into the user
    /// defaults ("title", "userID"); nothing happens for the same object.
    void setCurrentLocation(std::shared_ptr<Location> location);

private:
    std::shared_ptr<Location> m_currentLocation;
};

}
