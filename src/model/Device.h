#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <memory>
#include <string>

namespace hestio {

class User;

/// One metered device of the household, as the device list builds it from the
/// service's device objects. Also forms the two history requests of the
/// device graphs. Main thread only.
class Device {
public:
    /// `currentStatus`, `onOffAction` and `possibleActions` start empty, both
    /// meter flags false; `zone` is the household's fixed offset
    /// (householdTimeZone of the signed-in user).
    [[nodiscard]] static std::shared_ptr<Device> initWithID(std::string deviceID, std::string name,
        std::string location, platform::TimeZone zone = platform::TimeZone::gmt());
    Device(std::string deviceID, std::string name, std::string location,
        platform::TimeZone zone = platform::TimeZone::gmt());

    /// Builds a device from one element of the "devices" array. A device
    /// object without "location" is put in the room "Other".
    [[nodiscard]] static std::shared_ptr<Device> fromJSON(
        const json::Value& object, platform::TimeZone zone = platform::TimeZone::gmt());

    /// Starts the power-draw history request for the week before `toDate`
    /// (from midnight seven days earlier in the device's zone); the reply
    /// goes to `view` with tag 0. Returns the start of the window.
    [[nodiscard]] platform::Date getPowerDrawStatusesFromView(
        const std::shared_ptr<WebServiceConnectorDelegate>& view, platform::Date toDate) const;
    /// The same for hourly energy consumption.
    [[nodiscard]] platform::Date getEnergyConsumptionStatusesFromView(
        const std::shared_ptr<WebServiceConnectorDelegate>& view, platform::Date toDate) const;

    /// The start of the week ending at `toDate`: midnight, in `timezone`, of
    /// the day seven days before.
    [[nodiscard]] platform::Date historyWindowStart(platform::Date toDate) const;
    /// The parameter texts of the two history requests.
    [[nodiscard]] std::string powerDrawParameters(platform::Date from, platform::Date to) const;
    [[nodiscard]] std::string energyConsumptionParameters(platform::Date from, platform::Date to) const;

    /// The household's fixed-offset zone from the user's "UTCTimeZone" hours
    /// (GMT without a user or entry).
    [[nodiscard]] static platform::TimeZone householdTimeZone(const User* user);
    /// The text of a decoded identifier: strings as they are, numbers in
    /// decimal.
    [[nodiscard]] static std::string identifierText(const json::Value& value);

    std::string deviceID;
    std::string deviceName;
    std::string location;
    /// "timestamp" (milliseconds since 1970) and "powerDraw" (watts).
    json::Value currentStatus;
    /// Action descriptors in server order: "id", "device_id", "type", "name", "values".
    json::Value possibleActions;
    /// The on/off descriptor: "device_id" and "id".
    json::Value onOffAction;
    bool meterPluggedIn { false };
    bool meterSupplyingPower { false };
    platform::TimeZone timezone;
    /// The service confirmed a switch on or off after `currentStatus` was
    /// sampled, so that sample no longer tells whether the device is on.
    bool switchedSinceStatus { false };

    /// Records an on/off request the service accepted.
    void recordSwitch(bool on)
    {
        meterSupplyingPower = on;
        switchedSinceStatus = true;
    }
    /// Whether the device is on: its switch when that changed since the last
    /// sample, otherwise whether the sample shows it drawing power.
    [[nodiscard]] bool isOn() const;

private:
    [[nodiscard]] platform::Date startHistoryRequest(const std::shared_ptr<WebServiceConnectorDelegate>& view,
        platform::Date toDate, const char* path, bool powerDraw) const;
};

}
