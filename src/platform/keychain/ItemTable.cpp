#include "platform/keychain/ItemTable.h"

#include <algorithm>

namespace hestio::platform {

bool KeychainQuery::matches(const KeychainItem& item) const
{
    return (!account || *account == item.account) && (!service || *service == item.service)
        && (!label || *label == item.label);
}

KeychainStatus ItemTable::copyAttributes(const KeychainQuery& query, KeychainItem* attributes)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_items.begin(), m_items.end(), [&](const auto& item) { return query.matches(item); });
    if (it == m_items.end())
        return keychain_status::itemNotFound;
    if (attributes) {
        *attributes = *it;
        attributes->data.clear();
    }
    return keychain_status::success;
}

KeychainStatus ItemTable::copyData(const KeychainQuery& query, std::optional<std::string>* data)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_items.begin(), m_items.end(), [&](const auto& item) { return query.matches(item); });
    if (it == m_items.end())
        return keychain_status::itemNotFound;
    if (data)
        *data = it->data;
    return keychain_status::success;
}

KeychainStatus ItemTable::update(const KeychainQuery& query, const std::string& data)
{
    std::lock_guard lock(m_mutex);
    bool found = false;
    for (auto& item : m_items) {
        if (query.matches(item)) {
            item.data = data;
            found = true;
        }
    }
    if (!found)
        return keychain_status::itemNotFound;
    return didChange();
}

KeychainStatus ItemTable::add(const KeychainItem& item)
{
    std::lock_guard lock(m_mutex);
    bool duplicate = std::any_of(m_items.begin(), m_items.end(),
        [&](const auto& existing) { return existing.account == item.account && existing.service == item.service; });
    if (duplicate)
        return keychain_status::duplicateItem;
    m_items.push_back(item);
    return didChange();
}

KeychainStatus ItemTable::remove(const KeychainQuery& query)
{
    std::lock_guard lock(m_mutex);
    auto removed = std::erase_if(m_items, [&](const auto& item) { return query.matches(item); });
    if (removed == 0)
        return keychain_status::itemNotFound;
    return didChange();
}

}
