#include "charting/AxisSet.h"

namespace hestio::chart {

AxisSet::AxisSet() = default;

void AxisSet::setAxes(std::vector<std::shared_ptr<XYAxis>> axes)
{
    for (auto& axis : m_axes)
        axis->removeFromSuperlayer();
    m_axes = std::move(axes);
    for (auto& axis : m_axes)
        addSublayer(axis);
    setNeedsLayout();
}

void AxisSet::layoutSublayers()
{
    for (auto& axis : m_axes)
        axis->setFrame(bounds());
}

void AxisSet::layoutAxes()
{
    for (auto& axis : m_axes)
        axis->layoutLabels();
}

XYAxisSet::XYAxisSet()
{
    auto x = std::make_shared<XYAxis>();
    x->setCoordinate(Coordinate::X);
    x->setTickDirection(Sign::Negative);
    auto y = std::make_shared<XYAxis>();
    y->setCoordinate(Coordinate::Y);
    y->setTickDirection(Sign::Negative);
    setAxes({ x, y });
}

}
