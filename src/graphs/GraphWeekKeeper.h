#pragma once

#include "graphs/DataGaps.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "session/Session.h"
#include "json/Value.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// The weeks of one graph screen as kept in the user's cache between runs,
/// and which of the weeks on screen come from there. Each week is kept
/// under the graph's name and how many weeks back from the opening it lies
/// ("graph-power-42-week-0"), not under its dates, which move with each
/// opening: the week kept yesterday serves today's screen while the service
/// cannot be reached. It is kept with the stretch it was asked for, around
/// the service's reply: {"success":true,"from":ms,"to":ms,"week":{…}}.
class GraphWeekKeeper {
public:
    /// A week read back from the cache.
    struct KeptWeek {
        json::Value reply;
        platform::Date fetchedAt;
        /// The stretch it was asked for, in seconds since 1970.
        TimeSpan span;
    };

    /// The key of `week` of the graph named `graphName` ("power-42"); none
    /// for a graph that keeps nothing (an empty name).
    [[nodiscard]] static std::optional<std::string> keyFor(const std::string& graphName, unsigned week);

    /// At each opening of the screen: forgets what was shown, and remembers
    /// whose cache it opened with, so that a reply that comes after another
    /// user signed in is not kept in that user's cache.
    void open(std::shared_ptr<Session> session, std::string graphName);

    /// The kept `week`, read and checked as the lists' kept replies are;
    /// none when nothing (or nothing whole) is kept.
    [[nodiscard]] std::optional<KeptWeek> load(unsigned week) const;
    /// Keeps the live reply of `week`, asked for over `span`, which the
    /// screen shows now (the time of week 0 is the screen's live time):
    /// `text`, the reply as it came, or when that is empty the decoded
    /// `reply` written out.
    void keep(unsigned week, TimeSpan span, const json::Value& reply, platform::Date now, std::string text = {});

    /// The screen shows `kept` as `week`.
    void showsKept(unsigned week, const KeptWeek& kept);
    /// The screen shows `week` live (its kept copy gave way).
    void showsLive(unsigned week);
    [[nodiscard]] bool isShownKept(unsigned week) const { return m_shown.count(week) > 0; }
    /// The stretch the kept copy shown as `week` was asked for.
    [[nodiscard]] std::optional<TimeSpan> keptSpan(unsigned week) const;

    /// The offline bar's text: how old the oldest week shown is while one
    /// shows from the cache or the service cannot be reached; none while
    /// everything shows live from a reachable service.
    [[nodiscard]] std::optional<std::string> barText(platform::Date now, const platform::TimeZone& zone) const;
    /// Forgets what the screen shows (its view was let go of).
    void clear();

private:
    struct Shown {
        platform::Date fetchedAt;
        TimeSpan span;
    };

    std::shared_ptr<Session> m_session;
    std::string m_graphName;
    /// The user's cache folder when the screen opened.
    std::optional<std::filesystem::path> m_folder;
    std::map<unsigned, Shown> m_shown;
    /// When the live current week came; none before.
    std::optional<platform::Date> m_liveAt;
};

}
