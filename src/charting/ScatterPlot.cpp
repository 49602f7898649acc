#include "charting/ScatterPlot.h"

#include "charting/Exception.h"
#include "charting/Graph.h"
#include "charting/LineCoverage.h"
#include "charting/XYPlotSpace.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

namespace {

    bool isMissing(platform::Point p)
    {
        return std::isnan(p.x) || std::isnan(p.y);
    }

    /// Whether a line in this style is what the column-by-column coverage
    /// draws: solid, butt ends and bevel joins (a miter limit of 1 or less
    /// bevels every join).
    bool strokesAsBevelledLine(const LineStyle& style)
    {
        bool bevels = style.lineJoin() == platform::LineJoin::Bevel
            || (style.lineJoin() == platform::LineJoin::Miter && style.miterLimit() <= 1);
        return bevels && style.dashPattern().empty() && style.lineCap() == platform::LineCap::Butt;
    }

}

void ScatterPlot::reloadFieldsInRange(IndexRange range)
{
    loadFieldsInRange(range);
    m_hasRecordSymbols = std::any_of(m_plotSymbols.begin(), m_plotSymbols.end(), [](auto& s) { return s != nullptr; });
}

void ScatterPlot::loadFieldsInRange(IndexRange range)
{
    auto source = dataSource();
    if (!source) {
        clearField(X);
        clearField(Y);
        m_plotSymbols.clear();
        return;
    }
    cacheField(X, range);
    cacheField(Y, range);
    auto scatterSource = std::dynamic_pointer_cast<ScatterPlotDataSource>(source);
    if (!scatterSource) {
        m_plotSymbols.clear();
        return;
    }
    std::size_t count = cachedDoublesForField(X) ? cachedDoublesForField(X)->size() : 0;
    auto pad = [&] {
        if (m_plotSymbols.size() < count)
            m_plotSymbols.resize(count);
    };
    if (auto symbols = scatterSource->symbolsForScatterPlot(*this, range)) {
        pad();
        for (std::size_t i = 0; i < range.length && i < symbols->size(); ++i)
            m_plotSymbols[range.location + i] = (*symbols)[i];
    } else if (range.length == 0) {
        return;
    } else if (auto first = scatterSource->symbolForScatterPlot(*this, range.location)) {
        pad();
        m_plotSymbols[range.location] = *first;
        for (std::size_t i = range.location + 1; i < range.end(); ++i)
            m_plotSymbols[i] = scatterSource->symbolForScatterPlot(*this, i).value_or(nullptr);
    } else {
        m_plotSymbols.clear();
    }
}

std::vector<char> ScatterPlot::calculatePointsToDraw(bool visiblePointsOnly)
{
    reloadIfNeeded();
    const auto* xs = cachedDoublesForField(X);
    const auto* ys = cachedDoublesForField(Y);
    std::size_t n = xs && ys ? std::min(xs->size(), ys->size()) : 0;
    std::vector<char> flags(n, 0);
    bool dashed = dataLineStyle && !dataLineStyle->dashPattern().empty();
    if (areaFill || areaFill2 || dashed) {
        std::fill(flags.begin(), flags.end(), 1);
        return flags;
    }
    auto space = std::dynamic_pointer_cast<XYPlotSpace>(plotSpace());
    if (!space || n == 0)
        return flags;
    const PlotRange& xRange = space->xRange();
    const PlotRange& yRange = space->yRange();
    auto classify = [&](std::size_t i, RangeComparison& cx, RangeComparison& cy, bool& missing) {
        double x = (*xs)[i], y = (*ys)[i];
        missing = std::isnan(x) || std::isnan(y);
        cx = xRange.compareToDouble(x);
        cy = cx == RangeComparison::Inside ? yRange.compareToDouble(y) : RangeComparison::Inside;
    };
    RangeComparison cx0, cy0, cx1, cy1;
    bool missing0, missing1;
    classify(0, cx0, cy0, missing0);
    flags[0] = cx0 == RangeComparison::Inside && cy0 == RangeComparison::Inside && !missing0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        classify(i + 1, cx1, cy1, missing1);
        if (!visiblePointsOnly && !missing0 && !missing1 && (cx0 != cx1 || cy0 != cy1)) {
            flags[i] = 1;
            flags[i + 1] = 1;
        } else if (cx1 == RangeComparison::Inside && cy1 == RangeComparison::Inside && !missing1) {
            flags[i + 1] = 1;
        }
        cx0 = cx1;
        cy0 = cy1;
        missing0 = missing1;
    }
    return flags;
}

std::vector<platform::Point> ScatterPlot::calculateViewPoints(const std::vector<char>& drawFlags)
{
    const auto* xs = cachedDoublesForField(X);
    const auto* ys = cachedDoublesForField(Y);
    std::vector<platform::Point> points(drawFlags.size(), platform::Point { std::nan(""), std::nan("") });
    auto space = plotSpace();
    if (!space || !xs || !ys)
        return points;
    platform::Point shift;
    if (graph() && graph()->plotAreaFrame())
        shift = graph()->plotAreaFrame()->plotArea()->convertPointToLayer({ 0, 0 }, this);
    auto xy = std::dynamic_pointer_cast<XYPlotSpace>(space);
    bool linear = xy && xy->xScaleType() == ScaleType::Linear && xy->yScaleType() == ScaleType::Linear;
    // The linear mapping inlined: the same arithmetic as the plot space's,
    // without looking the plot area up again for every record.
    double sx = 0, sy = 0, lx = 0, ly = 0;
    if (linear && graph() && graph()->plotAreaFrame()) {
        platform::Size size = graph()->plotAreaFrame()->plotArea()->bounds().size;
        lx = xy->xRange().locationDouble();
        ly = xy->yRange().locationDouble();
        sx = xy->xRange().lengthDouble() == 0 ? 0 : size.width / xy->xRange().lengthDouble();
        sy = xy->yRange().lengthDouble() == 0 ? 0 : size.height / xy->yRange().lengthDouble();
    } else {
        linear = false;
    }
    for (std::size_t i = 0; i < drawFlags.size(); ++i) {
        if (!drawFlags[i])
            continue;
        double x = (*xs)[i], y = (*ys)[i];
        if (std::isnan(x) || std::isnan(y))
            continue;
        platform::Point p = linear ? platform::Point { (x - lx) * sx, (y - ly) * sy }
                                   : space->plotAreaViewPointForDoublePrecisionPlotPoint(x, y);
        points[i] = { p.x + shift.x, p.y + shift.y };
    }
    return points;
}

namespace {

    /// std::round (halves away from zero, the sign of zero kept) without the
    /// call into the maths library, which took a tenth of a frame of 86,400
    /// points: x minus its truncation is exact, so the halves compare exactly.
    inline double roundHalfAway(double x)
    {
        if (!(std::abs(x) < 4503599627370496.0)) // 2^52: whole already, or not a number
            return x;
        double whole = static_cast<double>(static_cast<long long>(x));
        double rest = x - whole;
        if (rest >= 0.5)
            return whole + 1;
        if (rest <= -0.5)
            return whole - 1;
        return whole == 0 ? std::copysign(0.0, x) : whole;
    }

}

void ScatterPlot::snapToPixels(platform::Context& context, std::vector<platform::Point>& points) const
{
    platform::AffineTransform t = context.currentTransform();
    platform::AffineTransform inverse = t.inverted();
    double half = dataLineStyle && dataLineStyle->lineWidth() > 0 ? 0.5 : 0;
    for (auto& p : points) {
        if (isMissing(p))
            continue;
        platform::Point d = t.apply(p);
        p = inverse.apply({ roundHalfAway(d.x) + half, roundHalfAway(d.y) + half });
    }
}

platform::Path ScatterPlot::newDataLinePath(
    const std::vector<platform::Point>& points, IndexRange range, double baselineY) const
{
    platform::Path path;
    path.reserve(range.length + 8);
    bool open = false;
    platform::Point runFirst, previous;
    auto closeRun = [&] {
        if (open && !std::isnan(baselineY)) {
            path.lineTo({ previous.x, baselineY });
            path.lineTo({ runFirst.x, baselineY });
            path.close();
        }
        open = false;
    };
    for (std::size_t i = range.location; i < range.end() && i < points.size(); ++i) {
        platform::Point p = points[i];
        if (isMissing(p)) {
            closeRun();
            continue;
        }
        if (!open) {
            path.moveTo(p);
            runFirst = p;
            open = true;
        } else {
            switch (interpolation) {
            case Interpolation::Linear:
                path.lineTo(p);
                break;
            case Interpolation::Stepped:
                path.lineTo({ p.x, previous.y });
                path.lineTo(p);
                break;
            case Interpolation::Histogram: {
                double middle = (previous.x + p.x) / 2;
                path.lineTo({ middle, previous.y });
                path.lineTo({ middle, p.y });
                path.lineTo(p);
                break;
            }
            default:
                throw Exception("Interpolation method not supported in scatter plot.");
            }
        }
        previous = p;
    }
    closeRun();
    return path;
}

std::vector<platform::Point> ScatterPlot::reducedForDrawing(
    const std::vector<platform::Point>& points, IndexRange range) const
{
    // Points snapped into one device pixel column lie on one vertical line.
    // Between the second and the second-to-last of such a run the line only
    // goes up and down, so the lowest and highest points cover everything
    // in between; the first two and last two keep the joins with the
    // neighbouring columns exactly as they were. Areas are unchanged too:
    // vertical segments enclose nothing.
    std::vector<platform::Point> out;
    out.reserve(std::min<std::size_t>(range.length, 8192));
    std::size_t i = range.location, end = std::min(range.end(), points.size());
    while (i < end) {
        if (isMissing(points[i])) {
            out.push_back(points[i++]);
            continue;
        }
        std::size_t j = i + 1;
        while (j < end && points[j].x == points[i].x && !isMissing(points[j]))
            ++j;
        std::size_t count = j - i;
        if (count <= 6) {
            out.insert(out.end(), points.begin() + i, points.begin() + j);
        } else {
            std::size_t low = i + 1, high = i + 1;
            for (std::size_t k = i + 1; k + 1 < j; ++k) {
                if (points[k].y < points[low].y)
                    low = k;
                if (points[k].y > points[high].y)
                    high = k;
            }
            std::size_t keep[] = { i, i + 1, std::min(low, high), std::max(low, high), j - 2, j - 1 };
            std::size_t last = SIZE_MAX;
            for (std::size_t k : keep) {
                if (k != last)
                    out.push_back(points[k]);
                last = k;
            }
        }
        i = j;
    }
    return out;
}

std::vector<platform::Point> ScatterPlot::withoutPointsBeyond(
    const std::vector<platform::Point>& points, IndexRange range, double left, double right)
{
    // A segment is kept when its horizontal extent meets [left, right]; with
    // the interpolations' corners between its ends, so is all it draws. What
    // is left out lies on one side, joined to the rest only through points
    // outside [left, right]: the line's joins and caps there do not reach in,
    // and for an area, closing each piece down to the baseline instead of
    // the whole run adds or removes only regions outside [left, right].
    const platform::Point gap { std::nan(""), std::nan("") };
    std::size_t end = std::min(range.end(), points.size());
    auto meets = [&](platform::Point a, platform::Point b) {
        return !isMissing(a) && !isMissing(b) && std::max(a.x, b.x) >= left && std::min(a.x, b.x) <= right;
    };
    std::vector<platform::Point> out;
    auto breakRun = [&] {
        if (!out.empty() && !isMissing(out.back()))
            out.push_back(gap);
    };
    for (std::size_t i = range.location; i < end; ++i) {
        platform::Point p = points[i];
        bool keep = !isMissing(p)
            && ((p.x >= left && p.x <= right) || (i > range.location && meets(points[i - 1], p))
                || (i + 1 < end && meets(p, points[i + 1])));
        if (keep)
            out.push_back(p);
        else
            breakRun();
    }
    return out;
}

std::vector<platform::Point> ScatterPlot::withBreaksAtLongSteps(
    const std::vector<platform::Point>& points, IndexRange range, const std::vector<double>& xs) const
{
    const platform::Point gap { std::nan(""), std::nan("") };
    std::size_t end = std::min({ range.end(), points.size(), xs.size() });
    std::vector<platform::Point> out;
    out.reserve(range.length + 16);
    std::optional<double> previousX;
    for (std::size_t i = range.location; i < end; ++i) {
        if (isMissing(points[i])) {
            out.push_back(points[i]);
            previousX.reset();
            continue;
        }
        // Decided on the data, not on the points snapped to pixels, so that
        // a step exactly as long as the limit is always joined.
        if (previousX && std::abs(xs[i] - *previousX) > longestJoinedStep)
            out.push_back(gap);
        out.push_back(points[i]);
        previousX = xs[i];
    }
    return out;
}

std::shared_ptr<PlotSymbol> ScatterPlot::symbolForRecord(std::size_t index) const
{
    if (index < m_plotSymbols.size() && m_plotSymbols[index])
        return m_plotSymbols[index];
    return plotSymbol;
}

namespace {

    /// `line[range]` in device pixels, for the column-by-column coverage.
    std::vector<platform::Point> devicePointsOf(
        const std::vector<platform::Point>& line, IndexRange range, const platform::AffineTransform& device)
    {
        std::vector<platform::Point> devicePoints;
        devicePoints.reserve(range.length);
        for (std::size_t i = range.location; i < range.end() && i < line.size(); ++i) {
            platform::Point p = line[i];
            devicePoints.push_back({ device.a * p.x + device.tx, device.d * p.y + device.ty });
        }
        return devicePoints;
    }

    /// The box of the points of `line[range]` that are not missing; empty
    /// when all are.
    platform::Rect boxOfPoints(const std::vector<platform::Point>& line, IndexRange range)
    {
        double left = INFINITY, right = -INFINITY, bottom = INFINITY, top = -INFINITY;
        for (std::size_t i = range.location; i < range.end() && i < line.size(); ++i) {
            platform::Point p = line[i];
            if (isMissing(p))
                continue;
            left = std::min(left, p.x);
            right = std::max(right, p.x);
            bottom = std::min(bottom, p.y);
            top = std::max(top, p.y);
        }
        if (left <= right)
            return { left, bottom, right - left, top - bottom };
        return {};
    }

}

/// The line one frame draws through (all the points drawn, those that shape
/// each pixel column, or those within reach of the bounds) and whether the
/// column-by-column coverage draws it.
struct ScatterPlot::DataLine {
    DataLine(const std::vector<platform::Point>& all, IndexRange drawn)
        : points(&all)
        , range(drawn)
    {
    }
    DataLine(const DataLine&) = delete;
    DataLine& operator=(const DataLine&) = delete;

    const std::vector<platform::Point>* points;
    IndexRange range;
    std::vector<platform::Point> reduced;
    std::vector<platform::Point> inBounds;
    platform::AffineTransform device;
    LineCoverage coverage;
    bool byCoverage { false };
    platform::Rect clip;
    /// The box of every point drawn, which an area's gradient spans.
    platform::Rect pointsBox;
    /// Whether the stretches beyond the bounds were left out.
    bool leftOut { false };
};

void ScatterPlot::renderAsVectorInContext(platform::Context& context)
{
    if (isHidden())
        return;
    reloadIfNeeded();
    const auto* xs = cachedDoublesForField(X);
    const auto* ys = cachedDoublesForField(Y);
    if (!xs || !ys || cachedDataCount() == 0)
        return;
    if (!dataLineStyle && !areaFill && !areaFill2 && !plotSymbol && m_plotSymbols.empty())
        return;
    if (xs->size() != ys->size())
        throw Exception("Number of x and y values do not match");

    std::vector<char> flags = calculatePointsToDraw(false);
    std::vector<platform::Point> points = calculateViewPoints(flags);
    if (alignsPointsToPixels())
        snapToPixels(context, points);
    auto first = std::find(flags.begin(), flags.end(), 1);
    if (first == flags.end())
        return;
    std::size_t firstIndex = first - flags.begin();
    std::size_t lastIndex = flags.size() - 1 - (std::find(flags.rbegin(), flags.rend(), 1) - flags.rbegin());
    IndexRange drawn { firstIndex, lastIndex - firstIndex + 1 };

    // The line and the areas stop where consecutive records lie too far
    // apart to be joined; the symbols keep one point per record.
    std::vector<platform::Point> broken;
    const std::vector<platform::Point>* joined = &points;
    IndexRange joinedRange = drawn;
    if (std::isfinite(longestJoinedStep)) {
        broken = withBreaksAtLongSteps(points, drawn, *xs);
        joined = &broken;
        joinedRange = { 0, broken.size() };
    }

    DataLine line(*joined, joinedRange);
    planDataLine(context, line);
    drawAreaInContext(context, line, areaFill, areaBaseValue, (*xs)[firstIndex]);
    drawAreaInContext(context, line, areaFill2, areaBaseValue2, (*xs)[firstIndex]);
    drawDataLineInContext(context, line);

    // A source may answer "no symbol" for every record (a plain line): then
    // there is nothing to walk the records for.
    if (plotSymbol || m_hasRecordSymbols) {
        for (std::size_t i = firstIndex; i <= lastIndex; ++i) {
            auto symbol = flags[i] && !isMissing(points[i]) ? symbolForRecord(i) : nullptr;
            if (symbol)
                symbol->renderAsVectorInContext(context, points[i], 1);
        }
    }
}

void ScatterPlot::planDataLine(platform::Context& context, DataLine& line) const
{
    bool reduce = reducesPointsPerPixelColumn && alignsPointsToPixels() && interpolation == Interpolation::Linear;
    if (reduce) {
        line.reduced = reducedForDrawing(*line.points, line.range);
        line.points = &line.reduced;
        line.range = { 0, line.reduced.size() };
    }

    // Lines whose x never decreases under a transform that keeps pixel
    // columns upright (every time series here) are covered column by
    // column: the general rasterizer's cost grows with the number of edges
    // crossing each pixel row, which dense, jumpy data makes large.
    line.device = context.deviceTransform();
    const platform::AffineTransform& device = line.device;
    bool upright = device.b == 0 && device.c == 0 && device.a > 0 && std::abs(device.d) == device.a;
    if (upright && interpolation == Interpolation::Linear)
        line.byCoverage = line.coverage.setPoints(devicePointsOf(*line.points, line.range, device));
    line.clip = line.byCoverage ? context.deviceClipBounds() : platform::Rect {};
    // Masks are as large as the part of the drawing that can show; an
    // unclipped drawing into a surface without bounds keeps the general path.
    if (line.byCoverage && line.clip.width() * line.clip.height() > LineCoverage::largestMask)
        line.byCoverage = false;

    // A gradient spans the box of the area's outline: every point drawn and
    // the baseline (the reduction keeps each pixel column's extremes, so the
    // line's points have that box).
    if (areaFill || areaFill2)
        line.pointsBox = boxOfPoints(*line.points, line.range);

    // Zoomed in, most of the records lie left and right of the plot area.
    // The general rasterizer keeps every edge of a clipped polygon and walks
    // it on every row, so for it the stretches wholly beyond the bounds are
    // left out (the coverage works only within the clip anyway).
    bool dashed = dataLineStyle && !dataLineStyle->dashPattern().empty();
    if (!line.byCoverage && skipsPointsBeyondBounds && masksToBounds() && !dashed) {
        // How far outside its points the stroke can paint: half the width,
        // a miter up to its limit, a square cap; one point more for safety.
        double reach = 1;
        if (dataLineStyle)
            reach += dataLineStyle->lineWidth() / 2 * std::max(2.0, dataLineStyle->miterLimit());
        line.inBounds = withoutPointsBeyond(*line.points, line.range, -reach, bounds().width() + reach);
        line.points = &line.inBounds;
        line.range = { 0, line.inBounds.size() };
        line.leftOut = true;
    }
}

void ScatterPlot::drawAreaInContext(platform::Context& context, const DataLine& line,
    const std::shared_ptr<const Fill>& fill, const Decimal& base, double firstX) const
{
    if (!fill || base.isNaN())
        return;
    auto space = plotSpace();
    double baseY = space->plotAreaViewPointForDoublePrecisionPlotPoint(firstX, base.toDouble()).y;
    if (graph() && graph()->plotAreaFrame())
        baseY += graph()->plotAreaFrame()->plotArea()->convertPointToLayer({ 0, 0 }, this).y;
    if (alignsPointsToPixels()) {
        std::vector<platform::Point> one { { 0, baseY } };
        snapToPixels(context, one);
        baseY = one[0].y;
    }
    platform::ContextStateSaver saver(context);
    const platform::Rect& pointsBox = line.pointsBox;
    if (!line.byCoverage) {
        platform::Path area = newDataLinePath(*line.points, line.range, baseY);
        if (line.leftOut && !area.isEmpty()) {
            // Bare moves enclose nothing and are not filled; they only
            // widen the path's box to the whole outline's.
            area.moveTo({ pointsBox.minX(), std::min(pointsBox.minY(), baseY) });
            area.moveTo({ pointsBox.maxX(), std::max(pointsBox.maxY(), baseY) });
        }
        fill->fillPath(area, context);
        return;
    }
    if (line.coverage.isEmpty() || !std::isfinite(baseY))
        return;
    double left = pointsBox.minX(), right = pointsBox.maxX();
    double bottom = std::min(pointsBox.minY(), baseY), top = std::max(pointsBox.maxY(), baseY);
    platform::Rect runs = line.coverage.pointBounds();
    double deviceBase = line.device.d * baseY + line.device.ty;
    double y0 = std::min(runs.minY(), deviceBase), y1 = std::max(runs.maxY(), deviceBase);
    platform::CoverageMask mask;
    line.coverage.areaInto(
        deviceBase, platform::Rect { runs.minX(), y0, runs.width(), y1 - y0 }.intersection(line.clip), mask);
    fill->fillMask(mask, { left, bottom, right - left, top - bottom }, context);
}

void ScatterPlot::drawDataLineInContext(platform::Context& context, const DataLine& line) const
{
    if (dataLineStyle && line.byCoverage && strokesAsBevelledLine(*dataLineStyle)) {
        double width = dataLineStyle->lineWidth() * line.device.a;
        platform::CoverageMask mask;
        double reach = width / 2 + 1;
        line.coverage.strokeInto(
            width, line.coverage.pointBounds().insetBy(-reach, -reach).intersection(line.clip), mask);
        context.fillMask(mask, dataLineStyle->lineColor().toPlatform());
    } else if (dataLineStyle) {
        platform::ContextStateSaver saver(context);
        dataLineStyle->setLineStyleInContext(context);
        context.beginPath();
        context.addPath(newDataLinePath(*line.points, line.range));
        context.stroke();
    }
}

std::size_t ScatterPlot::indexOfVisiblePointClosestToPlotAreaPoint(platform::Point point)
{
    std::vector<char> flags = calculatePointsToDraw(true);
    std::vector<platform::Point> points = calculateViewPoints(flags);
    std::size_t best = noIndex;
    double bestDistance = INFINITY;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!flags[i] || isMissing(points[i]))
            continue;
        double dx = points[i].x - point.x, dy = points[i].y - point.y;
        double distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

platform::Point ScatterPlot::plotAreaPointOfVisiblePointAtIndex(std::size_t index)
{
    auto space = plotSpace();
    if (!space)
        return {};
    return space->plotAreaViewPointForDoublePrecisionPlotPoint(
        cachedDoubleForField(X, index), cachedDoubleForField(Y, index));
}

bool ScatterPlot::pointingDeviceDownEvent(const PointerEvent& event, platform::Point point)
{
    auto d = delegate.lock();
    if (!graph() || !graph()->plotAreaFrame() || !d)
        return Plot::pointingDeviceDownEvent(event, point);
    auto plotArea = graph()->plotAreaFrame()->plotArea();
    platform::Point p = graph()->convertPointToLayer(point, plotArea.get());
    std::size_t index = indexOfVisiblePointClosestToPlotAreaPoint(p);
    if (index == noIndex)
        return false;
    platform::Point viewPoint = plotAreaPointOfVisiblePointAtIndex(index);
    auto symbol = symbolForRecord(index);
    platform::Size size = symbol ? symbol->size() : platform::Size {};
    double width = size.width + 2 * plotSymbolMarginForHitDetection;
    double height = size.height + 2 * plotSymbolMarginForHitDetection;
    platform::Rect hit(viewPoint.x - width / 2, viewPoint.y - height / 2, width, height);
    if (!hit.contains(p))
        return false;
    d->plotSymbolWasSelectedAtRecordIndex(*this, index);
    return true;
}

}
