#include "model/MeterReading.h"

#include "model/Device.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace hestio;
using platform::Date;
using State = MeterReading::State;

namespace {

const Date kNow(1354752000.0); // 2012-12-06 00:00:00 UTC

/// A device whose meter stamped its reading `ageMilliseconds` before now
/// (after, when negative) and reports `powerDraw` (JSON text; empty for none).
std::shared_ptr<Device> meter(const std::string& powerDraw, long long ageMilliseconds = 30'000, bool pluggedIn = true)
{
    long long stamp = static_cast<long long>(kNow.millisecondsSince1970()) - ageMilliseconds;
    std::string text = R"({"id":1,"name":"Lamp","meterPluggedIn":)" + std::string(pluggedIn ? "true" : "false")
        + R"(,"currentStatus":{"timestamp":)" + std::to_string(stamp)
        + (powerDraw.empty() ? std::string() : R"(,"powerDraw":)" + powerDraw) + "}}";
    json::Value object = json::Decoder().parseUTF8String(text.data(), text.size());
    EXPECT_TRUE(object.isDictionary()) << text;
    return Device::fromJSON(object);
}

std::shared_ptr<Device> device(const std::string& text)
{
    return Device::fromJSON(json::Decoder().parseUTF8String(text.data(), text.size()));
}

}

TEST(MeterReading, AReadingCountsFromFiveMinutesAheadToJustUnderFiveMinutesOld)
{
    struct Case {
        long long ageMilliseconds;
        State state;
    };
    for (Case c : {
             Case { 0, State::Reporting }, Case { 4 * 60'000 + 59'999, State::Reporting },
             Case { 5 * 60'000, State::Silent }, Case { 5 * 60'000 + 1, State::Silent },
             Case { -5 * 60'000, State::Reporting }, // a meter's clock a little ahead
             Case { -5 * 60'000 - 1, State::ClockAhead },
             Case { -365LL * 86400'000, State::ClockAhead }, // would count as fresh for a year
         }) {
        MeterReading reading = MeterReading::of(*meter("60", c.ageMilliseconds), kNow);
        EXPECT_EQ(reading.state, c.state) << "age " << c.ageMilliseconds << " ms";
        EXPECT_EQ(reading.watts.has_value(), c.state == State::Reporting) << c.ageMilliseconds;
        ASSERT_TRUE(reading.time);
        EXPECT_LE(*reading.time, kNow) << "a time ahead reads as now";
    }
    EXPECT_EQ(MeterReading::of(*meter("60"), kNow).watts, 60);
}

TEST(MeterReading, WhatNoPlugMeterCanReadIsInError)
{
    struct Case {
        const char* powerDraw;
        State state;
    };
    for (Case c : { Case { "0", State::Reporting }, Case { "3", State::Reporting }, Case { "1e6", State::Reporting },
             Case { "1000000.5", State::Implausible }, Case { "1e12", State::Implausible },
             Case { "-0.5", State::Implausible }, Case { "-500", State::Implausible },
             Case { "\"60\"", State::Implausible }, Case { "null", State::Implausible },
             Case { "true", State::Implausible }, Case { "", State::Implausible },
             Case { "18446744073709551615", State::Implausible } }) {
        EXPECT_EQ(MeterReading::of(*meter(c.powerDraw), kNow).state, c.state) << "powerDraw " << c.powerDraw;
    }
    EXPECT_EQ(MeterReading::of(*meter("60", 30'000, false), kNow).state, State::Disconnected);
    EXPECT_EQ(MeterReading::of(*meter("60", 10 * 60'000, false), kNow).state, State::Silent)
        << "silence is told before the plug";

    for (const char* text :
        { R"({"id":1,"meterPluggedIn":true})", R"({"id":1,"meterPluggedIn":true,"currentStatus":{"powerDraw":60}})",
            R"({"id":1,"meterPluggedIn":true,"currentStatus":{"timestamp":null,"powerDraw":60}})" }) {
        MeterReading reading = MeterReading::of(*device(text), kNow);
        EXPECT_EQ(reading.state, State::NeverReported) << text;
        EXPECT_FALSE(reading.time) << text;
        EXPECT_STREQ(reading.problem(), "Never reported");
    }
}
