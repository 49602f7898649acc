#include "platform/gfx/Path.h"

#include <cmath>
#include <numbers>

namespace hestio::platform {

namespace {

    constexpr double pi = std::numbers::pi;
    // The control-point distance that makes a cubic Bézier follow a quarter circle.
    constexpr double kappa = 0.5522847498307936;

    Point cubicAt(Point p0, Point p1, Point p2, Point p3, double t)
    {
        double u = 1 - t;
        double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        return { a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y };
    }

}

void Path::moveTo(Point p)
{
    m_elements.push_back({ Op::MoveTo, { p, {}, {} } });
    m_current = p;
    m_subpathStart = p;
}

void Path::lineTo(Point p)
{
    if (!m_current) {
        moveTo(p);
        return;
    }
    m_elements.push_back({ Op::LineTo, { p, {}, {} } });
    m_current = p;
}

void Path::curveTo(Point control1, Point control2, Point end)
{
    if (!m_current)
        moveTo(control1);
    m_elements.push_back({ Op::CurveTo, { control1, control2, end } });
    m_current = end;
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, ArcDirection direction)
{
    if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle))
        return;
    radius = std::abs(radius);
    // Angles grow counter-clockwise in a y-up space, which is the direction of
    // growing angle in whatever space the path is drawn in.
    double sweep = endAngle - startAngle;
    if (direction == ArcDirection::Clockwise) {
        while (sweep > 0)
            sweep -= 2 * pi;
        sweep = std::max(sweep, -2 * pi);
    } else {
        while (sweep < 0)
            sweep += 2 * pi;
        sweep = std::min(sweep, 2 * pi);
    }
    Point start { center.x + radius * std::cos(startAngle), center.y + radius * std::sin(startAngle) };
    if (m_current)
        lineTo(start);
    else
        moveTo(start);

    int segments = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (pi / 2) - 1e-9)));
    double step = sweep / segments;
    double handle = 4.0 / 3.0 * std::tan(step / 4) * radius;
    double angle = startAngle;
    for (int i = 0; i < segments; ++i) {
        double next = angle + step;
        double c0 = std::cos(angle), s0 = std::sin(angle), c1 = std::cos(next), s1 = std::sin(next);
        Point p0 { center.x + radius * c0, center.y + radius * s0 };
        Point p3 { center.x + radius * c1, center.y + radius * s1 };
        curveTo({ p0.x - handle * s0, p0.y + handle * c0 }, { p3.x + handle * s1, p3.y - handle * c1 }, p3);
        angle = next;
    }
}

void Path::addRect(const Rect& r)
{
    moveTo(r.origin);
    lineTo({ r.x() + r.width(), r.y() });
    lineTo({ r.x() + r.width(), r.y() + r.height() });
    lineTo({ r.x(), r.y() + r.height() });
    close();
}

void Path::addRoundedRect(const Rect& r, double cornerRadius)
{
    double radius = std::clamp(cornerRadius, 0.0, std::min(std::abs(r.width()), std::abs(r.height())) / 2);
    if (radius <= 0) {
        addRect(r);
        return;
    }
    double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
    moveTo({ x0 + radius, y0 });
    addArc({ x1 - radius, y0 + radius }, radius, -pi / 2, 0);
    addArc({ x1 - radius, y1 - radius }, radius, 0, pi / 2);
    addArc({ x0 + radius, y1 - radius }, radius, pi / 2, pi);
    addArc({ x0 + radius, y0 + radius }, radius, pi, 3 * pi / 2);
    close();
}

void Path::addEllipse(const Rect& r)
{
    double rx = r.width() / 2, ry = r.height() / 2, cx = r.midX(), cy = r.midY();
    double kx = rx * kappa, ky = ry * kappa;
    moveTo({ cx + rx, cy });
    curveTo({ cx + rx, cy + ky }, { cx + kx, cy + ry }, { cx, cy + ry });
    curveTo({ cx - kx, cy + ry }, { cx - rx, cy + ky }, { cx - rx, cy });
    curveTo({ cx - rx, cy - ky }, { cx - kx, cy - ry }, { cx, cy - ry });
    curveTo({ cx + kx, cy - ry }, { cx + rx, cy - ky }, { cx + rx, cy });
    close();
}

void Path::addLines(const std::vector<Point>& points)
{
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            moveTo(points[i]);
        else
            lineTo(points[i]);
    }
}

void Path::close()
{
    if (!m_current)
        return;
    m_elements.push_back({ Op::Close, {} });
    m_current = m_subpathStart;
}

void Path::append(const Path& other)
{
    m_elements.insert(m_elements.end(), other.m_elements.begin(), other.m_elements.end());
    if (other.m_current) {
        m_current = other.m_current;
        m_subpathStart = other.m_subpathStart;
    }
}

std::optional<Point> Path::currentPoint() const
{
    return m_current;
}

Rect Path::boundingBox() const
{
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    auto include = [&](Point p) {
        if (!any) {
            x0 = x1 = p.x;
            y0 = y1 = p.y;
            any = true;
            return;
        }
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    };
    for (const auto& e : m_elements) {
        int count = e.op == Op::CurveTo ? 3 : e.op == Op::Close ? 0 : 1;
        for (int i = 0; i < count; ++i)
            include(e.points[i]);
    }
    return any ? Rect { x0, y0, x1 - x0, y1 - y0 } : Rect {};
}

bool Path::contains(Point p, FillRule rule) const
{
    // Flattens curves into short lines and counts signed crossings of a ray
    // going right from `p`; every subpath is closed implicitly, as for a fill.
    int winding = 0;
    std::optional<Point> current, start;
    auto edge = [&](Point a, Point b) {
        if (a.y <= p.y) {
            if (b.y > p.y && (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y) > 0)
                ++winding;
        } else if (b.y <= p.y && (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y) < 0) {
            --winding;
        }
    };
    auto closeSubpath = [&] {
        if (current && start)
            edge(*current, *start);
    };
    for (const auto& e : m_elements) {
        switch (e.op) {
        case Op::MoveTo:
            closeSubpath();
            current = start = e.points[0];
            break;
        case Op::LineTo:
            edge(*current, e.points[0]);
            current = e.points[0];
            break;
        case Op::CurveTo: {
            constexpr int steps = 32;
            Point previous = *current;
            for (int i = 1; i <= steps; ++i) {
                Point next = cubicAt(*current, e.points[0], e.points[1], e.points[2], double(i) / steps);
                edge(previous, next);
                previous = next;
            }
            current = e.points[2];
            break;
        }
        case Op::Close:
            closeSubpath();
            current = start;
            break;
        }
    }
    closeSubpath();
    return rule == FillRule::EvenOdd ? (winding % 2) != 0 : winding != 0;
}

Path Path::transformed(const AffineTransform& t) const
{
    Path result = *this;
    for (auto& e : result.m_elements) {
        for (auto& point : e.points)
            point = t.apply(point);
    }
    if (result.m_current)
        result.m_current = t.apply(*result.m_current);
    if (result.m_subpathStart)
        result.m_subpathStart = t.apply(*result.m_subpathStart);
    return result;
}

}
