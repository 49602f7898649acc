#pragma once

#include "net/WebServiceConnector.h"
#include "platform/gfx/FontPreparer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "session/AppShell.h"
#include "session/CachedList.h"
#include "session/Session.h"

#include <functional>
#include <memory>
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

/// The application delegate: builds the tabs and the window at launch, keeps
/// the push token and the region monitoring, signs in with the stored
/// credentials, shows the login screen, and in the background re-sends the
/// movement postings that failed. It owns the session and hands it to every
/// screen it makes; it is also the AppShell through which one feature opens
/// another's screens. Main thread only, except where a member says otherwise.
class HestioAppDelegate final : public platform::ApplicationDelegate,
                                public WebServiceConnectorDelegate,
                                public platform::AlertViewDelegate,
                                public AppShell,
                                public std::enable_shared_from_this<HestioAppDelegate> {
public:
    /// The process's delegate, made on first use. Only app/ calls it; every
    /// screen receives the session instead.
    static HestioAppDelegate& shared();
    static std::shared_ptr<HestioAppDelegate> sharedPointer();
    /// Forgets the process's delegate so the next shared() makes a new one
    /// (tests, and the host between runs).
    static void resetShared();

    HestioAppDelegate();

    // Platform entry points
    void didFinishLaunching(platform::Application&) override;
    /// Launch as the platform does it: `launchedForLocation` is true when the
    /// process was started for a region event.
    void applicationDidFinishLaunching(bool launchedForLocation);
    void didRegisterForRemoteNotifications(platform::Application&, const std::vector<std::uint8_t>& token) override;
    void didFailToRegisterForRemoteNotifications(platform::Application&, const std::string& error) override;
    void didReceiveRemoteNotification(platform::Application&, const std::string& payload) override;
    void didEnterBackground(platform::Application&) override;

    // The app shell
    std::shared_ptr<platform::ViewController> makeAccountScreen() override;
    std::shared_ptr<platform::ViewController> makeMovementsScreen() override;
    std::shared_ptr<platform::ViewController> makeDevicePowerDrawGraph(std::shared_ptr<Device> device) override;
    std::shared_ptr<platform::ViewController> makeDeviceEnergyGraph(std::shared_ptr<Device> device) override;
    std::shared_ptr<platform::ViewController> makeHomeEnergyGraph() override;
    std::shared_ptr<platform::ViewController> makeHomeBatteryGraph() override;
    void selectFirstTab() override;
    /// Makes sure a valid session exists, signing in with the stored
    /// credentials when not.
    void loginSynchronous(bool synchronous) override;
    void showLogin() override;
    /// The service showed another certificate than its pin: an alert says
    /// so over the login screen, where the service can be chosen again.
    void serviceCertificateChanged();

    void getUsersSavedLocations();
    [[nodiscard]] static std::string documentDirectoryPath();

    // Request callbacks
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;
    void dataSent(bool success, int tag) override;

    /// The session every screen receives.
    [[nodiscard]] const std::shared_ptr<Session>& session() const { return m_session; }

    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::TabBarController> rootController;
    std::shared_ptr<LocationManager> locationManager;
    std::shared_ptr<LoginViewController> loginPage;

    // The session's parts under the names the rest of the app knows them by.
    [[nodiscard]] std::optional<std::string> pushToken() const;
    void setPushToken(std::optional<std::string> token);
    [[nodiscard]] std::shared_ptr<User> curUser() const;
    void setCurUser(std::shared_ptr<User> user);
    [[nodiscard]] std::optional<std::string> currentToken() const;
    [[nodiscard]] bool sessionNeedsRenewal() const;
    void renewSession(std::function<void()> done);
    std::vector<std::shared_ptr<Location>>& savedLocations() { return m_session->savedLocations; }

    /// The failed-movement resend, run on the background queue; exposed so a
    /// test can run it directly.
    static void resendFailedMovements();

private:
    void registerForSessionNotifications();
    void buildTabs();

    std::shared_ptr<Session> m_session;
    /// The saved places as kept between runs.
    CachedList m_keptPlaces { m_session, "places" };
    bool m_observing { false };
    /// The graphs' fonts, made ready once signed in, before a graph is opened.
    platform::FontPreparer m_fontPreparer;
};

}
