#include "charting/BarPlot.h"

#include "charting/Exception.h"
#include "charting/Graph.h"
#include "charting/XYPlotSpace.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

void BarPlot::reloadFieldsInRange(IndexRange range)
{
    cacheField(Location, range);
    cacheField(Tip, range);
    if (barBasesVary)
        cacheField(Base, range);
}

std::vector<unsigned> BarPlot::fieldsForCoordinate(Coordinate c) const
{
    bool locationAxis = (c == Coordinate::X) != barsAreHorizontal;
    if (locationAxis)
        return { Location };
    if (barBasesVary)
        return { Tip, Base };
    return { Tip };
}

platform::Point BarPlot::toPlot(platform::Point p) const
{
    if (graph() && graph()->plotAreaFrame()) {
        platform::Point shift = graph()->plotAreaFrame()->plotArea()->convertPointToLayer({ 0, 0 }, this);
        return { p.x + shift.x, p.y + shift.y };
    }
    return p;
}

std::optional<std::pair<platform::Point, platform::Point>> BarPlot::barAtRecordIndex(std::size_t index)
{
    auto space = plotSpace();
    if (!space)
        return std::nullopt;
    double location = cachedDoubleForField(Location, index);
    double tip = cachedDoubleForField(Tip, index);
    double base = barBasesVary ? cachedDoubleForField(Base, index) : baseValue.toDouble();
    if (std::isnan(location) || std::isnan(tip) || std::isnan(base))
        return std::nullopt;
    auto view = [&](double value) {
        platform::Point p = barsAreHorizontal ? space->plotAreaViewPointForDoublePrecisionPlotPoint(value, location)
                                              : space->plotAreaViewPointForDoublePrecisionPlotPoint(location, value);
        // A value far past the range still ends the bar a little beyond the
        // plot area: drawing surfaces hold coordinates in few enough bits
        // that a huge one would come out anywhere.
        double& along = barsAreHorizontal ? p.x : p.y;
        along = std::clamp(along, -farthestBarEnd, farthestBarEnd);
        return toPlot(p);
    };
    return std::make_pair(view(base), view(tip));
}

double BarPlot::lengthInView(const Decimal& length) const
{
    if (barWidthsAreInViewCoordinates)
        return static_cast<float>(length.toDouble());
    auto space = std::dynamic_pointer_cast<XYPlotSpace>(plotSpace());
    if (!space)
        return 0;
    double x = space->xRange().locationDouble(), y = space->yRange().locationDouble();
    double l = length.toDouble();
    platform::Point a = space->plotAreaViewPointForDoublePrecisionPlotPoint(x, y);
    platform::Point b = barsAreHorizontal ? space->plotAreaViewPointForDoublePrecisionPlotPoint(x, y + l)
                                          : space->plotAreaViewPointForDoublePrecisionPlotPoint(x + l, y);
    return barsAreHorizontal ? b.y - a.y : b.x - a.x;
}

bool BarPlot::barIsVisibleWithBasePoint(platform::Point basePoint) const
{
    double half = lengthInView(barWidth) * barWidthScale / 2;
    double across = barsAreHorizontal ? basePoint.y : basePoint.x;
    double lo = across - std::abs(half), hi = across + std::abs(half);
    platform::Rect area = bounds();
    if (graph() && graph()->plotAreaFrame())
        area = graph()->plotAreaFrame()->plotArea()->bounds();
    double areaLo = barsAreHorizontal ? area.minY() : area.minX();
    double areaHi = barsAreHorizontal ? area.maxY() : area.maxX();
    return hi >= areaLo && lo <= areaHi;
}

platform::Path BarPlot::newBarPath(
    platform::Context* context, platform::Point basePoint, platform::Point tipPoint) const
{
    double half = lengthInView(barWidth) * barWidthScale / 2;
    double offset = lengthInView(barOffset) * barOffsetScale;
    // Corners in bar terms: "across" runs along the location axis, "along"
    // from base to tip.
    double across = (barsAreHorizontal ? basePoint.y : basePoint.x) + offset;
    double baseAlong = barsAreHorizontal ? basePoint.x : basePoint.y;
    double tipAlong = barsAreHorizontal ? tipPoint.x : tipPoint.y;
    auto point = [&](double a, double b) {
        platform::Point p = barsAreHorizontal ? platform::Point { b, a } : platform::Point { a, b };
        if (context && alignsPointsToPixels()) {
            double width = lineStyle ? lineStyle->lineWidth() * context->scale() : 0;
            bool odd = static_cast<long>(std::round(width)) % 2 == 1;
            p = odd ? alignPointToPixelCenter(*context, p) : alignPointToPixelCorner(*context, p);
        }
        return p;
    };
    platform::Point b1 = point(across - half, baseAlong), b2 = point(across + half, baseAlong);
    platform::Point t1 = point(across - half, tipAlong), t2 = point(across + half, tipAlong);
    platform::Path path;
    path.moveTo(b1);
    double radius = std::min({ barCornerRadius, std::abs(half), std::abs(tipAlong - baseAlong) / 2 });
    if (radius > 0) {
        // Round only the two corners at the tip end.
        double sign = tipAlong >= baseAlong ? 1 : -1;
        auto along = [&](platform::Point p, double d) {
            return barsAreHorizontal ? platform::Point { p.x + d, p.y } : platform::Point { p.x, p.y + d };
        };
        auto acrossBy = [&](platform::Point p, double d) {
            return barsAreHorizontal ? platform::Point { p.x, p.y + d } : platform::Point { p.x + d, p.y };
        };
        path.lineTo(along(t1, -sign * radius));
        path.curveTo(t1, t1, acrossBy(t1, radius));
        path.lineTo(acrossBy(t2, -radius));
        path.curveTo(t2, t2, along(t2, -sign * radius));
    } else {
        path.lineTo(t1);
        path.lineTo(t2);
    }
    path.lineTo(b2);
    path.close();
    return path;
}

void BarPlot::renderAsVectorInContext(platform::Context& context)
{
    if (isHidden())
        return;
    reloadIfNeeded();
    const auto* locations = cachedDoublesForField(Location);
    const auto* tips = cachedDoublesForField(Tip);
    const auto* bases = cachedDoublesForField(Base);
    if (!locations || !tips || (barBasesVary && !bases) || cachedDataCount() == 0)
        return;
    if (locations->size() != tips->size())
        throw Exception("Number of bar locations and lengths do not match");
    if (barBasesVary && tips->size() != bases->size())
        throw Exception("Number of bar lengths and bases do not match");
    auto source = std::dynamic_pointer_cast<BarPlotDataSource>(dataSource());
    for (std::size_t i = 0; i < locations->size(); ++i) {
        auto bar = barAtRecordIndex(i);
        if (!bar || !barIsVisibleWithBasePoint(bar->first))
            continue;
        platform::ContextStateSaver saver(context);
        platform::Path path = newBarPath(&context, bar->first, bar->second);
        auto barFill = source ? source->barFillForBarPlot(*this, i) : nullptr;
        if (!barFill)
            barFill = fill;
        if (barFill)
            barFill->fillPath(path, context);
        auto outline = source ? source->barLineStyleForBarPlot(*this, i) : nullptr;
        if (!outline)
            outline = lineStyle;
        if (outline) {
            outline->setLineStyleInContext(context);
            context.beginPath();
            context.addPath(path);
            context.stroke();
        }
    }
}

bool BarPlot::pointingDeviceDownEvent(const PointerEvent& event, platform::Point point)
{
    auto d = delegate.lock();
    if (!graph() || !graph()->plotAreaFrame() || !d)
        return Plot::pointingDeviceDownEvent(event, point);
    platform::Point p = graph()->convertPointToLayer(point, graph()->plotAreaFrame()->plotArea().get());
    p = toPlot(p);
    std::size_t count = cachedDataCount();
    for (std::size_t i = 0; i < count; ++i) {
        auto bar = barAtRecordIndex(i);
        if (bar && newBarPath(nullptr, bar->first, bar->second).contains(p)) {
            d->barWasSelectedAtRecordIndex(*this, i);
            return true;
        }
    }
    return false;
}

}
