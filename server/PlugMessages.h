#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hestio::sim {

/// The kinds of metering plug the hub understands on the broker: plugs with
/// JSON-RPC firmware, plugs with the open command-line firmware (cmnd, stat,
/// tele), plugs behind a Zigbee bridge, and devices described by the
/// household's mapping file.
enum class PlugFamily { JsonRpc, CommandLine, ZigbeeBridge, Mapped };

/// How to switch a plug: the topic and the payloads for on and off.
struct PlugCommand {
    std::string topic;
    std::string onPayload;
    std::string offPayload;
    bool operator==(const PlugCommand&) const = default;
};

/// What one broker message says about one plug. Every field but `key` is
/// optional: a message tells only what it carries.
struct PlugReport {
    /// Stable across restarts and renames where the family allows it:
    /// "rpc:<prefix>:<channel>", "cmd:<topic>", "zb:<ieee address>",
    /// "map:<id from the mapping file>".
    std::string key;
    /// The physical device the plug belongs to ("rpc:<prefix>" for all the
    /// channels of one device). An availability flag names only the unit and
    /// leaves `key` empty: it holds for every plug of the unit.
    std::string unit;
    PlugFamily family { PlugFamily::JsonRpc };
    /// A name to give the device when it is first made.
    std::string name;
    std::optional<double> watts;
    /// The plug's energy counter in watt-hours since it last started counting.
    std::optional<double> energyWh;
    std::optional<bool> relayOn;
    std::optional<bool> online;
    /// When the plug itself stamped the reading (only some families do).
    std::optional<int64_t> stampedMs;
    /// How to switch it, when the message tells.
    std::optional<PlugCommand> command;
    /// Whether `command` comes from the plug's own description (a discovery
    /// record), which a reading's guess from its topic does not override.
    bool commandDescribed { false };
    /// Topics where the plug publishes instead of its family's usual ones
    /// (a command-line plug with a custom full topic), each with the usual
    /// topic it stands for.
    std::vector<std::pair<std::string, std::string>> movedTopics;
    /// True when the message shows a metering plug exists (a reading, a
    /// state or a discovery record), so that a device may be made for it;
    /// an availability flag alone does not.
    bool showsPlug { false };
};

/// Payloads above this size are ignored unread; a bridge's device list may
/// be larger (see kMaxDeviceListBytes).
constexpr size_t kMaxPayloadBytes = 64 * 1024;
constexpr size_t kMaxDeviceListBytes = 4 * 1024 * 1024;
/// Device names are cut to this many bytes (at a character boundary).
constexpr size_t kMaxPlugNameBytes = 60;

/// A name fit to show: valid UTF-8, control characters turned into spaces,
/// outer spaces trimmed, at most kMaxPlugNameBytes; `fallback` when nothing is left.
[[nodiscard]] std::string cleanPlugName(std::string_view raw, std::string_view fallback);

/// A message of the JSON-RPC family: `<prefix>/online`, `<prefix>/status/switch:<n>`
/// or `<prefix>/events/rpc`. None for any other topic or an unusable payload.
[[nodiscard]] std::vector<PlugReport> parseJsonRpcMessage(std::string_view topic, std::string_view payload);

/// A message of the command-line family: tele/<t>/LWT, tele/<t>/SENSOR,
/// tele/<t>/STATE, stat/<t>/POWER, stat/<t>/RESULT, or its discovery record
/// under kCommandLineDiscoveryPrefix.
[[nodiscard]] std::vector<PlugReport> parseCommandLineMessage(std::string_view topic, std::string_view payload);
constexpr std::string_view kCommandLineDiscoveryPrefix = "tasmota/discovery/";

/// One device of a Zigbee bridge's device list that can meter or switch.
struct BridgeDevice {
    std::string friendlyName;
    std::string ieeeAddress;
    bool hasSwitch { false };
    bool hasPower { false };
    std::string valueOn { "ON" };
    std::string valueOff { "OFF" };
    bool operator==(const BridgeDevice&) const = default;
};
constexpr std::string_view kDefaultBridgeBase = "zigbee2mqtt";

/// The bridge's retained `<base>/bridge/devices` list: its metering or
/// switching devices (the coordinator and sensors left out). None when the
/// payload is not such a list.
[[nodiscard]] std::optional<std::vector<BridgeDevice>> parseBridgeDeviceList(std::string_view payload);

/// A message under the bridge's base topic: the device list (in `devices`
/// on return, replacing it), a device's values or its availability. The
/// devices are told apart by the names of the list, since a name may contain '/'.
[[nodiscard]] std::vector<PlugReport> parseBridgeMessage(std::string_view base,
    std::map<std::string, BridgeDevice>& devices, std::string_view topic, std::string_view payload);

/// Whether an MQTT topic filter (with + and #) matches a topic.
[[nodiscard]] bool topicMatches(std::string_view filter, std::string_view topic);

}
