#include "GraphTestSupport.h"

#include "charting/ScatterPlot.h"
#include "charting/XYAxis.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"
#include "platform/ui/Accessible.h"

using namespace hestio;
using platform::FakeTransport;

namespace {

using GraphViewControllerTest = test::GraphFixture;
constexpr double day = test::GraphFixture::day;
constexpr double midnight = test::GraphFixture::berlinMidnight;

std::string energyURL(double from, double to)
{
    return "https://localhost:8443/kivoraserver/api/energyconsumption?token=(null)&device_id=battery&from="
        + test::GraphFixture::ms(from) + "&to=" + test::GraphFixture::ms(to) + "&block=CLOCK_HOUR&token=(null)";
}

std::string batteryURL(double from, double to)
{
    return "https://localhost:8443/kivoraserver/api/battery?token=(null)&&from=" + test::GraphFixture::ms(from)
        + "&to=" + test::GraphFixture::ms(to) + "&filter=true&scale=RAW&rounding=1&token=(null)";
}

std::string batteryReply(double firstSeconds, int count, double percentage = 50)
{
    return test::GraphFixture::samplesReply("statuses", "timestamp", "percentage", firstSeconds, count, percentage);
}

std::string energyReply(double firstSeconds, int count, double kWh)
{
    return test::GraphFixture::samplesReply("energyConsumptions", "from", "energyConsumed", firstSeconds, count, kWh);
}

std::size_t recognizerCount(const GraphViewController& graph)
{
    return graph.hostingView()->gestureRecognizers().size();
}

/// A battery graph that counts how often the selection plot is reloaded.
class CountingBatteryGraph : public HomeBatteryGraphViewController {
public:
    int selectionReloads = 0;
    std::optional<chart::PlotNumber> numberForPlot(chart::Plot& plot, unsigned field, std::size_t index) override
    {
        if (plot.identifier() == selectionPlotIdentifier && field == 0)
            ++selectionReloads;
        return HomeBatteryGraphViewController::numberForPlot(plot, field, index);
    }
};

}

TEST_F(GraphViewControllerTest, AFreshScreenShowsTodayFromMidnightToMidnightInTheHouseholdsZone)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight + 3600, 3)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    EXPECT_EQ(transport->lastRequest().url, batteryURL(midnight - 7 * day, nowSeconds))
        << "the first week runs from midnight seven days ago to now";
    EXPECT_EQ(recognizerCount(*graph), 1u) << "no paging before the first reply";
    loop.runPending();

    EXPECT_EQ(graph->refDate().timeIntervalSince1970(), midnight);
    EXPECT_EQ(graph->toDate().timeIntervalSince1970(), midnight - 7 * day);
    auto space = graph->graph()->defaultXYPlotSpace();
    EXPECT_EQ(space->xRange(), chart::PlotRange(0, 86400));
    EXPECT_EQ(space->globalXRange(), chart::PlotRange(0, 86400));
    EXPECT_EQ(space->yRange(), chart::PlotRange(0, 110));
    const auto& x = graph->graph()->xyAxisSet()->xAxis();
    EXPECT_EQ(x->majorIntervalLength(), chart::Decimal(21600));
    EXPECT_EQ(x->minorTicksPerInterval(), 0u);
    EXPECT_EQ(x->title(), "12/06/2012");
    auto formatter = std::dynamic_pointer_cast<const chart::TimeFormatter>(x->labelFormatter());
    ASSERT_TRUE(formatter);
    EXPECT_EQ(formatter->referenceDate(), platform::Date(midnight));
    EXPECT_EQ(formatter->dateFormatter()->timeZone().name(), "Europe/Berlin");
    EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->majorIntervalLength(), chart::Decimal(10));
    EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->title(), "Percentage");
    EXPECT_EQ(graph->navBarTitle().title(), "Battery Percentage");
    EXPECT_EQ(graph->numPoints(), 3u);
    EXPECT_EQ(graph->getDataPointAtIndex(0).timeInterval(), 3600.0);
    EXPECT_EQ(recognizerCount(*graph), 3u) << "the first reply attaches both swipes";
    EXPECT_EQ(graph->hostingView()->accessibilityIdentifier(), "hostingView");
    EXPECT_EQ(graph->graph()->plotAreaFrame()->paddingRight(), 65);

    // Every font its axes and its summary draw in is one made ready at
    // sign-in, before any graph is opened.
    auto prepared = GraphViewController::fontsDrawn();
    auto isPrepared = [&](const platform::Font& font) {
        return std::find(prepared.begin(), prepared.end(), font) != prepared.end();
    };
    for (const auto& axis : graph->graph()->xyAxisSet()->axes())
        for (const auto& style : { axis->labelTextStyle(), axis->minorTickLabelTextStyle(), axis->titleTextStyle() })
            EXPECT_TRUE(!style || isPrepared(style->font())) << style->fontName() << " " << style->fontSize();
    EXPECT_TRUE(isPrepared(graph->summaryLabel()->font()));
}

TEST_F(GraphViewControllerTest, SwipesPageByDaysButNeverPastToday)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 1)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    auto space = graph->graph()->defaultXYPlotSpace();
    const auto& x = graph->graph()->xyAxisSet()->xAxis();

    graph->forward();
    EXPECT_EQ(graph->daysMoved(), 0);
    EXPECT_EQ(graph->daysUntilDownload(), 4);
    EXPECT_EQ(x->title(), "12/06/2012");

    graph->back();
    EXPECT_EQ(graph->daysMoved(), -1);
    EXPECT_TRUE(graph->isRightSwipe());
    EXPECT_EQ(x->title(), "12/05/2012");
    EXPECT_EQ(space->xRange(), chart::PlotRange(-86400, 86400));
    EXPECT_EQ(space->globalXRange(), chart::PlotRange(-86400, 86400));
    EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->orthogonalCoordinateDecimal(), chart::Decimal(0));

    graph->forward();
    EXPECT_EQ(graph->daysMoved(), 0);
    EXPECT_FALSE(graph->isRightSwipe());
    EXPECT_EQ(x->title(), "12/06/2012");
    EXPECT_EQ(space->xRange(), chart::PlotRange(0, 86400));
    EXPECT_EQ(graph->daysUntilDownload(), 4);
}

TEST_F(GraphViewControllerTest, OlderWeeksAreAskedForAtThreeTenAndSeventeenDaysBack)
{
    transport->setHandler([](const platform::HttpRequest&) {
        return FakeTransport::Reply::json(R"({"success":true,"energyConsumptions":[]})");
    });
    auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(transport->lastRequest().url, energyURL(midnight - 7 * day, nowSeconds));

    std::vector<int> requestedAt;
    for (int i = 0; i < 18; ++i) {
        std::size_t before = transport->requestCount();
        graph->back();
        if (transport->requestCount() > before) {
            requestedAt.push_back(graph->daysMoved());
            EXPECT_EQ(recognizerCount(*graph), 1u) << "no paging while a week loads";
            loop.runPending();
            EXPECT_EQ(recognizerCount(*graph), 3u);
        }
    }
    EXPECT_EQ(requestedAt, (std::vector<int> { -3, -10, -17 }));
    auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].url, energyURL(midnight - 14 * day, midnight - 7 * day))
        << "the second week ends where the first began";
    EXPECT_EQ(requests[2].url, energyURL(midnight - 21 * day, midnight - 14 * day));
    EXPECT_EQ(graph->indexRanges().size(), 4u) << "empty weeks still add a block";
}

TEST_F(GraphViewControllerTest, AnOlderWeekGoesInFrontAndMovesTheGlobalIndexes)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight - 6 * day, 150)));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight - 14 * day, 100)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    for (int i = 0; i < 3; ++i)
        graph->back();
    loop.runPending();

    ASSERT_EQ(graph->indexRanges().size(), 2u);
    EXPECT_EQ(graph->indexRanges()[0].location, 0u);
    EXPECT_EQ(graph->indexRanges()[0].length, 100u);
    EXPECT_EQ(graph->indexRanges()[1].location, 100u);
    EXPECT_EQ(graph->indexRanges()[1].length, 150u);
    EXPECT_EQ(graph->numPoints(), 250u);
    EXPECT_EQ(graph->getDataPointAtIndex(100).timeInterval(), -6 * day) << "the first sample of the first week";
    EXPECT_EQ(graph->getDataPointAtIndex(0).timeInterval(), -14 * day);
    EXPECT_EQ(graph->getDataPointAtIndex(99).timeInterval(), -14 * day + 99 * 3600);
}

TEST_F(GraphViewControllerTest, TheZoomRuleChoosesIntervalsAndDetachesSwipesWhileZoomed)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 5)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    auto space = graph->graph()->defaultXYPlotSpace();
    const auto& x = graph->graph()->xyAxisSet()->xAxis();
    auto propose = [&](double length) {
        return graph->willChangePlotRangeTo(
            *space, chart::PlotRange(0, chart::Decimal::fromDouble(length)), chart::Coordinate::X);
    };
    struct Case {
        double length;
        int interval;
        std::size_t recognizers;
    };
    const Case cases[] = {
        { 3600, 900, 1 },
        { 3999, 900, 1 },
        { 4000, 1800, 1 },
        { 7999, 1800, 1 },
        { 8000, 3600, 1 },
        { 10800, 3600, 1 },
        { 17099, 3600, 1 },
        { 17100, 10800, 1 },
        { 49999, 10800, 1 },
        { 50000, 21600, 1 },
        { 86400, 21600, 3 },
        { 86399, 21600, 1 },
        { 90000, 21600, 3 },
    };
    for (const Case& c : cases) {
        auto answer = propose(c.length);
        ASSERT_TRUE(answer) << c.length;
        EXPECT_EQ(answer->lengthDouble(), c.length) << "the proposed range is used unchanged";
        EXPECT_EQ(x->majorIntervalLength(), chart::Decimal(c.interval)) << c.length;
        EXPECT_EQ(recognizerCount(*graph), c.recognizers) << c.length;
    }
    auto yAnswer = graph->willChangePlotRangeTo(*space, chart::PlotRange(5, 10), chart::Coordinate::Y);
    EXPECT_EQ(yAnswer, chart::PlotRange(0, 110)) << "the vertical range never follows the user";
}

TEST_F(GraphViewControllerTest, AScreenReaderReadsTheGraphAsAnImageAndZoomsItAsAValue)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 5)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    platform::AccessibleNode node { graph->hostingView().get() };
    auto info = platform::accessibleInfo(*application, node);
    EXPECT_EQ(info.role, platform::AccessibleRole::Image);
    EXPECT_EQ(info.name, graph->navBarTitle().title()) << "the screen's title";
    EXPECT_FALSE(info.name.empty());
    EXPECT_FALSE(info.description.empty());
    EXPECT_EQ(info.description, graph->summaryLabel()->text()) << "the day's summary line";
    ASSERT_TRUE(info.value);
    EXPECT_DOUBLE_EQ(info.value->current, 1) << "the whole day";
    EXPECT_EQ(info.value->maximum, GraphHostingView::maximumZoom);

    EXPECT_TRUE(platform::setAccessibleValue(node, 4));
    EXPECT_NEAR(graph->graph()->defaultXYPlotSpace()->xRange().lengthDouble(), 21600, 1);
    EXPECT_EQ(recognizerCount(*graph), 1u) << "zoomed in as by a pinch: swipes no longer page";
    EXPECT_TRUE(platform::setAccessibleValue(node, 500));
    EXPECT_NEAR(platform::accessibleInfo(*application, node).value->current, GraphHostingView::maximumZoom, 0.01);
}

TEST_F(GraphViewControllerTest, SwipeRecognisersAreAttachedOnlyOnce)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 1)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    graph->addSwipeGestures();
    EXPECT_EQ(recognizerCount(*graph), 3u);
    graph->removeSwipeGestures();
    graph->removeSwipeGestures();
    EXPECT_EQ(recognizerCount(*graph), 1u);
    EXPECT_EQ(graph->hostingView()->gestureRecognizers()[0], graph->hostingView()->pinchGestureRecognizer());
    graph->addSwipeGestures();
    graph->addSwipeGestures();
    EXPECT_EQ(recognizerCount(*graph), 3u);
}

TEST_F(GraphViewControllerTest, SelectingReloadsTheSelectionPlotOncePerNewIndex)
{
    transport->enqueue(FakeTransport::Reply::json(
        R"({"success":true,"statuses":[{"timestamp":1354807800000,"percentage":87.3,"voltage":12.46},)"
        R"({"timestamp":1354811400999,"percentage":12,"voltage":11}]})"));
    auto graph = std::make_shared<CountingBatteryGraph>();
    graph->setSession(userSession());
    graph->setGraphName("Battery Percentage");
    load(graph);
    loop.runPending();
    auto mainPlot = std::dynamic_pointer_cast<chart::ScatterPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    ASSERT_TRUE(mainPlot);
    int before = graph->selectionReloads;

    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 1);
    EXPECT_EQ(graph->selectedIndex(), 1u);
    EXPECT_EQ(graph->selectionReloads, before + 1);
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "12.0 %");
    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 1);
    EXPECT_EQ(graph->selectionReloads, before + 1) << "the same sample again reloads nothing";
    graph->setSelectedIndex(UINT32_MAX);
    EXPECT_EQ(graph->selectedIndex(), 1u);

    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 0);
    EXPECT_EQ(graph->selectionReloads, before + 2);
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "87.3 %");
    EXPECT_EQ(graph->voltageLabel()->text(), "12.5 V");
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 04:30PM");

    auto selection = graph->graph()->plotWithIdentifier("Selection Plot");
    EXPECT_EQ(graph->numberOfRecordsForPlot(*selection), 1u);
    auto x = graph->numberForPlot(*selection, 0, 7);
    ASSERT_TRUE(x);
    EXPECT_EQ(std::get<double>(*x), 16.5 * 3600) << "the selection plot shows the selected sample whatever the record";
    auto symbol = graph->symbolForScatterPlot(static_cast<chart::ScatterPlot&>(*selection), 0);
    ASSERT_TRUE(symbol && *symbol);
    EXPECT_EQ((*symbol)->size(), (platform::Size { 12, 12 }));
    EXPECT_EQ(graph->symbolForScatterPlot(*mainPlot, 0), std::nullopt)
        << "the line itself has no symbols, nor one kept for each record";
}

TEST_F(GraphViewControllerTest, TheBatteryGraphKeepsItsRangeAndIgnoresEmptyWeeks)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 2, 20)));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(graph->maxValue(), 110.0);
    for (int i = 0; i < 3; ++i)
        graph->back();
    loop.runPending();
    EXPECT_EQ(graph->indexRanges().size(), 1u);
    EXPECT_EQ(graph->numPoints(), 2u);
    EXPECT_EQ(recognizerCount(*graph), 3u) << "paging comes back after an empty week";
    EXPECT_EQ(graph->graph()->defaultXYPlotSpace()->yRange(), chart::PlotRange(0, 110));
}

TEST_F(GraphViewControllerTest, TheHomeEnergyGraphsRangeFollowsTheFirstWeek)
{
    struct Case {
        double largest;
        double top;
    };
    const Case cases[] = { { 3.0, 3.3 }, { 0.25, 0.3 }, { 0.05, 0.1 }, { 0.0, 5.0 }, { 0.3, 0.5 }, { 0.7, 1.0 } };
    for (const Case& c : cases) {
        transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 3, c.largest)));
        auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
        loop.runPending();
        EXPECT_NEAR(graph->maxValue(), c.top, 1e-6) << c.largest;
        EXPECT_NEAR(graph->graph()->defaultXYPlotSpace()->yRange().lengthDouble(), c.top, 1e-6) << c.largest;
        EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->majorIntervalLength(), chart::Decimal::fromDouble(0.5));
        EXPECT_EQ(graph->graph()->xyAxisSet()->yAxis()->title(), "kWh");
        EXPECT_EQ(graph->navBarTitle().title(), "Home Energy Consumption");
    }
}

TEST_F(GraphViewControllerTest, TappingAnHourShowsItsEnergyAndStart)
{
    transport->enqueue(FakeTransport::Reply::json(
        R"({"success":true,"energyConsumptions":[{"from":1354795200000,"energyConsumed":0.1234}]})"));
    auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    loop.runPending();
    auto mainPlot = std::dynamic_pointer_cast<chart::BarPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    auto selectionPlot
        = std::dynamic_pointer_cast<chart::BarPlot>(graph->graph()->plotWithIdentifier("Selection Plot"));
    ASSERT_TRUE(mainPlot && selectionPlot);
    EXPECT_EQ(mainPlot->barWidth, chart::Decimal(2400));
    graph->barWasSelectedAtRecordIndex(*mainPlot, 0);
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "0.1234 kWh");
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 01:00PM");
    graph->energyConsumptionLabel()->setText("kept");
    graph->barWasSelectedAtRecordIndex(*selectionPlot, 0);
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "kept") << "the selection's own bar changes nothing";
    auto base = graph->numberForPlot(*mainPlot, 2, 0);
    ASSERT_TRUE(base);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*base)) << "the bar base gets no value";
}

TEST_F(GraphViewControllerTest, ARefusedWeekIsLoggedAndNotAskedForAgain)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 2)));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"statuses":[{"timestamp":0}]})"));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight - 20 * day, 4)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    for (int i = 0; i < 3; ++i)
        graph->back();
    EXPECT_EQ(transport->lastRequest().url, batteryURL(midnight - 14 * day, midnight - 7 * day));
    EXPECT_EQ(recognizerCount(*graph), 1u);
    loop.runPending();
    EXPECT_EQ(logs.lines().back(), "Failed to receive statuses for device");
    EXPECT_EQ(recognizerCount(*graph), 3u) << "paging comes back";
    EXPECT_EQ(graph->numPoints(), 2u) << "nothing of the refused reply is stored";
    EXPECT_EQ(graph->indexRanges().size(), 1u);
    EXPECT_EQ(graph->toDate().timeIntervalSince1970(), midnight - 14 * day);
    EXPECT_EQ(graph->weeksLoading(), 0u);

    // The refused week is not asked for again; the next one comes at ten
    // days back, as if the refused one had arrived empty.
    for (int i = 0; i < 6; ++i)
        graph->back();
    EXPECT_EQ(graph->daysMoved(), -9);
    EXPECT_EQ(transport->requestCount(), 2u);
    graph->back();
    ASSERT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(transport->lastRequest().url, batteryURL(midnight - 21 * day, midnight - 14 * day));
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 6u);
    EXPECT_EQ(graph->getDataPointAtIndex(0).timeInterval(), -20 * day) << "the older week in front";
    EXPECT_EQ(graph->getDataPointAtIndex(4).timeInterval(), 0.0);
}

TEST_F(GraphViewControllerTest, ATransportFailureReattachesTheSwipesAndTheWeekIsAskedForAgain)
{
    transport->enqueue(FakeTransport::Reply::failure());
    transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 2, 0.2)));
    auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    std::string firstURL = transport->lastRequest().url;
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 0u);
    EXPECT_EQ(recognizerCount(*graph), 3u) << "paging comes back at once";
    EXPECT_EQ(graph->weeksLoading(), 0u);

    graph->back();
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(transport->lastRequest().url, firstURL) << "the first week again";
    EXPECT_EQ(recognizerCount(*graph), 1u);
    loop.runPending();
    EXPECT_EQ(graph->numPoints(), 2u);
    EXPECT_EQ(recognizerCount(*graph), 3u);
}

TEST_F(GraphViewControllerTest, RealSwipesOnTheGraphPage)
{
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"); });
    auto window = platform::Window::create();
    window->makeKeyAndVisible();
    auto graph = HomeBatteryGraphViewController::create(userSession());
    window->setRootViewController(graph);
    loop.runPending();
    platform::TouchSynthesizer fingers(*application, [this](double s) { loop.advance(s); });
    fingers.swipe({ 100, 200 }, +1, 0);
    EXPECT_EQ(graph->daysMoved(), -1);
    fingers.swipe({ 200, 200 }, -1, 0);
    EXPECT_EQ(graph->daysMoved(), 0);
    window->setRootViewController(nullptr);
}

TEST_F(GraphViewControllerTest, WeekRepliesInReverseOrderGoToTheWeeksTheyWereAskedFor)
{
    // The first week answers late; meanwhile (paging brought back by a
    // change of the range) the user reaches the next older week, whose
    // answer comes first. Two cases: the user is still back there, or has
    // already swiped forward again.
    for (bool swipedForward : { false, true }) {
        transport->clearRequests();
        transport->enqueue(FakeTransport::Reply::json(energyReply(midnight, 2, 0.2)).after(5));
        transport->enqueue(FakeTransport::Reply::json(energyReply(midnight - 7 * day, 3, 3.0)).after(1));
        auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
        for (int i = 0; i < 3; ++i)
            graph->back();
        ASSERT_EQ(transport->requestCount(), 2u);
        EXPECT_EQ(transport->requests()[1].url, energyURL(midnight - 14 * day, midnight - 7 * day));
        EXPECT_EQ(graph->weeksLoading(), 2u);
        if (swipedForward)
            graph->forward();

        loop.advance(1);
        EXPECT_EQ(graph->numPoints(), 3u) << "the older week, first";
        EXPECT_EQ(graph->weeksLoading(), 1u);
        loop.advance(4);
        EXPECT_EQ(graph->weeksLoading(), 0u);
        ASSERT_EQ(graph->numPoints(), 5u);
        ASSERT_EQ(graph->indexRanges().size(), 2u);
        EXPECT_EQ(graph->indexRanges()[0].length, 3u) << "older week in front";
        EXPECT_EQ(graph->indexRanges()[1].location, 3u);
        EXPECT_EQ(graph->indexRanges()[1].length, 2u);
        EXPECT_EQ(graph->getDataPointAtIndex(0).timeInterval(), -7 * day);
        EXPECT_EQ(graph->getDataPointAtIndex(3).timeInterval(), 0.0) << "the first week's first sample";
        EXPECT_NEAR(graph->maxValue(), 0.3, 1e-6) << "the range follows the first week";
        EXPECT_EQ(recognizerCount(*graph), 3u);
        EXPECT_EQ(transport->requestCount(), 2u) << "each week was asked for once";
    }
}

TEST_F(GraphViewControllerTest, AWeekLostInTransportIsAskedForAgainAfterANewerOneArrives)
{
    // The first week fails (late), the second succeeds (early); the first is
    // asked for again on the next move back and goes behind the second.
    transport->enqueue(FakeTransport::Reply::failure().after(5));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight - 7 * day, 3)).after(1));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 2)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    std::string firstURL = transport->lastRequest().url;
    for (int i = 0; i < 3; ++i)
        graph->back();
    loop.advance(1);
    EXPECT_EQ(graph->numPoints(), 3u);
    loop.advance(4);
    EXPECT_EQ(graph->numPoints(), 3u) << "nothing stored for the lost week";
    EXPECT_EQ(recognizerCount(*graph), 3u);
    EXPECT_EQ(graph->daysUntilDownload(), 1);

    graph->back();
    ASSERT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(transport->lastRequest().url, firstURL) << "the lost week again";
    loop.runPending();
    ASSERT_EQ(graph->indexRanges().size(), 2u);
    EXPECT_EQ(graph->getDataPointAtIndex(0).timeInterval(), -7 * day);
    EXPECT_EQ(graph->getDataPointAtIndex(3).timeInterval(), 0.0) << "the first week behind the older one";

    // The next new week follows at ten days back, as if the lost week had
    // come at once.
    for (int i = 0; i < 5; ++i)
        graph->back();
    EXPECT_EQ(transport->requestCount(), 3u);
    graph->back();
    ASSERT_EQ(transport->requestCount(), 4u);
    EXPECT_EQ(graph->daysMoved(), -10);
    EXPECT_EQ(transport->lastRequest().url, batteryURL(midnight - 21 * day, midnight - 14 * day));
}

TEST_F(GraphViewControllerTest, AScreenClosedWhileItsWeekLoadsTakesTheAnswerSafely)
{
    // Unloaded while the first week is on its way: the answer is dropped,
    // and the next load starts again from the first week.
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 2)).after(2));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 4)).after(5));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    graph->viewDidUnload();
    loop.advance(2);
    EXPECT_FALSE(graph->plotData());
    graph->viewDidLoad();
    EXPECT_EQ(transport->requestCount(), 2u);
    loop.advance(5);
    EXPECT_EQ(graph->numPoints(), 4u) << "only the new load's answer is used";

    // Let go entirely while a week is on its way: the request keeps the
    // screen until its answer, then nothing does.
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight, 2)).after(2));
    auto closing = load(HomeBatteryGraphViewController::create(userSession()));
    std::weak_ptr<HomeBatteryGraphViewController> watch = closing;
    closing.reset();
    EXPECT_FALSE(watch.expired());
    loop.advance(2);
    loop.runPending();
    EXPECT_TRUE(watch.expired());
}

TEST_F(GraphViewControllerTest, ChangingTheDayClearsTheReadout)
{
    transport->enqueue(FakeTransport::Reply::json(batteryReply(midnight + 3600, 3, 40)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    auto mainPlot = std::dynamic_pointer_cast<chart::ScatterPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    ASSERT_TRUE(mainPlot);
    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 1);
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "40.0 %");
    EXPECT_FALSE(graph->timestampLabel()->text().empty());
    graph->back();
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "");
    EXPECT_EQ(graph->voltageLabel()->text(), "");
    EXPECT_EQ(graph->timestampLabel()->text(), "");
    graph->forward();
    graph->plotSymbolWasSelectedAtRecordIndex(*mainPlot, 2);
    graph->forward(); // on today: no move, the readout stays
    EXPECT_EQ(graph->batteryPercentageLabel()->text(), "40.0 %");
}

TEST_F(GraphViewControllerTest, PagesAcrossAClockChangeAreTitledWithTheDayTheyShow)
{
    // Noon on 1 April 2013 in Berlin; the clocks went forward on 31 March, so
    // yesterday had 23 hours and the window of fixed 24-hour pages starts an
    // hour before midnight of each day before it.
    loop.clock().setNow(platform::Date(1364810400.0));
    transport->enqueue(FakeTransport::Reply::json(batteryReply(1364767200.0, 1)));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    const auto& x = graph->graph()->xyAxisSet()->xAxis();
    EXPECT_EQ(x->title(), "04/01/2013");
    graph->back();
    EXPECT_EQ(x->title(), "03/31/2013");
    graph->back();
    EXPECT_EQ(x->title(), "03/30/2013");
    graph->forward();
    graph->forward();
    EXPECT_EQ(x->title(), "04/01/2013");
}
