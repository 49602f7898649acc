#include "graphs/DevicePowerDrawGraphViewController.h"

#include "charting/XYAxis.h"
#include "graphs/GraphSummary.h"
#include "model/Device.h"
#include "model/QuantityText.h"
#include "model/ShownName.h"

#include <cstdio>

namespace hestio {

std::shared_ptr<DevicePowerDrawGraphViewController> DevicePowerDrawGraphViewController::create(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device)
{
    auto controller = std::make_shared<DevicePowerDrawGraphViewController>();
    controller->setSession(std::move(session));
    controller->setDevice(std::move(device));
    controller->setGraphName("powerDraw");
    return controller;
}

void DevicePowerDrawGraphViewController::loadView()
{
    LineGraphViewController::loadView();
    m_powerDrawLabel = makeLabel("powerDrawLabel", readoutFrame(10, 64));
    view()->addSubview(m_powerDrawLabel);
    timestampLabel()->setFrame(readoutFrame(78, 232));
}

std::string DevicePowerDrawGraphViewController::screenTitle() const
{
    return m_device ? safeName(m_device->deviceName) : std::string();
}

platform::Date DevicePowerDrawGraphViewController::requestWeekEndingAt(
    platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
{
    // Without a device there is nothing to ask for; the window stays empty.
    if (!m_device)
        return weekEnd;
    return m_device->getPowerDrawStatusesFromView(replyTo, weekEnd);
}

double DevicePowerDrawGraphViewController::findAndSetMax()
{
    double m = LineGraphViewController::findAndSetMax();
    setMaxValue(m != 0 ? m + m / 10 : 5.0);
    return m;
}

void DevicePowerDrawGraphViewController::setupAxes()
{
    LineGraphViewController::setupAxes();
    const auto& y = graph()->xyAxisSet()->yAxis();
    setVerticalInterval(maxValue() > 1200 ? 100 : maxValue() > 800 ? 50 : 25);
    y->setTitle("Watts");
}

void DevicePowerDrawGraphViewController::clearLabels()
{
    LineGraphViewController::clearLabels();
    m_powerDrawLabel->setText({});
}

void DevicePowerDrawGraphViewController::showSelectedSample(const DataPoint& sample)
{
    char text[64];
    std::snprintf(
        text, sizeof text, "%.1f W", static_cast<double>(static_cast<float>(sample.doubleMember("powerDraw"))));
    m_powerDrawLabel->setText(text);
    timestampLabel()->setText(timestampText(sample.member("timestamp")));
}

std::string DevicePowerDrawGraphViewController::describeFigures(const summary::Figures& figures) const
{
    return "peak " + quantity::power(figures.highest) + ", average " + quantity::power(figures.average);
}

GraphExportKind DevicePowerDrawGraphViewController::exportKind() const
{
    return { fileNamePart(m_device ? m_device->deviceName : std::string()) + "-power", { "W", CsvGaps::BetweenSamples },
        "powerDraw" };
}

std::string DevicePowerDrawGraphViewController::keptGraphName() const
{
    return m_device ? "power-" + m_device->deviceID : std::string();
}

}
