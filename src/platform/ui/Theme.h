#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

#include <memory>
#include <string>

namespace hestio::platform {

class Context;
class Image;

/// The toolkit's look: its colours and the few drawing routines several
/// views share (glossy bars, pinstripes, chevrons, badges), and named images.
namespace theme {

    constexpr Color barTint = Color::hex(0x6d84a2);
    constexpr Color buttonText = Color::hex(0x324f85);
    constexpr Color selectionTop = Color::hex(0x058cf5);
    constexpr Color selectionBottom = Color::hex(0x015ee6);
    constexpr Color groupedBackground = Color::hex(0xc5ccd4);
    constexpr Color groupedBorder = Color::hex(0xabafb6);
    constexpr Color separator = Color::hex(0xe0e0e0);
    constexpr Color sectionHeaderText = Color::hex(0x4c566c);
    constexpr Color detailText = Color::hex(0x385487);
    constexpr Color switchOn = Color::hex(0x34aa4a);
    constexpr Color deleteRed = Color::hex(0xd1262b);
    constexpr Color focusRing = Color::hex(0x1f7ff2);

    Color lighter(Color c, double amount);
    Color darker(Color c, double amount);

    /// A bar filled with a vertical gloss in `tint` (navigation bars, bar buttons).
    void fillGloss(Context& context, const Rect& rect, Color tint, double cornerRadius = 0);
    /// The grouped-table background: fine vertical pinstripes.
    void fillPinstripes(Context& context, const Rect& rect);
    /// A ">" chevron centred on `center`.
    void drawChevron(Context& context, Point center, Color color, double height = 13, double lineWidth = 3);
    /// A red badge with white text, centred on `center`.
    void drawBadge(Context& context, Point center, const std::string& text);
    /// The keyboard focus ring: a rounded blue outline just outside `rect`,
    /// with a white edge inside it so it shows on blue and dark bars too.
    void drawFocusRing(Context& context, const Rect& rect);
    /// A rounded rectangle filled with a vertical gradient between two colours.
    void fillRoundedGradient(Context& context, const Rect& rect, double radius, Color top, Color bottom);

    /// An image from assets/images by name, with or without ".png"/".svg"
    /// ("arrow", "arrow.png", "statusOnOrb.png"); cached. None when missing.
    std::shared_ptr<const Image> imageNamed(const std::string& name);
    /// A named SVG icon with every "currentColor" drawn in `color` (tab icons).
    std::shared_ptr<const Image> tintedImageNamed(const std::string& name, Color color);

}

}
