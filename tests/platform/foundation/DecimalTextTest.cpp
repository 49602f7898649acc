#include "platform/foundation/DecimalText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using hestio::platform::DecimalText;
using hestio::platform::Locale;

namespace {

std::string read(const char* locale, const char* text)
{
    auto value = DecimalText(Locale(locale)).decimalFromString(text);
    return value ? value->toString() : "none";
}

}

TEST(DecimalText, ReadsNumbersAsTypedInTheLocale)
{
    struct Case {
        const char* locale;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        { "en_US", "0.30", "0.3" },
        { "en_US", "0", "0" },
        { "en_US", ".5", "0.5" },
        { "en_US", "5.", "5" },
        { "en_US", " 0.25 ", "0.25" },
        { "en_US", "1,234.5", "1234.5" },
        { "en_US", "1,234,567", "1234567" },
        { "en_US", "1000000", "1000000" },
        { "en_US", "-0.3", "-0.3" },
        { "en_US", "0.30000000000000000001", "0.30000000000000000001" },
        { "de_DE", "0,30", "0.3" },
        { "de_DE", "1.234,5", "1234.5" },
        { "de_DE", "12,75", "12.75" },
        { "de_DE", "-1,5", "-1.5" },
        { "fr_FR", "1 234,5", "1234.5" },
        { "fr_FR", "1\u202f234,5", "1234.5" },
        { "de_CH", "1’234.5", "1234.5" },
        { "ar_EG", "٠٫٣", "0.3" },
        // Unreadable, or readable more than one way: refused.
        { "en_US", "", "none" },
        { "en_US", "  ", "none" },
        { "en_US", "-", "none" },
        { "en_US", ".", "none" },
        { "en_US", "abc", "none" },
        { "en_US", "0.3x", "none" },
        { "en_US", "1e400", "none" },
        { "en_US", "1E3", "none" },
        { "en_US", "+1", "none" },
        { "en_US", "--1", "none" },
        { "en_US", "1.2.3", "none" },
        { "en_US", "0,30", "none" },
        { "en_US", "12,5", "none" },
        { "en_US", "1,2345", "none" },
        { "en_US", "1234,567", "none" },
        { "en_US", ",123", "none" },
        { "en_US", "1,,234", "none" },
        { "en_US", "1.234,5", "none" },
        { "en_US", "0.3 0", "none" },
        { "en_US", "$0.30", "none" },
        { "en_US", "NaN", "none" },
        { "en_US", "inf", "none" },
        { "de_DE", "0.30", "none" },
        { "de_DE", "0.300", "none" },
        { "de_DE", "1,2,3", "none" },
        { "de_DE", "0,30 €", "none" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.locale, c.text), c.expected) << c.locale << " \"" << c.text << "\"";
}

TEST(DecimalText, HugeNumbersReadAsTooLargeRatherThanWrong)
{
    std::string many(400, '9');
    auto value = DecimalText(Locale("en_US")).decimalFromString(many);
    // Beyond what a decimal holds: not a number, which no range check passes.
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->isNaN() || value->toDouble() > 1e300 || std::isinf(value->toDouble()));
}

TEST(DecimalText, WritesValuesForEditing)
{
    DecimalText german(Locale("de_DE"));
    DecimalText american(Locale("en_US"));
    EXPECT_EQ(german.editingString(0.3), "0,3");
    EXPECT_EQ(german.editingString(1234.5), "1234,5");
    EXPECT_EQ(american.editingString(1234.5), "1234.5");
    EXPECT_EQ(american.editingString(0.2875), "0.2875");
    EXPECT_EQ(american.editingString(0.1234567), "0.123457");
    EXPECT_EQ(american.editingString(0), "0");
    EXPECT_EQ(american.editingString(-0.0), "0");
    EXPECT_EQ(american.editingString(1e6), "1000000");
    EXPECT_EQ(american.editingString(std::nan("")), "");
    EXPECT_EQ(american.editingString(std::numeric_limits<double>::infinity()), "");
    EXPECT_EQ(german.decimalSeparator(), ",");
    EXPECT_EQ(german.groupingSeparator(), ".");
    // What is written for editing reads back as the same value.
    for (double value : { 0.0, 0.3, 0.2875, 12.75, 999999.5, 1e6 }) {
        for (const DecimalText* text : { &german, &american }) {
            auto back = text->decimalFromString(text->editingString(value));
            ASSERT_TRUE(back) << value;
            EXPECT_EQ(back->toDouble(), value);
        }
    }
}
