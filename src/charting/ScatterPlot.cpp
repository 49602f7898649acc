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

namespace {

    /// How records map to the plot's view points: for linear scales the plot
    /// space's arithmetic inlined (the same doubles), without looking the
    /// plot area up again for every record; then the plot's place.
    struct ViewMapping {
        bool linear { false };
        double lx { 0 }, ly { 0 }, sx { 0 }, sy { 0 };
        platform::Point shift;

        platform::Point apply(double x, double y) const
        {
            platform::Point p { (x - lx) * sx, (y - ly) * sy };
            return { p.x + shift.x, p.y + shift.y };
        }
    };

    ViewMapping viewMappingOf(const ScatterPlot& plot)
    {
        ViewMapping m;
        Graph* graph = plot.graph();
        if (graph && graph->plotAreaFrame())
            m.shift = graph->plotAreaFrame()->plotArea()->convertPointToLayer({ 0, 0 }, &plot);
        auto xy = std::dynamic_pointer_cast<XYPlotSpace>(plot.plotSpace());
        m.linear = xy && xy->xScaleType() == ScaleType::Linear && xy->yScaleType() == ScaleType::Linear && graph
            && graph->plotAreaFrame();
        if (m.linear) {
            platform::Size size = graph->plotAreaFrame()->plotArea()->bounds().size;
            m.lx = xy->xRange().locationDouble();
            m.ly = xy->yRange().locationDouble();
            m.sx = xy->xRange().lengthDouble() == 0 ? 0 : size.width / xy->xRange().lengthDouble();
            m.sy = xy->yRange().lengthDouble() == 0 ? 0 : size.height / xy->yRange().lengthDouble();
        }
        return m;
    }

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

    /// Moves view points onto the centres of the context's pixels (their
    /// corners for a line without width).
    struct PixelSnap {
        PixelSnap(const platform::Context& context, const std::shared_ptr<const LineStyle>& style)
            : t(context.currentTransform())
            , inverse(t.inverted())
            , half(style && style->lineWidth() > 0 ? 0.5 : 0)
        {
        }
        platform::Point apply(platform::Point p) const
        {
            platform::Point d = t.apply(p);
            return inverse.apply({ roundHalfAway(d.x) + half, roundHalfAway(d.y) + half });
        }
        platform::AffineTransform t, inverse;
        double half;
    };

}

std::vector<platform::Point> ScatterPlot::calculateViewPoints(const std::vector<char>& drawFlags)
{
    const auto* xs = cachedDoublesForField(X);
    const auto* ys = cachedDoublesForField(Y);
    std::vector<platform::Point> points(drawFlags.size(), platform::Point { std::nan(""), std::nan("") });
    auto space = plotSpace();
    if (!space || !xs || !ys)
        return points;
    ViewMapping mapping = viewMappingOf(*this);
    for (std::size_t i = 0; i < drawFlags.size(); ++i) {
        if (!drawFlags[i])
            continue;
        double x = (*xs)[i], y = (*ys)[i];
        if (std::isnan(x) || std::isnan(y))
            continue;
        if (mapping.linear) {
            points[i] = mapping.apply(x, y);
        } else {
            platform::Point p = space->plotAreaViewPointForDoublePrecisionPlotPoint(x, y);
            points[i] = { p.x + mapping.shift.x, p.y + mapping.shift.y };
        }
    }
    return points;
}

void ScatterPlot::snapToPixels(platform::Context& context, std::vector<platform::Point>& points) const
{
    PixelSnap snap(context, dataLineStyle);
    for (auto& p : points) {
        if (!isMissing(p))
            p = snap.apply(p);
    }
}

/// What drawInViewInContext keeps: the extent of the data (for one data
/// generation), the last frame's inputs with the coverage they gave, and
/// the buffers the points are prepared in.
struct ScatterPlot::InView {
    std::uint64_t extentGeneration { UINT64_MAX };
    /// Every x a number and none smaller than the one before.
    bool sorted { false };
    /// Whether any record is a point (x and y numbers), and the first and
    /// last such record's x and the smallest and largest y of them.
    bool any { false };
    double firstX { 0 }, lastX { 0 }, lowY { 0 }, highY { 0 };

    std::vector<double> key;
    std::size_t prepared { 0 };
    platform::Rect pointsBox;
    platform::CoverageMask stroke;
    platform::CoverageMask areas[2];

    std::vector<platform::Point> points, device;
    LineCoverage coverage;

    /// Prepares the line's coverage from the records whose points can
    /// reach the clip, and one more either side; false where its points
    /// are not what LineCoverage takes.
    bool prepare(const ScatterPlot& plot, const std::vector<double>& xs, const std::vector<double>& ys,
        const ViewMapping& mapping, const PixelSnap& snap, const platform::AffineTransform& toDevice,
        const platform::Rect& clip, double width)
    {
        // A point this far out of the clip (the stroke's half width, two
        // pixels, and how far aligning to pixels can move it) is drawn
        // nowhere in it: of its pixel column's run only its x and the point
        // nearest the clip count (for the segment towards it), and those
        // are the same whichever records before (after) it are left out.
        double r = width > 0 ? width / 2 : 0;
        double margin = r + 2 + 2 * toDevice.a / snap.t.a;
        auto dataX = [&](double deviceX) {
            return mapping.lx + ((deviceX - toDevice.tx) / toDevice.a - mapping.shift.x) / mapping.sx;
        };
        auto begin = xs.begin(), end = xs.begin() + static_cast<std::ptrdiff_t>(std::min(xs.size(), ys.size()));
        std::size_t from = static_cast<std::size_t>(std::lower_bound(begin, end, dataX(clip.minX() - margin)) - begin);
        std::size_t to = static_cast<std::size_t>(std::upper_bound(begin, end, dataX(clip.maxX() + margin)) - begin);
        from = from > 0 ? from - 1 : 0;
        to = std::max(from, std::min(to + 1, static_cast<std::size_t>(end - begin)));

        points.resize(to - from);
        prepared = to - from;
        for (std::size_t i = from; i < to; ++i) {
            double x = xs[i], y = ys[i];
            points[i - from] = std::isnan(x) || std::isnan(y) ? platform::Point { std::nan(""), std::nan("") }
                                                              : snap.apply(mapping.apply(x, y));
        }
        const std::vector<platform::Point>* line = &points;
        std::vector<platform::Point> broken;
        if (std::isfinite(plot.longestJoinedStep)) {
            broken = plot.withBreaksAtLongSteps(points, { 0, points.size() }, xs.data() + from);
            line = &broken;
        }
        std::vector<platform::Point> reduced = plot.reducedForDrawing(*line, { 0, line->size() });
        device.clear();
        for (const platform::Point& p : reduced)
            device.push_back({ toDevice.a * p.x + toDevice.tx, toDevice.d * p.y + toDevice.ty });
        return coverage.setPoints(device);
    }

    /// The coverage of the line (`stroked`, `width` device pixels wide) and
    /// of the areas down to `baseY` (in the plot; none where not a number),
    /// in masks as large as those of the whole line, whose points have
    /// `deviceBox`.
    void cover(bool stroked, double width, const double (&baseY)[2], const platform::Rect& deviceBox,
        const platform::AffineTransform& toDevice, const platform::Rect& clip)
    {
        double reach = width / 2 + 1;
        if (stroked)
            coverage.strokeInto(width, deviceBox.insetBy(-reach, -reach).intersection(clip), stroke);
        for (int k = 0; k < 2; ++k) {
            if (!std::isfinite(baseY[k]))
                continue;
            double deviceBase = toDevice.d * baseY[k] + toDevice.ty;
            double y0 = std::min(deviceBox.minY(), deviceBase), y1 = std::max(deviceBox.maxY(), deviceBase);
            coverage.areaInto(deviceBase,
                platform::Rect { deviceBox.minX(), y0, deviceBox.width(), y1 - y0 }.intersection(clip), areas[k]);
        }
    }

    void measure(const std::vector<double>& xs, const std::vector<double>& ys)
    {
        sorted = true;
        any = false;
        lowY = INFINITY;
        highY = -INFINITY;
        for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
            double x = xs[i], y = ys[i];
            if (std::isnan(x) || (i > 0 && x < xs[i - 1])) {
                sorted = false;
                return;
            }
            if (std::isnan(y))
                continue;
            if (!any)
                firstX = x;
            any = true;
            lastX = x;
            lowY = std::min(lowY, y);
            highY = std::max(highY, y);
        }
    }
};

ScatterPlot::ScatterPlot()
    : m_inView(std::make_unique<InView>())
{
}

ScatterPlot::~ScatterPlot() = default;

std::size_t ScatterPlot::recordsPreparedLastFrame() const
{
    return m_inView->prepared;
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
    const std::vector<platform::Point>& points, IndexRange range, const double* xs) const
{
    const platform::Point gap { std::nan(""), std::nan("") };
    std::size_t end = std::min(range.end(), points.size());
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
    if (preparesOnlyPointsInView && drawInViewInContext(context))
        return;

    m_inView->prepared = xs->size();
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
        broken = withBreaksAtLongSteps(points, drawn, xs->data());
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

double ScatterPlot::baselineY(platform::Context& context, const Decimal& base, double firstX) const
{
    double baseY = plotSpace()->plotAreaViewPointForDoublePrecisionPlotPoint(firstX, base.toDouble()).y;
    if (graph() && graph()->plotAreaFrame())
        baseY += graph()->plotAreaFrame()->plotArea()->convertPointToLayer({ 0, 0 }, this).y;
    if (alignsPointsToPixels() && !std::isnan(baseY))
        baseY = PixelSnap(context, dataLineStyle).apply({ 0, baseY }).y;
    return baseY;
}

void ScatterPlot::drawAreaInContext(platform::Context& context, const DataLine& line,
    const std::shared_ptr<const Fill>& fill, const Decimal& base, double firstX) const
{
    if (!fill || base.isNaN())
        return;
    double baseY = baselineY(context, base, firstX);
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

namespace {

    /// Equal, or both not a number.
    bool sameKeys(const std::vector<double>& a, const std::vector<double>& b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))))
                return false;
        return true;
    }

}

bool ScatterPlot::drawInViewInContext(platform::Context& context)
{
    // Only where every record is drawn (an area under the line) through the
    // column-by-column coverage, with nothing drawn per record.
    if (!(areaFill || areaFill2) || !alignsPointsToPixels() || !reducesPointsPerPixelColumn
        || interpolation != Interpolation::Linear || plotSymbol || m_hasRecordSymbols
        || (dataLineStyle && !strokesAsBevelledLine(*dataLineStyle)))
        return false;
    const auto& xs = *cachedDoublesForField(X);
    const auto& ys = *cachedDoublesForField(Y);
    InView& v = *m_inView;
    if (v.extentGeneration != dataGeneration()) {
        v.measure(xs, ys);
        v.extentGeneration = dataGeneration();
        v.key.clear();
    }
    ViewMapping mapping = viewMappingOf(*this);
    if (!mapping.linear || !(mapping.sx > 0) || !v.sorted || !v.any
        || !(std::isfinite(v.firstX) && std::isfinite(v.lastX) && std::isfinite(v.lowY) && std::isfinite(v.highY)))
        return false;
    platform::AffineTransform device = context.deviceTransform();
    PixelSnap snap(context, dataLineStyle);
    if (!(device.b == 0 && device.c == 0 && device.a > 0 && std::abs(device.d) == device.a && snap.t.b == 0
            && snap.t.c == 0 && snap.t.a > 0))
        return false;
    platform::Rect clip = context.deviceClipBounds();
    if (clip.width() * clip.height() > LineCoverage::largestMask)
        return false;

    // The boxes of every point, in the plot and in device pixels, as the
    // whole line has them: x and y map and align to pixels each on its own
    // and in order, so the extremes of the data give them.
    platform::Point low = snap.apply(mapping.apply(v.firstX, v.lowY));
    platform::Point high = snap.apply(mapping.apply(v.lastX, v.highY));
    platform::Point d0 { device.a * low.x + device.tx, device.d * low.y + device.ty };
    platform::Point d1 { device.a * high.x + device.tx, device.d * high.y + device.ty };
    const double limit = 1e6; // LineCoverage::setPoints's
    if (!(std::abs(d0.x) <= limit && std::abs(d0.y) <= limit && std::abs(d1.x) <= limit && std::abs(d1.y) <= limit))
        return false;
    double top = std::min(d0.y, d1.y), bottom = std::max(d0.y, d1.y);
    platform::Rect deviceBox { d0.x, top, d1.x - d0.x, bottom - top };
    v.pointsBox = { low.x, std::min(low.y, high.y), high.x - low.x, std::max(low.y, high.y) - std::min(low.y, high.y) };

    double width = dataLineStyle ? dataLineStyle->lineWidth() * device.a : std::nan("");
    const std::shared_ptr<const Fill>* fills[2] = { &areaFill, &areaFill2 };
    const Decimal* bases[2] = { &areaBaseValue, &areaBaseValue2 };
    double baseY[2];
    for (int k = 0; k < 2; ++k)
        baseY[k] = *fills[k] && !bases[k]->isNaN() ? baselineY(context, *bases[k], xs[0]) : std::nan("");
    std::vector<double> key { static_cast<double>(dataGeneration()), static_cast<double>(xs.size()), mapping.lx,
        mapping.ly, mapping.sx, mapping.sy, mapping.shift.x, mapping.shift.y, snap.t.a, snap.t.d, snap.t.tx, snap.t.ty,
        device.a, device.d, device.tx, device.ty, clip.x(), clip.y(), clip.width(), clip.height(), width, baseY[0],
        baseY[1], longestJoinedStep };
    v.prepared = 0;
    if (!sameKeys(key, v.key)) {
        v.key.clear();
        if (!v.prepare(*this, xs, ys, mapping, snap, device, clip, width))
            return false;
        v.cover(dataLineStyle != nullptr, width, baseY, deviceBox, device, clip);
        v.key = std::move(key);
    }

    for (int k = 0; k < 2; ++k) {
        if (!*fills[k] || bases[k]->isNaN())
            continue;
        platform::ContextStateSaver saver(context);
        if (!std::isfinite(baseY[k]))
            continue;
        const platform::Rect& box = v.pointsBox;
        double bottomY = std::min(box.minY(), baseY[k]), topY = std::max(box.maxY(), baseY[k]);
        (*fills[k])->fillMask(v.areas[k], { box.minX(), bottomY, box.maxX() - box.minX(), topY - bottomY }, context);
    }
    if (dataLineStyle)
        context.fillMask(v.stroke, dataLineStyle->lineColor().toPlatform());
    return true;
}

}
