#include "platform/host/HostMain.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/host/AutomationDriver.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/LocationMenu.h"
#include "platform/host/SdlHost.h"
#include "platform/location/GeoClueSource.h"
#include "platform/location/GeoLocationManager.h"
#include "platform/location/GpxTrack.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/DesktopNotifications.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sstream>
#include <thread>

namespace hestio::platform {

namespace {

    std::optional<std::string> readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        if (in.bad())
            return std::nullopt;
        return text.str();
    }

    int report(const std::string& scriptPath, const AutomationResult& result, std::size_t stepCount)
    {
        if (result.passed) {
            std::cout << "hestio: " << scriptPath << ": all " << stepCount << " steps passed\n";
            return 0;
        }
        std::cerr << "hestio: " << scriptPath << ": " << result.report;
        if (!result.report.empty() && result.report.back() != '\n')
            std::cerr << '\n';
        return 1;
    }

    bool hasDisplay()
    {
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER" })
            if (const char* value = std::getenv(name); value && *value)
                return true;
        return false;
    }

    /// Stops the loop on SIGINT or SIGTERM for a headless run without a
    /// script: the signals are taken by a thread that posts the stop.
    class SignalStop {
    public:
        explicit SignalStop(RunLoop& loop)
        {
            sigemptyset(&m_set);
            sigaddset(&m_set, SIGINT);
            sigaddset(&m_set, SIGTERM);
            pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
            m_thread = std::thread([set = m_set, &loop] {
                int signal = 0;
                sigwait(&set, &signal);
                loop.post([&loop] { loop.stop(); });
            });
            m_thread.detach();
        }

    private:
        sigset_t m_set;
        std::thread m_thread;
    };

}

int runHost(const HostOptions& options, const HostSetup& setup)
{
    if (options.profileDirectory) {
        setenv("HESTIO_PROFILE", options.profileDirectory->c_str(), 1);
        // A folder that cannot be made has been logged; the app still starts
        // rather than refusing to run over it.
        static_cast<void>(Profile::current().createDirectories());
    }

    std::optional<Script> script;
    if (options.scriptPath) {
        auto text = readFile(*options.scriptPath);
        if (!text) {
            std::cerr << "hestio: cannot read the script " << *options.scriptPath << "\n";
            return 2;
        }
        script = Script::parse(*text);
        if (script->error) {
            std::cerr << "hestio: " << *options.scriptPath << ": " << script->error->describe() << "\n";
            return 2;
        }
    }
    if (options.headless && !script && options.usesManualClock()) {
        std::cerr << "hestio: a headless run on the manual clock needs --script (nothing would ever happen)\n";
        return 2;
    }
    if (!options.headless && !hasDisplay()) {
        std::cerr << "hestio: there is no display ($DISPLAY is not set).\n"
                     "  Run headless and drive the app with a script:\n"
                     "    hestio --headless --script FILE   (steps: docs/automation.md)\n"
                     "  or give it a virtual display: xvfb-run hestio\n";
        return 2;
    }
    std::optional<GpxTrack> track;
    if (options.gpxPath) {
        auto loaded = GpxTrack::load(*options.gpxPath);
        if (!loaded) {
            std::cerr << "hestio: " << *options.gpxPath << ": " << loaded.error().message() << "\n";
            return 2;
        }
        track = std::move(*loaded);
    }

    ManualClock manualClock;
    const double offsetSeconds = options.clockOffsetDays * 86400.0;
    // The manual clock is moved itself: the headless host advances it.
    if (offsetSeconds != 0)
        manualClock.setNow(manualClock.now().addingTimeInterval(offsetSeconds));
    OffsetClock movedSystemClock(SystemClock::shared(), offsetSeconds);
    Clock& clock = options.usesManualClock() ? static_cast<Clock&>(manualClock)
        : offsetSeconds != 0                 ? static_cast<Clock&>(movedSystemClock)
                                             : SystemClock::shared();
    RunLoop loop(clock);
    CurrentRunLoopScope scope(loop);
    Application application;

    std::unique_ptr<SdlHost> window;
    if (!options.headless) {
        SdlHost::Options windowOptions;
        windowOptions.readyFile = options.readyFile;
        windowOptions.scale = options.windowScale;
        windowOptions.sizeFile = (Profile::current().configDirectory() / "Window.plist").string();
        windowOptions.printGeometry = options.printWindow;
        auto opened = SdlHost::open(application, loop, windowOptions);
        if (!opened) {
            std::cerr << "hestio: " << opened.error().message()
                      << "\n  (without a display, run hestio --headless --script FILE)\n";
            return 2;
        }
        window = std::move(*opened);
    }

    if (options.location)
        PositionSource::shared().moveTo({ options.location->latitude, options.location->longitude }, clock.now());
    std::unique_ptr<GpxPlayer> player;
    if (track) {
        player = std::make_unique<GpxPlayer>(std::move(*track), PositionSource::shared());
        player->start();
    }
    // The system's location service lives on the system bus
    // ($DBUS_SYSTEM_BUS_ADDRESS); without it the device has no position.
    std::unique_ptr<GeoClueSource> systemLocation;
    if (options.usesSystemLocation()) {
        systemLocation = std::make_unique<GeoClueSource>(loop, PositionSource::shared(), GeoClueSource::Options {});
        systemLocation->start();
    }
    // The simulated device moves from the window's Location menu (F2), to
    // the places the app watches or away from them.
    std::unique_ptr<LocationMenu> locationMenu;
    if (window && !systemLocation) {
        locationMenu = std::make_unique<LocationMenu>(PositionSource::shared(), clock,
            [] { return GeoLocationManager::regionsWatchedOn(PositionSource::shared()); });
        window->setLocationMenu(locationMenu.get());
    }
    // A window's app tells the desktop what the user would miss while it is
    // out of sight; headless and scripted runs keep quiet.
    std::unique_ptr<DesktopNotifications> notifications;
    if (window && !script) {
        notifications = std::make_unique<DesktopNotifications>(loop, DesktopNotifications::Options {});
        SdlHost* host = window.get();
        routeDesktopNotices(
            application, *notifications, [host] { return host->hasInputFocus(); }, [host] { host->raise(); });
    }

    std::unique_ptr<ApplicationDelegate> delegate;
    if (setup.makeDelegate) {
        delegate = setup.makeDelegate(application);
        application.setDelegate(delegate.get());
    }
    std::shared_ptr<Window> rootWindow;
    if (setup.makeRootViewController) {
        rootWindow = Window::create();
        rootWindow->setRootViewController(setup.makeRootViewController());
        rootWindow->makeKeyAndVisible();
    }
    application.launch();

    HeadlessHost headless(application, loop);
    Device& device = window ? static_cast<Device&>(*window) : headless;
    int status = 0;
    if (script) {
        // Unless told where, a failure's screenshot goes to a fresh temporary
        // folder (never the current one, which may be the source tree); the
        // report prints its path.
        std::string failureShot = options.failureScreenshot.value_or(
            std::filesystem::path(*options.scriptPath).stem().string() + "-failure.png");
        AutomationDriver driver(device, failureShot);
        if (!options.failureScreenshot)
            driver.putFailureScreenshotInTemporaryFolder();
        status = report(*options.scriptPath, driver.run(*script), script->steps.size());
        if (window)
            application.terminate();
    } else if (window) {
        window->run();
    } else {
        SignalStop stop(loop);
        headless.runUntilStopped();
        application.terminate();
    }
    if (player)
        player->stop();
    application.setDesktopNotifier({});
    notifications.reset();
    if (window)
        window->setLocationMenu(nullptr);
    locationMenu.reset();
    systemLocation.reset();
    application.setDelegate(nullptr);
    return status;
}

}
