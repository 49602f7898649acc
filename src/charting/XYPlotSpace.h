#pragma once

#include "charting/PlotSpace.h"

#include <memory>
#include <vector>

namespace hestio::chart {

class Plot;

enum class ScaleType { Linear = 0, Log = 1 };

/// An x range and a y range, optionally confined to global ranges, mapped
/// linearly or logarithmically onto the graph's plot area; pinch zoom and
/// drag pan with their delegate hooks.
class XYPlotSpace : public PlotSpace {
public:
    XYPlotSpace() = default;

    const PlotRange& xRange() const { return m_xRange; }
    const PlotRange& yRange() const { return m_yRange; }
    void setXRange(const PlotRange& range);
    void setYRange(const PlotRange& range);
    const std::optional<PlotRange>& globalXRange() const { return m_globalXRange; }
    const std::optional<PlotRange>& globalYRange() const { return m_globalYRange; }
    void setGlobalXRange(const std::optional<PlotRange>& range);
    void setGlobalYRange(const std::optional<PlotRange>& range);
    ScaleType xScaleType() const { return m_xScaleType; }
    ScaleType yScaleType() const { return m_yScaleType; }
    void setXScaleType(ScaleType type);
    void setYScaleType(ScaleType type);
    void setScaleType(ScaleType type, Coordinate coordinate);
    ScaleType scaleTypeForCoordinate(Coordinate coordinate) const;
    platform::Point lastDragPoint() const { return m_lastDragPoint; }
    bool isDragging() const { return m_isDragging; }

    std::optional<PlotRange> plotRangeForCoordinate(Coordinate coordinate) const override;
    void setPlotRange(const PlotRange& range, Coordinate coordinate) override;

    /// The range slid (or shrunk) to lie inside `global`; none gives none.
    [[nodiscard]] static std::optional<PlotRange> constrainRange(
        const std::optional<PlotRange>& range, const std::optional<PlotRange>& global);
    /// Sets both ranges to the union of the plots' ranges.
    void scaleToFitPlots(const std::vector<std::shared_ptr<Plot>>& plots);

    platform::Point plotAreaViewPointForPlotPoint(const Decimal& x, const Decimal& y) const override;
    platform::Point plotAreaViewPointForDoublePrecisionPlotPoint(double x, double y) const override;
    [[nodiscard]] static double viewCoordinateForViewLength(
        double viewLength, const PlotRange& range, const Decimal& value);
    [[nodiscard]] static double viewCoordinateForViewLength(double viewLength, const PlotRange& range, double value);
    [[nodiscard]] static double viewCoordinateForViewLengthLog(double viewLength, const PlotRange& range, double value);

    /// Always linear, whatever the scale types; (0, 0) without a plot area.
    [[nodiscard]] std::pair<Decimal, Decimal> plotPointForPlotAreaViewPoint(platform::Point point) const;
    [[nodiscard]] std::pair<double, double> doublePrecisionPlotPointForPlotAreaViewPoint(platform::Point point) const;

    /// Zooms by `factor` (> 1 zooms in) keeping the data under `point`
    /// (plot-area coordinates) in place.
    void scaleBy(double factor, platform::Point point);

    bool pointingDeviceDownEvent(const PointerEvent& event, platform::Point point) override;
    bool pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point) override;
    bool pointingDeviceUpEvent(const PointerEvent& event, platform::Point point) override;

private:
    void storeRange(const PlotRange& range, Coordinate coordinate);
    PlotRange askDelegate(const PlotRange& proposed, Coordinate coordinate);
    double mapCoordinate(double viewLength, ScaleType type, const PlotRange& range, double value) const;
    void postRedraw() const;
    std::optional<platform::Size> plotAreaSize() const;

    PlotRange m_xRange { 0, 1 };
    PlotRange m_yRange { 0, 1 };
    std::optional<PlotRange> m_globalXRange;
    std::optional<PlotRange> m_globalYRange;
    ScaleType m_xScaleType { ScaleType::Linear };
    ScaleType m_yScaleType { ScaleType::Linear };
    platform::Point m_lastDragPoint;
    bool m_isDragging { false };
};

}
