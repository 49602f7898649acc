#pragma once

#include "charting/AxisLabel.h"
#include "charting/Layer.h"
#include "charting/LineStyle.h"
#include "charting/NumberFormatter.h"
#include "charting/PlotRange.h"

#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace hestio::chart {

class PlotArea;
class PlotSpace;
class XYAxis;

/// Where an axis line stands across the plot area, between two view bounds.
class Constraints {
public:
    static Constraints constraintWithLowerOffset(double offset) { return { Kind::Lower, offset }; }
    static Constraints constraintWithUpperOffset(double offset) { return { Kind::Upper, offset }; }
    static Constraints constraintWithRelativeOffset(double fraction) { return { Kind::Relative, fraction }; }
    double positionForLowerBound(double lower, double upper) const;
    bool operator==(const Constraints&) const = default;

private:
    enum class Kind { Lower, Upper, Relative };
    Constraints(Kind kind, double offset)
        : m_kind(kind)
        , m_offset(offset)
    {
    }
    Kind m_kind;
    double m_offset;
};

/// How major tick locations are found.
enum class LabelingPolicy { None = 0, LocationsProvided = 1, FixedInterval = 2, Automatic = 3, EqualDivisions = 4 };

/// Optional hooks around relabeling; the defaults say "not implemented".
class AxisDelegate {
public:
    virtual ~AxisDelegate() = default;
    virtual std::optional<bool> axisShouldRelabel(XYAxis&) { return std::nullopt; }
    virtual void axisDidRelabel(XYAxis&) { }
    virtual std::optional<bool> shouldUpdateAxisLabelsAtLocations(XYAxis&, const std::set<Decimal>&)
    {
        return std::nullopt;
    }
    virtual std::optional<bool> shouldUpdateMinorAxisLabelsAtLocations(XYAxis&, const std::set<Decimal>&)
    {
        return std::nullopt;
    }
};

/// One axis of an XY graph: finds its tick locations, builds and places its
/// labels and title, and draws its line, ticks and grid lines. It lives in
/// the plot area's coordinates; its text layers live in the plot area's
/// label and title groups.
class XYAxis : public Layer {
public:
    XYAxis();
    ~XYAxis() override;

    // The data coordinate the axis runs along and its mapping.
    Coordinate coordinate() const { return m_coordinate; }
    void setCoordinate(Coordinate c) { m_coordinate = c; }
    const std::shared_ptr<PlotSpace>& plotSpace() const { return m_plotSpace; }
    void setPlotSpace(std::shared_ptr<PlotSpace> space);
    /// The plot area this axis draws in; set by the plot area (non-owning).
    void setPlotArea(PlotArea* plotArea) { m_plotArea = plotArea; }

    // Ticks.
    LabelingPolicy labelingPolicy() const { return m_labelingPolicy; }
    void setLabelingPolicy(LabelingPolicy policy);
    const Decimal& labelingOrigin() const { return m_labelingOrigin; }
    void setLabelingOrigin(const Decimal& origin);
    const Decimal& majorIntervalLength() const { return m_majorIntervalLength; }
    void setMajorIntervalLength(const Decimal& length);
    unsigned minorTicksPerInterval() const { return m_minorTicksPerInterval; }
    void setMinorTicksPerInterval(unsigned count);
    const std::set<Decimal>& majorTickLocations() const { return m_majorTickLocations; }
    const std::set<Decimal>& minorTickLocations() const { return m_minorTickLocations; }
    void setMajorTickLocations(std::set<Decimal> locations);
    void setMinorTickLocations(std::set<Decimal> locations);
    double majorTickLength { 5.0 };
    double minorTickLength { 3.0 };
    Sign tickDirection() const { return m_tickDirection; }
    void setTickDirection(Sign direction);
    const std::optional<PlotRange>& visibleRange() const { return m_visibleRange; }
    void setVisibleRange(std::optional<PlotRange> range);
    const std::vector<PlotRange>& labelExclusionRanges() const { return m_labelExclusionRanges; }
    void setLabelExclusionRanges(std::vector<PlotRange> ranges);
    std::optional<PlotRange> gridLinesRange;

    // Labels.
    double labelOffset() const { return m_labelOffset; }
    void setLabelOffset(double offset);
    double minorTickLabelOffset { 2.0 };
    double labelRotation { 0 };
    double minorTickLabelRotation { 0 };
    Alignment labelAlignment { Alignment::Center };
    Alignment minorTickLabelAlignment { Alignment::Center };
    const std::shared_ptr<const TextStyle>& labelTextStyle() const { return m_labelTextStyle; }
    void setLabelTextStyle(std::shared_ptr<const TextStyle> style);
    const std::shared_ptr<const TextStyle>& minorTickLabelTextStyle() const { return m_minorTickLabelTextStyle; }
    void setMinorTickLabelTextStyle(std::shared_ptr<const TextStyle> style);
    const std::shared_ptr<const NumberFormatter>& labelFormatter() const { return m_labelFormatter; }
    void setLabelFormatter(std::shared_ptr<const NumberFormatter> formatter);
    const std::shared_ptr<const NumberFormatter>& minorTickLabelFormatter() const { return m_minorTickLabelFormatter; }
    void setMinorTickLabelFormatter(std::shared_ptr<const NumberFormatter> formatter);
    const std::vector<std::shared_ptr<AxisLabel>>& axisLabels() const { return m_axisLabels; }
    const std::vector<std::shared_ptr<AxisLabel>>& minorTickAxisLabels() const { return m_minorTickAxisLabels; }

    // Line styles; none draws nothing of that kind.
    std::shared_ptr<const LineStyle> axisLineStyle { LineStyle::lineStyle() };
    std::shared_ptr<const LineStyle> majorTickLineStyle { LineStyle::lineStyle() };
    std::shared_ptr<const LineStyle> minorTickLineStyle { LineStyle::lineStyle() };
    std::shared_ptr<const LineStyle> majorGridLineStyle;
    std::shared_ptr<const LineStyle> minorGridLineStyle;

    // Title.
    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::shared_ptr<const TextStyle>& titleTextStyle() const { return m_titleTextStyle; }
    void setTitleTextStyle(std::shared_ptr<const TextStyle> style);
    double titleOffset { 30.0 };
    /// NaN: the default (upright along x, a quarter turn along y).
    double titleRotation;
    /// NaN: the middle of the visible range.
    Decimal titleLocation { Decimal::notANumber() };
    const std::shared_ptr<AxisLabel>& axisTitle() const { return m_axisTitle; }

    // Position across the plot area.
    const Decimal& orthogonalCoordinateDecimal() const { return m_orthogonalCoordinate; }
    void setOrthogonalCoordinateDecimal(const Decimal& value);
    const std::optional<Constraints>& axisConstraints() const { return m_axisConstraints; }
    void setAxisConstraints(std::optional<Constraints> constraints);

    std::weak_ptr<AxisDelegate> delegate;

    bool needsRelabel() const { return m_needsRelabel; }
    void setNeedsRelabel() { m_needsRelabel = true; }
    /// Recomputes tick locations and labels when marked.
    void relabel();

    /// Ticks at `majorIntervalLength` from the labeling origin over the
    /// axis range, with `minorTicksPerInterval` between. An interval that
    /// would give more major ticks than `majorTickCapacity` is widened, by
    /// a factor of 1, 2 or 5 times a power of ten, until the labels stand
    /// about `legibleTickSpacing` points apart; minor ticks that would
    /// exceed the capacity are left out. So any range and any values give
    /// a bounded number of ticks. An interval whose labels would touch is
    /// widened the same way until each stands clear of the next.
    void generateFixedIntervalMajorTickLocations(std::set<Decimal>& major, std::set<Decimal>& minor) const;
    /// The most ticks an axis makes, whatever its length.
    static constexpr std::size_t maximumTickCount = 1000;
    /// Points between ticks below which an axis cannot show them apart.
    static constexpr double minimumTickSpacing = 2.0;
    /// Points between the major ticks of a widened interval.
    static constexpr double legibleTickSpacing = 40.0;
    /// How often an interval is widened for its labels before the axis
    /// gives up (each widening at least doubles it).
    static constexpr int maximumLabelWidenings = 16;
    /// How much further apart the major ticks from `first` to `max` at
    /// `interval` must stand for their labels to stand clear of each other
    /// (at most 1: they do); 0 when the axis draws no labels.
    [[nodiscard]] double labelCrowding(const Decimal& first, const Decimal& max, const Decimal& interval) const;
    /// How many major (or minor) ticks this axis can show: one per
    /// `minimumTickSpacing` of its length in the plot area, at least 2 and
    /// at most `maximumTickCount` (the latter while it has no length).
    [[nodiscard]] std::size_t majorTickCapacity() const;
    [[nodiscard]] std::set<Decimal> filteredTickLocations(const std::set<Decimal>& locations) const;
    [[nodiscard]] std::set<Decimal> filteredMajorTickLocations(const std::set<Decimal>& l) const
    {
        return filteredTickLocations(l);
    }
    [[nodiscard]] std::set<Decimal> filteredMinorTickLocations(const std::set<Decimal>& l) const
    {
        return filteredTickLocations(l);
    }
    void updateAxisLabelsAtLocations(
        const std::set<Decimal>& locations, const std::optional<PlotRange>& range, bool major);
    void updateMajorTickLabels();
    void updateMinorTickLabels();
    void updateAxisTitle();
    /// Before drawing: relabels when marked or when the plot space's ranges
    /// moved, then places the labels and the title.
    void layoutLabels();

    /// The view point of a value on the axis line, in plot-area coordinates.
    [[nodiscard]] platform::Point viewPointForCoordinateDecimalNumber(const Decimal& value) const;
    [[nodiscard]] platform::Point viewPointForCoordinateDouble(double value) const;

    void drawTicksInContext(platform::Context& context, const std::set<Decimal>& locations, double length,
        const std::optional<PlotRange>& range, bool major) const;
    void drawGridLinesInContext(platform::Context& context, bool major);
    /// Appends what decides the grid lines of one kind as drawn in `context`.
    void describeGridLines(platform::Context& context, bool major, DrawingSignature& into);

protected:
    void renderAsVectorInContext(platform::Context& context) override;
    bool describeOwnDrawing(platform::Context& context, DrawingSignature& into) override;

private:
    Coordinate orthogonalCoordinate() const { return m_coordinate == Coordinate::X ? Coordinate::Y : Coordinate::X; }
    std::optional<PlotRange> axisRange() const;
    /// The axis's length in points, 0 while it has no laid-out plot area.
    double lengthInPoints() const;
    /// The plot area's extent across the axis, 0 without a plot area.
    double orthogonalLengthInPoints() const;
    void removeLabels(std::vector<std::shared_ptr<AxisLabel>>& labels);
    /// The ends of the lines drawn, in pairs, aligned to pixels in `context`.
    [[nodiscard]] std::vector<platform::Point> tickSegments(platform::Context& context,
        const std::set<Decimal>& locations, double length, const std::optional<PlotRange>& range) const;
    [[nodiscard]] std::vector<platform::Point> gridLineSegments(platform::Context& context, bool major);
    [[nodiscard]] std::vector<platform::Point> axisLineSegment(platform::Context& context);
    /// Places each label at its tick, slid inside the graph where it would
    /// reach past it, and its neighbour moved on where that crowds it.
    void placeLabels(std::vector<std::shared_ptr<AxisLabel>>& labels);

    Coordinate m_coordinate { Coordinate::X };
    std::shared_ptr<PlotSpace> m_plotSpace;
    PlotArea* m_plotArea { nullptr };
    LabelingPolicy m_labelingPolicy { LabelingPolicy::FixedInterval };
    Decimal m_labelingOrigin { 0 };
    Decimal m_majorIntervalLength { 1 };
    unsigned m_minorTicksPerInterval { 1 };
    std::set<Decimal> m_majorTickLocations, m_minorTickLocations;
    Sign m_tickDirection { Sign::None };
    std::optional<PlotRange> m_visibleRange;
    std::vector<PlotRange> m_labelExclusionRanges;
    double m_labelOffset { 2.0 };
    std::shared_ptr<const TextStyle> m_labelTextStyle { TextStyle::textStyle() };
    std::shared_ptr<const TextStyle> m_minorTickLabelTextStyle { TextStyle::textStyle() };
    std::shared_ptr<const NumberFormatter> m_labelFormatter;
    std::shared_ptr<const NumberFormatter> m_minorTickLabelFormatter;
    bool m_labelFormatterChanged { true };
    bool m_minorLabelFormatterChanged { false };
    std::vector<std::shared_ptr<AxisLabel>> m_axisLabels, m_minorTickAxisLabels;
    std::string m_title;
    std::shared_ptr<const TextStyle> m_titleTextStyle { TextStyle::textStyle() };
    std::shared_ptr<AxisLabel> m_axisTitle;
    Decimal m_orthogonalCoordinate { 0 };
    std::optional<Constraints> m_axisConstraints;
    bool m_needsRelabel { true };
    std::optional<PlotRange> m_lastAxisRange, m_lastOrthogonalRange;
};

}
