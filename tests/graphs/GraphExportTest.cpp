#include "GraphTestSupport.h"

#include "graphs/DayMarks.h"
#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/GraphExport.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"
#include "model/Device.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"

#include <fstream>
#include <sstream>

using namespace hestio;
using platform::FakeTransport;

namespace {

constexpr double day = test::GraphFixture::day;
constexpr double midnight = test::GraphFixture::berlinMidnight;
constexpr double now = test::GraphFixture::nowSeconds;

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::vector<std::string> csvLines(const std::string& csv)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(csv.substr(start, end - start));
    return lines;
}

/// The width and height a PNG's header gives, after checking its signature.
std::pair<int, int> pngSize(const std::string& png)
{
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0)
        return { 0, 0 };
    auto number = [&](std::size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16)
            | (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    return { number(16), number(20) };
}

std::string energyBlock(double fromSeconds, const char* kWh)
{
    return R"({"from":)" + test::GraphFixture::ms(fromSeconds) + R"(,"energyConsumed":)" + kWh + "}";
}

struct GraphExportTest : test::GraphFixture {
    /// Where the exports go by default: the session's profile stands in for
    /// the home folder.
    std::filesystem::path exportFolder() const { return profile.path() / "Documents" / "Hestio"; }

    void tapExport(GraphViewController& graph)
    {
        graph.exportButton()->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    }
    std::shared_ptr<platform::AlertView> alert() const
    {
        auto alerts = application->visibleAlerts();
        return alerts.empty() ? nullptr : alerts.back();
    }
    std::vector<std::string> exportedNames() const
    {
        std::vector<std::string> names;
        std::error_code code;
        for (const auto& entry : std::filesystem::directory_iterator(exportFolder(), code))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    /// A home energy graph showing today, its first week in.
    std::shared_ptr<HomeEnergyConsumptionGraphViewController> homeEnergyGraph()
    {
        transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 3)));
        auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
        loop.runPending();
        transport->clearRequests();
        return graph;
    }
    static std::string energyReply(double first, int count)
    {
        return samplesReply("energyConsumptions", "from", "energyConsumed", first, count, 0.25);
    }
};

std::shared_ptr<Device> lamp(platform::TimeZone zone = platform::TimeZone::gmt())
{
    return Device::initWithID("42", "Desk Lamp", "Study", std::move(zone));
}

}

TEST_F(GraphExportTest, WritesTheShownWeekAsCsvAndTheShownDayAsPngIntoHestioInTheDocumentsFolder)
{
    auto graph = homeEnergyGraph();
    // A block just before the week, then the week's first hour, a missing
    // hour, an extreme value, and the hour still running.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"energyConsumptions":[)"
        + energyBlock(midnight - 7 * day, "9") + "," + energyBlock(midnight - 6 * day, "0.125") + ","
        + energyBlock(midnight - 6 * day + 7200, "1e300") + "," + energyBlock(midnight + 16 * 3600, "0.5") + "]}"));
    tapExport(*graph);
    EXPECT_TRUE(graph->isExporting());
    EXPECT_TRUE(graph->exportButton()->isHidden());
    EXPECT_TRUE(graph->exportSpinner()->isAnimating());
    // The week ending now is asked for again, as the screen's own first week.
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(lastPath(), "/kivoraserver/api/energyconsumption");
    EXPECT_EQ(lastQuery(),
        "token=(null)&device_id=battery&from=" + ms(midnight - 7 * day) + "&to=" + ms(now)
            + "&block=CLOCK_HOUR&token=(null)");
    EXPECT_EQ(alert(), nullptr) << "no alert before the files are written";

    loop.runPending();
    auto csv = exportFolder() / "home-energy-2012-12-06.csv";
    auto png = exportFolder() / "home-energy-2012-12-06.png";
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->title(), "Export Saved");
    // The folder as the user knows it, not a path, and a way to open it.
    EXPECT_EQ(alert()->message(),
        "Saved the week as CSV and the day as PNG in Documents \u203a Hestio:\nhome-energy-2012-12-06.csv\n"
        "home-energy-2012-12-06.png");
    std::vector<std::filesystem::path> opened;
    auto opener = platform::setFolderOpener([&](const std::filesystem::path& folder) { opened.push_back(folder); });
    ASSERT_EQ(alert()->buttonTitleAtIndex(1), "Open Folder");
    alert()->clickButtonAtIndex(1);
    platform::setFolderOpener(opener);
    EXPECT_EQ(opened, (std::vector<std::filesystem::path> { exportFolder() }));
    EXPECT_EQ(alert(), nullptr);
    EXPECT_TRUE(logs.contains("Exported graph to " + csv.string() + " and " + png.string()));
    EXPECT_FALSE(graph->isExporting());
    EXPECT_FALSE(graph->exportButton()->isHidden());
    EXPECT_FALSE(graph->exportSpinner()->isAnimating());

    // From Friday midnight to now, 16:30 on Thursday: 160 whole hours and
    // the running one.
    auto lines = csvLines(readFile(csv));
    ASSERT_EQ(lines.size(), 1u + 161u);
    EXPECT_EQ(lines[0], "time,value,unit");
    EXPECT_EQ(lines[1], "2012-11-30T00:00:00+01:00,0.125,kWh");
    EXPECT_EQ(lines[2], "2012-11-30T01:00:00+01:00,,kWh");
    EXPECT_EQ(lines[3], "2012-11-30T02:00:00+01:00,1e+300,kWh");
    EXPECT_EQ(lines[160], "2012-12-06T15:00:00+01:00,,kWh");
    EXPECT_EQ(lines[161], "2012-12-06T16:00:00+01:00,0.5,kWh");
    // The graph as shown, two pixels a point: 320 by 367 points.
    EXPECT_EQ(pngSize(readFile(png)), std::make_pair(640, 734));
    EXPECT_EQ(
        exportedNames(), (std::vector<std::string> { "home-energy-2012-12-06.csv", "home-energy-2012-12-06.png" }));
}

TEST_F(GraphExportTest, ExportingTheSameDayAgainAddsFilesUnderANewName)
{
    auto graph = homeEnergyGraph();
    for (int round = 0; round < 3; ++round) {
        transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 2)));
        tapExport(*graph);
        loop.runPending();
        ASSERT_NE(alert(), nullptr);
        alert()->clickButtonAtIndex(0);
    }
    EXPECT_EQ(exportedNames(),
        (std::vector<std::string> { "home-energy-2012-12-06 (2).csv", "home-energy-2012-12-06 (2).png",
            "home-energy-2012-12-06 (3).csv", "home-energy-2012-12-06 (3).png", "home-energy-2012-12-06.csv",
            "home-energy-2012-12-06.png" }));
}

TEST_F(GraphExportTest, EachScreenNamesItsFilesAndWritesItsUnit)
{
    struct Case {
        const char* what;
        std::function<std::shared_ptr<GraphViewController>()> make;
        std::string reply;
        const char* name;
        const char* firstLine;
    };
    std::string statuses = R"({"success":true,"statuses":[{"timestamp":)" + ms(midnight - day + 60)
        + R"(,"powerDraw":12.5,"percentage":87.25}]})";
    std::string blocks = R"({"success":true,"energyConsumptions":[)" + energyBlock(midnight - day, "0.5") + "]}";
    const Case cases[] = {
        { "device power", [&] { return DevicePowerDrawGraphViewController::create(userSession(), lamp()); }, statuses,
            "desk-lamp-power-2012-12-05", "2012-11-29T00:00:00+01:00,,W" },
        { "device energy", [&] { return DeviceEnergyConsumptionGraphViewController::create(userSession(), lamp()); },
            blocks, "desk-lamp-energy-2012-12-05", "2012-11-29T00:00:00+01:00,,kWh" },
        { "home battery", [&] { return HomeBatteryGraphViewController::create(userSession()); }, statuses,
            "home-battery-2012-12-05", "2012-11-29T00:00:00+01:00,,%" },
        { "home energy", [&] { return HomeEnergyConsumptionGraphViewController::create(userSession()); }, blocks,
            "home-energy-2012-12-05", "2012-11-29T00:00:00+01:00,,kWh" },
    };
    for (const auto& c : cases) {
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[],"energyConsumptions":[]})"));
        auto graph = load(c.make());
        loop.runPending();
        graph->back(); // yesterday, Wednesday 5 December
        transport->clearRequests();
        transport->enqueue(FakeTransport::Reply::json(c.reply));
        tapExport(*graph);
        ASSERT_EQ(transport->requestCount(), 1u) << c.what;
        EXPECT_NE(lastQuery().find("&to=" + ms(midnight)), std::string::npos)
            << c.what << ": the week ends at the shown day's end: " << lastQuery();
        loop.runPending();
        auto lines = csvLines(readFile(exportFolder() / (std::string(c.name) + ".csv")));
        ASSERT_GE(lines.size(), 3u) << c.what;
        EXPECT_EQ(lines[1], c.firstLine) << c.what;
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                      [](const std::string& line) {
                          return line.rfind("2012-12-05T00:0", 0) == 0 && line.find(",,") == std::string::npos;
                      }),
            lines.end())
            << c.what << ": the sample of the shown day";
        EXPECT_TRUE(std::filesystem::exists(exportFolder() / (std::string(c.name) + ".png"))) << c.what;
        alert()->clickButtonAtIndex(0);
    }
}

TEST_F(GraphExportTest, AWeekThatTheDevicesDayDoesNotCoverIsAskedForInTwoPartsAndJoined)
{
    // Monday 29 October 2012, the day after Berlin left summer time; the
    // device's day is counted at UTC+1. Its week request ending on Monday's
    // midnight starts at 00:00 UTC+1 on Monday the 22nd, an hour after the
    // week's start, 00:00 summer time.
    loop.clock().setNow(platform::Date(1351512000)); // 2012-10-29 12:00 UTC
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"));
    auto graph = load(
        DevicePowerDrawGraphViewController::create(userSession(), lamp(platform::TimeZone::forHourOffsetText("1"))));
    loop.runPending();
    graph->back(); // Sunday the 28th
    transport->clearRequests();

    double weekStart = 1350856800; // 2012-10-22 00:00 +02:00
    double firstPartStart = weekStart + 3600;
    double weekEnd = 1351465200; // 2012-10-29 00:00 +01:00
    auto sample = [](double seconds, int watts) {
        return R"({"timestamp":)" + ms(seconds) + R"(,"powerDraw":)" + std::to_string(watts) + "}";
    };
    transport->enqueue(FakeTransport::Reply::json(
        R"({"success":true,"statuses":[)" + sample(firstPartStart, 2) + "," + sample(firstPartStart + 60, 3) + "]}"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[)" + sample(weekStart - 60, 9) + ","
        + sample(weekStart, 1) + "," + sample(firstPartStart, 2) + "]}"));
    tapExport(*graph);
    auto requests = requestLines();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("&from=" + ms(firstPartStart) + "&to=" + ms(weekEnd) + "&"), std::string::npos)
        << requests[0];
    EXPECT_NE(requests[1].find("&from=" + ms(firstPartStart - 7 * day) + "&to=" + ms(firstPartStart) + "&"),
        std::string::npos)
        << requests[1];
    loop.runPending();
    auto lines = csvLines(readFile(exportFolder() / "desk-lamp-power-2012-10-28.csv"));
    ASSERT_GE(lines.size(), 5u);
    // The week's first sample from the older part; the one both parts hold,
    // once; between them an hour without samples.
    // once; after them the rest of the day without samples, marked a usual
    // interval of that day (the mean of 3600 s and 60 s) after the last.
    EXPECT_EQ(lines[1], "2012-10-22T00:00:00+02:00,1,W");
    EXPECT_EQ(lines[2], "2012-10-22T01:00:00+02:00,2,W");
    EXPECT_EQ(lines[3], "2012-10-22T01:01:00+02:00,3,W");
    EXPECT_EQ(lines[4], "2012-10-22T01:31:30+02:00,,W");
}

TEST_F(GraphExportTest, TheFileMarksTheGapsTheScreenMarksAtTheThresholdAndOnePast)
{
    // Yesterday a reading a minute, with exactly two and a half minutes
    // without one at 06:00 and a second more at 12:00:30; today a reading
    // every quarter of an hour, with exactly two and a half quarters without
    // one at 03:00 and a second more at 09:07:30. Each day goes by its own
    // usual interval.
    std::string statuses;
    auto add = [&](double seconds) {
        statuses
            += (statuses.empty() ? "" : ",") + std::string(R"({"timestamp":)") + ms(seconds) + R"(,"powerDraw":40})";
    };
    for (double t = midnight - day; t < midnight;)
        add(t), t += t == midnight - day + 6 * 3600 ? 150 : t == midnight - day + 12 * 3600 + 30 ? 151 : 60;
    for (double t = midnight; t <= now;)
        add(t), t += t == midnight + 3 * 3600 ? 2250 : t == midnight + 9 * 3600 + 450 ? 2251 : 900;
    std::string reply = R"({"success":true,"statuses":[)" + statuses + "]}";
    transport->enqueue(FakeTransport::Reply::json(reply));
    auto graph
        = load(DevicePowerDrawGraphViewController::create(userSession(), lamp(userSession()->householdTimeZone())));
    loop.runPending();

    const std::vector<TimeSpan> today { { midnight + 9 * 3600 + 450, midnight + 9 * 3600 + 450 + 2251 } };
    EXPECT_EQ(graph->dayMarks()->missing(), today);
    transport->enqueue(FakeTransport::Reply::json(reply));
    tapExport(*graph);
    loop.runPending();
    graph->back();
    const std::vector<TimeSpan> yesterday { { midnight - day + 12 * 3600 + 30,
        midnight - day + 12 * 3600 + 30 + 151 } };
    EXPECT_EQ(graph->dayMarks()->missing(), yesterday);

    // The file: the five days before without data, one line each at their
    // start; then yesterday's and today's one gap, a usual interval after
    // the last reading before it.
    std::vector<std::string> empty;
    for (const auto& line : csvLines(readFile(exportFolder() / "desk-lamp-power-2012-12-06.csv")))
        if (line.ends_with(",,W"))
            empty.push_back(line);
    EXPECT_EQ(empty,
        (std::vector<std::string> { "2012-11-30T00:00:00+01:00,,W", "2012-12-01T00:00:00+01:00,,W",
            "2012-12-02T00:00:00+01:00,,W", "2012-12-03T00:00:00+01:00,,W", "2012-12-04T00:00:00+01:00,,W",
            "2012-12-05T12:01:30+01:00,,W", "2012-12-06T09:22:30+01:00,,W" }));
}

TEST_F(GraphExportTest, AFailureSaysWhatWentWrongAndWritesNothing)
{
    struct Case {
        const char* what;
        std::optional<FakeTransport::Reply> reply;
        bool folderBlocked;
        std::string message;
    };
    test::TempDir home;
    const Case cases[] = {
        { "refused", FakeTransport::Reply::json(R"({"success":false})"), false,
            "The service did not send the week's data. Try again later." },
        { "lost", FakeTransport::Reply::failure(), false,
            "The week's data could not be loaded. Check the connection and try again." },
        { "a file in the way", FakeTransport::Reply::json(energyReply(midnight, 2)), true,
            "Could not make the folder " + (home / "Documents" / "Hestio").string()
                + ": a file of that name is in the way." },
    };
    for (const auto& c : cases) {
        auto graph = homeEnergyGraph();
        // No desktop program: Documents in the home folder.
        platform::DocumentsLookup lookup;
        lookup.environment = { "PATH=" + (home / "no-programs").string(), "HOME=" + home.path().string() };
        graph->setDocumentsLookup(lookup);
        std::filesystem::remove_all(home / "Documents");
        if (c.folderBlocked)
            home.write("Documents/Hestio", "not a folder");
        transport->enqueue(*c.reply);
        tapExport(*graph);
        loop.runPending();
        loop.advance(5); // past the network panel
        ASSERT_NE(alert(), nullptr) << c.what;
        EXPECT_EQ(alert()->title(), "Export Failed") << c.what;
        EXPECT_EQ(alert()->message(), c.message) << c.what;
        EXPECT_TRUE(logs.contains("Could not export graph: " + c.message)) << c.what;
        EXPECT_FALSE(graph->isExporting()) << c.what;
        EXPECT_FALSE(graph->exportButton()->isHidden()) << c.what;
        EXPECT_EQ(std::filesystem::is_directory(home / "Documents" / "Hestio"), false) << c.what;
        alert()->clickButtonAtIndex(0);
    }
}

TEST_F(GraphExportTest, ATapWhileAnExportRunsDoesNothing)
{
    auto graph = homeEnergyGraph();
    transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 2)).after(2));
    tapExport(*graph);
    tapExport(*graph);
    graph->exportShownGraph();
    EXPECT_EQ(transport->requestCount(), 1u);
    loop.advance(3);
    EXPECT_EQ(application->visibleAlerts().size(), 1u);
    EXPECT_EQ(exportedNames().size(), 2u);
}

TEST_F(GraphExportTest, AnExportFinishesWhenTheScreenIsClosedMeanwhile)
{
    auto graph = homeEnergyGraph();
    transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 2)).after(1));
    tapExport(*graph);
    graph->viewDidUnload();
    graph.reset();
    loop.advance(2);
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->title(), "Export Saved");
    EXPECT_EQ(
        exportedNames(), (std::vector<std::string> { "home-energy-2012-12-06.csv", "home-energy-2012-12-06.png" }));
}

TEST_F(GraphExportTest, TheButtonStandsAtTheRightEndOfTheBandBelowTheGraph)
{
    std::vector<std::shared_ptr<GraphViewController>> graphs { DevicePowerDrawGraphViewController::create(
                                                                   userSession(), lamp()),
        DeviceEnergyConsumptionGraphViewController::create(userSession(), lamp()),
        HomeBatteryGraphViewController::create(userSession()),
        HomeEnergyConsumptionGraphViewController::create(userSession()) };
    for (const auto& graph : graphs) {
        auto view = graph->view();
        platform::Rect button = graph->exportButton()->frame();
        EXPECT_EQ(graph->exportButton()->accessibilityIdentifier(), "exportButton");
        EXPECT_EQ(graph->exportButton()->currentTitle(), "Export");
        EXPECT_GE(button.y(), graph->hostingView()->frame().maxY());
        EXPECT_LE(button.maxY(), view->frame().height());
        EXPECT_LE(button.maxX(), view->frame().width() - 8);
        // No label of the band reaches under it.
        for (const auto& subview : view->subviews())
            if (subview->className() == "Label") {
                EXPECT_FALSE(subview->frame().intersects(button)) << subview->accessibilityIdentifier();
            }
        EXPECT_FALSE(graph->exportSpinner()->isAnimating());
    }
}

TEST_F(GraphExportTest, ThePictureIsTheGraphAsShown)
{
    transport->enqueue(
        FakeTransport::Reply::json(samplesReply("statuses", "timestamp", "powerDraw", midnight, 16, 300)));
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), lamp()));
    loop.runPending();
    auto image = platform::Image::fromPngData(graph->shownGraphPng(), 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 640);
    EXPECT_EQ(image->pixelHeight(), 734);
    bool green = false;
    for (int y = 100; y < 700 && !green; y += 3)
        for (int x = 30; x < 500 && !green; x += 3) {
            auto pixel = image->pixelAt(x, y);
            green = pixel.green > 0.5 && pixel.red < 0.4 && pixel.blue < 0.4;
        }
    EXPECT_TRUE(green) << "the day's line is drawn";
    // The corners are the screen's black, not transparent.
    EXPECT_EQ(image->pixelAt(0, 0).alpha, 1.0);
}

TEST(GraphExportNames, FileNamesAreSafeAndDated)
{
    struct Case {
        const char* name;
        const char* part;
    };
    const Case cases[] = {
        { "Desk Lamp", "desk-lamp" }, { "  Washer #2 (basement)  ", "washer-2-basement" },
        { "../../etc/passwd", "etc-passwd" },
        { "K\xc3\xbc"
          "che",
            "k\xc3\xbc"
            "che" },
        { "\xe5\x86\xb7\xe8\x94\xb5\xe5\xba\xab", "\xe5\x86\xb7\xe8\x94\xb5\xe5\xba\xab" },
        { "a/b\\c:d*e?f\"g<h>i|j", "a-b-c-d-e-f-g-h-i-j" }, { "", "device" }, { "...", "device" },
        { "tab\tnew\nline", "tab-new-line" },
        { "An extremely long device name that goes on and on", "an-extremely-long-device-name-that-goes" },
        { "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xc3\xa9\xc3\xa9", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xc3\xa9" },
        // Format and bidirectional characters are not seen, so not kept;
        // C1 controls and line separators part words as line breaks do.
        { "Heater\xe2\x80\xaegnp.exe", "heatergnp-exe" }, // U+202E, the right-to-left override
        { "\xe2\x81\xa6TV\xe2\x81\xa9", "tv" }, // U+2066 and U+2069, an isolate
        { "Desk\xe2\x80\x8bLa\xc2\xadmp\xef\xbb\xbf", "desklamp" }, // zero-width space, soft hyphen, BOM
        { "\xe2\x80\x8f\xe2\x80\x8e", "device" }, // nothing but marks
        { "a\xe2\x80\xa8"
          "b\xc2\x85"
          "c",
            "a-b-c" }, // U+2028, U+0085
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileNamePart(c.name), c.part) << c.name;

    auto berlin = *platform::TimeZone::named("Europe/Berlin");
    EXPECT_EQ(exportFileStem("home-energy", platform::Date(1354748400), berlin), "home-energy-2012-12-06");
    EXPECT_EQ(exportFileStem("home-energy", platform::Date(1354748399), berlin), "home-energy-2012-12-05");
}

TEST(GraphExportNames, WriteFailuresAreSaidPlainly)
{
    using platform::FileWriteFailure;
    struct Case {
        FileWriteFailure failure;
        const char* message;
    };
    const Case cases[] = {
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.csv", ENOSPC },
            "Could not save /d/Hestio/a.csv: the disk is full." },
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.csv", EDQUOT },
            "Could not save /d/Hestio/a.csv: the disk is full." },
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.png", EACCES },
            "Could not save /d/Hestio/a.png: permission denied." },
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.png", EROFS },
            "Could not save /d/Hestio/a.png: the disk is read-only." },
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.png", EFBIG },
            "Could not save /d/Hestio/a.png: the file is too large." },
        { { FileWriteFailure::Step::Write, "/d/Hestio/a.png", EIO },
            "Could not save /d/Hestio/a.png: Input/output error." },
        { { FileWriteFailure::Step::CreateFolder, "/d/Hestio", EEXIST },
            "Could not make the folder /d/Hestio: a file of that name is in the way." },
        { { FileWriteFailure::Step::CreateFolder, "/d/Hestio", EACCES },
            "Could not make the folder /d/Hestio: permission denied." },
    };
    for (const auto& c : cases)
        EXPECT_EQ(exportFailureMessage(c.failure), c.message);
}
