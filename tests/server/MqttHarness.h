#pragma once

// What the tests of the hub against a real broker share: child processes,
// mosquitto started on a free port with a password file and no anonymous
// access, the plugs' and the hub's configuration, and asking the hub over
// HTTPS as the app asks it.
#include "SimChild.h"
#include "SimTestSupport.h"
#include "plugs/ChildProcess.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

namespace hestio::sim::test {
using namespace std::chrono_literals;

inline constexpr const char* kBroker = "/usr/sbin/mosquitto";
inline constexpr const char* kPasswd = "/usr/bin/mosquitto_passwd";

/// A child process; its standard input is a pipe when asked for.
class Process {
public:
    Process(std::vector<std::string> arguments, const std::string& log, bool withInput = false)
    {
        m_pid = spawnLogged(std::move(arguments), log, withInput ? &m_input : nullptr);
        EXPECT_GT(m_pid, 0);
    }
    ~Process() { stop(); }
    /// Ends its input and waits for it to finish; its exit status.
    int finish()
    {
        close(m_input);
        m_input = -1;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void say(const std::string& line)
    {
        EXPECT_EQ(write(m_input, (line + "\n").data(), line.size() + 1), ssize_t(line.size() + 1));
    }
    void stop()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_input >= 0)
            close(m_input);
        m_input = -1;
    }

private:
    pid_t m_pid { -1 };
    int m_input { -1 };
};

/// Asks until `done` holds for the device list, or the time is up.
inline json::Value waitForDevices(int port, const std::string& token, std::chrono::seconds limit,
    const std::function<bool(const json::Value& devices)>& done)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    json::Value devices;
    while (std::chrono::steady_clock::now() < deadline) {
        devices = callOverHttps(port, "/kivoraserver/api/device?token=" + token, "")["devices"];
        if (done(devices))
            break;
        std::this_thread::sleep_for(200ms);
    }
    return devices;
}

inline const json::Value& named(const json::Value& devices, std::string_view name)
{
    for (size_t i = 0; i < devices.count(); ++i) {
        if (devices[i]["name"].stringValue() == name)
            return devices[i];
    }
    return json::kNone;
}
/// The device's samples from `fromMs` on, asked until there are some or the time is up.
inline json::Value samplesSince(
    int port, const std::string& token, int64_t device, int64_t fromMs, std::chrono::seconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    json::Value samples;
    while (std::chrono::steady_clock::now() < deadline) {
        samples = callOverHttps(port,
            "/kivoraserver/api/status?token=" + token + "&device_id=" + std::to_string(device)
                + "&from=" + std::to_string(fromMs) + "&to=" + std::to_string(fromMs + 60000),
            "")["statuses"];
        if (samples.count() > 0)
            break;
        std::this_thread::sleep_for(250ms);
    }
    return samples;
}

/// The broker's password file (users hub and plug) and configuration, the
/// plugs' and the hub's configuration and the hub's mapping of one device.
inline bool writeConfiguration(const ScratchFolder& folder, int brokerPort)
{
    if (system((std::string(kPasswd) + " -b -c " + folder.file("passwd") + " hub hub-secret").c_str()) != 0
        || system((std::string(kPasswd) + " -b " + folder.file("passwd") + " plug plug-secret").c_str()) != 0)
        return false;
    std::ofstream(folder.file("mosquitto.conf"))
        << "listener " << brokerPort << " 127.0.0.1\nallow_anonymous false\npassword_file " << folder.file("passwd")
        << "\npersistence false\n"
        // A week of readings passes in seconds: the hub's queue may grow long.
        << "max_queued_messages 0\nset_tcp_nodelay true\n"
        << (geteuid() == 0 ? "user root\n" : "");
    std::ofstream(folder.file("plugs.conf")) << "mqtt_user = plug\nmqtt_password = plug-secret\n";
    std::ofstream(folder.file("hub.conf")) << "mqtt_user = hub\nmqtt_password = hub-secret\nmapping_file = map.json\n";
    std::ofstream(folder.file("map.json"))
        << R"({"devices":[{"id":"boiler","name":"Boiler","power":{"topic":"home/boiler/power"},)"
           R"("energy":{"topic":"home/boiler/energy","unit":"kWh"},"state":{"topic":"home/boiler/relay"},)"
           R"("availability":{"topic":"home/boiler/status"},"command":{"topic":"home/boiler/set"}}]})";
    std::filesystem::permissions(folder.file("hub.conf"), std::filesystem::perms::owner_read);
    return true;
}

inline bool haveBroker()
{
    return access(kBroker, X_OK) == 0 && access(kPasswd, X_OK) == 0;
}

inline int64_t wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}

namespace hestio::sim::test {

/// The port a hub whose output goes to `log` listens on, once it says; -1 after 20 s.
inline int waitForListening(const std::string& log)
{
    const std::string marker = "hestio-hub listening on https://127.0.0.1:";
    for (int i = 0; i < 200; ++i) {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        if (size_t at = text.find(marker); at != std::string::npos)
            return std::atoi(text.c_str() + at + marker.size());
        std::this_thread::sleep_for(100ms);
    }
    return -1;
}

/// A client of the broker that publishes whatever a test gives it.
class Publisher {
public:
    Publisher(int port, const std::string& user, const std::string& password)
    {
        mosquitto_lib_init();
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(m_client, user.c_str(), password.c_str());
        mosquitto_publish_callback_set(
            m_client, [](mosquitto*, void* self, int) { --static_cast<Publisher*>(self)->m_unacknowledged; });
        m_connected = mosquitto_connect(m_client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS;
        mosquitto_loop_start(m_client);
    }
    ~Publisher()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }
    [[nodiscard]] bool connected() const { return m_connected; }
    void publish(const std::string& topic, const std::string& payload)
    {
        ++m_unacknowledged;
        if (mosquitto_publish(
                m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false)
            != MOSQ_ERR_SUCCESS)
            --m_unacknowledged;
    }
    /// Waits until the broker took every message (at most 30 s).
    void waitUntilSent()
    {
        for (int i = 0; i < 3000 && m_unacknowledged > 0; ++i)
            std::this_thread::sleep_for(10ms);
    }

private:
    mosquitto* m_client { nullptr };
    bool m_connected { false };
    std::atomic<int> m_unacknowledged { 0 };
};

}
