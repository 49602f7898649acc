#pragma once

#include "charting/PlotRange.h"
#include "charting/TextLayer.h"

namespace hestio::chart {

/// Side of the axis line on which ticks and labels stand.
enum class Sign { Negative = -1, None = 0, Positive = 1 };

/// Label and title alignment.
enum class Alignment { Left = 0, Center = 1, Right = 2, Top = 3, Middle = 4, Bottom = 5 };

/// A label at one tick location. Two labels are equal when their tick
/// locations are equal.
class AxisLabel {
public:
    AxisLabel(std::string text, std::shared_ptr<const TextStyle> style);
    explicit AxisLabel(std::shared_ptr<TextLayer> contentLayer);

    const std::shared_ptr<TextLayer>& contentLayer() const { return m_contentLayer; }
    void setContentLayer(std::shared_ptr<TextLayer> layer) { m_contentLayer = std::move(layer); }
    double offset { 20.0 };
    double rotation { 0 };
    Alignment alignment { Alignment::Center };
    Decimal tickLocation;

    bool operator==(const AxisLabel& other) const { return tickLocation == other.tickLocation; }
    /// |tick location| modulo 2^32 − 1, as an unsigned integer; 0 for NaN.
    std::uint32_t hash() const;

    /// Places the content layer `offset` away from `point` across the axis
    /// (`coordinate` is the one the label moves along) on the side given by
    /// `direction`.
    void positionRelativeToViewPoint(platform::Point point, Coordinate coordinate, Sign direction);

private:
    std::shared_ptr<TextLayer> m_contentLayer;
};

}
