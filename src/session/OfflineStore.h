#pragma once

#include "net/ReplyCache.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hestio {

/// Whether the service can be reached, and the replies kept for the user
/// who signed in last, so the screens have something to show while it
/// cannot. Owned by the Session; main thread only.
class OfflineStore {
public:
    /// Posted (no sender) when the service turns unreachable or reachable.
    static constexpr const char* stateChanged = "OfflineStateChanged";

    /// True from an exchange that failed below HTTP until one is answered.
    [[nodiscard]] bool isOffline() const { return m_offline; }
    /// Records how an exchange ended; posts stateChanged (on the next turn of
    /// the run loop) when that changes whether the service is reachable.
    void exchangeEnded(bool reachedService);

    /// The cache of the user whose name is stored (the last one signed in);
    /// none without one, and none while withheld. Lives under the profile's
    /// cache folder.
    [[nodiscard]] std::shared_ptr<ReplyCache> cache();
    /// Deletes the stored user's cache folder (at logout, and when another
    /// user signs in after that user's credentials were refused).
    void deleteCache();
    /// The stored user's credentials were refused: their replies are not
    /// offered (nor kept) until a sign-in is accepted.
    void withholdCache() { m_withheld = true; }
    void releaseCache() { m_withheld = false; }

    /// Where the users' folders go; the profile's cache folder unless set
    /// (tests).
    void setCacheRoot(std::optional<std::filesystem::path> root) { m_root = std::move(root); }

private:
    bool m_offline { false };
    bool m_withheld { false };
    std::optional<std::filesystem::path> m_root;
    std::shared_ptr<ReplyCache> m_cache;
    std::string m_cacheUser;
};

}
