#pragma once

#include "charting/PlotArea.h"
#include "platform/gfx/KeptPixels.h"

#include <optional>

namespace hestio::chart {

/// What a graph draws under its plots, drawn once into kept device pixels and
/// painted back on each frame while it would draw the same: the graph's and
/// the plot area frame's backgrounds (a quarter of a frame), and the grid
/// lines, axis lines and ticks above them. While the user pinches, the grid
/// moves on every frame: the backgrounds are then kept on their own as well
/// and the grid is drawn over them. They are let go once the grid stays
/// (while the data or a selection changes all of it stays), and drawn again
/// when it moves on frames in a row; a grid that changes once is drawn
/// directly for that frame and kept from the next.
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
    [[nodiscard]] bool holdsPixels() const { return !m_pixels.isEmpty() || !m_backgroundPixels.isEmpty(); }
    /// How many frames drew kept pixels anew (for tests).
    [[nodiscard]] int redrawCount() const { return m_redrawCount; }
    /// How many pictures are kept now: none, the backgrounds with the grid,
    /// or those and the backgrounds alone (for tests).
    [[nodiscard]] int keptPictures() const { return !m_pixels.isEmpty() + !m_backgroundPixels.isEmpty(); }

private:
    /// The layers under the plots: the plot area's grid and axis groups,
    /// while they come first in it (empty otherwise).
    static std::vector<std::shared_ptr<Layer>> layersUnderPlots(const PlotAreaFrame& plotAreaFrame);
    static void describeBackgrounds(
        platform::Context& context, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame, DrawingSignature& into);
    [[nodiscard]] static bool describeUnder(platform::Context& context, PlotAreaFrame& plotAreaFrame,
        const std::vector<std::shared_ptr<Layer>>& under, DrawingSignature& into);
    static void drawBackgrounds(platform::Context& kept, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame);
    void redrawBackgrounds(
        platform::Context& context, const platform::Rect& area, BorderedLayer& graph, PlotAreaFrame& plotAreaFrame);
    /// The grid, axes and ticks over a copy of the kept backgrounds, or over
    /// the backgrounds drawn again when they are not kept.
    void redrawOverBackgrounds(platform::Context& context, const platform::Rect& area, BorderedLayer& graph,
        PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under);
    static void mark(PlotAreaFrame& plotAreaFrame, const std::vector<std::shared_ptr<Layer>>& under, bool painted);

    /// The backgrounds with the layers under the plots, and what they show.
    std::optional<DrawingSignature> m_signature;
    bool m_opaque { false };
    platform::KeptPixels m_pixels;
    /// The backgrounds alone: what they show and whether they are opaque,
    /// kept while their pixels are let go.
    std::optional<DrawingSignature> m_backgroundSignature;
    bool m_backgroundOpaque { false };
    platform::KeptPixels m_backgroundPixels;
    /// The frame before showed a grid other than the kept one.
    bool m_backgroundsAloneLast { false };
    /// What the frame before would have kept with the layers under the plots.
    std::optional<DrawingSignature> m_seenLast;
    int m_redrawCount { 0 };
};

}
