#pragma once

#include "charting/ScatterPlot.h"
#include "graphs/GraphSummary.h"
#include "graphs/GraphViewController.h"

namespace hestio {

/// The line-graph family: samples joined by a green line over a fading green
/// area, the selected sample marked by a red dot.
class LineGraphViewController : public GraphViewController,
                                public chart::ScatterPlotDataSource,
                                public chart::ScatterPlotDelegate {
public:
    std::optional<std::shared_ptr<chart::PlotSymbol>> symbolForScatterPlot(
        chart::ScatterPlot& plot, std::size_t index) override;
    void plotSymbolWasSelectedAtRecordIndex(chart::ScatterPlot& plot, std::size_t index) override;

protected:
    void setupPlotArea() override;
    /// The day's gaps, figures and (from `counterKey`) meter resets; the
    /// line breaks where a gap is.
    DayReport reportDay(const DaySamples& day) override;
    /// The day's figures in words ("peak 1843 W, average 612 W").
    virtual std::string describeFigures(const summary::Figures& figures) const = 0;
    /// The sample key of a meter register that only counts up, so that a
    /// reading going back is a reset; empty when the samples carry none.
    virtual std::string counterKey() const { return {}; }
};

}
