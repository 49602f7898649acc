// The hub against a real broker: mosquitto started here on a free port with a
// password file and no anonymous access, the emulated plugs of every family,
// and hestio-hub in real mode, asked over HTTPS as the app asks it.
#include "MqttHarness.h"

#include "FormData.h"
#include "History.h"

using namespace hestio::sim;
using namespace hestio::sim::test;
using namespace std::chrono_literals;

namespace {
/// Readings of the device come again after `up`, and none stand in the
/// broker's absence from `down` to `up`. (The graphs draw a hole of ten
/// minutes or more as missing: a minute shows as a hole in the samples,
/// not hatched.)
void expectReadingsToResumeAfterAHole(
    int port, const std::string& token, int64_t kitchen, int64_t down, int64_t up, const std::string& log)
{
    json::Value resumed = samplesSince(port, token, kitchen, up, 20s);
    ASSERT_GT(resumed.count(), 0u) << std::ifstream(log).rdbuf();
    json::Value around = callOverHttps(port,
        "/kivoraserver/api/status?token=" + token + "&device_id=" + std::to_string(kitchen)
            + "&from=" + std::to_string(down - 20'000) + "&to=" + std::to_string(wallClockMs()),
        "")["statuses"];
    int64_t longestHole = 0;
    for (size_t i = 1; i < around.count(); ++i) {
        int64_t at = around[i]["timestamp"].integerValue();
        int64_t before = around[i - 1]["timestamp"].integerValue();
        longestHole = std::max(longestHole, at - before);
        // A raw sample stands at the start of its 5 s.
        EXPECT_FALSE(at > down + History::kRawStepMs && at < up - History::kRawStepMs)
            << at << " in " << down << " to " << up;
    }
    EXPECT_GE(longestHole, up - down - 2 * History::kRawStepMs);
}
}

TEST(MqttEndToEnd, PlugsOfEveryFamilyAppearSwitchGoSilentAndSurviveTheBrokerAwayAMinute)
{
    if (access(kBroker, X_OK) != 0 || access(kPasswd, X_OK) != 0)
        GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap installs it)";
    test::ScratchFolder folder;
    std::string log = folder.file("processes.log");
    int brokerPort = freePort();
    std::string broker = "mqtt://127.0.0.1:" + std::to_string(brokerPort);
    ASSERT_TRUE(writeConfiguration(folder, brokerPort));
    std::string data = folder.file("data");
    // The first user comes from the command line, the password on standard input.
    auto addUser = [&](const std::string& name) {
        Process add({ HESTIO_SIM_BINARY, "user", "add", name, "--admin", "--data", data }, log, true);
        add.say(name + "-secret");
        return add.finish();
    };
    ASSERT_EQ(addUser("ann"), 0);

    auto mosquitto
        = std::make_unique<Process>(std::vector<std::string> { kBroker, "-c", folder.file("mosquitto.conf") }, log);
    std::this_thread::sleep_for(300ms);
    Process plugs({ HESTIO_TEST_PLUGS_BINARY, "--mqtt", broker, "--config", folder.file("plugs.conf"), "rpc:desk:40",
                      "cmd:kitchen:100", "zb:tv:80", "map:boiler:2000", "rpc:stubborn:5:ignore" },
        log, true);
    test::Child hub({ "--mqtt", broker, "--data", data, "--config", folder.file("hub.conf"), "--port", "0" });
    int port = hub.waitUntilListening();
    ASSERT_GT(port, 0);
    std::string token(
        callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["token"].stringValue());
    ASSERT_FALSE(token.empty());
    // A user added while the hub runs signs in at once.
    ASSERT_EQ(addUser("bob"), 0);
    EXPECT_TRUE(callOverHttps(port, "/kivoraserver/session", "name=bob&password=bob-secret")["success"].boolValue());

    const std::vector<std::string> names { "desk", "kitchen plug", "tv", "Boiler", "stubborn" };
    auto allReporting = [&](const json::Value& devices) {
        return std::all_of(names.begin(), names.end(), [&](const auto& name) {
            const json::Value& device = named(devices, name);
            return device["meterPluggedIn"].boolValue() && device["currentStatus"]["powerDraw"].doubleValue() > 0;
        });
    };
    json::Value devices = waitForDevices(port, token, 15s, allReporting);
    ASSERT_TRUE(allReporting(devices)) << std::ifstream(log).rdbuf();
    EXPECT_EQ(named(devices, "Boiler")["location"].stringValue(), "New devices");

    // Switched off: confirmed by each plug but the one that ignores commands.
    for (const auto& name : names) {
        int64_t id = named(devices, name)["id"].integerValue();
        json::Value reply = callOverHttps(port, "/kivoraserver/api/action",
            "device_id=" + std::to_string(id) + "&act_id=" + std::to_string(id * 10 + 1)
                + "&act_value=0&token=" + token);
        if (name == "stubborn") {
            EXPECT_FALSE(reply["success"].boolValue());
            EXPECT_EQ(reply["error"].stringValue(), "stubborn did not answer the switch command");
        } else {
            EXPECT_TRUE(reply["success"].boolValue()) << name << " " << reply["error"].stringValue();
        }
    }
    devices = callOverHttps(port, "/kivoraserver/api/device?token=" + token, "")["devices"];
    EXPECT_FALSE(named(devices, "tv")["meterSupplyingPower"].boolValue());
    EXPECT_TRUE(named(devices, "stubborn")["meterSupplyingPower"].boolValue());

    // Killed without a goodbye: the broker tells its last will.
    plugs.say("kill desk");
    devices = waitForDevices(
        port, token, 10s, [&](const json::Value& list) { return !named(list, "desk")["meterPluggedIn"].boolValue(); });
    EXPECT_FALSE(named(devices, "desk")["meterPluggedIn"].boolValue());

    // The broker is away a minute: the hub reconnects and subscribes by itself.
    int64_t kitchen = named(devices, "kitchen plug")["id"].integerValue();
    int64_t down = wallClockMs();
    mosquitto.reset();
    std::this_thread::sleep_for(60s);
    int64_t up = wallClockMs();
    mosquitto
        = std::make_unique<Process>(std::vector<std::string> { kBroker, "-c", folder.file("mosquitto.conf") }, log);
    expectReadingsToResumeAfterAHole(port, token, kitchen, down, up, log);
    EXPECT_TRUE(callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["success"].boolValue());
    EXPECT_EQ(hub.stop(SIGTERM), 0);
}

TEST(MqttEndToEnd, HostileTopicsMakeAtMostAThousandDevicesLogOnceAndSignInGoesOn)
{
    if (!haveBroker())
        GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap installs it)";
    ScratchFolder folder;
    std::string log = folder.file("processes.log");
    std::string hubLog = folder.file("hub.log");
    int brokerPort = freePort();
    ASSERT_TRUE(writeConfiguration(folder, brokerPort));
    std::string data = folder.file("data");
    Process add({ HESTIO_SIM_BINARY, "user", "add", "ann", "--admin", "--data", data }, log, true);
    add.say("ann-secret");
    ASSERT_EQ(add.finish(), 0);
    Process mosquitto({ kBroker, "-c", folder.file("mosquitto.conf") }, log);
    std::this_thread::sleep_for(300ms);
    Process hub({ HESTIO_SIM_BINARY, "--mqtt", "mqtt://127.0.0.1:" + std::to_string(brokerPort), "--data", data,
                    "--config", folder.file("hub.conf"), "--port", "0" },
        hubLog);
    int port = waitForListening(hubLog);
    ASSERT_GT(port, 0) << std::ifstream(hubLog).rdbuf();

    // Unfit names first, a 10 MB payload, then 2,000 new plugs at once.
    Publisher hostile(brokerPort, "plug", "plug-secret");
    ASSERT_TRUE(hostile.connected());
    hostile.publish("<em>Lamp&amp;/status/switch:0", R"({"output":true,"apower":1})");
    hostile.publish("tasmota/discovery/M0/config", R"({"t":"lamp","fn":["<b>Lamp</b>"],"rl":[1]})");
    // The broker refuses topics with control characters or bad UTF-8; payloads carry them.
    hostile.publish("tasmota/discovery/M1/config", "{\"t\":\"bell\",\"fn\":[\"A\\u0007\\u001b[31mB\"],\"rl\":[1]}");
    hostile.publish("tasmota/discovery/M2/config", "{\"t\":\"bad\",\"fn\":[\"bad\xff\xfe\"],\"rl\":[1]}");
    hostile.publish("tele/big/SENSOR", R"({"ENERGY":{"Power":5},"x":")" + std::string(10'000'000, 'a') + R"("})");
    for (int i = 0; i < 2000; ++i)
        hostile.publish("flood-" + std::to_string(i) + "/status/switch:0", R"({"output":true,"apower":1.5})");
    hostile.waitUntilSent();

    std::string token(
        callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["token"].stringValue());
    ASSERT_FALSE(token.empty());
    json::Value devices
        = waitForDevices(port, token, 30s, [](const json::Value& list) { return list.count() >= 1000; });
    // What was still queued is read too: still a thousand.
    std::this_thread::sleep_for(1s);
    devices = callOverHttps(port, "/kivoraserver/api/device?token=" + token, "")["devices"];
    EXPECT_EQ(devices.count(), 1000u);
    EXPECT_FALSE(named(devices, "<b>Lamp</b>").isNone());
    EXPECT_FALSE(named(devices, "<em>Lamp&amp;").isNone());
    EXPECT_FALSE(named(devices, "A  [31mB").isNone());
    EXPECT_TRUE(named(devices, "big").isNone());
    for (size_t i = 0; i < devices.count(); ++i) {
        std::string name(devices[i]["name"].stringValue());
        EXPECT_TRUE(isValidUtf8(name) && std::none_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        })) << name;
    }
    std::string text((std::istreambuf_iterator<char>(std::ifstream(hubLog).rdbuf())), {});
    size_t limitLines = 0;
    for (size_t at = 0; (at = text.find("the most it makes", at)) != std::string::npos; ++at)
        ++limitLines;
    EXPECT_EQ(limitLines, 1u) << text;
    EXPECT_TRUE(callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["success"].boolValue());
}
