#include "platform/host/HostMain.h"

#include "platform/access/AccessBridge.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"
#include "platform/host/AutomationDriver.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/LocationMenu.h"
#include "platform/host/SdlHost.h"
#include "platform/host/TextScale.h"
#include "platform/location/GeoClueSource.h"
#include "platform/location/GeoLocationManager.h"
#include "platform/location/GpxTrack.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/DesktopNotifications.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace hestio::platform {

namespace {

    /// How long the app's end waits for its queued writes at most.
    constexpr double exitDrainSeconds = 5;

    constexpr const char* locationUnavailableTitle = "Location Unavailable";
    constexpr const char* locationUnavailableMessage
        = "Hestio cannot learn where this computer is from the system's location service, so it cannot notice "
          "you leaving or reaching your places. It keeps asking.";

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

    /// Reads and parses the script at `path`; false, having said why, when
    /// either fails.
    bool loadScript(const std::string& path, std::optional<Script>& script)
    {
        auto text = readFile(path);
        if (!text) {
            std::cerr << "hestio: cannot read the script " << path << "\n";
            return false;
        }
        script = Script::parse(*text);
        if (script->error) {
            std::cerr << "hestio: " << path << ": " << script->error->describe() << "\n";
            return false;
        }
        return true;
    }

    /// Whether the app can run as asked (a window needs a display; a
    /// headless run without a script is refused by CommandLine); says why not.
    bool canRunAsAsked(const HostOptions& options)
    {
        if (!options.headless && !hasDisplay()) {
            std::cerr << "hestio: there is no display ($DISPLAY is not set).\n"
                         "  Run headless and drive the app with a script:\n"
                         "    hestio --headless --script FILE   (steps: docs/automation.md)\n"
                         "  or give it a virtual display: xvfb-run hestio\n";
            return false;
        }
        return true;
    }

    /// Loads the GPX track at `path`; false, having said why, when it cannot.
    bool loadTrack(const std::string& path, std::optional<GpxTrack>& track)
    {
        auto loaded = GpxTrack::load(path);
        if (!loaded) {
            std::cerr << "hestio: " << path << ": " << loaded.error().message() << "\n";
            return false;
        }
        track = std::move(*loaded);
        return true;
    }

    /// Opens the app's window; false, having said why, when it cannot.
    bool openWindow(
        Application& application, RunLoop& loop, const HostOptions& options, std::unique_ptr<SdlHost>& window)
    {
        SdlHost::Options windowOptions;
        windowOptions.readyFile = options.readyFile;
        windowOptions.scale = options.windowScale;
        windowOptions.sizeFile = (Profile::current().configDirectory() / "Window.plist").string();
        windowOptions.printGeometry = options.printWindow;
        auto opened = SdlHost::open(application, loop, windowOptions);
        if (!opened) {
            std::cerr << "hestio: " << opened.error().message()
                      << "\n  (without a display, run hestio --headless --script FILE)\n";
            return false;
        }
        window = std::move(*opened);
        return true;
    }

    /// What moves the device in this run: a GPX track, the system's
    /// location service, or the window's Location menu.
    struct LocationFeeds {
        std::unique_ptr<GpxPlayer> player;
        std::unique_ptr<GeoClueSource> systemLocation;
        std::unique_ptr<LocationMenu> menu;
    };

    /// Puts the device where the options say and starts what moves it.
    LocationFeeds startLocationFeeds(
        const HostOptions& options, std::optional<GpxTrack>& track, Clock& clock, RunLoop& loop, SdlHost* window)
    {
        LocationFeeds feeds;
        if (options.location)
            PositionSource::shared().moveTo({ options.location->latitude, options.location->longitude }, clock.now());
        if (track) {
            feeds.player = std::make_unique<GpxPlayer>(std::move(*track), PositionSource::shared());
            feeds.player->start();
        }
        // The system's location service lives on the system bus
        // ($DBUS_SYSTEM_BUS_ADDRESS); without it the device has no position.
        if (options.usesSystemLocation()) {
            feeds.systemLocation
                = std::make_unique<GeoClueSource>(loop, PositionSource::shared(), GeoClueSource::Options {});
            // The source keeps asking; the person at the window hears of it
            // once (the reason is in the log).
            if (window)
                feeds.systemLocation->setFailureHandler([](const std::string&) {
                    AlertView::create(locationUnavailableTitle, locationUnavailableMessage, nullptr, "OK")->show();
                });
            feeds.systemLocation->start();
        }
        // The simulated device moves from the window's Location menu (F2), to
        // the places the app watches or away from them.
        if (window && !feeds.systemLocation) {
            feeds.menu = std::make_unique<LocationMenu>(PositionSource::shared(), clock,
                [] { return GeoLocationManager::regionsWatchedOn(PositionSource::shared()); });
            window->setLocationMenu(feeds.menu.get());
        }
        return feeds;
    }

    /// Tells the desktop what the user of the window would miss while it is
    /// out of sight.
    std::unique_ptr<DesktopNotifications> notifyDesktop(Application& application, RunLoop& loop, SdlHost& window)
    {
        auto notifications = std::make_unique<DesktopNotifications>(loop, DesktopNotifications::Options {});
        SdlHost* host = &window;
        routeDesktopNotices(
            application, *notifications, [host] { return host->hasInputFocus(); }, [host] { host->raise(); });
        return notifications;
    }

    /// Where the screen's points are on the desktop, for screen readers: the
    /// window's place and scale, or a headless screen at 0,0, a pixel a point.
    AccessibleObjects::Placement desktopPlacement(Application& application, SdlHost* window)
    {
        if (!window)
            return { [] { return Point {}; }, [] { return 1.0; } };
        return { [window] {
                    Point at = window->windowPosition();
                    Rect viewport = window->screenViewport();
                    return Point { at.x + viewport.x(), at.y + viewport.y() };
                },
            [window, &application] {
                double width = application.screenSize().width;
                return width > 0 ? window->screenViewport().width() / width : 1.0;
            } };
    }

    /// The app's delegate and the window for its first screen, as the setup
    /// makes them.
    struct AppParts {
        std::unique_ptr<ApplicationDelegate> delegate;
        std::shared_ptr<Window> rootWindow;
    };

    AppParts launchApplication(Application& application, const HostSetup& setup)
    {
        AppParts parts;
        if (setup.makeDelegate) {
            parts.delegate = setup.makeDelegate(application);
            application.setDelegate(parts.delegate.get());
        }
        if (setup.makeRootViewController) {
            parts.rootWindow = Window::create();
            parts.rootWindow->setRootViewController(setup.makeRootViewController());
            parts.rootWindow->makeKeyAndVisible();
        }
        application.launch();
        return parts;
    }

    /// Runs the app through the script, or until its window closes. Returns
    /// the exit status.
    int runUntilDone(const HostOptions& options, const std::optional<Script>& script, Application& application,
        RunLoop& loop, SdlHost* window)
    {
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
        }
        return status;
    }

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
    if (options.scriptPath && !loadScript(*options.scriptPath, script))
        return 2;
    if (!canRunAsAsked(options))
        return 2;
    std::optional<GpxTrack> track;
    if (options.gpxPath && !loadTrack(*options.gpxPath, track))
        return 2;

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
    if (!options.headless && !openWindow(application, loop, options, window))
        return 2;
    // Before the first screen is laid out: the screens size rows to their text.
    setTextScale(chooseTextScale(options.textScale, window != nullptr));

    LocationFeeds locations = startLocationFeeds(options, track, clock, loop, window.get());
    // A window's app tells the desktop what the user would miss while it is
    // out of sight; headless and scripted runs keep quiet.
    std::unique_ptr<DesktopNotifications> notifications;
    if (window && !script)
        notifications = notifyDesktop(application, loop, *window);
    AppParts parts = launchApplication(application, setup);
    AccessBridge accessBridge(application, loop, desktopPlacement(application, window.get()));

    int status = runUntilDone(options, script, application, loop, window.get());
    if (locations.player)
        locations.player->stop();
    application.setDesktopNotifier({});
    notifications.reset();
    if (window)
        window->setLocationMenu(nullptr);
    locations.menu.reset();
    locations.systemLocation.reset();
    application.setDelegate(nullptr);
    // What the app wrote last reaches the disk before the process ends (for
    // a bounded time: a disk that hangs does not keep the app from exiting),
    // and a write that failed is still logged.
    if (!DiskWriter::shared().drain(exitDrainSeconds))
        hestio::log("Exiting with writes not done: the disk is too slow");
    loop.runDueTasks();
    return status;
}

}
