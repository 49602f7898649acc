#include "platform/host/CommandLine.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

TEST(CommandLine, ReadsEveryOptionInBothSpellings)
{
    auto line = CommandLine::parse({ "--headless", "--script", "s.txt", "--gallery", "--profile=/tmp/p", "--location",
        "51.5,-0.125", "--clock=real", "--service-host", "localhost:8443", "--service-pin=sha256//abc",
        "--failure-screenshot", "f.png", "--ready-file=r", "--scale", "1.5", "--print-window" });
    ASSERT_TRUE(line) << line.error().message();
    const auto& o = *line;
    EXPECT_TRUE(o.headless);
    EXPECT_TRUE(o.gallery);
    EXPECT_EQ(o.scriptPath, "s.txt");
    EXPECT_EQ(o.profileDirectory, "/tmp/p");
    ASSERT_TRUE(o.location);
    EXPECT_EQ(o.location->latitude, 51.5);
    EXPECT_EQ(o.location->longitude, -0.125);
    EXPECT_EQ(o.clock, ClockChoice::Real);
    EXPECT_EQ(o.serviceHost, "localhost:8443");
    EXPECT_EQ(o.servicePin, "sha256//abc");
    EXPECT_EQ(o.failureScreenshot, "f.png");
    EXPECT_EQ(o.readyFile, "r");
    EXPECT_EQ(o.windowScale, 1.5);
    EXPECT_TRUE(o.printWindow);
    EXPECT_FALSE(o.usesManualClock());

    EXPECT_TRUE(CommandLine::parse({ "--version" })->showVersion);
    EXPECT_TRUE(CommandLine::parse({ "-h" })->showHelp);
    EXPECT_EQ(CommandLine::parse({ "--gpx", "walk.gpx" })->gpxPath, "walk.gpx");
    EXPECT_EQ(CommandLine::parse({ "--request-timeout", "2.5" })->requestTimeoutSeconds, 2.5);
    EXPECT_FALSE(CommandLine::parse({})->requestTimeoutSeconds);
    EXPECT_FALSE(CommandLine::parse({})->windowScale);
    // The scale's limits are allowed.
    EXPECT_EQ(CommandLine::parse({ "--scale=0.25" })->windowScale, 0.25);
    EXPECT_EQ(CommandLine::parse({ "--scale=8" })->windowScale, 8);
    EXPECT_EQ(CommandLine::parse({ "--text-scale=0.5" })->textScale, 0.5);
    EXPECT_EQ(CommandLine::parse({ "--text-scale", "3" })->textScale, 3);
    EXPECT_EQ(CommandLine::parse({})->textScale, std::nullopt);
    EXPECT_EQ(CommandLine::parse({})->clockOffsetDays, 0);
    EXPECT_TRUE(CommandLine::parse({ "--headless", "--help" })->showHelp);
    EXPECT_TRUE(CommandLine::parse({ "--headless", "--version" })->showVersion);
    EXPECT_EQ(CommandLine::parse({ "--clock-offset-days", "7" })->clockOffsetDays, 7);
    EXPECT_EQ(CommandLine::parse({ "--clock-offset-days=-3660" })->clockOffsetDays, -3660);
    EXPECT_EQ(CommandLine::parse({ "--clock-offset-days=3660" })->clockOffsetDays, 3660);
}

TEST(CommandLine, ChoosesTheManualClockOnlyForHeadlessScripts)
{
    struct Case {
        std::vector<std::string> args;
        bool manual;
    };
    const Case cases[] = {
        { { "--headless", "--script", "s" }, true },
        { { "--headless", "--script", "s", "--clock", "real" }, false },
        { { "--script", "s" }, false },
        { { "--gallery", "--clock", "manual" }, true },
    };
    for (const auto& c : cases) {
        auto line = CommandLine::parse(c.args);
        ASSERT_TRUE(line) << line.error().message();
        EXPECT_EQ(line->usesManualClock(), c.manual) << testing::PrintToString(c.args);
    }
}

TEST(CommandLine, RejectsBadArgumentsWithOneClearLine)
{
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        { { "--frobnicate" }, "hestio: unknown option --frobnicate (see hestio --help)" },
        { { "extra" }, "hestio: unknown argument extra (see hestio --help)" },
        { { "--script" }, "hestio: --script needs a script file (see hestio --help)" },
        { { "--script=" }, "hestio: --script needs a script file (see hestio --help)" },
        { { "--headless=yes" }, "hestio: --headless takes no value (see hestio --help)" },
        { { "--headless" },
            "hestio: --headless needs --script FILE, the steps to run (docs/automation.md) (see hestio --help)" },
        { { "--headless", "--clock", "real", "--gallery" },
            "hestio: --headless needs --script FILE, the steps to run (docs/automation.md) (see hestio --help)" },
        { { "--location", "51.5" },
            "hestio: --location needs LAT,LON in degrees (for example 51.5,-0.12) (see hestio --help)" },
        { { "--location=91,0" },
            "hestio: --location needs LAT,LON in degrees (for example 51.5,-0.12) (see hestio --help)" },
        { { "--location=1,x" },
            "hestio: --location needs LAT,LON in degrees (for example 51.5,-0.12) (see hestio --help)" },
        { { "--location" },
            "hestio: --location needs LAT,LON in degrees (for example 51.5,-0.12) (see hestio --help)" },
        { { "--clock", "slow" }, "hestio: --clock needs manual or real (see hestio --help)" },
        { { "--clock-offset-days" },
            "hestio: --clock-offset-days needs a whole number of days from -3660 to 3660 (see hestio --help)" },
        { { "--clock-offset-days=3661" },
            "hestio: --clock-offset-days needs a whole number of days from -3660 to 3660 (see hestio --help)" },
        { { "--clock-offset-days=-3661" },
            "hestio: --clock-offset-days needs a whole number of days from -3660 to 3660 (see hestio --help)" },
        { { "--clock-offset-days=1.5" },
            "hestio: --clock-offset-days needs a whole number of days from -3660 to 3660 (see hestio --help)" },
        { { "--clock-offset-days=+2" },
            "hestio: --clock-offset-days needs a whole number of days from -3660 to 3660 (see hestio --help)" },
        { { "--request-timeout" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--request-timeout=0" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--request-timeout=-2" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--request-timeout=3s" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--request-timeout=nan" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--request-timeout=3601" },
            "hestio: --request-timeout needs a number of seconds above 0 (at most 3600) (see hestio --help)" },
        { { "--scale" }, "hestio: --scale needs a number from 0.25 to 8 (window pixels a point) (see hestio --help)" },
        { { "--scale=0.24" },
            "hestio: --scale needs a number from 0.25 to 8 (window pixels a point) (see hestio --help)" },
        { { "--scale=8.01" },
            "hestio: --scale needs a number from 0.25 to 8 (window pixels a point) (see hestio --help)" },
        { { "--scale=2x" },
            "hestio: --scale needs a number from 0.25 to 8 (window pixels a point) (see hestio --help)" },
        { { "--text-scale" },
            "hestio: --text-scale needs a number from 0.5 to 3 (how much larger text is drawn) (see hestio --help)" },
        { { "--text-scale=large" },
            "hestio: --text-scale needs a number from 0.5 to 3 (how much larger text is drawn) (see hestio --help)" },
        { { "--text-scale=0.49" },
            "hestio: --text-scale needs a number from 0.5 to 3 (how much larger text is drawn) (see hestio --help)" },
        { { "--text-scale=3.01" },
            "hestio: --text-scale needs a number from 0.5 to 3 (how much larger text is drawn) (see hestio --help)" },
        { { "--text-scale=nan" },
            "hestio: --text-scale needs a number from 0.5 to 3 (how much larger text is drawn) (see hestio --help)" },
        { { "--print-window=1" }, "hestio: --print-window takes no value (see hestio --help)" },
        { { "--location=1,2", "--gpx", "g" },
            "hestio: --location and --gpx both move the device; give one (see hestio --help)" },
        { { "--location-source" }, "hestio: --location-source needs geoclue or simulated (see hestio --help)" },
        { { "--location-source=gps" }, "hestio: --location-source needs geoclue or simulated (see hestio --help)" },
        { { "--location-source=geoclue", "--location=1,2" },
            "hestio: --location moves the simulated device; it cannot go with --location-source geoclue (see "
            "hestio --help)" },
        { { "--gpx", "g", "--location-source", "geoclue" },
            "hestio: --gpx moves the simulated device; it cannot go with --location-source geoclue (see "
            "hestio --help)" },
    };
    for (const auto& c : cases) {
        auto line = CommandLine::parse(c.args);
        ASSERT_FALSE(line) << testing::PrintToString(c.args);
        EXPECT_EQ(line.error().message(), c.error) << testing::PrintToString(c.args);
    }
}

TEST(CommandLine, UsesTheSystemsLocationOnlyForAWindowWithoutScriptOrSimulatedMoves)
{
    struct Case {
        std::vector<std::string> args;
        bool system;
    };
    const Case cases[] = {
        { {}, true },
        { { "--headless", "--script", "s" }, false },
        { { "--script", "s" }, false },
        { { "--location", "1,2" }, false },
        { { "--gpx", "walk.gpx" }, false },
        { { "--headless", "--script", "s", "--location-source", "geoclue" }, true },
        { { "--location-source=simulated" }, false },
        { { "--location-source=simulated", "--location=1,2" }, false },
    };
    for (const auto& c : cases) {
        auto line = CommandLine::parse(c.args);
        ASSERT_TRUE(line) << line.error().message();
        EXPECT_EQ(line->usesSystemLocation(), c.system) << testing::PrintToString(c.args);
    }
}
