#pragma once

#include "platform/gfx/Color.h"

#include <vector>

namespace hestio::platform {

/// Colour stops of an axial (linear) gradient, positions 0…1 ascending.
struct Gradient {
    struct Stop {
        double position;
        Color color;
        bool operator==(const Stop&) const = default;
    };
    std::vector<Stop> stops;

    [[nodiscard]] static Gradient between(Color start, Color end) { return { { { 0, start }, { 1, end } } }; }
    /// The straight colour at `position`, interpolated between the stops the
    /// way the drawing surface shows them: each straight component, alpha
    /// included, linearly (the surface premultiplies only the result, so a
    /// pixel read back and divided by its alpha is this colour). Stops are
    /// sorted and clamped to 0…1; outside them the end colours continue.
    [[nodiscard]] Color colorAt(double position) const;
    bool operator==(const Gradient&) const = default;
};

}
