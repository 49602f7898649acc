#include "GraphTestSupport.h"

#include "charting/ScatterPlot.h"
#include "charting/XYAxis.h"
#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/GraphScreens.h"
#include "model/Device.h"

using namespace hestio;
using platform::FakeTransport;

namespace {

using DeviceGraphsTest = test::GraphFixture;
constexpr double day = test::GraphFixture::day;
constexpr double midnight = test::GraphFixture::berlinMidnight;

std::shared_ptr<Device> lamp()
{
    return Device::initWithID("42", "Desk Lamp", "Study");
}

}

TEST_F(DeviceGraphsTest, ThePowerGraphAsksForTheDevicesStatusesAndIsTitledByIt)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"));
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), lamp()));
    EXPECT_EQ(graph->graphName(), "powerDraw");
    EXPECT_EQ(graph->navBarTitle().title(), "Desk Lamp");
    std::string url = transport->lastRequest().url;
    EXPECT_NE(url.find("/kivoraserver/api/status?"), std::string::npos) << url;
    EXPECT_NE(url.find("device_id=42&ascending=true&from="), std::string::npos) << url;
    EXPECT_NE(url.find("&to=" + ms(nowSeconds) + "&filter=true&rounding=1&scale=RAW"), std::string::npos) << url;
    loop.runPending();
    EXPECT_EQ(graph->maxValue(), 5.0) << "a week without samples";
    EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->title(), "Watts");
}

TEST_F(DeviceGraphsTest, ThePowerGraphsVerticalRangeFollowsTheLargestDraw)
{
    struct Case {
        double largest;
        double top;
        int interval;
    };
    const Case cases[] = { { 1000, 1100, 50 }, { 1300, 1430, 100 }, { 300, 330, 25 }, { 0, 5, 25 }, { 740, 814, 50 } };
    for (const Case& c : cases) {
        transport->enqueue(
            FakeTransport::Reply::json(samplesReply("statuses", "timestamp", "powerDraw", midnight, 4, c.largest)));
        auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), lamp()));
        loop.runPending();
        EXPECT_NEAR(graph->maxValue(), c.top, 1e-3) << c.largest;
        EXPECT_NEAR(graph->graph()->defaultXYPlotSpace()->yRange().lengthDouble(), c.top, 1e-3) << c.largest;
        EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->majorIntervalLength(), chart::Decimal(c.interval)) << c.largest;
    }
}

TEST_F(DeviceGraphsTest, TappingASampleShowsItsDrawAndTime)
{
    transport->enqueue(
        FakeTransport::Reply::json(R"({"success":true,"statuses":[{"timestamp":1354807800000,"powerDraw":12.345}]})"));
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), lamp()));
    loop.runPending();
    auto mainPlot = std::dynamic_pointer_cast<chart::ScatterPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    ASSERT_TRUE(mainPlot);
    EXPECT_EQ(mainPlot->plotSymbolMarginForHitDetection, 25);
    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 0);
    EXPECT_EQ(graph->powerDrawLabel()->text(), "12.3 W");
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 04:30PM");
}

TEST_F(DeviceGraphsTest, TheEnergyGraphsRangeTableAndInterval)
{
    struct Case {
        double largest;
        double top;
    };
    const Case cases[] = { { 0.25, 0.3 }, { 0.05, 0.1 }, { 2.0, 2.2 }, { 0.0, 5.0 } };
    for (const Case& c : cases) {
        transport->enqueue(FakeTransport::Reply::json(
            samplesReply("energyConsumptions", "from", "energyConsumed", midnight, 3, c.largest)));
        auto graph = load(DeviceEnergyConsumptionGraphViewController::create(userSession(), lamp()));
        loop.runPending();
        EXPECT_NEAR(graph->maxValue(), c.top, 1e-6) << c.largest;
        EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->majorIntervalLength(), chart::Decimal::fromDouble(0.1));
        EXPECT_EQ(graph->navBarTitle().title(), "Desk Lamp");
        EXPECT_NE(transport->lastRequest().url.find("/api/energyconsumption?"), std::string::npos);
        EXPECT_NE(transport->lastRequest().url.find("device_id=42&from="), std::string::npos);
    }
}

TEST_F(DeviceGraphsTest, OlderDeviceWeeksFollowTheCommonSchedule)
{
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"); });
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), lamp()));
    loop.runPending();
    platform::Date firstStart = graph->toDate();
    for (int i = 0; i < 3; ++i)
        graph->back();
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_NE(transport->lastRequest().url.find("&to=" + ms(firstStart.timeIntervalSince1970())), std::string::npos);
    EXPECT_EQ(graph->toDate().timeIntervalSince1970(), firstStart.timeIntervalSince1970() - 7 * day);
}

TEST_F(DeviceGraphsTest, TheFactoriesMakeEachScreenWithItsGraphName)
{
    EXPECT_EQ(makeDevicePowerDrawGraph(userSession(), lamp())->graphName(), "powerDraw");
    EXPECT_EQ(makeDeviceEnergyGraph(userSession(), lamp())->graphName(), "energyConsumed");
    EXPECT_EQ(makeHomeEnergyGraph(userSession())->graphName(), "energyConsumed");
    EXPECT_EQ(makeHomeBatteryGraph(userSession())->graphName(), "Battery Percentage");
}
