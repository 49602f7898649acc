#include "model/QuantityText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace hestio;
using platform::Locale;

namespace {

/// The text with its no-break spaces written as "_", to read the cases.
std::string shown(std::string text)
{
    for (std::size_t at; (at = text.find("\u00a0")) != std::string::npos;)
        text.replace(at, 2, "_");
    return text;
}

}

TEST(QuantityText, PowerAndEnergyStepUpWhereTheShorterFormWouldRoundOver)
{
    struct Case {
        double value;
        const char* watts;
        const char* kWh;
    };
    const Case cases[] = {
        { 0, "0_W", "0.00_kWh" },
        { 0.049, "0_W", "0.05_kWh" },
        { 0.05, "0.1_W", "0.05_kWh" },
        { 4.5, "4.5_W", "4.50_kWh" },
        { 9.94, "9.9_W", "9.94_kWh" },
        { 9.95, "10_W", "9.95_kWh" },
        { 9.994, "10_W", "9.99_kWh" },
        { 9.995, "10_W", "10.0_kWh" },
        { 999.4, "999_W", "999.4_kWh" },
        { 999.5, "1.00_kW", "999.5_kWh" },
        { 999.94, "1.00_kW", "999.9_kWh" },
        { 999.95, "1.00_kW", "1,000_kWh" },
        { 1800, "1.80_kW", "1,800_kWh" },
        { 9994, "9.99_kW", "9,994_kWh" },
        { 9995, "10.0_kW", "9,995_kWh" },
        { 99949, "99.9_kW", "99,949_kWh" },
        { 99950, "100_kW", "99,950_kWh" },
        { 1e9, "1,000,000_kW", "1,000,000,000_kWh" },
    };
    const Locale us("en_US");
    for (const Case& c : cases) {
        EXPECT_EQ(shown(quantity::power(c.value, us)), c.watts) << c.value;
        EXPECT_EQ(shown(quantity::energy(c.value, us)), c.kWh) << c.value;
    }
}

TEST(QuantityText, NumbersFollowTheLocaleAndTheUnitNeverStandsAlone)
{
    const Locale de("de_DE");
    EXPECT_EQ(shown(quantity::power(1234, de)), "1,23_kW");
    EXPECT_EQ(shown(quantity::power(4.5, de)), "4,5_W");
    EXPECT_EQ(shown(quantity::energy(25.34, de)), "25,3_kWh");
    EXPECT_EQ(shown(quantity::energy(1250, de)), "1.250_kWh");
    EXPECT_EQ(quantity::number(-0.004, 2, de), "0,00") << "no minus before a zero";
    EXPECT_EQ(quantity::number(-1234.5, 1, Locale("en_US")), "-1,234.5");
    EXPECT_EQ(shown(quantity::power(std::nan(""), de)), "—_W");

    Locale::setCurrent(Locale("de_DE"));
    EXPECT_EQ(shown(quantity::power(1234)), "1,23_kW") << "the device's locale unless one is given";
    Locale::setCurrent(std::nullopt);
}
