#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/Touch.h"

#include <cstdint>
#include <optional>
#include <vector>

union SDL_Event;

namespace hestio::platform {

class ScreenFit;

/// A touchscreen's fingers as the toolkit's touches. SDL reports each finger
/// by its own id with a position normalised to the window (0 to 1 across);
/// each becomes a touch with a small identifier of its own, at its point on
/// the phone's screen, exactly as the automation's fingers are: one finger
/// taps, drags and swipes, two pinch.
///
/// A finger that lands on the bars beside the screen is no touch (nor are
/// its moves and lifting); one that lands on the screen and slides off it
/// stays a touch until it lifts.
class FingerTouches {
public:
    /// The touch for a finger event (SDL_FINGERDOWN, _MOTION, _UP), or none
    /// for other events and fingers that are not touches. `fit` maps the
    /// window (of `window` units) to the screen.
    [[nodiscard]] std::optional<TouchInput> translate(const SDL_Event& event, const ScreenFit& fit, Size window);

    /// Every finger still down, cancelled (the window lost them); afterwards
    /// none is.
    [[nodiscard]] std::vector<TouchInput> cancelAll();

    [[nodiscard]] std::size_t activeCount() const { return m_fingers.size(); }

    /// Touch identifiers start here, apart from the mouse's and the wheel
    /// pinch's.
    static constexpr int firstIdentifier = 11;

private:
    struct Finger {
        std::int64_t device { 0 };
        std::int64_t id { 0 };
        int identifier { 0 };
        Point last;
    };
    [[nodiscard]] Finger* find(std::int64_t device, std::int64_t id);
    [[nodiscard]] int unusedIdentifier() const;

    std::vector<Finger> m_fingers;
};

}
