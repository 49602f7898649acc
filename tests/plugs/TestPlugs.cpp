// hestio-test-plugs: metering plugs of every family the hub knows, emulated
// on an MQTT broker by one process, for the tests and for trying the hub
// without hardware. Each plug keeps its own connection with its own last
// will; the Zigbee plugs share their bridge's. Lines on standard input act
// on a plug by name: "restart NAME" (its counter starts again from zero),
// "duplicate NAME" (its next publication goes out twice), "ignore NAME"
// (it stops obeying commands), "kill NAME" (its connection drops without a
// goodbye), "freeze NAME" / "thaw NAME" (it stops publishing, its connection
// kept open, and starts again), "late NAME" (after its next publication it
// sends the one before again), "week DAYS STEP [VERB:NAME@HOURS]..." (see
// the usage) and "quit".
#include "HubConfig.h"
#include "MqttLink.h"

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace hestio::sim;

namespace {

const char* const kUsage = R"(Usage: hestio-test-plugs --mqtt mqtt://HOST:PORT [--config FILE] [--period SECS]
                         [--clock-offset-days N] [--clock-topic TOPIC] [--sent-log FILE]
                         PLUG...
Emulates metering plugs on an MQTT broker. Each PLUG is FAMILY:NAME[:WATTS[:ignore]]
with FAMILY rpc, cmd, zb (behind the bridge zigbee2mqtt) or map (topics
home/NAME/power, energy (kWh), relay, status and set, as the README's mapping
example). FILE holds mqtt_user and mqtt_password lines. Prints "plugs ready"
once every plug is connected.

The line "week DAYS STEP [VERB:NAME@HOURS]..." on standard input passes DAYS
days of readings in seconds: from the next whole hour of the plugs' clock
(the machine's, moved by --clock-offset-days) every STEP seconds, it
publishes the time on the clock topic (for a hub started with
--test-clock-topic and the same offset), waits for the broker to take it,
then every plug's readings, and so on; each VERB (restart, duplicate, late,
freeze, thaw, ignore) acts on plug NAME HOURS into the run. Each reading is
written to the sent log as "MS NAME WH" (the counter as the hub reads it).
Prints "week done" at the end.
)";

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

/// One emulated plug and the state it reports.
struct Plug {
    std::string family;
    std::string name;
    double watts { 60 };
    bool ignores { false };
    bool on { true };
    double counterWh { 1000 };
    std::atomic<bool> duplicateNext { false };
    bool lateNext { false };
    bool frozen { false };
    /// What it published last, for a late copy.
    std::vector<std::pair<std::string, std::string>> lastSent;
    mosquitto* client { nullptr };
};

/// Where the plugs' clock stands and what they write of their readings.
struct Clock {
    int64_t offsetMs { 0 };
    std::string topic;
    FILE* sentLog { nullptr };
};

int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

class Plugs {
public:
    Plugs(BrokerAddress broker, HubConfig config, Clock clock)
        : m_broker(std::move(broker))
        , m_config(std::move(config))
        , m_clock(std::move(clock))
    {
    }

    void add(std::unique_ptr<Plug> plug) { m_plugs.push_back(std::move(plug)); }

    bool connectAll()
    {
        for (auto& plug : m_plugs) {
            if (plug->family == "zb") {
                m_bridgeDevices.push_back(plug.get());
                continue;
            }
            plug->client = connect(plug->name, willTopic(*plug), willPayload(*plug, false), plug.get());
            if (!plug->client)
                return false;
        }
        if (!m_bridgeDevices.empty()) {
            m_bridge = connect("bridge", "", "", nullptr);
            if (!m_bridge)
                return false;
        }
        if (!m_clock.topic.empty()) {
            m_clockClient = connect("clock", "", "", nullptr);
            if (!m_clockClient)
                return false;
        }
        return true;
    }

    /// Announces every plug: availability, discovery records, the bridge's list.
    void announce()
    {
        for (auto& plug : m_plugs) {
            if (plug->family != "zb")
                announce(plug->client);
        }
        if (m_bridge)
            announce(m_bridge);
    }

    /// Announces what one connection stands for, as a plug does each time it connects.
    void announce(mosquitto* client)
    {
        for (auto& plug : m_plugs) {
            if (plug->family == "zb" || plug->client != client)
                continue;
            publish(plug->client, willTopic(*plug), willPayload(*plug, true), true);
            if (plug->family == "cmd") {
                publish(plug->client, "tasmota/discovery/" + plug->name + "MAC/config",
                    R"({"t":")" + plug->name + R"(","dn":")" + plug->name + R"(","fn":[")" + plug->name
                        + R"( plug",null],"ft":"%prefix%/%topic%/","tp":["cmnd","stat","tele"],"rl":[1,0]})",
                    true);
            }
        }
        if (m_bridge && client == m_bridge) {
            std::string list = "[";
            for (Plug* plug : m_bridgeDevices) {
                list += std::string(list.size() > 1 ? "," : "") + R"({"friendly_name":")" + plug->name
                    + R"(","ieee_address":"0x)" + std::to_string(std::hash<std::string>()(plug->name) % 100000000)
                    + R"(","type":"Router","definition":{"exposes":[{"type":"switch","features":[)"
                    + R"({"type":"binary","name":"state","property":"state","value_on":"ON","value_off":"OFF"}]},)"
                    + R"({"type":"numeric","name":"power","property":"power","unit":"W"},)"
                    + R"({"type":"numeric","name":"energy","property":"energy","unit":"kWh"}]}})";
                publish(m_bridge, "zigbee2mqtt/" + plug->name + "/availability", R"({"state":"online"})", true);
            }
            publish(m_bridge, "zigbee2mqtt/bridge/devices", list + "]", true);
        }
    }

    /// One period: counters advance and every plug tells its readings.
    void tick(double seconds, int64_t atMs = 0)
    {
        std::lock_guard lock(m_mutex);
        for (auto& plug : m_plugs) {
            if (plug->frozen)
                continue;
            if (plug->on)
                plug->counterWh += plug->watts * seconds / 3600.0;
            auto before = plug->lastSent;
            int copies = plug->duplicateNext.exchange(false) ? 2 : 1;
            for (int i = 0; i < copies; ++i)
                report(*plug);
            if (std::exchange(plug->lateNext, false)) {
                for (const auto& [topic, payload] : before)
                    publish(publisherOf(*plug), topic, payload);
            }
            if (m_clock.sentLog && atMs > 0)
                std::fprintf(m_clock.sentLog, "%lld %s %.3f\n", static_cast<long long>(atMs), plug->name.c_str(),
                    counterAsRead(*plug));
        }
    }

    /// Days of readings in seconds, on the clock the hub is stepped by.
    void week(double days, int64_t stepSeconds, const std::vector<std::string>& events)
    {
        constexpr int64_t kHour = 3'600'000;
        int64_t start = (wallClockMs() + m_clock.offsetMs + kHour - 1) / kHour * kHour;
        int64_t steps = static_cast<int64_t>(days * 86400) / stepSeconds;
        for (int64_t step = 0; step <= steps; ++step) {
            int64_t at = start + step * stepSeconds * 1000;
            for (const auto& event : events) {
                size_t colon = event.find(':');
                size_t mark = event.find('@');
                if (colon == std::string::npos || mark == std::string::npos || mark < colon)
                    continue;
                int64_t when = start + static_cast<int64_t>(std::atof(event.c_str() + mark + 1) * kHour);
                if (when > at - stepSeconds * 1000 && when <= at)
                    command(event.substr(0, colon) + " " + event.substr(colon + 1, mark - colon - 1));
            }
            if (m_clockClient)
                publish(m_clockClient, m_clock.topic, std::to_string(at));
            // The hub must have the time before the readings made at it.
            waitForAcknowledgements();
            // The first step only tells where the counters stand.
            tick(step == 0 ? 0 : static_cast<double>(stepSeconds), at);
            waitForAcknowledgements();
        }
        if (m_clock.sentLog)
            std::fflush(m_clock.sentLog);
        std::cout << "week done" << std::endl;
    }

    void command(const std::string& line)
    {
        std::istringstream words(line);
        std::string verb;
        std::string name;
        words >> verb >> name;
        mosquitto* killed = nullptr;
        {
            std::lock_guard lock(m_mutex);
            for (auto& plug : m_plugs) {
                if (plug->name != name)
                    continue;
                if (verb == "restart")
                    plug->counterWh = 0;
                else if (verb == "duplicate")
                    plug->duplicateNext = true;
                else if (verb == "late")
                    plug->lateNext = true;
                else if (verb == "freeze" || verb == "thaw")
                    plug->frozen = verb == "freeze";
                else if (verb == "ignore")
                    plug->ignores = true;
                else if (verb == "kill")
                    killed = std::exchange(plug->client, nullptr);
            }
        }
        if (killed) {
            // Destroyed without a DISCONNECT: the broker sends the last will.
            mosquitto_loop_stop(killed, true);
            mosquitto_destroy(killed);
        }
    }

private:
    static std::string willTopic(const Plug& plug)
    {
        if (plug.family == "rpc")
            return plug.name + "/online";
        if (plug.family == "cmd")
            return "tele/" + plug.name + "/LWT";
        return "home/" + plug.name + "/status";
    }

    static std::string willPayload(const Plug& plug, bool online)
    {
        if (plug.family == "rpc")
            return online ? "true" : "false";
        if (plug.family == "cmd")
            return online ? "Online" : "Offline";
        return online ? "online" : "offline";
    }

    mosquitto* connect(const std::string& id, const std::string& will, const std::string& willPayload, Plug* plug)
    {
        mosquitto* client = mosquitto_new(("test-plug-" + id).c_str(), true, this);
        mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        // Each step of a week waits for the broker's acknowledgement: no delay for small packets.
        mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
        if (!m_config.mqttUser.empty())
            mosquitto_username_pw_set(client, m_config.mqttUser.c_str(), m_config.mqttPassword.c_str());
        if (!will.empty())
            mosquitto_will_set(client, will.c_str(), static_cast<int>(willPayload.size()), willPayload.data(), 1, true);
        mosquitto_message_callback_set(client, &Plugs::onMessage);
        mosquitto_publish_callback_set(client, &Plugs::onPublished);
        mosquitto_connect_callback_set(client, &Plugs::onConnected);
        m_owners[client] = plug;
        if (mosquitto_connect(client, m_broker.host.c_str(), m_broker.port, 5) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "hestio-test-plugs: cannot connect %s\n", id.c_str());
            return nullptr;
        }
        subscribeToCommands(client, plug);
        mosquitto_loop_start(client);
        return client;
    }

    /// A clean session: the broker forgets the subscription with the connection.
    static void subscribeToCommands(mosquitto* client, const Plug* plug)
    {
        std::string commands = plug ? commandTopic(*plug) : "zigbee2mqtt/+/set";
        mosquitto_subscribe(client, nullptr, commands.c_str(), 1);
    }

    static std::string commandTopic(const Plug& plug)
    {
        if (plug.family == "rpc")
            return plug.name + "/command/switch:0";
        if (plug.family == "cmd")
            return "cmnd/" + plug.name + "/POWER";
        return "home/" + plug.name + "/set";
    }

    static void onMessage(mosquitto* client, void*, const mosquitto_message* message);
    static void onPublished(mosquitto*, void*, int) { --s_self->m_unacknowledged; }
    /// A plug that connects again (the broker restarted) listens for its
    /// commands and tells its availability again, as real ones do.
    static void onConnected(mosquitto* client, void*, int code)
    {
        if (code == 0 && !s_self->m_connectedOnce.insert(client).second) {
            subscribeToCommands(client, s_self->m_owners[client]);
            s_self->announce(client);
        }
    }

    void waitForAcknowledgements()
    {
        while (m_unacknowledged > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }

    /// The connection a plug's messages go out on.
    mosquitto* publisherOf(const Plug& plug) const { return plug.family == "zb" ? m_bridge : plug.client; }

    /// The counter as the hub reads it: Wh with three decimals, or kWh with three.
    static double counterAsRead(const Plug& plug)
    {
        if (plug.family == "rpc")
            return std::atof(number(plug.counterWh).c_str());
        return std::atof(number(plug.counterWh / 1000).c_str()) * 1000;
    }

    void obey(mosquitto* client, const std::string& topic, const std::string& payload)
    {
        std::lock_guard lock(m_mutex);
        Plug* plug = m_owners[client];
        if (!plug) {
            // The bridge: zigbee2mqtt/NAME/set with {"state":"ON"}.
            for (Plug* device : m_bridgeDevices) {
                if (topic == "zigbee2mqtt/" + device->name + "/set")
                    plug = device;
            }
        }
        if (!plug || plug->ignores || plug->frozen)
            return;
        std::string upper;
        for (char c : payload)
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("TOGGLE") != std::string::npos)
            plug->on = !plug->on;
        else if (upper.find("ON") != std::string::npos)
            plug->on = true;
        else if (upper.find("OFF") != std::string::npos)
            plug->on = false;
        else
            return;
        report(*plug);
        if (plug->family == "cmd")
            publish(
                plug->client, "stat/" + plug->name + "/RESULT", plug->on ? R"({"POWER":"ON"})" : R"({"POWER":"OFF"})");
    }

    void report(Plug& plug)
    {
        double watts = plug.on ? plug.watts : 0;
        std::vector<std::pair<std::string, std::string>> messages;
        if (plug.family == "rpc") {
            messages.emplace_back(plug.name + "/status/switch:0",
                R"({"id":0,"output":)" + std::string(plug.on ? "true" : "false") + R"(,"apower":)" + number(watts)
                    + R"(,"voltage":230.1,"aenergy":{"total":)" + number(plug.counterWh) + "}}");
        } else if (plug.family == "cmd") {
            messages.emplace_back("tele/" + plug.name + "/SENSOR",
                R"({"Time":"2026-12-07T10:15:00","ENERGY":{"Total":)" + number(plug.counterWh / 1000) + R"(,"Power":)"
                    + number(watts) + "}}");
            messages.emplace_back("tele/" + plug.name + "/STATE", plug.on ? R"({"POWER":"ON"})" : R"({"POWER":"OFF"})");
        } else if (plug.family == "zb") {
            messages.emplace_back("zigbee2mqtt/" + plug.name,
                R"({"state":")" + std::string(plug.on ? "ON" : "OFF") + R"(","power":)" + number(watts)
                    + R"(,"energy":)" + number(plug.counterWh / 1000) + R"(,"linkquality":120})");
        } else if (plug.family == "map") {
            messages.emplace_back("home/" + plug.name + "/power", number(watts));
            messages.emplace_back("home/" + plug.name + "/energy", number(plug.counterWh / 1000));
            messages.emplace_back("home/" + plug.name + "/relay", plug.on ? "ON" : "OFF");
        }
        for (const auto& [topic, payload] : messages)
            publish(publisherOf(plug), topic, payload);
        plug.lastSent = messages;
    }

    void publish(mosquitto* client, const std::string& topic, const std::string& payload, bool retain = false)
    {
        if (!client)
            return;
        ++m_unacknowledged;
        if (mosquitto_publish(
                client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain)
            != MOSQ_ERR_SUCCESS)
            --m_unacknowledged;
    }

    BrokerAddress m_broker;
    HubConfig m_config;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Plug>> m_plugs;
    std::vector<Plug*> m_bridgeDevices;
    std::map<mosquitto*, Plug*> m_owners;
    std::set<mosquitto*> m_connectedOnce;
    mosquitto* m_bridge { nullptr };
    Clock m_clock;
    mosquitto* m_clockClient { nullptr };
    std::atomic<int> m_unacknowledged { 0 };

public:
    /// The one set of plugs, for the library's message callback.
    static Plugs* s_self;
};

Plugs* Plugs::s_self = nullptr;

void Plugs::onMessage(mosquitto* client, void*, const mosquitto_message* message)
{
    std::string payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    s_self->obey(client, message->topic, payload);
}

std::unique_ptr<Plug> parsePlug(const std::string& text)
{
    std::vector<std::string> parts;
    std::istringstream fields(text);
    for (std::string part; std::getline(fields, part, ':');)
        parts.push_back(part);
    if (parts.size() < 2 || parts[1].empty()
        || (parts[0] != "rpc" && parts[0] != "cmd" && parts[0] != "zb" && parts[0] != "map"))
        return nullptr;
    auto plug = std::make_unique<Plug>();
    plug->family = parts[0];
    plug->name = parts[1];
    if (parts.size() > 2)
        plug->watts = std::atof(parts[2].c_str());
    plug->ignores = parts.size() > 3 && parts[3] == "ignore";
    return plug;
}

}

/// The command line, read; none (after the usage or an error) when unusable.
struct Arguments {
    std::optional<BrokerAddress> broker;
    HubConfig config;
    double period { 1 };
    Clock clock;
    std::vector<std::unique_ptr<Plug>> plugs;
};

std::optional<Arguments> readArguments(int argc, char** argv)
{
    Arguments read;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        std::string value = hasValue ? argv[i + 1] : "";
        if (argument == "--mqtt" && hasValue) {
            auto address = parseBrokerUrl(value);
            if (!address) {
                std::cerr << "hestio-test-plugs: " << address.error().message() << "\n";
                return std::nullopt;
            }
            read.broker = *address;
        } else if (argument == "--config" && hasValue) {
            auto loaded = loadHubConfig(value);
            if (!loaded) {
                std::cerr << "hestio-test-plugs: " << loaded.error().message() << "\n";
                return std::nullopt;
            }
            read.config = *loaded;
        } else if (argument == "--period" && hasValue) {
            read.period = std::atof(value.c_str());
        } else if (argument == "--clock-offset-days" && hasValue) {
            read.clock.offsetMs = std::atoll(value.c_str()) * 86'400'000;
        } else if (argument == "--clock-topic" && hasValue) {
            read.clock.topic = value;
        } else if (argument == "--sent-log" && hasValue) {
            read.clock.sentLog = std::fopen(value.c_str(), "w");
        } else if (auto plug = parsePlug(argument)) {
            read.plugs.push_back(std::move(plug));
            continue;
        } else {
            std::cerr << kUsage;
            return std::nullopt;
        }
        ++i;
    }
    if (!read.broker || read.plugs.empty() || !(read.period > 0)) {
        std::cerr << kUsage;
        return std::nullopt;
    }
    return read;
}

int runPlugs(int argc, char** argv)
{
    auto arguments = readArguments(argc, argv);
    if (!arguments)
        return 2;
    double period = arguments->period;
    mosquitto_lib_init();
    Plugs all(*arguments->broker, arguments->config, arguments->clock);
    Plugs::s_self = &all;
    for (auto& plug : arguments->plugs)
        all.add(std::move(plug));
    if (!all.connectAll())
        return 1;
    all.announce();
    all.tick(0);
    std::cout << "plugs ready" << std::endl;
    std::atomic<bool> quit { false };
    std::atomic<bool> stepped { false };
    std::thread input([&] {
        // Without input (run in the background) the plugs go on until stopped.
        for (std::string line; std::getline(std::cin, line);) {
            if (line == "quit") {
                quit = true;
                break;
            }
            std::istringstream words(line);
            std::string verb;
            double days = 0;
            int64_t step = 0;
            if (words >> verb && verb == "week" && words >> days >> step && step > 0) {
                // From now on the clock moves only by steps.
                stepped = true;
                std::vector<std::string> events;
                for (std::string event; words >> event;)
                    events.push_back(event);
                all.week(days, step, events);
            } else {
                all.command(line);
            }
        }
    });
    auto next = std::chrono::steady_clock::now();
    while (!quit) {
        next += std::chrono::milliseconds(static_cast<int64_t>(period * 1000));
        std::this_thread::sleep_until(next);
        if (!stepped)
            all.tick(period);
    }
    input.join();
    // Plugs that quit say goodbye: their availability stays online, as a
    // plug switched off at the wall would not; the tests kill them for that.
    std::_Exit(0);
}

int main(int argc, char** argv)
{
    return runPlugs(argc, argv);
}
