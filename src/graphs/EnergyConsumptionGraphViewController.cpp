#include "graphs/EnergyConsumptionGraphViewController.h"

#include "charting/XYAxis.h"

#include <cstdio>

namespace hestio {

void EnergyConsumptionGraphViewController::loadView()
{
    GraphViewController::loadView();
    m_energyConsumptionLabel = makeLabel("energyConsumptionLabel", { 10, 413, 230, 20 });
    view()->addSubview(m_energyConsumptionLabel);
}

void EnergyConsumptionGraphViewController::setupPlotArea()
{
    auto self = std::static_pointer_cast<EnergyConsumptionGraphViewController>(shared_from_this());
    auto source = std::shared_ptr<chart::PlotDataSource>(self, static_cast<chart::PlotDataSource*>(this));
    auto delegate = std::shared_ptr<chart::BarPlotDelegate>(self, this);

    auto mainPlot = chart::BarPlot::create();
    mainPlot->setIdentifier(mainPlotIdentifier);
    mainPlot->delegate = delegate;
    mainPlot->setDataSource(source);
    mainPlot->setCachePrecision(chart::Plot::CachePrecision::Double);
    mainPlot->barWidth = chart::Decimal(barWidthSeconds);
    mainPlot->lineStyle = lineStyleWithColor(mainPlot->lineStyle, chart::Color::greenColor());
    mainPlot->fill = mainPlotFill();
    mainPlot->baseValue = chart::Decimal(0);
    graph()->addPlot(mainPlot);

    auto selectionPlot = chart::BarPlot::create();
    selectionPlot->setIdentifier(selectionPlotIdentifier);
    selectionPlot->delegate = delegate;
    selectionPlot->setDataSource(source);
    selectionPlot->setCachePrecision(chart::Plot::CachePrecision::Double);
    selectionPlot->barWidth = chart::Decimal(barWidthSeconds);
    selectionPlot->lineStyle = lineStyleWithColor(mainPlot->lineStyle, chart::Color::redColor());
    selectionPlot->fill = mainPlot->fill;
    selectionPlot->baseValue = chart::Decimal(0);
    graph()->addPlot(selectionPlot);
}

void EnergyConsumptionGraphViewController::setupAxes()
{
    GraphViewController::setupAxes();
    const auto& y = graph()->xyAxisSet()->yAxis();
    y->setMajorIntervalLength(chart::Decimal::fromDouble(verticalInterval()));
    y->setTitle("kWh");
}

double EnergyConsumptionGraphViewController::findAndSetMax()
{
    double m = GraphViewController::findAndSetMax();
    if (m == 0)
        setMaxValue(5.0);
    else if (m < 0.1)
        setMaxValue(0.1);
    else if (m < 0.3)
        setMaxValue(0.3);
    else if (m < 0.5)
        setMaxValue(0.5);
    else if (m < 1.0)
        setMaxValue(1.0);
    else
        setMaxValue(m + m / 10);
    return m;
}

void EnergyConsumptionGraphViewController::clearLabels()
{
    GraphViewController::clearLabels();
    m_energyConsumptionLabel->setText({});
}

void EnergyConsumptionGraphViewController::barWasSelectedAtRecordIndex(chart::BarPlot& plot, std::size_t index)
{
    // The selection's own bar lies over the selected one: tapping it changes nothing.
    if (plot.identifier() == mainPlotIdentifier)
        selectSample(static_cast<std::uint32_t>(index));
}

void EnergyConsumptionGraphViewController::showSelectedSample(const DataPoint& sample)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.4f kWh",
        static_cast<double>(static_cast<float>(sample.point()[valueKey()].doubleValue())));
    m_energyConsumptionLabel->setText(text);
    timestampLabel()->setText(timestampText(sample.point()["from"]));
}

}
