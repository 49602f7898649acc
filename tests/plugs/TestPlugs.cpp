// hestio-test-plugs: metering plugs of every family the hub knows, emulated
// on an MQTT broker by one process, for the tests and for trying the hub
// without hardware. Each plug keeps its own connection with its own last
// will; the Zigbee plugs share their bridge's. Lines on standard input act
// on a plug by name: "restart NAME" (its counter starts again from zero),
// "duplicate NAME" (its next publication goes out twice), "ignore NAME"
// (it stops obeying commands), "kill NAME" (its connection drops without a
// goodbye) and "quit".
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
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace hestio::sim;

namespace {

const char* const kUsage = R"(Usage: hestio-test-plugs --mqtt mqtt://HOST:PORT [--config FILE] [--period SECS]
                         PLUG...
Emulates metering plugs on an MQTT broker. Each PLUG is FAMILY:NAME[:WATTS[:ignore]]
with FAMILY rpc, cmd, zb (behind the bridge zigbee2mqtt) or map (topics
home/NAME/power, energy (kWh), relay, status and set, as the README's mapping
example). FILE holds mqtt_user and mqtt_password lines. Prints "plugs ready"
once every plug is connected.
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
    mosquitto* client { nullptr };
};

class Plugs {
public:
    Plugs(BrokerAddress broker, HubConfig config)
        : m_broker(std::move(broker))
        , m_config(std::move(config))
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
        return true;
    }

    /// Announces every plug: availability, discovery records, the bridge's list.
    void announce()
    {
        for (auto& plug : m_plugs) {
            if (plug->family == "zb")
                continue;
            publish(plug->client, willTopic(*plug), willPayload(*plug, true), true);
            if (plug->family == "cmd") {
                publish(plug->client, "tasmota/discovery/" + plug->name + "MAC/config",
                    R"({"t":")" + plug->name + R"(","dn":")" + plug->name + R"(","fn":[")" + plug->name
                        + R"( plug",null],"ft":"%prefix%/%topic%/","tp":["cmnd","stat","tele"],"rl":[1,0]})",
                    true);
            }
        }
        if (m_bridge) {
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
    void tick(double seconds)
    {
        std::lock_guard lock(m_mutex);
        for (auto& plug : m_plugs) {
            if (plug->on)
                plug->counterWh += plug->watts * seconds / 3600.0;
            int copies = plug->duplicateNext.exchange(false) ? 2 : 1;
            for (int i = 0; i < copies; ++i)
                report(*plug);
        }
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
        if (!m_config.mqttUser.empty())
            mosquitto_username_pw_set(client, m_config.mqttUser.c_str(), m_config.mqttPassword.c_str());
        if (!will.empty())
            mosquitto_will_set(client, will.c_str(), static_cast<int>(willPayload.size()), willPayload.data(), 1, true);
        mosquitto_message_callback_set(client, &Plugs::onMessage);
        m_owners[client] = plug;
        if (mosquitto_connect(client, m_broker.host.c_str(), m_broker.port, 5) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "hestio-test-plugs: cannot connect %s\n", id.c_str());
            return nullptr;
        }
        std::string commands = plug ? commandTopic(*plug) : "zigbee2mqtt/+/set";
        mosquitto_subscribe(client, nullptr, commands.c_str(), 1);
        mosquitto_loop_start(client);
        return client;
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
        if (!plug || plug->ignores)
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
        if (plug.family == "rpc" && plug.client) {
            publish(plug.client, plug.name + "/status/switch:0",
                R"({"id":0,"output":)" + std::string(plug.on ? "true" : "false") + R"(,"apower":)" + number(watts)
                    + R"(,"voltage":230.1,"aenergy":{"total":)" + number(plug.counterWh) + "}}");
        } else if (plug.family == "cmd" && plug.client) {
            publish(plug.client, "tele/" + plug.name + "/SENSOR",
                R"({"Time":"2026-12-07T10:15:00","ENERGY":{"Total":)" + number(plug.counterWh / 1000) + R"(,"Power":)"
                    + number(watts) + "}}");
            publish(plug.client, "tele/" + plug.name + "/STATE", plug.on ? R"({"POWER":"ON"})" : R"({"POWER":"OFF"})");
        } else if (plug.family == "zb" && m_bridge) {
            publish(m_bridge, "zigbee2mqtt/" + plug.name,
                R"({"state":")" + std::string(plug.on ? "ON" : "OFF") + R"(","power":)" + number(watts)
                    + R"(,"energy":)" + number(plug.counterWh / 1000) + R"(,"linkquality":120})");
        } else if (plug.family == "map" && plug.client) {
            publish(plug.client, "home/" + plug.name + "/power", number(watts));
            publish(plug.client, "home/" + plug.name + "/energy", number(plug.counterWh / 1000));
            publish(plug.client, "home/" + plug.name + "/relay", plug.on ? "ON" : "OFF");
        }
    }

    static void publish(mosquitto* client, const std::string& topic, const std::string& payload, bool retain = false)
    {
        mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
    }

    BrokerAddress m_broker;
    HubConfig m_config;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Plug>> m_plugs;
    std::vector<Plug*> m_bridgeDevices;
    std::map<mosquitto*, Plug*> m_owners;
    mosquitto* m_bridge { nullptr };

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

int runPlugs(int argc, char** argv)
{
    std::optional<BrokerAddress> broker;
    HubConfig config;
    double period = 1;
    std::vector<std::unique_ptr<Plug>> plugs;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (argument == "--mqtt" && i + 1 < argc) {
            auto address = parseBrokerUrl(value);
            if (!address) {
                std::cerr << "hestio-test-plugs: " << address.error().message() << "\n";
                return 2;
            }
            broker = *address;
            ++i;
        } else if (argument == "--config" && i + 1 < argc) {
            auto loaded = loadHubConfig(value);
            if (!loaded) {
                std::cerr << "hestio-test-plugs: " << loaded.error().message() << "\n";
                return 2;
            }
            config = *loaded;
            ++i;
        } else if (argument == "--period" && i + 1 < argc) {
            period = std::atof(value.c_str());
            ++i;
        } else if (auto plug = parsePlug(argument)) {
            plugs.push_back(std::move(plug));
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (!broker || plugs.empty() || !(period > 0)) {
        std::cerr << kUsage;
        return 2;
    }
    mosquitto_lib_init();
    Plugs all(*broker, config);
    Plugs::s_self = &all;
    for (auto& plug : plugs)
        all.add(std::move(plug));
    if (!all.connectAll())
        return 1;
    all.announce();
    all.tick(0);
    std::cout << "plugs ready" << std::endl;
    std::atomic<bool> quit { false };
    std::thread input([&] {
        // Without input (run in the background) the plugs go on until stopped.
        for (std::string line; std::getline(std::cin, line);) {
            if (line == "quit") {
                quit = true;
                break;
            }
            all.command(line);
        }
    });
    auto next = std::chrono::steady_clock::now();
    while (!quit) {
        next += std::chrono::milliseconds(static_cast<int64_t>(period * 1000));
        std::this_thread::sleep_until(next);
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
