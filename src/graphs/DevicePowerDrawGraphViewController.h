#pragma once

#include "graphs/LineGraphViewController.h"

namespace hestio {

class Device;

/// The power one device draws, in watts, as a line over a filled area.
class DevicePowerDrawGraphViewController : public LineGraphViewController {
public:
    [[nodiscard]] static std::shared_ptr<DevicePowerDrawGraphViewController> create(
        std::shared_ptr<Session> session, std::shared_ptr<Device> device);
    DevicePowerDrawGraphViewController() = default;

    const std::shared_ptr<Device>& device() const { return m_device; }
    void setDevice(std::shared_ptr<Device> device) { m_device = std::move(device); }

    void loadView() override;
    double findAndSetMax() override;

    const std::shared_ptr<platform::Label>& powerDrawLabel() const { return m_powerDrawLabel; }

protected:
    std::string screenTitle() const override;
    platform::Date requestWeekEndingAt(
        platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo) override;
    GraphExportKind exportKind() const override;
    std::string keptGraphName() const override;
    const char* replyKey() const override { return "statuses"; }
    void setupAxes() override;
    void clearLabels() override;
    void showSelectedSample(const DataPoint& sample) override;
    std::string describeFigures(const summary::Figures& figures) const override;
    /// The meter's energy register, in kWh since it last started from zero.
    std::string counterKey() const override { return "meterReading"; }

private:
    std::shared_ptr<Device> m_device;
    std::shared_ptr<platform::Label> m_powerDrawLabel;
};

}
