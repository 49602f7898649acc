#include "platform/ui/Accessible.h"

#include "platform/ui/View.h"

#include <algorithm>

namespace hestio::platform {

namespace {

    constexpr AccessibleState trackedStates[] = { AccessibleEnabled, AccessibleSensitive, AccessibleFocused,
        AccessibleChecked, AccessibleSelected, AccessibleShowing, AccessibleVisible, AccessibleBusy };

    bool contains(const std::vector<AccessibleNode>& nodes, const AccessibleNode& node)
    {
        return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
    }

}

AccessibleTracker::AccessibleTracker(Application& application)
    : m_application(application)
{
}

bool AccessibleTracker::isKnown(const AccessibleNode& node) const
{
    if (node.isApplication())
        return true;
    auto it = m_entries.find(node);
    return it != m_entries.end() && !it->second.view.expired();
}

void AccessibleTracker::visit(const AccessibleNode& node, std::map<AccessibleNode, Entry>& now)
{
    Entry entry;
    if (node.view)
        entry.view = std::static_pointer_cast<View>(node.view->weak_from_this().lock());
    entry.info = accessibleInfo(m_application, node);
    entry.children = accessibleChildren(m_application, node);
    auto children = entry.children;
    now.emplace(node, std::move(entry));
    for (const auto& child : children)
        if (!now.count(child))
            visit(child, now);
}

void AccessibleTracker::compare(
    const AccessibleNode& node, const Entry& before, const Entry& after, std::vector<AccessibleEvent>& events) const
{
    using Kind = AccessibleEvent::Kind;
    for (std::size_t i = before.children.size(); i-- > 0;)
        if (!contains(after.children, before.children[i]))
            events.push_back({ Kind::ChildRemoved, node, before.children[i], static_cast<int>(i) });
    for (std::size_t i = 0; i < after.children.size(); ++i)
        if (!contains(before.children, after.children[i]))
            events.push_back({ Kind::ChildAdded, node, after.children[i], static_cast<int>(i) });
    const AccessibleInfo& was = before.info;
    const AccessibleInfo& is = after.info;
    if (was.name != is.name)
        events.push_back({ Kind::NameChanged, node });
    if (was.description != is.description)
        events.push_back({ Kind::DescriptionChanged, node });
    if (was.text != is.text) {
        AccessibleEvent changed { Kind::TextChanged, node };
        changed.oldText = was.text;
        changed.newText = is.text;
        events.push_back(std::move(changed));
    }
    if (was.value != is.value)
        events.push_back({ Kind::ValueChanged, node });
    for (AccessibleState state : trackedStates)
        if ((was.states & state) != (is.states & state)) {
            AccessibleEvent changed { Kind::StateChanged, node };
            changed.state = state;
            changed.on = (is.states & state) != 0;
            events.push_back(changed);
            if (state == AccessibleFocused && changed.on)
                events.push_back({ Kind::Focus, node });
        }
}

std::vector<AccessibleEvent> AccessibleTracker::update()
{
    std::map<AccessibleNode, Entry> now;
    visit(AccessibleNode {}, now);
    // A view hidden for a while (a switch behind its spinner) keeps its
    // node: what a screen reader holds stays good, and hears of it going
    // and coming back, and of what changed meanwhile.
    for (const auto& [node, entry] : m_entries) {
        auto view = entry.view.lock();
        if (now.count(node) || node.isApplication() || !view || view.get() != node.view || !view->window())
            continue;
        Entry kept;
        kept.view = entry.view;
        kept.info = accessibleInfo(m_application, node);
        now.emplace(node, std::move(kept));
    }
    std::vector<AccessibleEvent> events;
    m_released.clear();
    for (auto& [node, entry] : m_entries) {
        auto found = now.find(node);
        // The same address may now hold another view: that one is new.
        bool same = found != now.end() && !entry.view.expired() == !found->second.view.expired()
            && (node.isApplication() || entry.view.lock() == found->second.view.lock());
        if (!same)
            m_released.push_back(node);
        else if (!m_first)
            compare(node, entry, found->second, events);
    }
    if (!m_first)
        for (auto& [node, entry] : now) {
            if (m_entries.count(node))
                continue;
            if (entry.info.role == AccessibleRole::Alert) {
                AccessibleEvent announced { AccessibleEvent::Kind::Announcement, node };
                announced.newText = entry.info.name;
                if (!entry.info.description.empty())
                    announced.newText += (announced.newText.empty() ? "" : ". ") + entry.info.description;
                events.push_back(std::move(announced));
            }
            if (entry.info.states & AccessibleFocused)
                events.push_back({ AccessibleEvent::Kind::Focus, node });
        }
    m_entries = std::move(now);
    m_first = false;
    return events;
}

}
