#pragma once

#include "PowerModel.h"
#include "Store.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

/// A device action a suggestion proposes: run `actionId` with `value`.
struct ProposedAction {
    int64_t deviceId {};
    int64_t actionId {};
    int value {};
};

/// One energy-saving suggestion. Its identifier is stable (device id × 10 +
/// rule), so an answer recorded for it keeps it answered.
struct Suggestion {
    int64_t id {};
    int64_t deviceId {};
    std::string name;
    std::optional<ProposedAction> action;
};

/// Identifiers of a device's actions.
inline int64_t powerActionId(int64_t deviceId)
{
    return deviceId * 10 + 1;
}
inline int64_t rangeActionId(int64_t deviceId)
{
    return deviceId * 10 + 2;
}

/// The suggestions the last 24 hours of use call for, in device order: standby
/// draw that could be saved, a lamp left on in daylight, a heater set high, a
/// washing machine that ran warm. Devices whose meter is unplugged or silent
/// get none, since nothing is known about them.
std::vector<Suggestion> deriveSuggestions(const PowerModel& model, const std::vector<DeviceRow>& devices,
    const std::map<int64_t, StateTimeline>& timelines, int64_t nowMs);

/// The suggestion `id` stands for on `device` (its name left empty), whether
/// or not the last 24 hours still call for it: the window moves every minute,
/// and a user answers what the list showed a moment ago. None when the id
/// belongs to another device or its rule never applies to this kind.
[[nodiscard]] std::optional<Suggestion> suggestionWithId(int64_t id, const DeviceRow& device);

}
