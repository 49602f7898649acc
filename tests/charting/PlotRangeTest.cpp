#include "ChartTestSupport.h"

#include "charting/PlotRange.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio::chart;
using namespace hestio::chart::test;

TEST(PlotRange, NegativeLengthRunsDownwardFromTheLocation)
{
    PlotRange r = range("10", "-10");
    EXPECT_EQ(r.minLimit(), dec("0"));
    EXPECT_EQ(r.maxLimit(), dec("10"));
    EXPECT_EQ(r.end(), dec("0"));
    EXPECT_EQ(r.midPoint(), dec("5"));
    EXPECT_DOUBLE_EQ(r.minLimitDouble(), 0);
    EXPECT_DOUBLE_EQ(r.maxLimitDouble(), 10);
    EXPECT_TRUE(r.contains(dec("0")));
    EXPECT_TRUE(r.contains(dec("10")));
    EXPECT_FALSE(r.contains(dec("10.0000001")));
    EXPECT_EQ(r.compareToDecimal(dec("-1")), RangeComparison::Below);
    EXPECT_EQ(r.compareToDecimal(dec("11")), RangeComparison::Above);
    EXPECT_EQ(r.compareToDouble(5), RangeComparison::Inside);
}

TEST(PlotRange, KeepsExactDecimalsWithDoubleMirrors)
{
    PlotRange r = range("0.1", "0.2");
    EXPECT_EQ(r.end(), dec("0.3"));
    EXPECT_DOUBLE_EQ(r.locationDouble(), 0.1);
    EXPECT_DOUBLE_EQ(r.lengthDouble(), 0.2);
    EXPECT_EQ(PlotRange().location(), dec("0"));
    EXPECT_EQ(PlotRange().length(), dec("0"));
    EXPECT_EQ(r.description(), "<PlotRange {0.1, 0.2}>");
}

TEST(PlotRange, NaNLengthCountsAsNeitherNegativeNorPositiveInTheDoubleLimits)
{
    PlotRange r(dec("3"), Decimal::notANumber());
    EXPECT_DOUBLE_EQ(r.minLimitDouble(), 3);
    EXPECT_DOUBLE_EQ(r.maxLimitDouble(), 3);
    EXPECT_FALSE(range("0", "10").containsDouble(std::nan("")));
}

TEST(PlotRange, EqualityComparesDecimalsByValue)
{
    EXPECT_TRUE(range("1.50", "2").isEqualToRange(range("1.5", "2.0")));
    EXPECT_FALSE(range("1.5", "2").isEqualToRange(range("1.5", "-2")));
}

TEST(MutablePlotRange, UnionKeepsThisRangesDirection)
{
    MutablePlotRange r(range("10", "-10"));
    r.unionPlotRange(range("20", "5"));
    EXPECT_EQ(r, range("25", "-25"));
    MutablePlotRange up(range("0", "10"));
    up.unionPlotRange(range("-5", "3"));
    EXPECT_EQ(up, range("-5", "15"));
    up.unionPlotRange(std::nullopt);
    EXPECT_EQ(up, range("-5", "15"));
}

TEST(MutablePlotRange, IntersectionWithoutOverlapOnlyZeroesTheLength)
{
    MutablePlotRange r(range("0", "10"));
    r.intersectionPlotRange(range("20", "5"));
    EXPECT_EQ(r, range("0", "0"));
    MutablePlotRange overlap(range("0", "10"));
    overlap.intersectionPlotRange(range("12", "-7"));
    EXPECT_EQ(overlap, range("5", "5"));
    MutablePlotRange reversed(range("10", "-10"));
    reversed.intersectionPlotRange(range("2", "3"));
    EXPECT_EQ(reversed, range("5", "-3"));
}

TEST(MutablePlotRange, ExpandsAboutTheMidPoint)
{
    MutablePlotRange r(range("10", "4"));
    r.expandRangeByFactor(dec("2"));
    EXPECT_EQ(r, range("8", "8"));
    r.expandRangeByFactor(dec("0.25"));
    EXPECT_EQ(r, range("11", "2"));
}

TEST(MutablePlotRange, ShiftsLocationAndEndIntoAnotherRange)
{
    struct Case {
        const char *location, *length;
        bool shiftEnd;
        const char* expectedLocation;
    };
    for (auto c : std::initializer_list<Case> { { "-10", "30", false, "0" }, { "120", "30", false, "100" },
             { "50", "30", false, "50" }, { "90", "30", true, "70" }, { "-50", "30", true, "-30" },
             { "10", "30", true, "10" } }) {
        MutablePlotRange r(range(c.location, c.length));
        if (c.shiftEnd)
            r.shiftEndToFitInRange(range("0", "100"));
        else
            r.shiftLocationToFitInRange(range("0", "100"));
        EXPECT_EQ(r.location(), dec(c.expectedLocation)) << c.location << (c.shiftEnd ? " end" : " location");
        EXPECT_EQ(r.length(), dec(c.length));
    }
}

TEST(PlotRange, FromDoublesIsExactWithinTheLargestMagnitudeAndCutBackPastIt)
{
    const double largest = PlotRange::largestMagnitude;
    const double inf = INFINITY;
    struct Case {
        double location;
        double length;
        const char* expectedLocation;
        const char* expectedLength;
    };
    const Case cases[] = {
        { 0, 1.1e12, "0", "1100000000000" },
        { 0.1, 0.2, "0.1", "0.2" }, // the shortest decimals, as before
        { 0, largest, "0", "1e164" }, // at the limit
        { 0, std::nextafter(largest, inf), "0", "1e164" }, // one past it
        { -largest, 2 * largest, "-1e164", "2e164" },
        { 0, 1.1e165, "0", "1e164" }, // past what decimals hold
        { 0, 1.1e300, "0", "1e164" },
        { -1e308, 1.7e308, "-1e164", "2e164" },
        { 1e300, -2e300, "1e164", "-2e164" }, // downward
        { 5e163, 1e300, "5e163", "5e163" }, // the start is kept
        { 0, inf, "0", "1e164" },
        { -inf, inf, "-1e164", "2e164" },
        { inf, -inf, "1e164", "-2e164" },
        { inf, 5, "1e164", "0" },
        { -1.7976931348623157e308, 1.7976931348623157e308, "-1e164", "1e164" },
        { 0, 1e-30, "0", "1e-30" },
        { 0, 1e-300, "0", "0" }, // too small for decimals: an empty range
        { 5, 5e-324, "5", "0" },
    };
    for (const Case& c : cases) {
        PlotRange r = PlotRange::fromDoubles(c.location, c.length);
        EXPECT_EQ(r, range(c.expectedLocation, c.expectedLength)) << c.location << " + " << c.length;
        EXPECT_TRUE(
            std::isfinite(r.locationDouble()) && std::isfinite(r.lengthDouble()) && std::isfinite(r.endDouble()))
            << c.location << " + " << c.length;
    }
    // Not-a-number stays what it is.
    EXPECT_TRUE(PlotRange::fromDoubles(std::nan(""), 1).location().isNaN());
    EXPECT_TRUE(PlotRange::fromDoubles(0, std::nan("")).length().isNaN());
    EXPECT_TRUE(PlotRange::spanningDoubles(1, std::nan("")).length().isNaN());
}

TEST(PlotRange, SpanningDoublesRunsFromTheFirstToTheSecond)
{
    EXPECT_EQ(PlotRange::spanningDoubles(1, 3), range("1", "2"));
    EXPECT_EQ(PlotRange::spanningDoubles(3, 1), range("3", "-2"));
    EXPECT_EQ(PlotRange::spanningDoubles(0.1, 0.3), range("0.1", "0.2")) << "subtracted as decimals";
    EXPECT_EQ(PlotRange::spanningDoubles(-1e308, 1e308), range("-1e164", "2e164"));
    EXPECT_EQ(PlotRange::spanningDoubles(1e200, 1e300), range("1e164", "0"));
}
