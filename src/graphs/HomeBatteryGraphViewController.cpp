#include "graphs/HomeBatteryGraphViewController.h"

#include "charting/XYAxis.h"
#include "net/Endpoints.h"
#include "platform/foundation/Calendar.h"

#include <cstdio>

namespace hestio {

namespace {

    std::string formatFloat(const char* format, const json::Value& value)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, static_cast<double>(static_cast<float>(value.doubleValue())));
        return text;
    }

}

std::shared_ptr<HomeBatteryGraphViewController> HomeBatteryGraphViewController::create(std::shared_ptr<Session> session)
{
    auto controller = std::make_shared<HomeBatteryGraphViewController>();
    controller->setSession(std::move(session));
    controller->setGraphName("Battery Percentage");
    return controller;
}

void HomeBatteryGraphViewController::loadView()
{
    LineGraphViewController::loadView();
    m_batteryPercentageLabel = makeLabel("batteryPercentageLabel", readoutFrame(10, 48));
    m_voltageLabel = makeLabel("voltageLabel", readoutFrame(60, 46));
    view()->addSubview(m_batteryPercentageLabel);
    view()->addSubview(m_voltageLabel);
    timestampLabel()->setFrame(readoutFrame(110, 200));
}

platform::Date HomeBatteryGraphViewController::requestWeekEndingAt(
    platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
{
    platform::Date start = platform::dateAtMidnight(weekEnd.addingTimeInterval(-604800), timezone());
    startWeekRequest(endpoints::kBatteryHistory.path,
        "&from=" + millisecondsText(start) + "&to=" + millisecondsText(weekEnd) + "&filter=true&scale=RAW&rounding=1",
        std::move(replyTo));
    return start;
}

double HomeBatteryGraphViewController::findAndSetMax()
{
    setMaxValue(110.0);
    return 110.0;
}

void HomeBatteryGraphViewController::setupAxes()
{
    LineGraphViewController::setupAxes();
    const auto& y = graph()->xyAxisSet()->yAxis();
    setVerticalInterval(10);
    y->setTitle("Percentage");
}

void HomeBatteryGraphViewController::clearLabels()
{
    LineGraphViewController::clearLabels();
    m_batteryPercentageLabel->setText({});
    m_voltageLabel->setText({});
}

void HomeBatteryGraphViewController::showSelectedSample(const DataPoint& sample)
{
    m_batteryPercentageLabel->setText(formatFloat("%.1f %%", sample.member("percentage")));
    m_voltageLabel->setText(formatFloat("%.1f V", sample.member("voltage")));
    timestampLabel()->setText(timestampText(sample.member("timestamp")));
}

std::string HomeBatteryGraphViewController::describeFigures(const summary::Figures& figures) const
{
    return "lowest " + summary::percentage(figures.lowest) + ", highest " + summary::percentage(figures.highest);
}

GraphExportKind HomeBatteryGraphViewController::exportKind() const
{
    return { "home-battery", { "%", CsvGaps::BetweenSamples }, valueKey() };
}

std::string HomeBatteryGraphViewController::keptGraphName() const
{
    return "home-battery";
}

}
