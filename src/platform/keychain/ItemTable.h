#pragma once

#include "platform/keychain/KeychainStore.h"

#include <mutex>

namespace hestio::platform {

/// The item semantics shared by the in-memory and file stores: a list of
/// items searched by query. Subclasses persist or instrument it.
class ItemTable : public KeychainStore {
public:
    [[nodiscard]] KeychainStatus copyAttributes(const KeychainQuery& query, KeychainItem* attributes) override;
    [[nodiscard]] KeychainStatus copyData(const KeychainQuery& query, std::optional<std::string>* data) override;
    [[nodiscard]] KeychainStatus update(const KeychainQuery& query, const std::string& data) override;
    [[nodiscard]] KeychainStatus add(const KeychainItem& item) override;
    [[nodiscard]] KeychainStatus remove(const KeychainQuery& query) override;

    [[nodiscard]] std::vector<KeychainItem> items() const
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

protected:
    /// Called after every change; a failure status undoes nothing but is
    /// reported to the caller.
    [[nodiscard]] virtual KeychainStatus didChange() { return keychain_status::success; }
    std::vector<KeychainItem> m_items;
    /// Guards m_items; the store is callable from any thread.
    mutable std::recursive_mutex m_mutex;
};

}
