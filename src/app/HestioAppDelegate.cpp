#include "app/HestioAppDelegate.h"

#include "account/AccountTableViewController.h"
#include "app/LoginViewController.h"
#include "devices/AdviceTableViewController.h"
#include "devices/CustomUINavigationBar.h"
#include "devices/HomeTabViewController.h"
#include "devices/LogTabViewController.h"
#include "devices/StatusTableViewController.h"
#include "graphs/GraphScreens.h"
#include "graphs/GraphViewController.h"
#include "net/Endpoints.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceChoice.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/Redaction.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "presence/FailedMovementFile.h"
#include "presence/LocationManager.h"
#include "presence/MovementsViewController.h"
#include "schedule/ScheduleTableViewController.h"
#include "widgets/QNInfoPanel.h"
#include "json/Decoder.h"

#include <atomic>
#include <thread>

namespace hestio {

using namespace platform;

namespace {

    std::shared_ptr<HestioAppDelegate> g_shared;

    std::string hexOf(const std::vector<std::uint8_t>& bytes)
    {
        // The platform's text of the token is "<" + groups of eight lowercase
        // hex digits + ">"; with the brackets and blanks removed what is left is
        // two digits per byte.
        static constexpr char digits[] = "0123456789abcdef";
        std::string text;
        for (std::uint8_t byte : bytes) {
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
        return text;
    }

}

HestioAppDelegate& HestioAppDelegate::shared()
{
    return *sharedPointer();
}

std::shared_ptr<HestioAppDelegate> HestioAppDelegate::sharedPointer()
{
    if (!g_shared) {
        g_shared = std::make_shared<HestioAppDelegate>();
        g_shared->m_session->setShell(g_shared);
    }
    return g_shared;
}

void HestioAppDelegate::resetShared()
{
    if (g_shared)
        NotificationCenter::defaultCenter().removeObserver(g_shared.get());
    g_shared.reset();
}

HestioAppDelegate::HestioAppDelegate()
    : m_session(Session::create())
{
}

std::optional<std::string> HestioAppDelegate::pushToken() const
{
    return m_session->pushToken();
}
void HestioAppDelegate::setPushToken(std::optional<std::string> token)
{
    m_session->setPushToken(std::move(token));
}
std::shared_ptr<User> HestioAppDelegate::curUser() const
{
    return m_session->curUser();
}
void HestioAppDelegate::setCurUser(std::shared_ptr<User> user)
{
    m_session->setCurUser(std::move(user));
}
std::optional<std::string> HestioAppDelegate::currentToken() const
{
    return m_session->currentToken();
}
bool HestioAppDelegate::sessionNeedsRenewal() const
{
    return m_session->sessionNeedsRenewal();
}
void HestioAppDelegate::renewSession(std::function<void()> done)
{
    m_session->renewSession(std::move(done));
}

std::string HestioAppDelegate::documentDirectoryPath()
{
    return Profile::current().documentsDirectory().string();
}

void HestioAppDelegate::didFinishLaunching(Application&)
{
    applicationDidFinishLaunching(false);
}

void HestioAppDelegate::applicationDidFinishLaunching(bool launchedForLocation)
{
    // The service host's certificate is trusted through its pinned key, set
    // on the transport by whoever made it; here the requests learn where the
    // session token and the info panel come from.
    ServiceEnvironment& environment = ServiceEnvironment::shared();
    std::weak_ptr<HestioAppDelegate> weak = weak_from_this();
    m_session->setShell(weak);
    m_session->connectToRequests(environment);
    environment.showInfoPanel
        = [weak](int type, const std::string& title, const std::string& subtitle, double hideAfter) {
              auto self = weak.lock();
              if (self && self->window)
                  QNInfoPanel::showPanelInWindow(*self->window, type, title, subtitle, hideAfter);
          };
    environment.certificateChanged = [weak] {
        if (auto self = weak.lock())
            self->serviceCertificateChanged();
    };
    environment.setNetworkActivityIndicatorVisible
        = [](bool visible) { Application::shared().setNetworkActivityIndicatorVisible(visible); };

    registerForSessionNotifications();
    if (!locationManager) {
        std::string regionFile = (Profile::current().dataDirectory() / "regions").string();
        locationManager = LocationManager::create(m_session, regionFile);
        launchedForLocation = launchedForLocation || locationManager->locationManager().hasPendingLaunchEvent();
    }
    buildTabs();
    if (!window)
        window = Window::create();
    window->setRootViewController(rootController);
    window->makeKeyAndVisible();
    Application::shared().registerForRemoteNotificationTypes(
        RemoteNotificationBadge | RemoteNotificationSound | RemoteNotificationAlert);
    // The places of the last run are there at once for the account screen.
    if (m_session->savedLocations.empty()) {
        if (auto kept = m_keptPlaces.takeKept())
            m_session->savedLocations = LocationManager::savedLocationsFromReply(*kept);
    }
    if (!launchedForLocation)
        loginSynchronous(false);
}

void HestioAppDelegate::registerForSessionNotifications()
{
    if (m_observing)
        return;
    m_observing = true;
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<HestioAppDelegate> weak = weak_from_this();
    center.addObserver(this, "UserLoggedIn", [weak](const Notification&) {
        if (auto self = weak.lock()) {
            self->getUsersSavedLocations();
            self->m_fontPreparer.prepare(GraphViewController::fontsDrawn(), Application::shared().screenScale());
        }
    });
    // The session ended (a logout, or stored credentials the service
    // refused): the places of that user are no longer watched.
    center.addObserver(this, "UserLoggedOut", [weak](const Notification&) {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->locationManager)
            self->locationManager->removeAllLocations();
        self->showLogin();
    });
    center.addObserver(this, "LoginFailed", [weak](const Notification&) {
        if (auto self = weak.lock())
            self->showLogin();
    });
}

void HestioAppDelegate::buildTabs()
{
    struct Tab {
        std::shared_ptr<ViewController> screen;
        const char* title;
        const char* image;
    };
    const Tab tabs[] = {
        { AdviceTableViewController::create(m_session), "Suggestions", "adviceTabIcon" },
        { HomeTabViewController::create(m_session), "Home", "homeTabIcon" },
        { StatusTableViewController::create(m_session), "Devices", "statusTabIcon" },
        { ScheduleTableViewController::create(m_session), "Schedule", "alarm-clock-tab-icon.png" },
        { LogTabViewController::create(m_session), "Log", "logTabIcon" },
    };
    std::vector<std::shared_ptr<ViewController>> controllers;
    for (const Tab& tab : tabs) {
        tab.screen->setTitle(tab.title);
        tab.screen->tabBarItem().setImageNamed(tab.image);
        auto navigation = NavigationController::create(tab.screen, CustomUINavigationBar::create());
        navigation->tabBarItem().setTitle(tab.title);
        navigation->tabBarItem().setImageNamed(tab.image);
        controllers.push_back(navigation);
    }
    rootController = TabBarController::create();
    rootController->setViewControllers(std::move(controllers));
}

std::shared_ptr<ViewController> HestioAppDelegate::makeAccountScreen()
{
    return AccountTableViewController::create(m_session, locationManager);
}

std::shared_ptr<ViewController> HestioAppDelegate::makeMovementsScreen()
{
    return MovementsViewController::create();
}

std::shared_ptr<ViewController> HestioAppDelegate::makeDevicePowerDrawGraph(std::shared_ptr<Device> device)
{
    return hestio::makeDevicePowerDrawGraph(m_session, std::move(device));
}

std::shared_ptr<ViewController> HestioAppDelegate::makeDeviceEnergyGraph(std::shared_ptr<Device> device)
{
    return hestio::makeDeviceEnergyGraph(m_session, std::move(device));
}

std::shared_ptr<ViewController> HestioAppDelegate::makeHomeEnergyGraph()
{
    return hestio::makeHomeEnergyGraph(m_session);
}

std::shared_ptr<ViewController> HestioAppDelegate::makeHomeBatteryGraph()
{
    return hestio::makeHomeBatteryGraph(m_session);
}

void HestioAppDelegate::selectFirstTab()
{
    if (rootController)
        rootController->setSelectedIndex(0);
}

void HestioAppDelegate::didRegisterForRemoteNotifications(Application&, const std::vector<std::uint8_t>& token)
{
    std::string text = hexOf(token);
    setPushToken(text);
    std::optional<KeychainError> error;
    KeychainWrapper::storeKey("pushtoken", text, Session::keychainService, true, &error);
    if (error)
        hestio::log("Problem storing push token in keychain");
}

void HestioAppDelegate::didFailToRegisterForRemoteNotifications(Application&, const std::string& error)
{
    hestio::log("Failed to get push token: Error: " + error);
}

void HestioAppDelegate::didReceiveRemoteNotification(Application& application, const std::string& payload)
{
    json::Error error;
    json::Value decoded = json::objectFromJSONDataWithParseOptions(payload, json::ParseOptionStrict, &error);
    std::string alert(decoded["aps"]["alert"].stringValue());
    if (application.applicationState() != ApplicationState::Active) {
        // Out of sight the desktop shows the message instead of an alert.
        if (!alert.empty())
            application.presentDesktopNotice({ "Message from server", alert, "OK" });
        return;
    }
    hestio::log("user info: " + redactSecrets(payload));
    AlertView::create("Message from server", alert, this, "OK")->show();
}

namespace {
    /// Told apart from other requests in the callbacks.
    struct SavedLocationsDownload { };
}

void HestioAppDelegate::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (!request.context<SavedLocationsDownload>()) {
        WebServiceConnectorDelegate::requestFinished(request, success, data);
        return;
    }
    // Only the newest download speaks for the session: an older one may
    // belong to an earlier sign-in, or answer after the newer one did.
    if (&request == m_session->locationsWsc.get()) {
        m_session->locationsWsc.reset();
        if (success)
            m_keptPlaces.showsLive(request);
        dataReceived(success, data, request.tag());
    }
}

void HestioAppDelegate::requestFailed(WebServiceConnector& request, const platform::TransportError& error)
{
    if (!request.context<SavedLocationsDownload>()) {
        WebServiceConnectorDelegate::requestFailed(request, error);
        return;
    }
    if (&request == m_session->locationsWsc.get())
        m_session->locationsWsc.reset(); // the list stays as it was
}

void HestioAppDelegate::loginSynchronous(bool synchronous)
{
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (auto user = curUser(); user && user->hasToken() && !(user->tokenExpiration < now * 1000))
        return;

    std::optional<std::string> username = UserDefaults::standard().stringForKey("username");
    if (username) {
        std::optional<KeychainError> ignored;
        std::optional<std::string> password
            = KeychainWrapper::getValueForKey(*username, Session::keychainService, &ignored);
        if (!loginPage)
            loginPage = LoginViewController::create(m_session);
        loginPage->backgroundLoginForUsername(*username, password.value_or(""), synchronous);
        return;
    }
    if (Application::shared().applicationState() == ApplicationState::Background) {
        Application::shared().presentLocalNotificationNow(
            { "Your login credentials aren't stored in the keychain. Please login", "OK" });
        return;
    }
    std::weak_ptr<HestioAppDelegate> weak = weak_from_this();
    RunLoop::current().postDelayed(0.1, [weak] {
        if (auto self = weak.lock())
            self->showLogin();
    });
}

void HestioAppDelegate::showLogin()
{
    // A fresh login screen replaces the one shown (after a failed sign-in it
    // is still up); stacking a second one on top would leave the old one
    // behind it for ever.
    if (rootController && rootController->modalViewController())
        rootController->dismissModalViewControllerAnimated(false);
    loginPage = LoginViewController::create(m_session);
    if (rootController)
        rootController->presentModalViewController(loginPage, false);
}

void HestioAppDelegate::serviceCertificateChanged()
{
    // Several requests fail at once (a refresh of every tab): one alert.
    for (const auto& alert : Application::shared().visibleAlerts()) {
        if (alert->title() == kCertificateChangedTitle)
            return;
    }
    // Nothing reaches the service until it is chosen again, which the login
    // screen offers; one already up (perhaps with the choice open) stays.
    bool loginShown = rootController && dynamic_cast<LoginViewController*>(rootController->modalViewController());
    if (!loginShown)
        showLogin();
    AlertView::create(kCertificateChangedTitle, kCertificateChangedMessage, nullptr, "OK")->show();
}

void HestioAppDelegate::getUsersSavedLocations()
{
    auto& download = m_session->locationsWsc;
    download = WebServiceConnector::create(endpoints::kLocationList.path, std::nullopt, false);
    download->setTag(3);
    download->setContext(SavedLocationsDownload {});
    download->setDelegate(weak_from_this());
    download->startConnectionForDownload(true);
}

void HestioAppDelegate::dataReceived(bool success, const json::Value& data, int)
{
    if (!success)
        return;
    m_session->savedLocations = LocationManager::savedLocationsFromReply(data);
    locationManager->watchSavedLocations(m_session->savedLocations);
}

void HestioAppDelegate::dataSent(bool success, int)
{
    if (!success)
        hestio::log("Failed to save movement change to server");
}

void HestioAppDelegate::didEnterBackground(Application& application)
{
    auto user = curUser();
    if (!user || !user->hasToken())
        return;
    auto task = std::make_shared<std::atomic<BackgroundTaskIdentifier>>(BackgroundTaskInvalid);
    Application* app = &application;
    std::shared_ptr<RunLoopLink> mainLoop = RunLoop::current().link();
    *task = application.beginBackgroundTask(
        [app, task] { app->endBackgroundTask(task->exchange(BackgroundTaskInvalid)); });
    DispatchQueue::global().async([app, task, mainLoop] {
        resendFailedMovements();
        // Ending the task touches the application object: do it on its
        // thread, unless the loop (and the application with it) is gone.
        (void)mainLoop->post([app, task] {
            if (BackgroundTaskIdentifier id = task->exchange(BackgroundTaskInvalid); id != BackgroundTaskInvalid)
                app->endBackgroundTask(id);
        });
    });
}

void HestioAppDelegate::resendFailedMovements()
{
    // One resend at a time: two would send the same first entry twice.
    static std::atomic<bool> running { false };
    if (running.exchange(true))
        return;
    struct Done {
        ~Done() { running = false; }
    } done;

    // Each entry stays in the file while it is on its way and leaves it only
    // once the service has answered for it, so a process killed meanwhile
    // loses nothing (at worst the entry goes once more next time). A failed
    // entry moves to the end, behind the ones still waiting, and the loop
    // stops.
    while (std::optional<std::string> entry = FailedMovementFile::firstFailedLocation()) {
        auto wsc = WebServiceConnector::create(endpoints::kMovementResend.path, *entry, true);
        json::Value reply = wsc->startSynchronousConnection();
        if (reply.isNone() || !reply["error"].isNone()) {
            FailedMovementFile::moveFirstFailedLocationToEnd(*entry);
            return;
        }
        if (!FailedMovementFile::removeFirstFailedLocation(*entry))
            return; // the file cannot be changed: stop rather than send it again and again
    }
}

}
