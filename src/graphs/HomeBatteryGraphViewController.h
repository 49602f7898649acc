#pragma once

#include "graphs/LineGraphViewController.h"

namespace hestio {

/// The household battery's state of charge in percent, with the voltage of
/// a selected sample. Its title is the graph name the opening screen sets.
class HomeBatteryGraphViewController : public LineGraphViewController {
public:
    [[nodiscard]] static std::shared_ptr<HomeBatteryGraphViewController> create(std::shared_ptr<Session> session);
    HomeBatteryGraphViewController() = default;

    void loadView() override;
    double findAndSetMax() override;

    const std::shared_ptr<platform::Label>& batteryPercentageLabel() const { return m_batteryPercentageLabel; }
    const std::shared_ptr<platform::Label>& voltageLabel() const { return m_voltageLabel; }

protected:
    std::string screenTitle() const override { return graphName(); }
    platform::Date requestWeekEndingAt(
        platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo) override;
    GraphExportKind exportKind() const override;
    std::string keptGraphName() const override;
    const char* replyKey() const override { return "statuses"; }
    std::string valueKey() const override { return "percentage"; }
    bool storesEmptyBlocks() const override { return false; }
    void setupAxes() override;
    void clearLabels() override;
    void showSelectedSample(const DataPoint& sample) override;
    std::string describeFigures(const summary::Figures& figures) const override;

private:
    std::shared_ptr<platform::Label> m_batteryPercentageLabel;
    std::shared_ptr<platform::Label> m_voltageLabel;
};

}
