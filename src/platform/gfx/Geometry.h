#pragma once

#include <algorithm>
#include <cmath>

namespace hestio::platform {

/// Geometry in points (a point is two device pixels at the default scale).

struct Point {
    double x { 0 };
    double y { 0 };
    constexpr bool operator==(const Point&) const = default;
};

struct Size {
    double width { 0 };
    double height { 0 };
    constexpr bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height)
        : origin { x, y }
        , size { width, height }
    {
    }
    constexpr Rect(Point o, Size s)
        : origin(o)
        , size(s)
    {
    }

    [[nodiscard]] constexpr double x() const { return origin.x; }
    [[nodiscard]] constexpr double y() const { return origin.y; }
    [[nodiscard]] constexpr double width() const { return size.width; }
    [[nodiscard]] constexpr double height() const { return size.height; }
    [[nodiscard]] constexpr double minX() const { return std::min(origin.x, origin.x + size.width); }
    [[nodiscard]] constexpr double maxX() const { return std::max(origin.x, origin.x + size.width); }
    [[nodiscard]] constexpr double minY() const { return std::min(origin.y, origin.y + size.height); }
    [[nodiscard]] constexpr double maxY() const { return std::max(origin.y, origin.y + size.height); }
    [[nodiscard]] constexpr double midX() const { return origin.x + size.width / 2; }
    [[nodiscard]] constexpr double midY() const { return origin.y + size.height / 2; }
    [[nodiscard]] constexpr Point center() const { return { midX(), midY() }; }
    [[nodiscard]] constexpr bool isEmpty() const { return size.width <= 0 || size.height <= 0; }

    /// Half-open on the far edges, as hit testing expects.
    [[nodiscard]] constexpr bool contains(Point p) const
    {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }
    [[nodiscard]] constexpr Rect offsetBy(double dx, double dy) const
    {
        return { origin.x + dx, origin.y + dy, size.width, size.height };
    }
    [[nodiscard]] constexpr Rect insetBy(double dx, double dy) const
    {
        return { origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy };
    }
    [[nodiscard]] Rect intersection(const Rect& other) const;
    [[nodiscard]] Rect unionWith(const Rect& other) const;
    [[nodiscard]] bool intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

    constexpr bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
    double top { 0 };
    double left { 0 };
    double bottom { 0 };
    double right { 0 };
    constexpr bool operator==(const EdgeInsets&) const = default;
};

/// An affine transform [a b c d tx ty]: x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct AffineTransform {
    double a { 1 }, b { 0 }, c { 0 }, d { 1 }, tx { 0 }, ty { 0 };

    [[nodiscard]] static constexpr AffineTransform identity() { return {}; }
    [[nodiscard]] static AffineTransform translation(double dx, double dy) { return { 1, 0, 0, 1, dx, dy }; }
    [[nodiscard]] static AffineTransform scale(double sx, double sy) { return { sx, 0, 0, sy, 0, 0 }; }
    [[nodiscard]] static AffineTransform rotation(double radians);

    /// this followed by `other`.
    [[nodiscard]] AffineTransform concat(const AffineTransform& other) const;
    [[nodiscard]] AffineTransform inverted() const;
    [[nodiscard]] Point apply(Point p) const { return { a * p.x + c * p.y + tx, b * p.x + d * p.y + ty }; }
    [[nodiscard]] bool isIdentity() const { return *this == AffineTransform {}; }
    constexpr bool operator==(const AffineTransform&) const = default;
};

inline Rect Rect::intersection(const Rect& o) const
{
    double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
    double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0)
        return {};
    return { x0, y0, x1 - x0, y1 - y0 };
}

inline Rect Rect::unionWith(const Rect& o) const
{
    if (isEmpty())
        return o;
    if (o.isEmpty())
        return *this;
    double x0 = std::min(minX(), o.minX()), y0 = std::min(minY(), o.minY());
    return { x0, y0, std::max(maxX(), o.maxX()) - x0, std::max(maxY(), o.maxY()) - y0 };
}

inline AffineTransform AffineTransform::rotation(double radians)
{
    double s = std::sin(radians), co = std::cos(radians);
    return { co, s, -s, co, 0, 0 };
}

inline AffineTransform AffineTransform::concat(const AffineTransform& o) const
{
    return { a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c, c * o.b + d * o.d, tx * o.a + ty * o.c + o.tx,
        tx * o.b + ty * o.d + o.ty };
}

inline AffineTransform AffineTransform::inverted() const
{
    double det = a * d - b * c;
    if (det == 0)
        return *this;
    return { d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det };
}

}
