#include "model/Device.h"
#include "devices/DevicesTestSupport.h"
#include "model/Suggestion.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::Date;

namespace {

struct DeviceTest : test::DevicesFixture {
    struct Screen : WebServiceConnectorDelegate {
        std::vector<std::string> calls;
        void dataReceived(bool success, const json::Value& data, int tag) override
        {
            calls.push_back(std::string(success ? "ok " : "fail ") + std::to_string(tag) + " "
                + std::to_string(data["points"].count()));
        }
        bool requestToServerFailedWithError(const platform::TransportError&, const std::string&) override
        {
            calls.push_back("transport");
            return true;
        }
    };
};

TEST_F(DeviceTest, TimeZoneComesFromTheHouseholdHourOffset)
{
    auto check = [&](json::Value hours, int expectedSeconds) {
        setHouseholdOffset(hours);
        auto device = Device::initWithID("1", "Lamp", "Hall", deviceZone());
        EXPECT_EQ(device->timezone.secondsFromGMT(Date(0)), expectedSeconds)
            << (hours.isNone() ? std::string("<missing>") : std::string(hours.stringValue()));
    };
    check(json::Value(), 0);
    check(json::Value("-5"), -5 * 3600);
    check(json::Value("2.5"), 2 * 3600);
    check(json::Value(3), 3 * 3600);
    check(json::Value(-4.9), -4 * 3600);
    session().setCurUser(nullptr);
    EXPECT_EQ(Device::initWithID("1", "Lamp", "Hall", deviceZone())->timezone.secondsFromGMT(Date(0)), 0);
}

TEST_F(DeviceTest, AnOutOfRangeHourOffsetIsClampedWithoutOverflow)
{
    struct Case {
        const char* hours; // as the household dictionary carries it
        int expectedHours;
    };
    const Case cases[] = {
        { "18", 18 },
        { "19", 18 },
        { "-18", -18 },
        { "-19", -18 },
        { "596523", 18 }, // the last whole hour whose seconds fit in 32 bits
        { "596524", 18 },
        { "-596524", -18 },
        { "4294967299", 18 }, // 2^32 + 3: cut to 32 bits it would read as 3
        { "-4294967299", -18 },
        { "9223372036854775807", 18 },
        { "-9223372036854775808", -18 },
        { "18446744073709551615", 18 }, // unsigned: not -1
        { "1e300", 18 },
        { "-1e300", -18 },
        { "17.9", 17 },
        { "-0.5", 0 },
        { R"("4294967299")", 18 },
        { R"("-99999999999999999999")", -18 },
        { R"("+7")", 7 },
    };
    for (const Case& c : cases) {
        setHouseholdOffset(parse(std::string(R"({"h":)") + c.hours + "}")["h"]);
        auto device = Device::initWithID("1", "Lamp", "Hall", deviceZone());
        EXPECT_EQ(device->timezone.secondsFromGMT(Date(0)), c.expectedHours * 3600) << c.hours;
    }
}

TEST_F(DeviceTest, BuildsFromADeviceObjectWithMissingEntriesEmptyOrFalse)
{
    auto full = Device::fromJSON(parse(R"({"id":17,"name":"Kettle","location":"Kitchen",
        "currentStatus":{"timestamp":1354752000000,"powerDraw":12.5},"possibleActions":[{"id":1,"type":0}],
        "onOff":{"device_id":"17","id":4},"meterPluggedIn":true,"meterSupplyingPower":true})"),
        deviceZone());
    EXPECT_EQ(full->deviceID, "17");
    EXPECT_EQ(full->deviceName, "Kettle");
    EXPECT_EQ(full->location, "Kitchen");
    EXPECT_EQ(full->currentStatus["powerDraw"].doubleValue(), 12.5);
    EXPECT_EQ(full->possibleActions.count(), 1u);
    EXPECT_EQ(full->onOffAction["id"].integerValue(), 4);
    EXPECT_TRUE(full->meterPluggedIn);
    EXPECT_TRUE(full->meterSupplyingPower);

    auto bare = Device::fromJSON(parse(R"({"id":"ab-3","name":""})"), deviceZone());
    EXPECT_EQ(bare->deviceID, "ab-3");
    EXPECT_EQ(bare->deviceName, "");
    EXPECT_EQ(bare->location, "Other"); // no room: listed under "Other"
    EXPECT_TRUE(bare->currentStatus.isNone());
    EXPECT_TRUE(bare->possibleActions.isNone());
    EXPECT_TRUE(bare->onOffAction.isNone());
    EXPECT_FALSE(bare->meterPluggedIn);
    EXPECT_FALSE(bare->meterSupplyingPower);
}

TEST_F(DeviceTest, SuggestionReadsItsIdentifierAsInteger)
{
    auto device = parse(R"({"name":"Kettle","location":"Kitchen","suggestions":[
        {"name":"Boil less","id":12,"action":{"a":1},"state":"NEW"},{"name":"x","id":"42"},{"name":"y","id":"abc"}]})");
    auto first = Suggestion::fromJSON(device, device["suggestions"][0]);
    EXPECT_EQ(first->name, "Boil less");
    EXPECT_EQ(first->location, "Kitchen");
    EXPECT_EQ(first->suggestionID, 12);
    EXPECT_EQ(first->targetDevice, "Kettle");
    EXPECT_EQ(first->state.stringValue(), "NEW");
    EXPECT_EQ(first->action["a"].integerValue(), 1);
    EXPECT_EQ(Suggestion::fromJSON(device, device["suggestions"][1])->suggestionID, 42);
    EXPECT_EQ(Suggestion::fromJSON(device, device["suggestions"][2])->suggestionID, 0);
}

TEST_F(DeviceTest, HistoryWindowStartsAtMidnightAWeekEarlierInTheDeviceZone)
{
    // Wednesday 2012-12-05 10:00 at GMT-5 is 15:00 UTC.
    auto device = Device::initWithID("9", "Lamp", "Hall", deviceZone());
    Date end(1354719600.0);
    Date start = device->historyWindowStart(end);
    EXPECT_EQ(end.timeIntervalSince(start), 7 * 86400 + 10 * 3600);
    EXPECT_EQ(start.timeIntervalSince1970(), 1354078800.0); // 2012-11-28 05:00 UTC

    // 23:30 UTC is already the next day two hours east.
    setHouseholdOffset(json::Value("2"));
    auto east = Device::initWithID("9", "Lamp", "Hall", deviceZone());
    Date lateEvening(1354836600.0); // 2012-12-06 23:30 UTC
    EXPECT_EQ(east->historyWindowStart(lateEvening).timeIntervalSince1970(), 1354831200.0 - 7 * 86400);
}

TEST_F(DeviceTest, HistoryRequestsSendWholeMillisecondsAndReachTheScreen)
{
    auto device = Device::initWithID("id 9&x", "Lamp", "Hall", deviceZone());
    auto screen = std::make_shared<Screen>();
    transport->enqueue(platform::FakeTransport::Reply::json(R"({"success":true,"points":[1,2]})"));
    transport->enqueue(platform::FakeTransport::Reply::failure());
    Date end(1354752000.5);
    Date start = device->getPowerDrawStatusesFromView(screen, end);
    Date start2 = device->getEnergyConsumptionStatusesFromView(screen, end);
    EXPECT_EQ(start, start2);
    auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].url,
        "https://localhost:8443/kivoraserver/api/status?token=T0K3N&device_id=id%209%26x&ascending=true&from="
        "1354078800000&to=1354752000500&filter=true&rounding=1&scale=RAW&token=T0K3N");
    EXPECT_EQ(requests[1].url,
        "https://localhost:8443/kivoraserver/api/energyconsumption?token=T0K3N&device_id=id%209%26x&from="
        "1354078800000&to=1354752000500&block=CLOCK_HOUR&token=T0K3N");
    loop.runPending();
    EXPECT_EQ(screen->calls, (std::vector<std::string> { "ok 0 2", "transport" }));
}

}
