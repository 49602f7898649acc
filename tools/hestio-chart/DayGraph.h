#pragma once

#include "charting/Graph.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"

#include <memory>
#include <optional>
#include <vector>

namespace hestio::chart {

/// One sample on the day's time axis: seconds after midnight and a value
/// (NaN: no value).
struct DaySample {
    double seconds;
    double value;
};

/// How a day graph is drawn.
struct DayGraphOptions {
    enum class Kind { Line, Bar };
    Kind kind { Kind::Line };
    platform::Size size { 320, 367 };
    platform::Date midnight; ///< the zero of the time axis
    platform::TimeZone zone { platform::TimeZone::gmt() };
    std::optional<PlotRange> zoom; ///< seconds within the day
    std::optional<std::size_t> selectedIndex;
    std::string valueTitle { "Watts" };
};

/// A graph set up the way the graph screens set theirs up: the "Dark
/// Gradients" theme, paddings 15/45/15/65 on the plot area frame, six-hour
/// time labels in the zone, grid lines, the value axis on the right, and a
/// "Main Plot" and a "Selection Plot" (lines with a green area, or bars).
class DayGraph {
public:
    DayGraph(std::vector<DaySample> samples, DayGraphOptions options);
    ~DayGraph();

    [[nodiscard]] const std::shared_ptr<XYGraph>& graph() const { return m_graph; }
    /// The top of the value axis: the largest value plus a tenth (5 when all
    /// are 0), as the power-draw screen computes it; bars use the energy
    /// screen's steps.
    [[nodiscard]] double maxValue() const { return m_maxValue; }

private:
    class Source;

    /// Time along the bottom in the zone, values on the right, with grids.
    void setUpAxes(const DayGraphOptions& options, bool bars);
    /// The main and selection plots, lines or bars, on the samples.
    void addPlots(bool bars);

    std::shared_ptr<Source> m_source;
    std::shared_ptr<XYGraph> m_graph;
    double m_maxValue { 5 };
};

/// The major time interval the screens pick for a visible length in seconds.
[[nodiscard]] double majorTimeIntervalForLength(double seconds);

}
