#pragma once

#include "platform/foundation/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

/// Which clock the app runs on. Headless runs with a script default to the
/// manual clock (waits are instant and every run is the same); everything
/// else runs on the real one.
enum class ClockChoice { Default, Manual, Real };

/// Where the device's position comes from: the system's location service,
/// or the simulated source (moved by --location, --gpx, scripts and the
/// window's Location menu).
enum class LocationSourceChoice { Default, System, Simulated };

/// What `hestio` was asked to do.
struct HostOptions {
    bool headless { false };
    bool gallery { false };
    bool showVersion { false };
    bool showHelp { false };
    ClockChoice clock { ClockChoice::Default };
    /// Days the app's wall clock runs ahead of the chosen clock (behind when
    /// negative), to see what days later look like; timers are not moved.
    int clockOffsetDays { 0 };
    static constexpr int maximumClockOffsetDays = 3660;
    std::optional<std::string> scriptPath;
    std::optional<std::string> profileDirectory;
    std::optional<std::string> gpxPath;
    struct LatLon {
        double latitude { 0 };
        double longitude { 0 };
    };
    std::optional<LatLon> location;
    LocationSourceChoice locationSource { LocationSourceChoice::Default };
    std::optional<std::string> serviceHost;
    std::optional<std::string> servicePin;
    /// How long a request to the service may take before it fails (seconds);
    /// none keeps the app's own 30 s. Lets tests of a stalled service finish
    /// quickly.
    std::optional<double> requestTimeoutSeconds;
    /// Where a failed script leaves its screenshot.
    std::optional<std::string> failureScreenshot;
    /// A file made once the first frame is on screen (for tests driving the window).
    std::optional<std::string> readyFile;
    /// The window's units a point, instead of the size that fits the display.
    std::optional<double> windowScale;
    /// Prints the window's scale and place once it shows.
    bool printWindow { false };
    /// How much larger every font is drawn (0.5 to 3); none: the desktop's
    /// text scaling factor for a window, 1 headless.
    std::optional<double> textScale;

    [[nodiscard]] bool usesManualClock() const;
    /// Default: the system's service for a window without a script, the
    /// simulated source for scripts, headless runs, --location and --gpx.
    [[nodiscard]] bool usesSystemLocation() const;
};

struct CommandLine {
    /// Parses the arguments after the program name. Values follow their
    /// option as the next argument or after '=' (--profile=DIR). A failure
    /// is the first problem, as one line for standard error.
    static Result<HostOptions> parse(const std::vector<std::string>& arguments);
    [[nodiscard]] static std::string usage();
};

}
