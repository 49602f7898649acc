#pragma once

#include "charting/Fill.h"
#include "charting/LineStyle.h"
#include "charting/Plot.h"
#include "charting/PlotSymbol.h"

namespace hestio::chart {

/// Stretches along x marked across the whole height of the plot area: a
/// night, a stretch without data, or, at no width, a moment. Each record is
/// a band from its Start to its End (in either order); the band is filled,
/// its two edges are drawn with the edge line style (one line where Start
/// equals End), and the symbol, when there is one, stands at the top of its
/// Start edge. A record with a missing end has no band.
class BandPlot : public Plot {
public:
    enum Field : unsigned { Start = 0, End = 1 };

    [[nodiscard]] static std::shared_ptr<BandPlot> create() { return std::make_shared<BandPlot>(); }

    /// The inside of each band; none leaves it unfilled.
    std::shared_ptr<const Fill> fill;
    /// The band's edges; none draws none.
    std::shared_ptr<const LineStyle> edgeLineStyle;
    std::shared_ptr<PlotSymbol> plotSymbol;

    /// A band's rectangle in the plot's coordinates, the height of the plot
    /// area; none when it has no band.
    [[nodiscard]] std::optional<platform::Rect> bandAtRecordIndex(std::size_t index);

protected:
    void reloadFieldsInRange(IndexRange range) override;
    std::vector<unsigned> fieldsForCoordinate(Coordinate c) const override;
    void renderAsVectorInContext(platform::Context& context) override;
};

}
