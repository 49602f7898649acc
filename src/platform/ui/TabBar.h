#pragma once

#include "platform/ui/DrawnText.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"

#include <functional>
#include <optional>
#include <vector>

namespace hestio::platform {

/// The 49-point bar of tabs at the bottom: tinted icons, titles and badges.
class TabBar : public View, public DrawsTexts {
public:
    static constexpr double height = 49;
    struct Tab {
        std::string title;
        std::string imageName;
        std::shared_ptr<const Image> image;
        std::optional<std::string> badge;
        bool enabled { true };
    };

    [[nodiscard]] static std::shared_ptr<TabBar> create(Rect frame = { 0, 0, 320, height });
    explicit TabBar(Rect frame = { 0, 0, 320, height });

    std::string className() const override { return "TabBar"; }

    void setTabs(std::vector<Tab> tabs);
    const std::vector<Tab>& tabs() const { return m_tabs; }
    int selectedIndex() const { return m_selected; }
    void setSelectedIndex(int index);
    /// Runs when a person taps a tab.
    void setSelectAction(std::function<void(int)> action) { m_select = std::move(action); }
    /// Does what a tap on tab `index` does; false for a tab that is
    /// disabled or missing.
    bool selectTabAsTapped(int index);

    // Each tab is a stop of the keyboard focus.
    bool canBecomeFirstResponder() const override { return !m_tabs.empty() && isUserInteractionEnabled(); }
    int keyboardFocusStops() const override { return static_cast<int>(m_tabs.size()); }
    Rect keyboardFocusRect(int stop) const override { return rectForTab(stop); }
    bool accessibilityActivate() override { return selectTabAsTapped(keyboardFocusStop()); }
    Rect rectForTab(int index) const;
    int tabAtPoint(Point point) const;
    /// Finds a tab by its title (automation taps tabs by text).
    View* findByText(const std::string& text) override;
    std::string visibleText() const override;
    /// Each tab's title, with the width of its tab.
    std::vector<DrawnText> drawnTexts() const override;

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    std::vector<Tab> m_tabs;
    int m_selected { 0 };
    int m_pressed { -1 };
    std::function<void(int)> m_select;
};

}
