#include "charting/LineCoverage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <deque>

namespace hestio::chart {

/// One pixel column being summed: each slice's interval adds its share to
/// the rows it partly covers (`partial`) and, through running differences
/// (`full`), to the rows it covers entirely.
struct LineCoverage::Column {
    explicit Column(int rows)
        : partial(static_cast<std::size_t>(rows) + 1, 0)
        , full(static_cast<std::size_t>(rows) + 1, 0)
        , height(rows)
    {
    }

    /// Adds `weight` × the covered part of each row for [low, high] in rows
    /// from the mask's top.
    void add(double low, double high, float weight)
    {
        low = std::max(low, 0.0);
        high = std::min(high, static_cast<double>(height));
        if (!(high > low))
            return;
        int first = std::min(static_cast<int>(low), height - 1);
        int last = std::min(static_cast<int>(high), height - 1);
        if (first == last) {
            partial[first] += static_cast<float>(high - low) * weight;
        } else {
            partial[first] += static_cast<float>(first + 1 - low) * weight;
            partial[last] += static_cast<float>(high - last) * weight;
            if (last > first + 1) {
                full[first + 1] += weight;
                full[last] -= weight;
            }
        }
        top = std::min(top, first);
        bottom = std::max(bottom, last);
    }

    /// Writes the column's coverage into `mask` and starts over.
    void flush(platform::CoverageMask& mask, int column)
    {
        if (bottom < top)
            return;
        float running = 0;
        std::size_t stride = static_cast<std::size_t>(mask.stride);
        std::uint8_t* out = mask.coverage.data() + column + static_cast<std::size_t>(top) * stride;
        for (int row = top; row <= bottom; ++row, out += stride) {
            running += full[row];
            float c = std::min(partial[row] + running, 1.0f);
            *out = static_cast<std::uint8_t>(std::max(c, 0.0f) * 255 + 0.5f);
        }
        std::fill(partial.begin() + top, partial.begin() + bottom + 1, 0.0f);
        std::fill(full.begin() + top, full.begin() + bottom + 1, 0.0f);
        top = INT_MAX;
        bottom = -1;
    }

    std::vector<float> partial, full;
    int height;
    int top { INT_MAX }, bottom { -1 };
};

bool LineCoverage::setPoints(const std::vector<platform::Point>& devicePoints, double limit)
{
    m_runs.clear();
    bool broken = true;
    for (const platform::Point& p : devicePoints) {
        if (std::isnan(p.x) || std::isnan(p.y)) {
            broken = true;
            continue;
        }
        if (!(std::abs(p.x) <= limit && std::abs(p.y) <= limit) || (!m_runs.empty() && p.x < m_runs.back().x)) {
            m_runs.clear();
            return false;
        }
        if (!broken && p.x == m_runs.back().x) {
            Run& run = m_runs.back();
            if (run.count++ == 1)
                run.second = p.y;
            run.secondLast = run.last;
            run.last = p.y;
            run.low = std::min(run.low, p.y);
            run.high = std::max(run.high, p.y);
            continue;
        }
        m_runs.push_back({ p.x, p.y, p.y, p.y, p.y, p.y, p.y, 1, broken });
        broken = false;
    }
    return true;
}

platform::Rect LineCoverage::pointBounds() const
{
    if (m_runs.empty())
        return {};
    double top = INFINITY, bottom = -INFINITY;
    for (const Run& run : m_runs) {
        top = std::min(top, run.low);
        bottom = std::max(bottom, run.high);
    }
    return { m_runs.front().x, top, m_runs.back().x - m_runs.front().x, bottom - top };
}

namespace {

    struct Bounds {
        int left, top, width, height;
    };

    Bounds pixelBounds(const platform::Rect& r)
    {
        if (r.isEmpty() || !std::isfinite(r.x()) || !std::isfinite(r.y()) || !(r.width() < 1e7 && r.height() < 1e7)
            || (std::ceil(r.width()) + 1) * (std::ceil(r.height()) + 1) > LineCoverage::largestMask)
            return { 0, 0, 0, 0 };
        int left = static_cast<int>(std::floor(r.minX())), top = static_cast<int>(std::floor(r.minY()));
        return { left, top, static_cast<int>(std::ceil(r.maxX())) - left, static_cast<int>(std::ceil(r.maxY())) - top };
    }

    struct Interval {
        double low, high;
    };

}

namespace {

    /// A convex polygon of the stroke's outline (at most four corners) as
    /// its edges that are not vertical: at any x its cross-section runs
    /// between the lowest and highest of them there. (Where x meets a
    /// vertical edge, the edges on either side end on its corners.)
    struct Shape {
        struct Edge {
            double x0, x1, y0, slope;
        };
        double left, right;
        std::size_t owner; ///< the run that owns it
        int edges;
        /// An upright rectangle: its two edges are level and span it, so
        /// every x within it meets both.
        bool level;
        Edge edge[4];

        /// Widens [low, high] by this shape's cross-section at `x`.
        void slice(double x, double& low, double& high) const
        {
            if (level) {
                double y0 = edge[0].y0 + edge[0].slope * (x - edge[0].x0);
                double y1 = edge[1].y0 + edge[1].slope * (x - edge[1].x0);
                low = std::min(std::min(low, y0), y1);
                high = std::max(std::max(high, y0), y1);
                return;
            }
            for (int i = 0; i < edges; ++i) {
                const Edge& e = edge[i];
                if (x < e.x0 || x > e.x1)
                    continue;
                double y = e.y0 + e.slope * (x - e.x0);
                low = std::min(low, y);
                high = std::max(high, y);
            }
        }
    };

    Shape shapeOf(std::initializer_list<platform::Point> corners)
    {
        Shape s { INFINITY, -INFINITY, 0, 0, false, {} };
        const platform::Point* c = corners.begin();
        std::size_t count = corners.size();
        for (std::size_t i = 0; i < count; ++i) {
            platform::Point a = c[i], b = c[(i + 1) % count];
            s.left = std::min(s.left, a.x);
            s.right = std::max(s.right, a.x);
            if (a.x == b.x)
                continue;
            if (b.x < a.x)
                std::swap(a, b);
            s.edge[s.edges++] = { a.x, b.x, a.y, (b.y - a.y) / (b.x - a.x) };
        }
        s.level = s.edges == 2 && s.edge[0].slope == 0 && s.edge[1].slope == 0 && s.edge[0].x0 == s.left
            && s.edge[1].x0 == s.left && s.edge[0].x1 == s.right && s.edge[1].x1 == s.right;
        return s;
    }

    struct Direction {
        double x, y;
    };

    struct Directions {
        Direction way[2];
        int count { 0 };
        void add(Direction d) { way[count++] = d; }
    };

    /// The wedge a bevel join adds on the outer side of the turn from `in`
    /// to `out` (unit directions) at `v`; none without a turn.
    void addBevel(std::vector<Shape>& shapes, platform::Point v, Direction in, Direction out, double r)
    {
        double cross = in.x * out.y - in.y * out.x;
        if (cross == 0)
            return;
        double side = cross > 0 ? -r : r;
        shapes.push_back(
            shapeOf({ v, { v.x - in.y * side, v.y + in.x * side }, { v.x - out.y * side, v.y + out.x * side } }));
    }

    using Run = LineCoverage::Run;

    /// The unit direction of the segment from run `k` to the next.
    Direction segmentDirection(const std::vector<Run>& runs, std::size_t k)
    {
        double dx = runs[k + 1].x - runs[k].x, dy = runs[k + 1].first - runs[k].last;
        double length = std::hypot(dx, dy);
        return Direction { dx / length, dy / length };
    }

    /// Which way `run` leaves its first point, `from`, for its second,
    /// `next` (+1: growing y); where a repeated value hides it, every way
    /// the run's extremes leave open.
    Directions leaving(const Run& run, double from, double next)
    {
        Directions d;
        if (next != from)
            d.add({ 0, next > from ? 1.0 : -1.0 });
        if (next == from && from != run.high)
            d.add({ 0, 1 });
        if (next == from && from != run.low)
            d.add({ 0, -1 });
        return d;
    }

    /// Which way `run` reaches its last point, `to`, from the one before,
    /// `previous`; likewise.
    Directions arriving(const Run& run, double previous, double to)
    {
        Directions d;
        if (previous != to)
            d.add({ 0, to > previous ? 1.0 : -1.0 });
        if (previous == to && to != run.low)
            d.add({ 0, 1 });
        if (previous == to && to != run.high)
            d.add({ 0, -1 });
        return d;
    }

    /// The shapes run `i` owns: its upright rectangle, the joins at its two
    /// ends and the segment to the next run.
    void addRunShapes(std::vector<Shape>& shapes, const std::vector<Run>& runs, std::size_t i, double r)
    {
        std::size_t n = runs.size();
        const Run& run = runs[i];
        std::size_t before = shapes.size();
        bool joinedBefore = !run.startsLine && i > 0;
        bool joinedAfter = i + 1 < n && !runs[i + 1].startsLine;
        bool upright = run.high > run.low;
        if (upright)
            shapes.push_back(shapeOf(
                { { run.x - r, run.low }, { run.x + r, run.low }, { run.x + r, run.high }, { run.x - r, run.high } }));
        if (joinedBefore) {
            Direction in = segmentDirection(runs, i - 1);
            if (upright) {
                Directions outs = leaving(run, run.first, run.second);
                for (int d = 0; d < outs.count; ++d)
                    addBevel(shapes, { run.x, run.first }, in, outs.way[d], r);
            } else if (joinedAfter) {
                addBevel(shapes, { run.x, run.first }, in, segmentDirection(runs, i), r);
            }
        }
        if (joinedAfter) {
            Direction out = segmentDirection(runs, i);
            if (upright) {
                Directions ins = arriving(run, run.secondLast, run.last);
                for (int d = 0; d < ins.count; ++d)
                    addBevel(shapes, { run.x, run.last }, ins.way[d], out, r);
            }
            const Run& next = runs[i + 1];
            double nx = -out.y * r, ny = out.x * r;
            shapes.push_back(shapeOf({ { run.x + nx, run.last + ny }, { next.x + nx, next.first + ny },
                { next.x - nx, next.first - ny }, { run.x - nx, run.last - ny } }));
        }
        for (std::size_t k = before; k < shapes.size(); ++k)
            shapes[k].owner = i;
    }

    /// Adds `v` to `intervals`, disjoint and in order, merging it with those
    /// it meets.
    void addToUnion(std::vector<Interval>& intervals, Interval v)
    {
        std::size_t i = 0;
        while (i < intervals.size() && intervals[i].high < v.low)
            ++i;
        std::size_t j = i;
        for (; j < intervals.size() && intervals[j].low <= v.high; ++j) {
            v.low = std::min(v.low, intervals[j].low);
            v.high = std::max(v.high, intervals[j].high);
        }
        if (j == i) {
            intervals.insert(intervals.begin() + static_cast<std::ptrdiff_t>(i), v);
        } else {
            intervals[i] = v;
            intervals.erase(intervals.begin() + static_cast<std::ptrdiff_t>(i + 1),
                intervals.begin() + static_cast<std::ptrdiff_t>(j));
        }
    }

}

void LineCoverage::strokeIntoSliceBySlice(
    double width, const platform::Rect& bounds, platform::CoverageMask& mask) const
{
    Bounds b = pixelBounds(bounds);
    mask.reset(b.left, b.top, b.width, b.height);
    double r = width / 2;
    if (mask.isEmpty() || m_runs.empty() || !(r > 0) || !std::isfinite(r))
        return;

    // The outline as cairo-style butt-ended, bevel-joined strokes make it:
    // a rectangle per segment (a run's up-and-down strokes make one upright
    // rectangle over its extremes; turning back within a run adds nothing)
    // and a wedge at each turn between a run and a sloped segment. Each run
    // owns its rectangle, its two joins and the segment to the next run, all
    // within r of the run or that segment. Only the shapes of the runs within
    // reach of the slice are held, made as the sweep reaches them and let go
    // behind it: a dense line's shapes all at once came to megabytes.
    std::size_t n = m_runs.size();
    std::deque<Shape> shapes; // those of runs [held, made), in run order
    std::deque<std::size_t> owned; // how many shapes each of those runs owns
    std::size_t held = 0, made = 0;
    std::vector<Shape> ofRun;

    Column column(mask.height);
    const float weight = 1.0f / subColumns;
    std::size_t first = 0, end = 0; // runs within r of the slice: [first, end)
    std::vector<Interval> intervals;
    for (int px = 0; px < mask.width; ++px) {
        for (int sub = 0; sub < subColumns; ++sub) {
            double x = mask.x + px + (sub + 0.5) / subColumns;
            while (first < n && m_runs[first].x < x - r)
                ++first;
            end = std::max(end, first);
            while (end < n && m_runs[end].x <= x + r)
                ++end;
            // Runs before `first` reach the slice only by their segment to
            // the next run, so the owners to look at are [first - 1, end).
            std::size_t from = first > 0 ? first - 1 : 0;
            while (held < from && held < made) {
                shapes.erase(shapes.begin(), shapes.begin() + static_cast<std::ptrdiff_t>(owned.front()));
                owned.pop_front();
                ++held;
            }
            if (held < from)
                held = made = from;
            for (; made < end; ++made) {
                ofRun.clear();
                addRunShapes(ofRun, m_runs, made, r);
                shapes.insert(shapes.end(), ofRun.begin(), ofRun.end());
                owned.push_back(ofRun.size());
            }
            // The stroke is the union of its shapes' cross-sections, kept
            // as disjoint intervals in order (almost always just one).
            // Until a second one apart from it comes, the union is the one
            // interval `single`, widened in place.
            intervals.clear();
            Interval single { INFINITY, -INFINITY };
            for (const Shape& shape : shapes) {
                if (x < shape.left || x > shape.right)
                    continue;
                Interval v { INFINITY, -INFINITY };
                shape.slice(x, v.low, v.high);
                if (!(v.high >= v.low))
                    continue;
                if (intervals.empty()) {
                    if (!(single.high >= single.low)) {
                        single = v;
                        continue;
                    }
                    if (!(single.high < v.low) && single.low <= v.high) {
                        single.low = std::min(v.low, single.low);
                        single.high = std::max(v.high, single.high);
                        continue;
                    }
                    intervals.push_back(single);
                }
                addToUnion(intervals, v);
            }
            if (intervals.empty() && single.high >= single.low)
                column.add(single.low - mask.y, single.high - mask.y, weight);
            for (const Interval& v : intervals)
                column.add(v.low - mask.y, v.high - mask.y, weight);
        }
        column.flush(mask, px);
    }
}

namespace {

    /// The union of a slice's cross-sections, as `strokeIntoSliceBySlice`
    /// builds it: one interval widened in place until a second, apart from
    /// it, comes; then disjoint intervals in order.
    struct SliceUnion {
        Interval single { INFINITY, -INFINITY };
        std::vector<Interval> intervals;

        void clear()
        {
            single = { INFINITY, -INFINITY };
            intervals.clear();
        }

        void add(Interval v)
        {
            if (intervals.empty()) {
                if (!(single.high >= single.low)) {
                    single = v;
                    return;
                }
                if (!(single.high < v.low) && single.low <= v.high) {
                    single.low = std::min(v.low, single.low);
                    single.high = std::max(v.high, single.high);
                    return;
                }
                intervals.push_back(single);
            }
            // Most pieces widen the one interval they meet.
            std::size_t i = 0, n = intervals.size();
            while (i < n && intervals[i].high < v.low)
                ++i;
            if (i < n && intervals[i].low <= v.high && (i + 1 == n || !(intervals[i + 1].low <= v.high))) {
                intervals[i].low = std::min(v.low, intervals[i].low);
                intervals[i].high = std::max(v.high, intervals[i].high);
                return;
            }
            addToUnion(intervals, v);
        }
    };

}

void LineCoverage::strokeInto(double width, const platform::Rect& bounds, platform::CoverageMask& mask) const
{
    Bounds b = pixelBounds(bounds);
    mask.reset(b.left, b.top, b.width, b.height);
    double r = width / 2;
    if (mask.isEmpty() || m_runs.empty() || !(r > 0) || !std::isfinite(r))
        return;

    // The same outline, slices and unions as `strokeIntoSliceBySlice`, the
    // same doubles in the same order for each slice, so the same bytes; but
    // a pixel column at a time, each shape sliced over the column's slices
    // it spans and each of its edges over the slices within its ends, rather
    // than every shape held tested and sliced edge by edge in every slice.
    // A slice looks at the shapes of runs [from, end) only (those in reach,
    // see there), and the shapes held for a column are those of any of its
    // slices.
    constexpr int slices = subColumns;
    std::size_t n = m_runs.size();
    std::vector<Shape> shapes; // those of runs [held, made), in run order
    std::size_t held = 0, made = 0;

    Column column(mask.height);
    const float weight = 1.0f / subColumns;
    std::size_t first = 0, end = 0;
    double xs[slices];
    std::size_t froms[slices], ends[slices];
    SliceUnion unions[slices];
    double low[slices], high[slices];
    for (int px = 0; px < mask.width; ++px) {
        for (int sub = 0; sub < slices; ++sub) {
            double x = mask.x + px + (sub + 0.5) / subColumns;
            xs[sub] = x;
            while (first < n && m_runs[first].x < x - r)
                ++first;
            end = std::max(end, first);
            while (end < n && m_runs[end].x <= x + r)
                ++end;
            froms[sub] = first > 0 ? first - 1 : 0;
            ends[sub] = end;
            unions[sub].clear();
        }
        std::size_t from = froms[0];
        if (held < from) {
            auto kept = std::find_if(shapes.begin(), shapes.end(), [from](const Shape& s) { return s.owner >= from; });
            shapes.erase(shapes.begin(), kept);
            held = std::min(from, made);
        }
        if (held < from)
            held = made = from;
        for (; made < end; ++made)
            addRunShapes(shapes, m_runs, made, r);

        for (const Shape& shape : shapes) {
            // The slices that look at this shape and lie within it: each
            // condition holds over one stretch of them, so all do.
            int lo = 0, hi = slices - 1;
            while (lo <= hi
                && (xs[lo] < shape.left || !(ends[lo] > shape.owner) || xs[lo] > shape.right
                    || froms[lo] > shape.owner))
                ++lo;
            while (hi >= lo
                && (xs[hi] > shape.right || froms[hi] > shape.owner || xs[hi] < shape.left
                    || !(ends[hi] > shape.owner)))
                --hi;
            if (lo > hi)
                continue;
            if (shape.level) {
                const Shape::Edge& e0 = shape.edge[0];
                const Shape::Edge& e1 = shape.edge[1];
                for (int sub = lo; sub <= hi; ++sub) {
                    double x = xs[sub];
                    double y0 = e0.y0 + e0.slope * (x - e0.x0);
                    double y1 = e1.y0 + e1.slope * (x - e1.x0);
                    double l = std::min(std::min(double(INFINITY), y0), y1);
                    double h = std::max(std::max(-double(INFINITY), y0), y1);
                    if (h >= l)
                        unions[sub].add({ l, h });
                }
                continue;
            }
            for (int sub = lo; sub <= hi; ++sub) {
                low[sub] = INFINITY;
                high[sub] = -INFINITY;
            }
            for (int i = 0; i < shape.edges; ++i) {
                const Shape::Edge& e = shape.edge[i];
                int a = lo, z = hi;
                while (a <= z && xs[a] < e.x0)
                    ++a;
                while (z >= a && xs[z] > e.x1)
                    --z;
                for (int sub = a; sub <= z; ++sub) {
                    double y = e.y0 + e.slope * (xs[sub] - e.x0);
                    low[sub] = std::min(low[sub], y);
                    high[sub] = std::max(high[sub], y);
                }
            }
            for (int sub = lo; sub <= hi; ++sub)
                if (high[sub] >= low[sub])
                    unions[sub].add({ low[sub], high[sub] });
        }

        for (int sub = 0; sub < slices; ++sub) {
            const SliceUnion& u = unions[sub];
            if (u.intervals.empty() && u.single.high >= u.single.low)
                column.add(u.single.low - mask.y, u.single.high - mask.y, weight);
            for (const Interval& v : u.intervals)
                column.add(v.low - mask.y, v.high - mask.y, weight);
        }
        column.flush(mask, px);
    }
}

void LineCoverage::areaInto(double baselineY, const platform::Rect& bounds, platform::CoverageMask& mask) const
{
    Bounds b = pixelBounds(bounds);
    mask.reset(b.left, b.top, b.width, b.height);
    if (mask.isEmpty() || m_runs.empty() || !std::isfinite(baselineY))
        return;
    Column column(mask.height);
    const float weight = 1.0f / subColumns;
    std::size_t k = 0; // the last run at or left of the slice
    for (int px = 0; px < mask.width; ++px) {
        for (int sub = 0; sub < subColumns; ++sub) {
            double x = mask.x + px + (sub + 0.5) / subColumns;
            while (k + 1 < m_runs.size() && m_runs[k + 1].x <= x)
                ++k;
            const Run& run = m_runs[k];
            double low, high;
            if (run.x == x) {
                // Exactly on a run: the slice holds all of it.
                low = std::min(run.low, baselineY);
                high = std::max(run.high, baselineY);
            } else if (run.x < x && k + 1 < m_runs.size() && !m_runs[k + 1].startsLine) {
                const Run& next = m_runs[k + 1];
                double y = run.last + (next.first - run.last) * ((x - run.x) / (next.x - run.x));
                low = std::min(y, baselineY);
                high = std::max(y, baselineY);
            } else {
                continue; // before the line, after it or in a gap
            }
            column.add(low - mask.y, high - mask.y, weight);
        }
        column.flush(mask, px);
    }
}

}
