#include "charting/PlotArea.h"

#include "charting/AxisSet.h"
#include "charting/XYAxis.h"

namespace hestio::chart {

namespace {

    /// Draws one axis's grid lines of one kind.
    class GridLines : public Layer {
    public:
        GridLines(std::weak_ptr<XYAxis> axis, bool major)
            : m_axis(std::move(axis))
            , m_major(major)
        {
        }

    protected:
        void renderAsVectorInContext(platform::Context& context) override
        {
            if (auto axis = m_axis.lock())
                axis->drawGridLinesInContext(context, m_major);
        }

        bool describeOwnDrawing(platform::Context& context, DrawingSignature& into) override
        {
            if (auto axis = m_axis.lock())
                axis->describeGridLines(context, m_major, into);
            else
                into.add(-1);
            return true;
        }

    private:
        std::weak_ptr<XYAxis> m_axis;
        bool m_major;
    };

    void fitToSuperlayer(Layer& parent)
    {
        for (auto& child : parent.sublayers())
            child->setFrame(parent.bounds());
    }

}

void BorderedLayer::setPaddings(double left, double top, double right, double bottom)
{
    m_paddingLeft = left;
    m_paddingTop = top;
    m_paddingRight = right;
    m_paddingBottom = bottom;
    setNeedsLayout();
}

platform::Rect BorderedLayer::contentRect() const
{
    platform::Rect b = bounds();
    return { m_paddingLeft, m_paddingBottom, std::max(0.0, b.width() - m_paddingLeft - m_paddingRight),
        std::max(0.0, b.height() - m_paddingTop - m_paddingBottom) };
}

void BorderedLayer::renderAsVectorInContext(platform::Context& context)
{
    if (!m_backgroundPaintedAbove)
        drawBackgroundInContext(context);
}

void BorderedLayer::describeBackground(DrawingSignature& into) const
{
    into.add(m_fill);
    into.add(m_borderLineStyle ? 1 : 0);
    if (m_borderLineStyle)
        m_borderLineStyle->describe(into);
    into.add(m_cornerRadius);
}

void BorderedLayer::drawBackgroundInContext(platform::Context& context)
{
    platform::Rect b = bounds();
    if (b.isEmpty())
        return;
    platform::Path outline;
    double inset = m_borderLineStyle ? m_borderLineStyle->lineWidth() / 2 : 0;
    platform::Rect r = b.insetBy(inset, inset);
    if (m_cornerRadius > 0)
        outline.addRoundedRect(r, m_cornerRadius);
    else
        outline.addRect(r);
    if (m_fill)
        m_fill->fillPath(outline, context);
    if (m_borderLineStyle) {
        platform::ContextStateSaver saver(context);
        m_borderLineStyle->setLineStyleInContext(context);
        context.beginPath();
        context.addPath(outline);
        context.stroke();
    }
}

PlotArea::PlotArea()
{
    for (auto* group : { &m_minorGridLineGroup, &m_majorGridLineGroup, &m_axisGroup, &m_plotGroup, &m_axisLabelGroup,
             &m_axisTitleGroup }) {
        *group = std::make_shared<Layer>();
        addSublayer(*group);
    }
    m_plotGroup->setMasksToBounds(false);
}

void PlotArea::setAxisSet(std::shared_ptr<AxisSet> axisSet)
{
    if (axisSet == m_axisSet)
        return;
    if (m_axisSet)
        m_axisSet->removeFromSuperlayer();
    for (auto* group : { &m_minorGridLineGroup, &m_majorGridLineGroup, &m_axisLabelGroup, &m_axisTitleGroup })
        while (!(*group)->sublayers().empty())
            (*group)->sublayers().back()->removeFromSuperlayer();
    m_axisSet = std::move(axisSet);
    if (!m_axisSet)
        return;
    m_axisGroup->addSublayer(m_axisSet);
    for (auto& axis : m_axisSet->axes()) {
        m_minorGridLineGroup->addSublayer(std::make_shared<GridLines>(axis, false));
        m_majorGridLineGroup->addSublayer(std::make_shared<GridLines>(axis, true));
        axis->setPlotArea(this);
    }
    setNeedsLayout();
}

void PlotArea::layoutSublayers()
{
    fitToSuperlayer(*this);
    for (auto& group : sublayers()) {
        if (group == m_axisLabelGroup || group == m_axisTitleGroup)
            continue; // text layers place themselves
        fitToSuperlayer(*group);
        group->setNeedsLayout();
    }
}

PlotAreaFrame::PlotAreaFrame()
    : m_plotArea(std::make_shared<PlotArea>())
{
    addSublayer(m_plotArea);
}

void PlotAreaFrame::layoutSublayers()
{
    m_plotArea->setFrame(contentRect());
    m_plotArea->setNeedsLayout();
}

}
