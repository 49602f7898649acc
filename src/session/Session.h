#pragma once

#include "model/Location.h"
#include "model/User.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/TimeZone.h"
#include "session/OfflineStore.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class AppShell;
class LeaveHomeChecker;
struct ServiceEnvironment;

/// The session: the signed-in user, the push token, the saved places and the
/// renewal of an expired token. The app delegate owns it and hands it to every
/// screen it makes; nothing reaches it through a global. Main thread only,
/// except where a member says otherwise.
class Session final : public WebServiceConnectorDelegate, public std::enable_shared_from_this<Session> {
public:
    /// The credential store's service name for the password and push token.
    static constexpr const char* keychainService = "kivora";

    [[nodiscard]] static std::shared_ptr<Session> create();
    Session() = default;

    /// The app around the session, for sign-in, the login screen and the
    /// screens of other features; none in tests that do without.
    void setShell(std::weak_ptr<AppShell> shell) { m_shell = std::move(shell); }
    [[nodiscard]] std::shared_ptr<AppShell> shell() const { return m_shell.lock(); }

    /// Makes the request objects read their token from this session and wait
    /// for its renewal. Requests from other threads than the calling one never
    /// wait (the background resend signs in by itself).
    void connectToRequests(ServiceEnvironment& environment);

    /// The push token (lowercase hexadecimal); guarded, as the background
    /// resend may read it.
    [[nodiscard]] std::optional<std::string> pushToken() const;
    void setPushToken(std::optional<std::string> token);

    /// The signed-in user; none when nobody is signed in. Guarded.
    [[nodiscard]] std::shared_ptr<User> curUser() const;
    void setCurUser(std::shared_ptr<User> user);
    /// The signed-in user's token; callable from the background resend too.
    [[nodiscard]] std::optional<std::string> currentToken() const;
    /// Whether the signed-in user's token has expired and a user name is
    /// stored to sign in again with.
    [[nodiscard]] bool sessionNeedsRenewal() const;
    /// Signs in again with the stored credentials without blocking, and calls
    /// `done` once that ended, whichever way. Requests made while the token
    /// has expired wait on it; one renewal serves all of them. The signed-in
    /// user stays when the service cannot be reached (the next request tries
    /// again); stored credentials the service refuses end the session
    /// (endSessionRefused), which brings the login screen.
    void renewSession(std::function<void()> done);

    /// The parameters of a sign-in: name, password and, when the credential
    /// store has one, the push token (which becomes the session's).
    [[nodiscard]] std::string signInParameters(const std::string& name, const std::string& pass);
    /// Makes the signed-in user from a sign-in reply.
    void createUser(const json::Value& reply);

    /// The household's zone from the signed-in user's "timeZoneArea"; the
    /// device's zone without a user or a known zone name.
    [[nodiscard]] platform::TimeZone householdTimeZone() const;

    /// The service refused the stored credentials: the session ends as at
    /// logout. Nobody is signed in, the saved places and the kept replies
    /// are no longer offered, and "UserLoggedOut" is posted, so the screens
    /// clear and whatever runs for the session (a leave-home notice, the
    /// watchers, the login screen) ends or starts as at logout. The stored
    /// user's kept replies stay on disk until another user signs in.
    void endSessionRefused();
    /// A sign-in of `username` was accepted; called before the name is
    /// stored. When another user's name is stored (their credentials were
    /// refused and the login screen followed), that user's kept replies and
    /// stored password are deleted, as at logout.
    void userSignsIn(const std::string& username);
    /// Whether the session ended by a refusal and nobody signed in since
    /// (what listens to "UserLoggedOut" has been told already).
    [[nodiscard]] bool endedByRefusal() const { return m_endedByRefusal; }

    /// The sign-in with the stored credentials (the login screen's in the
    /// background) went out, and ended whichever way.
    void signInStarted() { m_signInRunning = true; }
    void signInEnded();
    [[nodiscard]] bool signInRunning() const { return m_signInRunning; }
    /// Runs `done` once the running sign-in has ended (at once when none
    /// runs).
    void whenSignInEnds(std::function<void()> done);

    /// Asks the app to make sure a valid session exists (see AppShell).
    void loginSynchronous(bool synchronous);
    /// Asks the app to show the login screen.
    void showLogin();

    /// Whether the service can be reached, and the replies kept for when not.
    [[nodiscard]] OfflineStore& offline() { return m_offline; }

    /// The user's saved places as last loaded from the service.
    std::vector<std::shared_ptr<Location>> savedLocations;
    /// The saved-places download while it is in flight.
    std::shared_ptr<WebServiceConnector> locationsWsc;
    /// The check made when the household leaves home; made on first use.
    [[nodiscard]] std::shared_ptr<LeaveHomeChecker> leaveHomeChecker();

    // Request callbacks (the renewal)
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

private:
    void endRenewal();

    std::weak_ptr<AppShell> m_shell;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_pushToken;
    std::shared_ptr<User> m_curUser;
    std::shared_ptr<WebServiceConnector> m_renewal;
    std::vector<std::function<void()>> m_renewalWaiters;
    std::shared_ptr<LeaveHomeChecker> m_leaveHomeChecker;
    OfflineStore m_offline;
    bool m_signInRunning { false };
    bool m_endedByRefusal { false };
    std::vector<std::function<void()>> m_signInWaiters;
};

}
