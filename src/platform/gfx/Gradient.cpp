#include "platform/gfx/Gradient.h"

#include <algorithm>

namespace hestio::platform {

Color Gradient::colorAt(double position) const
{
    if (stops.empty())
        return Color::clear();
    // The drawing surface sorts stops stably, clamps them to 0…1 and pads
    // beyond the first and last; it then interpolates the straight (not
    // premultiplied) components, alpha included, and premultiplies the result.
    // Reading the pixel back and dividing by alpha therefore gives exactly the
    // straight interpolation computed here.
    std::vector<Stop> sorted = stops;
    for (auto& s : sorted)
        s.position = std::clamp(s.position, 0.0, 1.0);
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const Stop& a, const Stop& b) { return a.position < b.position; });
    position = std::clamp(position, 0.0, 1.0);
    if (position <= sorted.front().position)
        return sorted.front().color;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        const Stop& left = sorted[i - 1];
        const Stop& right = sorted[i];
        if (position > right.position)
            continue;
        double span = right.position - left.position;
        if (span <= 0)
            return right.color;
        double t = (position - left.position) / span;
        auto mix = [t](double a, double b) { return a + (b - a) * t; };
        return { mix(left.color.red, right.color.red), mix(left.color.green, right.color.green),
            mix(left.color.blue, right.color.blue), mix(left.color.alpha, right.color.alpha) };
    }
    return sorted.back().color;
}

}
