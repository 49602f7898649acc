#include "graphs/GraphHostingView.h"

#include "../platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::Point;

namespace {

/// Writes down every pointer event the plot space is offered, and lets the
/// plot space go on handling it.
struct EventJournal : chart::PlotSpaceDelegate {
    std::vector<std::string> events;
    std::optional<bool> shouldHandlePointingDeviceDownEvent(
        chart::PlotSpace&, const chart::PointerEvent&, Point p) override
    {
        events.push_back("down " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
        return std::nullopt;
    }
    std::optional<bool> shouldHandlePointingDeviceUpEvent(
        chart::PlotSpace&, const chart::PointerEvent&, Point p) override
    {
        events.push_back("up " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
        return std::nullopt;
    }
    std::optional<bool> shouldHandlePointingDeviceCancelledEvent(chart::PlotSpace&, const chart::PointerEvent&) override
    {
        events.push_back("cancelled");
        return std::nullopt;
    }
};

struct HostingFixture : test::UiFixture {
    std::shared_ptr<GraphHostingView> hosting = GraphHostingView::create({ 0, 20, 320, 400 });
    std::shared_ptr<chart::XYGraph> graph = chart::XYGraph::create();
    std::shared_ptr<EventJournal> journal = std::make_shared<EventJournal>();

    HostingFixture()
    {
        window->addSubview(hosting);
        graph->setPaddings(0, 0, 0, 0);
        graph->plotAreaFrame()->setPaddings(0, 0, 0, 0);
        auto space = graph->defaultXYPlotSpace();
        space->setAllowsUserInteraction(true);
        space->setXRange({ 0, 1000 });
        space->setYRange({ 0, 1000 });
        space->setDelegate(journal);
        hosting->setHostedGraph(graph);
    }
    std::shared_ptr<chart::XYPlotSpace> space() { return graph->defaultXYPlotSpace(); }
};

}

TEST(GraphHostingView, CarriesExactlyItsOwnPinchRecogniserWhileScalingIsAllowed)
{
    auto hosting = GraphHostingView::create({ 0, 0, 320, 400 });
    EXPECT_TRUE(hosting->allowPinchScaling());
    ASSERT_EQ(hosting->gestureRecognizers().size(), 1u);
    EXPECT_EQ(hosting->gestureRecognizers()[0], hosting->pinchGestureRecognizer());
    hosting->setAllowPinchScaling(true);
    EXPECT_EQ(hosting->gestureRecognizers().size(), 1u);
    hosting->setAllowPinchScaling(false);
    EXPECT_TRUE(hosting->gestureRecognizers().empty());
    EXPECT_FALSE(hosting->pinchGestureRecognizer());
    hosting->setAllowPinchScaling(true);
    EXPECT_EQ(hosting->gestureRecognizers().size(), 1u);
    EXPECT_FALSE(hosting->collapsesLayers());
    EXPECT_EQ(hosting->backgroundColor(), platform::Color::clear());
}

TEST(GraphHostingView, TheGraphFillsTheViewWithItsYAxisUp)
{
    HostingFixture ui;
    EXPECT_EQ(ui.graph->frame(), (platform::Rect { 0, 0, 320, 400 }));
    EXPECT_EQ(ui.hosting->graphPointForViewPoint({ 10, 30 }), (Point { 10, 370 }));
    ui.hosting->setFrame({ 0, 20, 320, 200 });
    EXPECT_EQ(ui.graph->frame(), (platform::Rect { 0, 0, 320, 200 }));
    ui.hosting->setCollapsesLayers(true);
    EXPECT_EQ(ui.hosting->graphPointForViewPoint({ 10, 30 }), (Point { 10, 170 }));
}

TEST(GraphHostingView, OneFingerBecomesTheGraphsEventsInItsCoordinates)
{
    HostingFixture ui;
    ui.fingers.tap({ 100, 120 }); // view (100, 100): graph (100, 300)
    EXPECT_EQ(ui.journal->events, (std::vector<std::string> { "down 100,300", "up 100,300" }));
}

TEST(GraphHostingView, ASecondFingerIsNotPassedOnAndThePinchAloneZooms)
{
    HostingFixture ui;
    ui.fingers.pinch({ 160, 220 }, 100, 200, 4);
    for (const auto& event : ui.journal->events)
        EXPECT_TRUE(event.rfind("down", 0) != 0 || ui.journal->events.front() == event)
            << "only a first finger may reach the graph: " << event;
    // Four relative reports multiply to 2: the day is halved, not shrunk by
    // the product of running totals.
    EXPECT_NEAR(ui.space()->xRange().lengthDouble(), 500.0, 1e-6);
    EXPECT_NEAR(ui.space()->yRange().lengthDouble(), 500.0, 1e-6);
    EXPECT_EQ(ui.hosting->pinchGestureRecognizer()->scale(), 1.0);
}

TEST(GraphHostingView, WithoutPinchScalingAPinchChangesNothing)
{
    HostingFixture ui;
    ui.hosting->setAllowPinchScaling(false);
    ui.fingers.pinch({ 160, 220 }, 100, 200, 4);
    EXPECT_EQ(ui.space()->xRange().lengthDouble(), 1000.0);
}

TEST(GraphHostingView, PlotSpacesThatRefuseInteractionAreNotScaled)
{
    HostingFixture ui;
    ui.space()->setAllowsUserInteraction(false);
    ui.fingers.pinch({ 160, 220 }, 100, 200, 4);
    EXPECT_EQ(ui.space()->xRange().lengthDouble(), 1000.0);
}
