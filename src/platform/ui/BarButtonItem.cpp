#include "platform/ui/BarButtonItem.h"

namespace hestio::platform {

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::string title, Style style, Action action)
{
    return std::make_shared<BarButtonItem>(std::move(title), style, SystemItem::None, std::move(action));
}

std::shared_ptr<BarButtonItem> BarButtonItem::createSystem(SystemItem item, Action action)
{
    Style style = (item == SystemItem::Done || item == SystemItem::Save) ? Style::Done : Style::Bordered;
    return std::make_shared<BarButtonItem>(std::string {}, style, item, std::move(action));
}

BarButtonItem::BarButtonItem(std::string title, Style style, SystemItem system, Action action)
    : m_title(std::move(title))
    , m_style(style)
    , m_systemItem(system)
    , m_action(std::move(action))
{
}

void BarButtonItem::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    changed();
}

void BarButtonItem::setStyle(Style style)
{
    if (style == m_style)
        return;
    m_style = style;
    changed();
}

void BarButtonItem::setTintColor(std::optional<Color> tint)
{
    if (tint == m_tint)
        return;
    m_tint = tint;
    changed();
}

void BarButtonItem::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    changed();
}

void BarButtonItem::setImage(std::shared_ptr<const Image> image)
{
    m_image = std::move(image);
    changed();
}

void BarButtonItem::trigger() const
{
    if (m_enabled && m_action)
        m_action();
}

std::string BarButtonItem::displayTitle() const
{
    switch (m_systemItem) {
    case SystemItem::None:
        return m_title;
    case SystemItem::Done:
        return "Done";
    case SystemItem::Cancel:
        return "Cancel";
    case SystemItem::Edit:
        return "Edit";
    case SystemItem::Save:
        return "Save";
    case SystemItem::Add:
        return "+";
    case SystemItem::Refresh:
        return "\u21bb";
    case SystemItem::Action:
        return "\u2197";
    }
    return m_title;
}

void BarButtonItem::changed() const
{
    if (m_changed)
        m_changed();
}

}
