#pragma once

namespace hestio::platform {

/// A straight (not premultiplied) RGBA colour, components 0…1.
struct Color {
    double red { 0 }, green { 0 }, blue { 0 }, alpha { 1 };

    [[nodiscard]] static constexpr Color rgb(double r, double g, double b, double a = 1) { return { r, g, b, a }; }
    [[nodiscard]] static constexpr Color white(double w, double a = 1) { return { w, w, w, a }; }
    /// 0xRRGGBB, alpha 1.
    [[nodiscard]] static constexpr Color hex(unsigned rgb, double a = 1)
    {
        return { ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, a };
    }
    [[nodiscard]] static constexpr Color clear() { return { 0, 0, 0, 0 }; }
    [[nodiscard]] static constexpr Color black() { return { 0, 0, 0, 1 }; }
    [[nodiscard]] static constexpr Color whiteColor() { return { 1, 1, 1, 1 }; }

    [[nodiscard]] constexpr Color withAlpha(double a) const { return { red, green, blue, a }; }
    constexpr bool operator==(const Color&) const = default;
};

}
