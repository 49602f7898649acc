#pragma once

#include "platform/foundation/Date.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// A time zone: a named region of the zone database ("America/New_York") or
/// a fixed offset from GMT. A small value; copies share the zone's rules.
class TimeZone {
public:
    /// The zone of that name (zone database names, "GMT", "UTC", and custom
    /// offsets such as "GMT-05:00"); none for a name the database does not know.
    [[nodiscard]] static std::optional<TimeZone> named(std::string_view name);
    /// A fixed zone `seconds` east of GMT, named like "GMT-0500" ("GMT" at 0).
    [[nodiscard]] static TimeZone forSecondsFromGMT(int seconds);
    /// A fixed zone from the household's hour-offset text: "-5" is five hours
    /// west of GMT, "+2" or "2" two hours east; a fraction is dropped; empty
    /// or unreadable text gives GMT.
    [[nodiscard]] static TimeZone forHourOffsetText(std::string_view hours);
    [[nodiscard]] static TimeZone gmt();

    /// The device's zone: the one fixed by setDefaultZone(), otherwise the
    /// zone named by $TZ, otherwise the host's configured zone. An unknown
    /// $TZ gives GMT (and one log line).
    [[nodiscard]] static TimeZone defaultZone();
    /// Fixes the device's zone (tests); none goes back to the environment.
    static void setDefaultZone(std::optional<TimeZone> zone);

    [[nodiscard]] const std::string& name() const;
    /// The offset from GMT in effect at `date`, daylight saving included.
    [[nodiscard]] int secondsFromGMT(Date date) const;
    [[nodiscard]] bool isDaylightSavingTime(Date date) const;

    bool operator==(const TimeZone& other) const { return name() == other.name(); }

private:
    friend struct TimeZoneAccess;
    struct Rules;
    explicit TimeZone(std::shared_ptr<const Rules> rules)
        : m_rules(std::move(rules))
    {
    }
    std::shared_ptr<const Rules> m_rules;
};

}
