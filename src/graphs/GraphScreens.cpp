#include "graphs/GraphScreens.h"

#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"

namespace hestio {

std::shared_ptr<GraphViewController> makeHomeEnergyGraph()
{
    return HomeEnergyConsumptionGraphViewController::create();
}

std::shared_ptr<GraphViewController> makeHomeBatteryGraph()
{
    return HomeBatteryGraphViewController::create();
}

}
