#pragma once

#include "platform/keychain/KeychainStore.h"

namespace hestio::platform {

/// Items kept by the desktop's Secret Service (through libsecret), one secret
/// per item with the attributes "service", "account" and "label".
class SecretServiceKeychain final : public KeychainStore {
public:
    /// Whether a Secret Service answers on the session bus right now.
    [[nodiscard]] static bool isAvailable();

    [[nodiscard]] KeychainStatus copyAttributes(const KeychainQuery& query, KeychainItem* attributes) override;
    [[nodiscard]] KeychainStatus copyData(const KeychainQuery& query, std::optional<std::string>* data) override;
    [[nodiscard]] KeychainStatus update(const KeychainQuery& query, const std::string& data) override;
    [[nodiscard]] KeychainStatus add(const KeychainItem& item) override;
    [[nodiscard]] KeychainStatus remove(const KeychainQuery& query) override;
};

}
