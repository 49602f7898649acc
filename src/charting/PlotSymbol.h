#pragma once

#include "charting/Fill.h"
#include "charting/LineStyle.h"
#include "platform/gfx/Path.h"

#include <memory>
#include <optional>

namespace hestio::chart {

/// A marker drawn at a data point. Only the ellipse has a shape here; the
/// other types draw nothing.
class PlotSymbol {
public:
    enum class Type { None = 0, Rectangle = 1, Ellipse = 2 };

    PlotSymbol() = default;
    [[nodiscard]] static std::shared_ptr<PlotSymbol> ellipsePlotSymbol();

    Type symbolType() const { return m_type; }
    void setSymbolType(Type type);
    platform::Size size() const { return m_size; }
    void setSize(platform::Size size);
    const std::shared_ptr<const LineStyle>& lineStyle() const { return m_lineStyle; }
    void setLineStyle(std::shared_ptr<const LineStyle> style) { m_lineStyle = std::move(style); }
    const std::shared_ptr<const Fill>& fill() const { return m_fill; }
    void setFill(std::shared_ptr<const Fill> fill) { m_fill = std::move(fill); }
    bool usesEvenOddClipRule() const { return m_usesEvenOddClipRule; }
    void setUsesEvenOddClipRule(bool evenOdd) { m_usesEvenOddClipRule = evenOdd; }

    /// The symbol's outline centred on the origin, made once per size and type.
    const platform::Path& symbolPath() const;
    /// Draws the symbol centred on `center`, scaled by `scale`.
    void renderAsVectorInContext(platform::Context& context, platform::Point center, double scale = 1) const;

private:
    bool hasArea() const { return m_type == Type::Ellipse || m_type == Type::Rectangle; }
    Type m_type { Type::None };
    platform::Size m_size { 5, 5 };
    std::shared_ptr<const LineStyle> m_lineStyle { LineStyle::lineStyle() };
    std::shared_ptr<const Fill> m_fill;
    bool m_usesEvenOddClipRule { false };
    mutable std::optional<platform::Path> m_cachedPath;
};

}
