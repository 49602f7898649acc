#pragma once

// What an Image holds, shared by Image.cpp and the drawing code. Internal.

#include "platform/gfx/GfxHandles.h"
#include "platform/gfx/Image.h"

#include <librsvg/rsvg.h>

#include <map>
#include <string>
#include <utility>

namespace hestio::platform {

struct Image::Impl {
    /// A raster surface or an SVG document. A raster surface carries its
    /// scale as cairo's device scale, so its user space is in points.
    gfx::SurfacePtr surface;
    /// The document, read at once or (`svgSource`) when first drawn.
    mutable gfx::GObjectPtr<RsvgHandle> parsedSvg;
    std::string svgSource;

    [[nodiscard]] bool isVector() const { return parsedSvg || !svgSource.empty(); }
    /// The document read; null for a raster image or a document that cannot
    /// be read (told in the log once).
    [[nodiscard]] RsvgHandle* svg() const;

    /// A raster rendition in points at `scale` pixels per point: the surface
    /// itself, or the picture rendered once per scale and kept.
    [[nodiscard]] cairo_surface_t* rasterAt(Size size, double scale) const;

    /// The picture stretched over `width` × `height` pixels, rendered once
    /// and kept while few sizes are asked for.
    [[nodiscard]] cairo_surface_t* rasterOfPixels(Size size, int width, int height) const;

private:
    mutable bool m_svgTried { false };
    mutable std::map<double, gfx::SurfacePtr> m_renditions;
    mutable std::map<std::pair<int, int>, gfx::SurfacePtr> m_pixelRenditions;
};

namespace gfx {
    /// Reads an SVG document; null when it cannot be read (or the SVG
    /// library cannot be loaded).
    [[nodiscard]] GObjectPtr<RsvgHandle> parseSvg(const std::string& svg);
    /// Renders an SVG document scaled to fill `viewport` (aspect ratio as the
    /// document asks). False when librsvg reports an error.
    [[nodiscard]] bool renderSvg(RsvgHandle* handle, cairo_t* cr, const Rect& viewport);
}

}
