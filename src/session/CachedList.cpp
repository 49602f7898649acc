#include "session/CachedList.h"

#include "platform/foundation/Calendar.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "session/Session.h"
#include "json/Decoder.h"
#include "json/Serializer.h"

namespace hestio {

CachedList::CachedList(std::shared_ptr<Session> session, std::string key)
    : m_session(std::move(session))
    , m_key(std::move(key))
{
}

std::optional<json::Value> CachedList::takeKept()
{
    auto cache = m_session ? m_session->offline().cache() : nullptr;
    if (!cache)
        return std::nullopt;
    platform::Result<CachedReply> kept = cache->load(m_key);
    if (!kept)
        return std::nullopt;
    json::Error error;
    json::Value reply = json::objectFromJSONDataWithParseOptions(kept->body, json::ParseOptionStrict, &error);
    // Only answers that said "success" are kept; anything else did not come
    // from here.
    if (!WebServiceConnector::successOf(reply)) {
        hestio::log("Ignoring the kept reply of " + m_key + ": it does not read as an answer");
        return std::nullopt;
    }
    m_shownAt = kept->fetchedAt;
    m_showsKept = true;
    return reply;
}

void CachedList::showsLive(const WebServiceConnector& request)
{
    platform::Date now = platform::RunLoop::current().clock().now();
    m_shownAt = now;
    m_showsKept = false;
    auto cache = m_session ? m_session->offline().cache() : nullptr;
    if (!cache)
        return;
    if (platform::Status stored = cache->store(m_key, request.replyBody(), now); !stored)
        hestio::log("Could not keep the reply of " + m_key + ": " + stored.error().message());
}

void CachedList::amendKept(const std::function<std::optional<json::Value>(const json::Value&)>& amend)
{
    auto cache = m_session ? m_session->offline().cache() : nullptr;
    if (!cache)
        return;
    platform::Result<CachedReply> kept = cache->load(m_key);
    if (!kept)
        return;
    json::Error error;
    json::Value reply = json::objectFromJSONDataWithParseOptions(kept->body, json::ParseOptionStrict, &error);
    if (!WebServiceConnector::successOf(reply))
        return;
    std::optional<json::Value> amended = amend(reply);
    std::optional<std::string> body = amended ? json::JSONData(*amended) : std::nullopt;
    if (!body)
        return;
    if (platform::Status stored = cache->store(m_key, *body, kept->fetchedAt); !stored)
        hestio::log("Could not keep the reply of " + m_key + ": " + stored.error().message());
}

bool CachedList::signInAgainIfOffline(std::function<void()> notSignedIn)
{
    if (!m_session || !m_session->offline().isOffline() || m_session->currentToken())
        return false;
    if (!platform::UserDefaults::standard().stringForKey("username"))
        return false;
    if (!m_session->signInRunning())
        m_session->loginSynchronous(false);
    if (!m_session->signInRunning())
        return false; // nothing went out (no app around it): as before
    std::weak_ptr<Session> weak = m_session;
    m_session->whenSignInEnds([weak, notSignedIn = std::move(notSignedIn)] {
        auto session = weak.lock();
        if (session && !session->currentToken() && notSignedIn)
            notSignedIn();
    });
    return true;
}

void CachedList::clear()
{
    m_shownAt.reset();
    m_showsKept = false;
}

bool CachedList::offline() const
{
    return m_session && m_session->offline().isOffline();
}

std::optional<std::string> CachedList::barText() const
{
    if (!m_session)
        return std::nullopt;
    return barTextFor(m_session->offline().isOffline(), m_showsKept, m_shownAt,
        platform::RunLoop::current().clock().now(), m_session->householdTimeZone());
}

std::optional<std::string> CachedList::barTextFor(bool offline, bool fromEarlierRun,
    std::optional<platform::Date> fetchedAt, platform::Date now, const platform::TimeZone& zone)
{
    if (!fetchedAt || !(offline || fromEarlierRun))
        return std::nullopt;
    platform::DateFormatter formatter;
    formatter.setTimeZone(zone);
    formatter.setTimeStyle(platform::DateFormatter::Style::Short);
    platform::Calendar calendar(zone);
    if (calendar.startOfDay(*fetchedAt) != calendar.startOfDay(now))
        formatter.setDateStyle(platform::DateFormatter::Style::Short);
    std::string time = formatter.stringFromDate(*fetchedAt);
    return offline ? "Offline · updated " + time : "Updated " + time;
}

}
