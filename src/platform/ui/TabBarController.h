#pragma once

#include "platform/ui/TabBar.h"
#include "platform/ui/ViewController.h"

namespace hestio::platform {

/// Screens side by side behind a tab bar; one is shown at a time. A
/// navigation controller's tab shows its root screen's title and image unless
/// its own item sets them; badges may be set on either.
class TabBarController : public ViewController {
public:
    [[nodiscard]] static std::shared_ptr<TabBarController> create();
    TabBarController();
    ~TabBarController() override;

    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_controllers; }
    int selectedIndex() const { return m_selected; }
    void setSelectedIndex(int index);
    ViewController* selectedViewController() const;
    void setSelectedViewController(ViewController& controller);
    TabBar& tabBar() { return *m_tabBar; }
    /// Runs after a person selects a tab.
    void setDidSelectAction(std::function<void(ViewController&)> action) { m_didSelect = std::move(action); }

    void loadView() override;
    std::vector<ViewController*> childViewControllers() const override;
    bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const override;

protected:
    std::vector<ViewController*> visibleChildren() const override;

private:
    void refreshTabs();
    void userSelected(int index);
    Rect contentFrame() const;

    std::vector<std::shared_ptr<ViewController>> m_controllers;
    int m_selected { 0 };
    std::shared_ptr<TabBar> m_tabBar;
    std::function<void(ViewController&)> m_didSelect;
};

}
