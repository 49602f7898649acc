#pragma once

#include "platform/gfx/Context.h"

#include <memory>
#include <vector>

namespace hestio::chart {

/// A node of the graph's drawing tree. Frames are in the superlayer's
/// coordinates, y up, in points; a layer draws in its own bounds with the
/// origin at its lower-left corner. A layer owns its sublayers; the
/// superlayer link is a non-owning back-pointer cleared on removal.
class Layer {
public:
    Layer() = default;
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    platform::Rect frame() const { return m_frame; }
    virtual void setFrame(const platform::Rect& frame);
    platform::Rect bounds() const { return { 0, 0, m_frame.width(), m_frame.height() }; }

    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool masks) { m_masksToBounds = masks; }
    /// Device pixels per point, for aligning to pixels; set by the graph.
    double contentsScale() const { return m_contentsScale; }
    void setContentsScale(double scale);

    Layer* superlayer() const { return m_superlayer; }
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
    void removeFromSuperlayer();

    /// `point` in this layer's coordinates expressed in `other`'s (both in
    /// one tree).
    [[nodiscard]] platform::Point convertPointToLayer(platform::Point point, const Layer* other) const;
    [[nodiscard]] platform::Point convertPointFromLayer(platform::Point point, const Layer* other) const;

    void setNeedsLayout() { m_needsLayout = true; }
    /// Lays out this layer and then its sublayers.
    void layoutIfNeeded();
    /// Draws this layer and its sublayers, each in its own coordinates.
    void renderInContext(platform::Context& context);

protected:
    virtual void layoutSublayers() { }
    virtual void renderAsVectorInContext(platform::Context&) { }

private:
    platform::Point originInRoot() const;
    platform::Rect m_frame;
    bool m_hidden { false };
    bool m_masksToBounds { false };
    bool m_needsLayout { true };
    double m_contentsScale { 2 };
    Layer* m_superlayer { nullptr };
    std::vector<std::shared_ptr<Layer>> m_sublayers;
};

/// Aligns a point to the centre of a device pixel (for 1-pixel-odd lines).
platform::Point alignPointToPixelCenter(platform::Context& context, platform::Point p);
/// Aligns a point to a device pixel corner.
platform::Point alignPointToPixelCorner(platform::Context& context, platform::Point p);

}
