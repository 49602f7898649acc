#pragma once

#include "platform/ui/BarButtonItem.h"

#include <functional>
#include <memory>
#include <string>

namespace hestio::platform {

class View;

/// What a screen shows in the navigation bar while it is on top: its title,
/// left and right buttons and the back button the next screen will show.
class NavigationItem {
public:
    explicit NavigationItem(std::string title = {})
        : m_title(std::move(title))
    {
    }

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    std::shared_ptr<BarButtonItem> leftBarButtonItem() const { return m_left; }
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    std::shared_ptr<BarButtonItem> rightBarButtonItem() const { return m_right; }
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    /// Shown by the bar as the back button of the screen pushed above this one.
    std::shared_ptr<BarButtonItem> backBarButtonItem() const { return m_back; }
    void setBackBarButtonItem(std::shared_ptr<BarButtonItem> item);
    bool hidesBackButton() const { return m_hidesBackButton; }
    void setHidesBackButton(bool hides);
    std::shared_ptr<View> titleView() const { return m_titleView; }
    void setTitleView(std::shared_ptr<View> view);

    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void changed() const
    {
        if (m_changed)
            m_changed();
    }
    std::string m_title;
    std::shared_ptr<BarButtonItem> m_left;
    std::shared_ptr<BarButtonItem> m_right;
    std::shared_ptr<BarButtonItem> m_back;
    bool m_hidesBackButton { false };
    std::shared_ptr<View> m_titleView;
    std::function<void()> m_changed;
};

}
