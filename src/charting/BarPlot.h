#pragma once

#include "charting/Fill.h"
#include "charting/LineStyle.h"
#include "charting/Plot.h"

namespace hestio::chart {

class BarPlot;

/// A bar plot's data source may give a fill and an outline per record;
/// none keeps the plot's own.
class BarPlotDataSource : public virtual PlotDataSource {
public:
    virtual std::shared_ptr<const Fill> barFillForBarPlot(BarPlot&, std::size_t) { return nullptr; }
    virtual std::shared_ptr<const LineStyle> barLineStyleForBarPlot(BarPlot&, std::size_t) { return nullptr; }
};

class BarPlotDelegate {
public:
    virtual ~BarPlotDelegate() = default;
    virtual void barWasSelectedAtRecordIndex(BarPlot& plot, std::size_t index) = 0;
};

/// One bar per record from a base value up to the record's tip, at the
/// record's location.
class BarPlot : public Plot {
public:
    enum Field : unsigned { Location = 0, Tip = 1, Base = 2 };

    /// How far from the plot area's origin, in points, a bar's base or tip
    /// may lie; a bar reaching further is drawn to there.
    static constexpr double farthestBarEnd = 1e6;

    [[nodiscard]] static std::shared_ptr<BarPlot> create() { return std::make_shared<BarPlot>(); }

    std::shared_ptr<const LineStyle> lineStyle { LineStyle::lineStyle() };
    std::shared_ptr<const Fill> fill { Fill::fillWithColor(Color::blackColor()) };
    Decimal barWidth { Decimal::fromParts(false, 5, -1) };
    double barWidthScale { 1.0 };
    bool barWidthsAreInViewCoordinates { false };
    Decimal barOffset { 0 };
    double barOffsetScale { 1.0 };
    double barCornerRadius { 0 };
    Decimal baseValue { 0 };
    bool barBasesVary { false };
    bool barsAreHorizontal { false };
    std::optional<PlotRange> plotRange;
    std::weak_ptr<BarPlotDelegate> delegate;

    /// Base and tip view points of a record's bar (within ±farthestBarEnd
    /// along the value axis); none when it has no bar.
    std::optional<std::pair<platform::Point, platform::Point>> barAtRecordIndex(std::size_t index);
    /// A length along the location axis, in points.
    double lengthInView(const Decimal& length) const;
    bool barIsVisibleWithBasePoint(platform::Point basePoint) const;
    /// The bar's outline; `context` (optional) snaps the corners to pixels.
    platform::Path newBarPath(platform::Context* context, platform::Point basePoint, platform::Point tipPoint) const;

    bool pointingDeviceDownEvent(const PointerEvent& event, platform::Point point) override;

protected:
    void reloadFieldsInRange(IndexRange range) override;
    std::vector<unsigned> fieldsForCoordinate(Coordinate c) const override;
    void renderAsVectorInContext(platform::Context& context) override;

private:
    platform::Point toPlot(platform::Point plotAreaPoint) const;
};

}
