// How fast hestio-hub answers the requests behind the graphs: a week of
// one-minute samples (10,080) must come back in well under 100 ms, measured
// both inside the service (computing and writing the reply) and end to end
// over HTTPS on loopback (TLS, transfer and reading the whole body).
#include "SimHarness.h"

#include "json/Decoder.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

using namespace hestio::sim;

namespace {
constexpr int64_t kWeekMs = 7 * 86'400'000LL;

bench::LiveSim& sim()
{
    static bench::LiveSim live;
    return live;
}

const std::string& token()
{
    static const std::string value = [] {
        ServiceReply reply
            = sim().service->handle(ServiceRequest { "POST", "/kivoraserver/session", "", "name=demo&password=demo" });
        return std::string(json::objectFromJSONData(reply.body)["token"].stringValue());
    }();
    return value;
}

std::string weekQuery(const std::string& parameters)
{
    int64_t to = bench::wallClockMs() / 60'000 * 60'000;
    int64_t from = to - kWeekMs + 60'000; // exactly 10,080 whole minutes
    return "token=" + token() + "&" + parameters + "&from=" + std::to_string(from) + "&to=" + std::to_string(to)
        + "&filter=true&rounding=1&scale=RAW&token=" + token();
}

void runInProcess(benchmark::State& state, const std::string& path, const std::string& parameters, const char* key)
{
    size_t samples = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        ServiceReply reply = sim().service->handle(ServiceRequest { "GET", path, weekQuery(parameters), "" });
        bytes = reply.body.size();
        benchmark::DoNotOptimize(reply);
        if (reply.status != 200)
            state.SkipWithError("request failed");
        if (samples == 0)
            samples = json::objectFromJSONData(reply.body)[key].count();
    }
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}

void runOverHttps(benchmark::State& state, const std::string& path, const std::string& parameters)
{
    httplib::SSLClient client("127.0.0.1", sim().port);
    client.enable_server_certificate_verification(false);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_read_timeout(30);
    size_t bytes = 0;
    for (auto _ : state) {
        auto result = client.Get((path + "?" + weekQuery(parameters)).c_str());
        if (!result || result->status != 200) {
            state.SkipWithError("request failed");
            break;
        }
        bytes = result->body.size();
    }
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}

void WeekOfPowerDrawInProcess(benchmark::State& state)
{
    runInProcess(state, "/kivoraserver/api/status", "device_id=101&ascending=true", "statuses");
}

void WeekOfPowerDrawOverHttps(benchmark::State& state)
{
    runOverHttps(state, "/kivoraserver/api/status", "device_id=101&ascending=true");
}

void WeekOfBatteryOverHttps(benchmark::State& state)
{
    runOverHttps(state, "/kivoraserver/api/battery", "filter=true");
}

void WeekOfHomeEnergyOverHttps(benchmark::State& state)
{
    runOverHttps(state, "/kivoraserver/api/energyconsumption", "device_id=battery&block=CLOCK_HOUR");
}

void DeviceListOverHttps(benchmark::State& state)
{
    httplib::SSLClient client("127.0.0.1", sim().port);
    client.enable_server_certificate_verification(false);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    std::string path = "/kivoraserver/api/device?token=" + token() + "&action=true&token=" + token();
    for (auto _ : state) {
        auto result = client.Get(path.c_str());
        if (!result || result->status != 200) {
            state.SkipWithError("request failed");
            break;
        }
    }
}
}

BENCHMARK(WeekOfPowerDrawInProcess)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(WeekOfPowerDrawOverHttps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(WeekOfBatteryOverHttps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(WeekOfHomeEnergyOverHttps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(DeviceListOverHttps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
