#include "model/PowerNow.h"

#include "model/MeterReading.h"

#include <algorithm>
#include <cmath>

namespace hestio {

PowerNow PowerNow::of(const std::vector<std::shared_ptr<Device>>& devices, platform::Date now)
{
    PowerNow power;
    std::vector<Draw> drawing;
    for (const auto& device : devices) {
        if (!device)
            continue;
        MeterReading reading = MeterReading::of(*device, now);
        if (!reading.isReporting()) {
            ++power.metersNotReporting;
            continue;
        }
        double watts = *reading.watts;
        ++power.metersReporting;
        power.totalWatts += watts;
        if (!power.readingTime || *reading.time > *power.readingTime)
            power.readingTime = reading.time;
        if (watts > 0)
            drawing.push_back({ device, watts });
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
