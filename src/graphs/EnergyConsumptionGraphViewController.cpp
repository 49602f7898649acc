#include "graphs/EnergyConsumptionGraphViewController.h"

#include "charting/XYAxis.h"
#include "graphs/GraphSummary.h"
#include "model/QuantityText.h"
#include "model/User.h"
#include "platform/foundation/CurrencyFormatter.h"
#include "platform/foundation/UserDefaults.h"

#include <cstdio>

namespace hestio {

void EnergyConsumptionGraphViewController::loadView()
{
    GraphViewController::loadView();
    m_energyConsumptionLabel = makeLabel("energyConsumptionLabel", readoutFrame(10, 74));
    view()->addSubview(m_energyConsumptionLabel);
    m_costLabel = makeLabel("costLabel", readoutFrame(86, 60));
    view()->addSubview(m_costLabel);
    timestampLabel()->setFrame(readoutFrame(150, 160));
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
    setVerticalInterval(verticalInterval());
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
    m_costLabel->setText({});
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
    std::snprintf(
        text, sizeof text, "%.4f kWh", static_cast<double>(static_cast<float>(sample.doubleMember(valueKey()))));
    m_energyConsumptionLabel->setText(text);
    timestampLabel()->setText(timestampText(sample.member("from")));
    auto kept = tariff();
    m_costLabel->setText(kept
            ? costText(
                kept->costOf(sample.doubleMember(valueKey()), platform::Date(sampleTime(sample)), timezone()), *kept)
            : std::string());
}

std::optional<Tariff> EnergyConsumptionGraphViewController::tariff() const
{
    auto user = session() ? session()->curUser() : nullptr;
    if (!user)
        return std::nullopt;
    return Tariff::load(platform::UserDefaults::standard(), user->username);
}

std::string EnergyConsumptionGraphViewController::costText(double amount, const Tariff& tariff)
{
    return platform::CurrencyFormatter(tariff.currency, platform::Locale::current()).string(amount);
}

GraphViewController::DayReport EnergyConsumptionGraphViewController::reportDay(const DaySamples& day)
{
    auto kept = tariff();
    std::vector<double> starts;
    double energy = 0;
    double cost = 0;
    for (const DataPoint* sample : day.samples) {
        double from = sampleTime(*sample);
        double kWh = sample->doubleMember(valueKey());
        starts.push_back(from);
        energy += kWh;
        if (kept)
            cost += kept->costOf(kWh, platform::Date(from), timezone());
    }
    DayReport report;
    // The rule the exported file goes by too.
    auto missing = findMissingHoursByDay(starts, { day.day.start, day.knownUntil }, timezone());
    report.missingSeconds = totalLength(missing);
    // An empty slot where the hour's bar would stand, as wide as a bar.
    for (const TimeSpan& hour : missing)
        report.missingMarks.push_back({ hour.start - barWidthSeconds / 2.0, hour.start + barWidthSeconds / 2.0 });
    if (!day.samples.empty())
        report.figures = quantity::energy(energy) + (kept ? ", " + costText(cost, *kept) : std::string());
    return report;
}

}
