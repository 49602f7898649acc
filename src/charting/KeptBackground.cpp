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

void KeptBackground::describeBackgrounds(
    platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame, DrawingSignature& into)
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
}

bool KeptBackground::describeUnder(platform::Context& context, PlotAreaFrame& plotAreaFrame,
    const std::vector<std::shared_ptr<Layer>>& under, DrawingSignature& into)
{
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
    if (area.isEmpty() || plotAreaFrame.superlayer() != &graph || graph.sublayers().empty()
        || graph.sublayers().front().get() != &plotAreaFrame || plotAreaFrame.sublayers().size() != 1) {
        clear();
        return false;
    }
    DrawingSignature backgrounds;
    describeBackgrounds(context, graph, plotAreaFrame, backgrounds);
    std::optional<DrawingSignature> all = backgrounds;
    if (!describeUnder(context, plotAreaFrame, under, *all))
        all.reset();
    bool redrawn = false;
    if (backgrounds != m_backgroundSignature) {
        m_backgroundSignature = std::move(backgrounds);
        redrawBackgrounds(context, area, graph, plotAreaFrame);
        m_signature.reset();
        m_pixels.clear();
        redrawn = true;
    }
    // The layers under the plots are kept too the first time, and again once
    // they draw the same on two frames in a row; while the user pinches they
    // are drawn over the kept backgrounds.
    if (m_backgroundOpaque && all && all != m_signature && (!m_signature || all == m_seenLast)) {
        m_signature = all;
        redrawOverBackgrounds(context, area, graph, plotAreaFrame, under);
        m_opaque = m_pixels.isOpaque();
        redrawn = true;
    }
    m_seenLast = std::move(all);
    const bool gridKept = m_backgroundOpaque && m_seenLast && m_seenLast == m_signature && m_opaque;
    // A grid other than the kept one on one frame is a change, kept from the
    // next frame on as it stays: that frame is drawn directly. On frames in a
    // row (a pinch) the backgrounds are kept alone and the grid drawn over
    // them.
    const bool gridMoves = m_backgroundOpaque && !gridKept;
    if (gridMoves && m_backgroundPixels.isEmpty() && m_backgroundsAloneLast) {
        redrawBackgrounds(context, area, graph, plotAreaFrame);
        redrawn = true;
    }
    m_backgroundsAloneLast = gridMoves;
    m_redrawCount += redrawn ? 1 : 0;
    if (gridKept) {
        if (!context.paintKept(m_pixels))
            return false;
        mark(plotAreaFrame, under, true);
        // Wanted again only once the grid moves.
        m_backgroundPixels.clear();
        return true;
    }
    if (!gridMoves || m_backgroundPixels.isEmpty() || !context.paintKept(m_backgroundPixels))
        return false; // drawn directly
    plotAreaFrame.setBackgroundPaintedAbove(true);
    return true;
}

void KeptBackground::drawBackgrounds(platform::Context& kept, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame)
{
    // As the layers draw themselves within the graph's rendering.
    if (graph.masksToBounds())
        kept.clipToRect(graph.bounds());
    graph.drawBackgroundInContext(kept);
    if (!plotAreaFrame.isHidden()) {
        kept.translate(plotAreaFrame.frame().x(), plotAreaFrame.frame().y());
        if (plotAreaFrame.masksToBounds())
            kept.clipToRect(plotAreaFrame.bounds());
        plotAreaFrame.drawBackgroundInContext(kept);
    }
}

void KeptBackground::redrawBackgrounds(
    platform::Context& context, const platform::Rect& area, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame)
{
    drawBackgrounds(*m_backgroundPixels.redraw(context, area), graph, plotAreaFrame);
    m_backgroundOpaque = m_backgroundPixels.isOpaque();
    if (!m_backgroundOpaque)
        m_backgroundPixels.clear();
}

void KeptBackground::redrawOverBackgrounds(platform::Context& context, const platform::Rect& area, BorderedLayer& graph,
    PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under)
{
    std::unique_ptr<platform::Context> kept;
    if (!m_backgroundPixels.isEmpty()) {
        kept = m_pixels.redrawOver(context, m_backgroundPixels);
    } else {
        // The backgrounds drawn into the fresh pixels as into their own:
        // the same pixels a copy of them would give.
        kept = m_pixels.redraw(context, area);
        platform::ContextStateSaver saver(*kept);
        drawBackgrounds(*kept, graph, plotAreaFrame);
    }
    if (graph.masksToBounds())
        kept->clipToRect(graph.bounds());
    if (plotAreaFrame.isHidden())
        return;
    kept->translate(plotAreaFrame.frame().x(), plotAreaFrame.frame().y());
    if (plotAreaFrame.masksToBounds())
        kept->clipToRect(plotAreaFrame.bounds());
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
    m_backgroundSignature.reset();
    m_backgroundOpaque = false;
    m_backgroundPixels.clear();
    m_seenLast.reset();
    m_backgroundsAloneLast = false;
}

}
