#include "platform/foundation/Decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using hestio::platform::Decimal;

namespace {

Decimal dec(const char* text)
{
    auto d = Decimal::fromString(text);
    EXPECT_TRUE(d.has_value()) << text;
    return d.value_or(Decimal::notANumber());
}

}

TEST(Decimal, HoldsDecimalFractionsExactly)
{
    EXPECT_EQ(dec("0.1") + dec("0.2"), dec("0.3"));
    EXPECT_EQ((dec("0.1") + dec("0.2")).toString(), "0.3");
    EXPECT_EQ((dec("1.10") * dec("3")).toString(), "3.3");
    EXPECT_EQ((Decimal(86400) / Decimal(4)).toString(), "21600");
    EXPECT_EQ((Decimal(1) / Decimal(8)).toString(), "0.125");
    EXPECT_EQ((dec("0.5") - dec("1.25")).toString(), "-0.75");
    EXPECT_EQ((dec("2.5") - dec("2.50")).toString(), "0");
    EXPECT_EQ(dec("2.50"), dec("2.5"));
}

TEST(Decimal, ParsesAndPrintsText)
{
    auto check = [](const char* in, const char* out) {
        auto d = Decimal::fromString(in);
        ASSERT_TRUE(d) << in;
        EXPECT_EQ(d->toString(), out) << in;
    };
    check("0", "0");
    check("-0", "0");
    check("86400", "86400");
    check("-12.500", "-12.5");
    check(".5", "0.5");
    check("1e-3", "0.001");
    check("1.5E+2", "150");
    check("NaN", "NaN");
    check("0.00000000000000000000000000000000000000001", "0.00000000000000000000000000000000000000001");
    for (const char* bad : { "", "-", "abc", "1.2.3", "1e", "1x", " 1", "e5" })
        EXPECT_FALSE(Decimal::fromString(bad)) << bad;
}

TEST(Decimal, RoundsHalfToEvenAtTheThirtyEighthDigit)
{
    // 38 nines plus one half: the 39th digit decides.
    Decimal big = dec("12345678901234567890123456789012345678"); // 38 digits
    EXPECT_EQ((big + dec("0.5")).toString(), "12345678901234567890123456789012345678"); // tie, 8 is even
    Decimal odd = dec("12345678901234567890123456789012345677");
    EXPECT_EQ((odd + dec("0.5")).toString(), "12345678901234567890123456789012345678"); // tie, 7 rounds up
    EXPECT_EQ((big + dec("0.51")).toString(), "12345678901234567890123456789012345679");
    EXPECT_EQ((big + dec("0.49")).toString(), "12345678901234567890123456789012345678");
    EXPECT_EQ(
        big.add(dec("0.5"), Decimal::Rounding::HalfAwayFromZero).toString(), "12345678901234567890123456789012345679");
    EXPECT_EQ(big.negated().add(dec("-0.5"), Decimal::Rounding::HalfAwayFromZero).toString(),
        "-12345678901234567890123456789012345679");
    // Carry through all digits.
    Decimal nines = dec("99999999999999999999999999999999999999");
    EXPECT_EQ((nines + dec("0.5")).toString(), "100000000000000000000000000000000000000");
    EXPECT_EQ((Decimal(2) / Decimal(3)).toString(), "0.66666666666666666666666666666666666667");
    EXPECT_EQ((Decimal(1) / Decimal(3)).toString(), "0.33333333333333333333333333333333333333");
    EXPECT_EQ((dec("1.5") * dec("1.5")).toString(), "2.25");
}

TEST(Decimal, RoundsToFractionDigitsAndUpToWholeNumbers)
{
    struct Case {
        const char* in;
        int digits;
        const char* even;
        const char* away;
    };
    for (auto c : std::initializer_list<Case> { { "0.25", 1, "0.2", "0.3" }, { "0.35", 1, "0.4", "0.4" },
             { "-0.25", 1, "-0.2", "-0.3" }, { "2.5", 0, "2", "3" }, { "0.251", 1, "0.3", "0.3" },
             { "12.3", 3, "12.3", "12.3" } }) {
        EXPECT_EQ(dec(c.in).rounded(c.digits).toString(), c.even) << c.in;
        EXPECT_EQ(dec(c.in).rounded(c.digits, Decimal::Rounding::HalfAwayFromZero).toString(), c.away) << c.in;
    }
    for (auto [in, out] : std::initializer_list<std::pair<const char*, const char*>> {
             { "0.2", "1" }, { "-0.2", "0" }, { "-1.5", "-1" }, { "3", "3" }, { "2.0000001", "3" }, { "0", "0" } })
        EXPECT_EQ(dec(in).ceil().toString(), out) << in;
}

TEST(Decimal, NotANumberPropagatesAndSortsFirst)
{
    Decimal nan = Decimal::notANumber();
    EXPECT_TRUE((nan + Decimal(1)).isNaN());
    EXPECT_TRUE((Decimal(1) - nan).isNaN());
    EXPECT_TRUE((nan * Decimal(0)).isNaN());
    EXPECT_TRUE((Decimal(1) / Decimal(0)).isNaN());
    EXPECT_TRUE((Decimal(0) / Decimal(0)).isNaN());
    EXPECT_TRUE(nan.ceil().isNaN());
    EXPECT_TRUE(std::isnan(nan.toDouble()));
    EXPECT_EQ(nan, Decimal::notANumber());
    EXPECT_LT(nan, dec("-1e100"));
    EXPECT_TRUE(Decimal::fromDouble(std::nan("")).isNaN());
    EXPECT_TRUE(Decimal::fromDouble(std::numeric_limits<double>::infinity()).isNaN());
}

TEST(Decimal, ComparesByValue)
{
    EXPECT_LT(dec("-2"), dec("-1.5"));
    EXPECT_LT(dec("-0.001"), Decimal(0));
    EXPECT_GT(dec("0.001"), Decimal(0));
    EXPECT_LT(dec("1.9999"), Decimal(2));
    EXPECT_EQ(dec("100"), dec("1e2"));
    EXPECT_GT(dec("1e30"), dec("999999999999999999999999999.9"));
    EXPECT_EQ(dec("-0"), Decimal(0));
}

TEST(Decimal, ConvertsToAndFromTheNearestDouble)
{
    EXPECT_EQ(Decimal::fromDouble(0.1).toString(), "0.1");
    EXPECT_EQ(Decimal::fromDouble(-1234.5).toString(), "-1234.5");
    EXPECT_EQ(Decimal::fromDouble(1e-20).toString(), "0.00000000000000000001");
    EXPECT_EQ(dec("0.1").toDouble(), 0.1);
    EXPECT_EQ(dec("0.3").toDouble(), 0.3);
    EXPECT_EQ((Decimal(2) / Decimal(3)).toDouble(), 2.0 / 3.0);
    // Halfway between two doubles, 2^53 + 1: nearest-even gives 2^53.
    EXPECT_EQ(dec("9007199254740993").toDouble(), 9007199254740992.0);
    EXPECT_EQ(dec("9007199254740995").toDouble(), 9007199254740996.0);
    for (double v : { 21600.0, 0.75, -3.3, 1.0 / 3.0, 6.02214076e23 })
        EXPECT_EQ(Decimal::fromDouble(v).toDouble(), v) << v;
}

TEST(Decimal, OutOfRangeExponentsOverflowToNotANumberAndUnderflowToZero)
{
    Decimal huge = Decimal::fromParts(false, 1, Decimal::maxExponent);
    EXPECT_FALSE(huge.isNaN());
    EXPECT_TRUE((huge * Decimal(1000)).isNaN() == false); // absorbed by the mantissa
    EXPECT_TRUE((huge * huge).isNaN());
    Decimal tiny = Decimal::fromParts(false, 1, Decimal::minExponent);
    EXPECT_TRUE((tiny * tiny).isZero());
}
