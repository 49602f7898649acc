#include "graphs/LineGraphViewController.h"

#include "charting/PlotSymbol.h"

namespace hestio {

void LineGraphViewController::setupPlotArea()
{
    auto self = std::static_pointer_cast<LineGraphViewController>(shared_from_this());

    auto mainPlot = chart::ScatterPlot::create();
    mainPlot->setIdentifier(mainPlotIdentifier);
    mainPlot->setDataSource(std::shared_ptr<chart::PlotDataSource>(self, static_cast<chart::PlotDataSource*>(this)));
    mainPlot->delegate = std::shared_ptr<chart::ScatterPlotDelegate>(self, this);
    // The line has no symbols: a tap selects the nearest sample within 25 points.
    mainPlot->plotSymbolMarginForHitDetection = 25;
    mainPlot->dataLineStyle = lineStyleWithColor(mainPlot->dataLineStyle, chart::Color::greenColor());
    mainPlot->setCachePrecision(chart::Plot::CachePrecision::Double);
    mainPlot->areaFill = mainPlotFill();
    mainPlot->areaBaseValue = chart::Decimal(0);
    graph()->addPlot(mainPlot);

    auto selectionPlot = chart::ScatterPlot::create();
    selectionPlot->setIdentifier(selectionPlotIdentifier);
    selectionPlot->setDataSource(
        std::shared_ptr<chart::PlotDataSource>(self, static_cast<chart::PlotDataSource*>(this)));
    selectionPlot->setCachePrecision(chart::Plot::CachePrecision::Double);
    selectionPlot->dataLineStyle = lineStyleWithColor(mainPlot->dataLineStyle, chart::Color::redColor());
    graph()->addPlot(selectionPlot);
}

std::optional<std::shared_ptr<chart::PlotSymbol>> LineGraphViewController::symbolForScatterPlot(
    chart::ScatterPlot& plot, std::size_t index)
{
    // The line has no symbols: none is kept for each of its records (16
    // bytes each, a quarter of a megabyte a week of minute samples).
    if (plot.identifier() != selectionPlotIdentifier)
        return std::nullopt;
    if (index != 0)
        return std::shared_ptr<chart::PlotSymbol> {};
    // One red dot, made on first use and shared by every line graph.
    static const std::shared_ptr<chart::PlotSymbol> selectedSymbol = [] {
        auto symbol = chart::PlotSymbol::ellipsePlotSymbol();
        symbol->setSize({ 12, 12 });
        symbol->setFill(chart::Fill::fillWithColor(chart::Color::redColor()));
        return symbol;
    }();
    return selectedSymbol;
}

GraphViewController::DayReport LineGraphViewController::reportDay(const DaySamples& day)
{
    std::vector<double> times;
    std::vector<Reading> values;
    std::vector<Reading> counter;
    std::string key = valueKey();
    std::string counted = counterKey();
    auto readingOf = [](const json::Value& value) { return value.isNumber() || value.isString(); };
    for (const DataPoint* sample : day.samples) {
        double t = sampleTime(*sample);
        times.push_back(t);
        if (json::Value value = sample->member(key); readingOf(value))
            values.push_back({ t, value.doubleValue() });
    }
    DayReport report;
    // The rule the exported file goes by too.
    std::vector<DayGaps> judged = findGapsByDay(times, { day.day.start, day.knownUntil }, timezone());
    double usual = judged.empty() ? 0 : judged.front().usualInterval;
    if (!judged.empty())
        report.missingMarks = judged.front().gaps;
    report.missingSeconds = totalLength(report.missingMarks);
    if (auto figures = summary::figuresOf(values, report.missingMarks))
        report.figures = describeFigures(*figures);
    if (!counted.empty()) {
        // The last reading of the day before tells a reset at midnight.
        if (json::Value last = day.before ? day.before->member(counted) : json::Value(); readingOf(last))
            counter.push_back({ sampleTime(*day.before), last.doubleValue() });
        for (const DataPoint* sample : day.samples) {
            if (json::Value value = sample->member(counted); readingOf(value))
                counter.push_back({ sampleTime(*sample), value.doubleValue() });
        }
        report.resets = findResets(counter);
    }
    // The line is not drawn across what the summary calls a gap.
    if (auto plot = std::dynamic_pointer_cast<chart::ScatterPlot>(graph()->plotWithIdentifier(mainPlotIdentifier))) {
        plot->longestJoinedStep = gapThreshold(usual);
    }
    return report;
}

void LineGraphViewController::plotSymbolWasSelectedAtRecordIndex(chart::ScatterPlot& plot, std::size_t index)
{
    if (plot.identifier() == mainPlotIdentifier)
        selectSample(static_cast<std::uint32_t>(index));
}

}
