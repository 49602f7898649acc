#include "platform/foundation/DecimalText.h"

#include "platform/foundation/IcuBridge.h"

#include <unicode/dcfmtsym.h>
#include <unicode/numberformatter.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace hestio::platform {

namespace {

    bool startsWith(std::string_view text, std::size_t at, const std::string& prefix)
    {
        return !prefix.empty() && text.substr(at, prefix.size()) == prefix;
    }

    std::string_view trimmed(std::string_view text)
    {
        // Blanks a field may keep around a number: spaces, tabs and the
        // no-break spaces some keyboards insert.
        static const std::string_view blanks[] = { " ", "\t", "\u00a0", "\u202f" };
        bool changed = true;
        while (changed && !text.empty()) {
            changed = false;
            for (auto blank : blanks) {
                if (text.substr(0, blank.size()) == blank) {
                    text.remove_prefix(blank.size());
                    changed = true;
                }
                if (text.size() >= blank.size() && text.substr(text.size() - blank.size()) == blank) {
                    text.remove_suffix(blank.size());
                    changed = true;
                }
            }
        }
        return text;
    }

}

DecimalText::DecimalText(const Locale& locale)
    : m_locale(locale)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::DecimalFormatSymbols symbols(icuLocale(locale), status);
    if (U_FAILURE(status)) {
        m_decimalSeparator = ".";
        m_groupingSeparator = ",";
        m_minusSign = "-";
        return;
    }
    m_decimalSeparator = toUtf8(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    m_groupingSeparator = toUtf8(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
    m_minusSign = toUtf8(symbols.getSymbol(icu::DecimalFormatSymbols::kMinusSignSymbol));
    if (m_decimalSeparator.empty())
        m_decimalSeparator = ".";
    if (m_groupingSeparator == m_decimalSeparator)
        m_groupingSeparator.clear();
    static constexpr icu::DecimalFormatSymbols::ENumberFormatSymbol digitSymbols[10] = {
        icu::DecimalFormatSymbols::kZeroDigitSymbol,
        icu::DecimalFormatSymbols::kOneDigitSymbol,
        icu::DecimalFormatSymbols::kTwoDigitSymbol,
        icu::DecimalFormatSymbols::kThreeDigitSymbol,
        icu::DecimalFormatSymbols::kFourDigitSymbol,
        icu::DecimalFormatSymbols::kFiveDigitSymbol,
        icu::DecimalFormatSymbols::kSixDigitSymbol,
        icu::DecimalFormatSymbols::kSevenDigitSymbol,
        icu::DecimalFormatSymbols::kEightDigitSymbol,
        icu::DecimalFormatSymbols::kNineDigitSymbol,
    };
    for (int digit = 0; digit < 10; ++digit) {
        std::string symbol = toUtf8(symbols.getSymbol(digitSymbols[digit]));
        if (!symbol.empty() && symbol != std::string(1, static_cast<char>('0' + digit)))
            m_digits[digit] = std::move(symbol);
    }
}

std::size_t DecimalText::groupingSeparatorAt(std::string_view text, std::size_t at) const
{
    if (startsWith(text, at, m_groupingSeparator))
        return m_groupingSeparator.size();
    // Where the locale groups with a no-break space, people type a plain one.
    if ((m_groupingSeparator == "\u00a0" || m_groupingSeparator == "\u202f") && startsWith(text, at, " "))
        return 1;
    return 0;
}

std::optional<Decimal> DecimalText::decimalFromString(std::string_view input) const
{
    std::string_view text = trimmed(input);
    if (auto value = strictDecimalFromString(text))
        return value;
    // The decimal separator of the other habit, once and alone, where it
    // cannot be a grouping: read as this locale's own.
    std::string_view other = m_decimalSeparator == "." ? "," : ".";
    if (m_decimalSeparator != "." && m_decimalSeparator != ",")
        return std::nullopt;
    std::size_t at = text.find(other);
    if (at == std::string_view::npos || text.find(other, at + 1) != std::string_view::npos
        || text.find(m_decimalSeparator) != std::string_view::npos)
        return std::nullopt;
    std::string swapped(text);
    swapped.replace(at, 1, m_decimalSeparator);
    return strictDecimalFromString(swapped);
}

std::optional<Decimal> DecimalText::strictDecimalFromString(std::string_view text) const
{
    // The plain form Decimal reads: ASCII digits and '.'.
    std::string plain;
    std::size_t i = 0;
    if (startsWith(text, 0, "-")) {
        plain.push_back('-');
        i = 1;
    } else if (startsWith(text, 0, m_minusSign)) {
        plain.push_back('-');
        i = m_minusSign.size();
    }
    // Digits in each group of the whole part, for checking the grouping.
    std::vector<int> groupSizes { 0 };
    bool inFraction = false;
    bool anyDigit = false;
    bool firstGroupStartsWithZero = false;
    while (i < text.size()) {
        int digit = -1;
        std::size_t length = 1;
        if (text[i] >= '0' && text[i] <= '9') {
            digit = text[i] - '0';
        } else {
            for (int d = 0; d < 10 && digit < 0; ++d) {
                if (m_digits[d] && startsWith(text, i, *m_digits[d])) {
                    digit = d;
                    length = m_digits[d]->size();
                }
            }
        }
        if (digit >= 0) {
            if (!inFraction) {
                if (groupSizes.size() == 1 && groupSizes.back() == 0 && digit == 0)
                    firstGroupStartsWithZero = true;
                ++groupSizes.back();
            }
            plain.push_back(static_cast<char>('0' + digit));
            anyDigit = true;
            i += length;
        } else if (!inFraction && startsWith(text, i, m_decimalSeparator)) {
            inFraction = true;
            plain.push_back('.');
            i += m_decimalSeparator.size();
        } else if (std::size_t separator = groupingSeparatorAt(text, i); !inFraction && separator > 0) {
            if (groupSizes.back() == 0)
                return std::nullopt; // a separator without digits before it
            groupSizes.push_back(0);
            i += separator;
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (groupSizes.size() > 1) {
        // "1.234" is grouped; "0.30" or "12.5" in a comma locale is not, and
        // reading it as thirty or 125 would be worse than refusing it.
        if (groupSizes.front() > 3 || firstGroupStartsWithZero)
            return std::nullopt;
        for (std::size_t g = 1; g < groupSizes.size(); ++g) {
            if (groupSizes[g] != 3)
                return std::nullopt;
        }
    }
    return Decimal::fromString(plain);
}

std::string DecimalText::editingString(double value, int minimumFractionDigits, int maximumFractionDigits) const
{
    if (!std::isfinite(value))
        return {};
    if (value == 0)
        value = 0; // no "-0"
    using namespace icu::number;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString text = NumberFormatter::withLocale(icuLocale(m_locale))
                                  .grouping(UNUM_GROUPING_OFF)
                                  .precision(Precision::minMaxFraction(
                                      minimumFractionDigits, std::max(minimumFractionDigits, maximumFractionDigits)))
                                  .roundingMode(UNUM_ROUND_HALFUP)
                                  .formatDouble(value, status)
                                  .toString(status);
    if (U_FAILURE(status))
        return {};
    return toUtf8(text);
}

std::string DecimalText::displayString(double value, int fractionDigits) const
{
    if (!std::isfinite(value))
        return {};
    using namespace icu::number;
    UErrorCode status = U_ZERO_ERROR;
    fractionDigits = std::clamp(fractionDigits, 0, 15);
    icu::UnicodeString text = NumberFormatter::withLocale(icuLocale(m_locale))
                                  .precision(Precision::fixedFraction(fractionDigits))
                                  .roundingMode(UNUM_ROUND_HALFUP)
                                  .sign(UNUM_SIGN_NEGATIVE)
                                  .formatDouble(value, status)
                                  .toString(status);
    if (U_FAILURE(status))
        return {};
    return toUtf8(text);
}

}
