#include "ChartTestSupport.h"

#include "charting/BarPlot.h"
#include "charting/ScatterPlot.h"
#include "charting/Theme.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

/// A plot that records the events offered to it and claims them on request.
class ProbePlot : public ScatterPlot {
public:
    ProbePlot(std::string name, std::vector<std::string>& log, bool claims)
        : m_log(log)
        , m_claims(claims)
    {
        setIdentifier(std::move(name));
    }
    bool pointingDeviceDownEvent(const PointerEvent&, platform::Point) override
    {
        m_log.push_back(identifier());
        return m_claims;
    }

private:
    std::vector<std::string>& m_log;
    bool m_claims;
};

class SpaceProbe : public PlotSpaceDelegate {
public:
    explicit SpaceProbe(std::vector<std::string>& log)
        : m_log(log)
    {
    }
    std::optional<bool> shouldHandlePointingDeviceDownEvent(PlotSpace&, const PointerEvent&, platform::Point) override
    {
        m_log.push_back("plot space");
        return std::nullopt;
    }

private:
    std::vector<std::string>& m_log;
};

}

TEST(Graph, OffersEventsToTheLastAddedPlotFirstThenThePlotSpaces)
{
    auto graph = graphWithPlotArea(100, 100);
    std::vector<std::string> log;
    graph->addPlot(std::make_shared<ProbePlot>("Main Plot", log, false));
    graph->addPlot(std::make_shared<ProbePlot>("Selection Plot", log, false));
    auto probe = std::make_shared<SpaceProbe>(log);
    graph->defaultPlotSpace()->setDelegate(probe);
    EXPECT_FALSE(graph->pointingDeviceDownEvent(PointerEvent {}, { 50, 50 }));
    EXPECT_EQ(log, (std::vector<std::string> { "Selection Plot", "Main Plot", "plot space" }));

    log.clear();
    graph->insertPlot(std::make_shared<ProbePlot>("First", log, true), 0);
    graph->addPlot(std::make_shared<ProbePlot>("Claimer", log, true));
    EXPECT_TRUE(graph->pointingDeviceDownEvent(PointerEvent {}, { 50, 50 }));
    EXPECT_EQ(log, (std::vector<std::string> { "Claimer" }));
}

TEST(Graph, FindsThePlotAddedFirstForAnIdentifier)
{
    auto graph = graphWithPlotArea(100, 100);
    auto first = ScatterPlot::create();
    first->setIdentifier("Main Plot");
    auto second = BarPlot::create();
    second->setIdentifier("Main Plot");
    graph->addPlot(first);
    graph->addPlot(second);
    graph->addPlot(nullptr);
    EXPECT_EQ(graph->plotWithIdentifier("Main Plot"), first);
    EXPECT_EQ(graph->allPlots().size(), 2u);
    EXPECT_FALSE(graph->plotWithIdentifier("Selection Plot"));
    graph->removePlotWithIdentifier("Main Plot");
    EXPECT_EQ(graph->plotWithIdentifier("Main Plot"), second);
    EXPECT_EQ(second->graph(), graph.get());
    EXPECT_EQ(second->plotSpace(), graph->defaultPlotSpace());
}

TEST(Graph, PaddingsPlaceThePlotAreaInsideTheFrame)
{
    auto graph = XYGraph::create({ 0, 0, 320, 367 });
    EXPECT_EQ(graph->paddingLeft(), 20);
    graph->setPaddings(0, 0, 0, 0);
    graph->plotAreaFrame()->setPaddings(15, 15, 65, 45);
    graph->layoutIfNeeded();
    auto area = graph->plotAreaFrame()->plotArea();
    EXPECT_EQ(area->frame(), platform::Rect(15, 45, 240, 307));
    EXPECT_EQ(graph->convertPointToLayer({ 15, 45 }, area.get()), (platform::Point { 0, 0 }));
    auto axes = graph->xyAxisSet();
    EXPECT_EQ(axes->xAxis()->coordinate(), Coordinate::X);
    EXPECT_EQ(axes->yAxis()->coordinate(), Coordinate::Y);
    EXPECT_EQ(axes->xAxis()->tickDirection(), Sign::Negative);
    EXPECT_EQ(axes->yAxis()->plotSpace(), graph->defaultPlotSpace());
}

TEST(Graph, ReloadDataReloadsEveryPlot)
{
    class Counter : public PlotDataSource {
    public:
        int asked = 0;
        std::size_t numberOfRecordsForPlot(Plot&) override
        {
            ++asked;
            return 2;
        }
    };
    auto graph = graphWithPlotArea(100, 100);
    auto source = std::make_shared<Counter>();
    for (int i = 0; i < 2; ++i) {
        auto plot = ScatterPlot::create();
        plot->setDataSource(source);
        graph->addPlot(plot);
    }
    graph->reloadData();
    EXPECT_EQ(source->asked, 2);
    // A source answering no values gives zeros.
    EXPECT_EQ(graph->plotAtIndex(1)->cachedDoubleForField(ScatterPlot::Y, 1), 0);
}

TEST(Graph, RendersTheThemedDayGraphFrameIntoAnImage)
{
    auto graph = XYGraph::create({ 0, 0, 160, 120 });
    graph->applyTheme(Theme::themeNamed(DarkGradientTheme).get());
    graph->setPaddings(0, 0, 0, 0);
    graph->plotAreaFrame()->setPaddings(10, 10, 30, 20);
    auto image = graph->imageOfGraph(1);
    ASSERT_EQ(image->pixelWidth(), 160);
    // The plot area frame's gradient: grey 0.1 at its bottom to 0.3 at its
    // top, seen between the axes' marks.
    platform::Color top = image->pixelAt(100, 14), bottom = image->pixelAt(100, 94);
    EXPECT_NEAR(top.red, 0.1 + 0.2 * (105.5 / 120), 0.01);
    EXPECT_NEAR(bottom.red, 0.1 + 0.2 * (25.5 / 120), 0.01);
    EXPECT_EQ(top.red, top.blue);
}
