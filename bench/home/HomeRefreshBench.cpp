// bench_home: what the Home tab's "Now" refresh costs the client, as a share
// of one core at one refresh every 10 s.
//
//   build/bench/home/bench_home [--benchmark_filter=...]
//
// The whole app runs in this process, headless on the real clock, signed in
// as demo with the Home tab on screen, exactly as `hestio` runs it. One
// iteration is one refresh cycle as the tab's timer starts it: the request
// formed and sent, the reply decoded, the devices read and summed, the table
// reloaded and laid out, and (in the "Frame" benchmarks) the window drawn at
// the screen's scale, as a window host draws after the change. The timer
// itself is stopped so that only the measured cycles run.
//
// Against a fresh hestio-hub on loopback (its path is built in; the service
// runs in its own process, so its work is not counted): the real HTTPS
// exchange, with the transport's thread. Against an in-process stand-in
// service: the app's own work alone, for 14 devices (the demo household) and
// 200. CPU time is the process's (every thread). The counter
// "core_percent" is the CPU time of one cycle as a percentage of the 10 s
// between two cycles.

#include "app/HestioAppDelegate.h"
#include "app/HestioLauncher.h"
#include "devices/HomeTabViewController.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/host/AutomationDriver.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/ScreenQuery.h"
#include "platform/host/Script.h"
#include "platform/http/FakeTransport.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace hestio;
using namespace hestio::platform;

namespace {

constexpr double kRefreshSeconds = HomeNowSection::refreshSeconds;

double processCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

fs::path scratchFolder(const std::string& what)
{
    std::random_device random;
    fs::path folder = fs::temp_directory_path() / ("hestio-bench-home-" + what + "-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

/// hestio-hub on a free loopback port with a fresh demo household.
class Sim {
public:
    Sim()
        : m_folder(scratchFolder("sim"))
    {
        std::string binary = HESTIO_SIM_PATH;
        fs::path log = m_folder / "sim.log";
        std::string printPin = "'" + binary + "' --data '" + m_folder.string() + "' --print-pin";
        if (FILE* pipe = popen(printPin.c_str(), "r")) {
            char text[256] = {};
            if (std::fgets(text, sizeof text, pipe))
                pin = "sha256//" + std::string(text).substr(0, std::string(text).find('\n'));
            pclose(pipe);
        }
        m_pid = fork();
        if (m_pid == 0) {
            FILE* out = std::freopen(log.c_str(), "w", stdout);
            FILE* err = std::freopen("/dev/null", "w", stderr);
            (void)out;
            (void)err;
            execl(binary.c_str(), binary.c_str(), "--demo", "--data", m_folder.c_str(), "--port", "0", "--zone",
                "America/New_York", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 400 && port.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(log);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            auto at = text.find("listening on https://127.0.0.1:");
            if (at != std::string::npos) {
                std::string rest = text.substr(at + 31);
                port = rest.substr(0, rest.find_first_not_of("0123456789"));
            }
        }
    }
    ~Sim()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    bool started() const { return !port.empty() && !pin.empty(); }

    std::string pin;
    std::string port;

private:
    fs::path m_folder;
    pid_t m_pid { -1 };
};

/// A device list as the service writes it: every device with its status,
/// actions and meter flags; a few of them silent or unplugged, as in a real
/// household.
std::string deviceListReply(int count)
{
    static const char* const names[]
        = { "Freezer", "Fridge", "Desktop Computer", "Living Room Lamp", "Heater", "Kettle", "Washing Machine",
              "Dishwasher", "Television", "Router", "Bedside Lamp", "Radio", "Toaster", "Coffee Machine" };
    static const char* const rooms[] = { "Kitchen", "Living Room", "Office", "Bedroom", "Utility" };
    auto nowMs = static_cast<long long>(std::llround(RunLoop::current().clock().now().millisecondsSince1970()));
    std::string body = R"({"success":true,"devices":[)";
    for (int i = 0; i < count; ++i) {
        int id = 101 + i;
        bool silent = i % 7 == 5;
        bool unplugged = i % 11 == 9;
        double watts = unplugged ? 0 : 3.5 + std::fmod(i * 37.3, 180.0);
        char item[1024];
        std::snprintf(item, sizeof item,
            R"(%s{"id":%d,"name":"%s %d","location":"%s","currentStatus":{"timestamp":%lld,"powerDraw":%.2f},)"
            R"("possibleActions":[{"id":%d,"device_id":%d,"type":0,"name":"Power"},)"
            R"({"id":%d,"device_id":%d,"type":1,"name":"Level","values":[{"name":"Lowest","value":0},)"
            R"({"name":"Highest","value":100},{"name":"Current","value":%d}]}],)"
            R"("onOff":{"id":%d,"device_id":%d,"type":0,"name":"Power"},"meterPluggedIn":%s,)"
            R"("meterSupplyingPower":%s})",
            i ? "," : "", id, names[i % 14], i / 14 + 1, rooms[i % 5], silent ? nowMs - 600'000 : nowMs, watts, id * 10,
            id, id * 10 + 1, id, (i * 13) % 100, id * 10, id, unplugged ? "false" : "true",
            watts > 0 ? "true" : "false");
        body += item;
    }
    return body + "]}";
}

std::string energyReply(Date now)
{
    std::string body = R"({"success":true,"energyConsumptions":[)";
    Date start = EnergyToday::daysAround(now, *TimeZone::named("America/New_York")).yesterdayStart;
    int i = 0;
    for (Date hour = start; hour < now; hour = hour.addingTimeInterval(3600), ++i) {
        char item[96];
        std::snprintf(item, sizeof item, R"(%s{"from":%lld,"energyConsumed":%.6f})", i ? "," : "",
            static_cast<long long>(std::llround(hour.millisecondsSince1970())), 0.15 + 0.1 * (i % 9));
        body += item;
    }
    return body + "]}";
}

/// The app, signed in as demo, with the Home tab on screen and its refresh
/// timer stopped.
class LiveApp {
public:
    /// Against `host` with `pin`; with `devices` > 0 an in-process stand-in
    /// answers instead, with that many devices.
    LiveApp(const std::string& host, const std::string& pin, int devices)
        : m_profile(scratchFolder("profile"))
        , m_loop(SystemClock::shared())
        , m_scope(m_loop)
    {
        setenv("HESTIO_PROFILE", m_profile.c_str(), 1);
        HostOptions options;
        options.headless = true;
        options.serviceHost = host;
        options.servicePin = pin;
        m_delegate = makeHestioApplicationDelegate(m_application, options);
        m_application.setDelegate(m_delegate.get());
        m_application.launch();
        m_host.emplace(m_application, m_loop);
        m_driver.emplace(*m_host, (m_profile / "failure.png").string());
        if (devices > 0)
            useStandIn(devices);
    }
    ~LiveApp()
    {
        m_driver.reset();
        m_application.terminate();
        m_application.setDelegate(nullptr);
        std::error_code ignored;
        fs::remove_all(m_profile, ignored);
    }

    /// Signs in and opens the Home tab; false when that did not happen.
    bool openHome()
    {
        for (const char* line : { "wait-for \"Sign In\" 10", "tap #username", "type \"demo\"", "tap #password",
                 "type \"demo\"", "return", "wait-for \"Suggestions\" 15", "wait-for-idle 10", "tap \"Home\"",
                 "wait-for \"Power now\" 10", "wait-for-not \"Loading…\" 10", "wait-for-idle 10" }) {
            Script script = Script::parse(line);
            if (script.error || script.steps.size() != 1)
                return fail(std::string("bad step: ") + line);
            if (auto done = m_driver->runStep(script.steps[0]); !done)
                return fail(std::string(line) + ": " + done.error().message());
        }
        auto& tabs = *HestioAppDelegate::shared().rootController;
        auto* navigation = dynamic_cast<NavigationController*>(tabs.selectedViewController());
        m_home = navigation ? dynamic_cast<HomeTabViewController*>(navigation->topViewController()) : nullptr;
        if (!m_home)
            return fail("the Home tab is not on screen");
        m_home->nowSection()->stop();
        return true;
    }

    /// One refresh of the draw, to the reloaded table laid out (and drawn).
    void powerCycle(bool draw)
    {
        cycle([this] { m_home->nowSection()->refreshPower(); }, draw);
    }
    /// One refresh of today's energy, the same way.
    void energyCycle(bool draw)
    {
        cycle([this] { m_home->nowSection()->refreshEnergy(); }, draw);
    }

    const std::string& error() const { return m_error; }

private:
    void useStandIn(int devices)
    {
        auto fake = std::make_shared<FakeTransport>();
        fake->setHandler([devices](const HttpRequest& request) {
            const std::string& url = request.url;
            if (url.find("/session") != std::string::npos)
                return FakeTransport::Reply::json(R"({"success":true,"token":"T0K3N","expiration":)"
                    + std::to_string(
                        static_cast<long long>(RunLoop::current().clock().now().millisecondsSince1970() + 86'400'000))
                    + R"(,"currentUser":{"username":"demo","type":"ADMIN","id":7,"household":{"name":"The Demos",)"
                      R"("timeZoneArea":"America/New_York","UTCTimeZone":"-5"}}})");
            if (url.find("action=true") != std::string::npos)
                return FakeTransport::Reply::json(deviceListReply(devices));
            if (url.find("/api/energyconsumption") != std::string::npos)
                return FakeTransport::Reply::json(energyReply(RunLoop::current().clock().now()));
            if (url.find("suggestion=true") != std::string::npos)
                return FakeTransport::Reply::json(R"({"success":true,"devices":[]})");
            return FakeTransport::Reply::json(R"({"success":true,"statuses":[],"locations":[]})");
        });
        ServiceEnvironment::shared().transport = fake;
    }

    void cycle(const std::function<void()>& start, bool draw)
    {
        auto& section = *m_home->nowSection();
        start();
        for (int i = 0; i < 200'000 && (section.isDownloadingDevices() || section.isDownloadingEnergy()); ++i)
            m_host->pass(0.0002);
        m_host->settle();
        if (Window* window = m_application.keyWindow())
            window->layoutIfNeeded();
        if (draw)
            benchmark::DoNotOptimize(m_host->screenshot());
    }

    bool fail(std::string message)
    {
        m_error = std::move(message);
        return false;
    }

    fs::path m_profile;
    RunLoop m_loop;
    CurrentRunLoopScope m_scope;
    Application m_application;
    std::unique_ptr<ApplicationDelegate> m_delegate;
    std::optional<HeadlessHost> m_host;
    std::optional<AutomationDriver> m_driver;
    HomeTabViewController* m_home { nullptr };
    std::string m_error;
};

enum class Service { Sim, StandIn };
enum class Kind { Power, Energy };

/// Runs cycles of one kind and reports the share of a core they take at one
/// every 10 s.
void runCycles(benchmark::State& state, Service service, Kind kind, bool draw)
{
    int devices = service == Service::StandIn ? static_cast<int>(state.range(0)) : 0;
    std::optional<Sim> sim;
    if (service == Service::Sim) {
        sim.emplace();
        if (!sim->started()) {
            state.SkipWithError("hestio-hub did not start");
            return;
        }
    }
    LiveApp app(sim ? "localhost:" + sim->port : "localhost:1", sim ? sim->pin : "", devices);
    if (!app.openHome()) {
        state.SkipWithError(app.error().c_str());
        return;
    }
    // The first cycles of a kind fill caches (fonts, the formatters).
    for (int i = 0; i < 3; ++i)
        kind == Kind::Power ? app.powerCycle(draw) : app.energyCycle(draw);

    double cpu = 0;
    for (auto _ : state) {
        double before = processCpuSeconds();
        kind == Kind::Power ? app.powerCycle(draw) : app.energyCycle(draw);
        cpu += processCpuSeconds() - before;
    }
    state.counters["core_percent"] = cpu / static_cast<double>(state.iterations()) / kRefreshSeconds * 100;
}

void BM_PowerRefresh_Sim(benchmark::State& state)
{
    runCycles(state, Service::Sim, Kind::Power, false);
}
void BM_PowerRefreshAndFrame_Sim(benchmark::State& state)
{
    runCycles(state, Service::Sim, Kind::Power, true);
}
void BM_EnergyRefreshAndFrame_Sim(benchmark::State& state)
{
    runCycles(state, Service::Sim, Kind::Energy, true);
}
void BM_PowerRefresh_StandIn(benchmark::State& state)
{
    runCycles(state, Service::StandIn, Kind::Power, false);
}
void BM_PowerRefreshAndFrame_StandIn(benchmark::State& state)
{
    runCycles(state, Service::StandIn, Kind::Power, true);
}

}

BENCHMARK(BM_PowerRefresh_Sim)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowerRefreshAndFrame_Sim)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnergyRefreshAndFrame_Sim)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowerRefresh_StandIn)
    ->ArgName("devices")
    ->Arg(14)
    ->Arg(200)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowerRefreshAndFrame_StandIn)
    ->ArgName("devices")
    ->Arg(14)
    ->Arg(200)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
