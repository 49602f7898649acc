#pragma once

#include "platform/keychain/KeychainStore.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// An error of the credential store's wrapper: domain
/// "KeychainWrapperErrorDomain", code −2000 (missing argument), −1999
/// (unreadable item) or the store's own status.
struct KeychainError {
    static constexpr const char* domain = "KeychainWrapperErrorDomain";
    static constexpr int missingArgument = -2000;
    static constexpr int unreadableItem = -1999;
    int code { 0 };
    bool operator==(const KeychainError&) const = default;
};

/// Small secrets (the signed-in user's password, the push token) kept as text
/// under a key and a service name. Stateless: every call goes to the store.
/// An absent argument is std::nullopt; an empty text counts as present.
class KeychainWrapper {
public:
    using Text = std::optional<std::string>;

    static Text getValueForKey(const Text& key, const Text& serviceName, std::optional<KeychainError>* error = nullptr);
    static bool storeKey(const Text& key, const Text& value, const Text& serviceName, bool updateExisting,
        std::optional<KeychainError>* error = nullptr);
    static bool deleteItemForKey(
        const Text& key, const Text& serviceName, std::optional<KeychainError>* error = nullptr);

    /// The store every call uses; set once at start-up (tests set an
    /// in-memory one). Shared so that a background resend can hold it.
    static void setStore(std::shared_ptr<platform::KeychainStore> store);
    static std::shared_ptr<platform::KeychainStore> store();
};

}
