#include "ChartTestSupport.h"

#include "charting/Exception.h"
#include "charting/Notifications.h"
#include "charting/XYPlotSpace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

/// Records every hook and optionally answers some.
class RecordingDelegate : public PlotSpaceDelegate {
public:
    std::vector<std::string> calls;
    std::optional<bool> scaleAnswer;
    std::optional<platform::Point> displacement;
    std::function<std::optional<PlotRange>(const PlotRange&, Coordinate)> willChange;
    std::optional<bool> downAnswer;

    std::optional<bool> shouldHandlePointingDeviceDownEvent(PlotSpace&, const PointerEvent&, platform::Point) override
    {
        calls.push_back("shouldHandleDown");
        return downAnswer;
    }
    std::optional<bool> shouldScaleBy(PlotSpace&, double, platform::Point) override
    {
        calls.push_back("shouldScale");
        return scaleAnswer;
    }
    std::optional<platform::Point> willDisplaceBy(PlotSpace&, platform::Point) override
    {
        calls.push_back("willDisplace");
        return displacement;
    }
    std::optional<PlotRange> willChangePlotRangeTo(PlotSpace&, const PlotRange& r, Coordinate c) override
    {
        calls.push_back(c == Coordinate::X ? "willChangeX" : "willChangeY");
        return willChange ? willChange(r, c) : std::nullopt;
    }
    void didChangePlotRangeForCoordinate(PlotSpace&, Coordinate c) override
    {
        calls.push_back(c == Coordinate::X ? "didChangeX" : "didChangeY");
    }
};

struct PlotSpaceFixture : ::testing::Test {
    std::shared_ptr<XYGraph> graph = graphWithPlotArea(200, 100);
    std::shared_ptr<XYPlotSpace> space = graph->defaultXYPlotSpace();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

}

TEST_F(PlotSpaceFixture, NewSpaceMapsTheUnitSquareOntoThePlotArea)
{
    EXPECT_EQ(space->xRange(), range("0", "1"));
    EXPECT_EQ(space->yRange(), range("0", "1"));
    EXPECT_EQ(space->plotAreaViewPointForPlotPoint(dec("0.5"), dec("0.5")), (platform::Point { 100, 50 }));
    EXPECT_EQ(space->plotAreaViewPointForPlotPoint(dec("0"), dec("0")), (platform::Point { 0, 0 }));
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0.25, 1), (platform::Point { 50, 100 }));
}

TEST_F(PlotSpaceFixture, NegativeLengthMapsTheLocationToZero)
{
    space->setXRange(range("10", "-10"));
    EXPECT_EQ(space->plotAreaViewPointForPlotPoint(dec("10"), dec("0")).x, 0);
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, 0).x, 200);
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(2.5, 0).x, 150);
}

TEST_F(PlotSpaceFixture, DegenerateRangesMapToZero)
{
    space->setXRange(range("5", "0"));
    EXPECT_EQ(space->plotAreaViewPointForPlotPoint(dec("7"), dec("0")).x, 0);
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(7, 0).x, 0);
}

TEST_F(PlotSpaceFixture, ValuesFarPastAWideRangeMapFarAwayButFinite)
{
    // The view length times the distance would overflow; the mapping does not.
    space->setYRange(PlotRange::fromDoubles(0, 1e300));
    ASSERT_EQ(space->yRange(), range("0", "1e164"));
    struct Case {
        double value;
        double y;
    };
    for (const Case& c : std::initializer_list<Case> { { 0, 0 }, { 5e163, 50 }, { 1e164, 100 }, { 1e300, 1e138 },
             { 1.7976931348623157e308, 1.7976931348623157e146 }, { -1.7976931348623157e308, -1.7976931348623157e146 } })
        EXPECT_DOUBLE_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, c.value).y, c.y) << c.value;
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, INFINITY).y, INFINITY);
    EXPECT_TRUE(std::isnan(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, std::nan("")).y));
    // In an ordinary range nothing changes: the product comes first.
    space->setYRange(range("0", "3"));
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, 1).y, 100.0 * 1 / 3);
}

TEST_F(PlotSpaceFixture, LogarithmicMappingGivesZeroForNonPositiveValuesAndLimits)
{
    space->setXScaleType(ScaleType::Log);
    space->setXRange(range("1", "999"));
    EXPECT_DOUBLE_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(10, 0).x, 200.0 / 3);
    EXPECT_DOUBLE_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(1000, 0).x, 200);
    EXPECT_NEAR(space->plotAreaViewPointForPlotPoint(dec("100"), dec("0")).x, 400.0 / 3, 1e-4);
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(0, 0).x, 0);
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(-5, 0).x, 0);
    space->setXRange(range("0", "100"));
    EXPECT_EQ(space->plotAreaViewPointForDoublePrecisionPlotPoint(10, 0).x, 0);
}

TEST_F(PlotSpaceFixture, UnsupportedScaleTypeRaisesTheEnginesException)
{
    space->setYScaleType(static_cast<ScaleType>(7));
    try {
        space->plotAreaViewPointForDoublePrecisionPlotPoint(0, 0);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Scale type not supported in CHXYPlotSpace");
    }
}

TEST_F(PlotSpaceFixture, InverseMappingIsLinearWhateverTheScaleType)
{
    space->setXRange(range("0", "86400"));
    space->setYRange(range("0", "1100"));
    space->setYScaleType(ScaleType::Log);
    auto [x, y] = space->plotPointForPlotAreaViewPoint({ 50, 25 });
    EXPECT_EQ(x, dec("21600"));
    EXPECT_EQ(y, dec("275"));
    auto [dx, dy] = space->doublePrecisionPlotPointForPlotAreaViewPoint({ 50, 25 });
    EXPECT_DOUBLE_EQ(dx, 21600);
    EXPECT_DOUBLE_EQ(dy, 275);
    // 0.5 of 3 points: the quotient 1/6 rounds its last digit half away from zero.
    space->setXRange(range("0", "1"));
    graph->setFrame({ 0, 0, 3, 100 });
    graph->layoutIfNeeded();
    EXPECT_EQ(
        space->plotPointForPlotAreaViewPoint({ 0.5, 0 }).first.toString(), "0.16666666666666666666666666666666666667");
}

TEST_F(PlotSpaceFixture, WithoutAPlotAreaEverythingMapsToTheOrigin)
{
    XYPlotSpace loose;
    loose.setXRange(range("0", "10"));
    EXPECT_EQ(loose.plotAreaViewPointForDoublePrecisionPlotPoint(5, 5), (platform::Point {}));
    EXPECT_EQ(loose.plotPointForPlotAreaViewPoint({ 5, 5 }).first, dec("0"));
}

TEST_F(PlotSpaceFixture, GlobalRangeConfinesTheVisibleRange)
{
    space->setGlobalXRange(range("0", "100"));
    struct Case {
        const char *location, *length, *expectedLocation, *expectedLength;
    };
    for (auto c : std::initializer_list<Case> { { "-10", "30", "0", "30" }, { "90", "30", "70", "30" },
             { "5", "200", "0", "100" }, { "40", "20", "40", "20" } }) {
        space->setXRange(range(c.location, c.length));
        EXPECT_EQ(space->xRange(), range(c.expectedLocation, c.expectedLength)) << c.location << "," << c.length;
    }
    EXPECT_EQ(XYPlotSpace::constrainRange(range("1", "2"), std::nullopt), range("1", "2"));
    EXPECT_FALSE(XYPlotSpace::constrainRange(std::nullopt, range("0", "1")));
}

TEST_F(PlotSpaceFixture, SettingAGlobalRangeReconstrainsTheVisibleOne)
{
    space->setXRange(range("50", "100"));
    space->setGlobalXRange(range("0", "120"));
    EXPECT_EQ(space->xRange(), range("20", "100"));
    space->setGlobalXRange(std::nullopt);
    EXPECT_EQ(space->xRange(), range("20", "100"));
}

TEST_F(PlotSpaceFixture, ChangingARangePostsAndReportsOnceAndAnEqualRangeNothing)
{
    space->setDelegate(delegate);
    NotificationRecorder recorder({ PlotSpaceCoordinateMappingDidChangeNotification, GraphNeedsRedrawNotification });
    space->setYRange(range("0", "10"));
    EXPECT_EQ(recorder.posted,
        (std::vector<std::string> { PlotSpaceCoordinateMappingDidChangeNotification, GraphNeedsRedrawNotification }));
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "didChangeY" }));
    recorder.posted.clear();
    delegate->calls.clear();
    space->setYRange(range("0.0", "10.00"));
    space->setXScaleType(ScaleType::Linear);
    EXPECT_TRUE(recorder.posted.empty());
    EXPECT_TRUE(delegate->calls.empty());
    space->setXScaleType(ScaleType::Log);
    EXPECT_EQ(recorder.posted, (std::vector<std::string> { GraphNeedsRedrawNotification }));
}

TEST_F(PlotSpaceFixture, ZoomKeepsThePointUnderThePinch)
{
    space->setXRange(range("0", "10"));
    space->setYRange(range("0", "10"));
    space->scaleBy(2, { 100, 50 });
    EXPECT_EQ(space->xRange(), range("2.5", "5"));
    EXPECT_EQ(space->yRange(), range("2.5", "5"));
    space->scaleBy(0.5, { 0, 0 });
    EXPECT_EQ(space->xRange(), range("2.5", "10"));
}

TEST_F(PlotSpaceFixture, ZoomDoesNothingForTinyFactorsPointsOutsideOrARefusingDelegate)
{
    space->setXRange(range("0", "10"));
    space->scaleBy(0, { 100, 50 });
    space->scaleBy(1e-7, { 100, 50 });
    space->scaleBy(2, { 250, 50 });
    EXPECT_EQ(space->xRange(), range("0", "10"));
    delegate->scaleAnswer = false;
    space->setDelegate(delegate);
    space->scaleBy(2, { 100, 50 });
    EXPECT_EQ(space->xRange(), range("0", "10"));
}

TEST_F(PlotSpaceFixture, ZoomAsksTheDelegateForXThenYBeforeStoring)
{
    space->setXRange(range("0", "86400"));
    space->setYRange(range("0", "100"));
    space->setDelegate(delegate);
    delegate->willChange = [this](const PlotRange& r, Coordinate c) -> std::optional<PlotRange> {
        if (c == Coordinate::Y)
            return space->yRange(); // the screens keep the vertical range
        return r;
    };
    space->scaleBy(4, { 0, 0 });
    EXPECT_EQ(
        delegate->calls, (std::vector<std::string> { "shouldScale", "willChangeX", "willChangeY", "didChangeX" }));
    EXPECT_EQ(space->xRange(), range("0", "21600"));
    EXPECT_EQ(space->yRange(), range("0", "100"));
}

TEST_F(PlotSpaceFixture, DragMovesTheContentWithThePointer)
{
    space->setXRange(range("0", "100"));
    space->setAllowsUserInteraction(true);
    PointerEvent event;
    EXPECT_TRUE(space->pointingDeviceDownEvent(event, { 50, 50 }));
    EXPECT_TRUE(space->isDragging());
    EXPECT_TRUE(space->pointingDeviceDraggedEvent(event, { 100, 50 }));
    EXPECT_EQ(space->xRange(), range("-25", "100"));
    EXPECT_EQ(space->lastDragPoint(), (platform::Point { 100, 50 }));
    EXPECT_TRUE(space->pointingDeviceUpEvent(event, { 100, 50 }));
    EXPECT_FALSE(space->isDragging());
    EXPECT_FALSE(space->pointingDeviceUpEvent(event, { 100, 50 }));
}

TEST_F(PlotSpaceFixture, DragIsConfinedByTheGlobalRangeAndHonoursTheDisplacementHook)
{
    space->setXRange(range("0", "100"));
    space->setGlobalXRange(range("0", "200"));
    space->setAllowsUserInteraction(true);
    space->setDelegate(delegate);
    PointerEvent event;
    space->pointingDeviceDownEvent(event, { 100, 50 });
    space->pointingDeviceDraggedEvent(event, { 150, 50 });
    EXPECT_EQ(space->xRange(), range("0", "100"));
    delegate->displacement = platform::Point { -100, 0 };
    space->pointingDeviceDraggedEvent(event, { 160, 50 });
    EXPECT_EQ(space->xRange(), range("50", "100"));
    EXPECT_EQ(space->lastDragPoint(), (platform::Point { 160, 50 }));
}

TEST_F(PlotSpaceFixture, EventsAreRefusedWithoutInteractionOrAPrecedingDown)
{
    PointerEvent event;
    EXPECT_FALSE(space->pointingDeviceDownEvent(event, { 50, 50 }));
    space->setAllowsUserInteraction(true);
    EXPECT_FALSE(space->pointingDeviceDraggedEvent(event, { 60, 50 }));
    EXPECT_EQ(space->xRange(), range("0", "1"));
    EXPECT_FALSE(space->pointingDeviceDownEvent(event, { 250, 50 }));
    delegate->downAnswer = false;
    space->setDelegate(delegate);
    EXPECT_TRUE(space->pointingDeviceDownEvent(event, { 50, 50 }));
    EXPECT_FALSE(space->isDragging());
}
