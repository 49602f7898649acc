#include "PlugMessages.h"

#include "FormData.h"
#include "PlugJson.h"

#include "json/Serializer.h"

#include <cmath>

namespace hestio::sim {

namespace {
    bool startsWith(std::string_view text, std::string_view prefix)
    {
        return text.substr(0, prefix.size()) == prefix;
    }

    bool endsWith(std::string_view text, std::string_view suffix)
    {
        return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
    }

    /// A topic level fit to name a plug by: not empty, no wildcard, not
    /// longer than a name reasonably is.
    bool isPlainLevel(std::string_view level)
    {
        return !level.empty() && level.size() <= 200 && level.find_first_of("+#/") == std::string_view::npos;
    }

    /// ON / OFF (any case) as a relay state; none for anything else.
    std::optional<bool> onOffText(std::string_view text)
    {
        std::string lower;
        for (char c : text.substr(0, 8))
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (text.size() > 8)
            return std::nullopt;
        if (lower == "on" || lower == "true" || lower == "1")
            return true;
        if (lower == "off" || lower == "false" || lower == "0")
            return false;
        return std::nullopt;
    }

    // JSON-RPC family ---------------------------------------------------

    /// The fields of one switch channel object into `report`.
    void readSwitchChannel(const json::Value& channel, PlugReport& report)
    {
        if (channel["output"].isBoolean())
            report.relayOn = channel["output"].boolValue();
        report.watts = finiteNumber(channel["apower"]);
        report.energyWh = counterNumber(channel["aenergy"]["total"], 1.0);
        report.showsPlug = report.relayOn || report.watts;
    }

    PlugReport jsonRpcReport(std::string_view prefix, int channel)
    {
        PlugReport report;
        report.family = PlugFamily::JsonRpc;
        report.unit = "rpc:" + std::string(prefix);
        report.key = report.unit + ":" + std::to_string(channel);
        report.name = cleanPlugName(
            channel == 0 ? std::string(prefix) : std::string(prefix) + " " + std::to_string(channel), "Plug");
        std::string topic = std::string(prefix) + "/command/switch:" + std::to_string(channel);
        report.command = PlugCommand { topic, "on", "off" };
        return report;
    }

    /// "switch:<n>" with n from 0 to 15; -1 for anything else.
    int switchChannel(std::string_view component)
    {
        constexpr std::string_view kSwitch = "switch:";
        if (!startsWith(component, kSwitch) || component.size() < kSwitch.size() + 1
            || component.size() > kSwitch.size() + 2)
            return -1;
        int channel = 0;
        for (char c : component.substr(kSwitch.size())) {
            if (c < '0' || c > '9')
                return -1;
            channel = channel * 10 + (c - '0');
        }
        return channel <= 15 ? channel : -1;
    }
}

std::string cleanPlugName(std::string_view raw, std::string_view fallback)
{
    std::string valid = toValidUtf8(raw.substr(0, kMaxPlugNameBytes * 4));
    std::string cleaned;
    for (size_t i = 0; i < valid.size(); ++i) {
        auto c = static_cast<unsigned char>(valid[i]);
        // C0 controls, DEL, and the C1 controls (U+0080 to U+009F) become spaces.
        if (c < 0x20 || c == 0x7f) {
            cleaned += ' ';
        } else if (c == 0xc2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xa0) {
            cleaned += ' ';
            ++i;
        } else {
            cleaned += static_cast<char>(c);
        }
    }
    size_t first = cleaned.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string(fallback);
    cleaned = cleaned.substr(first, cleaned.find_last_not_of(' ') - first + 1);
    if (cleaned.size() > kMaxPlugNameBytes) {
        size_t cut = kMaxPlugNameBytes;
        // Back up to the start of a character.
        while (cut > 0 && (static_cast<unsigned char>(cleaned[cut]) & 0xc0) == 0x80)
            --cut;
        cleaned.resize(cut);
    }
    return cleaned;
}

std::vector<PlugReport> parseJsonRpcMessage(std::string_view topic, std::string_view payload)
{
    if (payload.size() > kMaxPayloadBytes)
        return {};
    size_t slash = topic.find('/');
    if (slash == std::string_view::npos)
        return {};
    std::string_view prefix = topic.substr(0, slash);
    std::string_view rest = topic.substr(slash + 1);
    if (!isPlainLevel(prefix))
        return {};
    if (rest == "online") {
        if (payload != "true" && payload != "false")
            return {};
        PlugReport report;
        report.family = PlugFamily::JsonRpc;
        report.unit = "rpc:" + std::string(prefix);
        report.online = payload == "true";
        return { report };
    }
    if (startsWith(rest, "status/")) {
        int channel = switchChannel(rest.substr(7));
        if (channel < 0)
            return {};
        json::Value object = decodeObject(payload);
        if (!object.isDictionary())
            return {};
        PlugReport report = jsonRpcReport(prefix, channel);
        readSwitchChannel(object, report);
        if (!report.showsPlug && !report.energyWh)
            return {};
        return { report };
    }
    if (rest != "events/rpc")
        return {};
    json::Value object = decodeObject(payload);
    std::string_view method = object["method"].stringValue();
    if (method != "NotifyStatus" && method != "NotifyFullStatus")
        return {};
    const json::Value& params = object["params"];
    std::optional<double> ts = finiteNumber(params["ts"]);
    std::vector<PlugReport> reports;
    for (int channel = 0; channel <= 15; ++channel) {
        const json::Value& part = params["switch:" + std::to_string(channel)];
        if (!part.isDictionary())
            continue;
        PlugReport report = jsonRpcReport(prefix, channel);
        readSwitchChannel(part, report);
        // A change notice may carry only the counter or only the relay.
        if (ts && *ts > 0 && *ts < 253402300799.0)
            report.stampedMs = static_cast<int64_t>(std::llround(*ts * 1000));
        reports.push_back(std::move(report));
    }
    return reports;
}

// Command-line family ----------------------------------------------------

namespace {
    PlugReport commandLineReport(std::string_view deviceTopic)
    {
        PlugReport report;
        report.family = PlugFamily::CommandLine;
        report.unit = "cmd:" + std::string(deviceTopic);
        report.key = report.unit;
        report.name = cleanPlugName(deviceTopic, "Plug");
        report.command = PlugCommand { "cmnd/" + std::string(deviceTopic) + "/POWER", "ON", "OFF" };
        return report;
    }

    /// The relay of a STATE or RESULT object: POWER, or POWER1 on a plug
    /// with numbered relays.
    std::optional<bool> relayOf(const json::Value& object)
    {
        for (const char* key : { "POWER", "POWER1" }) {
            if (object[key].isString())
                return onOffText(object[key].stringValue());
        }
        return std::nullopt;
    }

    /// The first of a number or of an array of numbers (one per channel).
    std::optional<double> firstNumber(const json::Value& value)
    {
        return value.isArray() ? finiteNumber(value[0]) : finiteNumber(value);
    }

    std::vector<PlugReport> commandLineDiscovery(std::string_view rest, std::string_view payload)
    {
        size_t slash = rest.find('/');
        if (slash == std::string_view::npos || !isPlainLevel(rest.substr(0, slash)))
            return {};
        std::string_view record = rest.substr(slash + 1);
        json::Value object = decodeObject(payload);
        if (record == "sensors") {
            // Only the topic is missing here; the config record names it.
            return {};
        }
        if (record != "config" || !object.isDictionary())
            return {};
        std::string_view deviceTopic = object["t"].stringValue();
        if (!isPlainLevel(deviceTopic))
            return {};
        PlugReport report = commandLineReport(deviceTopic);
        std::string_view name = object["fn"][0].isString() && !object["fn"][0].stringValue().empty()
            ? object["fn"][0].stringValue()
            : object["dn"].stringValue();
        report.name = cleanPlugName(name, report.name);
        // A custom full topic ("%topic%/%prefix%/") moves the command topic,
        // and where the plug publishes its readings and state.
        std::string_view pattern = object["ft"].stringValue();
        auto fullTopic = [&](int index, std::string_view fallback) -> std::optional<std::string> {
            std::string_view prefix = object["tp"][index].isString() ? object["tp"][index].stringValue() : fallback;
            if (pattern.empty() || pattern.size() >= 200 || !isPlainLevel(prefix))
                return std::nullopt;
            std::string topic(pattern);
            auto replace = [&](std::string_view what, std::string_view with) {
                if (size_t at = topic.find(what); at != std::string::npos)
                    topic.replace(at, what.size(), with);
            };
            replace("%prefix%", prefix);
            replace("%topic%", deviceTopic);
            if (topic.find('%') != std::string::npos || topic.find_first_of("+#") != std::string::npos
                || !isValidUtf8(topic))
                return std::nullopt;
            return topic;
        };
        if (auto commands = fullTopic(0, "cmnd")) {
            report.command->topic = *commands + "POWER";
            report.commandDescribed = true;
        }
        auto stat = fullTopic(1, "stat");
        auto tele = fullTopic(2, "tele");
        std::string standardStat = "stat/" + std::string(deviceTopic) + "/";
        std::string standardTele = "tele/" + std::string(deviceTopic) + "/";
        if (stat && tele && (*stat != standardStat || *tele != standardTele)) {
            for (const char* leaf : { "LWT", "SENSOR", "STATE" })
                report.movedTopics.emplace_back(*tele + leaf, standardTele + leaf);
            for (const char* leaf : { "POWER", "POWER1", "RESULT" })
                report.movedTopics.emplace_back(*stat + leaf, standardStat + leaf);
        }
        // rl: the kind of each relay; 1 is a plain relay.
        report.showsPlug = object["rl"][0].isNumber() && object["rl"][0].integerValue() == 1;
        return { report };
    }
}

std::vector<PlugReport> parseCommandLineMessage(std::string_view topic, std::string_view payload)
{
    if (payload.size() > kMaxPayloadBytes)
        return {};
    if (startsWith(topic, kCommandLineDiscoveryPrefix))
        return commandLineDiscovery(topic.substr(kCommandLineDiscoveryPrefix.size()), payload);
    size_t first = topic.find('/');
    size_t last = topic.rfind('/');
    if (first == std::string_view::npos || first == last)
        return {};
    std::string_view kind = topic.substr(0, first);
    std::string_view deviceTopic = topic.substr(first + 1, last - first - 1);
    std::string_view leaf = topic.substr(last + 1);
    if (!isPlainLevel(deviceTopic))
        return {};
    PlugReport report = commandLineReport(deviceTopic);
    if (kind == "tele" && leaf == "LWT") {
        if (payload != "Online" && payload != "Offline")
            return {};
        PlugReport availability;
        availability.family = PlugFamily::CommandLine;
        availability.unit = report.unit;
        availability.online = payload == "Online";
        return { availability };
    }
    if (kind == "tele" && leaf == "SENSOR") {
        json::Value object = decodeObject(payload);
        const json::Value& energy = object["ENERGY"];
        if (!energy.isDictionary())
            return {};
        report.watts = firstNumber(energy["Power"]);
        report.energyWh = counterNumber(energy["Total"], 1000.0);
        report.showsPlug = report.watts.has_value();
        return { report };
    }
    if (kind == "tele" && leaf == "STATE") {
        report.relayOn = relayOf(decodeObject(payload));
    } else if (kind == "stat" && (leaf == "POWER" || leaf == "POWER1")) {
        report.relayOn = onOffText(payload);
    } else if (kind == "stat" && leaf == "RESULT") {
        report.relayOn = relayOf(decodeObject(payload));
    }
    if (!report.relayOn)
        return {};
    return { report };
}

// Zigbee bridge --------------------------------------------------------

namespace {
    /// What one entry of `definition.exposes` offers, looking one level into
    /// composite features (a switch holds its state feature).
    void readExposes(const json::Value& exposes, BridgeDevice& device, int depth = 0)
    {
        for (size_t i = 0; i < exposes.count() && i < 200; ++i) {
            const json::Value& feature = exposes[i];
            std::string_view property = feature["property"].stringValue();
            std::string_view name = feature["name"].stringValue();
            if (property == "state" && feature["type"].stringValue() == "binary") {
                device.hasSwitch = true;
                if (feature["value_on"].isString() && feature["value_off"].isString()) {
                    device.valueOn = std::string(feature["value_on"].stringValue().substr(0, 32));
                    device.valueOff = std::string(feature["value_off"].stringValue().substr(0, 32));
                }
            }
            if ((property == "power" || name == "power") && feature["type"].stringValue() == "numeric")
                device.hasPower = true;
            if (depth == 0 && feature["features"].isArray())
                readExposes(feature["features"], device, 1);
        }
    }

    std::string statePayload(std::string_view value)
    {
        auto text = json::JSONData(json::Value::dictionary({ { "state", json::Value(value) } }));
        return text ? *text : std::string();
    }

    PlugReport bridgeReport(std::string_view base, const BridgeDevice& device)
    {
        PlugReport report;
        report.family = PlugFamily::ZigbeeBridge;
        report.unit = "zb:" + device.ieeeAddress;
        report.key = report.unit;
        report.name = cleanPlugName(device.friendlyName, "Plug");
        if (device.hasSwitch) {
            report.command = PlugCommand { std::string(base) + "/" + device.friendlyName + "/set",
                statePayload(toValidUtf8(device.valueOn)), statePayload(toValidUtf8(device.valueOff)) };
        }
        return report;
    }

    std::optional<bool> availabilityOf(std::string_view payload)
    {
        std::string_view state = payload;
        json::Value object;
        if (!payload.empty() && payload.front() == '{') {
            object = decodeObject(payload);
            state = object["state"].stringValue();
        }
        if (state == "online")
            return true;
        if (state == "offline")
            return false;
        return std::nullopt;
    }
}

std::optional<std::vector<BridgeDevice>> parseBridgeDeviceList(std::string_view payload)
{
    if (payload.size() > kMaxDeviceListBytes)
        return std::nullopt;
    json::Value list = decodeObject(payload);
    if (!list.isArray())
        return std::nullopt;
    std::vector<BridgeDevice> devices;
    for (size_t i = 0; i < list.count() && devices.size() < 2000; ++i) {
        const json::Value& entry = list[i];
        BridgeDevice device;
        device.friendlyName = std::string(entry["friendly_name"].stringValue());
        device.ieeeAddress = std::string(entry["ieee_address"].stringValue());
        if (device.friendlyName.empty() || device.friendlyName.size() > 200 || device.ieeeAddress.empty()
            || device.ieeeAddress.size() > 64 || !isValidUtf8(device.friendlyName)
            || device.friendlyName.find_first_of("+#") != std::string::npos
            || entry["type"].stringValue() == "Coordinator")
            continue;
        readExposes(entry["definition"]["exposes"], device);
        if (device.hasSwitch || device.hasPower)
            devices.push_back(std::move(device));
    }
    return devices;
}

std::vector<PlugReport> parseBridgeMessage(std::string_view base, std::map<std::string, BridgeDevice>& devices,
    std::string_view topic, std::string_view payload)
{
    if (base.empty() || !startsWith(topic, base) || topic.size() <= base.size() + 1 || topic[base.size()] != '/')
        return {};
    std::string_view rest = topic.substr(base.size() + 1);
    if (rest == "bridge/devices") {
        auto list = parseBridgeDeviceList(payload);
        if (!list)
            return {};
        devices.clear();
        std::vector<PlugReport> reports;
        for (auto& device : *list) {
            PlugReport report = bridgeReport(base, device);
            report.showsPlug = true;
            reports.push_back(std::move(report));
            devices[device.friendlyName] = std::move(device);
        }
        return reports;
    }
    if (payload.size() > kMaxPayloadBytes)
        return {};
    if (auto found = devices.find(std::string(rest)); found != devices.end()) {
        json::Value values = decodeObject(payload);
        if (!values.isDictionary())
            return {};
        PlugReport report = bridgeReport(base, found->second);
        if (values["state"].isString()) {
            std::string_view state = values["state"].stringValue();
            if (state == found->second.valueOn)
                report.relayOn = true;
            else if (state == found->second.valueOff)
                report.relayOn = false;
        }
        report.watts = finiteNumber(values["power"]);
        report.energyWh = counterNumber(values["energy"], 1000.0);
        if (!report.relayOn && !report.watts && !report.energyWh)
            return {};
        return { report };
    }
    constexpr std::string_view kAvailability = "/availability";
    if (endsWith(rest, kAvailability)) {
        auto found = devices.find(std::string(rest.substr(0, rest.size() - kAvailability.size())));
        auto online = availabilityOf(payload);
        if (found == devices.end() || !online)
            return {};
        PlugReport report;
        report.family = PlugFamily::ZigbeeBridge;
        report.unit = "zb:" + found->second.ieeeAddress;
        report.online = online;
        return { report };
    }
    return {};
}

bool topicMatches(std::string_view filter, std::string_view topic)
{
    while (true) {
        size_t fs = filter.find('/');
        size_t ts = topic.find('/');
        std::string_view f = filter.substr(0, fs);
        if (f == "#")
            return true;
        std::string_view t = topic.substr(0, ts);
        if (f != "+" && f != t)
            return false;
        if (fs == std::string_view::npos || ts == std::string_view::npos) {
            // "a/#" matches "a" as well.
            return fs == ts || (ts == std::string_view::npos && filter.substr(fs + 1) == "#");
        }
        filter = filter.substr(fs + 1);
        topic = topic.substr(ts + 1);
    }
}

}
