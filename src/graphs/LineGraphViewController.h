#pragma once

#include "charting/ScatterPlot.h"
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
};

}
