#pragma once

#include "platform/gfx/Font.h"
#include "platform/gfx/Geometry.h"

#include <string>

namespace hestio::platform {

// How screens make room for larger text. At a text scale of 1 each rule
// gives back what it is given, so that screens draw as they always have.

/// A height laid out for text at a scale of 1 (a row, a line, a gap between
/// lines), grown with the text: times the text scale, in whole points.
[[nodiscard]] double heightForText(double height);

/// `width`, or the width `text` takes on one line in `font` when that is more.
[[nodiscard]] double widthForText(const std::string& text, const Font& font, double width);

/// How a button lays out its title in the room its content has: on one line
/// when it fits there or the room is too low for two; otherwise wrapped onto
/// as many lines as the room's height holds.
struct ButtonTitleLayout {
    /// 1, or 0 for wrapped onto as many lines as it needs.
    int numberOfLines { 1 };
    /// The size of the title as laid out (wrapped: within the room's width).
    Size size;
};
[[nodiscard]] ButtonTitleLayout layOutButtonTitle(const std::string& title, const Font& font, Size room);

/// The height of a button `width` points wide, `height` high at a text scale
/// of 1, for `title` in `font`: the height grown with the text, and taller
/// still when the title needs more lines at that width (its lines and the
/// padding one line had). `padding` is what the button's content leaves on
/// either side of its title.
[[nodiscard]] double buttonHeightForTitle(
    const std::string& title, const Font& font, double width, double height, double padding = 0);

}
