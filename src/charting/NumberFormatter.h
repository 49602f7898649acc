#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/Decimal.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio::chart {

using platform::Decimal;

/// Turns a tick location into label text.
class NumberFormatter {
public:
    virtual ~NumberFormatter() = default;
    [[nodiscard]] virtual std::string stringForObjectValue(const Decimal& value) const = 0;
};

/// Plain decimal text with a fixed number of fraction digits: the axes'
/// default (at least one integer digit, one fraction digit: "0.5", "12.0").
/// From 1e15 on (`scientificFrom`) the text is scientific with the same
/// fraction digits ("2.5e20"), so that a label stays short whatever the value.
class DecimalNumberFormatter : public NumberFormatter {
public:
    /// Integer digits from which the text is scientific.
    static constexpr int scientificFrom = 16;

    DecimalNumberFormatter(int minimumFractionDigits = 1, int maximumFractionDigits = 1);
    std::string stringForObjectValue(const Decimal& value) const override;

private:
    std::string plainText(const Decimal& rounded) const;
    int m_minimumFractionDigits;
    int m_maximumFractionDigits;
};

/// Reads a value as seconds after a reference date and formats that instant.
class TimeFormatter : public NumberFormatter {
public:
    /// Seconds between 1970 and the platform's reference date, 1 January 2001 UTC.
    static constexpr double referenceDateSince1970 = 978307200.0;

    /// A date formatter with medium date and time styles.
    TimeFormatter();
    explicit TimeFormatter(std::shared_ptr<const platform::DateFormatter> dateFormatter)
        : m_dateFormatter(std::move(dateFormatter))
    {
    }
    const std::shared_ptr<const platform::DateFormatter>& dateFormatter() const { return m_dateFormatter; }
    const std::optional<platform::Date>& referenceDate() const { return m_referenceDate; }
    void setReferenceDate(std::optional<platform::Date> date) { m_referenceDate = date; }

    std::string stringForObjectValue(const Decimal& value) const override;

private:
    std::shared_ptr<const platform::DateFormatter> m_dateFormatter;
    std::optional<platform::Date> m_referenceDate;
};

}
