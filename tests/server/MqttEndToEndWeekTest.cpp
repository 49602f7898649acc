// A week of readings from plugs of every family through a real broker,
// passed in seconds: the plugs and the hub start a few days before the next
// change of Berlin's clocks (both moved by their clock offset), then the
// plugs step the hub's clock five minutes at a time (--test-clock-topic),
// each step followed by their readings, with a counter restart, repeated
// and late copies, and a plug that freezes with its connection open.
#include "MqttHarness.h"

#include <unicode/basictz.h>
#include <unicode/calendar.h>
#include <unicode/tztrans.h>

#include <cmath>
#include <map>
#include <sstream>

using namespace hestio::sim;
using namespace hestio::sim::test;
using namespace std::chrono_literals;

namespace {
constexpr int64_t kHour = 3'600'000;
constexpr int64_t kDay = 86'400'000;
const char* const kZone = "Europe/Berlin";
const char* const kClockTopic = "hestio-test/clock";

/// The next change of Berlin's clocks after `ms`.
int64_t nextClockChange(int64_t ms)
{
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(kZone));
    auto* rules = dynamic_cast<icu::BasicTimeZone*>(zone.get());
    icu::TimeZoneTransition transition;
    if (!rules || !rules->getNextTransition(static_cast<UDate>(ms), false, transition))
        return -1;
    return static_cast<int64_t>(transition.getTime());
}

/// The start of the Berlin day holding `ms`, and of the next one.
std::pair<int64_t, int64_t> berlinDay(int64_t ms)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(
        icu::Calendar::createInstance(icu::TimeZone::createTimeZone(kZone), status));
    calendar->setTime(static_cast<UDate>(ms), status);
    for (auto field : { UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND, UCAL_MILLISECOND })
        calendar->set(field, 0);
    auto start = static_cast<int64_t>(calendar->getTime(status));
    calendar->add(UCAL_DATE, 1, status);
    return { start, static_cast<int64_t>(calendar->getTime(status)) };
}

/// The plugs' sent log: each plug's readings, (time, counter in Wh) in order.
std::map<std::string, std::vector<std::pair<int64_t, double>>> readSentLog(const std::string& file)
{
    std::map<std::string, std::vector<std::pair<int64_t, double>>> sent;
    std::ifstream in(file);
    int64_t at = 0;
    std::string name;
    double wh = 0;
    while (in >> at >> name >> wh)
        sent[name].emplace_back(at, wh);
    return sent;
}

/// Energy per hour (by its start) from the counter's differences: a
/// counter that went backwards started again from zero.
std::map<int64_t, double> hourlyFromCounter(const std::vector<std::pair<int64_t, double>>& readings)
{
    std::map<int64_t, double> hours;
    for (size_t i = 1; i < readings.size(); ++i) {
        auto [before, previous] = readings[i - 1];
        double counter = readings[i].second;
        double wh = counter >= previous ? counter - previous : counter;
        if (wh > 0)
            hours[before / kHour * kHour] += wh;
    }
    return hours;
}

std::map<int64_t, double> hourlyFromHub(
    int port, const std::string& token, const std::string& device, int64_t from, int64_t to)
{
    json::Value blocks = callOverHttps(port,
        "/kivoraserver/api/energyconsumption?token=" + token + "&device_id=" + device + "&from=" + std::to_string(from)
            + "&to=" + std::to_string(to) + "&block=CLOCK_HOUR",
        "")["energyConsumptions"];
    std::map<int64_t, double> hours;
    for (size_t i = 0; i < blocks.count(); ++i)
        hours[blocks[i]["from"].integerValue()] = blocks[i]["energyConsumed"].doubleValue() * 1000;
    return hours;
}

/// The hours where the two differ by half a watt-hour or more, as text.
std::string differences(const std::map<int64_t, double>& hub, const std::map<int64_t, double>& expected)
{
    std::ostringstream text;
    auto check = [&](int64_t hour) {
        double a = hub.count(hour) ? hub.at(hour) : 0;
        double b = expected.count(hour) ? expected.at(hour) : 0;
        if (std::fabs(a - b) >= 0.5)
            text << hour << ": hub " << a << " Wh, counter " << b << " Wh\n";
    };
    for (const auto& [hour, wh] : hub)
        check(hour);
    for (const auto& [hour, wh] : expected) {
        if (!hub.count(hour))
            check(hour);
    }
    return text.str();
}

/// A household in Berlin with its first user, ann.
bool makeHousehold(const std::string& data, const std::string& log)
{
    Process household({ HESTIO_SIM_BINARY, "household", "--zone", kZone, "--data", data }, log);
    if (household.finish() != 0)
        return false;
    Process add({ HESTIO_SIM_BINARY, "user", "add", "ann", "--admin", "--data", data }, log, true);
    add.say("ann-secret");
    return add.finish() == 0;
}

using Sent = std::map<std::string, std::vector<std::pair<int64_t, double>>>;

/// What the hub's hourly energy of each plug says otherwise than its counter,
/// once the hub has read all (or after a minute); `token` and `devices` as last asked.
std::string waitForEnergyOfTheWeek(int port, const std::function<std::string()>& signIn,
    const std::map<std::string, std::string>& deviceOf, Sent& sent, std::string& token, json::Value& devices)
{
    int64_t first = sent["desk"].front().first;
    int64_t last = sent["desk"].back().first;
    // The hub may still be reading the last steps' messages, its clock
    // moving on with them: each look signs in anew, on the hub's time.
    std::string report;
    for (auto until = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < until;) {
        token = signIn();
        devices = callOverHttps(port, "/kivoraserver/api/device?token=" + token, "")["devices"];
        report.clear();
        for (const auto& [plug, name] : deviceOf) {
            std::string id = std::to_string(named(devices, name)["id"].integerValue());
            std::string wrong
                = differences(hourlyFromHub(port, token, id, first, last + kHour), hourlyFromCounter(sent[plug]));
            if (!wrong.empty())
                report += name + ":\n" + wrong;
        }
        if (report.empty())
            break;
        std::this_thread::sleep_for(500ms);
    }
    return report;
}
/// The home's sum per hour is the plugs' counters' together, and the day
/// of the change has its 23 or 25 hours, each one there.
void expectTheHomesHoursAndTheDayOfTheChange(int port, const std::string& token, Sent& sent, int64_t change)
{
    int64_t first = sent["desk"].front().first;
    int64_t last = sent["desk"].back().first;
    std::map<int64_t, double> home;
    for (const auto& [plug, readings] : sent) {
        for (const auto& [hour, wh] : hourlyFromCounter(readings))
            home[hour] += wh;
    }
    auto homeHours = hourlyFromHub(port, token, "battery", first, last + kHour);
    EXPECT_EQ(differences(homeHours, home), "");
    auto [dayStart, dayEnd] = berlinDay(change);
    size_t hoursThatDay = 0;
    for (const auto& entry : homeHours)
        hoursThatDay += entry.first >= dayStart && entry.first < dayEnd ? 1 : 0;
    EXPECT_NE(dayEnd - dayStart, 24 * kHour);
    EXPECT_EQ(static_cast<int64_t>(hoursThatDay), (dayEnd - dayStart) / kHour);
}

}

TEST(MqttEndToEnd, AWeekOfReadingsGivesHourlyEnergyEqualToTheCountersDifferences)
{
    if (!haveBroker())
        GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap installs it)";
    // Three days before the next change of Berlin's clocks, in whole days.
    int64_t now = wallClockMs();
    int64_t change = nextClockChange(now);
    ASSERT_GT(change, now);
    int offsetDays = static_cast<int>((change - now) / kDay) - 3;
    std::string offset = std::to_string(offsetDays);

    ScratchFolder folder;
    std::string log = folder.file("processes.log");
    int brokerPort = freePort();
    std::string broker = "mqtt://127.0.0.1:" + std::to_string(brokerPort);
    ASSERT_TRUE(writeConfiguration(folder, brokerPort));
    std::string data = folder.file("data");
    ASSERT_TRUE(makeHousehold(data, log));
    Process mosquitto({ kBroker, "-c", folder.file("mosquitto.conf") }, log);
    std::this_thread::sleep_for(300ms);
    Process plugs({ HESTIO_TEST_PLUGS_BINARY, "--mqtt", broker, "--config", folder.file("plugs.conf"),
                      "--clock-offset-days", offset, "--clock-topic", kClockTopic, "--sent-log", folder.file("sent"),
                      "rpc:desk:120", "cmd:kitchen:300", "zb:tv:80", "map:boiler:450", "rpc:frozen:50" },
        log, true);
    Child hub({ "--mqtt", broker, "--data", data, "--config", folder.file("hub.conf"), "--port", "0",
        "--clock-offset-days", offset, "--test-clock-topic", kClockTopic });
    int port = hub.waitUntilListening();
    ASSERT_GT(port, 0);
    auto signIn = [&] {
        return std::string(
            callOverHttps(port, "/kivoraserver/session", "name=ann&password=ann-secret")["token"].stringValue());
    };
    std::string token = signIn();
    const std::map<std::string, std::string> deviceOf { { "desk", "desk" }, { "kitchen", "kitchen plug" },
        { "tv", "tv" }, { "boiler", "Boiler" }, { "frozen", "frozen" } };
    json::Value devices = waitForDevices(port, token, 15s, [&](const json::Value& list) {
        return std::all_of(deviceOf.begin(), deviceOf.end(),
            [&](const auto& plug) { return named(list, plug.second)["meterPluggedIn"].boolValue(); });
    });
    ASSERT_EQ(devices.count(), deviceOf.size()) << std::ifstream(log).rdbuf();

    plugs.say("week 7 300 duplicate:kitchen@20 late:tv@30 restart:desk@50.5 freeze:frozen@60 duplicate:desk@70 "
              "late:boiler@90 restart:boiler@100 duplicate:tv@110 late:kitchen@111 duplicate:boiler@140");
    auto deadline = std::chrono::steady_clock::now() + 120s;
    auto weekDone = [&] {
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), {}).find("week done") != std::string::npos;
    };
    while (!weekDone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(weekDone()) << std::ifstream(log).rdbuf();

    auto sent = readSentLog(folder.file("sent"));
    ASSERT_EQ(sent.size(), deviceOf.size());
    int64_t first = sent["desk"].front().first;
    int64_t last = sent["desk"].back().first;
    ASSERT_EQ(last - first, 7 * kDay);
    ASSERT_GT(change, first + kDay);
    ASSERT_LT(change, last - kDay);
    std::string report = waitForEnergyOfTheWeek(port, signIn, deviceOf, sent, token, devices);
    EXPECT_EQ(report, "");

    expectTheHomesHoursAndTheDayOfTheChange(port, token, sent, change);

    // The plug that froze with its connection open is not reporting, its
    // last reading standing with its own time; the others report.
    for (const auto& [plug, name] : deviceOf) {
        const json::Value& device = named(devices, name);
        EXPECT_EQ(device["meterPluggedIn"].boolValue(), plug != "frozen") << name;
        EXPECT_EQ(device["currentStatus"]["timestamp"].integerValue(), sent[plug].back().first) << name;
    }
    EXPECT_EQ(hub.stop(SIGTERM), 0);
}
