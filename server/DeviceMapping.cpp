#include "DeviceMapping.h"

#include "FormData.h"
#include "PlugJson.h"

#include <set>

namespace hestio::sim {

namespace {
    constexpr size_t kMaxTopicBytes = 256;
    constexpr size_t kMaxPayloadTextBytes = 256;

    bool isIdentifier(std::string_view id)
    {
        if (id.empty() || id.size() > 64)
            return false;
        for (char c : id) {
            bool fits = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
                || c == '-' || c == '.';
            if (!fits)
                return false;
        }
        return true;
    }

    /// A topic one may publish on and subscribe to exactly: no wildcards.
    bool isExactTopic(std::string_view topic)
    {
        return !topic.empty() && topic.size() <= kMaxTopicBytes && isValidUtf8(topic)
            && topic.find_first_of("+#") == std::string_view::npos && topic.find('\0') == std::string_view::npos;
    }

    /// A short text member, or `fallback` when absent; none when it is there
    /// but not a usable text.
    std::optional<std::string> textMember(const json::Value& object, const char* key, std::string_view fallback)
    {
        const json::Value& value = object[key];
        if (value.isNone())
            return std::string(fallback);
        if (!value.isString() || value.stringValue().size() > kMaxPayloadTextBytes || !isValidUtf8(value.stringValue()))
            return std::nullopt;
        return std::string(value.stringValue());
    }

    /// Reads one device's entry; the text returned is what is wrong with it.
    std::optional<std::string> readDevice(const json::Value& entry, MappedDevice& device)
    {
        if (!entry.isDictionary())
            return "is not an object";
        device.id = std::string(entry["id"].stringValue());
        if (!isIdentifier(device.id))
            return "needs an id of 1 to 64 letters, digits, '_', '-' or '.'";
        auto name = textMember(entry, "name", device.id);
        if (!name)
            return "has a name that is not a short text";
        device.name = cleanPlugName(*name, device.id);
        auto readValue = [&](const char* field, std::optional<MappedValue>& out) -> std::optional<std::string> {
            const json::Value& object = entry[field];
            if (object.isNone())
                return std::nullopt;
            auto key = textMember(object, "key", "");
            if (!object.isDictionary() || !isExactTopic(object["topic"].stringValue()) || !key)
                return std::string(field) + " needs a topic without wildcards and an optional text key";
            out = MappedValue { std::string(object["topic"].stringValue()), *key };
            return std::nullopt;
        };
        for (auto [field, out] : { std::pair { "power", &device.power }, std::pair { "energy", &device.energy },
                 std::pair { "state", &device.state }, std::pair { "availability", &device.availability } }) {
            if (auto wrong = readValue(field, *out))
                return wrong;
        }
        if (!device.power && !device.state)
            return "needs power or state";
        if (device.energy) {
            auto unit = textMember(entry["energy"], "unit", "Wh");
            if (unit != "Wh" && unit != "kWh")
                return "energy unit must be Wh or kWh";
            device.energyToWattHours = *unit == "kWh" ? 1000.0 : 1.0;
        }
        auto stateOn = textMember(entry["state"], "on", "ON");
        auto stateOff = textMember(entry["state"], "off", "OFF");
        auto online = textMember(entry["availability"], "online", "online");
        auto offline = textMember(entry["availability"], "offline", "offline");
        if (!stateOn || !stateOff || !online || !offline || *stateOn == *stateOff || *online == *offline)
            return "needs two different short texts for on and off, and for online and offline";
        device.stateOn = *stateOn;
        device.stateOff = *stateOff;
        device.availableOnline = *online;
        device.availableOffline = *offline;
        if (const json::Value& command = entry["command"]; !command.isNone()) {
            auto on = textMember(command, "on", "ON");
            auto off = textMember(command, "off", "OFF");
            if (!command.isDictionary() || !isExactTopic(command["topic"].stringValue()) || !on || !off || *on == *off)
                return "command needs a topic without wildcards and two different payloads on and off";
            device.command = PlugCommand { std::string(command["topic"].stringValue()), *on, *off };
        }
        return std::nullopt;
    }

    /// The value a mapped field takes from a payload: a member of a JSON
    /// object, or the whole payload when the key is empty.
    json::Value fieldValue(const MappedValue& field, const json::Value& object, std::string_view payload)
    {
        if (field.key.empty()) {
            // A bare number or word: read it as JSON when it is one, else as text.
            json::Value wrapped = decodeObject("[" + std::string(payload) + "]");
            if (wrapped.isArray() && wrapped.count() == 1)
                return wrapped[0];
            return json::Value(payload);
        }
        return valueAtPath(object, field.key);
    }

    /// Compares a state value with the configured on or off text; JSON
    /// booleans compare as "true" / "false".
    bool sameText(const json::Value& value, std::string_view text)
    {
        if (value.isBoolean())
            return text == (value.boolValue() ? "true" : "false");
        if (value.isNumber() && value.kind() != json::Kind::Double)
            return text == std::to_string(value.integerValue());
        return value.isString() && value.stringValue() == text;
    }
}

platform::Result<std::vector<MappedDevice>> parseDeviceMapping(std::string_view text)
{
    if (text.size() > kMaxMappingBytes)
        return platform::Error("the mapping file is larger than 1 MB");
    json::Value root = decodeObject(text);
    if (!root.isDictionary() || !root["devices"].isArray())
        return platform::Error("the mapping file must be a JSON object with an array \"devices\"");
    const json::Value& list = root["devices"];
    if (list.count() > kMaxMappedDevices)
        return platform::Error("the mapping file lists more than 1000 devices");
    std::vector<MappedDevice> devices;
    std::set<std::string> ids;
    for (size_t i = 0; i < list.count(); ++i) {
        MappedDevice device;
        if (auto wrong = readDevice(list[i], device)) {
            std::string label = device.id.empty() || !isIdentifier(device.id) ? "" : " (" + device.id + ")";
            return platform::Error("mapping device " + std::to_string(i + 1) + label + " " + *wrong);
        }
        if (!ids.insert(device.id).second)
            return platform::Error("mapping device " + std::to_string(i + 1) + " repeats the id " + device.id);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::optional<PlugReport> parseMappedMessage(
    const MappedDevice& device, std::string_view topic, std::string_view payload)
{
    if (payload.size() > kMaxPayloadBytes)
        return std::nullopt;
    auto on = [&](const std::optional<MappedValue>& field) { return field && field->topic == topic; };
    if (!on(device.power) && !on(device.energy) && !on(device.state) && !on(device.availability))
        return std::nullopt;
    json::Value object = decodeObject(payload);
    PlugReport report;
    report.family = PlugFamily::Mapped;
    report.key = "map:" + device.id;
    report.unit = report.key;
    report.name = device.name;
    report.command = device.command;
    if (on(device.power))
        report.watts = finiteNumber(fieldValue(*device.power, object, payload));
    if (on(device.energy))
        report.energyWh = counterNumber(fieldValue(*device.energy, object, payload), device.energyToWattHours);
    if (on(device.state)) {
        json::Value state = fieldValue(*device.state, object, payload);
        if (sameText(state, device.stateOn))
            report.relayOn = true;
        else if (sameText(state, device.stateOff))
            report.relayOn = false;
    }
    if (on(device.availability)) {
        json::Value flag = fieldValue(*device.availability, object, payload);
        if (sameText(flag, device.availableOnline))
            report.online = true;
        else if (sameText(flag, device.availableOffline))
            report.online = false;
    }
    report.showsPlug = report.watts || report.relayOn;
    if (!report.showsPlug && !report.energyWh && !report.online)
        return std::nullopt;
    return report;
}

std::vector<std::string> mappedTopics(const MappedDevice& device)
{
    std::set<std::string> topics;
    for (const auto* field : { &device.power, &device.energy, &device.state, &device.availability }) {
        if (*field)
            topics.insert((*field)->topic);
    }
    return { topics.begin(), topics.end() };
}

}
