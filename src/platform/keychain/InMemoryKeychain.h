#pragma once

#include "platform/keychain/ItemTable.h"

#include <map>

namespace hestio::platform {

/// A store for tests: items live in memory, every call is recorded, and any
/// call can be made to fail with any status.
class InMemoryKeychain final : public ItemTable {
public:
    enum class Call { CopyAttributes, CopyData, Update, Add, Remove };

    /// The next `times` calls of `call` return `status` without doing anything.
    void failNext(Call call, KeychainStatus status, int times = 1);
    /// Every call of `call` returns `status` until cleared with success.
    void failAlways(Call call, KeychainStatus status);
    /// copyData succeeds but hands back no data (an unreadable item).
    void setDataUnreadable(bool unreadable)
    {
        std::lock_guard lock(m_mutex);
        m_dataUnreadable = unreadable;
    }

    [[nodiscard]] std::vector<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clearCalls()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

    [[nodiscard]] KeychainStatus copyAttributes(const KeychainQuery& query, KeychainItem* attributes) override;
    [[nodiscard]] KeychainStatus copyData(const KeychainQuery& query, std::optional<std::string>* data) override;
    [[nodiscard]] KeychainStatus update(const KeychainQuery& query, const std::string& data) override;
    [[nodiscard]] KeychainStatus add(const KeychainItem& item) override;
    [[nodiscard]] KeychainStatus remove(const KeychainQuery& query) override;

private:
    [[nodiscard]] std::optional<KeychainStatus> injected(Call call);

    struct Failure {
        KeychainStatus status;
        int remaining; ///< < 0: for ever
    };
    std::map<Call, Failure> m_failures;
    std::vector<Call> m_calls;
    bool m_dataUnreadable { false };
};

}
