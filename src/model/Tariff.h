#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"

#include <optional>
#include <string>

namespace hestio::platform {
class UserDefaults;
}

namespace hestio {

/// What the household pays for energy: one price per kWh in a currency, and
/// optionally a second (off-peak) price for a stretch of the household's
/// local hours. Kept per user in the user defaults.
class Tariff {
public:
    /// The second price and the local hours it applies to: from `startHour`
    /// (inclusive) to `endHour` (exclusive), wrapping past midnight when
    /// `endHour` is not after `startHour` (22 to 6 is the night).
    struct OffPeak {
        double pricePerKWh { 0 };
        int startHour { 0 };
        int endHour { 0 };
        bool operator==(const OffPeak&) const = default;
    };

    /// The largest price per kWh accepted; larger is a typing error.
    static constexpr double maximumPrice = 1'000'000;

    /// ISO 4217 code: three capital letters ("EUR", "USD").
    std::string currency;
    double pricePerKWh { 0 };
    std::optional<OffPeak> offPeak;

    bool operator==(const Tariff&) const = default;

    /// What is wrong with the tariff, in words for the user; none when it can
    /// be kept: prices finite, 0 to `maximumPrice`; a three-letter code;
    /// hours 0 to 23 and not the same.
    [[nodiscard]] std::optional<std::string> problem() const;

    /// The price of energy used in local hour `hour` (0 to 23).
    [[nodiscard]] double priceForHour(int hour) const;
    /// The price of energy used at `instant`, by its hour in `zone`.
    [[nodiscard]] double priceAt(platform::Date instant, const platform::TimeZone& zone) const;
    /// The cost of `kWh` used in the hour that starts at `hourStart`.
    [[nodiscard]] double costOf(double kWh, platform::Date hourStart, const platform::TimeZone& zone) const;

    /// The tariff kept for `username`; none when none is kept or what is kept
    /// is unreadable or fails `problem()`.
    [[nodiscard]] static std::optional<Tariff> load(
        const platform::UserDefaults& defaults, const std::string& username);
    /// Keeps the tariff for `username` (the caller checked `problem()`).
    void save(platform::UserDefaults& defaults, const std::string& username) const;
    static void remove(platform::UserDefaults& defaults, const std::string& username);
    /// The user defaults key a user's tariff is kept under ("tariff.<username>").
    [[nodiscard]] static std::string defaultsKey(const std::string& username);
};

}
