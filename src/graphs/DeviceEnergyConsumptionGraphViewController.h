#pragma once

#include "graphs/EnergyConsumptionGraphViewController.h"

namespace hestio {

class Device;

/// The energy one device used in each clock hour, in kilowatt-hours.
class DeviceEnergyConsumptionGraphViewController : public EnergyConsumptionGraphViewController {
public:
    [[nodiscard]] static std::shared_ptr<DeviceEnergyConsumptionGraphViewController> create(
        std::shared_ptr<Session> session, std::shared_ptr<Device> device);
    DeviceEnergyConsumptionGraphViewController() = default;

    const std::shared_ptr<Device>& device() const { return m_device; }
    void setDevice(std::shared_ptr<Device> device) { m_device = std::move(device); }

protected:
    std::string keptGraphName() const override;
    std::string screenTitle() const override;
    double verticalInterval() const override { return 0.1; }
    platform::Date requestWeekEndingAt(
        platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo) override;
    GraphExportKind exportKind() const override;

private:
    std::shared_ptr<Device> m_device;
};

}
