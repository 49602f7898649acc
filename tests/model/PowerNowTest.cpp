#include "model/PowerNow.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hestio;
using platform::Date;

namespace {

const Date kNow(1354752000.0); // 2012-12-06 00:00:00 UTC

json::Value parse(const std::string& text)
{
    return json::Decoder().parseUTF8String(text.data(), text.size());
}

/// A device as the device list builds it: a meter plugged in whose reading
/// is `ageSeconds` old and reads `powerDraw` (JSON text; empty for none).
std::shared_ptr<Device> meter(
    const std::string& name, const std::string& powerDraw, double ageSeconds = 30, bool pluggedIn = true)
{
    long long stamp = static_cast<long long>(kNow.millisecondsSince1970() - ageSeconds * 1000);
    std::string status = R"({"timestamp":)" + std::to_string(stamp)
        + (powerDraw.empty() ? std::string() : R"(,"powerDraw":)" + powerDraw) + "}";
    json::Value object = parse(R"({"id":")" + name + R"(","name":")" + name + R"(","location":"Hall",
        "meterPluggedIn":)"
        + (pluggedIn ? "true" : "false") + R"(,"currentStatus":)" + status + "}");
    EXPECT_TRUE(object.isDictionary()) << "the fixture's JSON for " << name << " reads";
    return Device::fromJSON(object);
}

std::vector<std::string> topNames(const PowerNow& power)
{
    std::vector<std::string> names;
    for (const auto& draw : power.top)
        names.push_back(draw.device->deviceName + " " + std::to_string(static_cast<long long>(draw.watts)));
    return names;
}

}

TEST(PowerNow, SumsTheMetersThatReportAndCountsThoseInError)
{
    struct Case {
        const char* what;
        std::vector<std::shared_ptr<Device>> devices;
        double total;
        int reporting, notReporting;
    };
    const Case cases[] = {
        { "none in error", { meter("Fridge", "120.5"), meter("Lamp", "60"), meter("Heater", "0") }, 180.5, 3, 0 },
        { "one in error", { meter("Fridge", "120.5"), meter("Lamp", "60", 5 * 60), meter("Heater", "1000") }, 1120.5, 2,
            1 },
        { "all in error", { meter("Fridge", "120.5", 5 * 60), meter("Lamp", "60", 30, false), meter("Heater", "", 30) },
            0, 0, 3 },
        { "no devices", {}, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        PowerNow power = PowerNow::of(c.devices, kNow);
        EXPECT_DOUBLE_EQ(power.totalWatts, c.total) << c.what;
        EXPECT_EQ(power.metersReporting, c.reporting) << c.what;
        EXPECT_EQ(power.metersNotReporting, c.notReporting) << c.what;
        EXPECT_EQ(power.readingTime.has_value(), c.reporting > 0) << c.what;
    }
}

TEST(PowerNow, ABrokenMeterDoesNotSwampTheSum)
{
    PowerNow power = PowerNow::of(
        { meter("Broken", "1e12"), meter("Lamp", "60"), meter("Odd", "-40"), meter("Ahead", "500", -301) }, kNow);
    EXPECT_EQ(power.totalWatts, 60);
    EXPECT_EQ(power.metersNotReporting, 3) << "too large, negative, and stamped more than five minutes ahead";
    EXPECT_EQ(topNames(power), (std::vector<std::string> { "Lamp 60" }));

    std::vector<std::shared_ptr<Device>> large;
    for (int i = 0; i < 1000; ++i)
        large.push_back(meter("M" + std::to_string(i), "1e6"));
    EXPECT_EQ(PowerNow::of(large, kNow).totalWatts, 1e9) << "a thousand meters at the limit add up exactly";
}

TEST(PowerNow, TheReadingTimeIsTheNewestReadingSummedButNeverLaterThanNow)
{
    PowerNow power = PowerNow::of(
        { meter("Fridge", "10", 200), meter("Lamp", "60", 40), meter("Old", "5", 400), meter("Off", "5", 10, false) },
        kNow);
    ASSERT_TRUE(power.readingTime);
    EXPECT_EQ(*power.readingTime, kNow.addingTimeInterval(-40));

    PowerNow ahead = PowerNow::of({ meter("Fridge", "10", 200), meter("Lamp", "60", -90) }, kNow);
    EXPECT_EQ(*ahead.readingTime, kNow) << "a meter whose clock runs ahead";
}

TEST(PowerNow, TheTopThreeAreTheDevicesDrawingMostMostFirst)
{
    PowerNow power = PowerNow::of({ meter("Lamp", "60"), meter("Heater", "2000"), meter("Fridge", "120"),
                                      meter("Kettle", "1800", 6 * 60), meter("Radio", "4"), meter("Off", "0") },
        kNow);
    EXPECT_EQ(topNames(power), (std::vector<std::string> { "Heater 2000", "Fridge 120", "Lamp 60" }))
        << "the kettle's meter is silent";

    PowerNow two = PowerNow::of({ meter("Lamp", "60"), meter("Off", "0"), meter("Radio", "4") }, kNow);
    EXPECT_EQ(topNames(two), (std::vector<std::string> { "Lamp 60", "Radio 4" })) << "only devices drawing power";

    PowerNow ties = PowerNow::of({ meter("b", "50"), meter("a", "50"), meter("c", "50"), meter("a0", "50") }, kNow);
    EXPECT_EQ(topNames(ties), (std::vector<std::string> { "a 50", "a0 50", "b 50" })) << "equal draws by name";

    EXPECT_TRUE(PowerNow::of({ meter("Off", "0") }, kNow).top.empty());
}
