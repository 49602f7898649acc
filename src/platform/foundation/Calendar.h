#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"

#include <memory>

namespace hestio::platform {

/// A date split into the fields of the Gregorian calendar, as seen in one zone.
struct DateComponents {
    int year { 1970 };
    int month { 1 }; // 1 = January
    int day { 1 };
    int hour { 0 };
    int minute { 0 };
    int second { 0 };
    int weekday { 0 }; // 1 = Sunday … 7 = Saturday; ignored when building a date
    bool operator==(const DateComponents&) const = default;
};

/// The Gregorian calendar in one time zone: splits instants into
/// components and builds instants back from them.
class Calendar {
public:
    /// In the device's zone.
    Calendar();
    explicit Calendar(TimeZone zone);
    ~Calendar();
    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);

    [[nodiscard]] const TimeZone& timeZone() const { return m_zone; }
    void setTimeZone(TimeZone zone);

    /// Whole seconds only; any fraction of `date` is dropped.
    [[nodiscard]] DateComponents components(Date date) const;
    /// Out-of-range fields carry over (month 13 is January of the next year,
    /// second -1 the last second of the minute before). A wall time skipped by
    /// a clock change moves forward to the first valid instant after it; a
    /// wall time that happens twice means the first of them.
    [[nodiscard]] Date date(const DateComponents& components) const;

    /// 00:00:00 of `date`'s calendar day, or the day's first instant where a
    /// clock change skips midnight.
    [[nodiscard]] Date startOfDay(Date date) const;
    /// 23:59:59 of `date`'s calendar day.
    [[nodiscard]] Date lastSecondOfDay(Date date) const;

private:
    struct State;
    TimeZone m_zone;
    std::unique_ptr<State> m_state;
};

/// The instant at 00:00:00 of `date`'s calendar day in `zone`.
[[nodiscard]] Date dateAtMidnight(Date date, const TimeZone& zone);
/// The instant at 23:59:59 of `date`'s calendar day in `zone`.
[[nodiscard]] Date dateJustBeforeMidnight(Date date, const TimeZone& zone);

}
