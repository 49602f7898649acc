#include "charting/BandPlot.h"

#include "charting/Exception.h"
#include "charting/Graph.h"
#include "charting/XYPlotSpace.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

namespace {

    /// How far beyond the plot area, in points, a band's edge may be placed:
    /// one far past the range is drawn to there, as a bar is.
    constexpr double farthestEdge = 1e6;

}

void BandPlot::reloadFieldsInRange(IndexRange range)
{
    cacheField(Start, range);
    cacheField(End, range);
}

std::vector<unsigned> BandPlot::fieldsForCoordinate(Coordinate c) const
{
    if (c == Coordinate::X)
        return { Start, End };
    return {};
}

std::optional<platform::Rect> BandPlot::bandAtRecordIndex(std::size_t index)
{
    auto space = plotSpace();
    if (!space || !graph() || !graph()->plotAreaFrame())
        return std::nullopt;
    double start = cachedDoubleForField(Start, index);
    double end = cachedDoubleForField(End, index);
    if (std::isnan(start) || std::isnan(end))
        return std::nullopt;
    const auto& plotArea = graph()->plotAreaFrame()->plotArea();
    platform::Point origin = plotArea->convertPointToLayer({ 0, 0 }, this);
    auto viewX = [&](double x) {
        double y = 0;
        if (auto xy = std::dynamic_pointer_cast<XYPlotSpace>(space))
            y = xy->yRange().locationDouble();
        double at = space->plotAreaViewPointForDoublePrecisionPlotPoint(x, y).x;
        return std::clamp(std::isnan(at) ? 0.0 : at, -farthestEdge, farthestEdge) + origin.x;
    };
    double x0 = viewX(start), x1 = viewX(end);
    double height = plotArea->bounds().height();
    return platform::Rect { std::min(x0, x1), origin.y, std::abs(x1 - x0), height };
}

void BandPlot::renderAsVectorInContext(platform::Context& context)
{
    if (isHidden())
        return;
    reloadIfNeeded();
    const auto* starts = cachedDoublesForField(Start);
    const auto* ends = cachedDoublesForField(End);
    if (!starts || !ends || cachedDataCount() == 0)
        return;
    if (starts->size() != ends->size())
        throw Exception("Number of band starts and ends do not match");
    platform::Rect area = bounds();
    if (graph() && graph()->plotAreaFrame()) {
        const auto& plotArea = graph()->plotAreaFrame()->plotArea();
        area = { plotArea->convertPointToLayer({ 0, 0 }, this), plotArea->bounds().size };
    }
    for (std::size_t i = 0; i < starts->size(); ++i) {
        auto band = bandAtRecordIndex(i);
        if (!band || band->maxX() < area.minX() || band->minX() > area.maxX())
            continue;
        platform::ContextStateSaver saver(context);
        if (fill && band->width() > 0)
            fill->fillRect(*band, context);
        if (edgeLineStyle) {
            edgeLineStyle->setLineStyleInContext(context);
            context.beginPath();
            for (double x : { band->minX(), band->maxX() }) {
                context.moveTo({ x, band->minY() });
                context.lineTo({ x, band->maxY() });
                if (band->width() == 0)
                    break;
            }
            context.stroke();
        }
        if (plotSymbol) {
            double x = cachedDoubleForField(Start, i) <= cachedDoubleForField(End, i) ? band->minX() : band->maxX();
            double top = band->maxY() - plotSymbol->size().height / 2;
            plotSymbol->renderAsVectorInContext(context, { x, top }, 1);
        }
    }
}

}
