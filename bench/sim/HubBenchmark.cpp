// The hub of a real household: how many plug readings a second it takes in
// and keeps (parsing, live state, history in SQLite; the target is at least
// 5,000 a second), how large its database grows (30 plugs at one reading a
// second, each drawing a little more or less from one second to the next as
// real ones do; measured over two days and scaled to 30, since the stored
// blocks grow by the same bytes each day until the raw samples' 35 days),
// and how fast a week of one device's statuses is served (under 50 ms).
#include "Crypto.h"
#include "Database.h"
#include "History.h"
#include "PlugIngest.h"
#include "Service.h"

#include "json/Decoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

using namespace hestio::sim;

namespace {
constexpr int kPlugs = 30;
constexpr int64_t kStartMs = 1796169600000; // 2026-12-02 00:00 UTC

/// A hub's store, history and ingest in a scratch folder, on a clock the
/// benchmark moves.
struct Hub {
    Hub()
    {
        std::random_device random;
        folder = std::filesystem::temp_directory_path() / ("hestio-hub-bench-" + std::to_string(random()));
        std::filesystem::create_directories(folder);
        path = (folder / "hub.db").string();
        store = std::make_unique<Store>(path);
        int64_t home = store->addHousehold("Home", "Europe/Berlin");
        store->addUser(home, "ann", "Admin", hashPassword("ann", 1000));
        history = std::make_unique<History>(path, HistorySettings {});
        ingest = std::make_unique<PlugIngest>(
            *store, home, IngestSettings {}, [this] { return nowMs; }, history.get());
    }
    ~Hub()
    {
        ingest.reset();
        history.reset();
        store.reset();
        std::filesystem::remove_all(folder);
    }

    /// One second of readings: every plug reports once, its draw wandering
    /// by a few watts as a real one's does.
    void second(const std::vector<std::string>& topics)
    {
        nowMs += 1000;
        counters.resize(topics.size(), 1000);
        for (size_t i = 0; i < topics.size(); ++i) {
            double watts = std::round((180 + 20 * static_cast<double>(i % 5) + noise(random)) * 10) / 10;
            counters[i] += watts / 3600;
            char payload[160];
            std::snprintf(payload, sizeof payload,
                R"({"id":0,"output":true,"apower":%.1f,"voltage":230.1,"aenergy":{"total":%.3f}})", watts, counters[i]);
            ingest->onMessage(topics[i], payload);
        }
    }

    std::filesystem::path folder;
    std::string path;
    int64_t nowMs { kStartMs };
    std::vector<double> counters;
    std::mt19937 random { 7 };
    std::normal_distribution<double> noise { 0, 3 };
    std::unique_ptr<Store> store;
    std::unique_ptr<History> history;
    std::unique_ptr<PlugIngest> ingest;
};

std::vector<std::string> plugTopics(int count)
{
    std::vector<std::string> topics;
    for (int i = 0; i < count; ++i)
        topics.push_back("plug-" + std::to_string(i) + "/status/switch:0");
    return topics;
}

void ReadingsIngestedIntoSqlite(benchmark::State& state)
{
    Hub hub;
    auto topics = plugTopics(kPlugs);
    for (auto _ : state)
        hub.second(topics);
    state.SetItemsProcessed(state.iterations() * kPlugs);
}
BENCHMARK(ReadingsIngestedIntoSqlite)->Unit(benchmark::kMicrosecond)->MinTime(3);

/// The database after `state.range(0)` emulated days of 30 plugs, and that
/// size scaled to 30 days.
void DatabaseSizeOfDaysOf30Plugs(benchmark::State& state)
{
    int64_t days = state.range(0);
    for (auto _ : state) {
        Hub hub;
        auto topics = plugTopics(kPlugs);
        for (int64_t s = 0; s < days * 86400; ++s)
            hub.second(topics);
        hub.history->flush(hub.nowMs);
        // The write-ahead log is emptied into the file as the hub does every
        // thousand pages; it stays a few megabytes however old the history.
        Database(hub.path).execute("PRAGMA wal_checkpoint(TRUNCATE)");
        double total = static_cast<double>(std::filesystem::file_size(hub.path));
        state.counters["megabytes"] = total / 1e6;
        state.counters["megabytes_for_30_days"] = total / 1e6 * 30.0 / static_cast<double>(days);
        state.counters["bytes_per_reading"] = total / static_cast<double>(days * 86400 * kPlugs);
    }
}
BENCHMARK(DatabaseSizeOfDaysOf30Plugs)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);

void WeekOfOneDevicesStatuses(benchmark::State& state)
{
    static Hub* hub = [] {
        auto* made = new Hub;
        auto topics = plugTopics(1);
        for (int64_t s = 0; s < 7 * 86400; ++s)
            made->second(topics);
        return made;
    }();
    ServiceConfig config;
    config.passwordIterations = 1000;
    Service service(*hub->store, config, [] { return hub->nowMs; });
    service.setLiveHome(hub->ingest.get());
    auto signIn = service.handle(ServiceRequest { "POST", "/kivoraserver/session", "", "name=ann&password=ann" });
    std::string token(json::objectFromJSONData(signIn.body)["token"].stringValue());
    int64_t device = hub->store->plugDevices().begin()->second;
    std::string query = "token=" + token + "&device_id=" + std::to_string(device) + "&from="
        + std::to_string(hub->nowMs - 7 * 86'400'000LL) + "&to=" + std::to_string(hub->nowMs) + "&rounding=1&scale=RAW";
    size_t samples = 0;
    for (auto _ : state) {
        ServiceReply reply = service.handle(ServiceRequest { "GET", "/kivoraserver/api/status", query, "" });
        if (reply.status != 200)
            state.SkipWithError("request failed");
        if (samples == 0)
            samples = json::objectFromJSONData(reply.body)["statuses"].count();
        benchmark::DoNotOptimize(reply);
    }
    state.counters["samples"] = static_cast<double>(samples);
}
BENCHMARK(WeekOfOneDevicesStatuses)->Unit(benchmark::kMillisecond);
}

BENCHMARK_MAIN();
