// The hestio program end to end: options, scripts against the gallery, and
// the window under a virtual X display compared with the headless picture.

#include "platform/gfx/Image.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

using namespace hestio;
using namespace hestio::platform;

namespace {

const std::string program = std::string(HESTIO_BINARY_DIR) + "/bin/hestio";

struct Outcome {
    int status { -1 };
    std::string output; ///< standard output and error together
};

Outcome run(const std::string& command)
{
    Outcome outcome;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return outcome;
    std::array<char, 4096> buffer;
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        outcome.output.append(buffer.data(), n);
    int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string headless(const std::string& arguments)
{
    // No display: the window host must never be chosen by accident.
    return "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" + program + "' " + arguments;
}

class HestioProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(program))
            GTEST_SKIP() << "hestio is not built";
    }
    test::TempDir dir;
};

}

TEST_F(HestioProgram, AnswersHelpVersionAndBadOptions)
{
    auto help = run(headless("--help"));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: hestio [OPTIONS]"), std::string::npos);
    auto version = run(headless("--version"));
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("hestio ", 0), 0u) << version.output;
    auto bad = run(headless("--bogus"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.output, "hestio: unknown option --bogus (see hestio --help)\n");
    // Headless without steps used to run silently until killed.
    auto idle = run("timeout 20 " + headless("--headless --clock real"));
    EXPECT_EQ(idle.status, 2);
    EXPECT_EQ(idle.output,
        "hestio: --headless needs --script FILE, the steps to run (docs/automation.md) (see hestio --help)\n");
}

TEST_F(HestioProgram, WithoutADisplaySaysHowToRunHeadless)
{
    auto outcome = run(headless("--gallery"));
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("hestio --headless --script FILE"), std::string::npos) << outcome.output;
}

TEST_F(HestioProgram, RefusesScriptsThatDoNotParseOrCannotBeRead)
{
    auto script = dir.write("bad.txt", "wait 1\n\ntap-at 10\n");
    auto outcome = run(headless("--headless --gallery --script " + script.string()));
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.output, "hestio: " + script.string() + ": line 3: tap-at needs X Y (tap-at X Y)\n");
    auto missing = run(headless("--headless --script " + (dir / "none.txt").string()));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.output, "hestio: cannot read the script " + (dir / "none.txt").string() + "\n");
}

TEST_F(HestioProgram, TheWindowUnderXvfbLooksLikeTheHeadlessPicture)
{
    if (run("command -v xvfb-run && command -v import").status != 0)
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is missing";

    // Both on the manual clock, so the status bar shows the same time.
    auto headlessShot = dir / "headless.png";
    auto script = dir.write("shot.txt", "screenshot " + headlessShot.string() + "\n");
    auto headlessRun = run(headless("--headless --gallery --script " + script.string()));
    ASSERT_EQ(headlessRun.status, 0) << headlessRun.output;

    // At scale 2 a 640x960 screen holds exactly the window; with no window
    // manager and no room for a title bar it sits at the origin. The shell
    // waits (at most 20 s) for the first frame.
    auto windowShot = dir / "window.png";
    auto ready = dir / "ready";
    auto inner = dir.write("inner.sh",
        "'" + program + "' --gallery --clock manual --scale 2 --profile '" + (dir / "profile").string()
            + "' --ready-file '" + ready.string()
            + "' & pid=$!\n"
              "for i in $(seq 200); do [ -e '"
            + ready.string()
            + "' ] && break; sleep 0.1; done\n"
              "import -window root '"
            + windowShot.string()
            + "'\n"
              "kill $pid; wait $pid\n");
    auto windowRun = run("env -u SDL_VIDEODRIVER xvfb-run -a -s '-screen 0 640x960x24' sh " + inner.string());
    ASSERT_EQ(windowRun.status, 0) << windowRun.output;
    ASSERT_TRUE(std::filesystem::exists(ready)) << "the window never showed its first frame\n" << windowRun.output;

    auto a = Image::fromPngFile(headlessShot.string());
    auto b = Image::fromPngFile(windowShot.string());
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->pixelWidth(), b->pixelWidth());
    ASSERT_EQ(a->pixelHeight(), b->pixelHeight());
    int differing = 0;
    std::string first;
    for (int y = 0; y < a->pixelHeight(); ++y)
        for (int x = 0; x < a->pixelWidth(); ++x) {
            // The window shows the picture over black.
            Color p = a->pixelAt(x, y), q = b->pixelAt(x, y);
            double dr = p.red * p.alpha - q.red, dg = p.green * p.alpha - q.green, db = p.blue * p.alpha - q.blue;
            if (std::max({ std::abs(dr), std::abs(dg), std::abs(db) }) > 1.5 / 255) {
                if (differing++ == 0)
                    first = std::to_string(x) + "," + std::to_string(y);
            }
        }
    EXPECT_EQ(differing, 0) << "first differing pixel at " << first;
}

TEST_F(HestioProgram, AScriptUsingEveryStepKindPassesAgainstTheGallery)
{
    std::string tour = std::string(HESTIO_SOURCE_DIR) + "/tests/platform/host/scripts/gallery-tour.txt";
    auto outcome
        = run("cd '" + dir.path().string() + "' && " + headless("--headless --gallery --script '" + tour + "'"));
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find(": all 37 steps passed"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("Received a remote notification: {\"aps\":{\"alert\":\"The kettle is still on\"}}"),
        std::string::npos);
    auto shot = Image::fromPngFile((dir / "gallery-tour.png").string());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelWidth(), 640);
}

TEST_F(HestioProgram, AWrongExpectationFailsWithTheStepTheReasonAndAScreenshot)
{
    auto script = dir.write("wrong.txt", "tap \"Devices\"\nexpect \"Toaster\"\ntap \"Log\"\n");
    auto shot = dir / "failed.png";
    auto outcome
        = run(headless("--headless --gallery --script " + script.string() + " --failure-screenshot " + shot.string()));
    EXPECT_EQ(outcome.status, 1);
    std::string expected = "hestio: " + script.string() + ": line 2: expect \"Toaster\"\n"
        + "  failed: no visible view shows \"Toaster\"\n" + "  screenshot: " + shot.string() + "\n" + "view tree:\n";
    EXPECT_NE(outcome.output.find(expected), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("\"Dishwasher\""), std::string::npos) << "the tree shows the screen";
    EXPECT_TRUE(Image::fromPngFile(shot.string()));
}

TEST_F(HestioProgram, WithoutAPathTheFailureScreenshotGoesToATemporaryFolderNotTheCurrentOne)
{
    auto script = dir.write("wrong.txt", "expect \"Toaster\"\n");
    auto work = dir / "work";
    std::filesystem::create_directories(work);
    auto outcome = run("cd '" + work.string() + "' && TMPDIR='" + dir.path().string() + "' "
        + headless("--headless --gallery --script " + script.string()));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(std::filesystem::is_empty(work)) << "nothing lands in the current folder";
    const std::string label = "  screenshot: ";
    auto at = outcome.output.find(label);
    ASSERT_NE(at, std::string::npos) << outcome.output;
    auto end = outcome.output.find('\n', at);
    std::filesystem::path shot = outcome.output.substr(at + label.size(), end - at - label.size());
    EXPECT_EQ(shot.filename(), "wrong-failure.png");
    EXPECT_EQ(shot.parent_path().parent_path(), dir.path());
    EXPECT_EQ(shot.parent_path().filename().string().rfind("hestio-failure-", 0), 0u) << shot;
    EXPECT_TRUE(Image::fromPngFile(shot.string()));

    // A passing script makes no folder at all.
    auto good = dir.write("good.txt", "expect \"Devices\"\n");
    auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    auto passed
        = run("TMPDIR='" + dir.path().string() + "' " + headless("--headless --gallery --script " + good.string()));
    EXPECT_EQ(passed.status, 0) << passed.output;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
}

namespace {

struct WindowGeometry {
    double scale { 0 };
    int width { 0 }, height { 0 }, x { 0 }, y { 0 };
};

/// Starts the gallery in a window on a virtual screen of `screen`
/// ("1024x768") and reads where the window went: as the app says, and as the
/// X server says (xwininfo).
std::optional<std::pair<WindowGeometry, WindowGeometry>> openWindowOn(
    test::TempDir& dir, const std::string& screen, std::string& output)
{
    auto ready = dir / ("ready-" + screen);
    auto inner = dir.write("geometry-" + screen + ".sh",
        "'" + program + "' --gallery --clock manual --print-window --profile '" + (dir / ("profile-" + screen)).string()
            + "' --ready-file '" + ready.string()
            + "' & pid=$!\n"
              "for i in $(seq 200); do [ -e '"
            + ready.string()
            + "' ] && break; sleep 0.1; done\n"
              "xwininfo -name Hestio\n"
              "kill $pid; wait $pid\n");
    auto outcome = run("env -u SDL_VIDEODRIVER xvfb-run -a -s '-screen 0 " + screen + "x24' sh " + inner.string());
    output = outcome.output;
    std::smatch said, absolute, size;
    std::regex saidPattern("window scale ([0-9.]+), ([0-9]+)x([0-9]+) at (-?[0-9]+),(-?[0-9]+)");
    if (!std::regex_search(output, said, saidPattern))
        return std::nullopt;
    WindowGeometry app { std::stod(said[1]), std::stoi(said[2]), std::stoi(said[3]), std::stoi(said[4]),
        std::stoi(said[5]) };
    if (!std::regex_search(
            output, absolute, std::regex("Absolute upper-left X: +(-?[0-9]+)[^]*Absolute upper-left Y: +(-?[0-9]+)"))
        || !std::regex_search(output, size, std::regex("Width: ([0-9]+)[^]*Height: ([0-9]+)")))
        return std::nullopt;
    WindowGeometry server { 0, std::stoi(size[1]), std::stoi(size[2]), std::stoi(absolute[1]), std::stoi(absolute[2]) };
    return std::pair { app, server };
}

}

TEST_F(HestioProgram, TheWindowFitsTheScreenItOpensOn)
{
    if (run("command -v xvfb-run && command -v xwininfo").status != 0)
        GTEST_SKIP() << "xvfb-run or xwininfo is missing";
    struct Case {
        std::string screen;
        int screenWidth, screenHeight;
        double scale;
    };
    // 1024x768: 960 pixels would not fit; one and a half fit with room for a
    // title bar. 2560x1600: three times.
    for (const Case& c : { Case { "1024x768", 1024, 768, 1.5 }, Case { "2560x1600", 2560, 1600, 3 } }) {
        SCOPED_TRACE(c.screen);
        std::string output;
        auto geometry = openWindowOn(dir, c.screen, output);
        ASSERT_TRUE(geometry) << output;
        auto [app, server] = *geometry;
        EXPECT_EQ(app.scale, c.scale) << output;
        EXPECT_GE(app.scale, c.screenWidth > 2000 ? 2 : 0);
        EXPECT_EQ(server.width, static_cast<int>(320 * c.scale));
        EXPECT_EQ(server.height, static_cast<int>(480 * c.scale));
        EXPECT_EQ(app.width, server.width);
        EXPECT_EQ(app.height, server.height);
        // Entirely on screen.
        EXPECT_GE(server.x, 0);
        EXPECT_GE(server.y, 0);
        EXPECT_LE(server.x + server.width, c.screenWidth);
        EXPECT_LE(server.y + server.height, c.screenHeight);
    }
}
