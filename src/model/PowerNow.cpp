#include "model/PowerNow.h"

#include <algorithm>
#include <cmath>

namespace hestio {

std::optional<double> PowerNow::reportedWatts(const Device& device, platform::Date now)
{
    const json::Value& stamp = device.currentStatus["timestamp"];
    if (stamp.isNone() || !device.meterPluggedIn)
        return std::nullopt;
    double minutes = (now.millisecondsSince1970() - static_cast<double>(stamp.integerValue())) / 1000 / 60;
    if (minutes >= recentMinutes)
        return std::nullopt;
    const json::Value& draw = device.currentStatus["powerDraw"];
    if (!draw.isNumber())
        return std::nullopt;
    double watts = draw.doubleValue();
    // A plug meter cannot feed power back: a negative reading is as broken
    // as an absurdly large one.
    if (!std::isfinite(watts) || watts < 0 || watts > maximumPlausibleWatts)
        return std::nullopt;
    return watts;
}

PowerNow PowerNow::of(const std::vector<std::shared_ptr<Device>>& devices, platform::Date now)
{
    PowerNow power;
    std::vector<Draw> drawing;
    for (const auto& device : devices) {
        if (!device)
            continue;
        auto watts = reportedWatts(*device, now);
        if (!watts) {
            ++power.metersNotReporting;
            continue;
        }
        ++power.metersReporting;
        power.totalWatts += *watts;
        auto stamp = std::min(
            platform::Date::fromMilliseconds(static_cast<double>(device->currentStatus["timestamp"].integerValue())),
            now);
        if (!power.readingTime || stamp > *power.readingTime)
            power.readingTime = stamp;
        if (*watts > 0)
            drawing.push_back({ device, *watts });
    }
    auto more = [](const Draw& a, const Draw& b) {
        if (a.watts != b.watts)
            return a.watts > b.watts;
        if (a.device->deviceName != b.device->deviceName)
            return a.device->deviceName < b.device->deviceName;
        return a.device->deviceID < b.device->deviceID;
    };
    std::size_t kept = std::min(topCount, drawing.size());
    std::partial_sort(drawing.begin(), drawing.begin() + static_cast<std::ptrdiff_t>(kept), drawing.end(), more);
    drawing.resize(kept);
    power.top = std::move(drawing);
    return power;
}

}
