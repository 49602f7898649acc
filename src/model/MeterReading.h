#pragma once

#include "platform/foundation/Date.h"

#include <optional>

namespace hestio {

class Device;

/// What a device's meter last told, judged by the one rule that the device
/// list, the device screen, Home and the leave-home check all share: a
/// reading counts only when it is recent, from a plugged-in meter, stamped
/// no later than a few minutes ahead of now, and a draw a plug meter can
/// give. Plain arithmetic on the device given; no clock of its own.
struct MeterReading {
    enum class State {
        /// A reading to believe: `watts` holds it.
        Reporting,
        /// No reading at all (no status, or one without its time).
        NeverReported,
        /// The newest reading is `recentMinutes` old or older.
        Silent,
        /// The reading is stamped more than `aheadMinutes` after now: the
        /// meter's clock is wrong, and such a reading would pass as fresh
        /// for ever.
        ClockAhead,
        /// Recent, but the meter is unplugged.
        Disconnected,
        /// Recent from a plugged-in meter, but the draw is missing, not a
        /// number, negative or above `maximumPlausibleWatts`.
        Implausible,
    };

    /// A reading this old or older no longer tells what the device draws.
    static constexpr double recentMinutes = 5;
    /// A meter's clock may run a little ahead of this one; a reading stamped
    /// further ahead than this is in error.
    static constexpr double aheadMinutes = 5;
    /// More than any household device draws; a larger reading comes from a
    /// broken meter and would swamp any sum.
    static constexpr double maximumPlausibleWatts = 1'000'000;

    /// The device's reading at `now`.
    [[nodiscard]] static MeterReading of(const Device& device, platform::Date now);

    State state { State::NeverReported };
    /// The draw, with `Reporting` only.
    std::optional<double> watts;
    /// The time the meter stamped on its reading, never later than `now`;
    /// none when it never reported.
    std::optional<platform::Date> time;

    [[nodiscard]] bool isReporting() const { return state == State::Reporting; }
    /// Why a reading in `state` does not count, for the user ("No recent
    /// data reported"); empty for `Reporting`.
    [[nodiscard]] static const char* problemOf(State state);
    [[nodiscard]] const char* problem() const { return problemOf(state); }
};

}
