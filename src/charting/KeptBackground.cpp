#include "charting/KeptBackground.h"

#include <algorithm>

namespace hestio::chart {

std::vector<std::shared_ptr<Layer>> KeptBackground::layersUnderPlots(const PlotAreaFrame& plotAreaFrame)
{
    const auto& area = plotAreaFrame.plotArea();
    const auto& layers = area->sublayers();
    std::vector<std::shared_ptr<Layer>> under { area->minorGridLineGroup(), area->majorGridLineGroup(),
        area->axisGroup() };
    if (layers.size() < under.size() || !std::equal(under.begin(), under.end(), layers.begin()))
        return {};
    return under;
}

bool KeptBackground::describe(platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame,
    const std::vector<std::shared_ptr<Layer>>& under, DrawingSignature& into)
{
    platform::AffineTransform t = context.deviceTransform();
    into.numbers.insert(into.numbers.end(), { t.a, t.b, t.c, t.d, t.tx, t.ty });
    into.add(graph.bounds());
    into.add(graph.masksToBounds() ? 1 : 0);
    graph.describeBackground(into);
    into.add(plotAreaFrame.frame());
    into.add(plotAreaFrame.isHidden() ? 1 : 0);
    into.add(plotAreaFrame.masksToBounds() ? 1 : 0);
    plotAreaFrame.describeBackground(into);
    const auto& area = plotAreaFrame.plotArea();
    into.add(area->frame());
    into.add(area->isHidden() ? 1 : 0);
    into.add(area->masksToBounds() ? 1 : 0);
    platform::ContextStateSaver saver(context);
    context.translate(plotAreaFrame.frame().x(), plotAreaFrame.frame().y());
    context.translate(area->frame().x(), area->frame().y());
    for (auto& layer : under)
        if (!layer->describeDrawing(context, into))
            return false;
    return true;
}

void KeptBackground::mark(PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under, bool painted)
{
    plotAreaFrame.setBackgroundPaintedAbove(painted);
    for (auto& layer : under)
        layer->setPaintedFromKeptPixels(painted);
}

bool KeptBackground::paint(platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame)
{
    auto under = layersUnderPlots(plotAreaFrame);
    mark(plotAreaFrame, under, false);
    platform::Rect area = platform::KeptPixels::deviceArea(context, graph.bounds());
    DrawingSignature signature;
    if (area.isEmpty() || plotAreaFrame.superlayer() != &graph || graph.sublayers().empty()
        || graph.sublayers().front().get() != &plotAreaFrame || plotAreaFrame.sublayers().size() != 1
        || !describe(context, graph, plotAreaFrame, under, signature)) {
        clear();
        return false;
    }
    if (signature != m_signature) {
        m_signature = std::move(signature);
        redraw(context, area, graph, plotAreaFrame, under);
        m_opaque = m_pixels.isOpaque();
        if (!m_opaque)
            m_pixels.clear(); // drawn directly each frame until something changes
    }
    if (!m_opaque || !context.paintKept(m_pixels))
        return false;
    mark(plotAreaFrame, under, true);
    return true;
}

void KeptBackground::redraw(platform::Context& context, const platform::Rect& area, BorderedLayer& graph,
    PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under)
{
    ++m_redrawCount;
    auto kept = m_pixels.redraw(context, area);
    // As the layers draw themselves within the graph's rendering.
    if (graph.masksToBounds())
        kept->clipToRect(graph.bounds());
    graph.drawBackgroundInContext(*kept);
    if (plotAreaFrame.isHidden())
        return;
    kept->translate(plotAreaFrame.frame().x(), plotAreaFrame.frame().y());
    if (plotAreaFrame.masksToBounds())
        kept->clipToRect(plotAreaFrame.bounds());
    plotAreaFrame.drawBackgroundInContext(*kept);
    const auto& plotArea = plotAreaFrame.plotArea();
    if (plotArea->isHidden())
        return;
    kept->translate(plotArea->frame().x(), plotArea->frame().y());
    if (plotArea->masksToBounds())
        kept->clipToRect(plotArea->bounds());
    for (auto& layer : under)
        layer->renderInContext(*kept);
}

void KeptBackground::clear()
{
    m_signature.reset();
    m_opaque = false;
    m_pixels.clear();
}

}
