#pragma once

#include "charting/BarPlot.h"
#include "graphs/GraphViewController.h"

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

protected:
    /// The vertical axis's major interval, in kilowatt-hours.
    virtual double verticalInterval() const = 0;
    const char* replyKey() const override { return "energyConsumptions"; }
    void setupPlotArea() override;
    void setupAxes() override;
    void clearLabels() override;
    void showSelectedSample(const DataPoint& sample) override;

private:
    std::shared_ptr<platform::Label> m_energyConsumptionLabel;
};

}
