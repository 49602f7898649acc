#include "graphs/DayMarks.h"

namespace hestio {

namespace {

    const chart::Color resetOrange = chart::Color::colorWithComponents(1.0, 0.62, 0.1, 1.0);

    std::shared_ptr<const chart::LineStyle> lineOf(double width, chart::Color color, std::vector<double> dashes = {})
    {
        auto style = std::make_shared<chart::MutableLineStyle>();
        style->setLineWidth(width);
        style->setLineColor(color);
        style->setDashPattern(std::move(dashes));
        return style;
    }

}

std::shared_ptr<const chart::Fill> DayMarks::missingDataFill()
{
    // Plainly not a value: neither the green of the data nor the black of
    // an empty plot, and striped where a zero line would be flat.
    return chart::Fill::fillWithHatch({ chart::Color::colorWithGenericGray(0.62).colorWithAlphaComponent(0.7),
        chart::Color::colorWithComponents(0.22, 0.24, 0.3, 0.75), 5, 1.25, 45 });
}

void DayMarks::addPlotsTo(chart::Graph& graph)
{
    auto source = std::shared_ptr<chart::PlotDataSource>(shared_from_this(), static_cast<chart::PlotDataSource*>(this));

    auto missing = chart::BandPlot::create();
    missing->setIdentifier(missingPlotIdentifier);
    missing->setDataSource(source);
    missing->fill = missingDataFill();
    missing->edgeLineStyle = lineOf(0.5, chart::Color::colorWithGenericGray(0.7).colorWithAlphaComponent(0.8));
    graph.insertPlot(missing, 0);
    m_missingPlot = missing;

    auto reset = chart::BandPlot::create();
    reset->setIdentifier(resetPlotIdentifier);
    reset->setDataSource(source);
    reset->edgeLineStyle = lineOf(1.5, resetOrange, { 4, 3 });
    reset->plotSymbol = chart::PlotSymbol::ellipsePlotSymbol();
    reset->plotSymbol->setSize({ 8, 8 });
    reset->plotSymbol->setFill(chart::Fill::fillWithColor(resetOrange));
    reset->plotSymbol->setLineStyle(nullptr);
    graph.insertPlot(reset, 2);
    m_resetPlot = reset;
}

void DayMarks::setMarks(std::vector<TimeSpan> missing, std::vector<double> resets, platform::Date refDate)
{
    m_missing = std::move(missing);
    m_resets = std::move(resets);
    m_refDate = refDate;
    reload();
}

void DayMarks::clear()
{
    m_missing.clear();
    m_resets.clear();
    reload();
}

void DayMarks::reload()
{
    if (auto plot = m_missingPlot.lock())
        plot->reloadData();
    if (auto plot = m_resetPlot.lock())
        plot->reloadData();
}

std::size_t DayMarks::numberOfRecordsForPlot(chart::Plot& plot)
{
    if (plot.identifier() == missingPlotIdentifier)
        return m_missing.size();
    if (plot.identifier() == resetPlotIdentifier)
        return m_resets.size();
    return 0;
}

std::optional<chart::PlotNumber> DayMarks::numberForPlot(chart::Plot& plot, unsigned field, std::size_t index)
{
    double ref = m_refDate.timeIntervalSince1970();
    if (plot.identifier() == missingPlotIdentifier && index < m_missing.size()) {
        const TimeSpan& span = m_missing[index];
        return chart::PlotNumber { (field == chart::BandPlot::Start ? span.start : span.end) - ref };
    }
    if (plot.identifier() == resetPlotIdentifier && index < m_resets.size())
        return chart::PlotNumber { m_resets[index] - ref };
    return chart::PlotNumber {};
}

}
