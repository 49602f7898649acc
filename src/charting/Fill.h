#pragma once

#include "charting/Color.h"
#include "charting/Gradient.h"
#include "platform/gfx/Context.h"

#include <memory>
#include <variant>

namespace hestio::chart {

/// How an area is painted: one colour or a gradient.
class Fill {
public:
    [[nodiscard]] static std::shared_ptr<const Fill> fillWithColor(Color color);
    [[nodiscard]] static std::shared_ptr<const Fill> fillWithGradient(std::shared_ptr<const Gradient> gradient);

    const Color* color() const { return std::get_if<Color>(&m_paint); }
    const Gradient* gradient() const
    {
        auto g = std::get_if<std::shared_ptr<const Gradient>>(&m_paint);
        return g ? g->get() : nullptr;
    }

    void fillRect(const platform::Rect& rect, platform::Context& context) const;
    /// Fills `path` (an empty path draws nothing).
    void fillPath(const platform::Path& path, platform::Context& context,
        platform::FillRule rule = platform::FillRule::NonZero) const;

    /// Paints the area a coverage mask covers; `shapeBounds` (user space) is
    /// what a gradient spans, as a path's bounding box would be.
    void fillMask(
        const platform::CoverageMask& mask, const platform::Rect& shapeBounds, platform::Context& context) const;

private:
    std::variant<Color, std::shared_ptr<const Gradient>> m_paint;
};

}
