#pragma once

#include "PlugMessages.h"

#include "platform/foundation/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hestio::sim {

/// Where one value of a mapped device arrives: its topic, and the dotted
/// path of a JSON payload's member ("ENERGY.Power"); an empty key takes the
/// whole payload as the value.
struct MappedValue {
    std::string topic;
    std::string key;
    bool operator==(const MappedValue&) const = default;
};

/// A device the household describes in its mapping file, for plugs of a
/// kind the hub does not discover by itself.
struct MappedDevice {
    std::string id;
    std::string name;
    std::optional<MappedValue> power;
    std::optional<MappedValue> energy;
    /// Watt-hours per unit of the energy value: 1 for Wh, 1000 for kWh.
    double energyToWattHours { 1.0 };
    std::optional<MappedValue> state;
    std::string stateOn { "ON" };
    std::string stateOff { "OFF" };
    std::optional<MappedValue> availability;
    std::string availableOnline { "online" };
    std::string availableOffline { "offline" };
    std::optional<PlugCommand> command;
    bool operator==(const MappedDevice&) const = default;
};

constexpr size_t kMaxMappedDevices = 1000;
constexpr size_t kMaxMappingBytes = 1024 * 1024;

/// Reads a mapping file's text (JSON, see the README). An Error names the
/// device and the field that is wrong.
platform::Result<std::vector<MappedDevice>> parseDeviceMapping(std::string_view text);

/// What a message on one of the device's topics says; none when the topic is
/// not the device's or the payload holds nothing usable.
[[nodiscard]] std::optional<PlugReport> parseMappedMessage(
    const MappedDevice& device, std::string_view topic, std::string_view payload);

/// The topics the device's values arrive on, each once.
[[nodiscard]] std::vector<std::string> mappedTopics(const MappedDevice& device);

}
