#include "charting/LineCoverage.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace hestio;
using chart::LineCoverage;
using platform::CoverageMask;
using platform::Point;
using platform::Rect;

namespace {

const double missing = std::nan("");

LineCoverage lineThrough(const std::vector<Point>& points)
{
    LineCoverage line;
    EXPECT_TRUE(line.setPoints(points));
    return line;
}

CoverageMask stroke(const std::vector<Point>& points, double width, Rect bounds = { 0, 0, 64, 64 })
{
    CoverageMask mask;
    lineThrough(points).strokeInto(width, bounds, mask);
    return mask;
}

CoverageMask area(const std::vector<Point>& points, double baseline, Rect bounds = { 0, 0, 64, 64 })
{
    CoverageMask mask;
    lineThrough(points).areaInto(baseline, bounds, mask);
    return mask;
}

/// The general rasterizer's coverage of the same line, butt ends and bevel
/// joins, white on clear at one pixel a point.
std::shared_ptr<platform::Image> strokedByCairo(const std::vector<Point>& points, double width)
{
    auto image = platform::Image::create({ 64, 64 }, 1);
    auto context = platform::Context::forImage(*image);
    context->setLineWidth(width);
    context->setLineJoin(platform::LineJoin::Bevel);
    context->setLineCap(platform::LineCap::Butt);
    context->setStrokeColor(platform::Color::whiteColor());
    context->beginPath();
    bool open = false;
    for (Point p : points) {
        if (std::isnan(p.y)) {
            open = false;
            continue;
        }
        if (open)
            context->lineTo(p);
        else
            context->moveTo(p);
        open = true;
    }
    context->stroke();
    return image;
}

int largestDifference(const CoverageMask& mask, const platform::Image& image)
{
    int largest = 0;
    for (int y = 0; y < image.pixelHeight(); ++y)
        for (int x = 0; x < image.pixelWidth(); ++x)
            largest = std::max(
                largest, std::abs(static_cast<int>(std::lround(image.pixelAt(x, y).alpha * 255)) - mask.at(x, y)));
    return largest;
}

}

TEST(LineCoverage, PointsSharingAnXMakeOneRunAndMissingValuesBreakTheLine)
{
    auto line = lineThrough({ { 1, 5 }, { 1, 9 }, { 1, 2 }, { 1, 4 }, { 3, 4 }, { missing, missing }, { 3, 7 } });
    const auto& runs = line.runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].first, 5);
    EXPECT_EQ(runs[0].second, 9);
    EXPECT_EQ(runs[0].secondLast, 2);
    EXPECT_EQ(runs[0].last, 4);
    EXPECT_EQ(runs[0].low, 2);
    EXPECT_EQ(runs[0].high, 9);
    EXPECT_EQ(runs[0].count, 4u);
    EXPECT_TRUE(runs[0].startsLine);
    EXPECT_FALSE(runs[1].startsLine);
    // The same x after a gap starts a new stretch instead of extending the run.
    EXPECT_EQ(runs[2].x, 3);
    EXPECT_TRUE(runs[2].startsLine);
    EXPECT_EQ(line.pointBounds(), (Rect { 1, 2, 2, 7 }));
}

TEST(LineCoverage, RefusesLinesGoingBackOrFarOut)
{
    LineCoverage line;
    EXPECT_FALSE(line.setPoints({ { 5, 1 }, { 4, 1 } }));
    EXPECT_TRUE(line.isEmpty());
    EXPECT_FALSE(line.setPoints({ { 5, 1 }, { missing, missing }, { 4, 1 } }));
    EXPECT_FALSE(line.setPoints({ { 0, 0 }, { 1, INFINITY } }));
    EXPECT_FALSE(line.setPoints({ { 0, 0 }, { 1, 2e6 } }));
    EXPECT_TRUE(line.setPoints({ { 0, 0 }, { 1, 2e6 } }, 1e7));
    EXPECT_TRUE(line.setPoints({}));
    EXPECT_TRUE(line.isEmpty());
}

TEST(LineCoverage, AFlatLineCoversItsWidthWithButtEnds)
{
    auto mask = stroke({ { 10, 20.5 }, { 30, 20.5 } }, 4);
    // y 18.5 to 22.5: half of rows 18 and 22, all of 19 to 21.
    EXPECT_EQ(mask.at(15, 17), 0);
    EXPECT_EQ(mask.at(15, 18), 128);
    EXPECT_EQ(mask.at(15, 19), 255);
    EXPECT_EQ(mask.at(15, 21), 255);
    EXPECT_EQ(mask.at(15, 22), 128);
    EXPECT_EQ(mask.at(15, 23), 0);
    // The ends are cut square at the first and last points.
    EXPECT_EQ(mask.at(9, 20), 0);
    EXPECT_EQ(mask.at(10, 20), 255);
    EXPECT_EQ(mask.at(29, 20), 255);
    EXPECT_EQ(mask.at(30, 20), 0);
}

TEST(LineCoverage, AJumpIsBevelledOnTheOutsideOfEachTurn)
{
    // Right, straight down, right again: two right-angle turns.
    auto mask = stroke({ { 10, 10 }, { 20, 10 }, { 20, 40 }, { 30, 40 } }, 4);
    // Outside the first turn the corner square [20, 22] × [8, 10] is cut
    // from (20, 8) to (22, 10): the pixel on the cut is half covered, the
    // one beyond it not at all (a mitre would cover both).
    EXPECT_EQ(mask.at(20, 8), 128);
    EXPECT_EQ(mask.at(21, 8), 0);
    EXPECT_EQ(mask.at(20, 9), 255);
    // Inside the turns everything is covered.
    EXPECT_EQ(mask.at(18, 11), 255);
    EXPECT_EQ(mask.at(21, 38), 255);
    // Outside the second turn, mirrored.
    EXPECT_EQ(mask.at(18, 41), 0);
    EXPECT_EQ(mask.at(18, 40), 128);
}

TEST(LineCoverage, MatchesTheGeneralRasterizerOnJaggedLines)
{
    std::vector<Point> points;
    for (int i = 0; i < 120; ++i) {
        double x = 4 + std::floor(i / 3.0) * 1.37;
        points.push_back({ x, i == 60 ? missing : 32 + 24 * std::sin(i * 1.7) * std::cos(i * 0.05) });
    }
    auto mask = stroke(points, 3);
    // Within both rasterizers' sampling steps (cairo: 15 rows a pixel;
    // here: 16 slices a column).
    EXPECT_LE(largestDifference(mask, *strokedByCairo(points, 3)), 12);
}

TEST(LineCoverage, StretchesSharingAColumnAreCoveredApart)
{
    // The first stretch's butt end and the second's start reach past x = 20
    // from either side: the columns around it hold two pieces of the line,
    // one above the other, and nothing between them.
    std::vector<Point> points { { 10, 10 }, { 20, 30 }, { missing, missing }, { 20, 50 }, { 30, 30 } };
    auto mask = stroke(points, 4);
    for (int x = 19; x <= 20; ++x) {
        EXPECT_EQ(mask.at(x, 28), 255) << x;
        EXPECT_EQ(mask.at(x, 48), 255) << x;
        EXPECT_EQ(mask.at(x, 30), x == 19 ? 64 : 0) << x; // the first stretch's end
        for (int y = 31; y <= 42; ++y)
            EXPECT_EQ(mask.at(x, y), 0) << x << "," << y;
    }
    EXPECT_LE(largestDifference(mask, *strokedByCairo(points, 4)), 12);
}

TEST(LineCoverage, DroppingPointsInsideARunChangesNoPixel)
{
    std::vector<Point> all { { 9, 30 }, { 10, 31 }, { 10, 29 }, { 10, 50 }, { 10, 12 }, { 10, 40 }, { 10, 44 },
        { 10, 20 }, { 10, 25 }, { 11, 28 } };
    // The run at x = 10 reduced to its first two, extremes and last two.
    std::vector<Point> kept { { 9, 30 }, { 10, 31 }, { 10, 29 }, { 10, 50 }, { 10, 12 }, { 10, 20 }, { 10, 25 },
        { 11, 28 } };
    EXPECT_EQ(stroke(all, 6).coverage, stroke(kept, 6).coverage);
    EXPECT_EQ(area(all, 60).coverage, area(kept, 60).coverage);
}

TEST(LineCoverage, AreaClosesDownToTheBaselineAtAMissingValue)
{
    auto mask = area({ { 10, 10 }, { 20, 10 }, { missing, missing }, { 30, 10 }, { 40, 10 } }, 30);
    EXPECT_EQ(mask.at(15, 9), 0);
    EXPECT_EQ(mask.at(15, 10), 255);
    EXPECT_EQ(mask.at(15, 29), 255);
    EXPECT_EQ(mask.at(15, 30), 0);
    EXPECT_EQ(mask.at(9, 20), 0);
    EXPECT_EQ(mask.at(19, 20), 255);
    // Nothing between the stretches.
    EXPECT_EQ(mask.at(20, 20), 0);
    EXPECT_EQ(mask.at(25, 20), 0);
    EXPECT_EQ(mask.at(30, 20), 255);
    EXPECT_EQ(mask.at(40, 20), 0);
}

TEST(LineCoverage, AreaFillsBothSidesOfABaselineItCrosses)
{
    // From 10 above the baseline to 10 below it over 20 pixels.
    auto mask = area({ { 0, 10 }, { 20, 30 } }, 20);
    EXPECT_EQ(mask.at(2, 15), 255);
    EXPECT_EQ(mask.at(17, 25), 255);
    EXPECT_EQ(mask.at(2, 25), 0);
    EXPECT_EQ(mask.at(17, 15), 0);
    // The pixel the slope halves.
    EXPECT_EQ(mask.at(4, 14), 128);
}

TEST(LineCoverage, ClippedBoundsKeepTheSameCoverage)
{
    std::vector<Point> points { { 2, 60 }, { 20, 5 }, { 20, 50 }, { 40, 50 }, { 62, 3 } };
    auto whole = stroke(points, 5);
    auto clipped = stroke(points, 5, { 16, 10, 20, 30 });
    EXPECT_EQ(clipped.x, 16);
    EXPECT_EQ(clipped.y, 10);
    EXPECT_EQ(clipped.width, 20);
    EXPECT_EQ(clipped.height, 30);
    EXPECT_EQ(clipped.at(15, 20), 0);
    int covered = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 16; x < 36; ++x) {
            ASSERT_EQ(clipped.at(x, y), whole.at(x, y)) << x << "," << y;
            covered += clipped.at(x, y) > 0;
        }
    EXPECT_GT(covered, 100);
    auto wholeArea = area(points, 62);
    auto clippedArea = area(points, 62, { 16, 10, 20, 30 });
    for (int y = 10; y < 40; ++y)
        for (int x = 16; x < 36; ++x)
            ASSERT_EQ(clippedArea.at(x, y), wholeArea.at(x, y)) << x << "," << y;
}

TEST(LineCoverage, NothingToCoverLeavesAnEmptyMask)
{
    CoverageMask mask;
    lineThrough({ { 1, 1 }, { 5, 5 } }).strokeInto(0, { 0, 0, 10, 10 }, mask);
    EXPECT_EQ(std::count(mask.coverage.begin(), mask.coverage.end(), 0), static_cast<long>(mask.coverage.size()));
    lineThrough({ { 1, 1 }, { 5, 5 } }).strokeInto(2, {}, mask);
    EXPECT_TRUE(mask.isEmpty());
    lineThrough({ { 1, 1 }, { 5, 5 } }).areaInto(missing, { 0, 0, 10, 10 }, mask);
    EXPECT_EQ(mask.at(3, 4), 0);
    // Bounds too large for a mask (an unclipped, unbounded surface) give none.
    lineThrough({ { 1, 1 }, { 5, 5 } }).strokeInto(2, { -1e6, -1e6, 2e6, 2e6 }, mask);
    EXPECT_TRUE(mask.isEmpty());
    lineThrough({ { 1, 1 }, { 5, 5 } }).areaInto(0, { -1e6, -1e6, 2e6, 2e6 }, mask);
    EXPECT_TRUE(mask.isEmpty());
    // One point has no length and no area.
    lineThrough({ { 3, 3 } }).strokeInto(2, { 0, 0, 10, 10 }, mask);
    EXPECT_EQ(mask.at(3, 3), 0);
}

TEST(LineCoverage, ColumnByColumnEqualsTheSliceBySliceSweepToTheByte)
{
    // Random lines of every kind the sweep meets: runs of several points,
    // repeated values, missing values, steps shorter than a slice and longer
    // than the width, points on slice centres and pixel edges, widths from a
    // tenth of a pixel to seven, bounds cutting the line anywhere.
    std::mt19937 random(20261208);
    auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    for (int trial = 0; trial < 4000; ++trial) {
        std::vector<Point> points;
        double x = uniform(-4, 6);
        if (chance(0.5)) // on a slice centre, as are later points stepping by sixteenths
            x = std::round(x * 16) / 16 + 1.0 / 32;
        int count = std::uniform_int_distribution<int>(1, 40)(random);
        double y = uniform(0, 48);
        for (int i = 0; i < count; ++i) {
            if (chance(0.08)) {
                points.push_back({ x, missing });
            } else {
                if (chance(0.3))
                    y = uniform(-6, 70);
                else if (!chance(0.2))
                    y = std::clamp(y + uniform(-8, 8), -6.0, 70.0);
                if (chance(0.3))
                    y = std::round(y * 2) / 2;
                points.push_back({ x, y });
            }
            if (chance(0.6)) {
                double step = chance(0.5) ? uniform(0, 0.2) : uniform(0.2, 9);
                if (chance(0.5)) // by sixteenths, or onto a pixel's edge
                    step = std::round(step * 16) / 16 + (chance(0.2) ? 1.0 / 32 : 0);
                x += step;
            }
        }
        double width = chance(0.2) ? uniform(0.1, 1) : uniform(1, 7);
        if (chance(0.4)) // corners on slice centres too
            width = std::max(0.125, std::round(width * 8) / 8);
        Rect bounds = chance(0.7) ? Rect { 0, 0, 64, 64 }
                                  : Rect { std::floor(uniform(-2, 40)), std::floor(uniform(-2, 40)), 24, 30 };
        LineCoverage line;
        ASSERT_TRUE(line.setPoints(points));
        CoverageMask fast, plain;
        line.strokeInto(width, bounds, fast);
        line.strokeIntoSliceBySlice(width, bounds, plain);
        ASSERT_EQ(fast.x, plain.x);
        ASSERT_EQ(fast.y, plain.y);
        ASSERT_EQ(fast.width, plain.width);
        ASSERT_EQ(fast.height, plain.height);
        ASSERT_TRUE(fast.coverage == plain.coverage) << "trial " << trial << ", width " << width;
    }
}
