#pragma once

#include "platform/gfx/Geometry.h"

#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

class Application;
class View;

/// Finds views as a person sees them on the key window: what is drawn on top
/// (alerts, the keyboard, banners) before the content below, and only what
/// is shown and not scrolled or clipped away.
class ScreenQuery {
public:
    /// Lays the key window out first, as it is before anyone sees it.
    explicit ScreenQuery(Application& application);

    /// A view found on screen and the part of it that shows what was looked
    /// for (a whole view, or one tab of a tab bar), in window coordinates.
    struct Found {
        View* view { nullptr };
        Rect rect;
    };

    /// The top-most visible view showing `text` (its visible text or its
    /// accessibility label, or a tab's title): an exact match first, else one
    /// whose text contains `text`.
    [[nodiscard]] std::optional<Found> findText(const std::string& text) const;
    /// The top-most visible view carrying the accessibility identifier.
    [[nodiscard]] std::optional<Found> findIdentifier(const std::string& identifier) const;

    /// The part of `view` a person can see, in window coordinates; none when
    /// it is hidden, transparent, outside the window or clipped away.
    [[nodiscard]] std::optional<Rect> visibleRect(const View& view) const;

    /// "Label \"Hello\" at (10, 20) 100x20"
    [[nodiscard]] std::string describe(const View& view) const;

private:
    /// The trees on screen, top-most first.
    [[nodiscard]] std::vector<View*> layers() const;
    enum class Match { Exactly, Containing, Identifier };
    [[nodiscard]] std::optional<Found> findFirst(Match match, const std::string& needle) const;

    Application& m_application;
};

}
