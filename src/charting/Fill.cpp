#include "charting/Fill.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hestio::chart {

namespace {

    /// No hatch is drawn with more lines than this, whatever the area.
    constexpr double mostHatchLines = 4000;

    /// The part of `area` drawing can reach under the current clip, in user space.
    platform::Rect reachable(const platform::Rect& area, platform::Context& context)
    {
        platform::Rect clip = context.deviceClipBounds();
        if (clip.isEmpty())
            return {};
        platform::AffineTransform toUser = context.deviceTransform().inverted();
        platform::Point corners[]
            = { toUser.apply({ clip.minX(), clip.minY() }), toUser.apply({ clip.maxX(), clip.minY() }),
                  toUser.apply({ clip.minX(), clip.maxY() }), toUser.apply({ clip.maxX(), clip.maxY() }) };
        double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
        for (auto p : corners) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
        return area.intersection({ x0, y0, x1 - x0, y1 - y0 });
    }

}

std::shared_ptr<const Fill> Fill::fillWithColor(Color color)
{
    auto f = std::make_shared<Fill>();
    f->m_paint = color;
    return f;
}

std::shared_ptr<const Fill> Fill::fillWithGradient(std::shared_ptr<const Gradient> gradient)
{
    auto f = std::make_shared<Fill>();
    f->m_paint = std::move(gradient);
    return f;
}

std::shared_ptr<const Fill> Fill::fillWithHatch(Hatch hatch)
{
    auto f = std::make_shared<Fill>();
    f->m_paint = hatch;
    return f;
}

void Fill::paintHatch(const Hatch& hatch, const platform::Rect& area, platform::Context& context) const
{
    platform::Rect shown = reachable(area, context);
    if (shown.isEmpty())
        return;
    if (hatch.backgroundColor.alpha() > 0)
        context.fillRect(shown, hatch.backgroundColor.toPlatform());
    if (!(hatch.spacing > 0) || !std::isfinite(hatch.spacing) || !(hatch.lineWidth > 0)
        || !std::isfinite(hatch.lineWidth) || hatch.lineColor.alpha() <= 0)
        return;
    // Lines k × spacing from the origin of user space, so that hatched areas
    // side by side line up: along (dx, dy), spaced across along (nx, ny).
    double angle = hatch.angleDegrees * std::numbers::pi / 180;
    double dx = std::cos(angle), dy = std::sin(angle), nx = -dy, ny = dx;
    double across0 = INFINITY, across1 = -INFINITY, along0 = INFINITY, along1 = -INFINITY;
    for (auto p : { platform::Point { shown.minX(), shown.minY() }, platform::Point { shown.maxX(), shown.minY() },
             platform::Point { shown.minX(), shown.maxY() }, platform::Point { shown.maxX(), shown.maxY() } }) {
        across0 = std::min(across0, p.x * nx + p.y * ny);
        across1 = std::max(across1, p.x * nx + p.y * ny);
        along0 = std::min(along0, p.x * dx + p.y * dy);
        along1 = std::max(along1, p.x * dx + p.y * dy);
    }
    double first = std::floor(across0 / hatch.spacing);
    double last = std::ceil(across1 / hatch.spacing);
    if (last - first > mostHatchLines)
        return;
    platform::ContextStateSaver saver(context);
    context.clipToRect(shown);
    context.beginPath();
    for (double k = first; k <= last; ++k) {
        double o = k * hatch.spacing;
        context.moveTo({ o * nx + (along0 - hatch.lineWidth) * dx, o * ny + (along0 - hatch.lineWidth) * dy });
        context.lineTo({ o * nx + (along1 + hatch.lineWidth) * dx, o * ny + (along1 + hatch.lineWidth) * dy });
    }
    context.setStrokeColor(hatch.lineColor.toPlatform());
    context.setLineWidth(hatch.lineWidth);
    context.setLineDash({});
    context.stroke();
}

void Fill::fillRect(const platform::Rect& rect, platform::Context& context) const
{
    if (auto h = hatch()) {
        paintHatch(*h, rect, context);
        return;
    }
    if (auto g = gradient()) {
        g->fillRect(rect, context);
        return;
    }
    context.fillRect(rect, color()->toPlatform());
}

void Fill::fillPath(const platform::Path& path, platform::Context& context, platform::FillRule rule) const
{
    if (path.isEmpty())
        return;
    if (auto h = hatch()) {
        platform::ContextStateSaver saver(context);
        context.beginPath();
        context.addPath(path);
        context.clip(rule);
        paintHatch(*h, path.boundingBox(), context);
        return;
    }
    if (auto g = gradient()) {
        g->fillPath(path, context, rule);
        return;
    }
    context.beginPath();
    context.addPath(path);
    context.setFillColor(color()->toPlatform());
    context.fill(rule);
}

void Fill::fillMask(
    const platform::CoverageMask& mask, const platform::Rect& shapeBounds, platform::Context& context) const
{
    if (mask.isEmpty())
        return;
    if (auto h = hatch()) {
        context.pushGroup();
        paintHatch(*h, shapeBounds, context);
        context.popGroupThroughMask(mask);
        return;
    }
    if (auto g = gradient()) {
        g->fillMask(mask, shapeBounds, context);
        return;
    }
    context.fillMask(mask, color()->toPlatform());
}

}
