#include "model/User.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <cctype>

namespace hestio {

std::shared_ptr<User> User::initWithUsername(std::string username, std::string loginToken)
{
    return std::make_shared<User>(std::move(username), std::move(loginToken));
}

User::User(std::string username, std::string loginToken)
    : username(std::move(username))
    , loginToken(std::move(loginToken))
{
}

bool User::isAdministrator() const
{
    std::string lower = type;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("admin") != std::string::npos;
}

void User::setCurrentLocation(std::shared_ptr<Location> location)
{
    if (location == m_currentLocation)
        return;
    hestio::log("saving new location: " + (location ? location->title : std::string("(null)")));
    m_currentLocation = std::move(location);
    auto& defaults = platform::UserDefaults::standard();
    if (m_currentLocation) {
        defaults.setObject(m_currentLocation->title, "title");
        defaults.setInteger(userID, "userID");
    } else {
        defaults.removeObjectForKey("title");
        defaults.removeObjectForKey("userID");
    }
    defaults.synchronize(); // a failed write is tried again; nothing waits for the disk
}

platform::TimeZone User::householdTimeZone() const
{
    if (auto zone = platform::TimeZone::named(household["timeZoneArea"].stringValue()))
        return *zone;
    return platform::TimeZone::defaultZone();
}

}
