#pragma once

#include "platform/gfx/Geometry.h"

#include <optional>
#include <vector>

namespace hestio::platform {

enum class FillRule { NonZero, EvenOdd };
/// Which way an arc turns from its start angle to its end angle, as seen in
/// a y-up space (counter-clockwise is the way of growing angle).
enum class ArcDirection { CounterClockwise, Clockwise };

/// A resolution-independent path: a list of elements replayed into a drawing
/// context. Plain value; cheap to copy for the sizes charts use.
class Path {
public:
    enum class Op { MoveTo, LineTo, CurveTo, Close };
    struct Element {
        Op op;
        Point points[3];
    };

    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point control1, Point control2, Point end);
    /// Circular arc about `center`, angles in radians. Starts with a line
    /// from the current point, as the drawing API does.
    void addArc(Point center, double radius, double startAngle, double endAngle,
        ArcDirection direction = ArcDirection::CounterClockwise);
    void addRect(const Rect& rect);
    void addRoundedRect(const Rect& rect, double cornerRadius);
    void addEllipse(const Rect& inRect);
    void addLines(const std::vector<Point>& points);
    void close();
    void append(const Path& other);

    [[nodiscard]] bool isEmpty() const { return m_elements.empty(); }
    [[nodiscard]] const std::vector<Element>& elements() const { return m_elements; }
    [[nodiscard]] std::optional<Point> currentPoint() const;
    /// The bounds of every point, control points included.
    [[nodiscard]] Rect boundingBox() const;
    /// Whether `p` lies inside the filled path under `rule`.
    [[nodiscard]] bool contains(Point p, FillRule rule = FillRule::NonZero) const;
    [[nodiscard]] Path transformed(const AffineTransform& t) const;

    void reserve(std::size_t elements) { m_elements.reserve(elements); }

private:
    std::vector<Element> m_elements;
    std::optional<Point> m_current;
    std::optional<Point> m_subpathStart;
};

}
