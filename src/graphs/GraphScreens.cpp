#include "graphs/GraphScreens.h"

#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"

namespace hestio {

std::shared_ptr<GraphViewController> makeDevicePowerDrawGraph(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device)
{
    return DevicePowerDrawGraphViewController::create(std::move(session), std::move(device));
}

std::shared_ptr<GraphViewController> makeDeviceEnergyGraph(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device)
{
    return DeviceEnergyConsumptionGraphViewController::create(std::move(session), std::move(device));
}

std::shared_ptr<GraphViewController> makeHomeEnergyGraph(std::shared_ptr<Session> session)
{
    return HomeEnergyConsumptionGraphViewController::create(std::move(session));
}

std::shared_ptr<GraphViewController> makeHomeBatteryGraph(std::shared_ptr<Session> session)
{
    return HomeBatteryGraphViewController::create(std::move(session));
}

}
