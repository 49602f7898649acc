#include "graphs/HomeEnergyConsumptionGraphViewController.h"

#include "net/Endpoints.h"
#include "platform/foundation/Calendar.h"

namespace hestio {

std::shared_ptr<HomeEnergyConsumptionGraphViewController> HomeEnergyConsumptionGraphViewController::create(
    std::shared_ptr<Session> session)
{
    auto controller = std::make_shared<HomeEnergyConsumptionGraphViewController>();
    controller->setSession(std::move(session));
    controller->setGraphName("energyConsumed");
    return controller;
}

platform::Date HomeEnergyConsumptionGraphViewController::requestWeekEndingAt(
    platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
{
    platform::Date start = platform::dateAtMidnight(weekEnd.addingTimeInterval(-604800), timezone());
    startWeekRequest(endpoints::kHomeEnergy.path,
        "device_id=battery&from=" + millisecondsText(start) + "&to=" + millisecondsText(weekEnd) + "&block=CLOCK_HOUR",
        std::move(replyTo));
    return start;
}

GraphExportKind HomeEnergyConsumptionGraphViewController::exportKind() const
{
    return { "home-energy", { "kWh", CsvGaps::EmptyHours }, valueKey() };
}

std::string HomeEnergyConsumptionGraphViewController::keptGraphName() const
{
    return "home-energy";
}

}
