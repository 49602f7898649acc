#include "graphs/GraphWeekKeeper.h"

#include "platform/foundation/Log.h"
#include "session/CachedList.h"
#include "session/OfflineStore.h"
#include "json/Serializer.h"

#include <cstdio>
#include <utility>

namespace hestio {

using platform::Date;

namespace {

    constexpr const char* fromKey = "from";
    constexpr const char* toKey = "to";
    constexpr const char* replyKey = "week";

    std::string millisecondsText(double seconds)
    {
        char text[40];
        std::snprintf(text, sizeof text, "%.0f", seconds * 1000.0);
        return text;
    }

}

std::optional<std::string> GraphWeekKeeper::keyFor(const std::string& graphName, unsigned week)
{
    if (graphName.empty())
        return std::nullopt;
    // The cache writes the key as a safe file name (a device's id may hold
    // any bytes).
    return "graph-" + graphName + "-week-" + std::to_string(week);
}

void GraphWeekKeeper::open(std::shared_ptr<Session> session, std::string graphName)
{
    m_session = std::move(session);
    m_graphName = std::move(graphName);
    auto cache = m_session ? m_session->offline().cache() : nullptr;
    m_folder = cache ? std::optional(cache->folder()) : std::nullopt;
    clear();
}

std::optional<GraphWeekKeeper::KeptWeek> GraphWeekKeeper::load(unsigned week) const
{
    std::optional<std::string> key = keyFor(m_graphName, week);
    if (!key)
        return std::nullopt;
    CachedList kept(m_session, *key);
    std::optional<json::Value> stored = kept.takeKept();
    if (!stored || !kept.shownFetchedAt())
        return std::nullopt;
    const json::Value& from = (*stored)[fromKey];
    const json::Value& to = (*stored)[toKey];
    const json::Value& reply = (*stored)[replyKey];
    if (!from.isNumber() || !to.isNumber() || !reply.isDictionary() || !(from.doubleValue() < to.doubleValue())) {
        hestio::log("Ignoring the kept week " + *key + ": it does not say which days it holds");
        return std::nullopt;
    }
    return KeptWeek { reply, *kept.shownFetchedAt(), { from.doubleValue() / 1000, to.doubleValue() / 1000 } };
}

void GraphWeekKeeper::keep(unsigned week, TimeSpan span, const json::Value& reply, Date now, std::string text)
{
    if (week == 0)
        m_liveAt = now;
    std::optional<std::string> key = keyFor(m_graphName, week);
    auto cache = key && m_session ? m_session->offline().cache() : nullptr;
    if (!cache || cache->folder() != m_folder)
        return; // signed out, or another user signed in meanwhile
    // The reply's text (or, without it, the decoded reply written out) is
    // wrapped in place and handed to the cache, which puts its header in
    // front of it: a week of minute samples is most of a megabyte, of which
    // no second copy is made.
    std::optional<std::string> body = text.empty() ? json::JSONData(reply) : std::optional(std::move(text));
    if (!body)
        return;
    std::string before = std::string(R"({"success":true,")") + fromKey + "\":" + millisecondsText(span.start) + ",\""
        + toKey + "\":" + millisecondsText(span.end) + ",\"" + replyKey + "\":";
    body->insert(0, before);
    body->push_back('}');
    if (platform::Status stored = cache->storeOwned(*key, std::move(*body), now); !stored)
        hestio::log("Could not keep the reply of " + *key + ": " + stored.error().message());
}

void GraphWeekKeeper::showsKept(unsigned week, const KeptWeek& kept)
{
    m_shown[week] = { kept.fetchedAt, kept.span };
}

void GraphWeekKeeper::showsLive(unsigned week)
{
    m_shown.erase(week);
}

std::optional<TimeSpan> GraphWeekKeeper::keptSpan(unsigned week) const
{
    auto shown = m_shown.find(week);
    return shown == m_shown.end() ? std::nullopt : std::optional(shown->second.span);
}

std::optional<std::string> GraphWeekKeeper::barText(Date now, const platform::TimeZone& zone) const
{
    if (!m_session)
        return std::nullopt;
    std::optional<Date> shownAt = m_liveAt;
    for (const auto& [week, shown] : m_shown)
        shownAt = shownAt ? std::min(*shownAt, shown.fetchedAt) : shown.fetchedAt;
    return CachedList::barTextFor(m_session->offline().isOffline(), !m_shown.empty(), shownAt, now, zone);
}

void GraphWeekKeeper::clear()
{
    m_shown.clear();
    m_liveAt.reset();
}

}
