#include "ChartTestSupport.h"

#include "charting/BarPlot.h"
#include "charting/Exception.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

class Bars : public BarPlotDataSource {
public:
    std::vector<double> locations, tips;
    std::shared_ptr<const Fill> fillForFirst;
    std::size_t numberOfRecordsForPlot(Plot&) override { return locations.size(); }
    std::optional<std::vector<double>> doublesForPlot(Plot&, unsigned field, IndexRange r) override
    {
        auto& source = field == BarPlot::Location ? locations : tips;
        return std::vector<double>(source.begin() + r.location, source.begin() + r.end());
    }
    std::shared_ptr<const Fill> barFillForBarPlot(BarPlot&, std::size_t i) override
    {
        return i == 0 ? fillForFirst : nullptr;
    }
};

class Taps : public BarPlotDelegate {
public:
    std::vector<std::string> taps;
    void barWasSelectedAtRecordIndex(BarPlot& plot, std::size_t i) override
    {
        taps.push_back(plot.identifier() + " " + std::to_string(i));
    }
};

struct BarFixture : ::testing::Test {
    std::shared_ptr<XYGraph> graph = graphWithPlotArea(100, 100);
    std::shared_ptr<Bars> source = std::make_shared<Bars>();
    std::shared_ptr<BarPlot> plot = BarPlot::create();
    std::shared_ptr<Taps> taps = std::make_shared<Taps>();

    void SetUp() override
    {
        graph->defaultXYPlotSpace()->setXRange(range("0", "10"));
        graph->defaultXYPlotSpace()->setYRange(range("0", "10"));
        plot->setIdentifier("Main Plot");
        plot->setDataSource(source);
        plot->delegate = taps;
        graph->addPlot(plot);
        graph->layoutIfNeeded();
    }
    void load(std::vector<double> locations, std::vector<double> tips)
    {
        source->locations = std::move(locations);
        source->tips = std::move(tips);
        plot->reloadData();
    }
};

}

TEST_F(BarFixture, DefaultBarSpansHalfItsWidthEachSideOfItsLocation)
{
    EXPECT_EQ(plot->barWidth, dec("0.5"));
    EXPECT_EQ(plot->baseValue, dec("0"));
    load({ 3 }, { 4 });
    auto bar = plot->barAtRecordIndex(0);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->first, (platform::Point { 30, 0 }));
    EXPECT_EQ(bar->second, (platform::Point { 30, 40 }));
    EXPECT_DOUBLE_EQ(plot->lengthInView(plot->barWidth), 5);
    platform::Rect box = plot->newBarPath(nullptr, bar->first, bar->second).boundingBox();
    EXPECT_EQ(box, platform::Rect(27.5, 0, 5, 40)); // 2.75 to 3.25 in data units
    plot->barWidthsAreInViewCoordinates = true;
    plot->barWidth = dec("12");
    EXPECT_DOUBLE_EQ(plot->lengthInView(plot->barWidth), 12);
}

TEST_F(BarFixture, NullTipOrBaseMeansNoBarAndNoTap)
{
    load({ 3, 5 }, { std::nan(""), 4 });
    EXPECT_FALSE(plot->barAtRecordIndex(0));
    EXPECT_FALSE(plot->pointingDeviceDownEvent(PointerEvent {}, { 30, 1 }));
    plot->baseValue = Decimal::notANumber();
    EXPECT_FALSE(plot->barAtRecordIndex(1));
    EXPECT_TRUE(taps->taps.empty());
}

TEST_F(BarFixture, BarJustOutsideTheRangeIsDrawnWhenItsHalfWidthReachesIn)
{
    load({ -0.2, -0.3 }, { 4, 4 });
    EXPECT_TRUE(plot->barIsVisibleWithBasePoint(plot->barAtRecordIndex(0)->first));
    EXPECT_FALSE(plot->barIsVisibleWithBasePoint(plot->barAtRecordIndex(1)->first));
}

TEST_F(BarFixture, TapReportsTheFirstBarContainingThePoint)
{
    load({ 3, 3.2, 7 }, { 4, 6, 2 });
    EXPECT_TRUE(plot->pointingDeviceDownEvent(PointerEvent {}, { 31, 10 }));
    EXPECT_TRUE(plot->pointingDeviceDownEvent(PointerEvent {}, { 33, 50 }));
    EXPECT_FALSE(plot->pointingDeviceDownEvent(PointerEvent {}, { 50, 10 }));
    EXPECT_EQ(taps->taps, (std::vector<std::string> { "Main Plot 0", "Main Plot 1" }));
}

TEST_F(BarFixture, RoundsOnlyTheTipCorners)
{
    load({ 5 }, { 5 });
    plot->barCornerRadius = 2;
    auto bar = plot->barAtRecordIndex(0);
    platform::Path path = plot->newBarPath(nullptr, bar->first, bar->second);
    EXPECT_EQ(path.boundingBox(), platform::Rect(47.5, 0, 5, 50));
    EXPECT_TRUE(path.contains({ 47.6, 0.1 })); // square base corner
    EXPECT_FALSE(path.contains({ 47.6, 49.9 })); // rounded tip corner
}

TEST_F(BarFixture, DataSourceFillReplacesThePlotsFillForItsRecordOnly)
{
    load({ 2.5, 7.5 }, { 5, 5 });
    plot->fill = Fill::fillWithColor(Color::greenColor());
    plot->lineStyle = nullptr;
    source->fillForFirst = Fill::fillWithColor(Color::redColor());
    auto image = platform::Image::create({ 100, 100 }, 1);
    auto context = platform::Context::forImage(*image);
    context->flipY(100);
    graph->layoutAndRenderInContext(*context);
    EXPECT_EQ(image->pixelAt(25, 80), platform::Color::rgb(1, 0, 0));
    EXPECT_EQ(image->pixelAt(75, 80), platform::Color::rgb(0, 1, 0));
    EXPECT_EQ(image->pixelAt(50, 80).alpha, 0);
}

TEST_F(BarFixture, BarsFarPastTheRangeEndJustBeyondThePlotAreaAndFillIt)
{
    load({ 2.5, 5, 7.5 }, { 1e300, INFINITY, 1.7976931348623157e308 });
    for (std::size_t i = 0; i < 3; ++i) {
        auto bar = plot->barAtRecordIndex(i);
        ASSERT_TRUE(bar) << i;
        EXPECT_EQ(bar->first.y, 0) << i;
        EXPECT_EQ(bar->second.y, BarPlot::farthestBarEnd) << i;
    }
    plot->fill = Fill::fillWithColor(Color::greenColor());
    plot->lineStyle = nullptr;
    auto image = platform::Image::create({ 100, 100 }, 1);
    auto context = platform::Context::forImage(*image);
    context->flipY(100);
    graph->layoutAndRenderInContext(*context);
    EXPECT_FALSE(context->hasError());
    for (int x : { 25, 50, 75 })
        for (int y : { 0, 50, 99 })
            EXPECT_EQ(image->pixelAt(x, y), platform::Color::rgb(0, 1, 0)) << x << ", " << y;
    EXPECT_EQ(image->pixelAt(40, 50).alpha, 0);
    EXPECT_TRUE(plot->pointingDeviceDownEvent(PointerEvent {}, { 50, 99 }));
    EXPECT_EQ(taps->taps, (std::vector<std::string> { "Main Plot 1" }));
}
