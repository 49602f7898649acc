#include "model/Suggestion.h"

#include "model/Device.h"

namespace hestio {

std::shared_ptr<Suggestion> Suggestion::initWithName(std::string name, std::string location, std::int32_t suggestionID)
{
    return std::make_shared<Suggestion>(std::move(name), std::move(location), suggestionID);
}

Suggestion::Suggestion(std::string name, std::string location, std::int32_t suggestionID)
    : name(std::move(name))
    , location(std::move(location))
    , suggestionID(suggestionID)
{
}

std::shared_ptr<Suggestion> Suggestion::fromJSON(const json::Value& device, const json::Value& suggestion)
{
    // A device in no room (its location missing or null) is listed under
    // "Other", as the device list does.
    const json::Value& location = device["location"];
    std::string room = location.isNone() || location.isNull() ? "Other" : std::string(location.stringValue());
    auto record = initWithName(std::string(suggestion["name"].stringValue()), std::move(room),
        static_cast<std::int32_t>(suggestion["id"].integerValue()));
    record->action = suggestion["action"];
    record->targetDevice = std::string(device["name"].stringValue());
    record->deviceID = Device::identifierText(device["id"]);
    record->state = suggestion["state"];
    return record;
}

}
