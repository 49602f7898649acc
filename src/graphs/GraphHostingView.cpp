#include "graphs/GraphHostingView.h"

#include "charting/Notifications.h"
#include "charting/PlotArea.h"
#include "charting/TextLayer.h"
#include "graphs/GraphViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/gfx/Context.h"
#include "platform/ui/Accessible.h"
#include "platform/ui/Label.h"

#include <algorithm>
#include <cmath>

namespace hestio {

using platform::Point;

namespace {

    // The part of `layer`'s rectangle (graph coordinates, y up) that shows:
    // what its masking ancestors and the graph's bounds leave of it; none
    // when it or an ancestor is hidden.
    std::optional<platform::Rect> shownPartOf(const chart::Layer& layer, const chart::Layer& graph)
    {
        Point origin = layer.convertPointToLayer({ 0, 0 }, &graph);
        platform::Rect shown { origin.x, origin.y, layer.frame().width(), layer.frame().height() };
        for (const chart::Layer* l = &layer; l; l = l->superlayer()) {
            if (l->isHidden())
                return std::nullopt;
            if (l != &layer && (l->masksToBounds() || l == &graph)) {
                Point o = l->convertPointToLayer({ 0, 0 }, &graph);
                shown = shown.intersection({ o.x, o.y, l->frame().width(), l->frame().height() });
            }
        }
        return shown;
    }

    void collectTextLayers(const chart::Layer& layer, std::vector<const chart::TextLayer*>& out)
    {
        if (auto* text = dynamic_cast<const chart::TextLayer*>(&layer); text && !text->text().empty())
            out.push_back(text);
        for (const auto& sublayer : layer.sublayers())
            collectTextLayers(*sublayer, out);
    }

}

std::shared_ptr<GraphHostingView> GraphHostingView::create(platform::Rect frame)
{
    auto view = std::make_shared<GraphHostingView>(frame);
    view->setAllowPinchScaling(true);
    return view;
}

GraphHostingView::GraphHostingView(platform::Rect frame)
    : View(frame)
{
    setBackgroundColor(platform::Color::clear());
}

GraphHostingView::~GraphHostingView()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
}

void GraphHostingView::setHostedGraph(std::shared_ptr<chart::Graph> graph)
{
    if (graph == m_hostedGraph)
        return;
    m_hostedGraph = std::move(graph);
    layOutGraph();
    updateRedrawObservation();
    setNeedsDisplay();
}

void GraphHostingView::setCollapsesLayers(bool collapses)
{
    if (collapses == m_collapsesLayers)
        return;
    m_collapsesLayers = collapses;
    layOutGraph();
    updateRedrawObservation();
    setNeedsDisplay();
}

void GraphHostingView::setAllowPinchScaling(bool allow)
{
    if (allow == allowPinchScaling())
        return;
    if (allow) {
        m_pinch = platform::PinchGestureRecognizer::create();
        std::weak_ptr<GraphHostingView> weakSelf = self<GraphHostingView>();
        m_pinch->addAction([weakSelf](platform::GestureRecognizer& recognizer) {
            if (auto view = weakSelf.lock())
                view->handlePinch(static_cast<platform::PinchGestureRecognizer&>(recognizer));
        });
        addGestureRecognizer(m_pinch);
    } else {
        removeGestureRecognizer(*m_pinch);
        m_pinch.reset();
    }
}

void GraphHostingView::layOutGraph()
{
    if (!m_hostedGraph)
        return;
    m_hostedGraph->setFrame(bounds());
    m_hostedGraph->layoutIfNeeded();
}

void GraphHostingView::frameSizeDidChange(platform::Size)
{
    layOutGraph();
    setNeedsDisplay();
}

void GraphHostingView::updateRedrawObservation()
{
    auto& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(this, chart::GraphNeedsRedrawNotification);
    // This toolkit keeps no separate layer compositor, so the graph's own
    // layer tree also reaches the screen through this view's drawing: the
    // view redraws on the graph's change notice in both modes.
    if (!m_hostedGraph)
        return;
    std::weak_ptr<GraphHostingView> weakSelf = self<GraphHostingView>();
    center.addObserver(
        this, chart::GraphNeedsRedrawNotification,
        [weakSelf](const auto&) {
            if (auto view = weakSelf.lock())
                view->setNeedsDisplay();
        },
        m_hostedGraph.get());
}

std::vector<platform::DrawnText> GraphHostingView::drawnTexts() const
{
    std::vector<platform::DrawnText> texts;
    if (!m_hostedGraph)
        return texts;
    std::vector<const chart::TextLayer*> layers;
    collectTextLayers(*m_hostedGraph, layers);
    double height = bounds().height();
    for (const auto* layer : layers) {
        auto shown = shownPartOf(*layer, *m_hostedGraph);
        // A label scrolled wholly out of the plot is not on screen at all.
        if (!shown || shown->isEmpty())
            continue;
        // Its room is the part that shows, in the view's coordinates (y down).
        platform::Rect room { shown->x(), height - shown->maxY(), shown->width(), shown->height() };
        auto text = platform::DrawnText::measured(layer->text(), layer->frame().size, room);
        // As for a label: a line may overhang by two points at the top or bottom.
        text.fits = shown->width() + 0.5 >= layer->frame().width() && shown->height() + 2.5 >= layer->frame().height();
        texts.push_back(std::move(text));
    }
    return texts;
}

void GraphHostingView::draw(platform::Context& context, const platform::Rect&)
{
    if (!m_hostedGraph)
        return;
    context.save();
    context.flipY(bounds().height());
    m_hostedGraph->setFrame(bounds());
    m_hostedGraph->layoutAndRenderInContext(context);
    context.restore();
}

Point GraphHostingView::graphPointForViewPoint(Point point) const
{
    // The graph fills the view with its y axis pointing up.
    return { point.x, bounds().height() - point.y };
}

void GraphHostingView::handlePinch(platform::PinchGestureRecognizer& pinch)
{
    auto state = pinch.state();
    if (!m_hostedGraph
        || (state != platform::GestureRecognizer::State::Began && state != platform::GestureRecognizer::State::Changed))
        return;
    zoomBy(pinch.scale(), pinch.locationInView(this));
    pinch.setScale(1.0);
}

void GraphHostingView::zoomBy(double factor, platform::Point point)
{
    if (!m_hostedGraph)
        return;
    Point inGraph = graphPointForViewPoint(point);
    Point inPlotArea = inGraph;
    if (const auto& frame = m_hostedGraph->plotAreaFrame(); frame && frame->plotArea())
        inPlotArea = m_hostedGraph->convertPointToLayer(inGraph, frame->plotArea().get());
    for (const auto& space : m_hostedGraph->allPlotSpaces()) {
        if (!space->allowsUserInteraction())
            continue;
        if (auto xy = std::dynamic_pointer_cast<chart::XYPlotSpace>(space))
            xy->scaleBy(factor, inPlotArea);
    }
}

std::optional<double> GraphHostingView::zoom() const
{
    if (!m_hostedGraph)
        return std::nullopt;
    for (const auto& space : m_hostedGraph->allPlotSpaces())
        if (auto xy = std::dynamic_pointer_cast<chart::XYPlotSpace>(space); xy && xy->allowsUserInteraction())
            if (xy->globalXRange() && xy->xRange().lengthDouble() > 0)
                return xy->globalXRange()->lengthDouble() / xy->xRange().lengthDouble();
    return std::nullopt;
}

bool GraphHostingView::adjustAccessibleValue(double value)
{
    auto now = zoom();
    if (!now || !allowPinchScaling())
        return false;
    zoomBy(std::clamp(value, 1.0, maximumZoom) / *now, bounds().center());
    return true;
}

const platform::Touch* GraphHostingView::trackedTouchIn(const platform::TouchSet& touches) const
{
    if (!m_trackedTouch)
        return nullptr;
    for (const auto& touch : touches) {
        if (touch->identifier == *m_trackedTouch)
            return touch.get();
    }
    return nullptr;
}

void GraphHostingView::touchesBegan(const platform::TouchSet& touches, const platform::Event& event)
{
    // A finger landing while another is down belongs to a pinch, not to the graph.
    if (!m_hostedGraph || touches.empty() || event.allTouches.size() > 1 || m_trackedTouch)
        return;
    const auto& touch = touches.front();
    m_trackedTouch = touch->identifier;
    m_touchStart = touch->locationInView(this);
    m_touchTravelled = false;
    m_hostedGraph->pointingDeviceDownEvent({ event.timestamp }, graphPointForViewPoint(m_touchStart));
}

void GraphHostingView::touchesMoved(const platform::TouchSet& touches, const platform::Event& event)
{
    const platform::Touch* touch = trackedTouchIn(touches);
    if (!touch)
        return;
    Point at = touch->locationInView(this);
    if (std::hypot(at.x - m_touchStart.x, at.y - m_touchStart.y) > tapSlop)
        m_touchTravelled = true;
    if (m_hostedGraph)
        m_hostedGraph->pointingDeviceDraggedEvent({ event.timestamp }, graphPointForViewPoint(at));
}

void GraphHostingView::touchesEnded(const platform::TouchSet& touches, const platform::Event& event)
{
    const platform::Touch* touch = trackedTouchIn(touches);
    if (!touch)
        return;
    Point at = touch->locationInView(this);
    bool tapped = !m_touchTravelled && std::hypot(at.x - m_touchStart.x, at.y - m_touchStart.y) <= tapSlop;
    m_trackedTouch.reset();
    if (m_hostedGraph)
        m_hostedGraph->pointingDeviceUpEvent({ event.timestamp }, graphPointForViewPoint(at));
    if (m_touchFinished)
        m_touchFinished(tapped);
}

void GraphHostingView::touchesCancelled(const platform::TouchSet& touches, const platform::Event& event)
{
    if (!trackedTouchIn(touches))
        return;
    m_trackedTouch.reset();
    if (m_hostedGraph)
        m_hostedGraph->pointingDeviceCancelledEvent({ event.timestamp });
    if (m_touchFinished)
        m_touchFinished(false);
}

void GraphHostingView::describeAccessibility(platform::AccessibleInfo& info) const
{
    info.role = platform::AccessibleRole::Image;
    info.interfaces |= platform::AccessibleHasImage;
    for (const View* v = superview(); v; v = v->superview())
        if (auto* screen = dynamic_cast<const GraphViewController*>(v->viewController())) {
            if (info.name.empty())
                info.name = screen->title().empty() ? const_cast<GraphViewController*>(screen)->navBarTitle().title()
                                                    : screen->title();
            if (info.description.empty() && screen->summaryLabel())
                info.description = screen->summaryLabel()->text();
            break;
        }
    if (info.name.empty())
        info.name = "Graph";
    // The zoom reads and moves as a value: 1 the whole day.
    if (auto now = zoom(); now && allowPinchScaling()) {
        info.value = platform::AccessibleValue { *now, 1.0, maximumZoom, 0.5 };
        info.interfaces |= platform::AccessibleHasValue;
    }
}

}
