// The hub under a hostile broker for a minute: a 10 MB payload, names of
// markup, control characters and bad UTF-8, then 10,000 new plug topics a
// second. It starts mosquitto on a free loopback port and hestio-hub against
// it, floods, signs in every quarter second meanwhile, and prints the hub's
// peak resident memory, the sign-in latencies, the devices made and the
// lines the device limit logged.
//
//   hestio-hub-hostile [--seconds S] [--rate N]     (default 60 s, 10,000/s)
#include "plugs/ChildProcess.h"

#include <mosquitto.h>

#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using hestio::sim::test::freePort;
using hestio::sim::test::spawnLogged;

namespace {
using Clock = std::chrono::steady_clock;

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The hub's port, once its log says it listens; -1 after 20 s.
int waitForPort(const std::string& log)
{
    const std::string marker = "listening on https://127.0.0.1:";
    for (int i = 0; i < 200; ++i) {
        std::string text = fileText(log);
        if (size_t at = text.find(marker); at != std::string::npos)
            return std::atoi(text.c_str() + at + marker.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

long residentKilobytes(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p / 100.0 * static_cast<double>(values.size())))];
}

/// The hostile part: a huge payload, unfit names, then new topics at `rate` a second.
void flood(int port, int seconds, int rate, std::atomic<long>& sent)
{
    mosquitto* client = mosquitto_new("hostile", true, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
        std::cerr << "hestio-hub-hostile: cannot connect to the broker\n";
        return;
    }
    mosquitto_loop_start(client);
    auto publish = [&](const std::string& topic, const std::string& payload) {
        while (mosquitto_publish(
                   client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 0, false)
            == MOSQ_ERR_NOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++sent;
    };
    std::string huge(10'000'000, 'a');
    publish("tele/big/SENSOR", R"({"ENERGY":{"Power":5},"x":")" + huge + R"("})");
    publish("zigbee2mqtt/bridge/devices", "[" + huge + "]");
    publish("<script>alert(1)</script>/status/switch:0", R"({"output":true,"apower":1})");
    publish("tele/bell\x07\x1b[31m/SENSOR", R"({"ENERGY":{"Power":2}})");
    publish("tele/bad\xff\xfe/SENSOR", R"({"ENERGY":{"Power":3}})");
    auto start = Clock::now();
    long n = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        long due = static_cast<long>(elapsed * rate);
        for (; n < due; ++n)
            publish("flood-" + std::to_string(n) + "/status/switch:0", R"({"output":true,"apower":1.5})");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
}
}

struct Figures {
    long sent { 0 };
    long peakKb { 0 };
    std::vector<double> signIns;
    int failures { 0 };
};

/// Floods the broker while signing in every quarter second and watching the hub's memory.
Figures floodAndSignIn(pid_t hub, int port, int brokerPort, int seconds, int rate)
{
    std::atomic<bool> done { false };
    std::atomic<long> sent { 0 };
    Figures figures;
    std::thread flooder([&] {
        flood(brokerPort, seconds, rate, sent);
        done = true;
    });
    std::thread signer([&] {
        while (!done) {
            httplib::SSLClient client("127.0.0.1", port);
            client.enable_server_certificate_verification(false);
            client.set_read_timeout(10);
            auto begin = Clock::now();
            auto reply = client.Post(
                "/kivoraserver/session", "name=ann&password=ann-secret", "application/x-www-form-urlencoded");
            figures.signIns.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            if (!reply || reply->body.find("\"token\"") == std::string::npos)
                ++figures.failures;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    });
    while (!done) {
        figures.peakKb = std::max(figures.peakKb, residentKilobytes(hub, "VmRSS:"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    flooder.join();
    signer.join();
    // What is still queued is read, then the count is taken.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    figures.peakKb = std::max(figures.peakKb, residentKilobytes(hub, "VmHWM:"));
    figures.sent = sent;
    return figures;
}

int main(int argc, char** argv)
{
    int seconds = 60;
    int rate = 10'000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        if (name == "--seconds")
            seconds = std::clamp(std::atoi(argv[i + 1]), 1, 600);
        else if (name == "--rate")
            rate = std::clamp(std::atoi(argv[i + 1]), 1, 100'000);
    }
    std::random_device random;
    auto folder = std::filesystem::temp_directory_path() / ("hestio-hub-hostile-" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    std::string log = (folder / "hub.log").string();
    std::string data = (folder / "data").string();
    int brokerPort = freePort();
    std::ofstream((folder / "mosquitto.conf").string())
        << "listener " << brokerPort << " 127.0.0.1\nallow_anonymous true\npersistence false\n"
        << (geteuid() == 0 ? "user root\n" : "");
    std::ofstream((folder / "hub.conf").string()) << "bridge_base = zigbee2mqtt\n";
    mosquitto_lib_init();
    pid_t broker = spawnLogged(
        { "/usr/sbin/mosquitto", "-c", (folder / "mosquitto.conf").string() }, (folder / "broker.log").string());
    int input = -1;
    pid_t add = spawnLogged({ HESTIO_HUB_BINARY, "user", "add", "ann", "--admin", "--data", data }, log, &input);
    if (write(input, "ann-secret\n", 11) != 11)
        return 1;
    close(input);
    waitpid(add, nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pid_t hub = spawnLogged({ HESTIO_HUB_BINARY, "--mqtt", "mqtt://127.0.0.1:" + std::to_string(brokerPort), "--data",
                                data, "--config", (folder / "hub.conf").string(), "--port", "0" },
        log);
    int port = waitForPort(log);
    if (port < 0) {
        std::cerr << "hestio-hub-hostile: the hub did not start:\n" << fileText(log);
        return 1;
    }

    Figures figures = floodAndSignIn(hub, port, brokerPort, seconds, rate);
    httplib::SSLClient client("127.0.0.1", port);
    client.enable_server_certificate_verification(false);
    auto signIn
        = client.Post("/kivoraserver/session", "name=ann&password=ann-secret", "application/x-www-form-urlencoded");
    std::string body = signIn ? signIn->body : "";
    size_t tokenAt = body.find("\"token\":\"");
    std::string token
        = tokenAt == std::string::npos ? "" : body.substr(tokenAt + 9, body.find('"', tokenAt + 9) - tokenAt - 9);
    auto list = client.Get(("/kivoraserver/api/device?token=" + token).c_str());
    size_t devices = 0;
    for (size_t at = 0; list && (at = list->body.find("\"location\"", at)) != std::string::npos; ++at)
        ++devices;
    std::string hubLog = fileText(log);
    size_t limitLines = 0;
    for (size_t at = 0; (at = hubLog.find("the most it makes", at)) != std::string::npos; ++at)
        ++limitLines;
    kill(hub, SIGTERM);
    waitpid(hub, nullptr, 0);
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    std::filesystem::remove_all(folder);

    const auto& signIns = figures.signIns;
    std::printf("messages published      %ld in %d s (%d new topics a second)\n", figures.sent, seconds, rate);
    std::printf("hub peak resident       %.1f MB\n", static_cast<double>(figures.peakKb) / 1024.0);
    std::printf("sign-ins                %zu, %d failed; latency max %.0f ms, 95th %.0f ms, median %.0f ms\n",
        signIns.size(), figures.failures, percentile(signIns, 100), percentile(signIns, 95), percentile(signIns, 50));
    std::printf("devices made            %zu\n", devices);
    std::printf("device-limit log lines  %zu\n", limitLines);
    return 0;
}
