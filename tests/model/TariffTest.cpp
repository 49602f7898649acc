#include "model/Tariff.h"

#include "platform/foundation/Calendar.h"
#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <unistd.h>

using namespace hestio;
using platform::Date;
using platform::TimeZone;

namespace {

Tariff nightTariff()
{
    Tariff tariff;
    tariff.currency = "EUR";
    tariff.pricePerKWh = 0.30;
    tariff.offPeak = Tariff::OffPeak { 0.12, 22, 6 };
    return tariff;
}

class TariffDefaults : public ::testing::Test {
protected:
    std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("hestio-tariff-" + std::to_string(::getpid()) + ".plist");
    void TearDown() override { std::filesystem::remove(file); }
};

}

TEST(Tariff, TheOffPeakPriceHoldsFromItsStartHourUpToItsEndHour)
{
    const Tariff night = nightTariff();
    struct Case {
        int hour;
        double price;
    };
    // 22 to 6 wraps past midnight: 21 and 6 are peak, 22 and 5 off-peak.
    for (Case c : { Case { 21, 0.30 }, Case { 22, 0.12 }, Case { 23, 0.12 }, Case { 0, 0.12 }, Case { 5, 0.12 },
             Case { 6, 0.30 }, Case { 12, 0.30 } })
        EXPECT_EQ(night.priceForHour(c.hour), c.price) << "hour " << c.hour;

    Tariff day = nightTariff();
    day.offPeak = Tariff::OffPeak { 0.10, 10, 14 };
    for (Case c : { Case { 9, 0.30 }, Case { 10, 0.10 }, Case { 13, 0.10 }, Case { 14, 0.30 } })
        EXPECT_EQ(day.priceForHour(c.hour), c.price) << "hour " << c.hour;

    Tariff single = nightTariff();
    single.offPeak.reset();
    EXPECT_EQ(single.priceForHour(23), 0.30);
}

TEST(Tariff, PricesGoByTheHouseholdsLocalHourAcrossAClockChange)
{
    auto zone = *TimeZone::named("Europe/Berlin");
    const Tariff night = nightTariff();
    // On 2026-03-29 Berlin's clocks go from 02:00 to 03:00, so the day starts
    // at 23:00 UTC and 04:00 UTC is already 06:00 local: the first peak hour.
    const Date changeDay = platform::Calendar(zone).date({ 2026, 3, 29, 0, 0, 0 });
    EXPECT_EQ(changeDay.timeIntervalSince1970(), 1774738800);
    EXPECT_EQ(night.priceAt(Date(1774756800 - 1), zone), 0.12); // 03:59:59 UTC
    EXPECT_EQ(night.priceAt(Date(1774756800), zone), 0.30); // 04:00 UTC = 06:00 CEST
    EXPECT_DOUBLE_EQ(night.costOf(2.5, Date(1774756800 - 3600), zone), 2.5 * 0.12);
}

TEST(Tariff, ProblemsAreNamedAtEachLimit)
{
    Tariff tariff = nightTariff();
    EXPECT_EQ(tariff.problem(), std::nullopt);

    tariff.pricePerKWh = Tariff::maximumPrice;
    EXPECT_EQ(tariff.problem(), std::nullopt);
    tariff.pricePerKWh = std::nextafter(Tariff::maximumPrice, 2 * Tariff::maximumPrice);
    EXPECT_EQ(tariff.problem(), "The price must be a number from 0 to 1,000,000.");
    tariff.pricePerKWh = -0.01;
    EXPECT_EQ(tariff.problem(), "The price must be a number from 0 to 1,000,000.");
    tariff.pricePerKWh = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(tariff.problem(), "The price must be a number from 0 to 1,000,000.");
    tariff.pricePerKWh = 0;
    EXPECT_EQ(tariff.problem(), std::nullopt);

    tariff.offPeak = Tariff::OffPeak { 0.1, 23, 0 };
    EXPECT_EQ(tariff.problem(), std::nullopt);
    tariff.offPeak = Tariff::OffPeak { 0.1, 24, 0 };
    EXPECT_EQ(tariff.problem(), "The off-peak hours must be from 0 to 23.");
    tariff.offPeak = Tariff::OffPeak { 0.1, 5, 5 };
    EXPECT_EQ(tariff.problem(), "The off-peak hours must not start and end at the same hour.");
    tariff.offPeak = Tariff::OffPeak { std::numeric_limits<double>::infinity(), 1, 5 };
    EXPECT_EQ(tariff.problem(), "The off-peak price must be a number from 0 to 1,000,000.");

    tariff = nightTariff();
    for (const char* code : { "eur", "EU", "EURO", "E1R", "" }) {
        tariff.currency = code;
        EXPECT_EQ(tariff.problem(), "The currency must be a three-letter code such as EUR or USD.") << code;
    }
}

TEST_F(TariffDefaults, ATariffIsKeptPerUserAndSurvivesARead)
{
    {
        platform::UserDefaults defaults(file);
        nightTariff().save(defaults, "anna");
        Tariff single;
        single.currency = "USD";
        single.pricePerKWh = 0.17;
        single.save(defaults, "ben");
    }
    platform::UserDefaults again(file);
    EXPECT_EQ(Tariff::load(again, "anna"), nightTariff());
    auto ben = Tariff::load(again, "ben");
    ASSERT_TRUE(ben);
    EXPECT_EQ(ben->currency, "USD");
    EXPECT_FALSE(ben->offPeak);
    EXPECT_EQ(Tariff::load(again, "carl"), std::nullopt);

    Tariff::remove(again, "anna");
    EXPECT_EQ(Tariff::load(again, "anna"), std::nullopt);
    EXPECT_TRUE(Tariff::load(again, "ben"));
}

TEST_F(TariffDefaults, WhatCannotBeAKeptTariffReadsAsNone)
{
    platform::UserDefaults defaults(file);
    using Dictionary = platform::PropertyListValue::Dictionary;
    const std::pair<const char*, platform::PropertyListValue> stored[] = {
        { "not a dictionary", platform::PropertyListValue(std::string("EUR 0.3")) },
        { "no currency", Dictionary { { "pricePerKWh", 0.3 } } },
        { "no price", Dictionary { { "currency", std::string("EUR") } } },
        { "negative price", Dictionary { { "currency", std::string("EUR") }, { "pricePerKWh", -1.0 } } },
        { "off-peak without hours",
            Dictionary { { "currency", std::string("EUR") }, { "pricePerKWh", 0.3 }, { "offPeakPricePerKWh", 0.1 } } },
        { "hour 24",
            Dictionary { { "currency", std::string("EUR") }, { "pricePerKWh", 0.3 }, { "offPeakPricePerKWh", 0.1 },
                { "offPeakStartHour", 24 }, { "offPeakEndHour", 6 } } },
    };
    for (const auto& [what, value] : stored) {
        defaults.setObject(value, Tariff::defaultsKey("anna"));
        EXPECT_EQ(Tariff::load(defaults, "anna"), std::nullopt) << what;
    }
    // A whole-number price stored as an integer still reads.
    defaults.setObject(
        Dictionary { { "currency", std::string("JPY") }, { "pricePerKWh", 31 } }, Tariff::defaultsKey("anna"));
    auto yen = Tariff::load(defaults, "anna");
    ASSERT_TRUE(yen);
    EXPECT_EQ(yen->pricePerKWh, 31);
}
