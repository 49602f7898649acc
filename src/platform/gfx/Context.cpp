#include "platform/gfx/Context.h"

#include "platform/gfx/GfxHandles.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageImpl.h"
#include "platform/gfx/KeptPixels.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

using namespace gfx;

namespace {

    bool finite(double v)
    {
        return std::isfinite(v);
    }

    // Whether scaling by (sx, sy) keeps cairo's matrix invertible.
    bool scalable(double sx, double sy)
    {
        return finite(sx * sy) && sx * sy != 0;
    }

    cairo_matrix_t toCairo(const AffineTransform& t)
    {
        return { t.a, t.b, t.c, t.d, t.tx, t.ty };
    }

    cairo_fill_rule_t toCairo(FillRule rule)
    {
        return rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
    }

    // Runs `draw` on an empty path and puts the caller's path back afterwards:
    // the rectangle, image and text calls leave the current path alone.
    template<typename F> void withOwnPath(cairo_t* cr, F&& draw)
    {
        CairoPathPtr saved(cairo_copy_path(cr));
        cairo_new_path(cr);
        draw();
        cairo_new_path(cr);
        if (saved && saved->status == CAIRO_STATUS_SUCCESS && saved->num_data > 0)
            cairo_append_path(cr, saved.get());
    }

    /// How a replayed path begins: a new subpath, or a line on from the
    /// current point (an arc does that, as the drawing API does).
    enum class PathStart { NewSubpath, JoinCurrentPoint };

    void replay(cairo_t* cr, const Path& path, PathStart start)
    {
        bool joinFirst = start == PathStart::JoinCurrentPoint;
        bool first = true;
        for (const auto& e : path.elements()) {
            const Point* p = e.points;
            switch (e.op) {
            case Path::Op::MoveTo:
                if (first && joinFirst)
                    cairo_line_to(cr, p[0].x, p[0].y);
                else
                    cairo_move_to(cr, p[0].x, p[0].y);
                break;
            case Path::Op::LineTo:
                cairo_line_to(cr, p[0].x, p[0].y);
                break;
            case Path::Op::CurveTo:
                cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
                break;
            case Path::Op::Close:
                cairo_close_path(cr);
                break;
            }
            first = false;
        }
    }

}

void Context::CairoReleaser::operator()(cairo_t* cr) const
{
    cairo_destroy(cr);
}

Context::Context(cairo_t* cr, double scale)
    : m_cr(cr)
    , m_scale(scale)
{
    // Hands a wrapped context back as it came, whatever the drawing did.
    cairo_save(cr);
}

Context::~Context()
{
    for (std::size_t i = 0; i <= m_saved.size(); ++i)
        cairo_restore(m_cr.get());
}

std::unique_ptr<Context> Context::forImage(Image& image)
{
    cairo_surface_t* surface = image.impl().surface.get();
    // A vector picture has no pixels to draw into: the drawing goes nowhere.
    SurfacePtr scratch;
    if (!surface) {
        scratch.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0));
        surface = scratch.get();
    }
    return std::unique_ptr<Context>(new Context(cairo_create(surface), image.scale()));
}

std::unique_ptr<Context> Context::wrapping(cairo_t* cr, double scale)
{
    if (!cr) {
        // Nothing to draw into: the drawing goes nowhere.
        SurfacePtr scratch(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0));
        return std::unique_ptr<Context>(new Context(cairo_create(scratch.get()), 1));
    }
    return std::unique_ptr<Context>(new Context(cairo_reference(cr), scale > 0 ? scale : 1));
}

bool Context::hasError() const
{
    return cairo_status(m_cr.get()) != CAIRO_STATUS_SUCCESS;
}

void Context::save()
{
    m_saved.push_back({ m_fill, m_stroke, m_alpha });
    cairo_save(m_cr.get());
}

void Context::restore()
{
    // An unmatched restore would put cairo in an error state for good; it is
    // ignored instead.
    if (m_saved.empty())
        return;
    cairo_restore(m_cr.get());
    m_fill = m_saved.back().fill;
    m_stroke = m_saved.back().stroke;
    m_alpha = m_saved.back().alpha;
    m_saved.pop_back();
}

void Context::translate(double dx, double dy)
{
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, dx, dy);
    transformBy(m);
}

void Context::scaleBy(double sx, double sy)
{
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, sx, sy);
    transformBy(m);
}

void Context::rotate(double radians)
{
    if (!finite(radians))
        return;
    cairo_matrix_t m;
    cairo_matrix_init_rotate(&m, radians);
    transformBy(m);
}

void Context::concat(const AffineTransform& t)
{
    transformBy(toCairo(t));
}

void Context::transformBy(const cairo_matrix_t& m)
{
    // A singular or non-finite transform would stop cairo drawing anything
    // for the rest of the context's life; such a call is ignored instead.
    cairo_matrix_t current, product;
    cairo_get_matrix(m_cr.get(), &current);
    cairo_matrix_multiply(&product, &m, &current);
    for (double v : { product.xx, product.yx, product.xy, product.yy, product.x0, product.y0 }) {
        if (!finite(v))
            return;
    }
    double determinant = product.xx * product.yy - product.xy * product.yx;
    cairo_matrix_t inverse = product;
    if (!finite(determinant) || determinant == 0 || cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_set_matrix(m_cr.get(), &product);
}

AffineTransform Context::currentTransform() const
{
    cairo_matrix_t m;
    cairo_get_matrix(m_cr.get(), &m);
    return { m.xx, m.yx, m.xy, m.yy, m.x0, m.y0 };
}

AffineTransform Context::deviceTransform() const
{
    // cairo's own user-to-device mapping stops short of the surface's
    // scale and offset; they are applied here.
    cairo_surface_t* target = cairo_get_target(m_cr.get());
    double sx = 1, sy = 1, ox = 0, oy = 0;
    cairo_surface_get_device_scale(target, &sx, &sy);
    cairo_surface_get_device_offset(target, &ox, &oy);
    return currentTransform().concat({ sx, 0, 0, sy, ox, oy });
}

Rect Context::deviceClipBounds() const
{
    double x0, y0, x1, y1;
    cairo_clip_extents(m_cr.get(), &x0, &y0, &x1, &y1);
    AffineTransform t = deviceTransform();
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    for (Point corner : { Point { x0, y0 }, Point { x1, y0 }, Point { x0, y1 }, Point { x1, y1 } }) {
        Point d = t.apply(corner);
        left = std::min(left, d.x);
        top = std::min(top, d.y);
        right = std::max(right, d.x);
        bottom = std::max(bottom, d.y);
    }
    cairo_surface_t* target = cairo_get_target(m_cr.get());
    if (cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE) {
        left = std::max(left, 0.0);
        top = std::max(top, 0.0);
        right = std::min(right, static_cast<double>(cairo_image_surface_get_width(target)));
        bottom = std::min(bottom, static_cast<double>(cairo_image_surface_get_height(target)));
    }
    if (!(right > left && bottom > top) || !finite(right - left) || !finite(bottom - top))
        return {};
    left = std::floor(left);
    top = std::floor(top);
    return { left, top, std::ceil(right) - left, std::ceil(bottom) - top };
}

void Context::flipY(double height)
{
    transformBy({ 1, 0, 0, -1, 0, height });
}

void Context::setAlpha(double alpha)
{
    m_alpha = finite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1;
}

void Context::setBlendMode(BlendMode mode)
{
    switch (mode) {
    case BlendMode::Normal:
        cairo_set_operator(m_cr.get(), CAIRO_OPERATOR_OVER);
        break;
    case BlendMode::Copy:
        cairo_set_operator(m_cr.get(), CAIRO_OPERATOR_SOURCE);
        break;
    case BlendMode::Clear:
        cairo_set_operator(m_cr.get(), CAIRO_OPERATOR_CLEAR);
        break;
    }
}

void Context::beginPath()
{
    cairo_new_path(m_cr.get());
}

void Context::moveTo(Point p)
{
    cairo_move_to(m_cr.get(), p.x, p.y);
}

void Context::lineTo(Point p)
{
    cairo_line_to(m_cr.get(), p.x, p.y);
}

void Context::curveTo(Point c1, Point c2, Point end)
{
    cairo_curve_to(m_cr.get(), c1.x, c1.y, c2.x, c2.y, end.x, end.y);
}

void Context::addArc(Point center, double radius, double startAngle, double endAngle, ArcDirection direction)
{
    Path arc;
    arc.addArc(center, radius, startAngle, endAngle, direction);
    replay(m_cr.get(), arc, cairo_has_current_point(m_cr.get()) ? PathStart::JoinCurrentPoint : PathStart::NewSubpath);
}

void Context::addRect(const Rect& r)
{
    cairo_rectangle(m_cr.get(), r.x(), r.y(), r.width(), r.height());
}

void Context::addRoundedRect(const Rect& r, double cornerRadius)
{
    Path path;
    path.addRoundedRect(r, cornerRadius);
    replay(m_cr.get(), path, PathStart::NewSubpath);
}

void Context::addEllipse(const Rect& inRect)
{
    Path path;
    path.addEllipse(inRect);
    replay(m_cr.get(), path, PathStart::NewSubpath);
}

void Context::closePath()
{
    cairo_close_path(m_cr.get());
}

void Context::addPath(const Path& path)
{
    replay(m_cr.get(), path, PathStart::NewSubpath);
}

Rect Context::pathBoundingBox() const
{
    double x0, y0, x1, y1;
    cairo_path_extents(m_cr.get(), &x0, &y0, &x1, &y1);
    return { x0, y0, x1 - x0, y1 - y0 };
}

void Context::setFillColor(Color c)
{
    m_fill = c;
}

void Context::setStrokeColor(Color c)
{
    m_stroke = c;
}

void Context::setSource(Color c)
{
    cairo_set_source_rgba(m_cr.get(), c.red, c.green, c.blue, c.alpha * m_alpha);
}

void Context::setLineWidth(double width)
{
    if (finite(width))
        cairo_set_line_width(m_cr.get(), std::max(0.0, width));
}

void Context::setLineCap(LineCap cap)
{
    cairo_set_line_cap(m_cr.get(),
        cap == LineCap::Round        ? CAIRO_LINE_CAP_ROUND
            : cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                     : CAIRO_LINE_CAP_BUTT);
}

void Context::setLineJoin(LineJoin join)
{
    cairo_set_line_join(m_cr.get(),
        join == LineJoin::Round       ? CAIRO_LINE_JOIN_ROUND
            : join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                      : CAIRO_LINE_JOIN_MITER);
}

void Context::setMiterLimit(double limit)
{
    if (finite(limit))
        cairo_set_miter_limit(m_cr.get(), limit);
}

void Context::setLineDash(const std::vector<double>& lengths, double phase)
{
    // cairo stops drawing for good on a negative length or an all-zero
    // pattern; such a pattern draws a solid line instead.
    bool usable = !lengths.empty() && finite(phase);
    double total = 0;
    for (double length : lengths) {
        usable = usable && finite(length) && length >= 0;
        total += finite(length) ? length : 0;
    }
    if (!usable || total <= 0) {
        cairo_set_dash(m_cr.get(), nullptr, 0, 0);
        return;
    }
    cairo_set_dash(m_cr.get(), lengths.data(), static_cast<int>(lengths.size()), phase);
}

void Context::fill(FillRule rule)
{
    setSource(m_fill);
    cairo_set_fill_rule(m_cr.get(), toCairo(rule));
    cairo_fill(m_cr.get());
}

void Context::stroke()
{
    setSource(m_stroke);
    cairo_stroke(m_cr.get());
}

void Context::fillAndStroke(FillRule rule)
{
    setSource(m_fill);
    cairo_set_fill_rule(m_cr.get(), toCairo(rule));
    cairo_fill_preserve(m_cr.get());
    setSource(m_stroke);
    cairo_stroke(m_cr.get());
}

void Context::clip(FillRule rule)
{
    cairo_set_fill_rule(m_cr.get(), toCairo(rule));
    cairo_clip(m_cr.get());
}

void Context::clipToRect(const Rect& r)
{
    withOwnPath(m_cr.get(), [&] {
        cairo_rectangle(m_cr.get(), r.x(), r.y(), r.width(), r.height());
        cairo_set_fill_rule(m_cr.get(), CAIRO_FILL_RULE_WINDING);
        cairo_clip(m_cr.get());
    });
}

void Context::fillRect(const Rect& r, Color c)
{
    withOwnPath(m_cr.get(), [&] {
        setSource(c);
        cairo_rectangle(m_cr.get(), r.x(), r.y(), r.width(), r.height());
        cairo_fill(m_cr.get());
    });
}

void Context::strokeRect(const Rect& r, Color c, double width)
{
    withOwnPath(m_cr.get(), [&] {
        cairo_save(m_cr.get());
        setSource(c);
        setLineWidth(width);
        cairo_rectangle(m_cr.get(), r.x(), r.y(), r.width(), r.height());
        cairo_stroke(m_cr.get());
        cairo_restore(m_cr.get());
    });
}

void Context::clearRect(const Rect& r)
{
    withOwnPath(m_cr.get(), [&] {
        cairo_save(m_cr.get());
        cairo_set_operator(m_cr.get(), CAIRO_OPERATOR_CLEAR);
        cairo_rectangle(m_cr.get(), r.x(), r.y(), r.width(), r.height());
        cairo_fill(m_cr.get());
        cairo_restore(m_cr.get());
    });
}

namespace {
    PatternPtr linearPattern(const Gradient& g, Point start, Point end, double alpha)
    {
        PatternPtr pattern(cairo_pattern_create_linear(start.x, start.y, end.x, end.y));
        for (const auto& stop : g.stops) {
            const Color& c = stop.color;
            double position = finite(stop.position) ? std::clamp(stop.position, 0.0, 1.0) : 0;
            cairo_pattern_add_color_stop_rgba(pattern.get(), position, c.red, c.green, c.blue, c.alpha * alpha);
        }
        cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
        return pattern;
    }
}

void Context::drawLinearGradient(const Gradient& g, Point start, Point end)
{
    PatternPtr pattern = linearPattern(g, start, end, m_alpha);
    cairo_set_source(m_cr.get(), pattern.get());
    cairo_paint(m_cr.get());
}

void Context::fillPathWithLinearGradient(const Gradient& g, Point start, Point end, FillRule rule)
{
    PatternPtr pattern = linearPattern(g, start, end, m_alpha);
    cairo_set_source(m_cr.get(), pattern.get());
    cairo_set_fill_rule(m_cr.get(), toCairo(rule));
    cairo_fill(m_cr.get());
}

void Context::fillMask(const CoverageMask& mask, Color c)
{
    setSource(c);
    paintSourceThrough(mask);
}

void Context::fillMaskWithLinearGradient(const CoverageMask& mask, const Gradient& g, Point start, Point end)
{
    PatternPtr pattern = linearPattern(g, start, end, m_alpha);
    cairo_set_source(m_cr.get(), pattern.get());
    paintSourceThrough(mask);
}

void Context::pushGroup()
{
    save();
    cairo_push_group(m_cr.get());
}

void Context::popGroupThroughMask(const CoverageMask& mask)
{
    cairo_pop_group_to_source(m_cr.get());
    paintSourceThrough(mask);
    restore();
}

void Context::paintSourceThrough(const CoverageMask& mask)
{
    if (mask.isEmpty() || mask.coverage.size() < static_cast<std::size_t>(mask.stride) * mask.height)
        return;
    // The source stays where the user space put it; only the mask is placed
    // in device pixels, one mask pixel on one surface pixel, so the surface
    // composites it without resampling.
    SurfacePtr surface(cairo_image_surface_create_for_data(
        const_cast<unsigned char*>(mask.coverage.data()), CAIRO_FORMAT_A8, mask.width, mask.height, mask.stride));
    cairo_surface_t* target = cairo_get_target(m_cr.get());
    double sx = 1, sy = 1, ox = 0, oy = 0;
    cairo_surface_get_device_scale(target, &sx, &sy);
    cairo_surface_get_device_offset(target, &ox, &oy);
    cairo_save(m_cr.get());
    cairo_matrix_t toDevicePixels { 1 / sx, 0, 0, 1 / sy, -ox / sx, -oy / sy };
    cairo_set_matrix(m_cr.get(), &toDevicePixels);
    cairo_mask_surface(m_cr.get(), surface.get(), mask.x, mask.y);
    cairo_restore(m_cr.get());
    cairo_surface_finish(surface.get());
}

bool Context::clipIsWholePixels() const
{
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(m_cr.get());
    bool whole = list->status == CAIRO_STATUS_SUCCESS;
    AffineTransform t = deviceTransform();
    auto onPixel = [](double v) { return std::isfinite(v) && std::abs(v - std::round(v)) < 1e-6; };
    for (int i = 0; whole && i < list->num_rectangles; ++i) {
        const cairo_rectangle_t& r = list->rectangles[i];
        Point p0 = t.apply({ r.x, r.y }), p1 = t.apply({ r.x + r.width, r.y + r.height });
        whole = onPixel(p0.x) && onPixel(p0.y) && onPixel(p1.x) && onPixel(p1.y);
    }
    cairo_rectangle_list_destroy(list);
    return whole;
}

bool Context::paintKept(const KeptPixels& kept)
{
    cairo_t* cr = m_cr.get();
    if (kept.isEmpty() || m_alpha != 1 || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER || !clipIsWholePixels())
        return false;
    cairo_surface_t* pixels = kept.surfaceForPainting();
    cairo_surface_t* target = cairo_get_target(cr);
    double sx = 1, sy = 1, ox = 0, oy = 0;
    cairo_surface_get_device_scale(target, &sx, &sy);
    cairo_surface_get_device_offset(target, &ox, &oy);
    // Opaque pixels are copied: over whole pixels that is what compositing
    // them would give, at the cost of a copy.
    bool opaque = kept.isOpaque();
    Rect area = kept.area();
    withOwnPath(cr, [&] {
        cairo_save(cr);
        cairo_matrix_t toDevicePixels { 1 / sx, 0, 0, 1 / sy, -ox / sx, -oy / sy };
        cairo_set_matrix(cr, &toDevicePixels);
        cairo_set_source_surface(cr, pixels, area.x(), area.y());
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        if (opaque)
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_rectangle(cr, area.x(), area.y(), area.width(), area.height());
        cairo_fill(cr);
        cairo_restore(cr);
    });
    return true;
}

void Context::drawImage(const Image& image, const Rect& into, double alpha)
{
    Size size = image.size();
    bool usable = finite(into.x()) && finite(into.y()) && finite(into.width()) && finite(into.height());
    if (!usable || into.isEmpty() || size.width <= 0 || size.height <= 0 || !finite(alpha))
        return;
    double a = std::clamp(alpha, 0.0, 1.0) * m_alpha;
    // Pictures come out upright in a flipped (y-up) space too, like text.
    cairo_matrix_t m;
    cairo_get_matrix(m_cr.get(), &m);
    if (m.xx * m.yy - m.xy * m.yx < 0) {
        cairo_save(m_cr.get());
        cairo_translate(m_cr.get(), 0, into.minY() + into.maxY());
        cairo_scale(m_cr.get(), 1, -1);
        drawUpright(image, into, a);
        cairo_restore(m_cr.get());
        return;
    }
    drawUpright(image, into, a);
}

void Context::drawUpright(const Image& image, const Rect& into, double a)
{
    Size size = image.size();
    if (image.capInsets()) {
        drawNineSlice(image, into, a);
        return;
    }
    if (!scalable(into.width() / size.width, into.height() / size.height))
        return;
    if (image.isVector()) {
        if (drawCachedSvg(image, into, a))
            return;
        RsvgHandle* svg = image.impl().svg();
        if (!svg)
            return;
        withOwnPath(m_cr.get(), [&] {
            cairo_t* cr = m_cr.get();
            cairo_save(cr);
            cairo_translate(cr, into.x(), into.y());
            cairo_scale(cr, into.width() / size.width, into.height() / size.height);
            if (a < 1)
                cairo_push_group(cr);
            // A document librsvg cannot render leaves the picture out; the
            // view draws the rest, as it does around a missing image.
            static_cast<void>(renderSvg(svg, cr, Rect { { 0, 0 }, size }));
            if (a < 1) {
                cairo_pop_group_to_source(cr);
                cairo_paint_with_alpha(cr, a);
            }
            cairo_restore(cr);
        });
        return;
    }
    drawRaster(image.impl().surface.get(), Rect { { 0, 0 }, size }, into, a);
}

bool Context::drawCachedSvg(const Image& image, const Rect& into, double alpha)
{
    // Icons are drawn over and over at the same size: while the space is only
    // scaled and moved, a picture is rendered once per pixel size and copied
    // onto whole pixels from then on.
    cairo_t* cr = m_cr.get();
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (m.xy != 0 || m.yx != 0 || m.xx <= 0 || m.yy <= 0)
        return false;
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    double x0 = into.minX(), y0 = into.minY(), x1 = into.maxX(), y1 = into.maxY();
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    double left = std::round(x0 * sx), top = std::round(y0 * sy);
    double width = std::round(x1 * sx - left), height = std::round(y1 * sy - top);
    constexpr double largest = 4096;
    if (!(width > 0 && height > 0 && width <= largest && height <= largest))
        return false;
    cairo_surface_t* rendition
        = image.impl().rasterOfPixels(image.size(), static_cast<int>(width), static_cast<int>(height));
    if (!rendition)
        return false;
    withOwnPath(cr, [&] {
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_scale(cr, 1 / sx, 1 / sy);
        cairo_set_source_surface(cr, rendition, left, top);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
    });
    return true;
}

void Context::drawRaster(cairo_surface_t* surface, const Rect& from, const Rect& into, double alpha)
{
    if (!surface || from.isEmpty() || into.isEmpty()
        || !scalable(into.width() / from.width(), into.height() / from.height()))
        return;
    withOwnPath(m_cr.get(), [&] {
        cairo_t* cr = m_cr.get();
        cairo_save(cr);
        cairo_rectangle(cr, into.x(), into.y(), into.width(), into.height());
        cairo_clip(cr);
        cairo_translate(cr, into.x(), into.y());
        cairo_scale(cr, into.width() / from.width(), into.height() / from.height());
        cairo_translate(cr, -from.x(), -from.y());
        // The surface's device scale makes its user space points.
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
    });
}

void Context::drawNineSlice(const Image& image, const Rect& into, double alpha)
{
    Size size = image.size();
    EdgeInsets caps = *image.capInsets();
    cairo_surface_t* surface = image.impl().rasterAt(size, m_scale);
    if (!surface)
        return;
    // Caps keep their size unless the target is too small for both, when
    // they shrink together.
    double sx = caps.left + caps.right > into.width() ? into.width() / (caps.left + caps.right) : 1;
    double sy = caps.top + caps.bottom > into.height() ? into.height() / (caps.top + caps.bottom) : 1;
    double fromX[4] = { 0, caps.left, size.width - caps.right, size.width };
    double fromY[4] = { 0, caps.top, size.height - caps.bottom, size.height };
    double toX[4] = { into.minX(), into.minX() + caps.left * sx, into.maxX() - caps.right * sx, into.maxX() };
    double toY[4] = { into.minY(), into.minY() + caps.top * sy, into.maxY() - caps.bottom * sy, into.maxY() };

    // Slices meet on device pixels so that no seam shows between them.
    cairo_matrix_t m;
    cairo_get_matrix(m_cr.get(), &m);
    if (m.xy == 0 && m.yx == 0) {
        for (int i = 1; i < 3; ++i) {
            double x = toX[i], y = toY[i];
            cairo_user_to_device(m_cr.get(), &x, &y);
            x = std::round(x * m_scale) / m_scale;
            y = std::round(y * m_scale) / m_scale;
            cairo_device_to_user(m_cr.get(), &x, &y);
            toX[i] = x;
            toY[i] = y;
        }
    }
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            Rect from { fromX[column], fromY[row], fromX[column + 1] - fromX[column], fromY[row + 1] - fromY[row] };
            Rect to { toX[column], toY[row], toX[column + 1] - toX[column], toY[row + 1] - toY[row] };
            drawRaster(surface, from, to, alpha);
        }
    }
}

}
