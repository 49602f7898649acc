// The hub against a real broker: mosquitto started here on a free port with a
// password file and no anonymous access, the emulated plugs of every family,
// and hestio-hub in real mode, asked over HTTPS as the app asks it.
#include "MqttHarness.h"

#include "FormData.h"
#include "History.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>

using namespace hestio::sim;
using namespace hestio::sim::test;
using namespace std::chrono_literals;

namespace {
/// Readings of the device come again after `up`, and none stand in the
/// broker's absence from `down` to `up`.
void expectReadingsToResumeAfterAHole(
    int port, const std::string& token, int64_t kitchen, int64_t down, int64_t up, const std::string& log)
{
    json::Value resumed = samplesSince(port, token, kitchen, up, 20s);
    ASSERT_GT(resumed.count(), 0u) << std::ifstream(log).rdbuf();
    json::Value around = callOverHttps(port,
        "/kivoraserver/api/status?token=" + token + "&device_id=" + std::to_string(kitchen)
            + "&from=" + std::to_string(down - 20'000) + "&to=" + std::to_string(wallClockMs()),
        "")["statuses"];
    for (size_t i = 0; i < around.count(); ++i) {
        int64_t at = around[i]["timestamp"].integerValue();
        EXPECT_FALSE(at > down && at < up) << at << " in " << down << " to " << up;
    }
}

/// The times of the device's per-minute averages up to `toMs` (as a
/// graph's week is served).
std::vector<int64_t> minuteAverages(int port, const std::string& token, int64_t device, int64_t toMs)
{
    json::Value minutes = callOverHttps(port,
        "/kivoraserver/api/status?token=" + token + "&device_id=" + std::to_string(device)
            + "&from=" + std::to_string(toMs - History::kLongestRawWindowMs - kHourMs) + "&to=" + std::to_string(toMs),
        "")["statuses"];
    std::vector<int64_t> times;
    for (size_t i = 0; i < minutes.count(); ++i)
        times.push_back(minutes[i]["timestamp"].integerValue());
    return times;
}

/// Seconds since 1970 of a line's time, as "2026-12-08T05:45:00+01:00".
std::optional<int64_t> csvTime(const std::string& text)
{
    std::tm at {};
    char sign = 0;
    int offsetHours = 0;
    int offsetMinutes = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &at.tm_year, &at.tm_mon, &at.tm_mday, &at.tm_hour,
            &at.tm_min, &at.tm_sec, &sign, &offsetHours, &offsetMinutes)
        != 9)
        return std::nullopt;
    at.tm_year -= 1900;
    at.tm_mon -= 1;
    int64_t offset = (offsetHours * 60 + offsetMinutes) * 60;
    return static_cast<int64_t>(timegm(&at)) - (sign == '-' ? -offset : offset);
}

/// One line of the file a graph exported: its time (ms), and whether it has
/// a value (a sample) or not (a gap the screen marks).
struct CsvLine {
    int64_t atMs {};
    bool sample {};
};

std::vector<CsvLine> csvLines(const std::filesystem::path& csv)
{
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line); // the header
    std::vector<CsvLine> lines;
    while (std::getline(in, line)) {
        size_t comma = line.find(',');
        auto at = csvTime(line.substr(0, comma));
        EXPECT_TRUE(at && comma != std::string::npos) << line;
        if (at && comma != std::string::npos)
            lines.push_back({ *at * 1000, line.compare(comma, 2, ",,") != 0 });
    }
    return lines;
}

/// The real client, headless, opens the kitchen plug's power-draw graph of
/// today and exports it (tests/plugs/graph-after-outage.txt); the file it
/// wrote.
std::filesystem::path exportTheGraph(
    int port, const std::string& data, const ScratchFolder& folder, const std::string& log)
{
    std::string pin;
    if (FILE* out = popen(("'" HESTIO_SIM_BINARY "' --print-pin --data '" + data + "'").c_str(), "r")) {
        char text[128] = {};
        if (std::fgets(text, sizeof text, out))
            pin = text;
        pclose(out);
    }
    pin.erase(pin.find_last_not_of("\n") + 1);
    std::string profile = folder.file("profile");
    std::string app = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER HESTIO_ASSETS='" HESTIO_SOURCE_DIR
                      "/assets' LSAN_OPTIONS='suppressions=" HESTIO_SOURCE_DIR "/.ci/lsan.supp' '" HESTIO_BINARY_DIR
                      "/bin/hestio' --headless --clock real --service-host localhost:"
        + std::to_string(port) + " --service-pin sha256//" + pin + " --profile '" + profile
        + "' --script '" HESTIO_SOURCE_DIR "/tests/plugs/graph-after-outage.txt' --failure-screenshot '"
        + folder.file("graph-failure.png") + "' >>'" + log + "' 2>&1";
    EXPECT_EQ(std::system(app.c_str()), 0) << std::ifstream(log).rdbuf();
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(profile + "/Documents/Hestio", missing))
        if (entry.path().extension() == ".csv")
            return entry.path();
    return {};
}

/// What the user sees after the broker went in the first minute the hub
/// heard the plug and came back at `up`: the plug's power-draw graph of
/// today, exported, draws no sample before `up` (that minute was not heard
/// whole, and nothing is carried across the broker's absence), marks today
/// missing from its start up to its first sample, and nothing after that.
void expectTheGraphToShowTheStretchMissing(
    int port, const std::string& data, const ScratchFolder& folder, int64_t up, const std::string& log)
{
    auto csv = exportTheGraph(port, data, folder, log);
    ASSERT_FALSE(csv.empty()) << "no file exported";
    auto lines = csvLines(csv);
    std::string file((std::istreambuf_iterator<char>(std::ifstream(csv).rdbuf())), {});
    auto first = std::find_if(lines.begin(), lines.end(), [](const CsvLine& line) { return line.sample; });
    if (first != lines.end()) {
        EXPECT_GE(first->atMs, up) << file;
    }
    // A gap runs from its line to the next sample: today's from midnight
    // (the last of the lines that start the days without data).
    ASSERT_NE(first, lines.begin()) << file;
    EXPECT_FALSE((first - 1)->sample) << file;
    EXPECT_LT((first - 1)->atMs, up - 2 * kMinuteMs) << file;
    EXPECT_TRUE(std::all_of(first, lines.end(), [](const CsvLine& line) { return line.sample; })) << file;
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
    // The hub starts in the first half of a minute, so that the plugs
    // appear and the broker goes before its end.
    if (int64_t into = wallClockMs() % kMinuteMs; into > 30'000)
        std::this_thread::sleep_for(std::chrono::milliseconds(kMinuteMs - into + 200));
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

    // The broker is away a minute: the hub reconnects and subscribes by
    // itself. It goes in the first minute the hub hears the plugs, a minute
    // the hub then did not hear whole.
    int64_t kitchen = named(devices, "kitchen plug")["id"].integerValue();
    auto heard = minuteAverages(port, token, kitchen, wallClockMs());
    int64_t down = wallClockMs();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_LT(down, heard.front() + kMinuteMs) << "the plugs took too long to appear";
    mosquitto.reset();
    std::this_thread::sleep_for(60s);
    int64_t up = wallClockMs();
    mosquitto
        = std::make_unique<Process>(std::vector<std::string> { kBroker, "-c", folder.file("mosquitto.conf") }, log);
    expectReadingsToResumeAfterAHole(port, token, kitchen, down, up, log);
    EXPECT_TRUE(callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["success"].boolValue());
    devices = waitForDevices(port, token, 15s, allReporting);
    ASSERT_TRUE(allReporting(devices)) << std::ifstream(log).rdbuf();

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

    expectTheGraphToShowTheStretchMissing(port, data, folder, up, log);
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
