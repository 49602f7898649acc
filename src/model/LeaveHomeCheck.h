#pragma once

#include "model/Device.h"
#include "model/MeterReading.h"
#include "platform/foundation/Date.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hestio::platform {
class UserDefaults;
}

namespace hestio {

/// What is still on when the household leaves: the devices whose meters
/// report more than a threshold, most first, and the notice that names them.
/// Plain arithmetic on the devices given; no clock of its own.
class LeaveHomeCheck {
public:
    /// How many devices the notice names; the others are counted ("and 3 more").
    static constexpr std::size_t namedCount = 5;

    struct Drawing {
        std::shared_ptr<Device> device;
        double watts { 0 };
        /// The device has an on/off action, so the notice offers "Switch off".
        bool canSwitchOff { false };
    };

    /// The devices of `devices` drawing more than `thresholdWatts` at `now`.
    /// A meter whose reading MeterReading does not accept is left out.
    /// Most first; equal draws go by name, then identifier.
    [[nodiscard]] static LeaveHomeCheck of(
        const std::vector<std::shared_ptr<Device>>& devices, double thresholdWatts, platform::Date now);

    /// "Still on at home: Heater 1.80 kW, TV 90 W" (powers as
    /// quantity::power writes them); empty when nothing is on.
    [[nodiscard]] std::string text() const;
    [[nodiscard]] bool isEmpty() const { return drawing.empty(); }

    /// The device's name as shown and logged (see shownName).
    [[nodiscard]] static std::string displayName(const Device& device);
    /// Whether the device's on/off descriptor names an action and a device.
    [[nodiscard]] static bool hasOnOffAction(const Device& device);

    std::vector<Drawing> drawing;
};

/// The draw above which a device counts as left on, per user; the check can
/// be off. Kept in the user defaults under "leaveHomeCheck.<username>".
class LeaveHomeThreshold {
public:
    static constexpr double defaultWatts = 25;
    /// The largest threshold accepted: what a meter is still believed.
    static constexpr double maximumWatts = MeterReading::maximumPlausibleWatts;

    /// None: the check is off.
    std::optional<double> watts { defaultWatts };

    bool operator==(const LeaveHomeThreshold&) const = default;

    [[nodiscard]] bool isOff() const { return !watts; }
    /// What is wrong with `watts`, in words for the user; none when it can be
    /// kept: a finite number from 0 to `maximumWatts`.
    [[nodiscard]] static std::optional<std::string> problem(double watts);

    /// The threshold kept for `username`: the default when none is kept or
    /// what is kept is unreadable or out of bounds.
    [[nodiscard]] static LeaveHomeThreshold load(const platform::UserDefaults& defaults, const std::string& username);
    void save(platform::UserDefaults& defaults, const std::string& username) const;
    [[nodiscard]] static std::string defaultsKey(const std::string& username);
};

/// The saved places that count as home for a user: leaving one of them runs
/// the check, leaving another does not. Places are named by their titles
/// (the names of the regions watched). Kept in the user defaults under
/// "leaveHomePlaces.<username>".
class HomePlaces {
public:
    std::set<std::string> titles;
    /// Whether the user was asked, or chose in the account screen, which
    /// places are home: the first departure with none marked asks once.
    bool asked { false };

    bool operator==(const HomePlaces&) const = default;

    [[nodiscard]] bool isHome(const std::string& title) const { return titles.count(title) != 0; }
    /// Nothing kept, or what is kept unreadable: none marked, not asked.
    [[nodiscard]] static HomePlaces load(const platform::UserDefaults& defaults, const std::string& username);
    void save(platform::UserDefaults& defaults, const std::string& username) const;
    [[nodiscard]] static std::string defaultsKey(const std::string& username);
};

}
