#include "model/HourlyEnergy.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace hestio;
using platform::Date;

namespace {

json::Value parse(const std::string& text)
{
    return json::Decoder().parseUTF8String(text.data(), text.size());
}

}

TEST(HourlyEnergy, ReadsTheHoursOfAReplyAndLeavesOutWhatIsNoUse)
{
    auto hours = hourlyEnergyOf(parse(R"({"success":true,"energyConsumptions":[
        {"from":1792036800000,"energyConsumed":0.25},
        {"from":"1792040400000","energyConsumed":"0.5"},
        {"from":1792044000000,"energyConsumed":-0.1},
        {"from":1792047600000,"energyConsumed":"lots"},
        {"from":1792051200000},
        {"energyConsumed":1},
        {"from":"soon","energyConsumed":1},
        {"from":1792054800000,"energyConsumed":1e308},
        {"from":1792058400500,"energyConsumed":0}]})"));
    ASSERT_TRUE(hours);
    ASSERT_EQ(hours->size(), 4u);
    EXPECT_EQ((*hours)[0].from, Date(1792036800));
    EXPECT_EQ((*hours)[0].kWh, 0.25);
    EXPECT_EQ((*hours)[1].from, Date(1792040400)) << "a number written as text";
    EXPECT_EQ((*hours)[1].kWh, 0.5);
    EXPECT_EQ((*hours)[2].kWh, 1e308) << "kept, and named out of range where it is counted";
    EXPECT_EQ((*hours)[3].from, Date(1792058400.5));
    EXPECT_EQ((*hours)[3].kWh, 0) << "no use is use too";

    for (const char* reply : { R"({"success":true})", R"({"success":true,"energyConsumptions":{}})", "\"x\"" })
        EXPECT_FALSE(hourlyEnergyOf(parse(reply))) << reply;
    EXPECT_FALSE(hourlyEnergyOf(json::Value()));
    auto none = hourlyEnergyOf(parse(R"({"success":true,"energyConsumptions":[]})"));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}
