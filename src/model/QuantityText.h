#pragma once

#include "platform/foundation/Locale.h"

#include <string>

namespace hestio::quantity {

/// The space between a number and its unit: a no-break one, so that a unit
/// never stands alone at the start of a line.
inline constexpr const char* unitSpace = "\u00a0";

/// A number for reading in `locale`: its digits, separators and grouping,
/// with exactly `fractionDigits` after the separator ("1,234.5" in en_US,
/// "1.234,5" in de_DE with one).
[[nodiscard]] std::string number(double value, int fractionDigits, const platform::Locale& locale);

/// Power with the digits that matter, the one form every text of ours uses
/// (Home, the leave-home notice, the device graphs' summaries): "4.5 W"
/// below 10 W, whole watts up to 999 W, then kilowatts, "1.23 kW", "12.3 kW",
/// "250 kW". Each step up is taken where the shorter form would round to the
/// next one's size ("999.5 W" is "1.00 kW"). What rounds to zero is "0 W".
[[nodiscard]] std::string power(double watts, const platform::Locale& locale = platform::Locale::current());

/// Energy the same way: "0.35 kWh", "12.4 kWh", "1,250 kWh".
[[nodiscard]] std::string energy(double kWh, const platform::Locale& locale = platform::Locale::current());

}
