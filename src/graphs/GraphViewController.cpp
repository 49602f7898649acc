#include "graphs/GraphViewController.h"

#include "charting/Gradient.h"
#include "charting/TextStyle.h"
#include "charting/Theme.h"
#include "charting/XYAxis.h"
#include "graphs/DayMarks.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"
#include "json/Decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <stdexcept>
#include <utility>

namespace hestio {

using platform::Date;
using platform::Rect;

namespace {

    constexpr double portraitGraphHeight = 367;

    // The graph gives the band below it the room larger text needs.
    double portraitGraphHeightForText()
    {
        return portraitGraphHeight - (GraphExportButton::bandHeightForText() - GraphExportButton::frame.height());
    }

    Date currentInstant()
    {
        return platform::RunLoop::current().clock().now();
    }

    /// The theme every graph screen is drawn in.
    constexpr const char* graphTheme = chart::DarkGradientTheme;

    std::shared_ptr<const chart::TextStyle> whiteTextOfSize(double size)
    {
        auto style = std::make_shared<chart::MutableTextStyle>();
        style->setColor(chart::Color::whiteColor());
        style->setFontSize(size);
        return style;
    }

    /// The axes' labels.
    std::shared_ptr<const chart::TextStyle> axisLabelStyle()
    {
        return whiteTextOfSize(12);
    }

    std::shared_ptr<const chart::LineStyle> gridStyle(double width, chart::Color color)
    {
        auto style = std::make_shared<chart::MutableLineStyle>();
        style->setLineWidth(width);
        style->setLineColor(color);
        return style;
    }

    /// The vertical axes' labels: as many fraction digits as the major
    /// interval needs (none for whole watts: "1000", not "1000.0", which
    /// would run into the axis title), but when the top of the axis is too
    /// long to stand between the axis and its title (only a reply with
    /// absurd values has such a top) every label but zero is written with a
    /// power of ten, "2.0E11", so that the labels stay readable and alike.
    class ValueLabelFormatter : public chart::NumberFormatter {
    public:
        /// Four digits of the 12-point labels stand clear of the title 42
        /// points from the axis; a fifth would touch it.
        static constexpr std::size_t longestPlainText = 4;

        ValueLabelFormatter(double top, int fractionDigits)
            : m_plain(fractionDigits, fractionDigits)
            , m_powersOfTen(isLong(m_plain.stringForObjectValue(chart::Decimal::fromDouble(top))))
        {
        }

        std::string stringForObjectValue(const chart::Decimal& value) const override
        {
            std::string plain = m_plain.stringForObjectValue(value);
            double number = value.toDouble();
            if (!(m_powersOfTen || isLong(plain)) || number == 0 || !std::isfinite(number))
                return plain;
            char text[32];
            std::snprintf(text, sizeof text, "%.1E", number);
            // "2.0E+11" and "1.0E-05" read as "2.0E11" and "1.0E-5".
            std::string written = text;
            std::size_t digits = written.find('E') + 1;
            if (written[digits] == '+')
                written.erase(digits, 1);
            else if (written[digits] == '-')
                ++digits;
            while (digits + 1 < written.size() && written[digits] == '0')
                written.erase(digits, 1);
            return written;
        }

    private:
        /// Too long, or already in the engine's own exponent form ("5e37"),
        /// which the labels' form replaces so that all of them read alike.
        static bool isLong(const std::string& text)
        {
            return text.size() > longestPlainText || text.find('e') != std::string::npos;
        }

        chart::DecimalNumberFormatter m_plain;
        bool m_powersOfTen;
    };

    /// The fraction digits that write every multiple of `interval` exactly
    /// (0.5 needs one, 25 none), at most three.
    int fractionDigitsFor(double interval)
    {
        for (int digits = 0; digits < 3; ++digits) {
            double scaled = interval * std::pow(10.0, digits);
            if (std::abs(scaled - std::round(scaled)) < 1e-9 * std::max(1.0, std::abs(scaled)))
                return digits;
        }
        return 3;
    }

    chart::PlotRange rangeOf(double location, double length)
    {
        return chart::PlotRange::fromDoubles(location, length);
    }

}

GraphViewController::GraphViewController() = default;

GraphViewController::~GraphViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    // A graph screen holds the most memory of any: its weeks, its drawing's
    // kept pixels and masks. Once it has gone (after this turn of the loop,
    // when what it held is freed), the free pages go back to the system, and
    // so does what the decoder kept for further weeks (it would go by itself
    // after a quiet second).
    if (auto* loop = platform::RunLoop::currentIfAny())
        loop->post([] {
            json::releaseIdleDecoderMemory();
            malloc_trim(0);
        });
}

std::vector<platform::Font> GraphViewController::fontsDrawn()
{
    std::vector<platform::Font> fonts;
    if (auto theme = chart::Theme::themeNamed(graphTheme))
        fonts = theme->fonts();
    for (const platform::Font& font : { axisLabelStyle()->font(), summaryFont() }) {
        if (std::find(fonts.begin(), fonts.end(), font) == fonts.end())
            fonts.push_back(font);
    }
    return fonts;
}

std::shared_ptr<GraphViewController> GraphViewController::sharedGraphController()
{
    return std::static_pointer_cast<GraphViewController>(shared_from_this());
}

void GraphViewController::loadView()
{
    auto view = platform::View::create({ 0, 0, 320, 460 });
    view->setBackgroundColor(platform::Color::black());
    view->setAutoresizingMask(platform::AutoresizingFlexibleWidth | platform::AutoresizingFlexibleHeight);

    m_navBar = platform::NavigationBar::create({ 0, 0, 320, platform::NavigationBar::height });
    m_navBar->setAccessibilityIdentifier("navBar");
    m_navBar->setTintColor(platform::Color { 0.1, 0.1, 0.12, 1 });
    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_navBarTitle.setLeftBarButtonItem(
        platform::BarButtonItem::create("Done", platform::BarButtonItem::Style::Done, [weakSelf]() {
            if (auto self = weakSelf.lock())
                self->dismissGraph();
        }));
    m_navBar->setItems({ &m_navBarTitle });
    view->addSubview(m_navBar);

    m_hostingView = GraphHostingView::create({ 0, platform::NavigationBar::height, 320, portraitGraphHeightForText() });
    m_hostingView->setAccessibilityIdentifier("hostingView");
    view->addSubview(m_hostingView);

    m_timestampLabel = makeLabel("timestampLabel", readoutFrame(80, 230));
    view->addSubview(m_timestampLabel);
    makeSummaryLabel(*view);
    std::weak_ptr<GraphViewController> weakExporter = sharedGraphController();
    m_export->addTo(*view, [weakExporter] {
        if (auto self = weakExporter.lock())
            self->exportShownGraph();
    });
    makeOfflineBar(*view);
    setView(view);
}

std::shared_ptr<platform::Label> GraphViewController::makeLabel(const std::string& identifier, Rect frame)
{
    auto label = platform::Label::create(frame);
    label->setAccessibilityIdentifier(identifier);
    label->setTextColor(platform::Color::whiteColor());
    label->setFont(platform::Font::boldSystemFont(12));
    label->setBackgroundColor(platform::Color::clear());
    return label;
}

void GraphViewController::viewDidLoad()
{
    m_timezone = m_session ? m_session->householdTimeZone() : platform::TimeZone::defaultZone();
    m_timestampFormatter.setTimeZone(m_timezone);
    m_refDate = platform::dateAtMidnight(currentInstant(), m_timezone);
    m_daysUntilDownload = 4;
    m_daysMoved = 0;
    m_numPoints = 0;
    m_indexRanges.clear();
    m_blockWeeks.clear();
    m_loader.start(currentInstant());
    m_keeper.open(m_session, keptGraphName());
    m_pendingSelection.reset();

    m_graph = chart::XYGraph::create();
    m_graph->applyTheme(chart::Theme::themeNamed(graphTheme).get());
    if (!m_hostingView) {
        // The view was released on unload; a new one takes its place.
        m_hostingView
            = GraphHostingView::create({ 0, platform::NavigationBar::height, 320, portraitGraphHeightForText() });
        m_hostingView->setAccessibilityIdentifier("hostingView");
        view()->insertSubviewBelow(m_hostingView, *m_navBar);
    }
    m_hostingView->setCollapsesLayers(false);
    m_hostingView->setHostedGraph(m_graph);
    setupPadding();

    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_hostingView->setTouchFinishedHandler([weakSelf](bool tapped) {
        if (auto self = weakSelf.lock())
            self->touchOnGraphFinished(tapped);
    });
    m_rightSwipe = platform::SwipeGestureRecognizer::create(platform::SwipeGestureRecognizer::Right, [weakSelf](auto&) {
        if (auto self = weakSelf.lock())
            self->back();
    });
    m_leftSwipe = platform::SwipeGestureRecognizer::create(platform::SwipeGestureRecognizer::Left, [weakSelf](auto&) {
        if (auto self = weakSelf.lock())
            self->forward();
    });

    setupPlotArea();
    m_dayMarks = std::make_shared<DayMarks>();
    m_dayMarks->addPlotsTo(*m_graph);
    m_navBarTitle.setTitle(screenTitle());
    // Today's empty day is shown while the first week loads.
    findAndSetMax();
    setupAxes();
    setupPlotSpace();
    if (!m_plotData) {
        m_plotData.emplace();
        sendWeekRequests();
        showKeptWeek(0);
    }
    updateSummary();
    updateOfflineBar();
}

void GraphViewController::viewDidAppear(bool)
{
    m_isRightSwipe = false;
}

void GraphViewController::viewDidUnload()
{
    removeSwipeGestures();
    if (m_hostingView)
        m_hostingView->removeFromSuperview();
    m_hostingView.reset();
    m_graph.reset();
    m_plotData.reset();
    m_indexRanges.clear();
    m_blockWeeks.clear();
    // Weeks still on their way belong to this load; their answers are dropped.
    m_loader.stop();
    m_keeper.clear();
    m_dayMarks.reset();
    m_numPoints = 0;
    m_selectedIndex = 0;
    m_pendingSelection.reset();
    m_navBarTitle.setTitle({});
}

void GraphViewController::setupPadding()
{
    m_graph->setPaddings(0, 0, 0, 0);
    m_graph->plotAreaFrame()->setPaddings(15, 15, 65, 45); // left, top, right, bottom;
}

void GraphViewController::setupPlotSpace()
{
    auto space = m_graph->defaultXYPlotSpace();
    space->setAllowsUserInteraction(true);
    space->setDelegate(std::shared_ptr<chart::PlotSpaceDelegate>(sharedGraphController(), this));
    // The global range keeps zooming and dragging inside the shown day.
    chart::PlotRange day = rangeOf(m_daysMoved * oneDay, oneDay);
    space->setGlobalXRange(day);
    space->setXRange(day);
    space->setYRange(rangeOf(0, m_maxValue));
}

std::shared_ptr<chart::TimeFormatter> GraphViewController::makeTimeFormatter() const
{
    auto dateFormatter = std::make_shared<platform::DateFormatter>();
    dateFormatter->setTimeStyle(platform::DateFormatter::Style::Short);
    dateFormatter->setTimeZone(m_timezone);
    auto formatter = std::make_shared<chart::TimeFormatter>(dateFormatter);
    formatter->setReferenceDate(m_refDate);
    return formatter;
}

void GraphViewController::setupAxes()
{
    auto majorGrid = gridStyle(0.75, chart::Color::colorWithGenericGray(0.2).colorWithAlphaComponent(0.75));
    auto minorGrid = gridStyle(0.25, chart::Color::whiteColor().colorWithAlphaComponent(0.1));
    auto labelStyle = axisLabelStyle();
    auto axisSet = m_graph->xyAxisSet();

    const auto& x = axisSet->xAxis();
    x->setMajorIntervalLength(21600);
    x->setMinorTicksPerInterval(0);
    x->setLabelFormatter(makeTimeFormatter());
    x->setLabelTextStyle(labelStyle);
    x->setLabelOffset(8);
    x->majorGridLineStyle = majorGrid;
    x->minorGridLineStyle = minorGrid;
    x->setAxisConstraints(chart::Constraints::constraintWithLowerOffset(0));
    x->titleOffset = 25;
    setXAxisTitle();

    const auto& y = axisSet->yAxis();
    // The constraint keeps the axis at the right-hand edge; the coordinate
    // follows the shown day's end so that it agrees with it.
    y->setOrthogonalCoordinateDecimal(chart::Decimal::fromDouble((m_daysMoved + 1) * oneDay));
    y->setTickDirection(chart::Sign::Positive);
    y->titleOffset = 42;
    y->setAxisConstraints(chart::Constraints::constraintWithUpperOffset(0));
    y->setLabelTextStyle(labelStyle);
    y->setLabelFormatter(std::make_shared<ValueLabelFormatter>(m_maxValue, 1));
    y->majorGridLineStyle = majorGrid;
    y->minorGridLineStyle = minorGrid;
}

void GraphViewController::setVerticalInterval(double interval)
{
    const auto& y = m_graph->xyAxisSet()->yAxis();
    y->setMajorIntervalLength(chart::Decimal::fromDouble(interval));
    y->setLabelFormatter(std::make_shared<ValueLabelFormatter>(m_maxValue, fractionDigitsFor(interval)));
}

void GraphViewController::setXAxisTitle()
{
    // The date of the page's middle: after a clock change the fixed-length
    // pages begin an hour off midnight, and their start names the wrong day.
    platform::DateFormatter formatter("MM/dd/yyyy");
    formatter.setTimeZone(m_timezone);
    m_graph->xyAxisSet()->xAxis()->setTitle(formatter.stringFromDate(shownDayMiddle()));
}

void GraphViewController::moveDays(int days)
{
    m_daysUntilDownload += days;
    m_daysMoved += days;
    m_isRightSwipe = days < 0;
    auto space = m_graph->defaultXYPlotSpace();
    chart::MutablePlotRange range(space->xRange());
    range.setLocation(range.location() + chart::Decimal::fromDouble(days * oneDay));
    space->setGlobalXRange(range);
    space->setXRange(range);
    const auto& y = m_graph->xyAxisSet()->yAxis();
    y->setOrthogonalCoordinateDecimal(y->orthogonalCoordinateDecimal() + chart::Decimal::fromDouble(days * oneDay));
    setXAxisTitle();
    // The readout described a sample of the day just left.
    m_pendingSelection.reset();
    clearLabels();
    updateSummary();
}

void GraphViewController::back()
{
    moveDays(-1);
    // Normally this is reached exactly at 1; after a week lost in transport
    // it can lie below, and that week is then asked for again on this move.
    if (m_daysUntilDownload <= 1) {
        m_daysUntilDownload += 7;
        removeSwipeGestures();
        sendWeekRequests();
    }
}

void GraphViewController::forward()
{
    if (m_daysMoved == 0)
        return;
    moveDays(+1);
}

void GraphViewController::sendWeekRequests()
{
    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_loader.sendRequests(sharedGraphController(), [weakSelf](Date end, auto replyTo) {
        auto self = weakSelf.lock();
        return self ? self->requestWeekEndingAt(end, std::move(replyTo)) : end;
    });
}

void GraphViewController::startWeekRequest(
    const std::string& path, const std::string& parameters, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
{
    auto request = WebServiceConnector::create(path, parameters, false);
    // Its text is kept for offline use as it came (the loader hands it on).
    request->setDelegate(replyTo);
    request->startConnectionForDownload(true);
}

std::string GraphViewController::millisecondsText(Date date)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.0f", date.timeIntervalSince1970() * 1000.0);
    return text;
}

void GraphViewController::dismissGraph()
{
    dismissModalViewControllerAnimated(true);
}

void GraphViewController::removeSwipeGestures()
{
    if (!m_hostingView || m_hostingView->gestureRecognizers().size() == 1)
        return;
    if (m_leftSwipe)
        m_hostingView->removeGestureRecognizer(*m_leftSwipe);
    if (m_rightSwipe)
        m_hostingView->removeGestureRecognizer(*m_rightSwipe);
}

void GraphViewController::addSwipeGestures()
{
    if (!m_hostingView || m_hostingView->gestureRecognizers().size() != 1 || !m_leftSwipe || !m_rightSwipe)
        return;
    m_hostingView->addGestureRecognizer(m_leftSwipe);
    m_hostingView->addGestureRecognizer(m_rightSwipe);
}

void GraphViewController::createDataPoints(const json::Value& samples, unsigned week)
{
    std::vector<DataPoint> block;
    block.reserve(samples.count());
    for (std::size_t i = 0; i < samples.count(); ++i)
        block.push_back(DataPoint::flattened(samples[i], m_refDate));
    auto size = static_cast<std::uint32_t>(block.size());
    if (!m_plotData)
        m_plotData.emplace();
    // Older weeks lie in front: the block goes before the first newer week
    // held (in front of all of them when it is the oldest so far, at the end
    // when it is the newest), and every range after it moves up.
    auto position = static_cast<std::size_t>(
        std::find_if(m_blockWeeks.begin(), m_blockWeeks.end(), [week](unsigned held) { return held < week; })
        - m_blockWeeks.begin());
    auto offset = static_cast<std::ptrdiff_t>(position);
    m_plotData->insert(m_plotData->begin() + offset, std::move(block));
    m_blockWeeks.insert(m_blockWeeks.begin() + offset, week);
    m_indexRanges.insert(m_indexRanges.begin() + offset, chart::IndexRange { 0, size });
    for (std::size_t i = 0; i < m_indexRanges.size(); ++i)
        m_indexRanges[i].location = i == 0 ? 0 : m_indexRanges[i - 1].end();
    m_numPoints += size;
}

const DataPoint& GraphViewController::getDataPointAtIndex(std::uint32_t index) const
{
    for (std::size_t i = 0; i < m_indexRanges.size(); ++i) {
        const auto& range = m_indexRanges[i];
        if (range.location <= index && index < range.end())
            return (*m_plotData)[i][index - range.location];
    }
    throw std::out_of_range("No sample at index " + std::to_string(index));
}

void GraphViewController::setSelectedIndex(std::uint32_t index)
{
    if (index == m_selectedIndex || index == UINT32_MAX)
        return;
    m_selectedIndex = index;
    if (auto plot = m_graph->plotWithIdentifier(selectionPlotIdentifier))
        plot->reloadData();
}

void GraphViewController::selectSample(std::uint32_t index)
{
    if (index >= m_numPoints)
        return;
    // The graph hears of a sample as the finger lands; whether that was a
    // tap or the start of a swipe shows only when it lifts.
    if (m_hostingView && m_hostingView->isTrackingTouch()) {
        m_pendingSelection = index;
        return;
    }
    setSelectedIndex(index);
    showSelectedSample(getDataPointAtIndex(index));
}

void GraphViewController::touchOnGraphFinished(bool tapped)
{
    auto pending = std::exchange(m_pendingSelection, std::nullopt);
    if (tapped && pending)
        selectSample(*pending);
}

double GraphViewController::findAndSetMax()
{
    if (!m_plotData || m_plotData->empty())
        return 0.0;
    // The newest week held (the first one, once it has come).
    const auto& block = m_plotData->back();
    float largest = 0.0f;
    std::string key = valueKey();
    for (const DataPoint& sample : block)
        largest = std::max(largest, static_cast<float>(sample.doubleMember(key)));
    return largest;
}

void GraphViewController::clearLabels()
{
    m_timestampLabel->setText({});
}

void GraphViewController::weekReceived(const Week& week, bool success, const json::Value& data, std::string text)
{
    if (!m_graph || !m_loader.arrived(week))
        return; // asked for by an earlier load of the view
    if (!success) {
        // Not asked for again: the schedule of requests goes on with the
        // week before it, and this week's days stay empty.
        hestio::log("Failed to receive statuses for device");
        addSwipeGestures();
        updateSummary();
        return;
    }
    // The live week takes the place of the one kept from before.
    bool replacesKept = showsKept(week.index);
    if (replacesKept) {
        removeWeek(week.index);
        m_keeper.showsLive(week.index);
    }
    bool placed = false;
    if (std::find(m_blockWeeks.begin(), m_blockWeeks.end(), week.index) == m_blockWeeks.end()) {
        placed = placeWeek(week.index, data);
        keepWeek(week, data, std::move(text));
    }
    if (replacesKept && !placed)
        blocksChanged();
    addSwipeGestures();
    updateSummary();
    updateOfflineBar();
    // The reply's decoded tree goes once this turn of the loop ends, as do
    // the points' and the plot's old arrays; their free pages go back to the
    // system then instead of staying with the heap, where the next week's
    // reply would not fill all of them.
    if (auto* loop = platform::RunLoop::currentIfAny())
        loop->post([] { malloc_trim(0); });
}

bool GraphViewController::placeWeek(unsigned week, const json::Value& data)
{
    const json::Value& samples = data[replyKey()];
    if (!storesEmptyBlocks() && samples.count() == 0)
        return false;
    createDataPoints(samples, week);
    blocksChanged();
    return true;
}

void GraphViewController::removeWeek(unsigned week)
{
    auto found = std::find(m_blockWeeks.begin(), m_blockWeeks.end(), week);
    if (found == m_blockWeeks.end())
        return;
    auto offset = found - m_blockWeeks.begin();
    m_numPoints -= static_cast<std::uint32_t>(m_indexRanges[static_cast<std::size_t>(offset)].length);
    m_plotData->erase(m_plotData->begin() + offset);
    m_blockWeeks.erase(found);
    m_indexRanges.erase(m_indexRanges.begin() + offset);
    for (std::size_t i = 0; i < m_indexRanges.size(); ++i)
        m_indexRanges[i].location = i == 0 ? 0 : m_indexRanges[i - 1].end();
    // Its samples are gone: nothing of them stays selected.
    m_selectedIndex = 0;
}

void GraphViewController::blocksChanged()
{
    findAndSetMax();
    setupAxes();
    setupPlotSpace();
    m_pendingSelection.reset();
    clearLabels();
    if (auto plot = m_graph->plotWithIdentifier(mainPlotIdentifier))
        plot->reloadData();
}

void GraphViewController::weekFailedInTransport(const Week& week)
{
    // The request object has already told the user. The same week is asked
    // for again on the next move back, rather than skipped and left empty,
    // and paging comes back at once instead of waiting for a change of the
    // shown range.
    if (!m_graph || !m_loader.lost(week))
        return;
    m_daysUntilDownload = std::min(m_daysUntilDownload, 1);
    // Meanwhile an older week shows as kept, if it is (the current one
    // already does).
    if (week.index > 0)
        showKeptWeek(week.index);
    addSwipeGestures();
    updateSummary();
    updateOfflineBar();
}

std::optional<chart::PlotRange> GraphViewController::willChangePlotRangeTo(
    chart::PlotSpace& space, const chart::PlotRange& proposed, chart::Coordinate coordinate)
{
    auto& xySpace = static_cast<chart::XYPlotSpace&>(space);
    if (coordinate == chart::Coordinate::Y)
        return xySpace.yRange();
    double length = proposed.lengthDouble();
    double interval = length < 4000 ? 900
        : length < 8000             ? 1800
        : length < 17100            ? 3600
        : length < 50000            ? 10800
                                    : 21600;
    const auto& x = m_graph->xyAxisSet()->xAxis();
    x->setMajorIntervalLength(chart::Decimal::fromDouble(interval));
    x->setLabelFormatter(makeTimeFormatter());
    // Swipes page only while the whole day is shown; a range reaching past
    // the day is cut back to it by the plot space, so it counts as whole.
    double day = xySpace.globalXRange() ? xySpace.globalXRange()->lengthDouble() : 0.0;
    if (length < day)
        removeSwipeGestures();
    else
        addSwipeGestures();
    return proposed;
}

std::size_t GraphViewController::numberOfRecordsForPlot(chart::Plot& plot)
{
    if (plot.identifier() == mainPlotIdentifier)
        return m_numPoints;
    if (plot.identifier() == selectionPlotIdentifier)
        return m_numPoints > 0 ? 1 : 0;
    return 0;
}

std::optional<chart::PlotNumber> GraphViewController::numberForPlot(
    chart::Plot& plot, unsigned field, std::size_t index)
{
    std::uint32_t sampleIndex;
    if (plot.identifier() == mainPlotIdentifier)
        sampleIndex = static_cast<std::uint32_t>(index);
    else if (plot.identifier() == selectionPlotIdentifier)
        sampleIndex = m_selectedIndex;
    else
        return chart::PlotNumber {};
    if (sampleIndex >= m_numPoints)
        return chart::PlotNumber {};
    const DataPoint& sample = getDataPointAtIndex(sampleIndex);
    if (field == 0)
        return chart::PlotNumber { sample.timeInterval() };
    if (field == 1)
        return chart::PlotNumber { sample.doubleMember(valueKey()) };
    return chart::PlotNumber {};
}

std::string GraphViewController::timestampText(const json::Value& milliseconds) const
{
    return m_timestampFormatter.stringFromDate(Date(static_cast<double>(milliseconds.integerValue() / 1000)));
}

std::shared_ptr<const chart::LineStyle> GraphViewController::lineStyleWithColor(
    const std::shared_ptr<const chart::LineStyle>& base, chart::Color color)
{
    auto style = std::make_shared<chart::MutableLineStyle>(*base);
    style->setMiterLimit(1.0);
    style->setLineWidth(3.0);
    style->setLineColor(color);
    return style;
}

std::shared_ptr<const chart::Fill> GraphViewController::mainPlotFill()
{
    auto gradient = chart::Gradient::gradientWithBeginningColor(
        chart::Color::colorWithComponents(0.3, 1.0, 0.3, 0.8), chart::Color::clearColor());
    return chart::Fill::fillWithGradient(gradient->withAngle(-90.0));
}

void GraphViewController::willAnimateRotationToInterfaceOrientation(platform::InterfaceOrientation orientation, double)
{
    layoutForOrientation(orientation);
}

void GraphViewController::layoutForOrientation(platform::InterfaceOrientation orientation)
{
    if (!m_navBar || !m_hostingView)
        return;
    bool portrait = orientation == platform::InterfaceOrientation::Portrait
        || orientation == platform::InterfaceOrientation::PortraitUpsideDown;
    if (portrait) {
        m_navBar->setFrame({ 0, 0, 320, 44 });
        Rect bar = m_navBar->frame();
        m_hostingView->setFrame({ 0, bar.height(), bar.width(), portraitGraphHeightForText() });
    } else {
        m_navBar->setFrame({ 0, 0, 480, 32 });
        Rect bar = m_navBar->frame();
        Rect main = view()->frame();
        m_hostingView->setFrame({ 0, bar.height(), main.height(), main.width() - bar.height() });
    }
    placeOfflineBar();
}

}
