#pragma once

#include "platform/gfx/Geometry.h"

namespace hestio::platform {

/// The phone's screen inside a window: how large the window is made for a
/// display, where the screen sits in it (centred, at its own aspect, with
/// black bars filling the rest), and which point of the screen a place in the
/// window is. Pure arithmetic, so the window host and its tests share it.
///
/// "Window units" are whatever the caller measures the window in: the
/// desktop's units for placing it and for the pointer, pixels for drawing.
class ScreenFit {
public:
    /// The screen of `points` shown in a window of `window` units.
    ScreenFit(Size points, Size window);

    /// Window units per point.
    [[nodiscard]] double scale() const { return m_scale; }
    /// Where the screen is drawn, in whole window units.
    [[nodiscard]] Rect viewport() const { return m_viewport; }
    /// The point of the screen under `inWindow` (outside the screen when
    /// `inWindow` is on a bar).
    [[nodiscard]] Point pointAt(Point inWindow) const;
    [[nodiscard]] bool isOnScreen(Point inWindow) const { return m_viewport.contains(inWindow); }

    /// Room kept beside the window for its frame (title bar and borders)
    /// when the window's size is chosen from the display's free area.
    static constexpr double frameWidth = 16;
    static constexpr double frameHeight = 48;
    static constexpr double titleBarHeight = 36;
    /// The smallest scale a window is given.
    static constexpr double smallestScale = 0.25;

    /// The largest scale at which `points` and the frame fit in `usable`: in
    /// quarter steps (1, 1.25, 1.5, 2…) so that lines stay even, and only
    /// below a half any fraction at all.
    [[nodiscard]] static double fitScale(Size points, Size usable);
    /// Where a window of `size` goes on the free area `usable`: centred, with
    /// room for its title bar, and never above or left of the area.
    [[nodiscard]] static Point placement(Size size, Rect usable);
    /// Whether a window of `size` (a remembered one) fits on `usable` with
    /// its frame, and is not below the smallest scale of `points`.
    [[nodiscard]] static bool fits(Size size, Size points, Size usable);

private:
    Size m_points;
    double m_scale { 1 };
    Rect m_viewport;
};

}
