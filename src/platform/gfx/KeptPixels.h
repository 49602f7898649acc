#pragma once

#include "platform/gfx/Geometry.h"

#include <memory>

typedef struct _cairo_surface cairo_surface_t;

namespace hestio::platform {

class Context;

/// Device pixels drawn once and painted back one for one while what they show
/// stays the same: a chart's background under a plot that changes each frame.
/// What a context draws into them lands on the pixels it would have reached in
/// the context they were made for, so painting them back over an opaque
/// drawing gives exactly the pixels drawing it again would.
class KeptPixels {
public:
    KeptPixels();
    ~KeptPixels();
    KeptPixels(const KeptPixels&) = delete;
    KeptPixels& operator=(const KeptPixels&) = delete;

    /// The largest side kept, in pixels; larger areas are drawn each time.
    static constexpr int largestSide = 4096;

    /// Whole device pixels of `like`'s target that `userRect` covers under its
    /// current transform, when that transform keeps pixels upright and the
    /// rectangle's edges fall on pixel edges; empty otherwise.
    [[nodiscard]] static Rect deviceArea(const Context& like, const Rect& userRect);

    /// Fresh transparent pixels over `area` (device pixels, as deviceArea()
    /// gives) and a context drawing into them with `like`'s current transform
    /// and scale. Finish the drawing (destroy the context) before painting.
    [[nodiscard]] std::unique_ptr<Context> redraw(const Context& like, const Rect& area);
    /// As redraw() over `base`'s area, the pixels starting as a copy of
    /// `base`'s (which must hold pixels): a drawing over kept pixels.
    [[nodiscard]] std::unique_ptr<Context> redrawOver(const Context& like, const KeptPixels& base);
    /// Whether every kept pixel is opaque (checked once per drawing).
    [[nodiscard]] bool isOpaque() const;
    [[nodiscard]] bool isEmpty() const { return !m_surface; }
    [[nodiscard]] Rect area() const { return m_area; }
    /// Frees the pixels.
    void clear();

private:
    friend class Context;
    cairo_surface_t* surfaceForPainting() const;
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> m_surface;
    Rect m_area;
    mutable int m_opaque { -1 };
};

}
