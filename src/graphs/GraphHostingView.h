#pragma once

#include "charting/Graph.h"
#include "platform/ui/DrawnText.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace hestio {

/// A view that shows one chart graph: it draws the graph flipped so that the
/// graph's y axis points up, passes single-finger touches on as the graph's
/// pointing-device events and turns its own pinch recogniser into zooming of
/// the graph's plot spaces.
class GraphHostingView : public platform::View, public platform::DrawsTexts {
public:
    [[nodiscard]] static std::shared_ptr<GraphHostingView> create(platform::Rect frame = {});
    explicit GraphHostingView(platform::Rect frame = {});
    ~GraphHostingView() override;

    std::string className() const override { return "GraphHostingView"; }
    /// An image to a screen reader, named by its screen and described by the
    /// summary line written for the day shown.
    void describeAccessibility(platform::AccessibleInfo& info) const override;
    /// The graph's titles and axis labels, each with the part of it that
    /// shows within the view and the plot's clips.
    std::vector<platform::DrawnText> drawnTexts() const override;

    const std::shared_ptr<chart::Graph>& hostedGraph() const { return m_hostedGraph; }
    void setHostedGraph(std::shared_ptr<chart::Graph> graph);
    /// Off: the graph draws as part of this view's layer tree, laid out to the
    /// view's bounds. On: the view draws the graph in one pass and redraws
    /// whenever the graph says it changed.
    bool collapsesLayers() const { return m_collapsesLayers; }
    void setCollapsesLayers(bool collapses);
    /// On (the default), the view carries a pinch recogniser that zooms.
    bool allowPinchScaling() const { return m_pinch != nullptr; }
    void setAllowPinchScaling(bool allow);
    const std::shared_ptr<platform::PinchGestureRecognizer>& pinchGestureRecognizer() const { return m_pinch; }

    /// A point of this view in the graph's coordinates (y up).
    platform::Point graphPointForViewPoint(platform::Point point) const;
    /// Applies one pinch report: every interactive plot space is scaled by the
    /// recogniser's scale about the pinch's centre, then the scale is reset to
    /// 1 so the next report carries only the change since this one.
    void handlePinch(platform::PinchGestureRecognizer& pinch);
    /// Zooms every interactive plot space by `factor` (> 1 in) about a
    /// point of this view, as a pinch there does.
    void zoomBy(double factor, platform::Point point);
    /// How many times the whole range the shown range is (1: all of it);
    /// none without an interactive plot space with a whole range.
    [[nodiscard]] std::optional<double> zoom() const;
    /// A screen reader zooms no further than a quarter of an hour of a day.
    static constexpr double maximumZoom = 96;
    /// Sets the zoom (clamped to 1 … maximumZoom) about the view's centre.
    bool adjustAccessibleValue(double value) override;

    /// Whether a single-finger touch is down and being passed on.
    bool isTrackingTouch() const { return m_trackedTouch.has_value(); }
    /// Told when the touch it passes on is over: `tapped` when it ended close
    /// to where it began, false when it travelled (a drag) or was taken over
    /// by a gesture (a swipe).
    void setTouchFinishedHandler(std::function<void(bool tapped)> handler) { m_touchFinished = std::move(handler); }
    /// How far (points) a finger may move and still make a tap.
    static constexpr double tapSlop = 10;

    void touchesBegan(const platform::TouchSet& touches, const platform::Event& event) override;
    void touchesMoved(const platform::TouchSet& touches, const platform::Event& event) override;
    void touchesEnded(const platform::TouchSet& touches, const platform::Event& event) override;
    void touchesCancelled(const platform::TouchSet& touches, const platform::Event& event) override;

protected:
    void draw(platform::Context& context, const platform::Rect& rect) override;
    void frameSizeDidChange(platform::Size oldSize) override;

private:
    void layOutGraph();
    void updateRedrawObservation();
    /// The touch this view passes on, if `touches` holds it.
    const platform::Touch* trackedTouchIn(const platform::TouchSet& touches) const;

    std::shared_ptr<chart::Graph> m_hostedGraph;
    bool m_collapsesLayers { false };
    std::shared_ptr<platform::PinchGestureRecognizer> m_pinch;
    std::optional<int> m_trackedTouch;
    platform::Point m_touchStart;
    bool m_touchTravelled { false };
    std::function<void(bool)> m_touchFinished;
};

}
