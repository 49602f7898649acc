#pragma once

#include "app/User.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "presence/Location.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

namespace platform {
    class TabBarController;
    class Window;
}

class LocationManager;
class LoginViewController;

/// The application delegate and the one owner of the session: the signed-in
/// user, the push token, the saved locations and the region monitoring. Every
/// screen reaches the session through shared(). Main thread only, except
/// where a member says otherwise.
class HestioAppDelegate final : public platform::ApplicationDelegate,
                                public WebServiceConnectorDelegate,
                                public platform::AlertViewDelegate,
                                public std::enable_shared_from_this<HestioAppDelegate> {
public:
    /// The process's delegate, made on first use.
    static HestioAppDelegate& shared();
    static std::shared_ptr<HestioAppDelegate> sharedPointer();
    /// Forgets the process's delegate so the next shared() makes a new one
    /// (tests, and the host between runs).
    static void resetShared();

    // Platform entry points
    void didFinishLaunching(platform::Application&) override;
    /// Launch as the platform does it: `launchedForLocation` is true when the
    /// process was started for a region event.
    void applicationDidFinishLaunching(bool launchedForLocation);
    void didRegisterForRemoteNotifications(platform::Application&, const std::vector<std::uint8_t>& token) override;
    void didFailToRegisterForRemoteNotifications(platform::Application&, const std::string& error) override;
    void didReceiveRemoteNotification(platform::Application&, const std::string& payload) override;
    void didEnterBackground(platform::Application&) override;

    // Session operations
    /// Makes sure a valid session exists, signing in with the stored
    /// credentials when not.
    void loginSynchronous(bool synchronous);
    void showLogin();
    void getUsersSavedLocations();
    static std::string documentDirectoryPath();

    // Request callbacks
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;
    void dataSent(bool success, int tag) override;

    // The session
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::TabBarController> rootController;
    std::vector<std::shared_ptr<Location>> savedLocations;
    std::shared_ptr<LocationManager> locationManager;
    std::shared_ptr<LoginViewController> loginPage;
    std::shared_ptr<WebServiceConnector> locationsWsc;

    /// The push token (lowercase hexadecimal); guarded, as the background
    /// resend may read it.
    std::optional<std::string> pushToken() const;
    void setPushToken(std::optional<std::string> token);

    /// The signed-in user; none when nobody is signed in.
    std::shared_ptr<User> curUser() const;
    void setCurUser(std::shared_ptr<User> user);
    /// The signed-in user's token, for the request objects; callable from the
    /// background resend too.
    std::optional<std::string> currentToken() const;
    /// Whether the signed-in user's token has expired and a user name is
    /// stored to sign in again with.
    bool sessionNeedsRenewal() const;
    /// Signs in again with the stored credentials without blocking, and calls
    /// `done` once that ended, whichever way. Requests made while the token
    /// has expired wait on it; one renewal serves all of them. The signed-in
    /// user stays when the service cannot be reached (the next request tries
    /// again); stored credentials the service refuses bring the login screen.
    void renewSession(std::function<void()> done);

    /// The failed-movement resend, run on the background queue; exposed so a
    /// test can run it directly.
    static void resendFailedMovements();

    HestioAppDelegate() = default;

private:
    void registerForSessionNotifications();
    void buildTabs();

    void endRenewal();

    mutable std::mutex m_sessionMutex;
    std::shared_ptr<WebServiceConnector> m_renewal;
    std::vector<std::function<void()>> m_renewalWaiters;
    std::optional<std::string> m_pushToken;
    std::shared_ptr<User> m_curUser;
    bool m_observing { false };
};

}
