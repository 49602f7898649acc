// hestio-app-bench: whole-app figures, measured on the app as it runs.
//
//   hestio-app-bench [--runs N] [--only NAME] BUILD_DIR
//
// Every scenario runs in a fresh process (the app's session is process-wide)
// N times (default 5), against a fresh hestio-hub on loopback, and the median
// of each figure is printed with its wall and CPU time. CPU time is the
// client's own (all its threads); the service runs in its own process.
//
//   cold-start  hestio started headless until its login screen is on screen
//               and the process has exited (a whole process run)
//   sign-in     Return in the password field until the Devices tab, tapped
//               as soon as the tab bar shows, has drawn its rows
//   scroll      frames while a finger scrolls a 200-device list and lets go
//   pinch       frames while two fingers pinch a day graph of 86,400 samples
//   memory      resident memory after opening the four graphs and paging each
//               back four weeks
//   slow-disk   frames while the list scrolls and the home energy graph pages back four
//               weeks, every disk write taking 300 ms (the writer's fault
//               hook), and the time the writes then take to drain; also the
//               main thread's own CPU from frame to frame, the longest time
//               from one frame to the next, and how often the main thread
//               waited for the writer (while signing in, and in the frames)
//
// A frame is what the window host does for one: the event and the timers due
// are handled, the window is laid out and drawn at the screen's scale.
//
// With HESTIO_APP_BENCH_CHECK=1 in the environment, the gestures' frames are
// also drawn a second time, untimed, with the drawing's shortcuts turned off
// (every point stroked and filled), and the pixels that differ are
// counted: a "<scenario>.pixels-differing" figure, the sum over the frames.

#include "app/HestioAppDelegate.h"
#include "app/HestioLauncher.h"
#include "charting/ScatterPlot.h"
#include "graphs/GraphScreens.h"
#include "graphs/GraphViewController.h"
#include "model/Device.h"
#include "model/User.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageImpl.h"
#include "platform/host/AutomationDriver.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/ScreenQuery.h"
#include "platform/host/Script.h"
#include "platform/http/FakeTransport.h"
#include "platform/ui/Application.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"
#include "json/ObjectMemory.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace hestio;
using namespace hestio::platform;

namespace {

double wallMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/// The calling thread's CPU time alone (the process's counts every thread).
double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/// Where failures are told: stderr, or in a scenario's process the output
/// the driver reads (the app's own log goes to stderr there).
int g_errorFd = 2;
/// The service the driver started, stopped when the driver gives up.
pid_t g_simPid = -1;

[[noreturn]] void die(const std::string& message)
{
    std::string text = "hestio-app-bench: " + message + "\n";
    std::fflush(stdout);
    [[maybe_unused]] auto written = write(g_errorFd, text.data(), text.size());
    if (g_simPid > 0)
        kill(g_simPid, SIGTERM);
    std::_Exit(1);
}

fs::path scratchFolder(const std::string& what)
{
    std::random_device random;
    fs::path folder = fs::temp_directory_path() / ("hestio-app-bench-" + what + "-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

/// One figure of one run: a name and its wall and CPU milliseconds (or
/// another unit, then CPU is left out).
struct Figure {
    std::string name;
    double value { 0 };
    double cpu { -1 };
};

void emit(const Figure& figure)
{
    std::printf("FIGURE %s %.3f %.3f\n", figure.name.c_str(), figure.value, figure.cpu);
    std::fflush(stdout);
}

bool checkingPictures()
{
    const char* value = std::getenv("HESTIO_APP_BENCH_CHECK");
    return value && *value && std::strcmp(value, "0") != 0;
}

/// The largest difference of one channel between two pictures, out of 255.
int g_largestChannelDifference = 0;

/// The pixels of two pictures of one size that differ in any channel; keeps
/// the largest channel difference seen in g_largestChannelDifference.
long differingPixels(const Image& a, const Image& b)
{
    cairo_surface_t* sa = a.impl().surface.get();
    cairo_surface_t* sb = b.impl().surface.get();
    if (!sa || !sb)
        die("a frame was not a raster picture");
    cairo_surface_flush(sa);
    cairo_surface_flush(sb);
    int width = cairo_image_surface_get_width(sa), height = cairo_image_surface_get_height(sa);
    if (width != cairo_image_surface_get_width(sb) || height != cairo_image_surface_get_height(sb))
        return static_cast<long>(width) * height;
    long differing = 0;
    for (int y = 0; y < height; ++y) {
        const auto* ra = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(sa) + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(sa));
        const auto* rb = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(sb) + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(sb));
        for (int x = 0; x < width; ++x) {
            if (ra[x] == rb[x])
                continue;
            ++differing;
            for (int shift = 0; shift < 32; shift += 8) {
                int d = std::abs(static_cast<int>((ra[x] >> shift) & 0xff) - static_cast<int>((rb[x] >> shift) & 0xff));
                g_largestChannelDifference = std::max(g_largestChannelDifference, d);
            }
        }
    }
    return differing;
}

/// Per-frame times of a gesture: median, 95th percentile and worst.
void emitFrames(const std::string& name, std::vector<Figure> frames)
{
    if (frames.empty())
        die(name + ": no frames were drawn");
    // HESTIO_APP_BENCH_EACH_FRAME=1: every frame's times too, in order.
    if (const char* each = std::getenv("HESTIO_APP_BENCH_EACH_FRAME"); each && std::strcmp(each, "1") == 0)
        for (std::size_t i = 0; i < frames.size(); ++i)
            emit({ name + ".frame-" + std::to_string(i), frames[i].value, frames[i].cpu });
    // Wall and CPU percentiles each of their own: the frame slowest on the
    // clock is not always the one that worked longest.
    std::vector<double> walls, cpus;
    for (const Figure& f : frames) {
        walls.push_back(f.value);
        cpus.push_back(f.cpu);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    auto nth = [&](const std::vector<double>& sorted, double q) {
        return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * (sorted.size() - 1) + 0.5))];
    };
    emit({ name + ".median", nth(walls, 0.5), nth(cpus, 0.5) });
    emit({ name + ".p95", nth(walls, 0.95), nth(cpus, 0.95) });
    emit({ name + ".worst", nth(walls, 1.0), nth(cpus, 1.0) });
    emit({ name + ".frames", static_cast<double>(frames.size()), -1 });
}

// ---------------------------------------------------------------------------
// The app in this process, headless on the real clock.

bool loginScreenGone();

class LiveApp {
public:
    LiveApp(const std::string& host, const std::string& pin)
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
    }
    ~LiveApp()
    {
        m_driver.reset();
        m_application.terminate();
        m_application.setDelegate(nullptr);
        std::error_code ignored;
        fs::remove_all(m_profile, ignored);
    }

    Application& application() { return m_application; }
    HeadlessHost& host() { return *m_host; }

    /// One automation step, as in a script; setup only (touch steps let half
    /// a second pass afterwards).
    void step(const std::string& line)
    {
        Script script = Script::parse(line);
        if (script.error || script.steps.size() != 1)
            die("bad step: " + line);
        if (auto done = m_driver->runStep(script.steps[0]); !done)
            die(line + ": " + done.error().message());
    }

    std::optional<ScreenQuery::Found> find(const std::string& text)
    {
        return ScreenQuery(m_application).findText(text);
    }

    /// Runs the app until `done` holds, checking every millisecond.
    void runUntil(const std::function<bool()>& done, const std::string& what, double timeoutSeconds = 20)
    {
        // A loaded machine's service can take longer to make a week of samples.
        if (const char* longer = std::getenv("HESTIO_APP_BENCH_TIMEOUT"); longer && std::atof(longer) > timeoutSeconds)
            timeoutSeconds = std::atof(longer);
        double start = wallMs();
        for (;;) {
            m_host->settle();
            if (done())
                return;
            if (wallMs() - start > timeoutSeconds * 1000) {
                std::string shot = (fs::temp_directory_path() / "hestio-app-bench-failure.png").string();
                if (auto image = m_host->screenshot(); !image || !image->writePng(shot))
                    shot = "not saved";
                die("timed out waiting for " + what + " (the screen then: " + shot + ")");
            }
            m_host->pass(0.001);
        }
    }

    void touches(std::vector<TouchInput> inputs)
    {
        TouchEvent event;
        event.timestamp = m_loop.clock().monotonicSeconds();
        event.touches = std::move(inputs);
        m_application.sendEvent(event);
    }

    /// A touch down and up at the centre of what shows `text`, without the
    /// pause a script leaves after it.
    void quickTap(const std::string& text)
    {
        auto found = find(text);
        if (!found)
            die("nothing on screen shows \"" + text + "\"");
        Point centre { found->rect.origin.x + found->rect.size.width / 2,
            found->rect.origin.y + found->rect.size.height / 2 };
        touches({ { 1, centre, TouchPhase::Began } });
        m_host->pass(0.05);
        touches({ { 1, centre, TouchPhase::Ended } });
    }

    /// The window as the host draws a frame of it.
    void drawFrame()
    {
        // In the last frame's pixels unless something still holds it, as the
        // window host draws each frame into its texture's.
        m_lastFrame = m_host->screenshot(std::move(m_lastFrame));
        if (!m_lastFrame)
            die("there is no window to draw");
    }
    /// The picture of the last frame drawn.
    const std::shared_ptr<Image>& lastFrame() const { return m_lastFrame; }

    /// Runs what is due, then draws: one frame, timed.
    Figure frame(const std::string& name, const std::function<void()>& input)
    {
        double wall = wallMs();
        double cpu = cpuMs();
        input();
        m_host->settle();
        drawFrame();
        return { name, wallMs() - wall, cpuMs() - cpu };
    }

    void signIn()
    {
        runUntil([&] { return find("Sign In").has_value(); }, "the login screen");
        step("tap #username");
        step("type \"demo\"");
        step("tap #password");
        step("type \"demo\"");
        step("return");
        runUntil(loginScreenGone, "the tabs after signing in");
    }

private:
    fs::path m_profile;
    RunLoop m_loop;
    CurrentRunLoopScope m_scope;
    Application m_application;
    std::unique_ptr<ApplicationDelegate> m_delegate;
    std::optional<HeadlessHost> m_host;
    std::optional<AutomationDriver> m_driver;
    std::shared_ptr<Image> m_lastFrame;
};

/// The login screen has finished sliding away: the tabs take touches.
bool loginScreenGone()
{
    auto& root = HestioAppDelegate::shared().rootController;
    return root && !root->modalViewController() && !Application::shared().animator().hasRunningAnimations();
}

bool signedIn()
{
    auto user = HestioAppDelegate::shared().curUser();
    return user && user->hasToken();
}

void scenarioSignIn(const std::string& host, const std::string& pin)
{
    LiveApp app(host, pin);
    app.runUntil([&] { return app.find("Sign In").has_value(); }, "the login screen");
    app.step("tap #username");
    app.step("type \"demo\"");
    app.step("tap #password");
    app.step("type \"demo\"");

    double wall0 = wallMs();
    double cpu0 = cpuMs();
    app.application().sendReturn();
    app.runUntil(signedIn, "the sign-in");
    double wallSigned = wallMs();
    double cpuSigned = cpuMs();
    // The login screen stays up a little by design, then slides away.
    app.runUntil(loginScreenGone, "the tab bar");
    double wallTabs = wallMs();
    double cpuTabs = cpuMs();
    app.quickTap("Devices");
    app.runUntil([&] { return app.find("Heater").has_value(); }, "the device list");
    app.drawFrame();
    double wallDrawn = wallMs();
    double cpuDrawn = cpuMs();

    emit({ "sign-in.exchange", wallSigned - wall0, cpuSigned - cpu0 });
    emit({ "sign-in.login-screen-leaves", wallTabs - wallSigned, cpuTabs - cpuSigned });
    emit({ "sign-in.devices-tab-drawn", wallDrawn - wallTabs, cpuDrawn - cpuTabs });
    emit({ "sign-in.total", wallDrawn - wall0, cpuDrawn - cpu0 });
}

/// The list that shows `text`.
TableView* listShowing(LiveApp& app, const std::string& text)
{
    auto found = app.find(text);
    for (View* view = found ? found->view : nullptr; view; view = view->superview())
        if (auto* table = dynamic_cast<TableView*>(view))
            return table;
    die("no list shows \"" + text + "\"");
}

void scenarioScroll(const std::string& host, const std::string& pin)
{
    LiveApp app(host, pin);
    app.signIn();
    app.quickTap("Devices");
    app.runUntil([&] { return app.find("Heater").has_value(); }, "the device list");
    app.host().pass(1); // the list's own animations end
    TableView* list = listShowing(app, "Heater");
    // The list is on screen before the finger lands: a window host has drawn
    // it already (the first drawing of the window, with its fonts and glyphs
    // loaded, is in the sign-in scenario's figures, not in these frames).
    app.drawFrame();

    std::vector<Figure> frames;
    // Three strokes up the list, each a finger moving 300 points in 30 moves
    // and lifting, then the list coasting to rest, one frame each 1/60 s.
    for (int stroke = 0; stroke < 3; ++stroke) {
        Point at { 160, 400 };
        frames.push_back(app.frame("scroll", [&] { app.touches({ { 1, at, TouchPhase::Began } }); }));
        for (int move = 0; move < 30; ++move) {
            app.host().pass(1.0 / 60);
            at.y -= 10;
            frames.push_back(app.frame("scroll", [&] { app.touches({ { 1, at, TouchPhase::Moved } }); }));
        }
        frames.push_back(app.frame("scroll", [&] { app.touches({ { 1, at, TouchPhase::Ended } }); }));
        for (int coast = 0; coast < 60 && app.application().animator().hasRunningAnimations(); ++coast) {
            app.host().pass(1.0 / 60);
            frames.push_back(app.frame("scroll", [] {}));
        }
    }
    if (list->contentOffset().y < 3 * 300)
        die("the list did not scroll (offset " + std::to_string(list->contentOffset().y) + ")");
    emitFrames("scroll", frames);
}

/// A day of one sample a second: the graph's week requests are answered with
/// it for the newest day and nothing for the others.
std::string secondSamplesReply(long long fromMs, long long toMs)
{
    long long dayMs = 86'400'000;
    long long start = std::max(fromMs, toMs - dayMs);
    std::string body;
    body.reserve(86'400 * 48);
    body += R"({"success":true,"statuses":[)";
    int i = 0;
    for (long long t = start; t < toMs && i < 86'400; t += 1000, ++i) {
        if (i)
            body += ',';
        double watts = 60 + 40 * std::sin(i / 900.0) + (i % 97);
        char item[96];
        std::snprintf(item, sizeof item, R"({"timestamp":%lld,"powerDraw":%.1f})", t, watts);
        body += item;
    }
    return body + "]}";
}

long long queryNumber(const std::string& text, const std::string& key)
{
    auto at = text.find(key + "=");
    if (at == std::string::npos)
        return 0;
    return std::atoll(text.c_str() + at + key.size() + 1);
}

/// Turns the graph screen's drawing shortcuts off (plain) or back on.
void setPlainGraphDrawing(GraphViewController& screen, bool plain)
{
    if (!screen.graph())
        return;
    for (const auto& plot : screen.graph()->allPlots())
        if (auto scatter = std::dynamic_pointer_cast<chart::ScatterPlot>(plot)) {
            scatter->skipsPointsBeyondBounds = !plain;
            scatter->reducesPointsPerPixelColumn = !plain;
        }
}

void scenarioPinch(const std::string& host, const std::string& pin)
{
    LiveApp app(host, pin);
    app.signIn();
    // The service gives minute samples; for a day of 86,400 the graph's
    // requests go to a stand-in that answers with one sample a second.
    auto fake = std::make_shared<FakeTransport>();
    int samplesSent = 0;
    fake->setHandler([&](const HttpRequest& request) {
        std::string query = request.url.substr(request.url.find('?') + 1) + "&" + request.body;
        long long from = queryNumber(query, "from");
        long long to = queryNumber(query, "to");
        if (!from || !to)
            return FakeTransport::Reply::json(R"({"success":true,"statuses":[]})");
        std::string body = secondSamplesReply(from, to);
        samplesSent += static_cast<int>(std::count(body.begin(), body.end(), '{')) - 1;
        return FakeTransport::Reply::json(std::move(body));
    });
    ServiceEnvironment::shared().transport = fake;

    auto device = hestio::Device::initWithID("101", "Fridge", "Kitchen");
    auto graph = makeDevicePowerDrawGraph(HestioAppDelegate::shared().session(), device);
    HestioAppDelegate::shared().rootController->presentModalViewController(graph, false);
    app.runUntil([&] { return fake->requestCount() > 0 && !app.application().isNetworkActivityIndicatorVisible(); },
        "the graph's samples");
    app.host().pass(0.5);
    if (samplesSent < 86'400)
        die("the graph was sent " + std::to_string(samplesSent) + " samples, not a day of 86,400");
    // The day is on screen before the fingers land.
    app.drawFrame();

    std::vector<Figure> frames;
    bool checking = checkingPictures();
    long differing = 0, compared = 0;
    // In checking mode each frame is drawn again without the shortcuts.
    auto check = [&] {
        if (!checking)
            return;
        auto picture = app.lastFrame();
        setPlainGraphDrawing(*graph, true);
        app.drawFrame();
        setPlainGraphDrawing(*graph, false);
        long now = differingPixels(*picture, *app.lastFrame());
        if (now > 0 && differing == 0) {
            // The first frame that differs is kept, both ways, to look at when
            // they can be written; the count below is the result either way.
            fs::path folder = fs::temp_directory_path();
            static_cast<void>(picture->writePng((folder / "hestio-app-bench-pinch-shortcuts.png").string()));
            static_cast<void>(app.lastFrame()->writePng((folder / "hestio-app-bench-pinch-plain.png").string()));
        }
        differing += now;
        compared += static_cast<long>(picture->pixelWidth()) * picture->pixelHeight();
    };
    Point centre { 160, 240 };
    // Spread to four times and back, twice; 20 moves each way, 1/60 s apart.
    for (int round = 0; round < 2; ++round) {
        for (double target : { 4.0, 0.25 }) {
            double spread = target > 1 ? 30 : 120;
            auto fingers = [&](double s, TouchPhase phase) {
                return std::vector<TouchInput> { { 1, { centre.x - s, centre.y }, phase },
                    { 2, { centre.x + s, centre.y }, phase } };
            };
            frames.push_back(app.frame("pinch", [&] { app.touches(fingers(spread, TouchPhase::Began)); }));
            check();
            double end = spread * target;
            for (int move = 1; move <= 20; ++move) {
                app.host().pass(1.0 / 60);
                double s = spread + (end - spread) * move / 20;
                frames.push_back(app.frame("pinch", [&] { app.touches(fingers(s, TouchPhase::Moved)); }));
                check();
            }
            frames.push_back(app.frame("pinch", [&] { app.touches(fingers(end, TouchPhase::Ended)); }));
            check();
            app.host().pass(0.1);
        }
    }
    emitFrames("pinch", frames);
    if (checking) {
        emit({ "pinch.pixels-differing", static_cast<double>(differing), -1 });
        emit({ "pinch.largest-channel-difference", static_cast<double>(g_largestChannelDifference), -1 });
        emit({ "pinch.pixels-compared", static_cast<double>(compared), -1 });
    }
    emit({ "pinch.samples", static_cast<double>(samplesSent), -1 });
}

long residentKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

/// Resident memory by what holds it, from /proc/self/smaps: the heap and
/// other anonymous memory (the allocator's, thread stacks), the libraries'
/// code and data, and other mapped files (font caches, ICU's data).
void emitResidentParts()
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line, mapping;
    std::map<std::string, double> parts;
    std::map<std::string, double> files;
    while (std::getline(smaps, line)) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') != std::string::npos
            && line.find(':') > line.find(' ')) {
            std::istringstream fields(line);
            std::string range, perms, offset, device, inode;
            fields >> range >> perms >> offset >> device >> inode;
            std::getline(fields >> std::ws, mapping);
            continue;
        }
        if (line.rfind("Rss:", 0) != 0)
            continue;
        double mb = std::atof(line.c_str() + 4) / 1024.0;
        std::string part = mapping.empty() || mapping == "[heap]"   ? "anonymous"
            : mapping[0] == '['                                     ? "anonymous"
            : mapping.find(".so") != std::string::npos              ? "libraries"
            : mapping.find("hestio-app-bench") != std::string::npos ? "program"
                                                                    : "files";
        parts[part] += mb;
        if (part == "files" || part == "libraries")
            files[mapping] += mb;
    }
    for (const auto& [part, mb] : parts)
        emit({ "memory.resident-" + part + "-mb", mb, -1 });
    if (getenv("HESTIO_APP_BENCH_EACH_MAPPING"))
        for (const auto& [file, mb] : files)
            if (mb >= 0.2)
                std::printf("mapping %8.2f MB  %s\n", mb, file.c_str());
    // The whole of smaps, every mapping with its clean and dirty pages, for
    // a closer look than the parts above.
    if (const char* copy = getenv("HESTIO_APP_BENCH_SMAPS")) {
        std::ifstream in("/proc/self/smaps");
        std::ofstream(copy) << in.rdbuf();
    }
    struct mallinfo2 heap = mallinfo2();
    emit({ "memory.heap-in-use-mb", heap.uordblks / 1048576.0, -1 });
    emit({ "memory.heap-free-kept-mb", heap.fordblks / 1048576.0, -1 });
    emit({ "memory.mapped-blocks-mb", heap.hblkhd / 1048576.0, -1 });
}

/// With HESTIO_APP_BENCH_EACH_PAGE=1, one line for each page of the memory
/// scenario: what is resident (all, anonymous, files and libraries), the peak
/// so far, the heap in use and in mapped blocks, and the decoder's slabs held.
void printPageMemory(const char* graph, int day)
{
    static const bool wanted = [] {
        const char* each = std::getenv("HESTIO_APP_BENCH_EACH_PAGE");
        return each && std::strcmp(each, "1") == 0;
    }();
    if (!wanted)
        return;
    struct mallinfo2 heap = mallinfo2();
    std::printf("page %-12s %2d  rss %6.1f  anon %6.1f  file %6.1f  hwm %6.1f  heap %5.1f  mapped %5.1f  "
                "decoder %5.1f  kept %5.1f\n",
        graph, day, residentKb("VmRSS:") / 1024.0, residentKb("RssAnon:") / 1024.0, residentKb("RssFile:") / 1024.0,
        residentKb("VmHWM:") / 1024.0, heap.uordblks / 1048576.0, heap.hblkhd / 1048576.0,
        json::detail::liveArenaSlabs() * json::detail::kArenaSlabBytes / 1048576.0,
        json::detail::keptDecoderBytes() / 1048576.0);
}

void scenarioMemory(const std::string& host, const std::string& pin)
{
    LiveApp app(host, pin);
    app.signIn();
    app.quickTap("Devices");
    app.runUntil([&] { return app.find("Heater").has_value(); }, "the device list");
    // Drawn once, as a window shows it: its tab bar's and rows' pictures are
    // read and rendered (and the SVG library loaded) as in a session.
    app.drawFrame();
    emit({ "memory.signed-in-mb", residentKb("VmRSS:") / 1024.0, -1 });

    auto device = hestio::Device::initWithID("101", "Fridge", "Kitchen");
    auto session = HestioAppDelegate::shared().session();
    std::vector<std::function<std::shared_ptr<GraphViewController>()>> graphs { [&] {
                                                                                   return makeHomeEnergyGraph(session);
                                                                               },
        [&] { return makeHomeBatteryGraph(session); }, [&] { return makeDevicePowerDrawGraph(session, device); },
        [&] { return makeDeviceEnergyGraph(session, device); } };
    auto& root = *HestioAppDelegate::shared().rootController;
    auto idle = [&] { return !app.application().isNetworkActivityIndicatorVisible(); };
    double wall0 = wallMs();
    double cpu0 = cpuMs();
    const char* names[] = { "home-energy", "home-battery", "power-draw", "device-energy" };
    printPageMemory("signed-in", 0);
    for (std::size_t which = 0; which < graphs.size(); ++which) {
        auto graph = graphs[which]();
        root.presentModalViewController(graph, false);
        app.host().pass(0.05);
        app.runUntil(idle, "a graph's first week");
        printPageMemory(names[which], 0);
        for (int day = 0; day < 28; ++day) {
            graph->back();
            app.host().settle();
            app.runUntil(idle, "a graph's older week");
            app.drawFrame();
            printPageMemory(names[which], day + 1);
        }
        graph->dismissGraph();
        // Let go of as the screen that opened it does once it has slid away:
        // what the screen held is freed, and given back, in the pause.
        graph.reset();
        app.host().pass(0.5);
        printPageMemory(names[which], -1);
    }
    emit({ "memory.four-graphs-four-weeks-time", wallMs() - wall0, cpuMs() - cpu0 });
    emit({ "memory.resident-mb", residentKb("VmRSS:") / 1024.0, -1 });
    emit({ "memory.peak-resident-mb", residentKb("VmHWM:") / 1024.0, -1 });
    emitResidentParts();
    // What the JSON decoder holds: slabs of values still in use (the
    // session's lists), and memory kept for the next decodes.
    emit({ "memory.decoder-held-mb", json::detail::liveArenaSlabs() * json::detail::kArenaSlabBytes / 1048576.0, -1 });
    emit({ "memory.decoder-kept-mb", json::detail::keptDecoderBytes() / 1048576.0, -1 });
}

/// The disk takes 300 ms for every write (a hook in the app's disk writer)
/// while the user scrolls the device list and pages a graph back four
/// weeks, a day at a time: each list download and graph week is kept, and
/// no frame may wait for the disk.
void scenarioSlowDisk(const std::string& host, const std::string& pin)
{
    DiskWriter& writer = DiskWriter::shared();
    writer.setFlushDelayForTesting(0.3);
    LiveApp app(host, pin);
    std::size_t waits = writer.blockingWaitCount();
    app.signIn();
    app.quickTap("Devices");
    app.runUntil([&] { return app.find("Heater").has_value(); }, "the device list");
    app.host().pass(0.5);
    app.drawFrame();
    // Each time the main thread waited for the writer: a stall of up to a
    // whole write (300 ms here), wherever it fell.
    emit({ "slow-disk.sign-in-waits-for-the-disk", static_cast<double>(writer.blockingWaitCount() - waits), -1 });
    waits = writer.blockingWaitCount();

    std::vector<Figure> frames;
    std::vector<double> mainThreadCpu;
    double longestGap = 0;
    std::size_t mostQueued = 0;
    double threadCpu = threadCpuMs();
    double lastFrame = wallMs();
    auto counted = [&](Figure figure) {
        mostQueued = std::max(mostQueued, writer.pendingCount());
        frames.push_back(figure);
        // From one frame to the next, the run loop's work between them
        // included (replies, the writer's answers): the main thread's CPU
        // alone, without the decoder's, the transfers' and the writer's
        // threads; and on the clock, where a wait for the disk would show.
        double now = threadCpuMs();
        mainThreadCpu.push_back(now - threadCpu);
        threadCpu = now;
        longestGap = std::max(longestGap, wallMs() - lastFrame);
        lastFrame = wallMs();
    };
    for (int stroke = 0; stroke < 2; ++stroke) {
        Point at { 160, 400 };
        counted(app.frame("slow-disk", [&] { app.touches({ { 1, at, TouchPhase::Began } }); }));
        for (int move = 0; move < 30; ++move) {
            app.host().pass(1.0 / 60);
            at.y -= 10;
            counted(app.frame("slow-disk", [&] { app.touches({ { 1, at, TouchPhase::Moved } }); }));
        }
        counted(app.frame("slow-disk", [&] { app.touches({ { 1, at, TouchPhase::Ended } }); }));
    }
    auto graph = makeHomeEnergyGraph(HestioAppDelegate::shared().session());
    HestioAppDelegate::shared().rootController->presentModalViewController(graph, false);
    for (int turn = 0; turn < 30; ++turn) {
        app.host().pass(1.0 / 60);
        counted(app.frame("slow-disk", [] {}));
    }
    for (int day = 0; day < 28; ++day) {
        counted(app.frame("slow-disk", [&] { graph->back(); }));
        for (int turn = 0; turn < 10; ++turn) {
            app.host().pass(1.0 / 60);
            counted(app.frame("slow-disk", [] {}));
        }
    }
    emitFrames("slow-disk", frames);
    std::sort(mainThreadCpu.begin(), mainThreadCpu.end());
    emit({ "slow-disk.main-thread-cpu-median", mainThreadCpu[mainThreadCpu.size() / 2], -1 });
    emit({ "slow-disk.main-thread-cpu-worst", mainThreadCpu.back(), -1 });
    emit({ "slow-disk.longest-frame-to-frame", longestGap, -1 });
    emit({ "slow-disk.frames-waits-for-the-disk", static_cast<double>(writer.blockingWaitCount() - waits), -1 });
    emit({ "slow-disk.most-writes-queued", static_cast<double>(mostQueued), -1 });
    double wall0 = wallMs();
    double cpu0 = cpuMs();
    if (!DiskWriter::shared().drain(60))
        die("the writes did not reach the disk within a minute");
    emit({ "slow-disk.drain-at-exit", wallMs() - wall0, cpuMs() - cpu0 });
}

// ---------------------------------------------------------------------------
// The driver: services, child processes and medians.

struct Child {
    int status { -1 };
    double wall { 0 };
    double cpu { 0 };
    std::string output;
};

/// In a forked child: becomes the program argv names, or exits 127.
[[noreturn]] void execArgs(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

Child runChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {})
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        die("pipe failed");
    double start = wallMs();
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        for (const auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        execArgs(argv);
    }
    close(pipeFds[1]);
    Child child;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        child.output.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    child.wall = wallMs() - start;
    child.cpu = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3
        + usage.ru_stime.tv_usec / 1e3;
    child.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return child;
}

class Sim {
public:
    Sim(const fs::path& binary, const std::vector<std::string>& extra)
        : m_folder(scratchFolder("sim"))
    {
        Child print = runChild({ binary.string(), "--data", m_folder.string(), "--print-pin" });
        pin = "sha256//" + print.output.substr(0, print.output.find('\n'));
        fs::path log = m_folder / "sim.log";
        std::fflush(stdout);
        m_pid = fork();
        if (m_pid == 0) {
            FILE* out = std::freopen(log.c_str(), "w", stdout);
            FILE* err = std::freopen("/dev/null", "w", stderr);
            (void)out;
            (void)err;
            std::vector<std::string> argv { binary.string(), "--demo", "--data", m_folder.string(), "--port", "0",
                "--zone", "America/New_York" };
            argv.insert(argv.end(), extra.begin(), extra.end());
            execArgs(argv);
        }
        g_simPid = m_pid;
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
        if (port.empty())
            die("hestio-hub did not start");
    }
    ~Sim()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        g_simPid = -1;
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::string pin;
    std::string port;

private:
    fs::path m_folder;
    pid_t m_pid { -1 };
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Collected {
    std::vector<double> values;
    std::vector<double> cpus;
};

void report(const std::map<std::string, Collected>& figures, const std::vector<std::string>& order)
{
    for (const auto& name : order) {
        const auto& c = figures.at(name);
        bool isTime = !c.cpus.empty() && c.cpus.front() >= 0;
        if (isTime)
            std::printf("  %-42s %9.2f ms wall  %9.2f ms CPU   (median of %zu)\n", name.c_str(), median(c.values),
                median(c.cpus), c.values.size());
        else
            std::printf("  %-42s %9.1f          (median of %zu)\n", name.c_str(), median(c.values), c.values.size());
    }
    std::fflush(stdout);
}

void collect(const std::string& output, std::map<std::string, Collected>& figures, std::vector<std::string>& order)
{
    std::istringstream lines(output);
    std::string word, name;
    double value = 0, cpu = 0;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        if (!(fields >> word >> name >> value >> cpu) || word != "FIGURE")
            continue;
        if (!figures.count(name))
            order.push_back(name);
        figures[name].values.push_back(value);
        figures[name].cpus.push_back(cpu);
    }
}

int drive(const fs::path& self, const fs::path& build, int runs, const std::string& only)
{
    fs::path hestio = build / "bin" / "hestio";
    fs::path simBinary = build / "bin" / "hestio-hub";
    for (const auto& p : { hestio, simBinary })
        if (!fs::exists(p))
            die(p.string() + " is missing: build it first");
    auto wanted = [&](const std::string& name) { return only.empty() || only == name; };
    std::printf("hestio-app-bench: %d runs of each scenario; medians\n", runs);

    if (wanted("cold-start")) {
        fs::path folder = scratchFolder("cold");
        std::ofstream(folder / "login.txt") << "wait-for \"Sign In\" 5\n";
        std::map<std::string, Collected> figures;
        std::vector<std::string> order { "cold-start.to-login-screen" };
        for (int run = 0; run < runs; ++run) {
            fs::path profile = folder / ("profile" + std::to_string(run));
            Child child = runChild({ hestio.string(), "--headless", "--profile", profile.string(), "--service-host",
                                       "localhost:1", "--script", (folder / "login.txt").string() },
                {});
            if (child.status != 0)
                die("the cold start run failed:\n" + child.output);
            figures[order[0]].values.push_back(child.wall);
            figures[order[0]].cpus.push_back(child.cpu);
        }
        std::printf("cold-start\n");
        report(figures, order);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    struct Scenario {
        std::string name;
        std::vector<std::string> simOptions;
    };
    for (const Scenario& scenario : { Scenario { "sign-in", {} }, Scenario { "scroll", { "--devices", "200" } },
             Scenario { "pinch", {} }, Scenario { "memory", {} }, Scenario { "slow-disk", {} } }) {
        if (!wanted(scenario.name))
            continue;
        Sim sim(simBinary, scenario.simOptions);
        std::map<std::string, Collected> figures;
        std::vector<std::string> order;
        for (int run = 0; run < runs; ++run) {
            Child child = runChild(
                { self.string(), "--scenario", scenario.name, "--host", "localhost:" + sim.port, "--pin", sim.pin },
                {});
            if (child.status != 0)
                die(scenario.name + " failed (status " + std::to_string(child.status) + "):\n" + child.output);
            collect(child.output, figures, order);
        }
        std::printf("%s\n", scenario.name.c_str());
        report(figures, order);
    }
    return 0;
}

}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string scenario, host, pin, only;
    int runs = 5;
    std::optional<fs::path> build;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto value = [&] {
            if (i + 1 >= args.size())
                die(args[i] + " needs a value");
            return args[++i];
        };
        if (args[i] == "--scenario")
            scenario = value();
        else if (args[i] == "--host")
            host = value();
        else if (args[i] == "--pin")
            pin = value();
        else if (args[i] == "--runs")
            runs = std::max(1, std::atoi(value().c_str()));
        else if (args[i] == "--only")
            only = value();
        else if (!args[i].empty() && args[i][0] != '-')
            build = args[i];
        else
            die("usage: hestio-app-bench [--runs N] [--only NAME] BUILD_DIR");
    }
    if (!scenario.empty()) {
        // The app's own log lines stay out of the figures.
        g_errorFd = dup(1);
        if (!std::getenv("HESTIO_APP_BENCH_LOG")) {
            std::FILE* quiet = std::freopen("/dev/null", "w", stderr);
            (void)quiet;
        }
        if (scenario == "sign-in")
            scenarioSignIn(host, pin);
        else if (scenario == "scroll")
            scenarioScroll(host, pin);
        else if (scenario == "pinch")
            scenarioPinch(host, pin);
        else if (scenario == "memory")
            scenarioMemory(host, pin);
        else if (scenario == "slow-disk")
            scenarioSlowDisk(host, pin);
        else
            die("unknown scenario " + scenario);
        std::fflush(stdout);
        // The session's singletons outlive main's locals; leave as the app does.
        std::_Exit(0);
    }
    if (!build)
        die("usage: hestio-app-bench [--runs N] [--only NAME] BUILD_DIR");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        die("cannot find this program");
    self[n] = 0;
    return drive(self, *build, runs, only);
}
