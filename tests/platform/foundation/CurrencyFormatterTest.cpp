#include "platform/foundation/CurrencyFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

using hestio::platform::currencyCodeForLocale;
using hestio::platform::CurrencyFormatter;
using hestio::platform::Locale;

namespace {

// ICU separates symbol and number with a no-break space, and groups
// thousands in French with a narrow no-break space.
#define NBSP "\u00a0"
#define NNBSP "\u202f"

std::string format(const char* code, const char* locale, double amount)
{
    return CurrencyFormatter(code, Locale(locale)).string(amount);
}

}

TEST(CurrencyFormatter, WritesAmountsTheLocaleWay)
{
    struct Case {
        const char* code;
        const char* locale;
        double amount;
        const char* expected;
    };
    const Case cases[] = {
        { "USD", "en_US", 1234.5, "$1,234.50" },
        { "USD", "en_US", 0, "$0.00" },
        { "USD", "en_US", -1234.5, "-$1,234.50" },
        { "USD", "en_US", 1e12, "$1,000,000,000,000.00" },
        { "USD", "en_US", 0.3, "$0.30" },
        { "EUR", "de_DE", 1234.5, "1.234,50" NBSP "€" },
        { "EUR", "de_DE", 0, "0,00" NBSP "€" },
        { "EUR", "de_DE", -1234.5, "-1.234,50" NBSP "€" },
        { "EUR", "de_DE", 1e12, "1.000.000.000.000,00" NBSP "€" },
        { "EUR", "en_US", 1234.5, "€1,234.50" },
        { "USD", "de_DE", 1234.5, "1.234,50" NBSP "$" },
        { "EUR", "fr_FR", 1234.5, "1" NNBSP "234,50" NBSP "€" },
        { "GBP", "en_GB", 1234.5, "£1,234.50" },
        { "CHF", "de_CH", 1234.5, "CHF" NBSP "1’234.50" },
        { "JPY", "ja_JP", 1234.5, "￥1,235" },
        { "JPY", "en_US", 1234.4, "¥1,234" },
        { "JPY", "en_US", 0.5, "¥1" },
        { "JPY", "de_DE", -2.5, "-3" NBSP "¥" },
        { "KWD", "en_US", 1.2345, "KWD" NBSP "1.235" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(format(c.code, c.locale, c.amount), c.expected) << c.code << " " << c.locale << " " << c.amount;
}

TEST(CurrencyFormatter, RoundsHalfAwayFromZeroToTheCurrencysDigits)
{
    EXPECT_EQ(format("EUR", "en_US", 0.125), "€0.13");
    EXPECT_EQ(format("EUR", "en_US", -0.125), "-€0.13");
    EXPECT_EQ(format("EUR", "en_US", 0.994), "€0.99");
    EXPECT_EQ(format("EUR", "en_US", 0.995), "€1.00");
    EXPECT_EQ(format("EUR", "en_US", 999.995), "€1,000.00");
    // Nothing left after rounding reads as zero, without a sign.
    EXPECT_EQ(format("EUR", "en_US", -0.004), "€0.00");
    EXPECT_EQ(format("EUR", "en_US", -0.0), "€0.00");
    EXPECT_EQ(format("EUR", "en_US", -0.005), "-€0.01");
    EXPECT_EQ(format("JPY", "en_US", -0.49), "¥0");
    EXPECT_EQ(format("JPY", "en_US", -0.5), "-¥1");
}

TEST(CurrencyFormatter, KnowsEachCurrencysFractionDigits)
{
    EXPECT_EQ(CurrencyFormatter("EUR", Locale("en_US")).fractionDigits(), 2);
    EXPECT_EQ(CurrencyFormatter("JPY", Locale("en_US")).fractionDigits(), 0);
    EXPECT_EQ(CurrencyFormatter("KWD", Locale("en_US")).fractionDigits(), 3);
    EXPECT_EQ(CurrencyFormatter("QQQ", Locale("en_US")).fractionDigits(), 2);
}

TEST(CurrencyFormatter, NonFiniteAmountsGiveADash)
{
    for (double amount :
        { std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity() }) {
        EXPECT_EQ(format("EUR", "de_DE", amount), "—");
        EXPECT_EQ(CurrencyFormatter("EUR", Locale("de_DE")).unitPriceString(amount), "—");
    }
}

TEST(CurrencyFormatter, ExtremeAmountsStayReadable)
{
    EXPECT_EQ(format("USD", "en_US", std::numeric_limits<double>::max()).substr(0, 4), "$179");
    EXPECT_EQ(format("USD", "en_US", std::numeric_limits<double>::denorm_min()), "$0.00");
    EXPECT_EQ(format("USD", "en_US", 1e13 + 0.25), "$10,000,000,000,000.25");
}

TEST(CurrencyFormatter, UnknownOrMalformedCodesGiveTheCodeBesideTheNumber)
{
    EXPECT_EQ(format("QQQ", "en_US", 1234.5), "QQQ" NBSP "1,234.50");
    EXPECT_EQ(format("QQQ", "de_DE", 1234.5), "QQQ" NBSP "1.234,50");
    EXPECT_EQ(format("EURO", "en_US", 2), "EURO" NBSP "2.00");
    EXPECT_EQ(format("E1", "en_US", 2), "E1" NBSP "2.00");
    EXPECT_EQ(format("", "en_US", 1234.5), "1,234.50");
    EXPECT_EQ(format("€", "en_US", 2), "€" NBSP "2.00");
    // Lower case is taken as the code it spells.
    EXPECT_EQ(format("eur", "de_DE", 2), "2,00" NBSP "€");
    EXPECT_EQ(CurrencyFormatter("eur", Locale("de_DE")).currencyCode(), "EUR");
}

TEST(CurrencyFormatter, UnitPricesKeepUpToThreeMoreDigits)
{
    CurrencyFormatter euros("EUR", Locale("de_DE"));
    EXPECT_EQ(euros.unitPriceString(0.3), "0,30" NBSP "€");
    EXPECT_EQ(euros.unitPriceString(0.2875), "0,2875" NBSP "€");
    EXPECT_EQ(euros.unitPriceString(0.28755), "0,28755" NBSP "€");
    EXPECT_EQ(euros.unitPriceString(0.287555), "0,28756" NBSP "€");
    EXPECT_EQ(euros.unitPriceString(0), "0,00" NBSP "€");
    EXPECT_EQ(CurrencyFormatter("JPY", Locale("en_US")).unitPriceString(31.5), "¥31.5");
    EXPECT_EQ(CurrencyFormatter("JPY", Locale("en_US")).unitPriceString(31), "¥31");
    EXPECT_EQ(CurrencyFormatter("QQQ", Locale("en_US")).unitPriceString(0.125), "QQQ" NBSP "0.125");
}

TEST(CurrencyFormatter, CopiesFormatAlikeFromSeveralThreads)
{
    CurrencyFormatter original("EUR", Locale("de_DE"));
    CurrencyFormatter copy = original;
    copy = CurrencyFormatter("USD", Locale("en_US"));
    EXPECT_EQ(copy.string(1), "$1.00");
    EXPECT_EQ(original.string(1), "1,00" NBSP "€");
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = original.string(1234.5); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_EQ(result, "1.234,50" NBSP "€");
}

TEST(CurrencyFormatter, KnowsWhichCodesAreCurrencies)
{
    for (const char* known : { "EUR", "USD", "JPY", "CHF", "KWD", "XXX" })
        EXPECT_TRUE(hestio::platform::isKnownCurrencyCode(known)) << known;
    for (const char* unknown : { "ERU", "QQQ", "eur", "EU", "EURO", "", "E1R", "€" })
        EXPECT_FALSE(hestio::platform::isKnownCurrencyCode(unknown)) << unknown;
}

TEST(CurrencyFormatter, FindsTheLocalesCurrency)
{
    EXPECT_EQ(currencyCodeForLocale(Locale("en_US")), "USD");
    EXPECT_EQ(currencyCodeForLocale(Locale("de_DE")), "EUR");
    EXPECT_EQ(currencyCodeForLocale(Locale("ja_JP")), "JPY");
    EXPECT_EQ(currencyCodeForLocale(Locale("en_GB")), "GBP");
    EXPECT_EQ(currencyCodeForLocale(Locale("de_CH")), "CHF");
    EXPECT_EQ(currencyCodeForLocale(Locale("")), std::nullopt);
}
