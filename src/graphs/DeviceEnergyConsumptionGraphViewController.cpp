#include "graphs/DeviceEnergyConsumptionGraphViewController.h"

#include "model/Device.h"
#include "model/ShownName.h"

namespace hestio {

std::shared_ptr<DeviceEnergyConsumptionGraphViewController> DeviceEnergyConsumptionGraphViewController::create(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device)
{
    auto controller = std::make_shared<DeviceEnergyConsumptionGraphViewController>();
    controller->setSession(std::move(session));
    controller->setDevice(std::move(device));
    controller->setGraphName("energyConsumed");
    return controller;
}

std::string DeviceEnergyConsumptionGraphViewController::screenTitle() const
{
    return m_device ? safeName(m_device->deviceName) : std::string();
}

platform::Date DeviceEnergyConsumptionGraphViewController::requestWeekEndingAt(
    platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
{
    if (!m_device)
        return weekEnd;
    return m_device->getEnergyConsumptionStatusesFromView(replyTo, weekEnd);
}

GraphExportKind DeviceEnergyConsumptionGraphViewController::exportKind() const
{
    return { fileNamePart(m_device ? m_device->deviceName : std::string()) + "-energy", { "kWh", CsvGaps::EmptyHours },
        valueKey() };
}

std::string DeviceEnergyConsumptionGraphViewController::keptGraphName() const
{
    return m_device ? "energy-" + m_device->deviceID : std::string();
}

}
