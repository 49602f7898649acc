#include "platform/host/CommandLine.h"

#include "platform/gfx/Font.h"

#include <charconv>
#include <cmath>

namespace hestio::platform {

namespace {

    std::optional<double> parseNumber(std::string_view text)
    {
        double value = 0;
        const char* begin = text.data();
        const char* end = begin + text.size();
        if (begin != end && *begin == '+')
            ++begin;
        auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
        if (ec != std::errc() || ptr != end || !std::isfinite(value))
            return std::nullopt;
        return value;
    }

    std::optional<HostOptions::LatLon> parseLatLon(const std::string& text)
    {
        auto comma = text.find(',');
        if (comma == std::string::npos)
            return std::nullopt;
        auto lat = parseNumber(std::string_view(text).substr(0, comma));
        auto lon = parseNumber(std::string_view(text).substr(comma + 1));
        if (!lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 180)
            return std::nullopt;
        return HostOptions::LatLon { *lat, *lon };
    }

}

bool HostOptions::usesManualClock() const
{
    if (clock != ClockChoice::Default)
        return clock == ClockChoice::Manual;
    return headless && scriptPath;
}

bool HostOptions::usesSystemLocation() const
{
    if (locationSource != LocationSourceChoice::Default)
        return locationSource == LocationSourceChoice::System;
    return !headless && !scriptPath && !location && !gpxPath;
}

namespace {

    /// One option as it is read: its name, and its value after '=' or as
    /// the next argument (which it then takes up).
    class OptionReader {
    public:
        OptionReader(const std::vector<std::string>& arguments, std::size_t& index)
            : m_arguments(arguments)
            , m_index(index)
            , m_name(arguments[index])
        {
            if (m_name.rfind("--", 0) == 0) {
                if (auto eq = m_name.find('='); eq != std::string::npos) {
                    m_inlineValue = m_name.substr(eq + 1);
                    m_name.resize(eq);
                }
            }
        }

        const std::string& name() const { return m_name; }

        /// Sets a flag; false when a value was given after '='.
        bool flag(bool& target)
        {
            if (m_inlineValue)
                return false;
            target = true;
            return true;
        }

        /// The value of an option that takes one, or none when it is missing.
        std::optional<std::string> value()
        {
            if (m_inlineValue)
                return m_inlineValue;
            if (m_index + 1 >= m_arguments.size())
                return std::nullopt;
            return m_arguments[++m_index];
        }

        Status textOption(std::optional<std::string>& target, const char* what)
        {
            auto v = value();
            if (!v || v->empty())
                return Error(m_name + " needs " + what);
            target = *v;
            return {};
        }

    private:
        const std::vector<std::string>& m_arguments;
        std::size_t& m_index;
        std::string m_name;
        std::optional<std::string> m_inlineValue;
    };

    Status readRequestTimeout(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        double seconds = 0;
        std::size_t used = 0;
        try {
            seconds = v ? std::stod(*v, &used) : 0;
        } catch (const std::exception&) {
            used = 0;
        }
        if (!v || used != v->size() || !(seconds > 0 && seconds <= 3600))
            return Error("--request-timeout needs a number of seconds above 0 (at most 3600)");
        o.requestTimeoutSeconds = seconds;
        return {};
    }

    Status readScale(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        auto scale = v ? parseNumber(*v) : std::nullopt;
        if (!scale || *scale < 0.25 || *scale > 8)
            return Error("--scale needs a number from 0.25 to 8 (window pixels a point)");
        o.windowScale = scale;
        return {};
    }

    Status readTextScale(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        auto scale = v ? parseNumber(*v) : std::nullopt;
        if (!scale || *scale < minimumTextScale || *scale > maximumTextScale)
            return Error("--text-scale needs a number from 0.5 to 3 (how much larger text is drawn)");
        o.textScale = scale;
        return {};
    }

    Status readLocation(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        auto latLon = v ? parseLatLon(*v) : std::nullopt;
        if (!latLon)
            return Error("--location needs LAT,LON in degrees (for example 51.5,-0.12)");
        o.location = latLon;
        return {};
    }

    Status readLocationSource(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        if (v && *v == "geoclue")
            o.locationSource = LocationSourceChoice::System;
        else if (v && *v == "simulated")
            o.locationSource = LocationSourceChoice::Simulated;
        else
            return Error("--location-source needs geoclue or simulated");
        return {};
    }

    Status readClock(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        if (v && *v == "manual")
            o.clock = ClockChoice::Manual;
        else if (v && *v == "real")
            o.clock = ClockChoice::Real;
        else
            return Error("--clock needs manual or real");
        return {};
    }

    Status readClockOffsetDays(OptionReader& option, HostOptions& o)
    {
        auto v = option.value();
        int days = 0;
        bool read = false;
        if (v && !v->empty()) {
            const char* begin = v->data();
            const char* end = begin + v->size();
            auto [ptr, ec] = std::from_chars(begin, end, days);
            read = ec == std::errc() && ptr == end;
        }
        if (!read || days < -HostOptions::maximumClockOffsetDays || days > HostOptions::maximumClockOffsetDays)
            return Error("--clock-offset-days needs a whole number of days from -3660 to 3660");
        o.clockOffsetDays = days;
        return {};
    }

    Status readOption(OptionReader& option, HostOptions& o)
    {
        const std::string& name = option.name();
        if (name == "--headless" || name == "--gallery" || name == "--version" || name == "--help" || name == "-h"
            || name == "--print-window") {
            bool& target = name == "--headless" ? o.headless
                : name == "--gallery"           ? o.gallery
                : name == "--version"           ? o.showVersion
                : name == "--print-window"      ? o.printWindow
                                                : o.showHelp;
            if (!option.flag(target))
                return Error(name + " takes no value");
            return {};
        }
        if (name == "--script")
            return option.textOption(o.scriptPath, "a script file");
        if (name == "--profile")
            return option.textOption(o.profileDirectory, "a folder");
        if (name == "--gpx")
            return option.textOption(o.gpxPath, "a GPX file");
        if (name == "--service-host")
            return option.textOption(o.serviceHost, "HOST[:PORT]");
        if (name == "--service-pin")
            return option.textOption(o.servicePin, "a public key pin (sha256//BASE64)");
        if (name == "--request-timeout")
            return readRequestTimeout(option, o);
        if (name == "--text-scale")
            return readTextScale(option, o);
        if (name == "--scale")
            return readScale(option, o);
        if (name == "--failure-screenshot")
            return option.textOption(o.failureScreenshot, "a PNG file name");
        if (name == "--ready-file")
            return option.textOption(o.readyFile, "a file name");
        if (name == "--location")
            return readLocation(option, o);
        if (name == "--location-source")
            return readLocationSource(option, o);
        if (name == "--clock")
            return readClock(option, o);
        if (name == "--clock-offset-days")
            return readClockOffsetDays(option, o);
        return Error("unknown " + std::string(name.rfind("-", 0) == 0 ? "option " : "argument ") + name);
    }

}

Result<HostOptions> CommandLine::parse(const std::vector<std::string>& arguments)
{
    HostOptions o;
    auto fail = [](const std::string& message) -> Result<HostOptions> {
        return Error("hestio: " + message + " (see hestio --help)");
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        OptionReader option(arguments, i);
        if (Status outcome = readOption(option, o); !outcome)
            return fail(outcome.error().message());
    }
    // Without a window and without steps to run, nothing would ever happen
    // and nobody could end the run but a signal.
    if (o.headless && !o.scriptPath && !o.showHelp && !o.showVersion)
        return fail("--headless needs --script FILE, the steps to run (docs/automation.md)");
    if (o.location && o.gpxPath)
        return fail("--location and --gpx both move the device; give one");
    if (o.locationSource == LocationSourceChoice::System && (o.location || o.gpxPath))
        return fail(std::string(o.location ? "--location" : "--gpx")
            + " moves the simulated device; it cannot go with --location-source geoclue");
    return o;
}

std::string CommandLine::usage()
{
    return R"(Usage: hestio [OPTIONS]

Runs Hestio in a phone-sized window (320x480 points, as large as fits the
screen), or headless.

  --headless             no window; runs the --script given and exits
  --script FILE          runs the automation steps in FILE against the app and
                         exits 0 when all pass, 1 at the first failure
                         (see docs/automation.md)
  --gallery              shows the gallery of controls instead of the app
  --profile DIR          keeps settings, data and documents in DIR
                         (sets HESTIO_PROFILE)
  --location LAT,LON     puts the simulated device at LAT,LON
  --gpx FILE             plays a GPX track as the device's position
  --location-source geoclue|simulated
                         where the position comes from: the system's location
                         service (the default in a window without a script),
                         or the simulated device (moved by --location, --gpx,
                         scripts and the window's Location menu, F2)
  --clock manual|real    the clock the app runs on (headless scripts default
                         to manual: waits take no real time)
  --clock-offset-days N  the app's date N days ahead of that clock (behind
                         when negative; -3660 to 3660), to see days later
                         (with hestio-hub --clock-offset-days N)
  --failure-screenshot FILE
                         where a failed script leaves its screenshot
                         (default: SCRIPT-failure.png in a new temporary
                         folder, whose path the report prints)
  --scale S              the window at S pixels a point (0.25 to 8; 2 makes
                         it 640x960) instead of the largest that fits
  --print-window         prints the window's scale, size and place once shown
  --text-scale N         draws every text N times larger (0.5 to 3); a window
                         otherwise follows the desktop's text scaling factor
  --ready-file FILE      creates FILE once the first frame is shown
  --service-host HOST[:PORT], --service-pin PIN
                         the service to talk to and its public key pin
  --request-timeout SECONDS
                         how long a request may take (default 30; for tests)
  --version              prints the version
  --help                 prints this help

In the window: the mouse is one finger, a touchscreen's fingers are fingers
(two pinch), Ctrl+wheel pinches about the pointer, the keyboard types into
the focused field (Tab moves to the next).
Without a display (no $DISPLAY), use --headless or SDL_VIDEODRIVER=offscreen.
)";
}

}
