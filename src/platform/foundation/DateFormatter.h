#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// Turns dates into text and back, either with a Unicode date pattern
/// ("MM/dd/yyyy hh:mm:ss a", "MM-dd-YY hh:mm a" with the week-numbering
/// year) or with the locale's date and time styles, in one zone and locale
/// (the device's unless set). Whichever of pattern and styles was set last
/// decides. Not thread-safe: one formatter per thread.
class DateFormatter {
public:
    enum class Style { None, Short, Medium, Long, Full };

    DateFormatter();
    explicit DateFormatter(std::string pattern);
    ~DateFormatter();
    DateFormatter(const DateFormatter& other);
    DateFormatter& operator=(const DateFormatter& other);

    /// The pattern in use; with styles set, the locale's pattern for them.
    [[nodiscard]] std::string dateFormat() const;
    void setDateFormat(std::string pattern);
    /// The locale's own pattern for the fields of `skeleton` ("EEEdMMM":
    /// "EEE, MMM d" in en_US, "EEE, d. MMM" in de_DE), found again whenever
    /// the locale changes. Like setDateFormat, it replaces styles.
    void setDateFormatFromTemplate(std::string skeleton);
    [[nodiscard]] Style dateStyle() const { return m_dateStyle; }
    [[nodiscard]] Style timeStyle() const { return m_timeStyle; }
    void setDateStyle(Style style);
    void setTimeStyle(Style style);

    [[nodiscard]] const TimeZone& timeZone() const { return m_zone; }
    void setTimeZone(TimeZone zone);
    [[nodiscard]] const Locale& locale() const { return m_locale; }
    void setLocale(Locale locale);

    [[nodiscard]] std::string stringFromDate(Date date) const;
    /// The date the whole of `text` denotes, none when it does not match.
    [[nodiscard]] std::optional<Date> dateFromString(std::string_view text) const;

private:
    struct Engine;
    [[nodiscard]] Engine& engine() const;
    void invalidate();

    std::string m_pattern;
    /// Set by setDateFormatFromTemplate: `m_pattern` is then found for the locale.
    std::string m_template;
    bool m_usesStyles { false };
    Style m_dateStyle { Style::None };
    Style m_timeStyle { Style::None };
    TimeZone m_zone;
    Locale m_locale;
    mutable std::unique_ptr<Engine> m_engine;
};

}
