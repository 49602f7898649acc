#include "charting/XYAxis.h"

#include "charting/Exception.h"
#include "charting/Graph.h"
#include "charting/PlotArea.h"
#include "charting/PlotSpace.h"
#include "charting/TextLayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <utility>

namespace hestio::chart {

double Constraints::positionForLowerBound(double lower, double upper) const
{
    // A reversed range gives bounds in the other order; order them rather
    // than fail, so a constrained axis still stands at the intended edge.
    if (lower > upper)
        std::swap(lower, upper);
    switch (m_kind) {
    case Kind::Lower:
        return lower + m_offset;
    case Kind::Upper:
        return upper - m_offset;
    case Kind::Relative:
        return lower + m_offset * (upper - lower);
    }
    return lower;
}

XYAxis::XYAxis()
    : titleRotation(std::nan(""))
    , m_labelFormatter(std::make_shared<DecimalNumberFormatter>(1, 1))
{
}

XYAxis::~XYAxis()
{
    removeLabels(m_axisLabels);
    removeLabels(m_minorTickAxisLabels);
    if (m_axisTitle && m_axisTitle->contentLayer())
        m_axisTitle->contentLayer()->removeFromSuperlayer();
}

void XYAxis::setPlotSpace(std::shared_ptr<PlotSpace> space)
{
    if (space == m_plotSpace)
        return;
    m_plotSpace = std::move(space);
    setNeedsRelabel();
}

void XYAxis::setLabelingPolicy(LabelingPolicy policy)
{
    if (policy == m_labelingPolicy)
        return;
    m_labelingPolicy = policy;
    setNeedsRelabel();
}

void XYAxis::setLabelingOrigin(const Decimal& origin)
{
    if (origin == m_labelingOrigin)
        return;
    m_labelingOrigin = origin;
    setNeedsRelabel();
}

void XYAxis::setMajorIntervalLength(const Decimal& length)
{
    if (length == m_majorIntervalLength)
        return;
    m_majorIntervalLength = length;
    setNeedsRelabel();
}

void XYAxis::setMinorTicksPerInterval(unsigned count)
{
    if (count == m_minorTicksPerInterval)
        return;
    m_minorTicksPerInterval = count;
    setNeedsRelabel();
}

void XYAxis::setMajorTickLocations(std::set<Decimal> locations)
{
    m_majorTickLocations = std::move(locations);
    setNeedsRelabel();
}

void XYAxis::setMinorTickLocations(std::set<Decimal> locations)
{
    m_minorTickLocations = std::move(locations);
    setNeedsRelabel();
}

void XYAxis::setTickDirection(Sign direction)
{
    if (direction == m_tickDirection)
        return;
    m_tickDirection = direction;
    setNeedsRelabel();
}

void XYAxis::setVisibleRange(std::optional<PlotRange> range)
{
    m_visibleRange = std::move(range);
    setNeedsRelabel();
}

void XYAxis::setLabelExclusionRanges(std::vector<PlotRange> ranges)
{
    m_labelExclusionRanges = std::move(ranges);
    setNeedsRelabel();
}

void XYAxis::setLabelOffset(double offset)
{
    m_labelOffset = offset;
    updateMajorTickLabels();
}

void XYAxis::setLabelTextStyle(std::shared_ptr<const TextStyle> style)
{
    if (style == m_labelTextStyle)
        return;
    m_labelTextStyle = std::move(style);
    for (auto& label : m_axisLabels)
        if (label->contentLayer())
            label->contentLayer()->setTextStyle(m_labelTextStyle);
    setNeedsRelabel();
}

void XYAxis::setMinorTickLabelTextStyle(std::shared_ptr<const TextStyle> style)
{
    if (style == m_minorTickLabelTextStyle)
        return;
    m_minorTickLabelTextStyle = std::move(style);
    for (auto& label : m_minorTickAxisLabels)
        if (label->contentLayer())
            label->contentLayer()->setTextStyle(m_minorTickLabelTextStyle);
    setNeedsRelabel();
}

void XYAxis::setLabelFormatter(std::shared_ptr<const NumberFormatter> formatter)
{
    m_labelFormatter = std::move(formatter);
    m_labelFormatterChanged = true;
    setNeedsRelabel();
}

void XYAxis::setMinorTickLabelFormatter(std::shared_ptr<const NumberFormatter> formatter)
{
    m_minorTickLabelFormatter = std::move(formatter);
    m_minorLabelFormatterChanged = true;
    setNeedsRelabel();
}

void XYAxis::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    if (m_axisTitle && m_axisTitle->contentLayer())
        m_axisTitle->contentLayer()->removeFromSuperlayer();
    m_axisTitle.reset();
    setNeedsLayout();
}

void XYAxis::setTitleTextStyle(std::shared_ptr<const TextStyle> style)
{
    m_titleTextStyle = std::move(style);
    if (m_axisTitle && m_axisTitle->contentLayer())
        m_axisTitle->contentLayer()->setTextStyle(m_titleTextStyle);
}

void XYAxis::setOrthogonalCoordinateDecimal(const Decimal& value)
{
    if (value == m_orthogonalCoordinate)
        return;
    m_orthogonalCoordinate = value;
    setNeedsRelabel();
}

void XYAxis::setAxisConstraints(std::optional<Constraints> constraints)
{
    m_axisConstraints = constraints;
    setNeedsRelabel();
}

std::optional<PlotRange> XYAxis::axisRange() const
{
    if (!m_plotSpace)
        return std::nullopt;
    auto range = m_plotSpace->plotRangeForCoordinate(m_coordinate);
    if (range && m_visibleRange) {
        MutablePlotRange r(*range);
        r.intersectionPlotRange(m_visibleRange);
        return PlotRange(r);
    }
    return range;
}

void XYAxis::relabel()
{
    if (!m_needsRelabel || !m_plotSpace)
        return;
    auto d = delegate.lock();
    if (d && d->axisShouldRelabel(*this) == false) {
        m_needsRelabel = false;
        return;
    }
    if (m_labelingPolicy >= LabelingPolicy::FixedInterval) {
        std::set<Decimal> major, minor;
        // The automatic and equal-division policies are not offered: the
        // graphs label at fixed intervals.
        if (m_labelingPolicy == LabelingPolicy::FixedInterval)
            generateFixedIntervalMajorTickLocations(major, minor);
        m_majorTickLocations = filteredMajorTickLocations(major);
        m_minorTickLocations = filteredMinorTickLocations(minor);
    }
    if (m_labelingPolicy == LabelingPolicy::LocationsProvided) {
        auto range = axisRange();
        updateAxisLabelsAtLocations(m_majorTickLocations, range, true);
        updateAxisLabelsAtLocations(m_minorTickLocations, range, false);
    } else if (m_labelingPolicy != LabelingPolicy::None) {
        updateAxisLabelsAtLocations(m_majorTickLocations, std::nullopt, true);
        updateAxisLabelsAtLocations(m_minorTickLocations, std::nullopt, false);
    }
    m_needsRelabel = false;
    if (d)
        d->axisDidRelabel(*this);
}

double XYAxis::lengthInPoints() const
{
    if (!m_plotArea)
        return 0;
    const platform::Rect bounds = m_plotArea->bounds();
    const double length = m_coordinate == Coordinate::X ? bounds.width() : bounds.height();
    return std::isfinite(length) && length > 0 ? length : 0;
}

double XYAxis::orthogonalLengthInPoints() const
{
    if (!m_plotArea)
        return 0;
    const platform::Rect bounds = m_plotArea->bounds();
    return m_coordinate == Coordinate::X ? bounds.height() : bounds.width();
}

std::size_t XYAxis::majorTickCapacity() const
{
    const double length = lengthInPoints();
    if (length == 0)
        return maximumTickCount;
    const double fits = std::floor(length / minimumTickSpacing);
    return static_cast<std::size_t>(std::clamp(fits, 2.0, static_cast<double>(maximumTickCount)));
}

namespace {

    // Major ticks from `first` to `max` at `interval`, as a double: the
    // decimal quotient is exact enough to compare with a capacity.
    double majorTickCount(const Decimal& first, const Decimal& max, const Decimal& interval)
    {
        if (first > max)
            return 0;
        const Decimal quotient = (max - first) / interval;
        // A quotient past the decimals' exponents is still a double.
        const double steps
            = quotient.isNaN() ? (max.toDouble() - first.toDouble()) / interval.toDouble() : quotient.toDouble();
        return std::isfinite(steps) ? std::floor(steps) + 1 : HUGE_VAL;
    }

    /// The least room between two neighbouring labels along the axis.
    constexpr double labelSpacing = 4;

    // `interval` times the smallest of 1, 2 and 5 times a power of ten that
    // is at least `factor` (> 1). The power goes onto the product's
    // exponent, so that a tiny interval widened past the decimals' largest
    // power still gives a representable step.
    Decimal widenedInterval(const Decimal& interval, double factor)
    {
        if (!std::isfinite(factor))
            return Decimal::notANumber();
        int exponent = static_cast<int>(std::floor(std::log10(factor)));
        const double scaled = factor / std::pow(10.0, exponent);
        int leading = scaled <= 1 ? 1 : scaled <= 2 ? 2 : scaled <= 5 ? 5 : 10;
        if (leading == 10) {
            leading = 1;
            ++exponent;
        }
        const Decimal product = interval * Decimal(leading);
        return Decimal::fromParts(product.isNegative(), product.mantissa(), product.exponent() + exponent);
    }

}

void XYAxis::generateFixedIntervalMajorTickLocations(std::set<Decimal>& major, std::set<Decimal>& minor) const
{
    major.clear();
    minor.clear();
    Decimal interval = m_majorIntervalLength;
    if (!(interval > Decimal(0)))
        return;
    auto range = axisRange();
    if (!range)
        return;
    Decimal min = range->minLimit(), max = range->maxLimit();
    if (min.isNaN() || max.isNaN())
        return;
    auto firstAt
        = [&](const Decimal& step) { return m_labelingOrigin + step * ((min - m_labelingOrigin) / step).ceil(); };
    Decimal v = firstAt(interval);
    if (v.isNaN())
        return;

    // A fixed interval far too short for the range (a power draw of
    // gigawatts on the watts scale) would make millions of ticks and
    // labels: widen it by a round factor, so that the ticks stay on the
    // origin's grid and the labels stand legibly apart.
    const std::size_t capacity = majorTickCapacity();
    const double count = majorTickCount(v, max, interval);
    if (count > static_cast<double>(capacity)) {
        const double length = lengthInPoints();
        const double legible = length > 0 ? std::max(2.0, std::floor(length / legibleTickSpacing)) : 10.0;
        const double target = std::min(legible, static_cast<double>(capacity));
        interval = widenedInterval(interval, count / target);
        v = firstAt(interval);
        if (v.isNaN() || !(interval > Decimal(0)))
            return;
    }

    // Labels that would run into each other (large values on a short axis)
    // are spread out the same way, until each stands clear of the next.
    for (int round = 0; round < maximumLabelWidenings; ++round) {
        const double crowding = labelCrowding(v, max, interval);
        if (!(crowding > 1))
            break;
        const Decimal wider = widenedInterval(interval, crowding);
        const Decimal first = firstAt(wider);
        if (wider.isNaN() || first.isNaN() || !(wider > interval))
            break;
        interval = wider;
        v = first;
    }

    unsigned n = m_minorTicksPerInterval;
    // Minor ticks the axis cannot show apart are left out.
    const double majorCount = majorTickCount(v, max, interval);
    if (n > 0 && (majorCount + 1) * n > static_cast<double>(capacity))
        n = 0;
    Decimal minorInterval = n > 0 ? interval / Decimal(static_cast<long long>(n) + 1) : Decimal(0);
    if (n > 0) {
        Decimal m = v - minorInterval;
        for (unsigned i = 0; i < n && m >= min; ++i, m = m - minorInterval)
            minor.insert(m);
    }
    // The count bounds the walk too: at 38 significant digits a step can
    // be lost in rounding and leave the location where it was.
    while (v <= max && major.size() < capacity) {
        major.insert(v);
        if (n > 0) {
            Decimal m = v + minorInterval;
            for (unsigned i = 0; i < n && m <= max; ++i, m = m + minorInterval)
                minor.insert(m);
        }
        const Decimal next = v + interval;
        if (!(next > v))
            break;
        v = next;
    }
}

double XYAxis::labelCrowding(const Decimal& first, const Decimal& max, const Decimal& interval) const
{
    if (!m_labelFormatter || !m_labelTextStyle || lengthInPoints() == 0 || m_labelingPolicy == LabelingPolicy::None)
        return 0;
    const bool alongX = m_coordinate == Coordinate::X;
    double worst = 0;
    std::optional<std::pair<double, double>> previous; // where along the axis, and the label's extent
    std::size_t measured = 0;
    for (Decimal v = first; v <= max && measured < majorTickCapacity(); ++measured) {
        TextLayer label(m_labelFormatter->stringForObjectValue(v), m_labelTextStyle);
        label.setRotation(labelRotation);
        const platform::Size size = label.rotatedSize();
        const double extent = alongX ? size.width : size.height;
        const platform::Point point = viewPointForCoordinateDecimalNumber(v);
        const double at = alongX ? point.x : point.y;
        if (!std::isfinite(at))
            return 0;
        if (previous && extent > 0 && previous->second > 0) {
            const double room = std::abs(at - previous->first);
            const double needed = (extent + previous->second) / 2 + labelSpacing;
            if (room <= 0)
                return HUGE_VAL;
            worst = std::max(worst, needed / room);
        }
        previous = { at, extent };
        const Decimal next = v + interval;
        if (!(next > v))
            break;
        v = next;
    }
    return worst;
}

std::set<Decimal> XYAxis::filteredTickLocations(const std::set<Decimal>& locations) const
{
    if (m_labelExclusionRanges.empty())
        return locations;
    std::set<Decimal> result;
    for (const Decimal& location : locations) {
        bool excluded = std::any_of(m_labelExclusionRanges.begin(), m_labelExclusionRanges.end(),
            [&](const PlotRange& r) { return r.contains(location); });
        if (!excluded)
            result.insert(location);
    }
    return result;
}

void XYAxis::removeLabels(std::vector<std::shared_ptr<AxisLabel>>& labels)
{
    for (auto& label : labels)
        if (label->contentLayer())
            label->contentLayer()->removeFromSuperlayer();
    labels.clear();
}

void XYAxis::updateAxisLabelsAtLocations(
    const std::set<Decimal>& locations, const std::optional<PlotRange>& range, bool major)
{
    auto d = delegate.lock();
    if (d) {
        auto answer = major ? d->shouldUpdateAxisLabelsAtLocations(*this, locations)
                            : d->shouldUpdateMinorAxisLabelsAtLocations(*this, locations);
        if (answer == false)
            return;
    }
    auto& labels = major ? m_axisLabels : m_minorTickAxisLabels;
    const auto& style = major ? m_labelTextStyle : m_minorTickLabelTextStyle;
    const auto& formatter = major ? m_labelFormatter : m_minorTickLabelFormatter;
    bool& formatterChanged = major ? m_labelFormatterChanged : m_minorLabelFormatterChanged;
    if (locations.empty() || !style || !formatter) {
        // No labels any more: take the old ones off the screen too.
        removeLabels(labels);
        return;
    }
    double offset = (major ? m_labelOffset : minorTickLabelOffset)
        + (m_tickDirection == Sign::None ? majorTickLength / 2 : majorTickLength);
    std::vector<std::shared_ptr<AxisLabel>> newLabels;
    for (const Decimal& location : locations) {
        if (range && !range->contains(location))
            continue;
        auto existing
            = std::find_if(labels.begin(), labels.end(), [&](auto& l) { return l->tickLocation == location; });
        std::shared_ptr<AxisLabel> label;
        bool isNew = existing == labels.end();
        if (isNew) {
            label = std::make_shared<AxisLabel>(std::shared_ptr<TextLayer>());
            label->tickLocation = location;
        } else {
            label = *existing;
        }
        label->rotation = major ? labelRotation : minorTickLabelRotation;
        label->offset = offset;
        label->alignment = major ? labelAlignment : minorTickLabelAlignment;
        if (isNew || formatterChanged) {
            if (label->contentLayer())
                label->contentLayer()->removeFromSuperlayer();
            label->setContentLayer(TextLayer::create(formatter->stringForObjectValue(location), style));
            if (m_plotArea)
                m_plotArea->axisLabelGroup()->addSublayer(label->contentLayer());
        }
        newLabels.push_back(label);
    }
    for (auto& old : labels)
        if (std::find(newLabels.begin(), newLabels.end(), old) == newLabels.end() && old->contentLayer())
            old->contentLayer()->removeFromSuperlayer();
    labels = std::move(newLabels);
    formatterChanged = false;
    setNeedsLayout();
}

namespace {

    // A label centred on a tick close to the graph's edge reaches past it and
    // would be cut off there, or would stand on the plot area frame's border:
    // slide it along the axis until it lies inside the graph and clear of
    // that border (a label longer than the room stays centred).
    /// Returns how far the label was slid along the axis (0: not at all).
    double keepLabelInsideGraph(AxisLabel& label, Coordinate along)
    {
        const auto& layer = label.contentLayer();
        if (!layer || !layer->superlayer())
            return 0;
        const Layer* root = layer->superlayer();
        while (root->superlayer())
            root = root->superlayer();
        const platform::Rect frame = layer->frame();
        const platform::Point origin = layer->superlayer()->convertPointToLayer(frame.origin, root);
        const bool alongX = along == Coordinate::X;
        const double low = alongX ? origin.x : origin.y;
        const double length = alongX ? frame.width() : frame.height();
        double lowest = 0;
        double limit = alongX ? root->bounds().width() : root->bounds().height();
        if (const auto* graph = dynamic_cast<const Graph*>(root); graph && graph->plotAreaFrame()) {
            const auto& areaFrame = graph->plotAreaFrame();
            if (const auto& border = areaFrame->borderLineStyle(); border && border->lineWidth() > 0) {
                // The border lies inside the frame's bounds; a point of air beyond it.
                const platform::Rect box = areaFrame->frame();
                const double inset = border->lineWidth() + 1;
                lowest = std::max(lowest, (alongX ? box.minX() : box.minY()) + inset);
                limit = std::min(limit, (alongX ? box.maxX() : box.maxY()) - inset);
            }
        }
        if (length > limit - lowest)
            return 0;
        double shift = low < lowest ? lowest - low : low + length > limit ? limit - (low + length) : 0;
        if (shift == 0)
            return 0;
        // Placing rounds the frame to whole device pixels, which may undo
        // part of a shift towards the lower edge: go one pixel further then.
        const double pixel = 1 / (layer->contentsScale() > 0 ? layer->contentsScale() : 1);
        const platform::Point position = layer->position();
        for (int attempt = 0; attempt < 2; ++attempt, shift += shift < 0 ? -pixel : pixel) {
            platform::Point moved = position;
            (alongX ? moved.x : moved.y) += shift;
            layer->place(layer->anchorPoint(), moved);
            const platform::Rect placed = layer->frame();
            const platform::Point at = layer->superlayer()->convertPointToLayer(placed.origin, root);
            const double start = alongX ? at.x : at.y;
            if (start >= lowest && start + length <= limit)
                break;
        }
        return shift;
    }

    // A label slid inwards may now crowd the next one: that one moves on by
    // as much, so that at least `labelSpacing` separates them, and so on
    // while the next is crowded. Labels elsewhere stay centred on their
    // ticks, which stand far enough apart for them.
    void spaceFromSlidLabel(
        std::vector<std::shared_ptr<AxisLabel>>& labels, std::size_t slid, double shift, Coordinate along)
    {
        const bool alongX = along == Coordinate::X;
        auto lowOf = [&](const AxisLabel& l) {
            auto f = l.contentLayer()->frame();
            return alongX ? f.minX() : f.minY();
        };
        auto highOf = [&](const AxisLabel& l) {
            auto f = l.contentLayer()->frame();
            return alongX ? f.maxX() : f.maxY();
        };
        // The neighbour moved on may crowd the one after it in turn: each
        // moves on as far as it must, and no further.
        const AxisLabel* moved = labels[slid].get();
        for (std::size_t step = 0; step < labels.size(); ++step) {
            AxisLabel* neighbour = nullptr;
            for (auto& other : labels) {
                if (other.get() == moved || !other->contentLayer()
                    || other->contentLayer()->superlayer() != moved->contentLayer()->superlayer())
                    continue;
                bool onTheSideMovedTo = shift > 0 ? lowOf(*other) >= lowOf(*moved) : highOf(*other) <= highOf(*moved);
                if (!onTheSideMovedTo)
                    continue;
                if (!neighbour || (shift > 0 ? lowOf(*other) < lowOf(*neighbour) : highOf(*other) > highOf(*neighbour)))
                    neighbour = other.get();
            }
            if (!neighbour)
                return;
            double crowding = shift > 0 ? highOf(*moved) + labelSpacing - lowOf(*neighbour)
                                        : highOf(*neighbour) + labelSpacing - lowOf(*moved);
            if (crowding <= 0)
                return;
            const auto& layer = neighbour->contentLayer();
            platform::Point position = layer->position();
            (alongX ? position.x : position.y) += shift > 0 ? crowding : -crowding;
            layer->place(layer->anchorPoint(), position);
            moved = neighbour;
        }
    }

}

void XYAxis::updateMajorTickLabels()
{
    placeLabels(m_axisLabels);
}

void XYAxis::updateMinorTickLabels()
{
    placeLabels(m_minorTickAxisLabels);
}

void XYAxis::placeLabels(std::vector<std::shared_ptr<AxisLabel>>& labels)
{
    std::vector<std::pair<std::size_t, double>> slid;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i]->positionRelativeToViewPoint(
            viewPointForCoordinateDecimalNumber(labels[i]->tickLocation), orthogonalCoordinate(), m_tickDirection);
        if (double shift = keepLabelInsideGraph(*labels[i], m_coordinate); shift != 0)
            slid.emplace_back(i, shift);
    }
    for (auto [index, shift] : slid)
        spaceFromSlidLabel(labels, index, shift, m_coordinate);
}

void XYAxis::updateAxisTitle()
{
    if (m_title.empty() || !m_plotSpace) {
        if (m_axisTitle && m_axisTitle->contentLayer())
            m_axisTitle->contentLayer()->removeFromSuperlayer();
        m_axisTitle.reset();
        return;
    }
    if (!m_axisTitle) {
        m_axisTitle = std::make_shared<AxisLabel>(m_title, m_titleTextStyle);
        if (m_plotArea)
            m_plotArea->axisTitleGroup()->addSublayer(m_axisTitle->contentLayer());
    }
    auto range = axisRange();
    Decimal location = !titleLocation.isNaN() ? titleLocation : range ? range->midPoint() : Decimal(0);
    m_axisTitle->offset = titleOffset;
    m_axisTitle->rotation = !std::isnan(titleRotation) ? titleRotation
        : m_coordinate == Coordinate::X                ? 0
                                                       : std::numbers::pi / 2;
    platform::Point at = viewPointForCoordinateDecimalNumber(location);
    // Without a middle of the range (one that decimals cannot hold), the
    // title stands at the middle of the axis.
    double& along = m_coordinate == Coordinate::X ? at.x : at.y;
    if (!std::isfinite(along))
        along = lengthInPoints() / 2;
    m_axisTitle->positionRelativeToViewPoint(at, orthogonalCoordinate(), m_tickDirection);
}

void XYAxis::layoutLabels()
{
    if (!m_plotSpace)
        return;
    auto range = axisRange();
    auto orthogonal = m_plotSpace->plotRangeForCoordinate(orthogonalCoordinate());
    if (range != m_lastAxisRange || orthogonal != m_lastOrthogonalRange) {
        m_lastAxisRange = range;
        m_lastOrthogonalRange = orthogonal;
        setNeedsRelabel();
    }
    relabel();
    updateMajorTickLabels();
    updateMinorTickLabels();
    updateAxisTitle();
}

platform::Point XYAxis::viewPointForCoordinateDecimalNumber(const Decimal& value) const
{
    return viewPointForCoordinateDouble(value.toDouble());
}

platform::Point XYAxis::viewPointForCoordinateDouble(double value) const
{
    if (!m_plotSpace)
        return {};
    double orthogonal = m_orthogonalCoordinate.toDouble();
    platform::Point p = m_coordinate == Coordinate::X
        ? m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(value, orthogonal)
        : m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(orthogonal, value);
    if (m_axisConstraints) {
        auto range = m_plotSpace->plotRangeForCoordinate(orthogonalCoordinate());
        if (!range)
            throw Exception("The orthogonalRange was nil in orthogonalCoordinateViewLowerBound:upperBound:");
        auto at = [&](double v) {
            return m_coordinate == Coordinate::X
                ? m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(value, v).y
                : m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(v, value).x;
        };
        double lower = at(range->locationDouble()), upper = at(range->endDouble());
        if (!std::isfinite(lower) || !std::isfinite(upper)) {
            // An orthogonal range that decimals cannot hold (a value past
            // their largest, read as not-a-number) maps nowhere: the
            // constraint then holds to the plot area's own edges, so that
            // the axis and its labels stay where they belong.
            lower = 0;
            upper = orthogonalLengthInPoints();
        }
        double position = m_axisConstraints->positionForLowerBound(lower, upper);
        (m_coordinate == Coordinate::X ? p.y : p.x) = position;
    }
    return p;
}

namespace {

    /// Strokes line segments (pairs of points) in one style.
    void strokeSegments(platform::Context& context, const LineStyle& style, const std::vector<platform::Point>& ends)
    {
        platform::ContextStateSaver saver(context);
        style.setLineStyleInContext(context);
        context.beginPath();
        for (std::size_t i = 0; i + 1 < ends.size(); i += 2) {
            context.moveTo(ends[i]);
            context.lineTo(ends[i + 1]);
        }
        context.stroke();
    }

    void addSegments(
        DrawingSignature& into, const std::shared_ptr<const LineStyle>& style, const std::vector<platform::Point>& ends)
    {
        into.add(style ? 1 : 0);
        if (!style)
            return;
        style->describe(into);
        into.add(static_cast<double>(ends.size()));
        for (auto p : ends)
            into.add(p);
    }

}

std::vector<platform::Point> XYAxis::tickSegments(platform::Context& context, const std::set<Decimal>& locations,
    double length, const std::optional<PlotRange>& range) const
{
    std::vector<platform::Point> ends;
    double f1 = 0, f2 = 1;
    if (m_tickDirection == Sign::None) {
        f1 = -0.5;
        f2 = 0.5;
    } else if (m_tickDirection == Sign::Negative) {
        f2 = -1;
    }
    for (const Decimal& location : locations) {
        if (range && !range->contains(location))
            continue;
        platform::Point p = viewPointForCoordinateDecimalNumber(location);
        platform::Point a = p, b = p;
        if (m_coordinate == Coordinate::Y) {
            a.x += f1 * length;
            b.x += f2 * length;
        } else {
            a.y += f1 * length;
            b.y += f2 * length;
        }
        ends.push_back(alignPointToPixelCenter(context, a));
        ends.push_back(alignPointToPixelCenter(context, b));
    }
    return ends;
}

void XYAxis::drawTicksInContext(platform::Context& context, const std::set<Decimal>& locations, double length,
    const std::optional<PlotRange>& range, bool major) const
{
    const auto& style = major ? majorTickLineStyle : minorTickLineStyle;
    if (!style || locations.empty())
        return;
    strokeSegments(context, *style, tickSegments(context, locations, length, range));
}

std::vector<platform::Point> XYAxis::gridLineSegments(platform::Context& context, bool major)
{
    std::vector<platform::Point> ends;
    if (!m_plotSpace)
        return ends;
    relabel();
    auto span = m_plotSpace->plotRangeForCoordinate(orthogonalCoordinate());
    if (!span)
        return ends;
    if (gridLinesRange) {
        MutablePlotRange r(*span);
        r.intersectionPlotRange(gridLinesRange);
        span = PlotRange(r);
    }
    bool onlyInside = m_labelingPolicy == LabelingPolicy::None || m_labelingPolicy == LabelingPolicy::LocationsProvided;
    auto range = axisRange();
    const auto& locations = major ? m_majorTickLocations : m_minorTickLocations;
    for (const Decimal& location : locations) {
        if (onlyInside && range && !range->contains(location))
            continue;
        double v = location.toDouble();
        auto point = [&](double across) {
            return m_coordinate == Coordinate::X ? m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(v, across)
                                                 : m_plotSpace->plotAreaViewPointForDoublePrecisionPlotPoint(across, v);
        };
        ends.push_back(alignPointToPixelCenter(context, point(span->locationDouble())));
        ends.push_back(alignPointToPixelCenter(context, point(span->endDouble())));
    }
    return ends;
}

void XYAxis::drawGridLinesInContext(platform::Context& context, bool major)
{
    const auto& style = major ? majorGridLineStyle : minorGridLineStyle;
    if (!style || !m_plotSpace)
        return;
    auto ends = gridLineSegments(context, major);
    if (!m_plotSpace->plotRangeForCoordinate(orthogonalCoordinate()))
        return;
    strokeSegments(context, *style, ends);
}

void XYAxis::describeGridLines(platform::Context& context, bool major, DrawingSignature& into)
{
    const auto& style = major ? majorGridLineStyle : minorGridLineStyle;
    if (!style || !m_plotSpace) {
        into.add(-1);
        return;
    }
    addSegments(into, style, gridLineSegments(context, major));
}

std::vector<platform::Point> XYAxis::axisLineSegment(platform::Context& context)
{
    auto range = axisRange();
    if (!axisLineStyle || !range)
        return {};
    return { alignPointToPixelCenter(context, viewPointForCoordinateDouble(range->locationDouble())),
        alignPointToPixelCenter(context, viewPointForCoordinateDouble(range->endDouble())) };
}

void XYAxis::renderAsVectorInContext(platform::Context& context)
{
    if (!m_plotSpace)
        return;
    relabel();
    auto range = axisRange();
    if (axisLineStyle && range)
        strokeSegments(context, *axisLineStyle, axisLineSegment(context));
    drawTicksInContext(context, m_minorTickLocations, minorTickLength, range, false);
    drawTicksInContext(context, m_majorTickLocations, majorTickLength, range, true);
}

bool XYAxis::describeOwnDrawing(platform::Context& context, DrawingSignature& into)
{
    if (!m_plotSpace) {
        into.add(-1);
        return true;
    }
    relabel();
    auto range = axisRange();
    addSegments(into, range ? axisLineStyle : nullptr, axisLineSegment(context));
    for (bool major : { false, true }) {
        const auto& locations = major ? m_majorTickLocations : m_minorTickLocations;
        const auto& style = locations.empty() ? nullptr : major ? majorTickLineStyle : minorTickLineStyle;
        addSegments(into, style,
            style ? tickSegments(context, locations, major ? majorTickLength : minorTickLength, range)
                  : std::vector<platform::Point> {});
    }
    return true;
}

}
