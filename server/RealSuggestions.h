#pragma once

#include "PowerModel.h"
#include "Suggestions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hestio::sim {

/// Rules of the real household's suggestions, identified as device id × 10 +
/// rule like the demo's.
constexpr int kStandbyRule = 5;
constexpr int kLongRunRule = 6;

/// Draw below this is off; at or above it all night is standby worth telling.
constexpr double kStandbyWatts = 3.0;
/// A run is a stretch drawing at least this much.
constexpr double kRunWatts = 10.0;

/// The standby suggestion for a device from its samples of one night (00:00
/// to 05:00 on the household's clock, `nightFromMs` to `nightToMs`): when
/// they cover the night without a gap over 15 minutes and never fall below
/// kStandbyWatts. Its saving is the night's mean draw over a year of nights.
[[nodiscard]] std::optional<Suggestion> standbySuggestion(const std::string& name, int64_t deviceId,
    const std::vector<PowerSample>& night, int64_t nightFromMs, int64_t nightToMs);

/// The long-run suggestion: the device has drawn at least kRunWatts since
/// long before now, over three times as long as the median of its earlier
/// runs (at least three of them) and at least 30 minutes longer. `samples`
/// ascending, up to now.
[[nodiscard]] std::optional<Suggestion> longRunSuggestion(
    const std::string& name, int64_t deviceId, const std::vector<PowerSample>& samples, int64_t nowMs);

/// The start of the most recent night (00:00 on the household's clock whose
/// 05:00 has passed) before `nowMs`, given the zone's offset now.
[[nodiscard]] int64_t lastNightStart(int64_t nowMs, int64_t offsetMs);

}
