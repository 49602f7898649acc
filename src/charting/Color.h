#pragma once

#include "platform/gfx/Color.h"

namespace hestio::chart {

/// One colour in generic RGB with alpha, components 0…1.
class Color {
public:
    constexpr Color() = default;
    [[nodiscard]] static constexpr Color colorWithComponents(double red, double green, double blue, double alpha)
    {
        return Color(red, green, blue, alpha);
    }
    [[nodiscard]] static constexpr Color colorWithGenericGray(double gray) { return Color(gray, gray, gray, 1); }
    [[nodiscard]] static constexpr Color clearColor() { return Color(0, 0, 0, 0); }
    [[nodiscard]] static constexpr Color blackColor() { return colorWithGenericGray(0); }
    [[nodiscard]] static constexpr Color whiteColor() { return colorWithGenericGray(1); }
    [[nodiscard]] static constexpr Color darkGrayColor() { return colorWithGenericGray(1.0 / 3.0); }
    [[nodiscard]] static constexpr Color redColor() { return Color(1, 0, 0, 1); }
    [[nodiscard]] static constexpr Color greenColor() { return Color(0, 1, 0, 1); }

    [[nodiscard]] constexpr Color colorWithAlphaComponent(double alpha) const
    {
        return Color(m_red, m_green, m_blue, alpha);
    }

    constexpr double red() const { return m_red; }
    constexpr double green() const { return m_green; }
    constexpr double blue() const { return m_blue; }
    constexpr double alpha() const { return m_alpha; }
    [[nodiscard]] constexpr platform::Color toPlatform() const
    {
        return platform::Color::rgb(m_red, m_green, m_blue, m_alpha);
    }

    constexpr bool operator==(const Color&) const = default;

private:
    constexpr Color(double r, double g, double b, double a)
        : m_red(r)
        , m_green(g)
        , m_blue(b)
        , m_alpha(a)
    {
    }
    double m_red { 0 }, m_green { 0 }, m_blue { 0 }, m_alpha { 1 };
};

}
