#pragma once

#include "charting/PlotRange.h"
#include "platform/gfx/Geometry.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio::chart {

class Graph;
class PlotSpace;

/// A pointing-device event as the graph passes it on. The position travels
/// separately, in the receiver's coordinates.
struct PointerEvent {
    double timestamp { 0 };
};

/// The plot space's delegate. Every hook is optional: the defaults answer
/// "not implemented" (none), and the plot space then behaves as if the
/// delegate were absent.
class PlotSpaceDelegate {
public:
    virtual ~PlotSpaceDelegate() = default;
    /// Answering false means the delegate took the event itself.
    virtual std::optional<bool> shouldHandlePointingDeviceDownEvent(PlotSpace&, const PointerEvent&, platform::Point)
    {
        return std::nullopt;
    }
    virtual std::optional<bool> shouldHandlePointingDeviceDraggedEvent(PlotSpace&, const PointerEvent&, platform::Point)
    {
        return std::nullopt;
    }
    virtual std::optional<bool> shouldHandlePointingDeviceUpEvent(PlotSpace&, const PointerEvent&, platform::Point)
    {
        return std::nullopt;
    }
    virtual std::optional<bool> shouldHandlePointingDeviceCancelledEvent(PlotSpace&, const PointerEvent&)
    {
        return std::nullopt;
    }
    /// Answering false cancels the zoom.
    virtual std::optional<bool> shouldScaleBy(PlotSpace&, double, platform::Point) { return std::nullopt; }
    /// The displacement to use for a drag step instead of the given one.
    virtual std::optional<platform::Point> willDisplaceBy(PlotSpace&, platform::Point) { return std::nullopt; }
    /// The range to store instead of the proposed one.
    virtual std::optional<PlotRange> willChangePlotRangeTo(PlotSpace&, const PlotRange&, Coordinate)
    {
        return std::nullopt;
    }
    virtual void didChangePlotRangeForCoordinate(PlotSpace&, Coordinate) { }
};

/// Maps data coordinates to the plot area. The graph owns its plot spaces;
/// `graph` is a non-owning back-pointer the graph sets and clears.
class PlotSpace {
public:
    virtual ~PlotSpace() = default;

    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }
    bool allowsUserInteraction() const { return m_allowsUserInteraction; }
    void setAllowsUserInteraction(bool allows) { m_allowsUserInteraction = allows; }
    Graph* graph() const { return m_graph; }
    void setGraph(Graph* graph) { m_graph = graph; }
    std::shared_ptr<PlotSpaceDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<PlotSpaceDelegate> delegate) { m_delegate = std::move(delegate); }

    [[nodiscard]] virtual std::optional<PlotRange> plotRangeForCoordinate(Coordinate) const = 0;
    virtual void setPlotRange(const PlotRange& range, Coordinate coordinate) = 0;

    [[nodiscard]] virtual platform::Point plotAreaViewPointForPlotPoint(const Decimal& x, const Decimal& y) const = 0;
    [[nodiscard]] virtual platform::Point plotAreaViewPointForDoublePrecisionPlotPoint(double x, double y) const = 0;

    // Pointer events, points in the graph's coordinates. The base consults
    // the delegate's should-handle hooks: true means the delegate took it.
    virtual bool pointingDeviceDownEvent(const PointerEvent& event, platform::Point point);
    virtual bool pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point);
    virtual bool pointingDeviceUpEvent(const PointerEvent& event, platform::Point point);
    virtual bool pointingDeviceCancelledEvent(const PointerEvent& event);

private:
    std::string m_identifier;
    bool m_allowsUserInteraction { false };
    Graph* m_graph { nullptr };
    std::weak_ptr<PlotSpaceDelegate> m_delegate;
};

}
