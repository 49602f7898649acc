#pragma once

#include "charting/Color.h"
#include "charting/Gradient.h"
#include "platform/gfx/Context.h"

#include <memory>
#include <variant>

namespace hestio::chart {

/// Parallel lines over a background colour, the way a drawing marks an
/// area apart from those painted plainly.
struct Hatch {
    Color lineColor;
    Color backgroundColor { Color::clearColor() };
    /// From one line to the next, across them, in points.
    double spacing { 6 };
    double lineWidth { 1 };
    /// Of the lines, counter-clockwise from the horizontal.
    double angleDegrees { 45 };
    bool operator==(const Hatch&) const = default;
};

/// How an area is painted: one colour, a gradient or a hatch.
class Fill {
public:
    [[nodiscard]] static std::shared_ptr<const Fill> fillWithColor(Color color);
    [[nodiscard]] static std::shared_ptr<const Fill> fillWithGradient(std::shared_ptr<const Gradient> gradient);
    /// A hatch; a spacing or line width that is not positive and finite
    /// paints the background only.
    [[nodiscard]] static std::shared_ptr<const Fill> fillWithHatch(Hatch hatch);

    const Color* color() const { return std::get_if<Color>(&m_paint); }
    const Gradient* gradient() const
    {
        auto g = std::get_if<std::shared_ptr<const Gradient>>(&m_paint);
        return g ? g->get() : nullptr;
    }
    const Hatch* hatch() const { return std::get_if<Hatch>(&m_paint); }

    void fillRect(const platform::Rect& rect, platform::Context& context) const;
    /// Fills `path` (an empty path draws nothing).
    void fillPath(const platform::Path& path, platform::Context& context,
        platform::FillRule rule = platform::FillRule::NonZero) const;

    /// Paints the area a coverage mask covers; `shapeBounds` (user space) is
    /// what a gradient spans, as a path's bounding box would be.
    void fillMask(
        const platform::CoverageMask& mask, const platform::Rect& shapeBounds, platform::Context& context) const;

private:
    /// Paints the hatch over `area` (user space) within the current clip.
    void paintHatch(const Hatch& hatch, const platform::Rect& area, platform::Context& context) const;

    std::variant<Color, std::shared_ptr<const Gradient>, Hatch> m_paint;
};

}
