#include "PlugIngest.h"
#include "Crypto.h"
#include "Service.h"

#include "SimTestSupport.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <future>

using namespace hestio::sim;

namespace {
constexpr int64_t kSecond = 1000;

/// A hub's store with one household and one administrator, and the ingest of
/// its plugs on a manual clock.
struct Hub {
    explicit Hub(IngestSettings settings = {})
        : time(test::kTestStartMs)
        , settings(std::move(settings))
    {
        open();
        household = store->addHousehold("Home", "Europe/Berlin");
        store->addUser(household, "ann", "Admin", hashPassword("secret", test::kTestPasswordIterations));
    }

    void open()
    {
        ingest.reset();
        history.reset();
        store = std::make_unique<Store>(folder.file("hub.db"));
        history = std::make_unique<History>(folder.file("hub.db"), HistorySettings {});
        ingest = std::make_unique<PlugIngest>(*store, 1, settings, time.function(), history.get());
    }

    std::map<std::string, std::string> roomsByName()
    {
        std::map<std::string, std::string> rooms;
        for (const auto& device : store->devices(household))
            rooms[device.name] = device.room;
        return rooms;
    }

    test::ScratchFolder folder;
    test::ManualTime time;
    IngestSettings settings;
    std::unique_ptr<Store> store;
    std::unique_ptr<History> history;
    std::unique_ptr<PlugIngest> ingest;
    int64_t household {};
};

/// The family's readings of one plug, as its firmware would send them.
void publishEachFamily(PlugIngest& ingest)
{
    ingest.onMessage("plugs-a8/online", "true");
    ingest.onMessage("plugs-a8/status/switch:0", R"({"output":true,"apower":12.5,"aenergy":{"total":10}})");
    ingest.onMessage("tasmota/discovery/A1/config", R"({"t":"desk","fn":["Desk lamp"],"rl":[1]})");
    ingest.onMessage("tele/desk/SENSOR", R"({"ENERGY":{"Total":0.5,"Power":20}})");
    ingest.onMessage("zigbee2mqtt/bridge/devices",
        R"([{"friendly_name":"tv","ieee_address":"0xab","type":"Router","definition":{"exposes":[)"
        R"({"type":"numeric","name":"power","property":"power"}]}}])");
    ingest.onMessage("zigbee2mqtt/tv", R"({"state":"ON","power":80})");
}
}

namespace {
/// Commands as the broker would take them; a plug that obeys answers each
/// one at once with the state its family reports.
struct Broker {
    std::mutex mutex;
    std::vector<std::string> sent;
    std::function<void(const std::string&, const std::string&)> answer;
    bool connected { true };

    PublishFunction publisher()
    {
        return [this](const std::string& topic, const std::string& payload) {
            {
                std::lock_guard lock(mutex);
                sent.push_back(topic + " " + payload);
            }
            if (answer)
                answer(topic, payload);
            return connected;
        };
    }
};
}

TEST(PlugIngest, EachFamilyMakesOneDeviceInNewDevicesThatKeepsItsIdAcrossRestarts)
{
    IngestSettings settings;
    MappedDevice pump;
    pump.id = "pump";
    pump.name = "Pump";
    pump.power = MappedValue { "pump/w", "" };
    settings.mapped.push_back(pump);
    Hub hub(settings);
    EXPECT_EQ(hub.ingest->subscriptions().back(), "pump/w");
    publishEachFamily(*hub.ingest);
    hub.ingest->onMessage("pump/w", "35");
    // Repeats and availability alone make nothing more.
    publishEachFamily(*hub.ingest);
    hub.ingest->onMessage("nobody/online", "true");
    EXPECT_EQ(hub.roomsByName(),
        (std::map<std::string, std::string> { { "plugs-a8", kNewDevicesRoom }, { "Desk lamp", kNewDevicesRoom },
            { "tv", kNewDevicesRoom }, { "Pump", kNewDevicesRoom } }));
    auto before = hub.store->plugDevices();
    ASSERT_EQ(before.size(), 4u);

    // Moved by the household, then the hub restarts and hears them again.
    hub.store->updateDevice(before["cmd:desk"], "Desk lamp", "Office");
    hub.open();
    publishEachFamily(*hub.ingest);
    EXPECT_EQ(hub.store->plugDevices(), before);
    EXPECT_EQ(hub.roomsByName()["Desk lamp"], "Office");
    EXPECT_EQ(hub.ingest->status(before["zb:0xab"], hub.time.now()).current->watts, 80);
}

TEST(PlugIngest, MakesNoMoreThanItsMostDevices)
{
    IngestSettings settings;
    settings.maxDevices = 3;
    Hub hub(settings);
    for (int i = 0; i < 5; ++i)
        hub.ingest->onMessage("p" + std::to_string(i) + "/status/switch:0", R"({"output":true})");
    EXPECT_EQ(hub.store->plugDevices().size(), 3u);
    // Plugs that have their device keep reporting.
    hub.ingest->onMessage("p2/status/switch:0", R"({"output":false,"apower":0})");
    EXPECT_FALSE(hub.ingest->status(hub.store->plugDevices()["rpc:p2:0"], hub.time.now()).switchedOn);
}

TEST(PlugIngest, AvailabilityAndTheReadingsAgeDecideWhetherTheMeterIsPluggedIn)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    ingest.onMessage("p/status/switch:0", R"({"output":true,"apower":30})");
    int64_t id = hub.store->plugDevices()["rpc:p:0"];
    int64_t first = hub.time.now();
    // One reading so far: it stands for the default while.
    hub.time.advance(PlugIngest::kUnknownIntervalFreshMs - 1);
    LiveStatus status = ingest.status(id, hub.time.now());
    EXPECT_TRUE(status.pluggedIn);
    EXPECT_EQ(status.current->timestampMs, hub.time.now());
    EXPECT_TRUE(status.switchedOn);
    hub.time.advance(1);
    status = ingest.status(id, hub.time.now());
    EXPECT_FALSE(status.pluggedIn);
    EXPECT_EQ(status.current->timestampMs, first);

    // Readings every 10 s: fresh for 2.5 intervals, and never less than 30 s.
    for (int i = 0; i < 20; ++i) {
        hub.time.advance(10 * kSecond);
        ingest.onMessage("p/status/switch:0", R"({"output":true,"apower":31})");
    }
    int64_t last = hub.time.now();
    hub.time.advance(PlugIngest::kShortestFreshMs - 1);
    EXPECT_TRUE(ingest.status(id, hub.time.now()).pluggedIn);
    hub.time.advance(1);
    status = ingest.status(id, hub.time.now());
    EXPECT_FALSE(status.pluggedIn);
    EXPECT_EQ(status.current->timestampMs, last);

    // A fresh reading from a plug its last will calls offline shows its own time.
    ingest.onMessage("p/status/switch:0", R"({"output":false,"apower":0})");
    ingest.onMessage("p/online", "false");
    status = ingest.status(id, hub.time.now() + kSecond);
    EXPECT_FALSE(status.pluggedIn);
    EXPECT_EQ(status.current->timestampMs, hub.time.now());
    EXPECT_FALSE(status.switchedOn);
    ingest.onMessage("p/online", "true");
    EXPECT_TRUE(ingest.status(id, hub.time.now()).pluggedIn);
}

TEST(PlugIngest, TheServiceServesRealDevicesWithTheirLiveStatusAndSwitching)
{
    IngestSettings settings;
    settings.confirmTimeout = std::chrono::milliseconds(30);
    Hub hub(settings);
    publishEachFamily(*hub.ingest);
    hub.ingest->onMessage("plugs-a8/online", "false");
    ServiceConfig config;
    config.passwordIterations = test::kTestPasswordIterations;
    Service service(*hub.store, config, hub.time.function());
    service.setLiveHome(hub.ingest.get());
    auto call = [&](const std::string& method, const std::string& route, const std::string& query,
                    const std::string& body = "") {
        auto reply = service.handle(ServiceRequest { method, Service::kBasePath + route, query, body });
        return json::objectFromJSONData(reply.body);
    };
    json::Value signedIn = call("POST", "/session", "", "name=ann&password=secret&token=(null)");
    std::string token(signedIn["token"].stringValue());
    ASSERT_FALSE(token.empty());
    json::Value list = call("GET", "/api/device", "token=" + token);
    const json::Value& devices = list["devices"];
    ASSERT_EQ(devices.count(), 3u);
    for (size_t i = 0; i < devices.count(); ++i) {
        const json::Value& device = devices[i];
        std::string_view name = device["name"].stringValue();
        EXPECT_EQ(device["location"].stringValue(), kNewDevicesRoom);
        EXPECT_EQ(device["currentStatus"]["timestamp"].integerValue(), hub.time.now()) << name;
        EXPECT_EQ(device["meterPluggedIn"].boolValue(), name != "plugs-a8") << name;
        EXPECT_EQ(device["suggestions"].count(), 0u);
    }
    EXPECT_EQ(devices[2]["currentStatus"]["powerDraw"].doubleValue(), 80);
    json::Value battery = call("GET", "/api/battery", "token=" + token + "&count=5");
    EXPECT_EQ(battery["statuses"].count(), 0u);

    // Switching answers only once the plug told; a silent plug's failure is the reply's error.
    Broker broker;
    hub.ingest->setPublisher(broker.publisher());
    broker.answer
        = [&](const std::string&, const std::string& payload) { hub.ingest->onMessage("stat/desk/POWER", payload); };
    int64_t desk = hub.store->plugDevices()["cmd:desk"];
    std::string action = "device_id=" + std::to_string(desk) + "&act_id=" + std::to_string(desk * 10 + 1);
    json::Value switched = call("POST", "/api/action", "", action + "&act_value=0&token=" + token);
    EXPECT_TRUE(switched["success"].boolValue());
    EXPECT_FALSE(hub.ingest->status(desk, hub.time.now()).switchedOn);
    broker.answer = nullptr;
    json::Value ignored = call("POST", "/api/action", "", action + "&act_value=1&token=" + token);
    EXPECT_FALSE(ignored["success"].boolValue());
    EXPECT_EQ(ignored["error"].stringValue(), "Desk lamp did not answer the switch command");
    json::Value wrong = call("POST", "/api/action", "", action + "&act_value=2&token=" + token);
    EXPECT_EQ(wrong["error"].stringValue(), "parameter act_value must be 0 or 1 for switching");
}

TEST(PlugIngest, SwitchingSendsEachFamilysCommandAndSucceedsOnlyOnceThePlugReportsIt)
{
    IngestSettings settings;
    settings.confirmTimeout = std::chrono::milliseconds(30);
    Hub hub(settings);
    auto& ingest = *hub.ingest;
    publishEachFamily(ingest);
    ingest.onMessage("zigbee2mqtt/bridge/devices",
        R"([{"friendly_name":"tv","ieee_address":"0xab","type":"Router","definition":{"exposes":[)"
        R"({"type":"switch","features":[{"type":"binary","property":"state","value_on":"ON","value_off":"OFF"}]}]}}])");
    auto ids = hub.store->plugDevices();
    Broker broker;
    ingest.setPublisher(broker.publisher());
    broker.answer = [&](const std::string& topic, const std::string& payload) {
        if (topic == "plugs-a8/command/switch:0")
            ingest.onMessage(
                "plugs-a8/status/switch:0", R"({"output":)" + std::string(payload == "on" ? "true" : "false") + "}");
        if (topic == "cmnd/desk/POWER")
            ingest.onMessage("stat/desk/RESULT", R"({"POWER":")" + payload + R"("})");
        // The bridge's plug ignores every command.
    };
    SwitchOutcome outcome = ingest.switchTo(ids["rpc:plugs-a8:0"], "plugs-a8", false);
    EXPECT_TRUE(outcome.confirmed) << outcome.error;
    EXPECT_FALSE(ingest.status(ids["rpc:plugs-a8:0"], hub.time.now()).switchedOn);
    outcome = ingest.switchTo(ids["cmd:desk"], "Desk lamp", false);
    EXPECT_TRUE(outcome.confirmed) << outcome.error;
    outcome = ingest.switchTo(ids["zb:0xab"], "tv", false);
    EXPECT_FALSE(outcome.confirmed);
    EXPECT_EQ(outcome.error, "tv did not answer the switch command");
    EXPECT_TRUE(ingest.status(ids["zb:0xab"], hub.time.now()).switchedOn);
    EXPECT_EQ(broker.sent,
        (std::vector<std::string> {
            "plugs-a8/command/switch:0 off", "cmnd/desk/POWER OFF", R"(zigbee2mqtt/tv/set {"state":"OFF"})" }));

    // Offline, or no broker: told at once.
    ingest.onMessage("tele/desk/LWT", "Offline");
    EXPECT_EQ(ingest.switchTo(ids["cmd:desk"], "Desk lamp", true).error, "Desk lamp is offline and cannot be switched");
    broker.connected = false;
    EXPECT_EQ(ingest.switchTo(ids["plugs-a8:0"], "x", true).error, "this device cannot be switched from the hub");
    EXPECT_EQ(ingest.switchTo(ids["rpc:plugs-a8:0"], "plugs-a8", true).error,
        "the hub is not connected to the broker; try again in a moment");
}

TEST(PlugIngest, OfTwoCommandsInFlightTheLaterWinsAndBothAreAnswered)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    ingest.onMessage("p/status/switch:0", R"({"output":true})");
    int64_t id = hub.store->plugDevices()["rpc:p:0"];
    Broker broker;
    std::promise<void> firstSent;
    broker.answer = [&](const std::string&, const std::string& payload) {
        if (payload == "off")
            firstSent.set_value();
    };
    ingest.setPublisher(broker.publisher());
    // Off, then on before the plug answered: the off request loses.
    auto first = std::async(std::launch::async, [&] { return ingest.switchTo(id, "p", false); });
    firstSent.get_future().wait();
    SwitchOutcome later = ingest.switchTo(id, "p", true);
    EXPECT_TRUE(later.confirmed) << later.error;
    SwitchOutcome earlier = first.get();
    EXPECT_FALSE(earlier.confirmed);
    EXPECT_EQ(earlier.error, "a later request for p replaced this one");

    // Two asking for the same state share the plug's one confirmation.
    std::promise<void> bothSent;
    std::atomic<int> offs { 0 };
    broker.answer = [&](const std::string&, const std::string&) {
        if (++offs == 2)
            bothSent.set_value();
    };
    auto one = std::async(std::launch::async, [&] { return ingest.switchTo(id, "p", false); });
    auto other = std::async(std::launch::async, [&] { return ingest.switchTo(id, "p", false); });
    bothSent.get_future().wait();
    ingest.onMessage("p/status/switch:0", R"({"output":false})");
    EXPECT_TRUE(one.get().confirmed);
    EXPECT_TRUE(other.get().confirmed);
}

TEST(PlugIngest, ReadingsAreKeptOnceAndServedByTheHistoryEndpoints)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    // An old retained copy at start tells no reading of now.
    ingest.onMessage("tele/k/SENSOR", R"({"ENERGY":{"Total":1.000,"Power":99}})", true);
    int64_t id = hub.store->plugDevices()["cmd:k"];
    EXPECT_EQ(ingest.status(id, hub.time.now()).current->timestampMs, 0);
    int64_t start = hub.time.now();
    for (int i = 0; i < 12; ++i) {
        std::string payload = R"({"ENERGY":{"Total":)" + std::to_string(1.0 + i * 0.001) + R"(,"Power":60}})";
        ingest.onMessage("tele/k/SENSOR", payload);
        // QoS 1 sends it again: not kept twice.
        ingest.onMessage("tele/k/SENSOR", payload);
        hub.time.advance(10 * kSecond);
    }
    ServiceConfig config;
    config.passwordIterations = test::kTestPasswordIterations;
    Service service(*hub.store, config, hub.time.function());
    service.setLiveHome(hub.ingest.get());
    auto get = [&](const std::string& route, const std::string& query) {
        return json::objectFromJSONData(
            service.handle(ServiceRequest { "GET", std::string(Service::kBasePath) + route, query, "" }).body);
    };
    auto signIn
        = json::objectFromJSONData(service
                                       .handle(ServiceRequest { "POST", std::string(Service::kBasePath) + "/session",
                                           "", "name=ann&password=secret&token=(null)" })
                                       .body);
    std::string token(signIn["token"].stringValue());
    std::string window = "&from=" + std::to_string(start) + "&to=" + std::to_string(hub.time.now());
    json::Value statuses = get("/api/status", "token=" + token + "&device_id=" + std::to_string(id) + window);
    ASSERT_EQ(statuses["statuses"].count(), 12u);
    EXPECT_EQ(statuses["statuses"][0]["powerDraw"].doubleValue(), 60);
    EXPECT_EQ(statuses["statuses"][11]["meterReading"].doubleValue(), 1.011);
    json::Value energy = get("/api/energyconsumption",
        "token=" + token + "&device_id=battery&from=" + std::to_string(floorTo(start, kHourMs))
            + "&to=" + std::to_string(hub.time.now()));
    ASSERT_EQ(energy["energyConsumptions"].count(), 1u);
    double total = 0;
    for (size_t i = 0; i < energy["energyConsumptions"].count(); ++i)
        total += energy["energyConsumptions"][i]["energyConsumed"].doubleValue();
    EXPECT_NEAR(total, 0.011, 1e-9);
}

TEST(PlugIngest, HostileMessagesMakeAtMostItsDevicesAndNothingUnfitToShow)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    // A flood of new plugs: the first thousand get a device, the rest nothing.
    for (int i = 0; i < 3000; ++i)
        ingest.onMessage("flood-" + std::to_string(i) + "/status/switch:0", R"({"output":true,"apower":1})");
    EXPECT_EQ(hub.store->plugDevices().size(), 1000u);
    // Too large a payload is not read; names of markup, controls and bad bytes are cleaned.
    IngestSettings roomy;
    roomy.maxDevices = 5;
    Hub other(roomy);
    other.ingest->onMessage(
        "tele/big/SENSOR", R"({"ENERGY":{"Power":5}, "x":")" + std::string(10'000'000, 'a') + R"("})");
    EXPECT_EQ(other.store->plugDevices().count("cmd:big"), 0u);
    other.ingest->onMessage("zigbee2mqtt/bridge/devices",
        "[{\"friendly_name\":\"<b>TV</b>\\u0007\",\"ieee_address\":\"0x1\",\"type\":\"Router\","
        "\"definition\":{\"exposes\":[{\"type\":\"numeric\",\"property\":\"power\"}]}}]");
    other.ingest->onMessage("tasmota/discovery/M/config", "{\"t\":\"k\",\"fn\":[\"A\\u0085B\"],\"rl\":[1]}");
    other.ingest->onMessage("tele/A\xff"
                            "B/SENSOR",
        R"({"ENERGY":{"Power":5}})");
    std::vector<std::string> names;
    for (const auto& device : other.store->devices(other.household))
        names.push_back(device.name);
    EXPECT_EQ(names,
        (std::vector<std::string> { "<b>TV</b>", "A B",
            "A\xef\xbf\xbd"
            "B" }));
}

TEST(PlugIngest, AReadingWithoutALiveOneSinceTheStartStandsAsOld)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    // Only the broker's retained copies: the value, at no known time.
    ingest.onMessage("zigbee2mqtt/bridge/devices",
        R"([{"friendly_name":"tv","ieee_address":"0xab","type":"Router","definition":{"exposes":[)"
        R"({"type":"numeric","name":"power","property":"power"}]}}])",
        true);
    ingest.onMessage("zigbee2mqtt/tv", R"({"state":"ON","power":80})", true);
    int64_t tv = hub.store->plugDevices()["zb:0xab"];
    LiveStatus status = ingest.status(tv, hub.time.now());
    ASSERT_TRUE(status.current);
    EXPECT_EQ(status.current->timestampMs, 0);
    EXPECT_EQ(status.current->watts, 80);
    // The first live reading is now.
    hub.time.advance(kSecond);
    ingest.onMessage("zigbee2mqtt/tv", R"({"state":"ON","power":81})");
    status = ingest.status(tv, hub.time.now());
    EXPECT_EQ(status.current->timestampMs, hub.time.now());
    EXPECT_TRUE(status.pluggedIn);

    // After a restart the last reading kept stands, with its own time,
    // whatever the retained copy says, until a live one comes.
    int64_t kept = floorTo(hub.time.now(), History::kRawStepMs);
    hub.time.advance(kSecond);
    hub.history->flush(hub.time.now());
    hub.open();
    hub.time.advance(10 * kMinuteMs);
    EXPECT_EQ(hub.ingest->status(tv, hub.time.now()).current, (PowerSample { kept, 81 }));
    hub.ingest->onMessage("zigbee2mqtt/bridge/devices",
        R"([{"friendly_name":"tv","ieee_address":"0xab","type":"Router","definition":{"exposes":[)"
        R"({"type":"numeric","name":"power","property":"power"}]}}])",
        true);
    hub.ingest->onMessage("zigbee2mqtt/tv", R"({"state":"ON","power":90})", true);
    EXPECT_EQ(hub.ingest->status(tv, hub.time.now()).current, (PowerSample { kept, 90 }));
    hub.ingest->onMessage("zigbee2mqtt/tv", R"({"state":"ON","power":91})");
    EXPECT_EQ(hub.ingest->status(tv, hub.time.now()).current, (PowerSample { hub.time.now(), 91 }));
}

TEST(PlugIngest, ACommandLinePlugWithACustomFullTopicIsReadAndSwitchedThere)
{
    Hub hub;
    auto& ingest = *hub.ingest;
    std::vector<std::string> subscribed;
    ingest.setSubscriber([&](const std::string& filter) { subscribed.push_back(filter); });
    Broker broker;
    ingest.setPublisher(broker.publisher());
    ingest.onMessage("tasmota/discovery/A1/config",
        R"({"t":"desk","fn":["Desk"],"ft":"%topic%/%prefix%/","tp":["cmnd","stat","tele"],"rl":[1]})", true);
    EXPECT_EQ(subscribed,
        (std::vector<std::string> { "desk/tele/LWT", "desk/tele/SENSOR", "desk/tele/STATE", "desk/stat/POWER",
            "desk/stat/POWER1", "desk/stat/RESULT" }));
    // Heard again at a reconnection: nothing more to subscribe.
    ingest.onMessage("tasmota/discovery/A1/config",
        R"({"t":"desk","fn":["Desk"],"ft":"%topic%/%prefix%/","tp":["cmnd","stat","tele"],"rl":[1]})", true);
    EXPECT_EQ(subscribed.size(), 6u);
    int64_t desk = hub.store->plugDevices()["cmd:desk"];
    ingest.onMessage("desk/tele/SENSOR", R"({"ENERGY":{"Total":1.5,"Power":42}})");
    ingest.onMessage("desk/tele/LWT", "Online");
    LiveStatus status = ingest.status(desk, hub.time.now());
    EXPECT_EQ(status.current->watts, 42);
    EXPECT_TRUE(status.pluggedIn);
    broker.answer
        = [&](const std::string&, const std::string&) { ingest.onMessage("desk/stat/RESULT", R"({"POWER":"OFF"})"); };
    EXPECT_TRUE(ingest.switchTo(desk, "Desk", false).confirmed);
    EXPECT_EQ(broker.sent, (std::vector<std::string> { "desk/cmnd/POWER OFF" }));
    ingest.onMessage("desk/tele/LWT", "Offline");
    EXPECT_FALSE(ingest.status(desk, hub.time.now()).pluggedIn);
    // The usual topics of another plug are still read as before.
    ingest.onMessage("tele/lamp/SENSOR", R"({"ENERGY":{"Total":1.5,"Power":7}})");
    EXPECT_EQ(hub.store->plugDevices().count("cmd:lamp"), 1u);
}
