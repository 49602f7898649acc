#include "charting/Gradient.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hestio::chart {

std::shared_ptr<const Gradient> Gradient::gradientWithBeginningColor(Color begin, Color end)
{
    auto g = std::make_shared<Gradient>();
    g->m_stops = { { begin, 0 }, { end, 1 } };
    return g;
}

std::shared_ptr<const Gradient> Gradient::addColorStop(Color color, double position) const
{
    auto g = std::make_shared<Gradient>(*this);
    auto at = std::upper_bound(
        g->m_stops.begin(), g->m_stops.end(), position, [](double p, const Stop& s) { return p < s.position; });
    g->m_stops.insert(at, Stop { color, position });
    return g;
}

std::shared_ptr<const Gradient> Gradient::withAngle(double degrees) const
{
    auto g = std::make_shared<Gradient>(*this);
    g->m_angle = degrees;
    return g;
}

Color Gradient::colorAtPosition(double position) const
{
    if (m_stops.empty())
        return Color::whiteColor();
    if (position <= m_stops.front().position)
        return m_stops.front().color;
    if (position >= m_stops.back().position)
        return m_stops.back().color;
    std::size_t i = 0;
    while (i + 1 < m_stops.size() && m_stops[i + 1].position <= position)
        ++i;
    const Stop& a = m_stops[i];
    const Stop& b = m_stops[std::min(i + 1, m_stops.size() - 1)];
    if (b.position <= a.position)
        return a.color;
    double t = (position - a.position) / (b.position - a.position);
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return Color::colorWithComponents(mix(a.color.red(), b.color.red()), mix(a.color.green(), b.color.green()),
        mix(a.color.blue(), b.color.blue()), mix(a.color.alpha(), b.color.alpha()));
}

Gradient::Components Gradient::premultipliedComponentsAtPosition(double position) const
{
    Color c = colorAtPosition(position);
    return { c.red() * c.alpha(), c.green() * c.alpha(), c.blue() * c.alpha(), c.alpha() };
}

Color Gradient::unpremultiplied(const Components& p)
{
    if (p.alpha == 0)
        return Color::colorWithComponents(p.red, p.green, p.blue, 0);
    return Color::colorWithComponents(p.red / p.alpha, p.green / p.alpha, p.blue / p.alpha, p.alpha);
}

std::pair<platform::Point, platform::Point> Gradient::axialEndpoints(const platform::Rect& rect) const
{
    double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
    double angle = std::fmod(m_angle, 360.0);
    if (angle == 0)
        return { { x, y }, { x + w, y } };
    if (angle == 90)
        return { { x, y }, { x, y + h } };
    double radians = m_angle * std::numbers::pi / 180.0;
    double c = std::cos(radians), s = std::sin(radians);
    double length = w * std::abs(c) + h * std::abs(s);
    platform::Point center = rect.center();
    return { { center.x - length / 2 * c, center.y - length / 2 * s },
        { center.x + length / 2 * c, center.y + length / 2 * s } };
}

platform::Gradient Gradient::toPlatform() const
{
    platform::Gradient g;
    if (m_stops.empty()) {
        g.stops = { { 0, platform::Color::whiteColor() } };
        return g;
    }
    for (const Stop& s : m_stops)
        g.stops.push_back({ s.position, s.color.toPlatform() });
    return g;
}

void Gradient::fillRect(const platform::Rect& rect, platform::Context& context) const
{
    platform::ContextStateSaver saver(context);
    context.clipToRect(rect);
    auto [start, end] = axialEndpoints(rect);
    context.drawLinearGradient(toPlatform(), start, end);
}

void Gradient::fillPath(const platform::Path& path, platform::Context& context, platform::FillRule rule) const
{
    if (path.isEmpty())
        return;
    platform::ContextStateSaver saver(context);
    auto [start, end] = axialEndpoints(path.boundingBox());
    // Filling the path with the shading paints exactly what clipping to the
    // path and painting the shading would, without a clip mask.
    context.beginPath();
    context.addPath(path);
    context.fillPathWithLinearGradient(toPlatform(), start, end, rule);
}

void Gradient::fillMask(
    const platform::CoverageMask& mask, const platform::Rect& shapeBounds, platform::Context& context) const
{
    if (mask.isEmpty())
        return;
    auto [start, end] = axialEndpoints(shapeBounds);
    context.fillMaskWithLinearGradient(mask, toPlatform(), start, end);
}

}
