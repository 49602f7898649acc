#pragma once

#include "platform/gfx/Context.h"

#include <memory>
#include <vector>

namespace hestio::chart {

/// What decides a drawing, compared from one frame to the next to tell
/// whether pixels kept from an earlier frame still show it. Objects are held,
/// so one freed and another made at its address cannot pass for it.
struct DrawingSignature {
    std::vector<double> numbers;
    std::vector<std::shared_ptr<const void>> objects;

    void add(double v) { numbers.push_back(v); }
    void add(platform::Point p) { numbers.insert(numbers.end(), { p.x, p.y }); }
    void add(const platform::Rect& r) { numbers.insert(numbers.end(), { r.x(), r.y(), r.width(), r.height() }); }
    void add(std::shared_ptr<const void> object) { objects.push_back(std::move(object)); }
    bool operator==(const DrawingSignature&) const = default;
};

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

    /// On: this layer and its sublayers are already on the screen (painted
    /// from kept pixels) and drawing leaves them out.
    void setPaintedFromKeptPixels(bool painted) { m_paintedFromKeptPixels = painted; }
    /// Appends what decides how this layer and its sublayers draw in
    /// `context` now (frames, visibility, clips and each one's own drawing).
    /// False when a layer cannot tell: the subtree is then drawn each frame.
    [[nodiscard]] bool describeDrawing(platform::Context& context, DrawingSignature& into);

protected:
    virtual void layoutSublayers() { }
    virtual void renderAsVectorInContext(platform::Context&) { }
    /// Appends what decides this layer's own drawing (not its sublayers').
    /// A plain layer draws nothing; a kind of layer that draws must tell
    /// what its drawing depends on, or answer false (the default).
    virtual bool describeOwnDrawing(platform::Context& context, DrawingSignature& into);

private:
    platform::Point originInRoot() const;
    platform::Rect m_frame;
    bool m_hidden { false };
    bool m_masksToBounds { false };
    bool m_needsLayout { true };
    bool m_paintedFromKeptPixels { false };
    double m_contentsScale { 2 };
    Layer* m_superlayer { nullptr };
    std::vector<std::shared_ptr<Layer>> m_sublayers;
};

/// Aligns a point to the centre of a device pixel (for 1-pixel-odd lines).
platform::Point alignPointToPixelCenter(platform::Context& context, platform::Point p);
/// Aligns a point to a device pixel corner.
platform::Point alignPointToPixelCorner(platform::Context& context, platform::Point p);

}
