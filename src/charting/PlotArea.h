#pragma once

#include "charting/Fill.h"
#include "charting/Layer.h"
#include "charting/LineStyle.h"

namespace hestio::chart {

class AxisSet;
class XYAxis;

/// A layer with a fill, a border and rounded corners, and paddings that
/// inset its content.
class BorderedLayer : public Layer {
public:
    const std::shared_ptr<const Fill>& fill() const { return m_fill; }
    void setFill(std::shared_ptr<const Fill> fill) { m_fill = std::move(fill); }
    const std::shared_ptr<const LineStyle>& borderLineStyle() const { return m_borderLineStyle; }
    void setBorderLineStyle(std::shared_ptr<const LineStyle> style) { m_borderLineStyle = std::move(style); }
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius) { m_cornerRadius = radius; }

    double paddingLeft() const { return m_paddingLeft; }
    double paddingTop() const { return m_paddingTop; }
    double paddingRight() const { return m_paddingRight; }
    double paddingBottom() const { return m_paddingBottom; }
    void setPaddingLeft(double v) { setPaddings(v, m_paddingTop, m_paddingRight, m_paddingBottom); }
    void setPaddingTop(double v) { setPaddings(m_paddingLeft, v, m_paddingRight, m_paddingBottom); }
    void setPaddingRight(double v) { setPaddings(m_paddingLeft, m_paddingTop, v, m_paddingBottom); }
    void setPaddingBottom(double v) { setPaddings(m_paddingLeft, m_paddingTop, m_paddingRight, v); }
    void setPaddings(double left, double top, double right, double bottom);
    /// The bounds inside the paddings.
    platform::Rect contentRect() const;

    /// Appends what decides the fill and the border as drawn.
    void describeBackground(DrawingSignature& into) const;
    /// Draws the fill and the border alone, in this layer's coordinates.
    void drawBackgroundInContext(platform::Context& context);
    /// On: the fill and the border are already on the screen (a superlayer
    /// painted them from kept pixels), and drawing the layer leaves them out.
    void setBackgroundPaintedAbove(bool painted) { m_backgroundPaintedAbove = painted; }

protected:
    void renderAsVectorInContext(platform::Context& context) override;

private:
    bool m_backgroundPaintedAbove { false };
    std::shared_ptr<const Fill> m_fill;
    std::shared_ptr<const LineStyle> m_borderLineStyle;
    double m_cornerRadius { 0 };
    double m_paddingLeft { 0 }, m_paddingTop { 0 }, m_paddingRight { 0 }, m_paddingBottom { 0 };
};

/// Where plots, axes, grid lines, labels and titles are drawn, in this order
/// from the bottom: minor grid lines, major grid lines, axis lines and ticks,
/// plots, axis labels, axis titles. Every group covers the plot area exactly,
/// so all of them share its coordinates.
class PlotArea : public Layer {
public:
    PlotArea();

    const std::shared_ptr<Layer>& minorGridLineGroup() const { return m_minorGridLineGroup; }
    const std::shared_ptr<Layer>& majorGridLineGroup() const { return m_majorGridLineGroup; }
    const std::shared_ptr<Layer>& axisGroup() const { return m_axisGroup; }
    const std::shared_ptr<Layer>& plotGroup() const { return m_plotGroup; }
    const std::shared_ptr<Layer>& axisLabelGroup() const { return m_axisLabelGroup; }
    const std::shared_ptr<Layer>& axisTitleGroup() const { return m_axisTitleGroup; }

    const std::shared_ptr<AxisSet>& axisSet() const { return m_axisSet; }
    /// Puts the axis set's axes into the tree with a grid-line layer each.
    void setAxisSet(std::shared_ptr<AxisSet> axisSet);

protected:
    void layoutSublayers() override;

private:
    std::shared_ptr<Layer> m_minorGridLineGroup, m_majorGridLineGroup, m_axisGroup, m_plotGroup, m_axisLabelGroup,
        m_axisTitleGroup;
    std::shared_ptr<AxisSet> m_axisSet;
};

/// The plot area with its frame: fill, border and corner radius, and the
/// paddings around the plot area (where axis labels and titles stand).
class PlotAreaFrame : public BorderedLayer {
public:
    PlotAreaFrame();
    const std::shared_ptr<PlotArea>& plotArea() const { return m_plotArea; }

protected:
    void layoutSublayers() override;

private:
    std::shared_ptr<PlotArea> m_plotArea;
};

}
