#pragma once

#include "platform/foundation/Decimal.h"
#include "platform/foundation/Locale.h"

#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// Decimal numbers as a person types and reads them in one locale: "0,30" and
/// "1.234,5" in de_DE, "0.30" and "1,234.5" in en_US. Reading is strict, so
/// that a number meant one way is never taken another: the locale's decimal
/// separator at most once, its grouping separator only between groups of
/// three digits, a leading minus, and nothing else (no exponent, no spaces
/// inside, no currency signs). Digits may be ASCII or the locale's own.
///
/// One slip is forgiven where it cannot mean anything else: the other one of
/// '.' and ',' as the decimal separator, once, when the text does not read
/// as grouped ("0.30" and "12.5" are 0.3 and 12.5 in de_DE, "0,30" is 0.3
/// in en_US; "1.234" stays 1234 in de_DE).
class DecimalText {
public:
    explicit DecimalText(const Locale& locale);

    /// The number `text` spells (blanks around it ignored); none otherwise.
    [[nodiscard]] std::optional<Decimal> decimalFromString(std::string_view text) const;
    /// `value` for a field: no grouping, from `minimumFractionDigits` to
    /// `maximumFractionDigits` after the separator, further trailing zeros
    /// dropped ("0,3", or "0,30" with two at least, in de_DE). Empty for a
    /// NaN or infinite value.
    [[nodiscard]] std::string editingString(
        double value, int minimumFractionDigits = 0, int maximumFractionDigits = 6) const;
    /// `value` for reading: grouped as the locale groups, with exactly
    /// `fractionDigits` after the separator, rounded half away from zero
    /// ("1.234,50" in de_DE, "1,234.50" in en_US with two). Never "-0".
    /// Empty for a NaN or infinite value.
    [[nodiscard]] std::string displayString(double value, int fractionDigits) const;

    [[nodiscard]] const std::string& decimalSeparator() const { return m_decimalSeparator; }
    [[nodiscard]] const std::string& groupingSeparator() const { return m_groupingSeparator; }

private:
    std::optional<Decimal> strictDecimalFromString(std::string_view text) const;
    /// The length of the grouping separator at `at`, 0 when there is none.
    std::size_t groupingSeparatorAt(std::string_view text, std::size_t at) const;

    Locale m_locale;
    std::string m_decimalSeparator;
    std::string m_groupingSeparator;
    std::string m_minusSign;
    /// The locale's digits zero to nine, when they are not ASCII.
    std::optional<std::string> m_digits[10];
};

}
