#include "GraphTestSupport.h"

#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/GraphExportButton.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"
#include "model/Device.h"
#include "platform/gfx/Image.h"
#include "platform/ui/DrawnText.h"
#include "platform/ui/Window.h"

#include <cmath>

using namespace hestio;
using platform::FakeTransport;

namespace {

/// Renders the graph screens with a day of made-up samples into
/// build/graph-<name>.png (docs/images keeps copies), tapping and pinching
/// with real touches on the way.
struct GraphScreenshotTest : test::GraphFixture {
    std::shared_ptr<platform::Window> window = platform::Window::create();
    platform::TouchSynthesizer fingers { *application, [this](double s) { loop.advance(s); } };

    GraphScreenshotTest() { window->makeKeyAndVisible(); }
    ~GraphScreenshotTest() override { window->setRootViewController(nullptr); }

    void show(std::shared_ptr<GraphViewController> graph)
    {
        window->setRootViewController(std::move(graph));
        loop.advance(1.0);
    }
    std::shared_ptr<platform::Image> render(const std::string& name)
    {
        loop.advance(1.0);
        auto image = window->snapshot(2.0);
        EXPECT_TRUE(image->writePng(std::string(HESTIO_BINARY_DIR) + "/graph-" + name + ".png"));
        return image;
    }

    /// The window point of a sample at `seconds` into today with `value` on
    /// a vertical range of 0…`top`: the plot area sits inside the paddings
    /// 15 (left), 65 (right), 45 (bottom) and 15 (top) of the 320 × 367
    /// graph below the bar.
    static platform::Point windowPoint(double seconds, double value, double top)
    {
        double x = 15 + 240 * seconds / day;
        double yUp = 45 + 307 * value / top;
        return { x, 20 + 44 + (367 - yUp) };
    }

    static std::string reply(
        const char* arrayKey, int count, double step, const std::function<std::string(int, double)>& sample)
    {
        std::string body = std::string(R"({"success":true,")") + arrayKey + R"(":[)";
        for (int i = 0; i < count; ++i)
            body += (i ? "," : "") + sample(i, berlinMidnight + i * step);
        return body + "]}";
    }
    static double powerAt(int i)
    {
        return 180 + 140 * std::sin(i / 9.0) + (i % 23 == 0 ? 420 : 0) + 40 * std::sin(i * 1.7);
    }
    /// The Desk Lamp's power draw graph over a day of 66 samples.
    std::shared_ptr<DevicePowerDrawGraphViewController> showPowerDrawDay()
    {
        transport->enqueue(FakeTransport::Reply::json(reply("statuses", 66, 900, [](int i, double t) {
            return R"({"timestamp":)" + ms(t) + R"(,"powerDraw":)" + std::to_string(powerAt(i)) + "}";
        })));
        auto graph
            = DevicePowerDrawGraphViewController::create(userSession(), Device::initWithID("42", "Desk Lamp", "Study"));
        show(graph);
        return graph;
    }
};

bool hasGreenPixels(const platform::Image& image)
{
    for (int y = 200; y < 700; y += 4)
        for (int x = 60; x < 500; x += 4) {
            auto pixel = image.pixelAt(x, y);
            if (pixel.green > 0.5 && pixel.red < 0.4 && pixel.blue < 0.4)
                return true;
        }
    return false;
}

}

TEST_F(GraphScreenshotTest, HomeBatteryGraph)
{
    transport->enqueue(FakeTransport::Reply::json(reply("statuses", 66, 900, [](int i, double t) {
        double percentage = 35 + 0.8 * i + 6 * std::sin(i / 5.0);
        return R"({"timestamp":)" + ms(t) + R"(,"percentage":)" + std::to_string(percentage) + R"(,"voltage":)"
            + std::to_string(12.0 + percentage / 100) + "}";
    })));
    auto graph = HomeBatteryGraphViewController::create(userSession());
    show(graph);
    ASSERT_EQ(graph->numPoints(), 66u);
    auto image = render("battery");
    EXPECT_TRUE(hasGreenPixels(*image));
}

TEST_F(GraphScreenshotTest, HomeEnergyGraphWithASelectedHour)
{
    transport->enqueue(FakeTransport::Reply::json(reply("energyConsumptions", 17, 3600, [](int i, double t) {
        double kWh = 0.35 + 0.25 * std::sin(i / 2.5) + (i == 12 ? 0.9 : 0);
        return R"({"from":)" + ms(t) + R"(,"energyConsumed":)" + std::to_string(kWh) + "}";
    })));
    auto graph = HomeEnergyConsumptionGraphViewController::create(userSession());
    show(graph);
    ASSERT_EQ(graph->numPoints(), 17u);
    // The tallest bar, 12:00 to 13:00, a little below its tip.
    double top = graph->maxValue();
    double kWh = 0.35 + 0.25 * std::sin(12 / 2.5) + 0.9;
    fingers.tap(windowPoint(12 * 3600, kWh * 0.8, top));
    EXPECT_EQ(graph->selectedIndex(), 12u);
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 12:00PM");
    render("home-energy-selected");
}

TEST_F(GraphScreenshotTest, ASwipeStartingOnABarDoesNotSelectIt)
{
    transport->setHandler([](const platform::HttpRequest&) {
        return FakeTransport::Reply::json(R"({"success":true,"energyConsumptions":[]})");
    });
    transport->enqueue(FakeTransport::Reply::json(reply("energyConsumptions", 17, 3600, [](int i, double t) {
        return R"({"from":)" + ms(t) + R"(,"energyConsumed":)" + std::to_string(i == 12 ? 1.0 : 0.1) + "}";
    })));
    auto graph = HomeEnergyConsumptionGraphViewController::create(userSession());
    show(graph);
    double top = graph->maxValue();
    // The middle of the 12:00 bar (bars stand centred on their hour's start).
    platform::Point onTallBar = windowPoint(12 * 3600, 0.5, top);

    fingers.swipe(onTallBar, +120, 0);
    EXPECT_EQ(graph->daysMoved(), -1);
    EXPECT_EQ(graph->selectedIndex(), 0u) << "the swipe selected nothing";
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "");
    EXPECT_EQ(graph->timestampLabel()->text(), "");

    fingers.swipe(windowPoint(20 * 3600, 0.5, top), -120, 0);
    EXPECT_EQ(graph->daysMoved(), 0);
    fingers.tap(onTallBar);
    EXPECT_EQ(graph->selectedIndex(), 12u) << "a tap still selects";
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "1.0000 kWh");
}

TEST_F(GraphScreenshotTest, HomeEnergyGraphZoomedByAPinch)
{
    transport->enqueue(FakeTransport::Reply::json(reply("energyConsumptions", 17, 3600, [](int i, double t) {
        return R"({"from":)" + ms(t) + R"(,"energyConsumed":)" + std::to_string(0.2 + 0.02 * i) + "}";
    })));
    auto graph = HomeEnergyConsumptionGraphViewController::create(userSession());
    show(graph);
    auto space = graph->graph()->defaultXYPlotSpace();
    fingers.pinch({ 120, 240 }, 60, 240, 8);
    EXPECT_LT(space->xRange().lengthDouble(), day);
    EXPECT_EQ(space->yRange(), chart::PlotRange(0, chart::Decimal::fromDouble(graph->maxValue())))
        << "the pinch leaves the vertical range alone";
    EXPECT_EQ(graph->hostingView()->gestureRecognizers().size(), 1u) << "zoomed: no paging";
    render("home-energy-zoomed");
    fingers.pinch({ 120, 240 }, 240, 30, 8);
    EXPECT_EQ(space->xRange().lengthDouble(), day);
    EXPECT_EQ(graph->hostingView()->gestureRecognizers().size(), 3u) << "the whole day again: paging again";
}

TEST_F(GraphScreenshotTest, DevicePowerDrawGraphWithATappedSample)
{
    auto graph = showPowerDrawDay();
    ASSERT_EQ(graph->numPoints(), 66u);
    fingers.tap(windowPoint(40 * 900, powerAt(40), graph->maxValue()));
    EXPECT_EQ(graph->selectedIndex(), 40u);
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 10:00AM");
    auto image = render("power-draw-selected");
    EXPECT_TRUE(hasGreenPixels(*image));
}

TEST_F(GraphScreenshotTest, DeviceEnergyGraph)
{
    transport->enqueue(FakeTransport::Reply::json(reply("energyConsumptions", 17, 3600, [](int i, double t) {
        return R"({"from":)" + ms(t) + R"(,"energyConsumed":)" + std::to_string(powerAt(i * 4) / 2000) + "}";
    })));
    auto graph = DeviceEnergyConsumptionGraphViewController::create(
        userSession(), Device::initWithID("42", "Desk Lamp", "Study"));
    show(graph);
    ASSERT_EQ(graph->numPoints(), 17u);
    render("device-energy");
}

TEST_F(GraphScreenshotTest, TappingABatteryReadingShowsIt)
{
    transport->enqueue(FakeTransport::Reply::json(reply("statuses", 60, 900, [](int i, double t) {
        return R"({"timestamp":)" + ms(t) + R"(,"percentage":)" + std::to_string(30 + i * 0.5) + R"(,"voltage":49.5})";
    })));
    auto graph = HomeBatteryGraphViewController::create(userSession());
    show(graph);
    ASSERT_EQ(graph->numPoints(), 60u);
    fingers.tap(windowPoint(40 * 900, 50, 110));
    EXPECT_EQ(graph->selectedIndex(), 40u);
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "50.0 %");
}

TEST_F(GraphScreenshotTest, AtATextScaleOfOneAndAHalfTheGraphScreensShowTheirWholeTexts)
{
    struct Larger {
        Larger() { platform::setTextScale(1.5); }
        ~Larger() { platform::setTextScale(1); }
    } larger;
    auto cut = [&] {
        std::string out;
        window->layoutTree();
        window->findAll([&](const platform::View& view) {
            if (!view.isVisibleOnScreen())
                return false;
            for (const auto& text : platform::drawnTextsOf(view))
                if (!text.fits)
                    out += view.className() + " \"" + text.text + "\"; ";
            return false;
        });
        return out;
    };
    auto power = showPowerDrawDay();
    ASSERT_EQ(power->numPoints(), 66u);
    EXPECT_EQ(cut(), "");
    auto band = power->exportButton()->frame();
    EXPECT_GT(band.height(), GraphExportButton::frame.height()) << "the band grows with the text";
    EXPECT_EQ(band.maxY(), GraphExportButton::frame.maxY());

    transport->enqueue(FakeTransport::Reply::json(reply("statuses", 60, 900, [](int i, double t) {
        return R"({"timestamp":)" + ms(t) + R"(,"percentage":)" + std::to_string(30 + i * 0.5) + R"(,"voltage":49.5})";
    })));
    auto battery = HomeBatteryGraphViewController::create(userSession());
    show(battery);
    ASSERT_EQ(battery->numPoints(), 60u);
    EXPECT_EQ(cut(), "");
}
