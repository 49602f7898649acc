#include "model/MeterReading.h"

#include "model/Device.h"

#include <algorithm>
#include <cmath>

namespace hestio {

MeterReading MeterReading::of(const Device& device, platform::Date now)
{
    MeterReading reading;
    const json::Value& stamp = device.currentStatus["timestamp"];
    if (stamp.isNone() || stamp.isNull())
        return reading;
    // The stamp in whole milliseconds, as the device list has always read it.
    auto stamped = static_cast<double>(stamp.integerValue());
    reading.time = std::min(platform::Date::fromMilliseconds(stamped), now);
    double minutes = (now.millisecondsSince1970() - stamped) / 1000 / 60;
    if (minutes >= recentMinutes) {
        reading.state = State::Silent;
        return reading;
    }
    if (-minutes > aheadMinutes) {
        reading.state = State::ClockAhead;
        return reading;
    }
    if (!device.meterPluggedIn) {
        reading.state = State::Disconnected;
        return reading;
    }
    const json::Value& draw = device.currentStatus["powerDraw"];
    double watts = draw.isNumber() ? draw.doubleValue() : NAN;
    // A plug meter cannot feed power back: a negative reading is as broken
    // as an absurdly large one.
    if (!std::isfinite(watts) || watts < 0 || watts > maximumPlausibleWatts) {
        reading.state = State::Implausible;
        return reading;
    }
    reading.state = State::Reporting;
    reading.watts = watts;
    return reading;
}

const char* MeterReading::problemOf(State state)
{
    switch (state) {
    case State::Reporting:
        return "";
    case State::NeverReported:
        return "Never reported";
    case State::Silent:
        return "No recent data reported";
    case State::ClockAhead:
        return "Meter clock is ahead";
    case State::Disconnected:
        return "Meter is disconnected";
    case State::Implausible:
        return "Meter reading is not valid";
    }
    return "";
}

}
