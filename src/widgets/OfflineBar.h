#pragma once

#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// The thin bar under a screen's navigation bar that says how old what the
/// screen shows is while that is not fresh from the service (its text comes
/// from the screen's CachedList).
class OfflineBar {
public:
    static constexpr double height = 22;
    static constexpr const char* identifier = "offlineBar";

    /// Shows `text` under the navigation bar of `screen`'s navigation
    /// controller, moving the screen's view down by the bar's height so that
    /// nothing hides under it, or hides the bar (and moves the view back)
    /// with none. Nothing shows while the screen is not in a navigation
    /// controller.
    void update(platform::ViewController& screen, const std::optional<std::string>& text);

    /// The bar's label once it has been shown; none before.
    [[nodiscard]] const platform::Label* label() const { return m_label.get(); }
    [[nodiscard]] bool isShown() const { return m_label && !m_label->isHidden() && m_label->superview(); }

private:
    void makeRoom(platform::View& content, double below);
    void giveRoomBack(platform::View& content);

    std::shared_ptr<platform::Label> m_label;
    /// How far the screen's view was moved down, and to where; none while
    /// it is where its navigation controller put it.
    double m_moved { 0 };
    double m_movedTo { 0 };
};

}
