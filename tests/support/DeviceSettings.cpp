#include "support/DeviceSettings.h"

#include <stdexcept>

namespace hestio::test {

DeviceSettings::DeviceSettings(const std::string& zoneName, const std::string& localeIdentifier)
{
    auto zone = platform::TimeZone::named(zoneName);
    if (!zone)
        throw std::invalid_argument("unknown time zone " + zoneName);
    platform::TimeZone::setDefaultZone(*zone);
    platform::Locale::setCurrent(platform::Locale(localeIdentifier));
}

DeviceSettings::~DeviceSettings()
{
    platform::TimeZone::setDefaultZone(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
}

}
