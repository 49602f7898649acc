#pragma once

#include "platform/gfx/Color.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hestio::platform {

class Image;

/// A button on a navigation bar: titled (plain, bordered or done style) or one
/// of the platform's system items (add, save…), with an optional tint.
class BarButtonItem {
public:
    enum class Style { Plain, Bordered, Done };
    enum class SystemItem { None, Done, Cancel, Edit, Save, Add, Refresh, Action };
    using Action = std::function<void()>;

    [[nodiscard]] static std::shared_ptr<BarButtonItem> create(std::string title, Style style, Action action = {});
    [[nodiscard]] static std::shared_ptr<BarButtonItem> createSystem(SystemItem item, Action action = {});
    BarButtonItem(std::string title, Style style, SystemItem system, Action action);

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    Style style() const { return m_style; }
    void setStyle(Style style);
    SystemItem systemItem() const { return m_systemItem; }
    std::optional<Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<Color> tint);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    std::shared_ptr<const Image> image() const { return m_image; }
    void setImage(std::shared_ptr<const Image> image);
    /// What a screen reader says for the button when its title or symbol
    /// says too little (an "+" that adds a schedule).
    const std::string& accessibilityLabel() const { return m_accessibilityLabel; }
    void setAccessibilityLabel(std::string label) { m_accessibilityLabel = std::move(label); }

    const Action& action() const { return m_action; }
    void setAction(Action action) { m_action = std::move(action); }
    /// Performs the action as a tap would.
    void trigger() const;

    /// The text the button shows: its title, or the system item's word.
    std::string displayTitle() const;

    /// Set by the bar that shows the item, to redraw when it changes.
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void changed() const;
    std::string m_title;
    Style m_style;
    SystemItem m_systemItem;
    Action m_action;
    std::optional<Color> m_tint;
    bool m_enabled { true };
    int m_tag { 0 };
    std::shared_ptr<const Image> m_image;
    std::string m_accessibilityLabel;
    std::function<void()> m_changed;
};

}
