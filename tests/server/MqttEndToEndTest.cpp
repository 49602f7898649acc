// The hub against a real broker: mosquitto started here on a free port with a
// password file and no anonymous access, the emulated plugs of every family,
// and hestio-hub in real mode, asked over HTTPS as the app asks it.
#include "Crypto.h"
#include "Store.h"

#include "SimChild.h"
#include "SimTestSupport.h"

#include "json/Decoder.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <thread>

using namespace hestio::sim;
using hestio::sim::test::callOverHttps;
using namespace std::chrono_literals;

namespace {
constexpr const char* kBroker = "/usr/sbin/mosquitto";
constexpr const char* kPasswd = "/usr/bin/mosquitto_passwd";

/// A child process; its standard input is a pipe when asked for.
class Process {
public:
    Process(std::vector<std::string> arguments, const std::string& log, bool withInput = false)
    {
        int fds[2] = { -1, -1 };
        if (withInput) {
            EXPECT_EQ(pipe(fds), 0);
        }
        m_pid = fork();
        if (m_pid == 0) {
            int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            if (withInput) {
                dup2(fds[0], STDIN_FILENO);
                close(fds[1]);
            }
            std::vector<char*> argv;
            for (auto& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (withInput) {
            close(fds[0]);
            m_input = fds[1];
        }
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

int freePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

/// Asks until `done` holds for the device list, or the time is up.
json::Value waitForDevices(int port, const std::string& token, std::chrono::seconds limit,
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

const json::Value& named(const json::Value& devices, std::string_view name)
{
    for (size_t i = 0; i < devices.count(); ++i) {
        if (devices[i]["name"].stringValue() == name)
            return devices[i];
    }
    return json::kNone;
}
/// The device's samples from `fromMs` on, asked until there are some or the time is up.
json::Value samplesSince(int port, const std::string& token, int64_t device, int64_t fromMs, std::chrono::seconds limit)
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
bool writeConfiguration(const test::ScratchFolder& folder, int brokerPort)
{
    if (system((std::string(kPasswd) + " -b -c " + folder.file("passwd") + " hub hub-secret").c_str()) != 0
        || system((std::string(kPasswd) + " -b " + folder.file("passwd") + " plug plug-secret").c_str()) != 0)
        return false;
    std::ofstream(folder.file("mosquitto.conf"))
        << "listener " << brokerPort << " 127.0.0.1\nallow_anonymous false\npassword_file " << folder.file("passwd")
        << "\npersistence false\n"
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
}

TEST(MqttEndToEnd, PlugsOfEveryFamilyAppearSwitchGoSilentAndSurviveTheBrokersRestart)
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

    // The broker goes away and comes back: the hub reconnects by itself and readings resume.
    mosquitto.reset();
    std::this_thread::sleep_for(2s);
    int64_t before
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
    mosquitto
        = std::make_unique<Process>(std::vector<std::string> { kBroker, "-c", folder.file("mosquitto.conf") }, log);
    int64_t kitchen = named(devices, "kitchen plug")["id"].integerValue();
    json::Value history = samplesSince(port, token, kitchen, before, 20s);
    EXPECT_GT(history.count(), 0u) << std::ifstream(log).rdbuf();
    EXPECT_EQ(hub.stop(SIGTERM), 0);
}
