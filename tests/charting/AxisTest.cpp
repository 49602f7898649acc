#include "ChartTestSupport.h"

#include "charting/AxisSet.h"
#include "charting/Exception.h"
#include "charting/NumberFormatter.h"
#include "charting/XYAxis.h"
#include "platform/foundation/DateFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

std::vector<std::string> texts(const std::set<Decimal>& values)
{
    std::vector<std::string> out;
    for (auto& v : values)
        out.push_back(v.toString());
    return out;
}

std::vector<std::string> labelTexts(const XYAxis& axis)
{
    std::vector<std::string> out;
    for (auto& label : axis.axisLabels())
        out.push_back(label->contentLayer()->text());
    return out;
}

struct AxisFixture : ::testing::Test {
    std::shared_ptr<XYGraph> graph = graphWithPlotArea(240, 300);
    std::shared_ptr<XYPlotSpace> space = graph->defaultXYPlotSpace();
    std::shared_ptr<XYAxis> x = graph->xyAxisSet()->xAxis();
    std::shared_ptr<XYAxis> y = graph->xyAxisSet()->yAxis();
};

}

TEST_F(AxisFixture, FixedIntervalTicksOverADayAndAZoomedHour)
{
    space->setXRange(range("0", "86400"));
    x->setMajorIntervalLength(dec("21600"));
    x->setMinorTicksPerInterval(0);
    std::set<Decimal> major, minor;
    x->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "0", "21600", "43200", "64800", "86400" }));
    EXPECT_TRUE(minor.empty());

    x->setVisibleRange(range("3600", "3600"));
    x->setMajorIntervalLength(dec("900"));
    x->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "3600", "4500", "5400", "6300", "7200" }));
}

TEST_F(AxisFixture, MinorTicksFillTheIntervalsAndStopAtTheRange)
{
    space->setXRange(range("0.2", "1.1"));
    x->setMajorIntervalLength(dec("0.5"));
    x->setMinorTicksPerInterval(4);
    std::set<Decimal> major, minor;
    x->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "0.5", "1" }));
    EXPECT_EQ(texts(minor),
        (std::vector<std::string> { "0.2", "0.3", "0.4", "0.6", "0.7", "0.8", "0.9", "1.1", "1.2", "1.3" }));
}

TEST_F(AxisFixture, NonPositiveIntervalGivesNoTicksAndNoLabels)
{
    for (const char* interval : { "0", "-1" }) {
        x->setMajorIntervalLength(dec(interval));
        x->relabel();
        EXPECT_TRUE(x->majorTickLocations().empty()) << interval;
        EXPECT_TRUE(x->axisLabels().empty()) << interval;
    }
}

TEST_F(AxisFixture, ExclusionRangeRemovesOnlyTheLocationsItCovers)
{
    space->setXRange(range("0", "2"));
    x->setMajorIntervalLength(dec("0.5"));
    x->setMinorTicksPerInterval(0);
    x->setLabelExclusionRanges({ range("-0.1", "0.2") });
    x->relabel();
    EXPECT_EQ(texts(x->majorTickLocations()), (std::vector<std::string> { "0.5", "1", "1.5", "2" }));
    EXPECT_EQ(labelTexts(*x), (std::vector<std::string> { "0.5", "1.0", "1.5", "2.0" }));
}

TEST_F(AxisFixture, TimeLabelsReadTheClockOfTheReferenceDatePlusTheValue)
{
    auto formatter = std::make_shared<platform::DateFormatter>("HH:mm");
    formatter->setTimeZone(*platform::TimeZone::named("America/New_York"));
    auto time = std::make_shared<TimeFormatter>(formatter);
    time->setReferenceDate(platform::Date(1354770000)); // 2012-12-06 00:00 in New York
    EXPECT_EQ(time->stringForObjectValue(dec("21600")), "06:00");
    EXPECT_EQ(time->stringForObjectValue(dec("86399")), "23:59");
    TimeFormatter fromPlatformReference(formatter);
    EXPECT_EQ(fromPlatformReference.stringForObjectValue(dec("0")), "19:00"); // 2001-01-01 00:00 UTC

    space->setXRange(range("0", "86400"));
    x->setMajorIntervalLength(dec("21600"));
    x->setMinorTicksPerInterval(0);
    x->setLabelFormatter(time);
    x->relabel();
    EXPECT_EQ(labelTexts(*x), (std::vector<std::string> { "00:00", "06:00", "12:00", "18:00", "00:00" }));
}

TEST_F(AxisFixture, LabelsKeepTheirTextLayerUntilTheFormatterChanges)
{
    space->setXRange(range("0", "2"));
    x->setMinorTicksPerInterval(0);
    x->relabel();
    auto first = x->axisLabels().front()->contentLayer();
    space->setXRange(range("0", "3"));
    x->setNeedsRelabel();
    x->relabel();
    EXPECT_EQ(x->axisLabels().front()->contentLayer(), first);
    EXPECT_EQ(x->axisLabels().size(), 4u);
    x->setLabelFormatter(std::make_shared<DecimalNumberFormatter>(2, 2));
    x->relabel();
    EXPECT_NE(x->axisLabels().front()->contentLayer(), first);
    EXPECT_EQ(x->axisLabels().front()->contentLayer()->text(), "0.00");
    EXPECT_EQ(first->superlayer(), nullptr);
}

TEST_F(AxisFixture, RemovingTheFormatterRemovesTheLabelsFromTheTree)
{
    space->setXRange(range("0", "2"));
    x->relabel();
    auto group = graph->plotAreaFrame()->plotArea()->axisLabelGroup();
    std::size_t before = group->sublayers().size();
    ASSERT_GT(before, 0u);
    x->setLabelFormatter(nullptr);
    x->relabel();
    EXPECT_TRUE(x->axisLabels().empty());
    EXPECT_LT(group->sublayers().size(), before);
}

TEST_F(AxisFixture, LabelOffsetAddsTheTickLengthOrHalfOfItWhenTicksAreCentred)
{
    space->setXRange(range("0", "2"));
    x->setLabelOffset(8);
    x->majorTickLength = 7;
    x->setTickDirection(Sign::None);
    x->relabel();
    EXPECT_DOUBLE_EQ(x->axisLabels().front()->offset, 11.5);
    x->setTickDirection(Sign::Negative);
    x->relabel();
    EXPECT_DOUBLE_EQ(x->axisLabels().front()->offset, 15);
}

TEST(AxisLabel, StandsOnTheSideGivenByTheDirection)
{
    auto style = TextStyle::textStyle();
    struct Case {
        Coordinate coordinate;
        Sign direction;
        platform::Point anchor;
        platform::Point position;
    };
    // A horizontal axis's label hangs below its tick (moving along y); a
    // vertical axis's label stands right of it with direction positive.
    for (auto c : std::initializer_list<Case> { { Coordinate::Y, Sign::None, { 0.5, 1 }, { 100, 40 } },
             { Coordinate::Y, Sign::Negative, { 0.5, 1 }, { 100, 40 } },
             { Coordinate::Y, Sign::Positive, { 0.5, 0 }, { 100, 60 } },
             { Coordinate::X, Sign::Positive, { 0, 0.5 }, { 110, 50 } },
             { Coordinate::X, Sign::Negative, { 1, 0.5 }, { 90, 50 } } }) {
        AxisLabel label("12", style);
        label.offset = 10;
        label.positionRelativeToViewPoint({ 100, 50 }, c.coordinate, c.direction);
        auto layer = label.contentLayer();
        EXPECT_NEAR(layer->anchorPoint().x, c.anchor.x, 1e-9) << int(c.coordinate) << "," << int(c.direction);
        EXPECT_NEAR(layer->anchorPoint().y, c.anchor.y, 1e-9) << int(c.coordinate) << "," << int(c.direction);
        EXPECT_EQ(layer->position(), c.position) << int(c.coordinate) << "," << int(c.direction);
    }
    AxisLabel bad("x", style);
    EXPECT_THROW(bad.positionRelativeToViewPoint({}, Coordinate::X, static_cast<Sign>(2)), InvalidArgumentException);
}

TEST(AxisLabel, AlignmentShiftsAcrossTheMovedDirection)
{
    AxisLabel label("1000.0", TextStyle::textStyle());
    double width = label.contentLayer()->textSize().width;
    label.offset = 0;
    label.alignment = Alignment::Left;
    label.positionRelativeToViewPoint({ 100, 50 }, Coordinate::Y, Sign::None);
    EXPECT_DOUBLE_EQ(label.contentLayer()->position().x, 100 + width / 2);
    label.alignment = Alignment::Right;
    label.positionRelativeToViewPoint({ 100, 50 }, Coordinate::Y, Sign::None);
    EXPECT_DOUBLE_EQ(label.contentLayer()->position().x, 100 - width / 2);
}

TEST(AxisLabel, HashIsTheMagnitudeOfTheTickLocation)
{
    AxisLabel label("", TextStyle::textStyle());
    label.tickLocation = dec("-21600.7");
    EXPECT_EQ(label.hash(), 21600u);
    label.tickLocation = Decimal::notANumber();
    EXPECT_EQ(label.hash(), 0u);
}

TEST_F(AxisFixture, ConstrainedAxesStayAtTheirEdgeWhateverTheRanges)
{
    y->setAxisConstraints(Constraints::constraintWithUpperOffset(0));
    x->setAxisConstraints(Constraints::constraintWithLowerOffset(0));
    space->setXRange(range("0", "86400"));
    space->setYRange(range("0", "100"));
    EXPECT_EQ(y->viewPointForCoordinateDecimalNumber(dec("50")), (platform::Point { 240, 150 }));
    space->setXRange(range("-86400", "86400"));
    EXPECT_EQ(y->viewPointForCoordinateDecimalNumber(dec("50")), (platform::Point { 240, 150 }));
    space->setYRange(range("20", "100"));
    EXPECT_EQ(x->viewPointForCoordinateDecimalNumber(dec("-43200")), (platform::Point { 120, 0 }));
    EXPECT_DOUBLE_EQ(Constraints::constraintWithRelativeOffset(0.25).positionForLowerBound(0, 200), 50);
    // Bounds given in reverse order (a reversed range) are ordered first.
    EXPECT_DOUBLE_EQ(Constraints::constraintWithUpperOffset(5).positionForLowerBound(200, 0), 195);
}

TEST_F(AxisFixture, UnconstrainedAxisStandsAtTheOrthogonalCoordinate)
{
    space->setXRange(range("0", "86400"));
    space->setYRange(range("0", "100"));
    y->setOrthogonalCoordinateDecimal(dec("21600"));
    EXPECT_EQ(y->viewPointForCoordinateDecimalNumber(dec("25")), (platform::Point { 60, 75 }));
}

TEST_F(AxisFixture, LabelsAtTheGraphsEdgesSlideInsideIt)
{
    // Labels centred under ticks at both ends of a plot area that fills the
    // graph would reach past its edges and be cut off.
    space->setXRange(range("0", "2"));
    x->setMajorIntervalLength(dec("1"));
    x->setMinorTicksPerInterval(0);
    x->setLabelTextStyle(TextStyle::textStyle());
    x->layoutLabels();
    ASSERT_EQ(labelTexts(*x), (std::vector<std::string> { "0.0", "1.0", "2.0" }));
    auto frameInGraph = [this](std::size_t i) {
        auto layer = x->axisLabels()[i]->contentLayer();
        EXPECT_TRUE(layer->superlayer()) << i;
        platform::Rect frame = layer->frame();
        frame.origin = layer->superlayer()->convertPointToLayer(frame.origin, graph.get());
        return frame;
    };
    EXPECT_DOUBLE_EQ(frameInGraph(0).x(), 0);
    // On the right, within the last device pixel (frames sit on whole pixels).
    EXPECT_LE(frameInGraph(2).maxX(), 240);
    EXPECT_GT(frameInGraph(2).maxX(), 239.5);
    // A label with room to spare stays centred on its tick.
    EXPECT_NEAR(frameInGraph(1).x() + frameInGraph(1).width() / 2, 120, 0.5);
    // Labels of a vertical axis slide along it the same way.
    space->setYRange(range("0", "2"));
    y->setMajorIntervalLength(dec("1"));
    y->setMinorTicksPerInterval(0);
    y->setLabelTextStyle(TextStyle::textStyle());
    y->layoutLabels();
    ASSERT_EQ(y->axisLabels().size(), 3u);
    for (auto& label : y->axisLabels()) {
        auto layer = label->contentLayer();
        platform::Point origin = layer->superlayer()->convertPointToLayer(layer->frame().origin, graph.get());
        EXPECT_GE(origin.y, 0);
        EXPECT_LE(origin.y + layer->frame().height(), 300);
    }
}
