#include "charting/Graph.h"

#include "charting/Plot.h"
#include "charting/Theme.h"

#include <algorithm>

namespace hestio::chart {

Graph::Graph()
    : m_plotAreaFrame(std::make_shared<PlotAreaFrame>())
{
    setPaddings(20, 20, 20, 20);
    addSublayer(m_plotAreaFrame);
}

Graph::~Graph()
{
    for (auto& plot : m_plots)
        plot->setGraph(nullptr);
    for (auto& space : m_plotSpaces)
        space->setGraph(nullptr);
}

void Graph::setUp(std::shared_ptr<PlotSpace> defaultSpace, std::shared_ptr<AxisSet> axisSet)
{
    addPlotSpace(std::move(defaultSpace));
    setAxisSet(std::move(axisSet));
}

void Graph::setAxisSet(std::shared_ptr<AxisSet> axisSet)
{
    m_axisSet = std::move(axisSet);
    m_plotAreaFrame->plotArea()->setAxisSet(m_axisSet);
}

std::shared_ptr<Plot> Graph::plotAtIndex(std::size_t index) const
{
    return index < m_plots.size() ? m_plots[index] : nullptr;
}

std::shared_ptr<Plot> Graph::plotWithIdentifier(const std::string& identifier) const
{
    auto it = std::find_if(m_plots.begin(), m_plots.end(), [&](auto& p) { return p->identifier() == identifier; });
    return it == m_plots.end() ? nullptr : *it;
}

void Graph::addPlot(std::shared_ptr<Plot> plot)
{
    addPlot(std::move(plot), defaultPlotSpace());
}

void Graph::addPlot(std::shared_ptr<Plot> plot, std::shared_ptr<PlotSpace> space)
{
    if (!plot)
        return;
    plot->setPlotSpace(std::move(space));
    plot->setGraph(this);
    m_plotAreaFrame->plotArea()->plotGroup()->addSublayer(plot);
    m_plots.push_back(std::move(plot));
    m_plotAreaFrame->plotArea()->setNeedsLayout();
}

void Graph::insertPlot(std::shared_ptr<Plot> plot, std::size_t index)
{
    if (!plot)
        return;
    index = std::min(index, m_plots.size());
    plot->setPlotSpace(defaultPlotSpace());
    plot->setGraph(this);
    m_plotAreaFrame->plotArea()->plotGroup()->insertSublayer(plot, index);
    m_plots.insert(m_plots.begin() + index, std::move(plot));
    m_plotAreaFrame->plotArea()->setNeedsLayout();
}

void Graph::removePlot(const std::shared_ptr<Plot>& plot)
{
    auto it = std::find(m_plots.begin(), m_plots.end(), plot);
    if (it == m_plots.end())
        return;
    auto keep = *it;
    m_plots.erase(it);
    keep->removeFromSuperlayer();
    keep->setGraph(nullptr);
}

void Graph::removePlotWithIdentifier(const std::string& identifier)
{
    if (auto plot = plotWithIdentifier(identifier))
        removePlot(plot);
}

void Graph::reloadData()
{
    for (auto& plot : m_plots)
        plot->reloadData();
}

std::shared_ptr<PlotSpace> Graph::defaultPlotSpace() const
{
    return m_plotSpaces.empty() ? nullptr : m_plotSpaces.front();
}

std::shared_ptr<PlotSpace> Graph::plotSpaceAtIndex(std::size_t index) const
{
    return index < m_plotSpaces.size() ? m_plotSpaces[index] : nullptr;
}

void Graph::addPlotSpace(std::shared_ptr<PlotSpace> space)
{
    if (!space)
        return;
    space->setGraph(this);
    m_plotSpaces.push_back(std::move(space));
}

void Graph::removePlotSpace(const std::shared_ptr<PlotSpace>& space)
{
    auto it = std::find(m_plotSpaces.begin(), m_plotSpaces.end(), space);
    if (it == m_plotSpaces.end())
        return;
    (*it)->setGraph(nullptr);
    m_plotSpaces.erase(it);
}

void Graph::applyTheme(Theme* theme)
{
    if (theme)
        theme->applyThemeToGraph(*this);
}

void Graph::setKeepsBackground(bool keeps)
{
    m_keepsBackground = keeps;
    if (!keeps)
        m_keptBackground.clear();
    // Nothing painted from kept pixels is left out of the next frame.
    m_plotAreaFrame->setBackgroundPaintedAbove(false);
    for (auto& layer : m_plotAreaFrame->plotArea()->sublayers())
        layer->setPaintedFromKeptPixels(false);
}

void Graph::renderAsVectorInContext(platform::Context& context)
{
    bool kept = m_keepsBackground && m_keptBackground.paint(context, *this, *m_plotAreaFrame);
    if (!kept)
        BorderedLayer::renderAsVectorInContext(context);
}

void Graph::layoutSublayers()
{
    m_plotAreaFrame->setFrame(contentRect());
}

// Copies of the lists are walked, so a receiver may add or remove plots.
template<typename Offer>
static bool dispatch(
    std::vector<std::shared_ptr<Plot>> plots, std::vector<std::shared_ptr<PlotSpace>> spaces, Offer offer)
{
    for (auto it = plots.rbegin(); it != plots.rend(); ++it)
        if (offer(**it))
            return true;
    // The axis set and the plot area frame come next; they take no events.
    for (auto& space : spaces)
        if (offer(*space))
            return true;
    return false;
}

bool Graph::pointingDeviceDownEvent(const PointerEvent& event, platform::Point point)
{
    layoutIfNeeded();
    return dispatch(m_plots, m_plotSpaces, [&](auto& r) { return r.pointingDeviceDownEvent(event, point); });
}

bool Graph::pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point)
{
    layoutIfNeeded();
    return dispatch(m_plots, m_plotSpaces, [&](auto& r) { return r.pointingDeviceDraggedEvent(event, point); });
}

bool Graph::pointingDeviceUpEvent(const PointerEvent& event, platform::Point point)
{
    layoutIfNeeded();
    return dispatch(m_plots, m_plotSpaces, [&](auto& r) { return r.pointingDeviceUpEvent(event, point); });
}

bool Graph::pointingDeviceCancelledEvent(const PointerEvent& event)
{
    return dispatch(m_plots, m_plotSpaces, [&](auto& r) { return r.pointingDeviceCancelledEvent(event); });
}

void Graph::layoutAndRenderInContext(platform::Context& context)
{
    setContentsScale(context.scale());
    layoutIfNeeded();
    if (m_axisSet)
        m_axisSet->layoutAxes();
    renderInContext(context);
}

std::shared_ptr<platform::Image> Graph::imageOfGraph(double scale)
{
    auto image = platform::Image::create(bounds().size, scale);
    auto context = platform::Context::forImage(*image);
    context->flipY(bounds().height());
    context->translate(-frame().x(), -frame().y());
    layoutAndRenderInContext(*context);
    return image;
}

XYGraph::XYGraph(ScaleType xScaleType, ScaleType yScaleType)
    : m_xScaleType(xScaleType)
    , m_yScaleType(yScaleType)
{
}

std::shared_ptr<XYPlotSpace> XYGraph::newPlotSpace() const
{
    auto space = std::make_shared<XYPlotSpace>();
    space->setXScaleType(m_xScaleType);
    space->setYScaleType(m_yScaleType);
    return space;
}

std::shared_ptr<XYGraph> XYGraph::create(platform::Rect frame, ScaleType xScaleType, ScaleType yScaleType)
{
    auto graph = std::make_shared<XYGraph>(xScaleType, yScaleType);
    graph->setFrame(frame);
    auto space = graph->newPlotSpace();
    auto axisSet = std::make_shared<XYAxisSet>();
    for (auto& axis : axisSet->axes())
        axis->setPlotSpace(space);
    graph->setUp(space, axisSet);
    return graph;
}

}
