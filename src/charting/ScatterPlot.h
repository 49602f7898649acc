#pragma once

#include "charting/Fill.h"
#include "charting/LineStyle.h"
#include "charting/Plot.h"
#include "charting/PlotSymbol.h"

#include <climits>
#include <cmath>

namespace hestio::chart {

class ScatterPlot;

/// A scatter plot's data source may also give a symbol per record; each
/// method is optional (none: not implemented). A null symbol means none for
/// that record.
class ScatterPlotDataSource : public virtual PlotDataSource {
public:
    virtual std::optional<std::vector<std::shared_ptr<PlotSymbol>>> symbolsForScatterPlot(ScatterPlot&, IndexRange)
    {
        return std::nullopt;
    }
    virtual std::optional<std::shared_ptr<PlotSymbol>> symbolForScatterPlot(ScatterPlot&, std::size_t)
    {
        return std::nullopt;
    }
};

class ScatterPlotDelegate {
public:
    virtual ~ScatterPlotDelegate() = default;
    virtual void plotSymbolWasSelectedAtRecordIndex(ScatterPlot& plot, std::size_t index) = 0;
};

/// (x, y) records drawn as a line, optional areas down to a base value and
/// optional symbols; a tap near a point selects it.
class ScatterPlot : public Plot {
public:
    enum Field : unsigned { X = 0, Y = 1 };
    enum class Interpolation { Linear = 0, Stepped = 1, Histogram = 2 };
    /// What indexOfVisiblePointClosestToPlotAreaPoint answers when no point is drawn.
    static constexpr std::size_t noIndex = INT_MAX;

    [[nodiscard]] static std::shared_ptr<ScatterPlot> create() { return std::make_shared<ScatterPlot>(); }
    ScatterPlot();
    ~ScatterPlot() override;

    std::shared_ptr<const LineStyle> dataLineStyle { LineStyle::lineStyle() };
    Interpolation interpolation { Interpolation::Linear };
    std::shared_ptr<PlotSymbol> plotSymbol;
    std::shared_ptr<const Fill> areaFill;
    Decimal areaBaseValue { Decimal::notANumber() };
    std::shared_ptr<const Fill> areaFill2;
    Decimal areaBaseValue2 { Decimal::notANumber() };
    double plotSymbolMarginForHitDetection { 0 };
    std::weak_ptr<ScatterPlotDelegate> delegate;
    /// With points aligned to pixels, consecutive points in one device pixel
    /// column are reduced to those that shape the picture (see
    /// reducedForDrawing); off draws every point.
    bool reducesPointsPerPixelColumn { true };
    /// With the plot clipped to its bounds, the line and the areas leave out
    /// the stretches that lie wholly to the left or right of the bounds
    /// (beyond the reach of the line's width, joins and caps), which the
    /// clip would hide anyway; off builds them through every point. Dashed
    /// lines are always built whole: their dashes run from the first point.
    bool skipsPointsBeyondBounds { true };
    /// Where the line is covered column by column from records sorted by x,
    /// only the records in view and next to it are prepared (mapped, aligned
    /// to pixels, reduced), and the coverage is kept between frames while
    /// nothing it depends on changes; the pixels are those of preparing
    /// every record. Off prepares every record on every frame.
    bool preparesOnlyPointsInView { true };
    /// Consecutive records further apart than this along x (in data units)
    /// are not joined: the line and the areas break between them, as at a
    /// missing value. Not a number (the default) joins every step.
    double longestJoinedStep { std::nan("") };

    /// How many records the last frame mapped and aligned to pixels: all of
    /// them, those in view and next to it, or none when it kept the line of
    /// the frame before (see preparesOnlyPointsInView).
    std::size_t recordsPreparedLastFrame() const;

    /// Per-record symbols as the data source gave them (null: none);
    /// empty when the source gives none.
    const std::vector<std::shared_ptr<PlotSymbol>>& plotSymbols() const { return m_plotSymbols; }

    /// One flag per record: whether it takes part in the drawing.
    [[nodiscard]] std::vector<char> calculatePointsToDraw(bool visiblePointsOnly);
    /// View points in the plot's coordinates; NaN for records not drawn.
    [[nodiscard]] std::vector<platform::Point> calculateViewPoints(const std::vector<char>& drawFlags);
    /// The data line through `points[range]`; with a baseline, each run is
    /// closed down to it. Runs break at NaN points.
    platform::Path newDataLinePath(
        const std::vector<platform::Point>& points, IndexRange range, double baselineY = std::nan("")) const;

    std::size_t indexOfVisiblePointClosestToPlotAreaPoint(platform::Point point);
    platform::Point plotAreaPointOfVisiblePointAtIndex(std::size_t index);

    bool pointingDeviceDownEvent(const PointerEvent& event, platform::Point point) override;

protected:
    void reloadFieldsInRange(IndexRange range) override;
    std::vector<unsigned> fieldsForCoordinate(Coordinate c) const override { return { static_cast<unsigned>(c) }; }
    void renderAsVectorInContext(platform::Context& context) override;

private:
    /// Keeps only the points that change the picture where consecutive
    /// points share one device pixel column.
    [[nodiscard]] std::vector<platform::Point> reducedForDrawing(
        const std::vector<platform::Point>& points, IndexRange range) const;
    /// `points[range]` without the points whose segments all lie left of
    /// `left` or right of `right`; a run is broken (a missing point) where
    /// points were left out.
    [[nodiscard]] static std::vector<platform::Point> withoutPointsBeyond(
        const std::vector<platform::Point>& points, IndexRange range, double left, double right);
    /// `points[range]` with a missing point wherever the step in x to the
    /// previous record is longer than longestJoinedStep.
    /// `xs[i]` is the x of `points[i]`.
    [[nodiscard]] std::vector<platform::Point> withBreaksAtLongSteps(
        const std::vector<platform::Point>& points, IndexRange range, const double* xs) const;
    /// The line a frame draws, and how; see renderAsVectorInContext.
    struct DataLine;
    /// Reduces the line's points per pixel column, chooses between the
    /// column-by-column coverage and the general rasterizer, and leaves out
    /// the stretches beyond the bounds where the latter draws.
    void planDataLine(platform::Context& context, DataLine& line) const;
    /// The area between the line and `base` (if both are given).
    void drawAreaInContext(platform::Context& context, const DataLine& line, const std::shared_ptr<const Fill>& fill,
        const Decimal& base, double firstX) const;
    void drawDataLineInContext(platform::Context& context, const DataLine& line) const;
    /// Draws the line and its areas from the records in view (see
    /// preparesOnlyPointsInView); false, having drawn nothing, where that
    /// could give other pixels than preparing every record.
    bool drawInViewInContext(platform::Context& context);
    /// The plot's y of `base` as drawAreaInContext places the baseline.
    double baselineY(platform::Context& context, const Decimal& base, double firstX) const;
    void loadFieldsInRange(IndexRange range);
    void snapToPixels(platform::Context& context, std::vector<platform::Point>& points) const;
    std::shared_ptr<PlotSymbol> symbolForRecord(std::size_t index) const;

    std::vector<std::shared_ptr<PlotSymbol>> m_plotSymbols;
    /// Whether any record has a symbol of its own.
    bool m_hasRecordSymbols { false };
    /// What drawInViewInContext keeps between frames.
    struct InView;
    std::unique_ptr<InView> m_inView;
};

}
