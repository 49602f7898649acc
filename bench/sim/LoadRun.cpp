// A bounded load run against hestio-hub on loopback: N clients (default 20)
// each keep one HTTPS connection and send the app's requests back to back for
// a fixed time (default 30 s, at most 120), a fifth of them writes. At the end
// it checks that every acknowledged write is stored and prints requests per
// second and the latency spread.
//
//   hestio-hub-load [--clients N] [--seconds S] [--port P]
// Without --port it serves a fresh demo household in-process on a free port.
#include "FormData.h"
#include "SimHarness.h"

#include "json/Decoder.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <vector>

using namespace hestio::sim;
using Clock = std::chrono::steady_clock;

namespace {
struct ClientResult {
    std::vector<double> latenciesMs;
    int errors { 0 };
    int writes { 0 };
};

std::unique_ptr<httplib::SSLClient> connect(int port)
{
    auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
    client->enable_server_certificate_verification(false);
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);
    client->set_connection_timeout(10);
    client->set_read_timeout(30);
    return client;
}

double percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}
}

int main(int argc, char** argv)
{
    int clients = 20;
    int seconds = 30;
    int port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (name == "--clients")
            clients = std::clamp(value, 1, 64);
        else if (name == "--seconds")
            seconds = std::clamp(value, 1, 120);
        else if (name == "--port")
            port = value;
    }

    std::unique_ptr<bench::LiveSim> live;
    if (port == 0) {
        live = std::make_unique<bench::LiveSim>();
        port = live->port;
    }

    auto signInClient = connect(port);
    auto signIn
        = signInClient->Post("/kivoraserver/session", "name=demo&password=demo", "application/x-www-form-urlencoded");
    if (!signIn || signIn->status != 200) {
        std::cerr << "hestio-hub-load: cannot sign in on port " << port << std::endl;
        return 1;
    }
    std::string token(json::objectFromJSONData(signIn->body)["token"].stringValue());
    std::string tag = "load-" + std::to_string(bench::wallClockMs());
    auto baseline = json::objectFromJSONData(
        signInClient->Get(("/kivoraserver/api/movement?token=" + token + "&token=" + token).c_str())->body)["locations"]
                        .count();

    std::vector<ClientResult> results(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    Clock::time_point start = Clock::now();
    Clock::time_point end = start + std::chrono::seconds(seconds);
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            ClientResult& result = results[static_cast<size_t>(c)];
            auto client = connect(port);
            int64_t now = bench::wallClockMs();
            std::string day = "&from=" + std::to_string(now - 86'400'000) + "&to=" + std::to_string(now);
            for (int n = 0; Clock::now() < end; ++n) {
                Clock::time_point sent = Clock::now();
                bool write = n % 10 == 0 || n % 10 == 5;
                auto send = [&]() -> httplib::Result {
                    switch (n % 10) {
                    case 0:
                    case 5: {
                        std::string body = "action=ARRIVED&title=" + percentEncode(tag + " " + std::to_string(c))
                            + "&longitude=-73.985000&latitude=40.748000&timestamp=" + std::to_string(n)
                            + "&token=" + token;
                        return client->Post("/kivoraserver/api/movement", body, "application/x-www-form-urlencoded");
                    }
                    case 1:
                    case 6:
                    case 8:
                        return client->Get(
                            ("/kivoraserver/api/device?token=" + token + "&action=true&token=" + token).c_str());
                    case 2:
                        return client->Get(
                            ("/kivoraserver/api/device?token=" + token + "&suggestion=true&token=" + token).c_str());
                    case 3:
                    case 7:
                        return client->Get(
                            ("/kivoraserver/api/battery?token=" + token + "&count=1&token=" + token).c_str());
                    case 4:
                        return client->Get(("/kivoraserver/api/status?token=" + token + "&device_id=101&ascending=true"
                            + day + "&filter=true&rounding=1&scale=RAW&token=" + token)
                                               .c_str());
                    default:
                        return client->Get(("/kivoraserver/api/schedule?token=" + token + "&token=" + token).c_str());
                    }
                };
                httplib::Result response = send();
                double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                bool ok = response && response->status == 200
                    && json::objectFromJSONData(response->body)["success"].boolValue();
                if (!ok) {
                    ++result.errors;
                    continue;
                }
                result.latenciesMs.push_back(ms);
                result.writes += write;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> all;
    int errors = 0;
    int writes = 0;
    for (const auto& r : results) {
        all.insert(all.end(), r.latenciesMs.begin(), r.latenciesMs.end());
        errors += r.errors;
        writes += r.writes;
    }
    std::sort(all.begin(), all.end());
    auto stored
        = json::objectFromJSONData(connect(port)
                                       ->Get(("/kivoraserver/api/movement?token=" + token + "&token=" + token).c_str())
                                       ->body)["locations"]
              .count()
        - baseline;

    std::printf("clients %d, %.1f s, %zu requests answered, %d errors\n", clients, elapsed, all.size(), errors);
    std::printf("throughput %.0f requests/s\n", static_cast<double>(all.size()) / elapsed);
    std::printf("latency ms: min %.2f  p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n", all.empty() ? 0 : all.front(),
        percentile(all, 50), percentile(all, 90), percentile(all, 99), all.empty() ? 0 : all.back());
    std::printf("writes acknowledged %d, stored %zu%s\n", writes, stored,
        static_cast<size_t>(writes) == stored ? "" : "  LOST WRITES");
    return errors == 0 && static_cast<size_t>(writes) == stored ? 0 : 1;
}
