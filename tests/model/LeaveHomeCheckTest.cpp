#include "model/LeaveHomeCheck.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

using namespace hestio;
using platform::Date;

namespace {

const Date kNow(1354752000.0); // 2012-12-06 00:00:00 UTC

json::Value parse(const std::string& text)
{
    return json::Decoder().parseUTF8String(text.data(), text.size());
}

/// A device of the device list with a fresh reading `powerDraw` (JSON text;
/// empty for none) and, when `onOff`, an on/off descriptor.
std::shared_ptr<Device> device(
    const std::string& name, const std::string& powerDraw, bool onOff = true, const std::string& id = {})
{
    long long stamp = static_cast<long long>(kNow.millisecondsSince1970() - 30'000);
    std::string status = R"({"timestamp":)" + std::to_string(stamp)
        + (powerDraw.empty() ? std::string() : R"(,"powerDraw":)" + powerDraw) + "}";
    std::string identifier = id.empty() ? name : id;
    json::Value object = parse(R"({"id":")" + identifier + R"(","name":")" + name
        + R"(","location":"Hall","meterPluggedIn":true,"currentStatus":)" + status
        + (onOff ? R"(,"onOff":{"device_id":")" + identifier + R"(","id":7})" : std::string()) + "}");
    EXPECT_TRUE(object.isDictionary()) << "the fixture's JSON for " << name << " reads";
    return Device::fromJSON(object);
}

std::vector<std::string> listed(const LeaveHomeCheck& check)
{
    std::vector<std::string> names;
    for (const auto& d : check.drawing)
        names.push_back(d.device->deviceName + (d.canSwitchOff ? "" : " (no switch)"));
    return names;
}

class LeaveHomeDefaults : public ::testing::Test {
protected:
    std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("hestio-leavehome-" + std::to_string(::getpid()) + ".plist");
    void TearDown() override { std::filesystem::remove(file); }
};

}

TEST(LeaveHomeCheck, TheNoticeNamesWhatDrawsMostFirstInWattsOrKilowatts)
{
    auto check = LeaveHomeCheck::of({ device("TV", "90"), device("Heater", "1800"), device("Lamp", "12") }, 25, kNow);
    EXPECT_EQ(check.text(), "Still on at home: Heater 1.80\u00a0kW, TV 90\u00a0W");
    EXPECT_EQ(listed(check), (std::vector<std::string> { "Heater", "TV" }));
}

TEST(LeaveHomeCheck, ExactlyTheThresholdIsNotMoreThanItOneStepPastIs)
{
    const double above = std::nextafter(25.0, 100.0);
    auto check = LeaveHomeCheck::of(
        { device("At", "25"), device("Past", hestio::format("%.17g", above)), device("Below", "24.999") }, 25, kNow);
    ASSERT_EQ(listed(check), (std::vector<std::string> { "Past" }));
    EXPECT_EQ(check.drawing[0].watts, above) << "the fixture reaches one step past the threshold";
    // A threshold of 0 lists whatever draws at all, never a device at 0 W.
    EXPECT_EQ(listed(LeaveHomeCheck::of({ device("Off", "0"), device("Standby", "0.4") }, 0, kNow)),
        (std::vector<std::string> { "Standby" }));
}

TEST(LeaveHomeCheck, ADeviceWithoutAnOnOffActionIsListedWithoutASwitch)
{
    auto fridge = device("Fridge", "150", false);
    auto odd = device("Odd", "60");
    odd->onOffAction = parse(R"({"device_id":"Odd"})"); // no action identifier
    auto check = LeaveHomeCheck::of({ fridge, device("Heater", "1800"), odd }, 25, kNow);
    EXPECT_EQ(listed(check), (std::vector<std::string> { "Heater", "Fridge (no switch)", "Odd (no switch)" }));
    EXPECT_EQ(check.text(), "Still on at home: Heater 1.80\u00a0kW, Fridge 150\u00a0W, Odd 60\u00a0W");
}

TEST(LeaveHomeCheck, ReadingsInErrorAreNotListed)
{
    struct Case {
        const char* what;
        std::string powerDraw;
    };
    const Case cases[] = {
        { "missing", "" },
        { "negative", "-500" },
        { "text", R"("1800")" },
        { "null", "null" },
        { "absurdly large", "1e12" },
        { "just past what a meter can read", "1000000.5" },
    };
    for (const auto& c : cases) {
        auto check = LeaveHomeCheck::of({ device("Broken", c.powerDraw), device("TV", "90") }, 25, kNow);
        EXPECT_EQ(listed(check), (std::vector<std::string> { "TV" })) << c.what;
    }
    // The largest believable reading is listed, in kilowatts.
    auto largest = LeaveHomeCheck::of({ device("Kiln", "1000000") }, 25, kNow);
    EXPECT_EQ(largest.text(), "Still on at home: Kiln 1,000\u00a0kW");
}

TEST(LeaveHomeCheck, EqualDrawsGoByNameThenIdentifierAndNamesStayOnOneLine)
{
    auto twoLines = device("AB", "60");
    twoLines->deviceName = "A\nB";
    auto check = LeaveHomeCheck::of(
        { device("Lamp", "60", true, "2"), device("Lamp", "60", true, "1"), device("", "60"), twoLines }, 25, kNow);
    ASSERT_EQ(check.drawing.size(), 4u);
    EXPECT_EQ(check.drawing[2].device->deviceID, "1");
    EXPECT_EQ(check.drawing[3].device->deviceID, "2");
    EXPECT_EQ(check.text(), "Still on at home: Unnamed 60\u00a0W, A B 60\u00a0W, Lamp 60\u00a0W, Lamp 60\u00a0W");
}

TEST(LeaveHomeCheck, ManyDevicesNameTheFiveDrawingMostAndCountTheRest)
{
    std::vector<std::shared_ptr<Device>> devices;
    for (int i = 1; i <= 200; ++i)
        devices.push_back(device("D" + std::to_string(i), std::to_string(i * 10)));
    auto check = LeaveHomeCheck::of(devices, 25, kNow);
    EXPECT_EQ(check.drawing.size(), 198u) << "10 W and 20 W are not more than 25 W";
    EXPECT_EQ(check.text(),
        "Still on at home: D200 2.00\u00a0kW, D199 1.99\u00a0kW, D198 1.98\u00a0kW, D197 1.97\u00a0kW, D196 "
        "1.96\u00a0kW and 193 more");
    auto six = LeaveHomeCheck::of({ devices.begin() + 194, devices.end() }, 25, kNow);
    EXPECT_EQ(six.text(),
        "Still on at home: D200 2.00\u00a0kW, D199 1.99\u00a0kW, D198 1.98\u00a0kW, D197 1.97\u00a0kW, D196 "
        "1.96\u00a0kW and 1 more");
    auto five = LeaveHomeCheck::of({ devices.begin() + 195, devices.end() }, 25, kNow);
    EXPECT_EQ(five.text(),
        "Still on at home: D200 2.00\u00a0kW, D199 1.99\u00a0kW, D198 1.98\u00a0kW, D197 1.97\u00a0kW, D196 "
        "1.96\u00a0kW");
}

TEST(LeaveHomeCheck, NothingOverTheThresholdMakesNoNotice)
{
    auto check = LeaveHomeCheck::of({ device("Lamp", "12"), nullptr }, 25, kNow);
    EXPECT_TRUE(check.isEmpty());
    EXPECT_EQ(check.text(), "");
    EXPECT_TRUE(LeaveHomeCheck::of({}, 25, kNow).isEmpty());
}

TEST(LeaveHomeThreshold, BoundsOfWhatCanBeKept)
{
    for (double ok : { 0.0, 25.0, 0.5, 1'000'000.0 })
        EXPECT_EQ(LeaveHomeThreshold::problem(ok), std::nullopt) << ok;
    for (double bad :
        { -0.001, std::nextafter(1'000'000.0, 2e6), std::nan(""), std::numeric_limits<double>::infinity() })
        EXPECT_EQ(LeaveHomeThreshold::problem(bad), "The threshold must be a number of watts from 0 to 1,000,000.")
            << bad;
}

TEST_F(LeaveHomeDefaults, KeptPerUserWithTheDefaultAndOff)
{
    {
        platform::UserDefaults defaults(file);
        LeaveHomeThreshold { 100.5 }.save(defaults, "anna");
        LeaveHomeThreshold { std::nullopt }.save(defaults, "ben");
    }
    platform::UserDefaults again(file);
    EXPECT_EQ(LeaveHomeThreshold::load(again, "anna").watts, 100.5);
    EXPECT_TRUE(LeaveHomeThreshold::load(again, "ben").isOff());
    EXPECT_EQ(LeaveHomeThreshold::load(again, "carl").watts, 25.0) << "nothing kept: the default";
}

TEST_F(LeaveHomeDefaults, WhatCannotBeKeptReadsAsTheDefault)
{
    platform::UserDefaults defaults(file);
    using Dictionary = platform::PropertyListValue::Dictionary;
    const std::pair<const char*, platform::PropertyListValue> stored[] = {
        { "not a dictionary", platform::PropertyListValue(std::string("25 W")) },
        { "negative", Dictionary { { "on", true }, { "watts", -1.0 } } },
        { "too large", Dictionary { { "on", true }, { "watts", 2e6 } } },
        { "text", Dictionary { { "on", true }, { "watts", std::string("40") } } },
    };
    for (const auto& [what, value] : stored) {
        defaults.setObject(value, LeaveHomeThreshold::defaultsKey("anna"));
        EXPECT_EQ(LeaveHomeThreshold::load(defaults, "anna").watts, 25.0) << what;
    }
    defaults.setObject(
        Dictionary { { "on", true }, { "watts", std::int64_t { 40 } } }, LeaveHomeThreshold::defaultsKey("anna"));
    EXPECT_EQ(LeaveHomeThreshold::load(defaults, "anna").watts, 40.0) << "a whole number kept as an integer";
}
