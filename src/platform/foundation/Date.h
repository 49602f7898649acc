#pragma once

#include <compare>

namespace hestio::platform {

/// A point in time: seconds since 1 January 1970 UTC, as a double, the way the
/// service's millisecond timestamps divided by 1000 arrive.
class Date {
public:
    constexpr Date() = default;
    constexpr explicit Date(double secondsSince1970)
        : m_seconds(secondsSince1970)
    {
    }
    [[nodiscard]] static constexpr Date fromMilliseconds(double millisecondsSince1970)
    {
        return Date(millisecondsSince1970 / 1000.0);
    }

    [[nodiscard]] constexpr double timeIntervalSince1970() const { return m_seconds; }
    [[nodiscard]] constexpr double millisecondsSince1970() const { return m_seconds * 1000.0; }
    [[nodiscard]] constexpr double timeIntervalSince(Date other) const { return m_seconds - other.m_seconds; }
    [[nodiscard]] constexpr Date addingTimeInterval(double seconds) const { return Date(m_seconds + seconds); }

    constexpr auto operator<=>(const Date&) const = default;

private:
    double m_seconds { 0 };
};

}
