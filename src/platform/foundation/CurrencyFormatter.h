#pragma once

#include "platform/foundation/Locale.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

/// Turns amounts of money in one currency into text for one locale: the
/// locale's symbol, its placement and its digit grouping, rounded half away
/// from zero to the currency's own number of fraction digits (two for EUR and
/// USD, none for JPY). A code ICU does not know is written as the code beside
/// the number. Immutable; copies share the formatter and may be used from any
/// thread.
class CurrencyFormatter {
public:
    /// `currencyCode` is an ISO 4217 code ("EUR"); lower case is accepted.
    CurrencyFormatter(std::string currencyCode, const Locale& locale);
    ~CurrencyFormatter();
    CurrencyFormatter(const CurrencyFormatter&);
    CurrencyFormatter& operator=(const CurrencyFormatter&);

    /// "$1,234.50" in en_US, "1.234,50 €" in de_DE. A NaN or infinite amount
    /// gives `notAnAmount`; an amount that rounds to zero never shows a sign.
    [[nodiscard]] std::string string(double amount) const;
    /// A price per unit ("€0.2875"): at least the currency's fraction digits
    /// and up to `extraUnitPriceDigits` more where the price has them, since
    /// energy is priced in fractions of the smallest coin.
    [[nodiscard]] std::string unitPriceString(double price) const;

    /// The code as given, in capitals.
    [[nodiscard]] const std::string& currencyCode() const { return m_currencyCode; }
    [[nodiscard]] const Locale& locale() const { return m_locale; }
    /// Digits after the decimal point the currency is written with.
    [[nodiscard]] int fractionDigits() const;

    /// What `string()` gives for an amount that is not a number.
    static constexpr const char* notAnAmount = "—";
    static constexpr int extraUnitPriceDigits = 3;

private:
    struct Engine;

    std::string m_currencyCode;
    Locale m_locale;
    std::shared_ptr<const Engine> m_engine;
};

/// Three upper-case ASCII letters: the shape of an ISO 4217 code, and the
/// only one ICU takes as a currency unit.
[[nodiscard]] bool isCurrencyCodeShaped(const std::string& code);

/// Whether `currencyCode` is an ISO 4217 code ICU has data for ("EUR" yes,
/// "ERU" and "eur" no).
[[nodiscard]] bool isKnownCurrencyCode(const std::string& currencyCode);

/// The currency used in the locale's region ("de_DE" → "EUR"), none when the
/// locale names no region ICU can place.
[[nodiscard]] std::optional<std::string> currencyCodeForLocale(const Locale& locale);

/// One currency a person may pay in: its ISO 4217 code and its name.
struct CurrencyChoice {
    std::string code;
    std::string name;
    bool operator==(const CurrencyChoice&) const = default;
};
/// The ISO 4217 currencies in use today (no metals, funds or retired
/// ones), by code, each named in `locale` ("EUR", "Euro"; "Euro" also in
/// de_DE, "euro" in fr_FR).
[[nodiscard]] std::vector<CurrencyChoice> currencyChoices(const Locale& locale);

}
