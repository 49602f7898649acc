#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace hestio::platform {

/// A bitmap or vector picture that views and charts draw. Immutable once made;
/// shared between users (std::shared_ptr<const Image>).
class Image {
public:
    /// A raster image `size` points large at `scale` pixels per point,
    /// transparent. Draw into it with Context::forImage.
    [[nodiscard]] static std::shared_ptr<Image> create(Size size, double scale = 2.0);
    /// As create(), but made in `reuse`'s pixels, cleared to transparent,
    /// when it is a raster image of the same size and scale that nothing else
    /// holds: a picture drawn anew on each frame then stays in one buffer
    /// instead of a new one being made while the last is still held. A
    /// picture someone still holds is never drawn over.
    [[nodiscard]] static std::shared_ptr<Image> reuseOrCreate(std::shared_ptr<Image> reuse, Size size, double scale);
    /// An image from the assets folder by name ("arrow", "tab-home",
    /// "battery.svg"): SVG drawn at any scale, or PNG. None when missing.
    [[nodiscard]] static std::shared_ptr<const Image> named(const std::string& name);
    /// A PNG file; "name@2x.png" is read at two pixels per point. None when
    /// the file is missing or not a PNG.
    [[nodiscard]] static std::shared_ptr<const Image> fromPngFile(const std::string& path);
    /// PNG bytes (as pngData() writes them) at `scale` pixels per point.
    [[nodiscard]] static std::shared_ptr<const Image> fromPngData(const std::string& png, double scale = 1);
    [[nodiscard]] static std::shared_ptr<const Image> fromSvgData(const std::string& svg);
    /// An SVG document of the app's own assets, read when first drawn; its
    /// size comes from its root's width and height (or view box) when they
    /// are plain numbers, else it is read at once as by fromSvgData. A screen
    /// made but not drawn yet (the tabs under the login screen) then costs
    /// no reading, nor loading the SVG library.
    [[nodiscard]] static std::shared_ptr<const Image> fromSvgAsset(const std::string& svg);

    /// A copy that stretches only between the cap insets (left/top caps stay
    /// as they are; the middle column and row are stretched).
    [[nodiscard]] std::shared_ptr<const Image> stretchable(double leftCapWidth, double topCapHeight) const;

    [[nodiscard]] Size size() const { return m_size; }
    [[nodiscard]] double scale() const { return m_scale; }
    [[nodiscard]] bool isVector() const;
    [[nodiscard]] std::optional<EdgeInsets> capInsets() const { return m_capInsets; }

    /// Raster access (raster images only). Pixels are premultiplied ARGB32 in
    /// native byte order, row by row.
    [[nodiscard]] int pixelWidth() const;
    [[nodiscard]] int pixelHeight() const;
    /// The colour at a pixel, un-premultiplied; for tests.
    [[nodiscard]] Color pixelAt(int x, int y) const;
    [[nodiscard]] bool writePng(const std::string& path) const;
    [[nodiscard]] std::string pngData() const;

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    struct Impl;
    [[nodiscard]] Impl& impl() const { return *m_impl; }

private:
    Image();
    Size m_size;
    double m_scale { 1 };
    std::optional<EdgeInsets> m_capInsets;
    std::unique_ptr<Impl> m_impl;
};

/// Where named images are looked up: $HESTIO_ASSETS, else the installed or
/// source assets folder.
[[nodiscard]] std::string assetsDirectory();

}
