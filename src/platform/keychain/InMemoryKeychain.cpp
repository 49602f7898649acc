#include "platform/keychain/InMemoryKeychain.h"

namespace hestio::platform {

void InMemoryKeychain::failNext(Call call, KeychainStatus status, int times)
{
    std::lock_guard lock(m_mutex);
    m_failures[call] = { status, times };
}

void InMemoryKeychain::failAlways(Call call, KeychainStatus status)
{
    std::lock_guard lock(m_mutex);
    if (status == keychain_status::success)
        m_failures.erase(call);
    else
        m_failures[call] = { status, -1 };
}

std::optional<KeychainStatus> InMemoryKeychain::injected(Call call)
{
    m_calls.push_back(call);
    auto it = m_failures.find(call);
    if (it == m_failures.end())
        return std::nullopt;
    KeychainStatus status = it->second.status;
    if (it->second.remaining > 0 && --it->second.remaining == 0)
        m_failures.erase(it);
    return status;
}

KeychainStatus InMemoryKeychain::copyAttributes(const KeychainQuery& query, KeychainItem* attributes)
{
    std::lock_guard lock(m_mutex);
    if (auto status = injected(Call::CopyAttributes))
        return *status;
    return ItemTable::copyAttributes(query, attributes);
}

KeychainStatus InMemoryKeychain::copyData(const KeychainQuery& query, std::optional<std::string>* data)
{
    std::lock_guard lock(m_mutex);
    if (auto status = injected(Call::CopyData))
        return *status;
    KeychainStatus status = ItemTable::copyData(query, data);
    if (status == keychain_status::success && m_dataUnreadable && data)
        data->reset();
    return status;
}

KeychainStatus InMemoryKeychain::update(const KeychainQuery& query, const std::string& data)
{
    std::lock_guard lock(m_mutex);
    if (auto status = injected(Call::Update))
        return *status;
    return ItemTable::update(query, data);
}

KeychainStatus InMemoryKeychain::add(const KeychainItem& item)
{
    std::lock_guard lock(m_mutex);
    if (auto status = injected(Call::Add))
        return *status;
    return ItemTable::add(item);
}

KeychainStatus InMemoryKeychain::remove(const KeychainQuery& query)
{
    std::lock_guard lock(m_mutex);
    if (auto status = injected(Call::Remove))
        return *status;
    return ItemTable::remove(query);
}

}
