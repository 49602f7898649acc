#pragma once

#include "charting/BandPlot.h"
#include "charting/Graph.h"
#include "graphs/DataGaps.h"
#include "platform/foundation/Date.h"

#include <memory>
#include <vector>

namespace hestio {

/// The marks on the shown day of a graph: where data is missing, hatched
/// across the plot area under the data, and where a meter was reset, an
/// orange line with a dot at its top over the data. Each is a band plot of
/// its own, fed by this object.
class DayMarks : public chart::PlotDataSource, public std::enable_shared_from_this<DayMarks> {
public:
    static constexpr const char* missingPlotIdentifier = "Missing Data Plot";
    static constexpr const char* resetPlotIdentifier = "Meter Reset Plot";

    /// Puts the missing-data plot under every plot of `graph` and the reset
    /// plot over its first one (the screen's "Main Plot"). The graph keeps
    /// the plots; they read from this object while it lives.
    void addPlotsTo(chart::Graph& graph);

    /// The spans and instants (seconds since 1970) to mark, placed on a time
    /// axis whose zero is `refDate`.
    void setMarks(std::vector<TimeSpan> missing, std::vector<double> resets, platform::Date refDate);
    void clear();

    // What is marked, for tests and automation.
    const std::vector<TimeSpan>& missing() const { return m_missing; }
    const std::vector<double>& resets() const { return m_resets; }

    std::size_t numberOfRecordsForPlot(chart::Plot& plot) override;
    std::optional<chart::PlotNumber> numberForPlot(chart::Plot& plot, unsigned field, std::size_t index) override;

    /// The hatch of the missing data: grey lines over a darker tint.
    static std::shared_ptr<const chart::Fill> missingDataFill();

private:
    void reload();

    std::vector<TimeSpan> m_missing;
    std::vector<double> m_resets;
    platform::Date m_refDate;
    std::weak_ptr<chart::BandPlot> m_missingPlot;
    std::weak_ptr<chart::BandPlot> m_resetPlot;
};

}
