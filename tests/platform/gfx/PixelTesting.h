#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>

namespace hestio::platform {

inline std::ostream& operator<<(std::ostream& out, const Color& c)
{
    return out << "rgba(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
}

/// Colours equal within `tolerance` per component (8-bit surfaces round).
inline testing::AssertionResult sameColor(Color actual, Color expected, double tolerance = 2.0 / 255)
{
    bool close = std::abs(actual.red - expected.red) <= tolerance
        && std::abs(actual.green - expected.green) <= tolerance && std::abs(actual.blue - expected.blue) <= tolerance
        && std::abs(actual.alpha - expected.alpha) <= tolerance;
    // Colour components mean nothing where the pixel is transparent.
    if (expected.alpha == 0 && std::abs(actual.alpha) <= tolerance)
        close = true;
    if (close)
        return testing::AssertionSuccess();
    std::ostringstream text;
    text << actual << " is not " << expected;
    return testing::AssertionFailure() << text.str();
}

/// A transparent canvas `width` × `height` points and a context on it.
struct Canvas {
    std::shared_ptr<Image> image;
    std::unique_ptr<Context> context;

    Canvas(double width, double height, double scale = 1)
        : image(Image::create({ width, height }, scale))
        , context(Context::forImage(*image))
    {
    }
    /// The pixel under the point (x, y) of the canvas, at its scale.
    Color at(double x, double y) const
    {
        return image->pixelAt(static_cast<int>(x * image->scale()), static_cast<int>(y * image->scale()));
    }
};

inline constexpr Color red = Color::rgb(1, 0, 0);
inline constexpr Color green = Color::rgb(0, 1, 0);
inline constexpr Color blue = Color::rgb(0, 0, 1);

}
