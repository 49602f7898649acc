#include "DayGraph.h"

#include "charting/BarPlot.h"
#include "charting/ScatterPlot.h"
#include "charting/Theme.h"
#include "platform/foundation/DateFormatter.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

namespace {

    const char* const mainPlot = "Main Plot";
    constexpr double kLargestAxisValue = 1e160;
    const char* const selectionPlot = "Selection Plot";

    std::shared_ptr<const LineStyle> lineStyle(Color color, double width, double miterLimit = 10)
    {
        auto style = std::make_shared<MutableLineStyle>();
        style->setLineColor(color);
        style->setLineWidth(width);
        style->setMiterLimit(miterLimit);
        return style;
    }

    std::shared_ptr<const TextStyle> whiteText(double size)
    {
        auto style = std::make_shared<MutableTextStyle>();
        style->setColor(Color::whiteColor());
        style->setFontSize(size);
        return style;
    }

    std::shared_ptr<const Fill> greenArea()
    {
        return Fill::fillWithGradient(
            Gradient::gradientWithBeginningColor(Color::colorWithComponents(0.3, 1.0, 0.3, 0.8), Color::clearColor())
                ->withAngle(-90));
    }

}

double majorTimeIntervalForLength(double seconds)
{
    if (seconds < 4000)
        return 900;
    if (seconds < 8000)
        return 1800;
    if (seconds < 17100)
        return 3600;
    if (seconds < 50000)
        return 10800;
    return 21600;
}

/// Answers both plots from the samples, as the screens' data-source rules do.
class DayGraph::Source final : public ScatterPlotDataSource, public BarPlotDataSource {
public:
    Source(std::vector<DaySample> samples, std::size_t selected)
        : m_samples(std::move(samples))
        , m_selected(selected)
    {
    }

    std::size_t numberOfRecordsForPlot(Plot& plot) override
    {
        if (plot.identifier() == mainPlot)
            return m_samples.size();
        if (plot.identifier() == selectionPlot)
            return m_samples.empty() ? 0 : 1;
        return 0;
    }

    std::optional<std::vector<double>> doublesForPlot(Plot& plot, unsigned field, IndexRange range) override
    {
        std::vector<double> values;
        values.reserve(range.length);
        for (std::size_t i = range.location; i < range.end(); ++i) {
            std::size_t index = plot.identifier() == selectionPlot ? m_selected : i;
            if (index >= m_samples.size() || field > 1)
                values.push_back(std::nan(""));
            else
                values.push_back(field == 0 ? m_samples[index].seconds : m_samples[index].value);
        }
        return values;
    }

    std::optional<std::shared_ptr<PlotSymbol>> symbolForScatterPlot(ScatterPlot& plot, std::size_t index) override
    {
        if (plot.identifier() != selectionPlot || index != 0)
            return std::shared_ptr<PlotSymbol>();
        if (!m_selectionSymbol) {
            m_selectionSymbol = PlotSymbol::ellipsePlotSymbol();
            m_selectionSymbol->setSize({ 12, 12 });
            m_selectionSymbol->setFill(Fill::fillWithColor(Color::redColor()));
        }
        return m_selectionSymbol;
    }

private:
    std::vector<DaySample> m_samples;
    std::size_t m_selected;
    std::shared_ptr<PlotSymbol> m_selectionSymbol;
};

namespace {

    /// The top of the value axis for these samples.
    double axisTop(const std::vector<DaySample>& samples, bool bars)
    {
        double maxValue;
        double largest = 0;
        for (const auto& s : samples)
            if (!std::isnan(s.value))
                largest = std::max(largest, s.value);
        if (bars) {
            maxValue = largest == 0 ? 5.0
                : largest < 0.1     ? 0.1
                : largest < 0.3     ? 0.3
                : largest < 0.5     ? 0.5
                : largest < 1.0     ? 1.0
                                    : largest + largest / 10;
        } else {
            maxValue = largest != 0 ? largest + largest / 10 : 5.0;
        }
        // The value axis runs on decimals, which end near 1e165: a larger
        // value (or one whose tenth more overflows) tops the axis at 1e160 and
        // is drawn past its top rather than leaving the axis without a range.
        if (!(maxValue <= kLargestAxisValue))
            maxValue = kLargestAxisValue;
        return maxValue;
    }

}

DayGraph::DayGraph(std::vector<DaySample> samples, DayGraphOptions options)
{
    bool bars = options.kind == DayGraphOptions::Kind::Bar;
    m_maxValue = axisTop(samples, bars);
    m_source = std::make_shared<Source>(std::move(samples), options.selectedIndex.value_or(0));

    m_graph = XYGraph::create({ 0, 0, options.size.width, options.size.height });
    auto theme = Theme::themeNamed(DarkGradientTheme);
    m_graph->applyTheme(theme.get());
    m_graph->setPaddings(0, 0, 0, 0);
    m_graph->plotAreaFrame()->setPaddings(15, 15, 65, 45);

    auto space = m_graph->defaultXYPlotSpace();
    space->setAllowsUserInteraction(true);
    PlotRange day(Decimal(0), Decimal(86400));
    space->setXRange(day);
    space->setGlobalXRange(day);
    space->setYRange(PlotRange(Decimal(0), Decimal::fromDouble(m_maxValue)));

    setUpAxes(options, bars);

    addPlots(bars);
    if (!options.selectedIndex)
        m_graph->plotWithIdentifier(selectionPlot)->setHidden(true);
    m_graph->reloadData();
    if (options.zoom)
        space->setXRange(*options.zoom);
}

void DayGraph::setUpAxes(const DayGraphOptions& options, bool bars)
{
    auto majorGrid = lineStyle(Color::colorWithComponents(0.2, 0.2, 0.2, 0.75), 0.75);
    auto minorGrid = lineStyle(Color::whiteColor().colorWithAlphaComponent(0.1), 0.25);
    auto axisSet = m_graph->xyAxisSet();

    auto timeFormatter = std::make_shared<platform::DateFormatter>();
    timeFormatter->setTimeStyle(platform::DateFormatter::Style::Short);
    timeFormatter->setTimeZone(options.zone);
    auto timeLabels = std::make_shared<TimeFormatter>(timeFormatter);
    timeLabels->setReferenceDate(options.midnight);

    auto x = axisSet->xAxis();
    double visible = options.zoom ? std::abs(options.zoom->lengthDouble()) : 86400;
    x->setMajorIntervalLength(Decimal::fromDouble(majorTimeIntervalForLength(visible)));
    x->setMinorTicksPerInterval(0);
    x->setLabelFormatter(timeLabels);
    x->setLabelTextStyle(whiteText(12));
    x->setLabelOffset(8);
    x->majorGridLineStyle = majorGrid;
    x->minorGridLineStyle = minorGrid;
    x->setAxisConstraints(Constraints::constraintWithLowerOffset(0));
    x->titleOffset = 25;
    platform::DateFormatter dayTitle("MM/dd/yyyy");
    dayTitle.setTimeZone(options.zone);
    x->setTitle(dayTitle.stringFromDate(options.midnight));

    auto y = axisSet->yAxis();
    y->setOrthogonalCoordinateDecimal(Decimal(86400));
    y->setTickDirection(Sign::Positive);
    y->titleOffset = 42;
    y->setAxisConstraints(Constraints::constraintWithUpperOffset(0));
    y->setLabelTextStyle(whiteText(12));
    y->majorGridLineStyle = majorGrid;
    y->minorGridLineStyle = minorGrid;
    if (bars)
        y->setMajorIntervalLength(Decimal::fromParts(false, 1, -1));
    else
        y->setMajorIntervalLength(Decimal(m_maxValue > 1200 ? 100 : m_maxValue > 800 ? 50 : 25));
    y->setTitle(options.valueTitle);
}

void DayGraph::addPlots(bool bars)
{
    auto green = lineStyle(Color::greenColor(), 3.0, 1.0);
    auto red = lineStyle(Color::redColor(), 3.0, 1.0);
    if (bars) {
        for (bool selection : { false, true }) {
            auto plot = BarPlot::create();
            plot->setIdentifier(selection ? selectionPlot : mainPlot);
            plot->setCachePrecision(Plot::CachePrecision::Double);
            plot->barWidth = Decimal(2400);
            plot->lineStyle = selection ? red : green;
            plot->fill = greenArea();
            plot->baseValue = Decimal(0);
            plot->setDataSource(m_source);
            m_graph->addPlot(plot);
        }
    } else {
        auto main = ScatterPlot::create();
        main->setIdentifier(mainPlot);
        main->plotSymbolMarginForHitDetection = 25;
        main->dataLineStyle = green;
        main->setCachePrecision(Plot::CachePrecision::Double);
        main->areaFill = greenArea();
        main->areaBaseValue = Decimal(0);
        main->setDataSource(m_source);
        m_graph->addPlot(main);
        auto selection = ScatterPlot::create();
        selection->setIdentifier(selectionPlot);
        selection->setCachePrecision(Plot::CachePrecision::Double);
        selection->dataLineStyle = red;
        selection->setDataSource(m_source);
        m_graph->addPlot(selection);
    }
}

DayGraph::~DayGraph() = default;

}
