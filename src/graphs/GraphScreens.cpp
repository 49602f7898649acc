#include "graphs/GraphScreens.h"

#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"

namespace hestio {

std::shared_ptr<GraphViewController> makeDevicePowerDrawGraph(std::shared_ptr<Device> device)
{
    return DevicePowerDrawGraphViewController::create(std::move(device));
}

std::shared_ptr<GraphViewController> makeDeviceEnergyGraph(std::shared_ptr<Device> device)
{
    return DeviceEnergyConsumptionGraphViewController::create(std::move(device));
}

std::shared_ptr<GraphViewController> makeHomeEnergyGraph()
{
    return HomeEnergyConsumptionGraphViewController::create();
}

std::shared_ptr<GraphViewController> makeHomeBatteryGraph()
{
    return HomeBatteryGraphViewController::create();
}

}
