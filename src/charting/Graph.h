#pragma once

#include "charting/AxisSet.h"
#include "charting/KeptBackground.h"
#include "charting/PlotArea.h"
#include "charting/PlotSpace.h"
#include "charting/XYPlotSpace.h"
#include "platform/gfx/Image.h"

#include <memory>
#include <string>
#include <vector>

namespace hestio::chart {

class Plot;
class Theme;

/// The root of one chart: its plots, plot spaces, axis set and plot area
/// frame. It owns all of them; they point back to it without owning it.
/// Renders into any gfx context whose space has y pointing up.
class Graph : public BorderedLayer {
public:
    ~Graph() override;

    const std::shared_ptr<PlotAreaFrame>& plotAreaFrame() const { return m_plotAreaFrame; }
    const std::shared_ptr<AxisSet>& axisSet() const { return m_axisSet; }
    void setAxisSet(std::shared_ptr<AxisSet> axisSet);

    // Plots, drawn in the order added.
    const std::vector<std::shared_ptr<Plot>>& allPlots() const { return m_plots; }
    std::shared_ptr<Plot> plotAtIndex(std::size_t index) const;
    /// The first plot added with that identifier.
    std::shared_ptr<Plot> plotWithIdentifier(const std::string& identifier) const;
    void addPlot(std::shared_ptr<Plot> plot);
    void addPlot(std::shared_ptr<Plot> plot, std::shared_ptr<PlotSpace> space);
    void insertPlot(std::shared_ptr<Plot> plot, std::size_t index);
    void removePlot(const std::shared_ptr<Plot>& plot);
    void removePlotWithIdentifier(const std::string& identifier);
    /// Every plot reloads its data.
    void reloadData();

    // Plot spaces; the first is the default.
    std::shared_ptr<PlotSpace> defaultPlotSpace() const;
    const std::vector<std::shared_ptr<PlotSpace>>& allPlotSpaces() const { return m_plotSpaces; }
    std::shared_ptr<PlotSpace> plotSpaceAtIndex(std::size_t index) const;
    void addPlotSpace(std::shared_ptr<PlotSpace> space);
    void removePlotSpace(const std::shared_ptr<PlotSpace>& space);

    /// Applies the theme's styles; a null theme changes nothing.
    void applyTheme(Theme* theme);

    // Paddings between the graph's edge and the plot area frame (20 each).
    void setPaddingLeft(double v) { setPaddings(v, paddingTop(), paddingRight(), paddingBottom()); }

    /// Offers an event (point in the graph's coordinates) to the plots, last
    /// added first, then to the axis set, the plot area frame and the plot
    /// spaces; stops at the first that handles it.
    bool pointingDeviceDownEvent(const PointerEvent& event, platform::Point point);
    bool pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point);
    bool pointingDeviceUpEvent(const PointerEvent& event, platform::Point point);
    bool pointingDeviceCancelledEvent(const PointerEvent& event);

    /// Lays out, relabels and draws the whole graph into `context` (y up,
    /// the graph's frame in the context's coordinates).
    void layoutAndRenderInContext(platform::Context& context);
    /// On (the default): what the graph draws under its plots (backgrounds,
    /// grid, axis lines and ticks) is drawn once into kept pixels and painted
    /// back while unchanged; the pixels are the same either way.
    bool keepsBackground() const { return m_keepsBackground; }
    void setKeepsBackground(bool keeps);
    /// Whether kept background pixels are held now.
    bool holdsKeptBackground() const { return m_keptBackground.holdsPixels(); }
    /// How many times the kept pixels were drawn (for tests).
    int keptBackgroundRedraws() const { return m_keptBackground.redrawCount(); }
    /// How many kept pictures are held now (for tests).
    int keptBackgroundPictures() const { return m_keptBackground.keptPictures(); }
    /// Draws the graph at its own size into a new image (y flipped for it).
    std::shared_ptr<platform::Image> imageOfGraph(double scale = 2.0);

protected:
    Graph();
    void layoutSublayers() override;
    void renderAsVectorInContext(platform::Context& context) override;
    void setUp(std::shared_ptr<PlotSpace> defaultSpace, std::shared_ptr<AxisSet> axisSet);

private:
    std::vector<std::shared_ptr<Plot>> m_plots;
    std::vector<std::shared_ptr<PlotSpace>> m_plotSpaces;
    std::shared_ptr<PlotAreaFrame> m_plotAreaFrame;
    std::shared_ptr<AxisSet> m_axisSet;
    bool m_keepsBackground { true };
    KeptBackground m_keptBackground;
};

/// A graph with one XY plot space and an XY axis set whose axes use it.
class XYGraph : public Graph {
public:
    [[nodiscard]] static std::shared_ptr<XYGraph> create(
        platform::Rect frame = {}, ScaleType xScaleType = ScaleType::Linear, ScaleType yScaleType = ScaleType::Linear);

    ScaleType xScaleType() const { return m_xScaleType; }
    ScaleType yScaleType() const { return m_yScaleType; }
    std::shared_ptr<XYPlotSpace> newPlotSpace() const;
    std::shared_ptr<XYAxisSet> xyAxisSet() const { return std::dynamic_pointer_cast<XYAxisSet>(axisSet()); }
    std::shared_ptr<XYPlotSpace> defaultXYPlotSpace() const
    {
        return std::dynamic_pointer_cast<XYPlotSpace>(defaultPlotSpace());
    }

    XYGraph(ScaleType xScaleType, ScaleType yScaleType);

private:
    ScaleType m_xScaleType;
    ScaleType m_yScaleType;
};

}
