#include "charting/Fill.h"

namespace hestio::chart {

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

void Fill::fillRect(const platform::Rect& rect, platform::Context& context) const
{
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
    if (auto g = gradient()) {
        g->fillMask(mask, shapeBounds, context);
        return;
    }
    context.fillMask(mask, color()->toPlatform());
}

}
