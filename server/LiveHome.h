#pragma once

#include "PowerModel.h"
#include "Suggestions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

/// What a real device reports now.
struct LiveStatus {
    /// The reading that stands now; none when the plug never sent one.
    std::optional<PowerSample> current;
    bool pluggedIn { false };
    bool switchedOn { false };
};

/// The answer to a switching request: confirmed by the plug, or the reason it was not.
struct SwitchOutcome {
    bool confirmed { false };
    std::string error;
};

/// A household whose devices are real plugs rather than the simulation: the
/// service asks it for their state, history and switching.
class LiveHome {
public:
    virtual ~LiveHome() = default;
    [[nodiscard]] virtual LiveStatus status(int64_t deviceId, int64_t nowMs) = 0;
    /// Raw samples of one device with fromMs <= t <= toMs, ascending.
    [[nodiscard]] virtual std::vector<PowerSample> samples(int64_t deviceId, int64_t fromMs, int64_t toMs) = 0;
    /// Energy per clock hour of `zone` of the devices together, hours starting in [fromMs, toMs).
    [[nodiscard]] virtual std::vector<EnergyBlock> hourlyEnergy(
        const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone)
        = 0;
    /// The suggestions the devices' own history calls for.
    [[nodiscard]] virtual std::vector<Suggestion> suggestions(
        const std::vector<DeviceRow>& devices, const std::string& zone, int64_t nowMs)
        = 0;
    /// Switches the device and waits for the plug to report the new state;
    /// `name`, the household's name for it, goes into the error texts.
    [[nodiscard]] virtual SwitchOutcome switchTo(int64_t deviceId, const std::string& name, bool on) = 0;
};

}
