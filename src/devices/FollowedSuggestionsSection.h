#pragma once

#include "devices/FollowedSuggestionCell.h"
#include "model/FollowedSuggestion.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/TimeZone.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class Session;

/// The "Followed" section of the Suggestions tab: the suggestions the
/// signed-in user followed (kept in the profile), each with what its device
/// used on the whole days since against the seven days before. Owns its rows
/// and their energy requests; the screen shows the rows as its last section.
/// Main thread only.
class FollowedSuggestionsSection final : public WebServiceConnectorDelegate,
                                         public std::enable_shared_from_this<FollowedSuggestionsSection> {
public:
    /// The section's header.
    static constexpr const char* title = "Followed";
    /// The figure while the energy is on its way.
    static constexpr const char* loadingText = "Loading energy use\u2026";

    struct Row {
        enum class State { Loading, Shown, Failed };
        FollowedSuggestion followed;
        State state { State::Loading };
        std::string figure;
        std::string note;
        FollowedSuggestionCell::Tone tone { FollowedSuggestionCell::Tone::Plain };
        /// The energy request of this row while it runs.
        std::shared_ptr<WebServiceConnector> request;
    };

    [[nodiscard]] static std::shared_ptr<FollowedSuggestionsSection> create(std::shared_ptr<Session> session);
    explicit FollowedSuggestionsSection(std::shared_ptr<Session> session);
    ~FollowedSuggestionsSection() override;

    /// Newest first.
    [[nodiscard]] const std::vector<Row>& rows() const { return m_rows; }
    /// Called after the rows or a row's figure changed.
    std::function<void()> onChange;

    /// Reads the signed-in user's followed suggestions again and asks for
    /// each one's energy afresh. Replies to earlier requests are dropped.
    void reload();
    /// Reloads when the signed-in user is not the one whose rows are shown.
    void reloadIfUserChanged();
    /// Empties the section (the user signed out); running requests stop.
    void clear();
    /// Keeps a follow the service accepted for `username`, and shows it when
    /// that user's rows are on show.
    void recordFollow(const std::string& username, FollowedSuggestion followed);

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

private:
    /// What an energy request carries to its reply.
    struct EnergyRequest {
        std::int32_t suggestionID;
        platform::Date followedAt;
        /// The moment and zone the request's days were worked out in: its
        /// reply is counted over the same days, whenever it comes.
        platform::Date askedAt;
        platform::TimeZone zone;
    };

    void cancelRequests();
    void startFigure(Row& row);
    Row* rowOf(WebServiceConnector& request);
    void changed();
    [[nodiscard]] std::optional<std::string> signedInUsername() const;

    std::shared_ptr<Session> m_session;
    /// Whose rows are shown; none before the first load and after a sign-out.
    std::optional<std::string> m_username;
    std::vector<Row> m_rows;
};

}
