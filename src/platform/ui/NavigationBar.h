#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationItem.h"

#include <functional>
#include <optional>
#include <vector>

namespace hestio::platform {

/// The button a navigation bar makes for a bar button item (or the back
/// button). Screens find these among the bar's subviews by their class
/// description, "UINavigationButton".
class NavigationButton : public Button {
public:
    NavigationButton(std::shared_ptr<BarButtonItem> item, bool isBackButton);
    std::string className() const override { return "UINavigationButton"; }
    BarButtonItem* item() const { return m_item.get(); }
    bool isBackButton() const { return m_isBack; }
    void setBarTint(Color tint);
    /// Updates title and size from the item.
    void refresh();

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    std::shared_ptr<BarButtonItem> m_item;
    bool m_isBack;
    Color m_barTint;
};

/// The 44-point bar at the top of a navigation stack: a gloss in its tint,
/// the top item's title, its left (or back) and right buttons.
class NavigationBar : public View {
public:
    static constexpr double height = 44;
    [[nodiscard]] static std::shared_ptr<NavigationBar> create(Rect frame = { 0, 0, 320, height });
    explicit NavigationBar(Rect frame = { 0, 0, 320, height });

    std::string className() const override { return "NavigationBar"; }

    std::optional<Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<Color> tint);
    /// The tint used for drawing: the set tint or the default blue-grey.
    Color effectiveTint() const;

    // Items are owned by their controllers (non-owning pointers here).
    void setItems(std::vector<NavigationItem*> items);
    void pushItem(NavigationItem& item, bool animated = false);
    void popItem(bool animated = false);
    const std::vector<NavigationItem*>& items() const { return m_items; }
    NavigationItem* topItem() const { return m_items.empty() ? nullptr : m_items.back(); }
    NavigationItem* backItem() const { return m_items.size() < 2 ? nullptr : m_items[m_items.size() - 2]; }

    /// Runs when the back button is tapped (the navigation controller pops).
    void setBackAction(std::function<void()> action) { m_backAction = std::move(action); }

    /// The bar's buttons and title, rebuilt from the top item.
    NavigationButton* leftButton() const { return m_left.get(); }
    NavigationButton* rightButton() const { return m_right.get(); }
    Label& titleLabel() { return *m_title; }

    void layoutSubviews() override;

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    void refresh();
    Rect titleFrame(double leftEdge, double rightEdge);
    std::shared_ptr<NavigationButton> buttonFor(
        std::shared_ptr<BarButtonItem> item, bool back, const std::shared_ptr<NavigationButton>& current);
    std::optional<Color> m_tint;
    std::vector<NavigationItem*> m_items;
    std::shared_ptr<Label> m_title;
    std::shared_ptr<NavigationButton> m_left;
    std::shared_ptr<NavigationButton> m_right;
    std::shared_ptr<View> m_titleView;
    std::function<void()> m_backAction;
};

}
