#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

/// Status codes of the credential store, as the phone platform numbers them.
using KeychainStatus = int;
namespace keychain_status {
    inline constexpr KeychainStatus success = 0;
    inline constexpr KeychainStatus param = -50;
    inline constexpr KeychainStatus io = -36;
    inline constexpr KeychainStatus notAvailable = -25291;
    inline constexpr KeychainStatus authFailed = -25293;
    inline constexpr KeychainStatus duplicateItem = -25299;
    inline constexpr KeychainStatus itemNotFound = -25300;
    inline constexpr KeychainStatus interactionNotAllowed = -25308;
    inline constexpr KeychainStatus decode = -26275;
}

/// A generic-password item.
struct KeychainItem {
    std::string account;
    std::string service;
    std::string label;
    std::string data; ///< the secret's bytes
    bool accessibleAlways { true };
    bool operator==(const KeychainItem&) const = default;
};

/// Which items a call addresses: every attribute given must match.
struct KeychainQuery {
    std::optional<std::string> account;
    std::optional<std::string> service;
    std::optional<std::string> label;

    [[nodiscard]] bool matches(const KeychainItem& item) const;
};

/// The credential store's five item calls. The credential logic above
/// (the wrapper with its −2000 and −1999 codes) is built on these alone.
class KeychainStore {
public:
    virtual ~KeychainStore() = default;

    /// Lookup asking for attributes: the first matching item's attributes
    /// (its data left empty), or itemNotFound.
    [[nodiscard]] virtual KeychainStatus copyAttributes(const KeychainQuery& query, KeychainItem* attributes) = 0;
    /// Lookup asking for data. A success may come without data (`data` left
    /// empty) when the store cannot read it.
    [[nodiscard]] virtual KeychainStatus copyData(const KeychainQuery& query, std::optional<std::string>* data) = 0;
    /// Replaces the data of every matching item; itemNotFound when none.
    [[nodiscard]] virtual KeychainStatus update(const KeychainQuery& query, const std::string& data) = 0;
    /// Adds an item; duplicateItem when one with its account and service exists.
    [[nodiscard]] virtual KeychainStatus add(const KeychainItem& item) = 0;
    /// Deletes every matching item; itemNotFound when none.
    [[nodiscard]] virtual KeychainStatus remove(const KeychainQuery& query) = 0;
};

/// The store the app uses: the desktop's Secret Service when one answers on
/// the session bus, otherwise a private file (mode 0600) at `fallbackFile`.
[[nodiscard]] std::unique_ptr<KeychainStore> makeDefaultKeychain(const std::string& fallbackFile);

}
