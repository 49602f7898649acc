#include "json/DoubleText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printed(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string written(double value)
{
    char text[64];
    char* end = json::detail::writeDouble17(value, text);
    return std::string(text, end);
}

double fromBits(std::uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Counts the values whose text differs from printf's and keeps the first few.
struct Comparison {
    std::size_t checked = 0;
    std::vector<std::string> differences;
    void check(double value)
    {
        if (!std::isfinite(value))
            return;
        ++checked;
        std::string expected = printed(value);
        std::string actual = written(value);
        if (expected != actual && differences.size() < 10) {
            char bits[32];
            std::uint64_t raw;
            std::memcpy(&raw, &value, sizeof raw);
            std::snprintf(bits, sizeof bits, "%016llx", static_cast<unsigned long long>(raw));
            differences.push_back(std::string(bits) + ": printf " + expected + ", ours " + actual);
        }
    }
    void checkWithNeighbours(double value)
    {
        check(value);
        check(-value);
        check(std::nextafter(value, 0.0));
        check(std::nextafter(value, std::numeric_limits<double>::infinity()));
    }
};

TEST(DoubleText, MatchesPrintfOnEdgeValues)
{
    Comparison c;
    for (double v : { 0.0, -0.0, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0, 63.1, 48.2, 1e-4, 1e-5, 9.9999999999999995e-5, 1e-6,
             1e-7, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23, 9007199254740992.0, 9007199254740993.0,
             18446744073709551616.0, 18446744073709549568.0, 1250000000000000.25, 1250000000000000.75,
             std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
             std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::epsilon() })
        c.checkWithNeighbours(v);
    for (int e = -1074; e <= 1023; ++e)
        c.checkWithNeighbours(std::ldexp(1.0, e));
    for (int e = -30; e <= 30; ++e) {
        c.checkWithNeighbours(std::pow(10.0, e));
        c.checkWithNeighbours(5 * std::pow(10.0, e));
        c.checkWithNeighbours(9.5 * std::pow(10.0, e));
    }
    for (std::uint64_t n = 0; n < 100000; ++n) {
        c.check(static_cast<double>(n) / 10); // readings in tenths, as the service sends them
        c.check(static_cast<double>(n) / 100);
        c.check(static_cast<double>(n) / 1000);
    }
    EXPECT_EQ(c.differences, std::vector<std::string>());
}

TEST(DoubleText, RoundsExactHalvesToEven)
{
    // Between 2^50 and 2^51 doubles are quarters: x.25 and x.75 have 18
    // significant digits ending in 5, exactly half-way at the 17th digit.
    EXPECT_EQ(written(1250000000000000.25), "1250000000000000.2");
    EXPECT_EQ(written(1250000000000000.75), "1250000000000000.8");
    EXPECT_EQ(written(1250000000000001.25), "1250000000000001.2");
    Comparison c;
    for (std::uint64_t n = 0; n < 200000; ++n)
        c.check(1250000000000000.0 + static_cast<double>(n) * 0.25);
    for (std::uint64_t n = 0; n < 200000; ++n)
        c.check(2251799813685248.0 + static_cast<double>(n) * 0.5); // halves between 2^51 and 2^52
    EXPECT_EQ(c.differences, std::vector<std::string>());
}

TEST(DoubleText, MatchesPrintfOnMillionsOfRandomDoubles)
{
    std::mt19937_64 random(20261207);
    Comparison c;
    // Any bit pattern (every exponent, subnormals included).
    for (int i = 0; i < 1000000; ++i)
        c.check(fromBits(random()));
    // Magnitudes a reply holds, where the exact path does the work.
    std::uniform_real_distribution<double> exponent(-8.0, 21.0);
    for (int i = 0; i < 1000000; ++i) {
        double v = std::pow(10.0, exponent(random));
        c.check(random() & 1 ? v : -v);
    }
    // Short decimals, as coordinates and readings are written.
    std::uniform_int_distribution<std::int64_t> digits(-999999999, 999999999);
    std::uniform_int_distribution<int> places(0, 12);
    for (int i = 0; i < 1000000; ++i)
        c.check(static_cast<double>(digits(random)) / std::pow(10.0, places(random)));
    EXPECT_GT(c.checked, 2990000u); // the random bit patterns include a few NaNs and infinities, which are skipped
    EXPECT_EQ(c.differences, std::vector<std::string>());
}

} // namespace
