#pragma once

#include "json/Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace hestio {

/// One energy-saving suggestion attached to a device, as the advice list
/// builds it. Main thread only.
class Suggestion {
public:
    [[nodiscard]] static std::shared_ptr<Suggestion> initWithName(
        std::string name, std::string location, std::int32_t suggestionID);
    Suggestion(std::string name, std::string location, std::int32_t suggestionID);

    /// Builds a suggestion from device object `device` and one of its
    /// suggestion objects. A text "id" holding a number gives that number,
    /// any other text 0.
    [[nodiscard]] static std::shared_ptr<Suggestion> fromJSON(const json::Value& device, const json::Value& suggestion);

    std::string name;
    std::string location;
    std::int32_t suggestionID { 0 };
    /// Kept as decoded; the client does not read it.
    json::Value action;
    std::string targetDevice;
    /// The service's identifier of that device ("id" of its device object),
    /// for asking later what it used; empty when the object has none.
    std::string deviceID;
    /// Kept as decoded; the client does not read it.
    json::Value state;
};

}
