#include "ChartTestSupport.h"

#include "charting/Exception.h"
#include "charting/ScatterPlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

const double missing = std::nan("");

/// Serves fixed x and y arrays one number at a time (the slowest path).
class Points : public ScatterPlotDataSource {
public:
    std::vector<double> xs, ys;
    std::vector<std::shared_ptr<PlotSymbol>> symbols;
    std::size_t numberOfRecordsForPlot(Plot&) override { return xs.size(); }
    std::optional<PlotNumber> numberForPlot(Plot&, unsigned field, std::size_t i) override
    {
        double v = field == 0 ? xs[i] : ys[i];
        return std::isnan(v) ? PlotNumber {} : PlotNumber { v };
    }
    std::optional<std::shared_ptr<PlotSymbol>> symbolForScatterPlot(ScatterPlot&, std::size_t i) override
    {
        if (symbols.empty())
            return std::nullopt;
        return i < symbols.size() ? symbols[i] : nullptr;
    }
};

class Selections : public ScatterPlotDelegate {
public:
    std::vector<std::size_t> indexes;
    void plotSymbolWasSelectedAtRecordIndex(ScatterPlot&, std::size_t index) override { indexes.push_back(index); }
};

struct ScatterFixture : ::testing::Test {
    std::shared_ptr<XYGraph> graph = graphWithPlotArea(100, 100);
    std::shared_ptr<Points> source = std::make_shared<Points>();
    std::shared_ptr<ScatterPlot> plot = ScatterPlot::create();
    std::shared_ptr<Selections> selections = std::make_shared<Selections>();

    void SetUp() override
    {
        graph->defaultXYPlotSpace()->setXRange(range("0", "10"));
        graph->defaultXYPlotSpace()->setYRange(range("0", "10"));
        plot->setDataSource(source);
        graph->addPlot(plot);
        graph->layoutIfNeeded();
    }
    void load(std::vector<double> xs, std::vector<double> ys)
    {
        source->xs = std::move(xs);
        source->ys = std::move(ys);
        plot->reloadData();
    }
};

std::string flagsText(const std::vector<char>& flags)
{
    std::string s;
    for (char f : flags)
        s += f ? '1' : '0';
    return s;
}

std::string pathText(const platform::Path& path)
{
    std::string s;
    for (auto& e : path.elements()) {
        switch (e.op) {
        case platform::Path::Op::MoveTo:
            s += "M";
            break;
        case platform::Path::Op::LineTo:
            s += "L";
            break;
        case platform::Path::Op::CurveTo:
            s += "C";
            break;
        case platform::Path::Op::Close:
            s += "Z ";
            continue;
        }
        s += std::to_string(int(e.points[0].x)) + "," + std::to_string(int(e.points[0].y)) + " ";
    }
    return s;
}

}

TEST_F(ScatterFixture, CachesNumbersAndTurnsNullIntoNaN)
{
    load({ 1, 2, 3 }, { 5, missing, 7 });
    EXPECT_EQ(plot->cachedDataCount(), 3u);
    EXPECT_DOUBLE_EQ(plot->cachedDoubleForField(ScatterPlot::Y, 2), 7);
    EXPECT_TRUE(std::isnan(plot->cachedDoubleForField(ScatterPlot::Y, 1)));
    EXPECT_EQ(plot->cachedDecimalForField(ScatterPlot::X, 0), dec("1"));
    EXPECT_THROW(plot->reloadDataInIndexRange({ 2, 2 }), InternalInconsistencyException);
}

TEST_F(ScatterFixture, DrawsInsidePointsAndTheNeighboursOfEdgeCrossings)
{
    // x: outside, inside, inside, outside, outside, inside(missing y), inside
    load({ -5, 1, 2, 15, 20, 5, 6 }, { 1, 1, 1, 1, 1, missing, 1 });
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(false)), "1111001");
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(true)), "0110001");
    plot->areaFill = Fill::fillWithColor(Color::greenColor());
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(true)), "1111111");
    plot->areaFill = nullptr;
    auto dashed = std::make_shared<MutableLineStyle>();
    dashed->setDashPattern({ 2, 2 });
    plot->dataLineStyle = dashed;
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(false)), "1111111");
}

TEST_F(ScatterFixture, YOutsideCountsOnlyWhenXIsInside)
{
    load({ 1, 2, 3 }, { 5, 50, 5 });
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(true)), "101");
    EXPECT_EQ(flagsText(plot->calculatePointsToDraw(false)), "111");
}

TEST_F(ScatterFixture, AMissingValueSplitsTheLineIntoRunsEachClosedToTheBaseline)
{
    std::vector<platform::Point> points { { 0, 10 }, { 10, 20 }, { missing, missing }, { 30, 40 }, { 40, 50 } };
    EXPECT_EQ(
        pathText(plot->newDataLinePath(points, { 0, 5 }, 0)), "M0,10 L10,20 L10,0 L0,0 Z M30,40 L40,50 L40,0 L30,0 Z ");
    EXPECT_EQ(pathText(plot->newDataLinePath(points, { 0, 5 })), "M0,10 L10,20 M30,40 L40,50 ");
    plot->interpolation = ScatterPlot::Interpolation::Stepped;
    EXPECT_EQ(pathText(plot->newDataLinePath(points, { 0, 2 })), "M0,10 L10,10 L10,20 ");
    plot->interpolation = ScatterPlot::Interpolation::Histogram;
    EXPECT_EQ(pathText(plot->newDataLinePath(points, { 0, 2 })), "M0,10 L5,10 L5,20 L10,20 ");
    plot->interpolation = static_cast<ScatterPlot::Interpolation>(9);
    EXPECT_THROW(plot->newDataLinePath(points, { 0, 2 }), Exception);
}

TEST_F(ScatterFixture, ViewPointsOfRecordsNotDrawnAreNaN)
{
    load({ 1, 20, 5 }, { 1, 1, missing });
    auto points = plot->calculateViewPoints(plot->calculatePointsToDraw(true));
    EXPECT_EQ(points[0], (platform::Point { 10, 10 }));
    EXPECT_TRUE(std::isnan(points[1].x));
    EXPECT_TRUE(std::isnan(points[2].y));
}

TEST_F(ScatterFixture, TapSelectsTheNearestVisiblePointWithinTheMargin)
{
    load({ 1, 3, 5 }, { 5, 5, 5 });
    plot->delegate = selections;
    plot->plotSymbolMarginForHitDetection = 25;
    PointerEvent event;
    EXPECT_TRUE(plot->pointingDeviceDownEvent(event, { 28, 70 }));
    EXPECT_FALSE(plot->pointingDeviceDownEvent(event, { 30, 80 })); // 30 points above the sample
    EXPECT_TRUE(plot->pointingDeviceDownEvent(event, { 20, 50 })); // equidistant: the lower index
    EXPECT_EQ(selections->indexes, (std::vector<std::size_t> { 1, 0 }));
    EXPECT_EQ(plot->indexOfVisiblePointClosestToPlotAreaPoint({ 90, 50 }), 2u);
}

TEST_F(ScatterFixture, NoVisiblePointMeansNoIndexAndNoSelection)
{
    load({ -1, 20 }, { 5, 5 });
    plot->delegate = selections;
    EXPECT_EQ(plot->indexOfVisiblePointClosestToPlotAreaPoint({ 50, 50 }), ScatterPlot::noIndex);
    EXPECT_EQ(ScatterPlot::noIndex, 2147483647u);
    EXPECT_FALSE(plot->pointingDeviceDownEvent(PointerEvent {}, { 50, 50 }));
    EXPECT_TRUE(selections->indexes.empty());
}

TEST_F(ScatterFixture, PerRecordSymbolsFallBackToThePlotSymbol)
{
    auto red = PlotSymbol::ellipsePlotSymbol();
    red->setSize({ 12, 12 });
    source->symbols = { red, nullptr };
    load({ 1, 3, 5 }, { 5, 5, 5 });
    ASSERT_EQ(plot->plotSymbols().size(), 3u);
    EXPECT_EQ(plot->plotSymbols()[0], red);
    EXPECT_FALSE(plot->plotSymbols()[1]);
    // The symbol's size makes the hit area: 12 points square around record 0.
    plot->delegate = selections;
    EXPECT_TRUE(plot->pointingDeviceDownEvent(PointerEvent {}, { 15, 55 }));
    EXPECT_FALSE(plot->pointingDeviceDownEvent(PointerEvent {}, { 34, 52 }));
}

TEST_F(ScatterFixture, PerRecordSymbolsAreDrawnAsTheSourceGivesThemAfterEachReload)
{
    auto red = PlotSymbol::ellipsePlotSymbol();
    red->setSize({ 12, 12 });
    red->setFill(Fill::fillWithColor(Color::redColor()));
    plot->dataLineStyle = nullptr;
    auto render = [&] {
        auto image = platform::Image::create({ 100, 100 }, 1);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        return image;
    };
    // Records at x = 10, 30 and 50 points, halfway up.
    source->symbols = { red, nullptr, nullptr };
    load({ 1, 3, 5 }, { 5, 5, 5 });
    auto image = render();
    EXPECT_GT(image->pixelAt(10, 50).alpha, 0.9);
    EXPECT_LT(image->pixelAt(30, 50).alpha, 0.1);
    // The source now gives no symbol to any record: none is drawn.
    source->symbols = { nullptr, nullptr, nullptr };
    plot->reloadData();
    image = render();
    EXPECT_LT(image->pixelAt(10, 50).alpha, 0.1);
    // Then one to the last record only.
    source->symbols = { nullptr, nullptr, red };
    plot->reloadData();
    image = render();
    EXPECT_LT(image->pixelAt(10, 50).alpha, 0.1);
    EXPECT_GT(image->pixelAt(50, 50).alpha, 0.9);
}

TEST_F(ScatterFixture, DeletingRecordsShrinksTheCache)
{
    load({ 1, 2 }, { 1, 2 });
    auto image = platform::Image::create({ 100, 100 }, 1);
    auto context = platform::Context::forImage(*image);
    EXPECT_NO_THROW(graph->layoutAndRenderInContext(*context));
    plot->deleteDataInIndexRange({ 1, 1 });
    EXPECT_EQ(plot->cachedDataCount(), 1u);
}

TEST_F(ScatterFixture, ReducedDrawingLooksLikeTheFullDrawing)
{
    // Many more points than pixel columns, jagged, with a gap: the drawing
    // that reduces each column to its extremes matches the full one.
    std::vector<double> xs, ys;
    for (int i = 0; i < 5000; ++i) {
        xs.push_back(i * 10.0 / 5000);
        ys.push_back(i == 2500 ? missing : 5 + 4 * std::sin(i * 0.37) * std::cos(i * 0.011));
    }
    load(xs, ys);
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(3);
    style->setMiterLimit(1);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    plot->areaFill = Fill::fillWithGradient(
        Gradient::gradientWithBeginningColor(Color::colorWithComponents(0.3, 1, 0.3, 0.8), Color::clearColor())
            ->withAngle(-90));
    plot->areaBaseValue = dec("0");
    auto render = [&] {
        auto image = platform::Image::create({ 100, 100 }, 2);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        return image;
    };
    auto reduced = render();
    plot->reducesPointsPerPixelColumn = false;
    auto full = render();
    int differing = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            auto a = reduced->pixelAt(x, y), b = full->pixelAt(x, y);
            if (std::abs(a.alpha - b.alpha) > 1.5 / 255 || std::abs(a.green - b.green) > 1.5 / 255)
                ++differing;
        }
    EXPECT_EQ(differing, 0);
}

namespace {

/// Pixels of two same-size pictures whose alpha or any colour (as stored,
/// premultiplied: a faint pixel's colour alone says little) differs by more
/// than `tolerance` out of 255.
int picturesDiffer(const platform::Image& a, const platform::Image& b, double tolerance = 1.5)
{
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            auto p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            double most = std::max({ std::abs(p.alpha - q.alpha), std::abs(p.red * p.alpha - q.red * q.alpha),
                std::abs(p.green * p.alpha - q.green * q.alpha), std::abs(p.blue * p.alpha - q.blue * q.alpha) });
            differing += most > tolerance / 255;
        }
    return differing;
}

}

TEST_F(ScatterFixture, ZoomedInDrawingLeavingOutPointsBeyondTheBoundsLooksLikeTheFullDrawing)
{
    // Zoomed into the middle of 0..100: most points lie left and right of
    // the plot. Spikes with sharp miters sit just outside both edges, x runs
    // back across the visible stretch once, and a gap sits outside. Drawn
    // upright and turned (which takes the general path filler).
    std::vector<double> xs, ys;
    for (int i = 0; i <= 2000; ++i) {
        double x = i * 0.05;
        xs.push_back(x);
        double y = 5 + 2 * std::sin(i * 0.02) + 0.4 * std::sin(i * 2.1);
        if (std::abs(x - 39.6) < 0.03 || std::abs(x - 60.4) < 0.03)
            y = 9.5;
        // Far out of sight, the highest and lowest points: the area's
        // gradient still spans them.
        if (std::abs(x - 10) < 0.03)
            y = 9.9;
        if (std::abs(x - 90) < 0.03)
            y = 0.2;
        ys.push_back(i == 300 || i == 1700 ? missing : y);
    }
    for (double x : { 80.0, 50.0, 20.0, 45.0 }) {
        xs.push_back(x);
        ys.push_back(x / 10);
    }
    load(xs, ys);
    graph->defaultXYPlotSpace()->setXRange(range("40", "20"));
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(1.5);
    style->setMiterLimit(10);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    plot->areaFill = Fill::fillWithGradient(
        Gradient::gradientWithBeginningColor(Color::colorWithComponents(0.3, 1, 0.3, 0.8), Color::clearColor())
            ->withAngle(-90));
    plot->areaBaseValue = dec("2");
    plot->areaFill2 = Fill::fillWithColor(Color::colorWithComponents(1, 0.3, 0.3, 0.3));
    plot->areaBaseValue2 = dec("7");
    bool turned = false;
    auto render = [&] {
        auto image = platform::Image::create({ 100, 100 }, 2);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        if (turned)
            context->rotate(0.2);
        graph->layoutAndRenderInContext(*context);
        return image;
    };
    for (bool turn : { false, true })
        for (bool reduces : { true, false }) {
            turned = turn;
            plot->reducesPointsPerPixelColumn = reduces;
            plot->skipsPointsBeyondBounds = true;
            auto skipping = render();
            plot->skipsPointsBeyondBounds = false;
            auto full = render();
            // Turned, the general rasterizer draws the line and the areas;
            // it rounds a pixel row's coverage differently when different
            // edges start or end in it, by up to 3/255 on a few pixels.
            EXPECT_EQ(picturesDiffer(*skipping, *full, turn ? 3.5 : 1.5), 0)
                << (reduces ? "reduced" : "every point") << (turn ? ", turned" : ", upright");
        }
}

TEST_F(ScatterFixture, DrawingLeavesOutNothingThatReachesIntoTheBounds)
{
    // One segment lies wholly left of the plot, but its thick line reaches
    // over the edge: the edge pixels must still be painted. (The area, all
    // of it left of the plot, has every record drawn.)
    load({ -0.05, -0.05, -2 }, { 1, 9, 9 });
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(4);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    plot->areaFill = Fill::fillWithColor(Color::redColor());
    plot->areaBaseValue = dec("0");
    plot->setAlignsPointsToPixels(false);
    auto image = platform::Image::create({ 100, 100 }, 2);
    auto context = platform::Context::forImage(*image);
    context->flipY(100);
    graph->layoutAndRenderInContext(*context);
    // The vertical stroke at x = -0.5 points is 4 points wide: it covers
    // the plot's first device pixel column from y = 10 to 90 points.
    EXPECT_GT(image->pixelAt(0, 100).green, 0.9);
    EXPECT_LT(image->pixelAt(6, 100).alpha, 0.1);
}

TEST_F(ScatterFixture, LinesThatGoBackAndDenseLinesBothDraw)
{
    // A line going back in x takes the general path, a time series the
    // column-by-column one; both put the line where the data is.
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(2);
    style->setLineJoin(platform::LineJoin::Bevel);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    for (auto xs : { std::vector<double> { 1, 9, 5 }, std::vector<double> { 1, 5, 9 } }) {
        load(xs, { 5, 5, 5 });
        auto image = platform::Image::create({ 100, 100 }, 2);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        // y = 5 is 50 points up: device rows 98 to 101 (2 points wide at scale 2).
        EXPECT_NEAR(image->pixelAt(60, 99).green, 1, 1e-9);
        EXPECT_NEAR(image->pixelAt(60, 100).alpha, 1, 1e-9);
        EXPECT_EQ(image->pixelAt(60, 96).alpha, 0);
        EXPECT_EQ(image->pixelAt(60, 103).alpha, 0);
        EXPECT_EQ(image->pixelAt(10, 99).alpha, 0);
    }
}

TEST_F(ScatterFixture, HugeAndInfiniteValuesDrawWithoutHarm)
{
    // Far beyond what a mask could hold: the line keeps the general path,
    // and what lies in the plot is still drawn.
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(2);
    style->setLineJoin(platform::LineJoin::Round);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    plot->areaFill = Fill::fillWithColor(Color::redColor());
    plot->areaBaseValue = dec("0");
    for (double far : { 1e300, -1e300, double(INFINITY), 1e7 }) {
        load({ 1, 2, 3, 5, 9 }, { 5, far, 5, 5, 5 });
        auto image = platform::Image::create({ 100, 100 }, 2);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        EXPECT_NO_THROW(graph->layoutAndRenderInContext(*context));
        EXPECT_FALSE(context->hasError());
        // The flat stretch from x = 5 to 9 at y = 5 is there.
        EXPECT_NEAR(image->pixelAt(140, 99).green, 1, 1e-9) << far;
    }
}

TEST_F(ScatterFixture, RoundJoinsStayRoundAndBevelsStayFlat)
{
    // A sharp spike up to (2, 9): device (40, 20) at scale 2, 8 pixels wide.
    // A round join covers the pixels just above the tip; a bevel ends about
    // one pixel above it.
    load({ 1, 2, 3 }, { 5, 9, 5 });
    plot->setAlignsPointsToPixels(false);
    for (auto join : { platform::LineJoin::Round, platform::LineJoin::Bevel }) {
        auto style = std::make_shared<MutableLineStyle>();
        style->setLineWidth(4);
        style->setLineJoin(join);
        style->setLineColor(Color::greenColor());
        plot->dataLineStyle = style;
        auto image = platform::Image::create({ 100, 100 }, 2);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        if (join == platform::LineJoin::Round)
            EXPECT_GT(image->pixelAt(40, 17).alpha, 0.9);
        else
            EXPECT_EQ(image->pixelAt(40, 17).alpha, 0);
        EXPECT_NEAR(image->pixelAt(40, 20).alpha, 1, 1e-9);
    }
}

TEST_F(ScatterFixture, ThePlotsRangeSkipsMissingAndInfiniteValuesAndStaysFinite)
{
    const double inf = INFINITY, largest = 1.7976931348623157e308;
    struct Case {
        std::vector<double> ys;
        std::optional<PlotRange> expected;
    };
    const Case cases[] = {
        { { 1, missing, 3 }, range("1", "2") },
        { { 5, inf, -inf, 2 }, range("2", "3") },
        { { missing, inf, -inf }, std::nullopt },
        { {}, std::nullopt },
        { { 0, 1e12 }, range("0", "1000000000000") },
        { { 0, 1e165 }, range("0", "1e164") },
        { { 1e300, 0, missing }, range("0", "1e164") },
        { { -1e308, 1e308, largest, -largest }, range("-1e164", "2e164") },
        { { 1e-300, 2e-300 }, range("0", "0") }, // closer together than decimals tell apart
        { { 7 }, range("7", "0") },
    };
    auto space = graph->defaultXYPlotSpace();
    for (const Case& c : cases) {
        std::string what;
        for (double y : c.ys)
            what += std::to_string(y) + " ";
        load(std::vector<double>(c.ys.size(), 1), c.ys);
        EXPECT_EQ(plot->plotRangeForCoordinate(Coordinate::Y), c.expected) << what;

        // Fitting the space to it keeps a finite range: an empty one or none
        // leaves the last.
        space->setYRange(range("0", "10"));
        space->scaleToFitPlots({ plot });
        const PlotRange& y = space->yRange();
        EXPECT_TRUE(std::isfinite(y.locationDouble()) && std::isfinite(y.lengthDouble())) << what;
        if (c.expected && !c.expected->length().isZero())
            EXPECT_EQ(y, *c.expected) << what;
        else
            EXPECT_EQ(y, range("0", "10")) << what;
    }
}

TEST_F(ScatterFixture, RecordsTooFarApartAreNotJoined)
{
    // Records at x = 0, 1, 2 and 5, 6, halfway up, with an area down to 0.
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(2);
    style->setLineColor(Color::greenColor());
    plot->dataLineStyle = style;
    plot->areaFill = Fill::fillWithColor(Color::redColor());
    plot->areaBaseValue = dec("0");
    load({ 0, 1, 2, 5, 6 }, { 5, 5, 5, 5, 5 });
    auto render = [&] {
        auto image = platform::Image::create({ 100, 100 }, 1);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        return image;
    };
    struct Case {
        double limit;
        bool joined;
    };
    for (const Case c : { Case { NAN, true }, Case { 3, true }, Case { 2.999, false }, Case { 1, false } }) {
        SCOPED_TRACE(c.limit);
        plot->longestJoinedStep = c.limit;
        auto image = render();
        // Between x = 2 and 5 (20 to 50 points): the line at y = 50 and the area below it.
        EXPECT_EQ(image->pixelAt(35, 50).green > 0.9 && image->pixelAt(35, 50).red < 0.1, c.joined) << "the line";
        EXPECT_EQ(image->pixelAt(35, 45).alpha, 0) << "above the line";
        EXPECT_EQ(image->pixelAt(35, 80).alpha > 0.9, c.joined) << "the area";
        EXPECT_GT(image->pixelAt(15, 80).alpha, 0.9) << "each side keeps its own";
        EXPECT_GT(image->pixelAt(55, 80).alpha, 0.9);
    }
}

TEST_F(ScatterFixture, AHatchedAreaIsHatchedOnlyUnderTheLine)
{
    // The area under a line at y = 5 from x = 0 to 10, hatched with upright
    // red lines every 10 points over blue; drawn through a coverage mask.
    plot->dataLineStyle = nullptr;
    plot->areaFill = Fill::fillWithHatch({ Color::redColor(), Color::colorWithComponents(0, 0, 1, 1), 10, 2, 90 });
    plot->areaBaseValue = dec("0");
    load({ 0, 10 }, { 5, 5 });
    auto image = platform::Image::create({ 100, 100 }, 1);
    auto context = platform::Context::forImage(*image);
    context->flipY(100);
    graph->layoutAndRenderInContext(*context);
    EXPECT_FALSE(context->hasError());
    EXPECT_EQ(image->pixelAt(30, 80), platform::Color::rgb(1, 0, 0)) << "on a line of the hatch";
    EXPECT_EQ(image->pixelAt(35, 80), platform::Color::rgb(0, 0, 1)) << "between two";
    EXPECT_EQ(image->pixelAt(30, 20).alpha, 0) << "above the line";
    EXPECT_EQ(image->pixelAt(35, 20).alpha, 0);
}
