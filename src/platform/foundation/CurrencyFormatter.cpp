#include "platform/foundation/CurrencyFormatter.h"

#include "platform/foundation/IcuBridge.h"

#include <unicode/numberformatter.h>
#include <unicode/ucurr.h>

#include <unicode/uenum.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace hestio::platform {

namespace {

    std::string upperCased(std::string code)
    {
        for (char& c : code)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return code;
    }

    /// Whether ICU has data for the code (it formats any three letters, but
    /// for an unknown one only echoes the code where the symbol goes).
    bool isKnownCurrency(const std::string& code)
    {
        icu::UnicodeString unicode = toUnicode(code);
        UErrorCode status = U_ZERO_ERROR;
        UBool isChoiceFormat = false;
        int32_t length = 0;
        ucurr_getName(unicode.getTerminatedBuffer(), "en", UCURR_LONG_NAME, &isChoiceFormat, &length, &status);
        return U_SUCCESS(status) && status != U_USING_DEFAULT_WARNING;
    }

}

struct CurrencyFormatter::Engine {
    icu::number::LocalizedNumberFormatter amounts;
    icu::number::LocalizedNumberFormatter unitPrices;
    /// Unknown codes: the number alone, to be written after the code.
    bool prefixCode { false };
    int fractionDigits { 2 };
};

CurrencyFormatter::CurrencyFormatter(std::string currencyCode, const Locale& locale)
    : m_currencyCode(upperCased(std::move(currencyCode)))
    , m_locale(locale)
{
    using namespace icu::number;
    auto engine = std::make_shared<Engine>();
    LocalizedNumberFormatter base = NumberFormatter::withLocale(icuLocale(locale)).roundingMode(UNUM_ROUND_HALFUP);
    std::optional<icu::CurrencyUnit> unit;
    if (isKnownCurrencyCode(m_currencyCode)) {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString code = toUnicode(m_currencyCode);
        icu::CurrencyUnit candidate(code.getTerminatedBuffer(), status);
        if (U_SUCCESS(status))
            unit = candidate;
    }
    if (unit) {
        UErrorCode status = U_ZERO_ERROR;
        int digits = ucurr_getDefaultFractionDigitsForUsage(unit->getISOCurrency(), UCURR_USAGE_STANDARD, &status);
        engine->fractionDigits = U_SUCCESS(status) ? digits : 2;
        engine->amounts = base.unit(*unit);
    } else {
        engine->prefixCode = true;
        engine->amounts = base.precision(Precision::fixedFraction(engine->fractionDigits));
    }
    engine->unitPrices = engine->amounts.precision(
        Precision::minMaxFraction(engine->fractionDigits, engine->fractionDigits + extraUnitPriceDigits));
    m_engine = std::move(engine);
}

CurrencyFormatter::~CurrencyFormatter() = default;
CurrencyFormatter::CurrencyFormatter(const CurrencyFormatter&) = default;
CurrencyFormatter& CurrencyFormatter::operator=(const CurrencyFormatter&) = default;

int CurrencyFormatter::fractionDigits() const
{
    return m_engine->fractionDigits;
}

namespace {

    std::string format(const icu::number::LocalizedNumberFormatter& formatter, double amount, int shownDigits,
        bool prefixCode, const std::string& code)
    {
        if (!std::isfinite(amount))
            return CurrencyFormatter::notAnAmount;
        // Below half the last shown digit the text reads as zero; without this
        // ICU writes "-$0.00" for a tiny negative amount.
        if (std::fabs(amount) < 0.5 * std::pow(10.0, -shownDigits))
            amount = 0;
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString text = formatter.formatDouble(amount, status).toString(status);
        if (U_FAILURE(status))
            return CurrencyFormatter::notAnAmount;
        std::string number = toUtf8(text);
        if (!prefixCode || code.empty())
            return number;
        return code + "\u00a0" + number;
    }

}

std::string CurrencyFormatter::string(double amount) const
{
    return format(m_engine->amounts, amount, m_engine->fractionDigits, m_engine->prefixCode, m_currencyCode);
}

std::string CurrencyFormatter::unitPriceString(double price) const
{
    return format(m_engine->unitPrices, price, m_engine->fractionDigits + extraUnitPriceDigits, m_engine->prefixCode,
        m_currencyCode);
}

bool isCurrencyCodeShaped(const std::string& code)
{
    if (code.size() != 3)
        return false;
    for (char c : code) {
        if (c < 'A' || c > 'Z')
            return false;
    }
    return true;
}

bool isKnownCurrencyCode(const std::string& currencyCode)
{
    return isCurrencyCodeShaped(currencyCode) && isKnownCurrency(currencyCode);
}

std::optional<std::string> currencyCodeForLocale(const Locale& locale)
{
    UChar code[4] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucurr_forLocale(icuLocale(locale).getName(), code, 4, &status);
    if (U_FAILURE(status) || length != 3)
        return std::nullopt;
    std::string result = toUtf8(icu::UnicodeString(code, length));
    if (!isCurrencyCodeShaped(result))
        return std::nullopt;
    return result;
}

std::vector<CurrencyChoice> currencyChoices(const Locale& locale)
{
    std::vector<CurrencyChoice> choices;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UEnumeration, void (*)(UEnumeration*)> codes(
        ucurr_openISOCurrencies(UCURR_COMMON | UCURR_NON_DEPRECATED, &status), &uenum_close);
    if (U_FAILURE(status) || !codes)
        return choices;
    const std::string localeName = icuLocale(locale).getName();
    while (const char* code = uenum_next(codes.get(), nullptr, &status)) {
        if (U_FAILURE(status))
            break;
        std::string text = code;
        if (!isKnownCurrencyCode(text))
            continue;
        icu::UnicodeString unicode = toUnicode(text);
        UErrorCode nameStatus = U_ZERO_ERROR;
        UBool isChoiceFormat = false;
        int32_t length = 0;
        const UChar* name = ucurr_getName(
            unicode.getTerminatedBuffer(), localeName.c_str(), UCURR_LONG_NAME, &isChoiceFormat, &length, &nameStatus);
        choices.push_back({ text, U_SUCCESS(nameStatus) && name ? toUtf8(icu::UnicodeString(name, length)) : text });
    }
    std::sort(choices.begin(), choices.end(), [](const auto& a, const auto& b) { return a.code < b.code; });
    return choices;
}

}
