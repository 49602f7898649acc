// What a graph keeps between frames (the pixels under its plots, its labels'
// laid-out text, the line's prepared points and coverage) and the records it
// leaves unprepared out of view must never show: each frame drawn with them
// equals the same frame drawn without them, after any change that could
// leave them stale.

#include "ChartTestSupport.h"

#include "charting/ScatterPlot.h"
#include "charting/Theme.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

/// A day of `count` records (97: one every 15 minutes; many more: several
/// to a pixel column, jumping up and down), one missing, raised by `lift`.
class RampSource final : public ScatterPlotDataSource {
public:
    std::size_t count { 97 };
    double lift { 0 };
    std::size_t numberOfRecordsForPlot(Plot&) override { return count; }
    std::optional<std::vector<double>> doublesForPlot(Plot&, unsigned field, IndexRange range) override
    {
        std::vector<double> values;
        double step = 86400.0 / static_cast<double>(count - 1);
        for (std::size_t i = range.location; i < range.end(); ++i) {
            double y = 40 + 30 * std::sin(i * 97.0 / count / 7.0) + (i % 5) * 6 + lift;
            values.push_back(field == 0 ? i * step : i == count / 3 ? std::nan("") : y);
        }
        return values;
    }
};

/// A small day graph set up as the graph screens set theirs up.
struct DayGraph {
    std::shared_ptr<XYGraph> graph = XYGraph::create({ 0, 0, 200, 150 });
    std::shared_ptr<RampSource> source = std::make_shared<RampSource>();

    explicit DayGraph(std::size_t records = 97)
    {
        source->count = records;
        graph->applyTheme(Theme::themeNamed(DarkGradientTheme).get());
        graph->setPaddings(0, 0, 0, 0);
        graph->plotAreaFrame()->setPaddings(10, 10, 40, 30);
        auto space = graph->defaultXYPlotSpace();
        space->setXRange(range("0", "86400"));
        space->setYRange(range("0", "100"));
        auto x = graph->xyAxisSet()->xAxis();
        x->setMajorIntervalLength(dec("21600"));
        x->setLabelFormatter(std::make_shared<DecimalNumberFormatter>(0, 0));
        x->majorGridLineStyle = LineStyle::lineStyle();
        x->setTitle("Day");
        auto y = graph->xyAxisSet()->yAxis();
        y->setMajorIntervalLength(dec("25"));
        y->setOrthogonalCoordinateDecimal(dec("86400"));
        y->setTickDirection(Sign::Positive);
        y->majorGridLineStyle = LineStyle::lineStyle();
        y->setTitle("Watts");
        auto plot = ScatterPlot::create();
        plot->setIdentifier("Main Plot");
        auto line = std::make_shared<MutableLineStyle>();
        line->setLineColor(Color::greenColor());
        line->setLineWidth(3);
        line->setMiterLimit(1); // bevelled, as the graph screens draw it
        plot->dataLineStyle = line;
        plot->areaFill = Fill::fillWithGradient(
            Gradient::gradientWithBeginningColor(Color::colorWithComponents(0.3, 1, 0.3, 0.8), Color::clearColor())
                ->withAngle(-90));
        plot->areaBaseValue = dec("0");
        plot->setDataSource(source);
        graph->addPlot(plot);
        graph->reloadData();
    }

    ScatterPlot& plot() { return *std::dynamic_pointer_cast<ScatterPlot>(graph->plotWithIdentifier("Main Plot")); }
};

/// How a frame is drawn: the image's size and scale, and where the graph
/// stands in it.
struct Target {
    platform::Size size { 200, 150 };
    double scale { 2 };
    platform::Point offset {};
    std::function<void(platform::Context&)> before = [](platform::Context&) {};
};

std::shared_ptr<platform::Image> draw(Graph& graph, const Target& target)
{
    auto image = platform::Image::create(target.size, target.scale);
    auto context = platform::Context::forImage(*image);
    context->translate(target.offset.x, target.offset.y);
    target.before(*context);
    context->flipY(graph.bounds().height());
    graph.layoutAndRenderInContext(*context);
    return image;
}

/// Pixels of `a` that differ from `b` at all.
int differingPixels(const platform::Image& a, const platform::Image& b)
{
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            platform::Color p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            differing += p.red != q.red || p.green != q.green || p.blue != q.blue || p.alpha != q.alpha;
        }
    return differing;
}

/// The frame drawn with nothing kept and every record prepared.
std::shared_ptr<platform::Image> drawAnew(Graph& graph, const Target& target)
{
    auto plot = std::dynamic_pointer_cast<ScatterPlot>(graph.plotWithIdentifier("Main Plot"));
    graph.setKeepsBackground(false);
    plot->preparesOnlyPointsInView = false;
    auto anew = draw(graph, target);
    graph.setKeepsBackground(true);
    plot->preparesOnlyPointsInView = true;
    return anew;
}

/// The frame drawn with what the graph keeps, then anew.
int differenceFromUncachedDraw(Graph& graph, const Target& target)
{
    auto kept = draw(graph, target);
    auto anew = drawAnew(graph, target);
    EXPECT_EQ(kept->pixelWidth(), anew->pixelWidth());
    return differingPixels(*kept, *anew);
}

}

TEST(KeptLayers, EveryFrameEqualsTheSameFrameDrawnAnew)
{
    // What the two frames after the change draw anew into kept pixels: nothing;
    // nothing at first (the moved grid is drawn directly, the backgrounds too),
    // then the grid once it stays; or everything, at once.
    enum Kept { Nothing, GridOnceItStays, Everything };
    struct Case {
        const char* change;
        std::function<void(DayGraph&, Target&)> apply;
        Kept kept;
    };
    const Case cases[] = {
        { "nothing", [](DayGraph&, Target&) {}, Nothing },
        { "label texts at the same positions",
            [](DayGraph& d, Target&) {
                d.graph->xyAxisSet()->xAxis()->setLabelFormatter(std::make_shared<DecimalNumberFormatter>(1, 1));
            },
            Nothing },
        { "label positions with the same texts",
            [](DayGraph& d, Target&) { d.graph->xyAxisSet()->xAxis()->setLabelOffset(9); }, Nothing },
        { "the plotted data", [](DayGraph& d, Target&) { d.graph->reloadData(); }, Nothing },
        { "the zoom (grid lines and labels move)",
            [](DayGraph& d, Target&) { d.graph->defaultXYPlotSpace()->setXRange(range("10000", "43200")); },
            GridOnceItStays },
        { "the value range", [](DayGraph& d, Target&) { d.graph->defaultXYPlotSpace()->setYRange(range("0", "80")); },
            GridOnceItStays },
        { "the theme", [](DayGraph& d, Target&) { d.graph->applyTheme(Theme::themeNamed(SlateTheme).get()); },
            Everything },
        { "the scale", [](DayGraph&, Target& t) { t.scale = 1; }, Everything },
        { "the graph's size",
            [](DayGraph& d, Target&) {
                d.graph->setFrame({ 0, 0, 180, 140 });
            },
            Everything },
        { "the graph's place, by whole pixels",
            [](DayGraph&, Target& t) {
                t.size = { 230, 170 };
                t.offset = { 13.5, 7 };
            },
            Everything },
        { "the plot area frame's paddings",
            [](DayGraph& d, Target&) { d.graph->plotAreaFrame()->setPaddings(12, 10, 40, 30); }, GridOnceItStays },
        { "a grid line style changed in place",
            [](DayGraph& d, Target& t) {
                auto grid = std::make_shared<MutableLineStyle>();
                d.graph->xyAxisSet()->yAxis()->majorGridLineStyle = grid;
                (void)draw(*d.graph, t);
                grid->setLineColor(Color::redColor());
            },
            GridOnceItStays },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        DayGraph day;
        Target target;
        (void)draw(*day.graph, target);
        int before = day.graph->keptBackgroundRedraws();
        ASSERT_EQ(before, 1);
        c.apply(day, target);
        auto first = draw(*day.graph, target);
        int afterFirst = day.graph->keptBackgroundRedraws();
        auto second = draw(*day.graph, target);
        int afterSecond = day.graph->keptBackgroundRedraws();
        auto anew = drawAnew(*day.graph, target);
        EXPECT_EQ(differingPixels(*first, *anew), 0);
        EXPECT_EQ(differingPixels(*second, *anew), 0);
        EXPECT_EQ(afterFirst, before + (c.kept == Everything ? 1 : 0));
        EXPECT_EQ(afterSecond, afterFirst + (c.kept == GridOnceItStays ? 1 : 0));
    }
}

TEST(KeptLayers, APinchKeepsTheBackgroundsAloneOnlyWhileTheGridMoves)
{
    // Frame by frame: the x range (the grid moves when it changes), the
    // kept pictures drawn anew and those held after it. The backgrounds
    // alone are drawn again on the second frame the grid moves, and let go
    // on the first that paints the grid kept.
    struct Frame {
        const char* location;
        const char* length;
        int redrawn;
        int held;
    };
    const Frame frames[] = {
        { "0", "86400", 1, 1 }, // both drawn, the backgrounds let go
        { "0", "86400", 0, 1 },
        { "3000", "80000", 0, 1 }, // a change: drawn directly
        { "6000", "70000", 1, 2 }, // a pinch: the backgrounds drawn again
        { "9000", "60000", 0, 2 },
        { "9000", "60000", 1, 1 }, // the grid stays: kept, the backgrounds let go
        { "9000", "60000", 0, 1 },
        { "6000", "70000", 0, 1 }, // a pinch again
        { "3000", "80000", 1, 2 },
        { "3000", "80000", 1, 1 },
    };
    DayGraph day, anew;
    anew.graph->setKeepsBackground(false);
    Target target;
    int redraws = 0;
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        for (DayGraph* d : { &day, &anew })
            d->graph->defaultXYPlotSpace()->setXRange(range(frames[i].location, frames[i].length));
        auto kept = draw(*day.graph, target);
        EXPECT_EQ(differingPixels(*kept, *draw(*anew.graph, target)), 0);
        EXPECT_EQ(day.graph->keptBackgroundRedraws(), redraws + frames[i].redrawn);
        EXPECT_EQ(day.graph->keptBackgroundPictures(), frames[i].held);
        redraws = day.graph->keptBackgroundRedraws();
    }
}

TEST(KeptLayers, TheLineFromTheRecordsInViewEqualsTheLineFromEveryRecord)
{
    enum Prepared { None, SomeNotAll, Any };
    struct Case {
        const char* change;
        std::function<void(DayGraph&, Target&)> apply;
        Prepared prepared;
    };
    auto xRange = [](const char* location, const char* length) {
        return [=](DayGraph& d, Target&) { d.graph->defaultXYPlotSpace()->setXRange(range(location, length)); };
    };
    const Case cases[] = {
        { "nothing (the line kept)", [](DayGraph&, Target&) {}, None },
        { "zoomed in four times", xRange("30000", "21600"), SomeNotAll },
        { "panned past the first record", xRange("-20000", "43200"), SomeNotAll },
        { "panned past the last record", xRange("60000", "43200"), SomeNotAll },
        { "panned wholly past the records", xRange("90000", "20000"), SomeNotAll },
        { "every record in view, zoomed out", xRange("-40000", "200000"), Any },
        { "the value range cutting the line",
            [](DayGraph& d, Target&) { d.graph->defaultXYPlotSpace()->setYRange(range("50", "30")); }, Any },
        { "new values for the same records",
            [](DayGraph& d, Target&) {
                d.source->lift = 7;
                d.graph->reloadData();
            },
            Any },
        { "the area's base value", [](DayGraph& d, Target&) { d.plot().areaBaseValue = dec("55"); }, Any },
        { "the line's width changed in place",
            [](DayGraph& d, Target&) {
                auto line = std::make_shared<MutableLineStyle>(*d.plot().dataLineStyle);
                d.plot().dataLineStyle = line;
                (void)draw(*d.graph, Target {});
                line->setLineWidth(1.5);
            },
            Any },
        { "no line, the area alone", [](DayGraph& d, Target&) { d.plot().dataLineStyle = nullptr; }, Any },
        { "the plot area frame's paddings",
            [](DayGraph& d, Target&) { d.graph->plotAreaFrame()->setPaddings(12, 10, 40, 31); }, Any },
        { "the scale", [](DayGraph&, Target& t) { t.scale = 1; }, Any },
        { "the graph's place, by whole pixels",
            [](DayGraph&, Target& t) {
                t.size = { 230, 170 };
                t.offset = { 13.5, 7 };
            },
            Any },
    };
    // Records far apart (each its own pixel column) and many to a column
    // (reduced per column; the records just out of view share columns).
    for (std::size_t records : { 97u, 20000u }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.change) + ", " + std::to_string(records) + " records");
            DayGraph day(records);
            Target target;
            (void)draw(*day.graph, target);
            ASSERT_EQ(day.plot().recordsPreparedLastFrame(), records);
            c.apply(day, target);
            auto kept = draw(*day.graph, target);
            std::size_t prepared = day.plot().recordsPreparedLastFrame();
            if (c.prepared == None)
                EXPECT_EQ(prepared, 0u);
            else if (c.prepared == SomeNotAll)
                EXPECT_TRUE(prepared > 0 && prepared < records) << prepared;
            else
                EXPECT_GT(prepared, 0u);
            day.plot().preparesOnlyPointsInView = false;
            auto anew = draw(*day.graph, target);
            EXPECT_EQ(differingPixels(*kept, *anew), 0);
            // And the frame after, with the line kept.
            day.plot().preparesOnlyPointsInView = true;
            kept = draw(*day.graph, target);
            EXPECT_EQ(day.plot().recordsPreparedLastFrame(), 0u);
            EXPECT_EQ(differingPixels(*kept, *anew), 0);
        }
    }
}

TEST(KeptLayers, DrawsDirectlyWhereKeptPixelsCouldDiffer)
{
    struct Case {
        const char* why;
        std::function<void(DayGraph&, Target&)> apply;
    };
    const Case cases[] = {
        { "a background that is not opaque",
            [](DayGraph& d, Target&) { d.graph->setFill(Fill::fillWithColor(Color::clearColor())); } },
        { "a place between pixels",
            [](DayGraph&, Target& t) {
                t.offset = { 0.25, 0 };
            } },
        { "a clip between pixels",
            [](DayGraph&, Target& t) { t.before = [](platform::Context& c) {
                                           c.clipToRect({ 0.3, 0, 150, 100 });
                                       }; } },
        { "a transparency", [](DayGraph&, Target& t) { t.before = [](platform::Context& c) { c.setAlpha(0.5); }; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DayGraph day;
        Target target;
        c.apply(day, target);
        // Drawn over a picture, so that what lies under the graph shows.
        target.before = [inner = target.before](platform::Context& context) {
            context.fillRect({ 0, 0, 400, 300 }, platform::Color { 0.8, 0.2, 0.1, 1 });
            inner(context);
        };
        EXPECT_EQ(differenceFromUncachedDraw(*day.graph, target), 0);
        EXPECT_EQ(differenceFromUncachedDraw(*day.graph, target), 0);
    }
}

TEST(KeptLayers, ThePixelsGoWithTheGraph)
{
    DayGraph day;
    (void)draw(*day.graph, Target {});
    EXPECT_TRUE(day.graph->holdsKeptBackground());
    day.graph->setKeepsBackground(false);
    EXPECT_FALSE(day.graph->holdsKeptBackground());
}
