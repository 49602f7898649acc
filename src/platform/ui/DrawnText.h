#pragma once

#include "platform/gfx/Geometry.h"

#include <string>
#include <vector>

namespace hestio::platform {

class View;

/// A text a view draws itself, the room it is drawn in (the view's
/// coordinates) and whether the whole of it shows there.
struct DrawnText {
    std::string text;
    /// The size the whole text takes, laid out as the view lays it out.
    Size needed;
    Rect room;
    bool fits { true };

    /// Fits when it is no wider than its room and overhangs it by at most
    /// two points at the top or bottom (as a label's drawing lets a line do).
    [[nodiscard]] static DrawnText measured(std::string text, Size needed, Rect room);
};

/// A view that draws texts of its own other than as a label, button or field
/// (tabs, picker wheels, a graph's labels) says which, with their room.
class DrawsTexts {
public:
    virtual ~DrawsTexts() = default;
    [[nodiscard]] virtual std::vector<DrawnText> drawnTexts() const = 0;
};

/// Every non-empty text `view` draws itself (not its subviews'), with its
/// room: a label's text, a button's title, a field's text or placeholder,
/// and whatever a view that draws texts says. What the check for larger
/// text reads.
[[nodiscard]] std::vector<DrawnText> drawnTextsOf(const View& view);

}
