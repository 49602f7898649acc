#pragma once

#include <cstdint>
#include <vector>

namespace hestio::platform {

/// How much of each device pixel a shape covers (0 none … 255 all), for a
/// rectangle of `width` × `height` device pixels whose top-left pixel is
/// (x, y). Rows are `stride` bytes apart (a multiple of four, as the
/// drawing surface wants for 8-bit masks).
struct CoverageMask {
    int x { 0 }, y { 0 }, width { 0 }, height { 0 }, stride { 0 };
    std::vector<std::uint8_t> coverage;

    /// Covers nothing over the given rectangle (negative sizes: empty).
    void reset(int left, int top, int w, int h)
    {
        x = left;
        y = top;
        width = w > 0 && h > 0 ? w : 0;
        height = w > 0 && h > 0 ? h : 0;
        stride = (width + 3) / 4 * 4;
        coverage.assign(static_cast<std::size_t>(stride) * height, 0);
    }
    [[nodiscard]] bool isEmpty() const { return width == 0 || height == 0; }
    /// Coverage of device pixel (px, py); 0 outside the rectangle.
    [[nodiscard]] std::uint8_t at(int px, int py) const
    {
        if (px < x || py < y || px >= x + width || py >= y + height)
            return 0;
        return coverage[static_cast<std::size_t>(py - y) * stride + (px - x)];
    }
};

}
