#include "session/OfflineStore.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"

namespace hestio {

using namespace platform;

void OfflineStore::exchangeEnded(bool reachedService)
{
    if (m_offline == !reachedService)
        return;
    m_offline = !reachedService;
    // Told on the next turn: the exchange that changed it is still being
    // answered, and its screen shows the answer first (a screen that fetched
    // again on coming back online would otherwise fetch twice).
    auto tell = [] { NotificationCenter::defaultCenter().post(stateChanged); };
    if (auto* loop = RunLoop::currentIfAny())
        loop->post(tell);
    else
        tell();
}

std::shared_ptr<ReplyCache> OfflineStore::cache()
{
    std::optional<std::string> user = UserDefaults::standard().stringForKey("username");
    if (!user || m_withheld) {
        m_cache.reset();
        return nullptr;
    }
    if (!m_cache || m_cacheUser != *user) {
        m_cacheUser = *user;
        m_cache = std::make_shared<ReplyCache>(m_root.value_or(Profile::current().cacheDirectory()), *user);
    }
    return m_cache;
}

void OfflineStore::deleteCache()
{
    std::optional<std::string> user = UserDefaults::standard().stringForKey("username");
    m_cache.reset();
    if (!user)
        return;
    // Waits for nothing: the user's replies still queued are dropped, and
    // the folder goes after what the disk writer is writing now.
    ReplyCache kept(m_root.value_or(Profile::current().cacheDirectory()), *user);
    kept.removeAll([](const Status& removed) {
        if (!removed)
            hestio::log("Could not delete the kept replies: " + removed.error().message());
    });
}

}
