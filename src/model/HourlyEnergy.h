#pragma once

#include "platform/foundation/Date.h"
#include "json/Value.h"

#include <optional>
#include <vector>

namespace hestio {

/// The energy used in one clock hour, as the home and device energy
/// requests report it.
struct HourlyEnergy {
    /// The start of the hour.
    platform::Date from;
    double kWh { 0 };
};

/// The hours of an energy reply: its "energyConsumptions", each with "from"
/// (milliseconds since 1970) and "energyConsumed" (kWh), either a number or
/// a text that is wholly one. None when the reply has no such array. An
/// entry without a usable start, or whose energy is not a finite number of
/// at least 0, is left out: its hour then counts as one without data, never
/// as one without use.
[[nodiscard]] std::optional<std::vector<HourlyEnergy>> hourlyEnergyOf(const json::Value& reply);

}
