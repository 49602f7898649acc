#pragma once

#include "json/Value.h"

#include <optional>
#include <string_view>

namespace hestio::sim {

/// A broker payload decoded as a JSON object or array; a handle holding
/// nothing when it is not one (never throws).
[[nodiscard]] json::Value decodeObject(std::string_view payload);

/// A JSON number that is finite; none for any other value (a numeric text
/// included, so "12abc" never reads as 12).
[[nodiscard]] std::optional<double> finiteNumber(const json::Value& value);

/// An energy counter in watt-hours: the number times `toWattHours`, when it is
/// finite, not negative and below a terawatt-hour.
[[nodiscard]] std::optional<double> counterNumber(const json::Value& value, double toWattHours);

/// The value at a dotted path ("ENERGY.Power") of a decoded object; a
/// handle holding nothing when any step is missing.
[[nodiscard]] const json::Value& valueAtPath(const json::Value& object, std::string_view path);

}
