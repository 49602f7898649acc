#pragma once

#include "platform/gfx/CoverageMask.h"
#include "platform/gfx/Geometry.h"

#include <vector>

namespace hestio::chart {

/// Coverage of a data line and of the area under it, computed column by
/// column in device pixels for lines whose x never decreases (time series).
///
/// Such a line is a sequence of vertical runs: the points sharing one x
/// (however many) go straight up and down there, and sloped segments join
/// the last point of one run to the first of the next. Stroked with butt
/// ends and bevel joins, its outline is a rectangle per segment (one upright
/// rectangle over each run's extremes), and a wedge outside each turn
/// between a run and a segment. Each pixel column is sampled in
/// `subColumns` slices; in each slice the outline's cross-section is a
/// union of intervals (the area between the line and a baseline: one
/// interval), and every interval adds exactly the part of each pixel row it
/// covers, so the coverage is exact vertically and 1/subColumns-fine across.
///
/// Everything depends only on each run's first two and last two points and
/// its extremes: dropping the other points of a run changes no pixel.
class LineCoverage {
public:
    static constexpr int subColumns = 16;
    /// The most pixels a mask may have; larger bounds give an empty mask.
    static constexpr double largestMask = 1 << 25;

    struct Run {
        double x;
        double first, second; ///< y of the run's first two points (the same for one point)
        double secondLast, last; ///< and of its last two
        double low, high; ///< its smallest and largest y
        std::size_t count; ///< points in the run
        bool startsLine; ///< after a missing value (or first): no segment from the previous run
    };

    /// Builds the runs from device points; NaN points break the line. False
    /// (and no runs) when x decreases anywhere or a point is not finite or
    /// lies farther out than `limit` pixels, which this drawing leaves to
    /// the general path.
    [[nodiscard]] bool setPoints(const std::vector<platform::Point>& devicePoints, double limit = 1e6);
    const std::vector<Run>& runs() const { return m_runs; }
    bool isEmpty() const { return m_runs.empty(); }

    /// Device bounds of the points (empty without points).
    platform::Rect pointBounds() const;

    /// Coverage of the line `width` device pixels wide (butt ends, bevel
    /// joins) within `bounds` (whole device pixels).
    void strokeInto(double width, const platform::Rect& bounds, platform::CoverageMask& mask) const;
    /// The same coverage, to the byte, by the plain sweep `strokeInto` is
    /// checked against: every shape in reach tested and sliced in each slice.
    void strokeIntoSliceBySlice(double width, const platform::Rect& bounds, platform::CoverageMask& mask) const;
    /// Coverage of the area between each unbroken stretch of the line and
    /// `baselineY`, closed straight down (or up) to it at the stretch's ends.
    void areaInto(double baselineY, const platform::Rect& bounds, platform::CoverageMask& mask) const;

private:
    struct Column;
    std::vector<Run> m_runs;
};

}
