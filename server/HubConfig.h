#pragma once

#include "ListenAddress.h"
#include "MqttLink.h"

#include "platform/foundation/Result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hestio::sim {

/// The hub's configuration file: what must not appear on a command line
/// (the broker's password) and what is too long for one. Lines of
/// `key = value`; '#' starts a comment line.
struct HubConfig {
    /// The broker, for a hub run without command-line options (a service).
    std::optional<BrokerAddress> mqtt;
    /// Where to listen when the command line does not say.
    std::optional<ListenAddress> listen;
    std::string mqttUser;
    std::string mqttPassword;
    std::string mqttCaFile;
    /// The household's mapping file for devices the hub does not discover.
    std::string mappingFile;
    /// The Zigbee bridge's base topic; "none" turns the bridge off.
    std::string bridgeBase { "zigbee2mqtt" };
    /// Days raw samples and per-minute averages are kept.
    int keepRawDays { 35 };
    int keepMinuteDays { 400 };
};

/// An Error names the line and what is wrong with it.
platform::Result<HubConfig> parseHubConfig(std::string_view text);

/// Reads the file; a missing file is an empty configuration. Relative paths
/// in it are taken from the file's folder.
platform::Result<HubConfig> loadHubConfig(const std::filesystem::path& file);

}
