#pragma once

#include "charting/Color.h"
#include "charting/Layer.h"
#include "platform/gfx/Context.h"

#include <memory>
#include <vector>

namespace hestio::chart {

/// How a line is stroked. Shared between users as
/// std::shared_ptr<const LineStyle>; MutableLineStyle is the one to set up.
class LineStyle {
public:
    LineStyle() = default;
    [[nodiscard]] static std::shared_ptr<const LineStyle> lineStyle() { return std::make_shared<LineStyle>(); }

    double lineWidth() const { return m_lineWidth; }
    Color lineColor() const { return m_lineColor; }
    platform::LineCap lineCap() const { return m_lineCap; }
    platform::LineJoin lineJoin() const { return m_lineJoin; }
    double miterLimit() const { return m_miterLimit; }
    /// Empty: a solid line.
    const std::vector<double>& dashPattern() const { return m_dashPattern; }
    double patternPhase() const { return m_patternPhase; }

    /// Cap, join, miter limit, width, dashes (or solid) and colour, in that order.
    void setLineStyleInContext(platform::Context& context) const;
    /// Appends every value that decides how lines in this style draw.
    void describe(DrawingSignature& into) const;

protected:
    double m_lineWidth { 1.0 };
    Color m_lineColor { Color::blackColor() };
    platform::LineCap m_lineCap { platform::LineCap::Butt };
    platform::LineJoin m_lineJoin { platform::LineJoin::Miter };
    double m_miterLimit { 10.0 };
    std::vector<double> m_dashPattern;
    double m_patternPhase { 0 };
};

class MutableLineStyle : public LineStyle {
public:
    MutableLineStyle() = default;
    explicit MutableLineStyle(const LineStyle& other)
        : LineStyle(other)
    {
    }
    void setLineWidth(double width) { m_lineWidth = width; }
    void setLineColor(Color color) { m_lineColor = color; }
    void setLineCap(platform::LineCap cap) { m_lineCap = cap; }
    void setLineJoin(platform::LineJoin join) { m_lineJoin = join; }
    void setMiterLimit(double limit) { m_miterLimit = limit; }
    void setDashPattern(std::vector<double> pattern) { m_dashPattern = std::move(pattern); }
    void setPatternPhase(double phase) { m_patternPhase = phase; }
};

}
