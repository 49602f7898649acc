#pragma once

#include "charting/BarPlot.h"
#include "graphs/GraphViewController.h"
#include "model/Tariff.h"

#include <optional>

namespace hestio {

/// The bar-graph family: one bar per clock hour with the energy used in it,
/// in kilowatt-hours; the selected hour's bar outlined in red.
class EnergyConsumptionGraphViewController : public GraphViewController,
                                             public chart::BarPlotDataSource,
                                             public chart::BarPlotDelegate {
public:
    /// Bars are 40 minutes of the time axis wide.
    static constexpr int barWidthSeconds = 2400;

    void loadView() override;
    void barWasSelectedAtRecordIndex(chart::BarPlot& plot, std::size_t index) override;
    double findAndSetMax() override;

    const std::shared_ptr<platform::Label>& energyConsumptionLabel() const { return m_energyConsumptionLabel; }
    /// The selected hour's cost beside its energy, with a tariff.
    const std::shared_ptr<platform::Label>& costLabel() const { return m_costLabel; }

protected:
    /// The vertical axis's major interval, in kilowatt-hours.
    virtual double verticalInterval() const = 0;
    const char* replyKey() const override { return "energyConsumptions"; }
    void setupPlotArea() override;
    void setupAxes() override;
    void clearLabels() override;
    void showSelectedSample(const DataPoint& sample) override;
    /// The day's energy (and cost, with a tariff) and its hours without a
    /// block, marked as empty slots where their bars would stand.
    DayReport reportDay(const DaySamples& day) override;

private:
    /// The signed-in user's tariff, when one is kept.
    [[nodiscard]] std::optional<Tariff> tariff() const;
    [[nodiscard]] static std::string costText(double amount, const Tariff& tariff);

    std::shared_ptr<platform::Label> m_energyConsumptionLabel;
    std::shared_ptr<platform::Label> m_costLabel;
};

}
