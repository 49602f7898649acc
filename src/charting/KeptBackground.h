#pragma once

#include "charting/PlotArea.h"
#include "platform/gfx/KeptPixels.h"

#include <optional>

namespace hestio::chart {

/// What a graph draws under its plots, drawn once into kept device pixels and
/// painted back on each frame while it would draw the same: the graph's and
/// the plot area frame's backgrounds (a quarter of a frame), and the grid
/// lines, axis lines and ticks above them. While the user pinches only the
/// backgrounds stay; while the data or a selection changes all of it does.
class KeptBackground {
public:
    /// Paints what it keeps, drawing it again first when anything deciding
    /// it changed (the mapping to pixels, a frame, a fill, a border, a grid
    /// line, a tick), and marks the layers painted so that the frame leaves
    /// them out. False, painting nothing and marking nothing, when kept
    /// pixels could differ from drawing them: the graph does not cover whole
    /// pixels or is not opaque, or the context's clip, alpha or blend mode
    /// forbid it.
    [[nodiscard]] bool paint(platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame);
    /// Frees the pixels.
    void clear();
    [[nodiscard]] bool holdsPixels() const { return !m_pixels.isEmpty(); }
    /// How many times the pixels were drawn (for tests).
    [[nodiscard]] int redrawCount() const { return m_redrawCount; }

private:
    /// The layers under the plots: the plot area's grid and axis groups,
    /// while they come first in it (empty otherwise).
    static std::vector<std::shared_ptr<Layer>> layersUnderPlots(const PlotAreaFrame& plotAreaFrame);
    [[nodiscard]] static bool describe(platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame,
        const std::vector<std::shared_ptr<Layer>>& under, DrawingSignature& into);
    void redraw(platform::Context& context, const platform::Rect& area, BorderedLayer& graph,
        PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under);
    static void mark(PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under, bool painted);

    std::optional<DrawingSignature> m_signature;
    bool m_opaque { false };
    int m_redrawCount { 0 };
    platform::KeptPixels m_pixels;
};

}
