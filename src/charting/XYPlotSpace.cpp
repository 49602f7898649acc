#include "charting/XYPlotSpace.h"

#include "charting/Exception.h"
#include "charting/Graph.h"
#include "charting/Notifications.h"
#include "charting/Plot.h"
#include "platform/foundation/NotificationCenter.h"

#include <cmath>

namespace hestio::chart {

namespace {

    const char* const scaleTypeNotSupported = "Scale type not supported in CHXYPlotSpace";

}

std::optional<PlotRange> XYPlotSpace::plotRangeForCoordinate(Coordinate coordinate) const
{
    switch (coordinate) {
    case Coordinate::X:
        return m_xRange;
    case Coordinate::Y:
        return m_yRange;
    }
    return std::nullopt;
}

void XYPlotSpace::setPlotRange(const PlotRange& range, Coordinate coordinate)
{
    if (coordinate == Coordinate::X)
        setXRange(range);
    else if (coordinate == Coordinate::Y)
        setYRange(range);
}

void XYPlotSpace::setXRange(const PlotRange& range)
{
    storeRange(range, Coordinate::X);
}

void XYPlotSpace::setYRange(const PlotRange& range)
{
    storeRange(range, Coordinate::Y);
}

void XYPlotSpace::storeRange(const PlotRange& range, Coordinate coordinate)
{
    PlotRange& current = coordinate == Coordinate::X ? m_xRange : m_yRange;
    if (range.isEqualToRange(current))
        return;
    const auto& global = coordinate == Coordinate::X ? m_globalXRange : m_globalYRange;
    current = *constrainRange(range, global);
    platform::NotificationCenter::defaultCenter().post(PlotSpaceCoordinateMappingDidChangeNotification, this);
    if (auto d = delegate())
        d->didChangePlotRangeForCoordinate(*this, coordinate);
    postRedraw();
}

void XYPlotSpace::setGlobalXRange(const std::optional<PlotRange>& range)
{
    if (range == m_globalXRange)
        return;
    m_globalXRange = range;
    // Confine the visible range to the new limit; an unchanged result is
    // filtered out by setXRange itself.
    storeRange(*constrainRange(m_xRange, m_globalXRange), Coordinate::X);
}

void XYPlotSpace::setGlobalYRange(const std::optional<PlotRange>& range)
{
    if (range == m_globalYRange)
        return;
    m_globalYRange = range;
    storeRange(*constrainRange(m_yRange, m_globalYRange), Coordinate::Y);
}

void XYPlotSpace::setXScaleType(ScaleType type)
{
    if (type == m_xScaleType)
        return;
    m_xScaleType = type;
    postRedraw();
}

void XYPlotSpace::setYScaleType(ScaleType type)
{
    if (type == m_yScaleType)
        return;
    m_yScaleType = type;
    postRedraw();
}

void XYPlotSpace::setScaleType(ScaleType type, Coordinate coordinate)
{
    if (coordinate == Coordinate::X)
        setXScaleType(type);
    else if (coordinate == Coordinate::Y)
        setYScaleType(type);
}

ScaleType XYPlotSpace::scaleTypeForCoordinate(Coordinate coordinate) const
{
    switch (coordinate) {
    case Coordinate::X:
        return m_xScaleType;
    case Coordinate::Y:
        return m_yScaleType;
    }
    return ScaleType::Linear;
}

void XYPlotSpace::postRedraw() const
{
    if (graph())
        platform::NotificationCenter::defaultCenter().post(GraphNeedsRedrawNotification, graph());
}

std::optional<PlotRange> XYPlotSpace::constrainRange(
    const std::optional<PlotRange>& range, const std::optional<PlotRange>& global)
{
    if (!global || !range)
        return range;
    if (range->length() >= global->length())
        return *global;
    MutablePlotRange result(*range);
    result.shiftEndToFitInRange(*global);
    result.shiftLocationToFitInRange(*global);
    return PlotRange(result);
}

void XYPlotSpace::scaleToFitPlots(const std::vector<std::shared_ptr<Plot>>& plots)
{
    if (plots.empty())
        return;
    std::optional<MutablePlotRange> x, y;
    for (const auto& plot : plots) {
        if (!plot)
            continue;
        auto px = plot->plotRangeForCoordinate(Coordinate::X);
        auto py = plot->plotRangeForCoordinate(Coordinate::Y);
        if (!x && px)
            x.emplace(*px);
        else if (x)
            x->unionPlotRange(px);
        if (!y && py)
            y.emplace(*py);
        else if (y)
            y->unionPlotRange(py);
    }
    if (x && !x->length().isZero())
        setXRange(*x);
    if (y && !y->length().isZero())
        setYRange(*y);
}

std::optional<platform::Size> XYPlotSpace::plotAreaSize() const
{
    if (!graph() || !graph()->plotAreaFrame() || !graph()->plotAreaFrame()->plotArea())
        return std::nullopt;
    return graph()->plotAreaFrame()->plotArea()->bounds().size;
}

double XYPlotSpace::viewCoordinateForViewLength(double viewLength, const PlotRange& range, const Decimal& value)
{
    Decimal factor = (value - range.location()) / range.length();
    if (factor.isNaN())
        return 0;
    return viewLength * static_cast<float>(factor.toDouble());
}

double XYPlotSpace::viewCoordinateForViewLength(double viewLength, const PlotRange& range, double value)
{
    if (range.lengthDouble() == 0)
        return 0;
    const double offset = value - range.locationDouble();
    const double coordinate = viewLength * offset / range.lengthDouble();
    // A value far past a wide range overflows the product on the way, not
    // the result: divide first then.
    if (std::isinf(coordinate) && std::isfinite(offset))
        return viewLength * (offset / range.lengthDouble());
    return coordinate;
}

double XYPlotSpace::viewCoordinateForViewLengthLog(double viewLength, const PlotRange& range, double value)
{
    if (range.minLimitDouble() <= 0 || range.maxLimitDouble() <= 0 || value <= 0)
        return 0;
    double logLocation = std::log10(range.locationDouble());
    return viewLength * (std::log10(value) - logLocation) / (std::log10(range.endDouble()) - logLocation);
}

double XYPlotSpace::mapCoordinate(double viewLength, ScaleType type, const PlotRange& range, double value) const
{
    switch (type) {
    case ScaleType::Linear:
        return viewCoordinateForViewLength(viewLength, range, value);
    case ScaleType::Log:
        return viewCoordinateForViewLengthLog(viewLength, range, value);
    }
    throw Exception(scaleTypeNotSupported);
}

platform::Point XYPlotSpace::plotAreaViewPointForPlotPoint(const Decimal& x, const Decimal& y) const
{
    auto size = plotAreaSize();
    if (!size)
        return {};
    auto one = [&](double length, ScaleType type, const PlotRange& range, const Decimal& v) -> double {
        switch (type) {
        case ScaleType::Linear:
            return viewCoordinateForViewLength(length, range, v);
        case ScaleType::Log:
            return viewCoordinateForViewLengthLog(length, range, v.toDouble());
        }
        throw Exception(scaleTypeNotSupported);
    };
    return { static_cast<float>(one(size->width, m_xScaleType, m_xRange, x)),
        static_cast<float>(one(size->height, m_yScaleType, m_yRange, y)) };
}

platform::Point XYPlotSpace::plotAreaViewPointForDoublePrecisionPlotPoint(double x, double y) const
{
    auto size = plotAreaSize();
    if (!size)
        return {};
    return { mapCoordinate(size->width, m_xScaleType, m_xRange, x),
        mapCoordinate(size->height, m_yScaleType, m_yRange, y) };
}

std::pair<Decimal, Decimal> XYPlotSpace::plotPointForPlotAreaViewPoint(platform::Point point) const
{
    auto size = plotAreaSize();
    if (!size)
        return { Decimal(0), Decimal(0) };
    constexpr auto away = Decimal::Rounding::HalfAwayFromZero;
    auto one = [&](double view, double length, const PlotRange& range) {
        Decimal fraction = Decimal::fromDouble(view).divide(Decimal::fromDouble(length), away);
        return range.location().add(fraction.multiply(range.length(), away), away);
    };
    return { one(point.x, size->width, m_xRange), one(point.y, size->height, m_yRange) };
}

std::pair<double, double> XYPlotSpace::doublePrecisionPlotPointForPlotAreaViewPoint(platform::Point point) const
{
    auto size = plotAreaSize();
    if (!size)
        return { 0, 0 };
    return { m_xRange.locationDouble() + (point.x / size->width) * m_xRange.lengthDouble(),
        m_yRange.locationDouble() + (point.y / size->height) * m_yRange.lengthDouble() };
}

PlotRange XYPlotSpace::askDelegate(const PlotRange& proposed, Coordinate coordinate)
{
    if (auto d = delegate())
        if (auto answer = d->willChangePlotRangeTo(*this, proposed, coordinate))
            return *answer;
    return proposed;
}

void XYPlotSpace::scaleBy(double factor, platform::Point point)
{
    if (!graph() || !graph()->plotAreaFrame() || factor <= 1e-6)
        return;
    auto plotArea = graph()->plotAreaFrame()->plotArea();
    if (!plotArea || !plotArea->bounds().contains(point))
        return;
    if (auto d = delegate(); d && d->shouldScaleBy(*this, factor, point) == false)
        return;
    auto [qx, qy] = plotPointForPlotAreaViewPoint(point);
    Decimal s = Decimal::fromDouble(factor);
    auto zoomed = [&](const PlotRange& r, const Decimal& q) {
        Decimal location = r.length() >= Decimal(0) ? q - (q - r.minLimit()) / s : q + (r.maxLimit() - q) / s;
        return PlotRange(location, r.length() / s);
    };
    PlotRange newX = askDelegate(zoomed(m_xRange, qx), Coordinate::X);
    PlotRange newY = askDelegate(zoomed(m_yRange, qy), Coordinate::Y);
    setXRange(newX);
    setYRange(newY);
}

bool XYPlotSpace::pointingDeviceDownEvent(const PointerEvent& event, platform::Point point)
{
    if (PlotSpace::pointingDeviceDownEvent(event, point))
        return true;
    if (!allowsUserInteraction() || !graph() || !graph()->plotAreaFrame())
        return false;
    auto frame = graph()->plotAreaFrame();
    platform::Point p = graph()->convertPointToLayer(point, frame.get());
    if (!frame->bounds().contains(p))
        return false;
    m_lastDragPoint = p;
    m_isDragging = true;
    return true;
}

bool XYPlotSpace::pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point)
{
    if (PlotSpace::pointingDeviceDraggedEvent(event, point))
        return true;
    if (!allowsUserInteraction() || !graph() || !graph()->plotAreaFrame() || !m_isDragging)
        return false;
    platform::Point m = graph()->convertPointToLayer(point, graph()->plotAreaFrame().get());
    platform::Point used = m;
    if (auto d = delegate()) {
        platform::Point displacement { m.x - m_lastDragPoint.x, m.y - m_lastDragPoint.y };
        if (auto answer = d->willDisplaceBy(*this, displacement))
            used = { m_lastDragPoint.x + answer->x, m_lastDragPoint.y + answer->y };
    }
    auto [oldX, oldY] = plotPointForPlotAreaViewPoint(m_lastDragPoint);
    auto [newX, newY] = plotPointForPlotAreaViewPoint(used);
    MutablePlotRange x(m_xRange), y(m_yRange);
    x.setLocation(x.location() + (oldX - newX));
    y.setLocation(y.location() + (oldY - newY));
    PlotRange finalX = askDelegate(x, Coordinate::X);
    PlotRange finalY = askDelegate(y, Coordinate::Y);
    setXRange(finalX);
    setYRange(finalY);
    m_lastDragPoint = m;
    return true;
}

bool XYPlotSpace::pointingDeviceUpEvent(const PointerEvent& event, platform::Point point)
{
    if (PlotSpace::pointingDeviceUpEvent(event, point))
        return true;
    if (!allowsUserInteraction() || !graph() || !graph()->plotAreaFrame())
        return false;
    if (!m_isDragging)
        return false;
    m_isDragging = false;
    return true;
}

}
