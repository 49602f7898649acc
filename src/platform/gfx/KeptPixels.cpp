#include "platform/gfx/KeptPixels.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/GfxHandles.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace hestio::platform {

namespace {

    void destroySurface(cairo_surface_t* surface)
    {
        cairo_surface_destroy(surface);
    }

    bool whole(double v)
    {
        return std::isfinite(v) && std::abs(v - std::round(v)) < 1e-6;
    }

}

KeptPixels::KeptPixels()
    : m_surface(nullptr, destroySurface)
{
}

KeptPixels::~KeptPixels() = default;

Rect KeptPixels::deviceArea(const Context& like, const Rect& userRect)
{
    AffineTransform t = like.deviceTransform();
    if (t.b != 0 || t.c != 0)
        return {};
    Point p0 = t.apply(userRect.origin), p1 = t.apply({ userRect.maxX(), userRect.maxY() });
    double x0 = std::min(p0.x, p1.x), x1 = std::max(p0.x, p1.x);
    double y0 = std::min(p0.y, p1.y), y1 = std::max(p0.y, p1.y);
    if (!whole(x0) || !whole(x1) || !whole(y0) || !whole(y1))
        return {};
    Rect area { std::round(x0), std::round(y0), std::round(x1) - std::round(x0), std::round(y1) - std::round(y0) };
    if (area.width() < 1 || area.height() < 1 || area.width() > largestSide || area.height() > largestSide)
        return {};
    return area;
}

std::unique_ptr<Context> KeptPixels::redraw(const Context& like, const Rect& area)
{
    m_area = area;
    m_opaque = -1;
    m_surface.reset(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, static_cast<int>(area.width()), static_cast<int>(area.height())));
    // The same mapping from user space to pixels as the target's, moved by
    // the area's corner: the target's scale and offset on the surface, the
    // user space's transform on the context.
    cairo_surface_t* target = cairo_get_target(like.cairoForGfxOnly());
    double sx = 1, sy = 1, ox = 0, oy = 0;
    cairo_surface_get_device_scale(target, &sx, &sy);
    cairo_surface_get_device_offset(target, &ox, &oy);
    cairo_surface_set_device_scale(m_surface.get(), sx, sy);
    cairo_surface_set_device_offset(m_surface.get(), ox - area.x(), oy - area.y());
    cairo_t* cr = cairo_create(m_surface.get());
    cairo_matrix_t m;
    cairo_get_matrix(like.cairoForGfxOnly(), &m);
    cairo_set_matrix(cr, &m);
    return std::unique_ptr<Context>(new Context(cr, like.scale()));
}

std::unique_ptr<Context> KeptPixels::redrawOver(const Context& like, const KeptPixels& base)
{
    cairo_surface_t* from = base.surfaceForPainting();
    auto context = redraw(like, base.m_area);
    cairo_surface_t* to = m_surface.get();
    if (!from || cairo_image_surface_get_stride(from) != cairo_image_surface_get_stride(to)
        || cairo_image_surface_get_height(from) != cairo_image_surface_get_height(to))
        return context;
    cairo_surface_flush(to);
    std::memcpy(cairo_image_surface_get_data(to), cairo_image_surface_get_data(from),
        static_cast<std::size_t>(cairo_image_surface_get_stride(from)) * cairo_image_surface_get_height(from));
    cairo_surface_mark_dirty(to);
    return context;
}

cairo_surface_t* KeptPixels::surfaceForPainting() const
{
    if (!m_surface)
        return nullptr;
    // Painted back in pixels: the drawing's scale and offset no longer apply.
    cairo_surface_flush(m_surface.get());
    cairo_surface_set_device_scale(m_surface.get(), 1, 1);
    cairo_surface_set_device_offset(m_surface.get(), 0, 0);
    return m_surface.get();
}

bool KeptPixels::isOpaque() const
{
    if (m_opaque < 0) {
        cairo_surface_t* surface = surfaceForPainting();
        bool opaque = surface != nullptr;
        if (opaque) {
            const unsigned char* data = cairo_image_surface_get_data(surface);
            int stride = cairo_image_surface_get_stride(surface);
            int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
            // A row's pixels ANDed together keep an alpha of 0xff only when
            // every one has it: no branch per pixel, and two pixels a word.
            for (int y = 0; y < height && opaque; ++y) {
                const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
                std::uint64_t all = ~std::uint64_t { 0 };
                int x = 0;
                for (; x + 2 <= width; x += 2) {
                    std::uint64_t two;
                    std::memcpy(&two, row + x * 4, sizeof two);
                    all &= two;
                }
                if (x < width) {
                    std::uint32_t last;
                    std::memcpy(&last, row + x * 4, sizeof last);
                    all &= last | 0xffffffff00000000u;
                }
                opaque = (all & 0xff000000ff000000u) == 0xff000000ff000000u;
            }
        }
        m_opaque = opaque ? 1 : 0;
    }
    return m_opaque == 1;
}

void KeptPixels::clear()
{
    m_surface.reset();
    m_area = {};
    m_opaque = -1;
}

}
