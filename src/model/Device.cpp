#include "model/Device.h"

#include "model/User.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Calendar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace hestio {

namespace {

    constexpr double kSecondsPerWeek = 604800;
    /// The widest offset a fixed zone takes, in hours either side of GMT.
    constexpr std::int64_t kWidestOffsetHours = 18;

    /// Stands between a history request and the screen that asked for it.
    /// It owns the request, and the running request owns it, so the exchange
    /// lives until its answer although neither the device nor the screen
    /// keeps it; the cycle ends with the callback.
    class HistoryRequestRelay final : public WebServiceConnectorDelegate {
    public:
        explicit HistoryRequestRelay(std::shared_ptr<WebServiceConnectorDelegate> view)
            : m_view(std::move(view))
        {
        }
        std::shared_ptr<WebServiceConnector> request;

        // Handed on whole, so that the view can take the reply's text too.
        void requestFinished(WebServiceConnector& finished, bool success, const json::Value& data) override
        {
            auto view = finish();
            if (view)
                view->requestFinished(finished, success, data);
        }
        bool requestToServerFailedWithError(
            const platform::TransportError& error, const std::string& parameters) override
        {
            auto view = finish();
            return view && view->requestToServerFailedWithError(error, parameters);
        }

    private:
        std::shared_ptr<WebServiceConnectorDelegate> finish()
        {
            request.reset();
            return std::move(m_view);
        }
        std::shared_ptr<WebServiceConnectorDelegate> m_view;
    };

    std::string formatMilliseconds(platform::Date date)
    {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.0f", date.millisecondsSince1970());
        return buffer;
    }

}

std::shared_ptr<Device> Device::initWithID(
    std::string deviceID, std::string name, std::string location, platform::TimeZone zone)
{
    return std::make_shared<Device>(std::move(deviceID), std::move(name), std::move(location), std::move(zone));
}

Device::Device(std::string deviceID, std::string name, std::string location, platform::TimeZone zone)
    : deviceID(std::move(deviceID))
    , deviceName(std::move(name))
    , location(std::move(location))
    , timezone(std::move(zone))
{
}

std::shared_ptr<Device> Device::fromJSON(const json::Value& object, platform::TimeZone zone)
{
    // A device the service has put in no room is listed under "Other" rather
    // than under a room without a name.
    std::string room = object["location"].isNone() || object["location"].isNull()
        ? "Other"
        : std::string(object["location"].stringValue());
    auto device = initWithID(
        identifierText(object["id"]), std::string(object["name"].stringValue()), std::move(room), std::move(zone));
    device->currentStatus = object["currentStatus"];
    device->possibleActions = object["possibleActions"];
    device->onOffAction = object["onOff"];
    device->meterPluggedIn = object["meterPluggedIn"].boolValue();
    device->meterSupplyingPower = object["meterSupplyingPower"].boolValue();
    return device;
}

platform::TimeZone Device::householdTimeZone(const User* user)
{
    if (!user)
        return platform::TimeZone::gmt();
    const json::Value& hours = user->household["UTCTimeZone"];
    if (hours.isString())
        return platform::TimeZone::forHourOffsetText(hours.stringValue());
    // The hours are limited before they become seconds: a value from the
    // service far beyond any zone must neither overflow the multiplication nor
    // wrap around to some other offset. An unsigned number too large for a
    // signed one is read as its own (huge) value, not as a negative one.
    std::int64_t whole = hours.kind() == json::Kind::Unsigned
        ? static_cast<std::int64_t>(std::min<std::uint64_t>(hours.unsignedValue(), kWidestOffsetHours))
        : std::clamp<std::int64_t>(hours.integerValue(), -kWidestOffsetHours, kWidestOffsetHours);
    return platform::TimeZone::forSecondsFromGMT(static_cast<int>(whole) * 3600);
}

bool Device::isOn() const
{
    if (switchedSinceStatus)
        return meterSupplyingPower;
    return static_cast<float>(currentStatus["powerDraw"].doubleValue()) > 0;
}

std::string Device::identifierText(const json::Value& value)
{
    if (value.isString())
        return std::string(value.stringValue());
    if (value.kind() == json::Kind::Double) {
        double number = value.doubleValue();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
            return std::to_string(static_cast<long long>(number));
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", number);
        return buffer;
    }
    if (value.kind() == json::Kind::Unsigned)
        return std::to_string(value.unsignedValue());
    if (value.isNumber())
        return std::to_string(value.integerValue());
    return {};
}

platform::Date Device::historyWindowStart(platform::Date toDate) const
{
    return platform::dateAtMidnight(toDate.addingTimeInterval(-kSecondsPerWeek), timezone);
}

std::string Device::powerDrawParameters(platform::Date from, platform::Date to) const
{
    return "device_id=" + escapeParameter(deviceID) + "&ascending=true&from=" + formatMilliseconds(from)
        + "&to=" + formatMilliseconds(to) + "&filter=true&rounding=1&scale=RAW";
}

std::string Device::energyConsumptionParameters(platform::Date from, platform::Date to) const
{
    return "device_id=" + escapeParameter(deviceID) + "&from=" + formatMilliseconds(from)
        + "&to=" + formatMilliseconds(to) + "&block=CLOCK_HOUR";
}

platform::Date Device::getPowerDrawStatusesFromView(
    const std::shared_ptr<WebServiceConnectorDelegate>& view, platform::Date toDate) const
{
    return startHistoryRequest(view, toDate, endpoints::kDevicePowerDraw.path, true);
}

platform::Date Device::getEnergyConsumptionStatusesFromView(
    const std::shared_ptr<WebServiceConnectorDelegate>& view, platform::Date toDate) const
{
    return startHistoryRequest(view, toDate, endpoints::kDeviceEnergy.path, false);
}

platform::Date Device::startHistoryRequest(const std::shared_ptr<WebServiceConnectorDelegate>& view,
    platform::Date toDate, const char* path, bool powerDraw) const
{
    platform::Date start = historyWindowStart(toDate);
    auto parameters = powerDraw ? powerDrawParameters(start, toDate) : energyConsumptionParameters(start, toDate);
    auto relay = std::make_shared<HistoryRequestRelay>(view);
    relay->request = WebServiceConnector::create(path, parameters, false);
    relay->request->setDelegate(relay);
    relay->request->startConnectionForDownload(true);
    return start;
}

}
