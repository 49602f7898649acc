#pragma once

#include "charting/Color.h"
#include "platform/gfx/Context.h"

#include <memory>
#include <vector>

namespace hestio::chart {

/// Colour stops kept sorted by position, with an angle in degrees. Never
/// changes once made: adding a stop returns a new gradient.
class Gradient {
public:
    enum class Type { Axial = 0, Radial = 1 };
    enum class BlendingMode { Linear = 0, Chromatic = 1, InverseChromatic = 2 };
    struct Stop {
        Color color;
        double position;
        bool operator==(const Stop&) const = default;
    };
    /// Straight and premultiplied RGBA, as the drawing surface receives it.
    struct Components {
        double red, green, blue, alpha;
    };

    Gradient() = default;
    [[nodiscard]] static std::shared_ptr<const Gradient> gradientWithBeginningColor(Color begin, Color end);
    /// A copy with the stop inserted after any stop at the same position.
    [[nodiscard]] std::shared_ptr<const Gradient> addColorStop(Color color, double position) const;
    [[nodiscard]] std::shared_ptr<const Gradient> withAngle(double degrees) const;

    const std::vector<Stop>& stops() const { return m_stops; }
    double angle() const { return m_angle; }
    Type gradientType() const { return m_type; }
    BlendingMode blendingMode() const { return m_blendingMode; }

    /// The colour at `position` (linear blending): opaque white without stops,
    /// the end stops' colours beyond them, interpolated in between.
    [[nodiscard]] Color colorAtPosition(double position) const;
    /// The same colour premultiplied by its alpha.
    [[nodiscard]] Components premultipliedComponentsAtPosition(double position) const;
    [[nodiscard]] static Color unpremultiplied(const Components& premultiplied);

    /// Where positions 0 and 1 lie for a rectangle (y up).
    [[nodiscard]] std::pair<platform::Point, platform::Point> axialEndpoints(const platform::Rect& rect) const;

    void fillRect(const platform::Rect& rect, platform::Context& context) const;
    /// Fills the path's inside; an empty path draws nothing.
    void fillPath(const platform::Path& path, platform::Context& context, platform::FillRule rule) const;

    /// Paints what `mask` covers, the gradient spanning `shapeBounds`.
    void fillMask(
        const platform::CoverageMask& mask, const platform::Rect& shapeBounds, platform::Context& context) const;

private:
    platform::Gradient toPlatform() const;
    std::vector<Stop> m_stops;
    double m_angle { 0 };
    Type m_type { Type::Axial };
    BlendingMode m_blendingMode { BlendingMode::Linear };
};

}
