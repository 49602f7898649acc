#pragma once

#include "charting/XYAxis.h"

#include <memory>
#include <vector>

namespace hestio::chart {

/// The axes of a graph: for an XY graph the x axis and then the y axis.
class AxisSet : public Layer {
public:
    AxisSet();
    const std::vector<std::shared_ptr<XYAxis>>& axes() const { return m_axes; }
    void setAxes(std::vector<std::shared_ptr<XYAxis>> axes);
    /// Relabels what moved and places every label and title.
    void layoutAxes();

    virtual bool pointingDeviceDownEvent(platform::Point) { return false; }

protected:
    void layoutSublayers() override;
    /// The axes draw; the set itself draws nothing.
    bool describeOwnDrawing(platform::Context&, DrawingSignature&) override { return true; }

private:
    std::vector<std::shared_ptr<XYAxis>> m_axes;
};

/// The two axes of an XY graph, both with tick direction negative at first.
class XYAxisSet : public AxisSet {
public:
    XYAxisSet();
    const std::shared_ptr<XYAxis>& xAxis() const { return axes()[0]; }
    const std::shared_ptr<XYAxis>& yAxis() const { return axes()[1]; }
};

}
