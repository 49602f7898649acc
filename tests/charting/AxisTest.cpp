#include "ChartTestSupport.h"

#include "charting/AxisSet.h"
#include "charting/Exception.h"
#include "charting/NumberFormatter.h"
#include "charting/XYAxis.h"
#include "platform/foundation/DateFormatter.h"

#include <gtest/gtest.h>

#include <algorithm>
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

    // The ticks alone: labels would stand 2.5 points apart on this scale.
    x->setLabelFormatter(nullptr);
    x->setVisibleRange(range("3600", "3600"));
    x->setMajorIntervalLength(dec("900"));
    x->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "3600", "4500", "5400", "6300", "7200" }));
}

TEST_F(AxisFixture, AnyRangeGivesABoundedNumberOfTicks)
{
    // The vertical axis is 300 points long: it shows at most 150 ticks, and
    // an interval widened for that puts its labels at least 300 / 40 apart.
    ASSERT_EQ(y->majorTickCapacity(), 150u);
    ASSERT_EQ(x->majorTickCapacity(), 120u);
    y->setMinorTicksPerInterval(1);
    struct Case {
        const char* location;
        const char* length;
        const char* interval;
    };
    for (const Case& c : std::initializer_list<Case> {
             { "0", "1100000000", "100" }, // ten samples of 1e9 W, plus a tenth
             { "0", "1.1e12", "100" }, { "-1.1e12", "1.1e12", "100" }, { "-5e11", "1e12", "25" },
             { "0", "1e160", "100" }, // near the largest decimal
             { "-1e160", "2e160", "1" }, { "0", "1e160", "1e-100" }, // more steps than a decimal holds
             { "0", "1", "1e-30" }, { "0", "15000", "100" }, // one tick past the capacity
         }) {
        SCOPED_TRACE(std::string(c.location) + " + " + c.length + " at " + c.interval);
        space->setYRange(range(c.location, c.length));
        y->setMajorIntervalLength(dec(c.interval));
        std::set<Decimal> major, minor;
        y->generateFixedIntervalMajorTickLocations(major, minor);
        ASSERT_GE(major.size(), 2u);
        EXPECT_LE(major.size(), 7u);
        EXPECT_LE(minor.size(), 150u);
        // Evenly spaced by a round multiple of the interval, on the origin's grid.
        const Decimal step = *std::next(major.begin()) - *major.begin();
        // (A factor past the decimals' range is read from the step itself: that
        // case's interval is a power of ten.)
        const Decimal quotient = step / dec(c.interval);
        const std::string factor = quotient.isNaN() ? step.toString() : quotient.toString();
        EXPECT_TRUE(factor.find_first_not_of('0', 1) == std::string::npos
            && std::string("125").find(factor[0]) != std::string::npos)
            << factor;
        for (auto at = major.begin(); std::next(at) != major.end(); ++at)
            EXPECT_EQ(*std::next(at) - *at, step);
        EXPECT_EQ((*major.begin() / step).ceil(), *major.begin() / step);
        // The ticks cover the range: none more than a step from either end.
        EXPECT_LT(*major.begin() - range(c.location, c.length).minLimit(), step);
        EXPECT_LT(range(c.location, c.length).maxLimit() - *major.rbegin(), step);

        y->relabel();
        EXPECT_EQ(y->axisLabels().size(), y->majorTickLocations().size());
    }
}

TEST_F(AxisFixture, NotANumberAndEmptyRangesGiveNoTicks)
{
    for (PlotRange r : { PlotRange(Decimal::notANumber(), dec("1e12")), PlotRange(dec("0"), Decimal::notANumber()),
             range("1000000000050", "1e-30") }) {
        space->setYRange(r);
        y->setMajorIntervalLength(dec("100"));
        y->relabel();
        EXPECT_TRUE(y->majorTickLocations().empty()) << r.location().toString() << " " << r.length().toString();
        EXPECT_TRUE(y->axisLabels().empty());
    }
    // A tiny range holds the one tick that lies inside it.
    space->setYRange(range("0", "1e-30"));
    y->setMajorIntervalLength(dec("1"));
    std::set<Decimal> major, minor;
    y->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "0" }));
}

TEST_F(AxisFixture, ARangeDecimalsCannotHoldLeavesTheOtherAxisInPlace)
{
    // A value past the decimals' largest gives a range of not-a-number; the
    // axes constrained to the plot area's edges still stand there, their
    // labels spread along them rather than piled in a corner.
    x->setAxisConstraints(Constraints::constraintWithLowerOffset(0));
    y->setAxisConstraints(Constraints::constraintWithUpperOffset(0));
    space->setXRange(range("0", "86400"));
    space->setYRange(PlotRange(dec("0"), Decimal::fromDouble(1.1e308)));
    x->setMajorIntervalLength(dec("21600"));
    x->setMinorTicksPerInterval(0);
    x->setLabelTextStyle(TextStyle::textStyle());
    y->setTitle("Watts");
    x->layoutLabels();
    y->layoutLabels();
    EXPECT_EQ(x->viewPointForCoordinateDecimalNumber(dec("43200")), (platform::Point { 120, 0 }));
    EXPECT_EQ(y->viewPointForCoordinateDouble(0).x, 240);
    ASSERT_EQ(x->axisLabels().size(), 5u);
    double previous = -1;
    for (const auto& label : x->axisLabels()) {
        const platform::Point at = label->contentLayer()->position();
        EXPECT_TRUE(std::isfinite(at.x) && std::isfinite(at.y));
        EXPECT_GT(at.x, previous);
        previous = at.x;
    }
    EXPECT_TRUE(y->axisLabels().empty());
    ASSERT_TRUE(y->axisTitle());
    EXPECT_DOUBLE_EQ(y->axisTitle()->contentLayer()->position().y, 150);
}

TEST_F(AxisFixture, HostileValuesGiveAFiniteRangeAndALegibleBoundedAxis)
{
    // Ranges made from doubles as the graphs make them, from 0 (or the
    // lowest value) to a tenth past the highest, at the graphs' intervals.
    y->setAxisConstraints(Constraints::constraintWithUpperOffset(0));
    y->setMinorTicksPerInterval(1);
    const double inf = INFINITY, largest = 1.7976931348623157e308;
    struct Case {
        double from;
        double to;
        const char* interval;
        const char* firstLabels; ///< the first two
    };
    for (const Case& c : std::initializer_list<Case> {
             { 0, 1.1e12, "100", "0.0 200000000000.0" },
             { 0, 1.1e15, "100", "0.0 200000000000000.0" },
             { 0, 1.1e165, "25", "0.0 2.5e163" },
             { 0, 1.1e300, "25", "0.0 2.5e163" },
             { -1e308, 1e308, "0.5", "-1.0e164 -5.0e163" },
             { -largest, largest, "1", "-1.0e164 -5.0e163" },
             { 0, inf, "25", "0.0 2.5e163" },
             { -inf, inf, "100", "-1.0e164 -5.0e163" },
             { 0, 1e-300, "0.1", "0.0" }, // a tiny range holds its one tick
             { 5, 5 + 1e-12, "1", "5.0" },
         }) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " at " + c.interval);
        space->setYRange(PlotRange::spanningDoubles(c.from, c.to));
        const PlotRange& r = space->yRange();
        ASSERT_TRUE(std::isfinite(r.locationDouble()) && std::isfinite(r.lengthDouble()));
        y->setMajorIntervalLength(dec(c.interval));
        y->layoutLabels();
        ASSERT_FALSE(y->axisLabels().empty());
        EXPECT_LE(y->axisLabels().size(), 7u);
        EXPECT_LE(y->minorTickLocations().size(), 150u);
        std::string first;
        for (std::size_t i = 0; i < std::min<std::size_t>(2, y->axisLabels().size()); ++i)
            first += (i ? " " : "") + y->axisLabels()[i]->contentLayer()->text();
        EXPECT_EQ(first, c.firstLabels);
        for (const auto& label : y->axisLabels()) {
            EXPECT_LE(label->contentLayer()->text().size(), 18u) << label->contentLayer()->text();
            const platform::Point at = y->viewPointForCoordinateDecimalNumber(label->tickLocation);
            EXPECT_EQ(at.x, 240) << "on the axis at the right-hand edge";
            EXPECT_TRUE(at.y >= -1e-6 && at.y <= 300 + 1e-6) << at.y;
        }
    }
}

TEST(DecimalNumberFormatter, PlainUpTo15IntegerDigitsThenScientific)
{
    const DecimalNumberFormatter one;
    for (auto [value, text] : std::initializer_list<std::pair<const char*, const char*>> {
             { "0", "0.0" },
             { "12", "12.0" },
             { "0.25", "0.2" }, // half to even
             { "-3.75", "-3.8" },
             { "999999999999999", "999999999999999.0" }, // the last plain value
             { "1e15", "1.0e15" }, // one past it
             { "-1e15", "-1.0e15" },
             { "999999999999999.96", "1.0e15" }, // rounds up into it
             { "2.5e163", "2.5e163" },
             { "9.96e20", "1.0e21" }, // the leading digit rounds up to ten
             { "-1e164", "-1.0e164" },
             { "1.25e-20", "0.0" },
         })
        EXPECT_EQ(one.stringForObjectValue(dec(value)), text) << value;
    EXPECT_EQ(DecimalNumberFormatter(0, 2).stringForObjectValue(dec("1234567890123456789")), "1.23e18");
    EXPECT_EQ(DecimalNumberFormatter(0, 0).stringForObjectValue(dec("2.5e20")), "2e20");
    EXPECT_EQ(one.stringForObjectValue(Decimal::notANumber()), "NaN");
}

TEST_F(AxisFixture, TheGraphsIntervalsStandForValuesTheAxisCanShow)
{
    // Without labels to keep apart, the ticks the graph screens ask for stay
    // exactly as asked, up to the capacity: power draw at 100 W up to
    // 14.9 kW, the day at six hours.
    std::set<Decimal> major, minor;
    y->setLabelFormatter(nullptr);
    x->setLabelFormatter(nullptr);
    y->setMinorTicksPerInterval(0);
    y->setMajorIntervalLength(dec("100"));
    for (const char* top : { "3300", "14900" }) {
        space->setYRange(range("0", top));
        y->generateFixedIntervalMajorTickLocations(major, minor);
        EXPECT_EQ(major.size(), std::stoul(top) / 100 + 1) << top;
        EXPECT_EQ(major.rbegin()->toString(), top);
    }
    // One more tick than the axis shows widens the interval by a round factor.
    space->setYRange(range("0", "15000"));
    y->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "0", "5000", "10000", "15000" }));

    space->setXRange(range("0", "86400"));
    x->setMajorIntervalLength(dec("21600"));
    x->setMinorTicksPerInterval(0);
    x->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(texts(major), (std::vector<std::string> { "0", "21600", "43200", "64800", "86400" }));

    // Minor ticks are kept while they fit the capacity and left out past it.
    space->setYRange(range("0", "3300"));
    y->setMinorTicksPerInterval(4); // 35 x 4 = 140 fit in 150
    y->generateFixedIntervalMajorTickLocations(major, minor);
    EXPECT_EQ(major.size(), 34u);
    EXPECT_EQ(minor.size(), 33u * 4);
    for (unsigned many : { 5u, 4'000'000'000u }) {
        y->setMinorTicksPerInterval(many);
        y->generateFixedIntervalMajorTickLocations(major, minor);
        EXPECT_EQ(major.size(), 34u) << many;
        EXPECT_TRUE(minor.empty()) << many;
    }
}

TEST_F(AxisFixture, ValueLabelsThatWouldOverlapSpreadOutUntilEachStandsClear)
{
    // Power draw at 100 W on the 300 points of the vertical axis, labelled
    // "100.0" in 12-point text: up to 1 kW they stand 30 points apart and
    // fit; a household's 14.9 kW would put 150 of them on top of each other.
    y->setMinorTicksPerInterval(0);
    y->setMajorIntervalLength(dec("100"));
    y->setLabelFormatter(std::make_shared<DecimalNumberFormatter>(1, 1));
    y->setLabelTextStyle(TextStyle::textStyle());
    auto frames = [this] {
        std::vector<platform::Rect> out;
        for (auto& label : y->axisLabels())
            out.push_back(label->contentLayer()->frame());
        std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.minY() < b.minY(); });
        return out;
    };
    space->setYRange(range("0", "1000"));
    y->layoutLabels();
    ASSERT_EQ(y->majorTickLocations().size(), 11u) << "labels that fit keep the interval asked for";
    ASSERT_EQ(frames().front().height(), 12) << "the fixture's labels are 12 points tall";

    struct Case {
        const char* top;
        const char* step;
    };
    // The smallest round step at which the 12-point labels stand 4 points
    // apart, 16 points from tick to tick: 100 up to 1875, then 200.
    for (Case c :
        { Case { "1875", "100" }, Case { "1876", "200" }, Case { "3300", "200" }, Case { "14900", "1000" } }) {
        space->setYRange(range("0", c.top));
        y->layoutLabels();
        const auto& ticks = y->majorTickLocations();
        ASSERT_GE(ticks.size(), 2u) << c.top;
        EXPECT_EQ((*std::next(ticks.begin()) - *ticks.begin()).toString(), dec(c.step).toString()) << c.top;
        auto placed = frames();
        ASSERT_EQ(placed.size(), ticks.size()) << c.top;
        for (std::size_t i = 0; i + 1 < placed.size(); ++i)
            EXPECT_GE(placed[i + 1].minY() - placed[i].maxY(), 4 - 0.51) << c.top << " label " << i;
    }
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

TEST_F(AxisFixture, LabelsStayClearOfTheFramesBorderAndOfTheLabelTheyWereSlidTowards)
{
    // A frame with a border 4 points wide and room for labels 15 points to
    // the left of the plot area, as on the graph screens: the first label,
    // centred on its tick, would stand on the border.
    graph->setFrame({ 0, 0, 320, 100 });
    graph->plotAreaFrame()->setPaddings(15, 15, 65, 45);
    auto border = std::make_shared<MutableLineStyle>();
    border->setLineWidth(4);
    graph->plotAreaFrame()->setBorderLineStyle(border);
    graph->layoutIfNeeded();
    space->setXRange(range("0", "4"));
    x->setMajorIntervalLength(dec("1"));
    x->setMinorTicksPerInterval(0);
    // Labels 48 points wide at ticks 60 points apart.
    struct Wide : NumberFormatter {
        std::string stringForObjectValue(const Decimal& v) const override
        {
            return v.toDouble() == 0 ? "00000000" : "0000000";
        }
    };
    x->setLabelFormatter(std::make_shared<Wide>());
    x->setLabelTextStyle(TextStyle::textStyle());
    x->layoutLabels();
    ASSERT_EQ(x->axisLabels().size(), 5u);
    auto frameInGraph = [this](std::size_t i) {
        auto layer = x->axisLabels()[i]->contentLayer();
        platform::Rect frame = layer->frame();
        frame.origin = layer->superlayer()->convertPointToLayer(frame.origin, graph.get());
        return frame;
    };
    ASSERT_GT(frameInGraph(0).width() / 2, 15) << "the fixture's first label reaches past the graph";
    // Clear of the border (4 points) by a point, within the next pixel.
    EXPECT_GE(frameInGraph(0).minX(), 5);
    EXPECT_LT(frameInGraph(0).minX(), 5.6);
    // The next label moved on to keep 4 points from it, and the one after
    // that from the next in turn; the fourth stays on its tick.
    EXPECT_GE(frameInGraph(1).minX() - frameInGraph(0).maxX(), 4 - 0.01);
    EXPECT_GE(frameInGraph(2).minX() - frameInGraph(1).maxX(), 4 - 0.01);
    EXPECT_LT(frameInGraph(2).minX() - frameInGraph(1).maxX(), 4.5);
    EXPECT_NEAR(frameInGraph(3).midX(), 15 + 180, 0.5);
    // Without a border, the graph's own edge is the limit.
    graph->plotAreaFrame()->setBorderLineStyle(nullptr);
    x->layoutLabels();
    EXPECT_DOUBLE_EQ(frameInGraph(0).minX(), 0);
}
