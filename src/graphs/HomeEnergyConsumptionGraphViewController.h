#pragma once

#include "graphs/EnergyConsumptionGraphViewController.h"

namespace hestio {

/// The household's energy per clock hour, asked for under the home's own
/// meter id "battery" in the household's zone.
class HomeEnergyConsumptionGraphViewController : public EnergyConsumptionGraphViewController {
public:
    [[nodiscard]] static std::shared_ptr<HomeEnergyConsumptionGraphViewController> create(
        std::shared_ptr<Session> session);
    HomeEnergyConsumptionGraphViewController() = default;

protected:
    std::string keptGraphName() const override;
    std::string screenTitle() const override { return "Home Energy Consumption"; }
    double verticalInterval() const override { return 0.5; }
    platform::Date requestWeekEndingAt(
        platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo) override;
    GraphExportKind exportKind() const override;
};

}
