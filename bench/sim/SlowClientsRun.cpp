// Sign-ins from the household's address while slow clients from other
// addresses hold what connections they may: how long each sign-in takes and
// how many are refused. The hub runs in-process with its own workers and
// limits; the slow clients open a request and send a header line a second.
//
//   hestio-hub-slow-clients [--sign-ins N]
#include "RawTlsClient.h"
#include "SimHarness.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace hestio::sim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using hestio::sim::test::RawTlsClient;

namespace {
struct Scenario {
    const char* what;
    /// Loopback addresses the slow clients come from, and how many from each.
    std::vector<std::pair<std::string, int>> sources;
};

struct Outcome {
    size_t admitted { 0 };
    /// Slow clients still connected once the sign-ins are done.
    size_t stillOpen { 0 };
    int refused { 0 };
    std::vector<double> latenciesMs;
};

Outcome run(const Scenario& scenario, int signIns)
{
    bench::LiveSim sim;
    Outcome outcome;
    std::vector<std::unique_ptr<RawTlsClient>> slow;
    for (const auto& [from, count] : scenario.sources) {
        for (int i = 0; i < count; ++i) {
            auto client = std::make_unique<RawTlsClient>(sim.port, 2s, from.c_str());
            if (client->send("POST /kivoraserver/session HTTP/1.1\r\nHost: 127.0.0.1\r\n"))
                slow.push_back(std::move(client));
        }
    }
    outcome.admitted = slow.size();
    std::atomic<bool> done { false };
    std::thread drip([&] {
        while (!done) {
            for (auto& client : slow)
                client->send("X-Slow: 1\r\n");
            for (int i = 0; i < 10 && !done; ++i)
                std::this_thread::sleep_for(100ms);
        }
    });
    for (int i = 0; i < signIns; ++i) {
        httplib::SSLClient client("127.0.0.1", sim.port);
        client.enable_server_certificate_verification(false);
        client.set_connection_timeout(15);
        client.set_read_timeout(15);
        auto start = Clock::now();
        auto reply = client.Post(
            "/kivoraserver/session", "name=demo&password=demo&token=(null)", "application/x-www-form-urlencoded");
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (reply && reply->status == 200)
            outcome.latenciesMs.push_back(ms);
        else
            ++outcome.refused;
    }
    done = true;
    drip.join();
    for (const auto& client : slow)
        outcome.stillOpen += !client->closedByServer();
    return outcome;
}
}

int main(int argc, char** argv)
{
    // A slow client cut by the hub may still be written to once.
    std::signal(SIGPIPE, SIG_IGN);
    int signIns = 20;
    if (argc == 3 && std::string(argv[1]) == "--sign-ins")
        signIns = std::max(1, std::atoi(argv[2]));
    std::vector<std::pair<std::string, int>> eightAddresses;
    for (int i = 2; i < 10; ++i)
        eightAddresses.emplace_back("127.0.0." + std::to_string(i), 24);
    const Scenario scenarios[] = {
        { "no slow clients", {} },
        { "100 slow from one address", { { "127.0.0.2", 100 } } },
        { "96 slow from each of two", { { "127.0.0.2", 96 }, { "127.0.0.3", 96 } } },
        { "24 slow from each of eight", eightAddresses },
    };
    std::printf("%-28s %7s %5s %8s %10s %8s\n", "slow clients", "let in", "open", "refused", "median ms", "max ms");
    for (const auto& scenario : scenarios) {
        Outcome outcome = run(scenario, signIns);
        std::sort(outcome.latenciesMs.begin(), outcome.latenciesMs.end());
        double median = outcome.latenciesMs.empty() ? 0 : outcome.latenciesMs[outcome.latenciesMs.size() / 2];
        double max = outcome.latenciesMs.empty() ? 0 : outcome.latenciesMs.back();
        std::printf("%-28s %7zu %5zu %5d/%-2d %10.1f %8.1f\n", scenario.what, outcome.admitted, outcome.stillOpen,
            outcome.refused, signIns, median, max);
    }
    return 0;
}
