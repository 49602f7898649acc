#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "json/Value.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hestio {

class Session;

/// One screen's list as kept between runs: at launch the screen shows the
/// reply kept from the last run at once, through the code that shows a live
/// reply, and each live reply it shows is kept for the next. Also knows how
/// old what the screen shows is, for the bar under the navigation bar.
class CachedList {
public:
    /// `key` names the list in the user's cache ("devices", "schedules", …).
    CachedList(std::shared_ptr<Session> session, std::string key);

    /// The reply kept from an earlier run, decoded; none when nothing (or
    /// nothing readable) is kept. From then on the screen shows it.
    [[nodiscard]] std::optional<json::Value> takeKept();
    /// The screen shows the live reply of `request` (during its finishing
    /// callback): kept for the next run, fetched now.
    void showsLive(const WebServiceConnector& request);
    /// Brings the kept reply in step with a change the service has accepted
    /// since it was fetched (an answered suggestion leaves the list), so
    /// that the next run does not show what is no longer so: `amend` gets
    /// the kept reply decoded and returns it changed, or none to leave it.
    /// It stays kept with the time it was fetched. Nothing happens when
    /// nothing (readable) is kept.
    void amendKept(const std::function<std::optional<json::Value>(const json::Value&)>& amend);
    /// The screen shows nothing any more (logout).
    void clear();
    /// For a refresh the user asked for: when the service could not be
    /// reached for the sign-in at launch, nobody is signed in; this signs in
    /// again with the stored credentials (or joins the sign-in on its way).
    /// True when the screen is to wait: it downloads on "UserLoggedIn", as a
    /// request sent now would go without a token, and `notSignedIn` runs if
    /// the sign-in ends without a user (the screen ends its loading state).
    /// False, doing nothing, when signed in, online or without a stored user.
    bool signInAgainIfOffline(std::function<void()> notSignedIn = {});

    /// Whether the screen shows a reply from an earlier run.
    [[nodiscard]] bool showsKept() const { return m_showsKept; }
    /// When what the screen shows was fetched; none when it shows nothing.
    [[nodiscard]] std::optional<platform::Date> shownFetchedAt() const { return m_shownAt; }
    [[nodiscard]] const std::string& key() const { return m_key; }
    /// Whether the service could not be reached at the last exchange.
    [[nodiscard]] bool offline() const;

    /// The text of the bar under the screen's navigation bar; none while it
    /// is hidden. See barTextFor.
    [[nodiscard]] std::optional<std::string> barText() const;
    /// "Updated 10:32 AM" while a reply from an earlier run shows and the
    /// downloads run, "Offline · updated 10:32 AM" while the service cannot
    /// be reached; none while nothing shows (`fetchedAt` none) or what shows
    /// is live and the service reachable. The time in the locale's short
    /// style in `zone`, with the date when that is not the day of `now`.
    [[nodiscard]] static std::optional<std::string> barTextFor(bool offline, bool fromEarlierRun,
        std::optional<platform::Date> fetchedAt, platform::Date now, const platform::TimeZone& zone);

private:
    std::shared_ptr<Session> m_session;
    std::string m_key;
    std::optional<platform::Date> m_shownAt;
    bool m_showsKept { false };
};

}
