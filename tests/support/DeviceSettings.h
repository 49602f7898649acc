#pragma once

#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

#include <string>

namespace hestio::test {

/// Fixes the device's time zone and locale for the scope's lifetime, so that
/// code formatting "in the device's zone" gives the same text on every
/// machine. Afterwards both come from the environment again.
class DeviceSettings {
public:
    explicit DeviceSettings(const std::string& zoneName = "UTC", const std::string& localeIdentifier = "en_US");
    ~DeviceSettings();
    DeviceSettings(const DeviceSettings&) = delete;
    DeviceSettings& operator=(const DeviceSettings&) = delete;
};

}
