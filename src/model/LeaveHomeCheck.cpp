#include "model/LeaveHomeCheck.h"

#include "model/MeterReading.h"
#include "model/QuantityText.h"
#include "model/ShownName.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <cmath>

namespace hestio {

namespace {
    // Both leave-home settings are kept per user as one dictionary in the
    // defaults; a missing key or a value of another type reads as empty.
    using Setting = platform::PropertyListValue::Dictionary;

    Setting storedSetting(const platform::UserDefaults& defaults, const std::string& key)
    {
        auto stored = defaults.objectForKey(key);
        const auto* values = stored ? stored->asDictionary() : nullptr;
        return values ? *values : Setting {};
    }

    const platform::PropertyListValue* entry(const Setting& values, const char* key)
    {
        auto found = values.find(key);
        return found != values.end() ? &found->second : nullptr;
    }

    bool isFlag(const platform::PropertyListValue* value, bool expected)
    {
        return value && value->asBool() == std::optional<bool>(expected);
    }
}

LeaveHomeCheck LeaveHomeCheck::of(
    const std::vector<std::shared_ptr<Device>>& devices, double thresholdWatts, platform::Date now)
{
    LeaveHomeCheck check;
    for (const auto& device : devices) {
        if (!device)
            continue;
        auto watts = MeterReading::of(*device, now).watts;
        if (watts && *watts > thresholdWatts)
            check.drawing.push_back({ device, *watts, hasOnOffAction(*device) });
    }
    std::stable_sort(check.drawing.begin(), check.drawing.end(), [](const Drawing& a, const Drawing& b) {
        if (a.watts != b.watts)
            return a.watts > b.watts;
        if (a.device->deviceName != b.device->deviceName)
            return a.device->deviceName < b.device->deviceName;
        return a.device->deviceID < b.device->deviceID;
    });
    return check;
}

std::string LeaveHomeCheck::text() const
{
    if (drawing.empty())
        return {};
    std::string text = "Still on at home: ";
    std::size_t named = std::min(namedCount, drawing.size());
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0)
            text += ", ";
        text += displayName(*drawing[i].device) + " " + quantity::power(drawing[i].watts);
    }
    if (drawing.size() > named)
        text += " and " + std::to_string(drawing.size() - named) + " more";
    return text;
}

std::string LeaveHomeCheck::displayName(const Device& device)
{
    return shownName(device.deviceName);
}

bool LeaveHomeCheck::hasOnOffAction(const Device& device)
{
    const json::Value& action = device.onOffAction;
    if (!action.isDictionary())
        return false;
    return !Device::identifierText(action["id"]).empty() && !Device::identifierText(action["device_id"]).empty();
}

std::optional<std::string> LeaveHomeThreshold::problem(double watts)
{
    if (!std::isfinite(watts) || watts < 0 || watts > maximumWatts)
        return "The threshold must be a number of watts from 0 to 1,000,000.";
    return std::nullopt;
}

std::string LeaveHomeThreshold::defaultsKey(const std::string& username)
{
    return "leaveHomeCheck." + username;
}

LeaveHomeThreshold LeaveHomeThreshold::load(const platform::UserDefaults& defaults, const std::string& username)
{
    LeaveHomeThreshold threshold;
    Setting values = storedSetting(defaults, defaultsKey(username));
    if (isFlag(entry(values, "on"), false)) {
        threshold.watts.reset();
        return threshold;
    }
    const auto* watts = entry(values, "watts");
    if (!watts)
        return threshold;
    std::optional<double> value = watts->asReal();
    if (!value)
        if (auto integer = watts->asInteger())
            value = static_cast<double>(*integer);
    if (value && !problem(*value))
        threshold.watts = *value;
    return threshold;
}

void LeaveHomeThreshold::save(platform::UserDefaults& defaults, const std::string& username) const
{
    platform::PropertyListValue::Dictionary values;
    values["on"] = watts.has_value();
    if (watts)
        values["watts"] = *watts;
    defaults.setObject(std::move(values), defaultsKey(username));
}

std::string HomePlaces::defaultsKey(const std::string& username)
{
    return "leaveHomePlaces." + username;
}

HomePlaces HomePlaces::load(const platform::UserDefaults& defaults, const std::string& username)
{
    HomePlaces places;
    Setting values = storedSetting(defaults, defaultsKey(username));
    places.asked = isFlag(entry(values, "asked"), true);
    const auto* titles = entry(values, "home");
    const auto* list = titles ? titles->asArray() : nullptr;
    for (std::size_t i = 0; list && i < list->size(); ++i)
        if (const auto* title = (*list)[i].asString())
            places.titles.insert(*title);
    return places;
}

void HomePlaces::save(platform::UserDefaults& defaults, const std::string& username) const
{
    platform::PropertyListValue::Dictionary values;
    values["asked"] = asked;
    platform::PropertyListValue::Array home;
    for (const auto& title : titles)
        home.push_back(title);
    values["home"] = std::move(home);
    defaults.setObject(std::move(values), defaultsKey(username));
}

}
