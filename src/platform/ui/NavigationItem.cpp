#include "platform/ui/NavigationItem.h"

namespace hestio::platform {

void NavigationItem::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    changed();
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool)
{
    m_left = std::move(item);
    changed();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool)
{
    m_right = std::move(item);
    changed();
}

void NavigationItem::setBackBarButtonItem(std::shared_ptr<BarButtonItem> item)
{
    m_back = std::move(item);
    changed();
}

void NavigationItem::setHidesBackButton(bool hides)
{
    m_hidesBackButton = hides;
    changed();
}

void NavigationItem::setTitleView(std::shared_ptr<View> view)
{
    m_titleView = std::move(view);
    changed();
}

}
