#include "platform/ui/TabBarItem.h"

#include "platform/ui/Theme.h"

namespace hestio::platform {

void TabBarItem::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    changed();
}

void TabBarItem::setImage(std::shared_ptr<const Image> image, std::string name)
{
    m_image = std::move(image);
    m_imageName = std::move(name);
    changed();
}

void TabBarItem::setImageNamed(const std::string& name)
{
    setImage(theme::imageNamed(name), name);
}

void TabBarItem::setBadgeValue(std::optional<std::string> badge)
{
    if (badge == m_badge)
        return;
    m_badge = std::move(badge);
    changed();
}

void TabBarItem::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    changed();
}

}
