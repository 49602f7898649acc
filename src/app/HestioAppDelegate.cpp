#include "app/HestioAppDelegate.h"

#include "app/LoginViewController.h"
#include "app/TabFactories.h"
#include "devices/CustomUINavigationBar.h"
#include "net/Endpoints.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "presence/FailedMovementFile.h"
#include "presence/LocationManager.h"
#include "widgets/QNInfoPanel.h"
#include "json/Decoder.h"

#include <atomic>
#include <thread>

namespace hestio {

using namespace platform;

namespace {

    constexpr const char* keychainService = "kivora";
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
    if (!g_shared)
        g_shared = std::make_shared<HestioAppDelegate>();
    return g_shared;
}

void HestioAppDelegate::resetShared()
{
    if (g_shared)
        NotificationCenter::defaultCenter().removeObserver(g_shared.get());
    g_shared.reset();
}

std::optional<std::string> HestioAppDelegate::pushToken() const
{
    std::lock_guard lock(m_sessionMutex);
    return m_pushToken;
}

void HestioAppDelegate::setPushToken(std::optional<std::string> token)
{
    std::lock_guard lock(m_sessionMutex);
    m_pushToken = std::move(token);
}

std::shared_ptr<User> HestioAppDelegate::curUser() const
{
    std::lock_guard lock(m_sessionMutex);
    return m_curUser;
}

void HestioAppDelegate::setCurUser(std::shared_ptr<User> user)
{
    std::lock_guard lock(m_sessionMutex);
    m_curUser = std::move(user);
}

std::optional<std::string> HestioAppDelegate::currentToken() const
{
    std::lock_guard lock(m_sessionMutex);
    if (!m_curUser || !m_curUser->hasToken())
        return std::nullopt;
    return m_curUser->loginToken;
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
    std::thread::id mainThread = std::this_thread::get_id();
    environment.currentToken = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->currentToken() : std::nullopt;
    };
    // Only requests started on the main thread wait for a renewal; the
    // background resend signs in by itself and sends the token it finds.
    environment.sessionNeedsRenewal = [weak, mainThread] {
        auto self = weak.lock();
        return self && std::this_thread::get_id() == mainThread && self->sessionNeedsRenewal();
    };
    environment.renewSession = [weak](std::function<void()> done) {
        if (auto self = weak.lock())
            self->renewSession(std::move(done));
        else
            done();
    };
    environment.showInfoPanel
        = [weak](int type, const std::string& title, const std::string& subtitle, double hideAfter) {
              auto self = weak.lock();
              if (self && self->window)
                  QNInfoPanel::showPanelInWindow(*self->window, type, title, subtitle, hideAfter);
          };
    environment.setNetworkActivityIndicatorVisible
        = [](bool visible) { Application::shared().setNetworkActivityIndicatorVisible(visible); };

    registerForSessionNotifications();
    if (!locationManager) {
        std::string regionFile = (Profile::current().dataDirectory() / "regions").string();
        locationManager = LocationManager::create(regionFile);
        launchedForLocation = launchedForLocation || locationManager->locationManager().hasPendingLaunchEvent();
    }
    buildTabs();
    if (!window)
        window = Window::create();
    window->setRootViewController(rootController);
    window->makeKeyAndVisible();
    Application::shared().registerForRemoteNotificationTypes(
        RemoteNotificationBadge | RemoteNotificationSound | RemoteNotificationAlert);
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
        if (auto self = weak.lock())
            self->getUsersSavedLocations();
    });
    for (const char* name : { "UserLoggedOut", "LoginFailed" }) {
        center.addObserver(this, name, [weak](const Notification&) {
            if (auto self = weak.lock())
                self->showLogin();
        });
    }
}

void HestioAppDelegate::buildTabs()
{
    struct Tab {
        std::shared_ptr<ViewController> (*make)();
        const char* title;
        const char* image;
    };
    const Tab tabs[] = {
        { makeAdviceTableViewController, "Suggestions", "adviceTabIcon" },
        { makeHomeTabViewController, "Home", "homeTabIcon" },
        { makeStatusTableViewController, "Devices", "statusTabIcon" },
        { makeScheduleTableViewController, "Schedule", "alarm-clock-tab-icon.png" },
        { makeLogTabViewController, "Log", "logTabIcon" },
    };
    std::vector<std::shared_ptr<ViewController>> controllers;
    for (const Tab& tab : tabs) {
        auto screen = tab.make();
        screen->setTitle(tab.title);
        screen->tabBarItem().setImageNamed(tab.image);
        auto navigation = NavigationController::create(screen, CustomUINavigationBar::create());
        navigation->tabBarItem().setTitle(tab.title);
        navigation->tabBarItem().setImageNamed(tab.image);
        controllers.push_back(navigation);
    }
    rootController = TabBarController::create();
    rootController->setViewControllers(std::move(controllers));
}

void HestioAppDelegate::didRegisterForRemoteNotifications(Application&, const std::vector<std::uint8_t>& token)
{
    std::string text = hexOf(token);
    setPushToken(text);
    std::optional<KeychainError> error;
    KeychainWrapper::storeKey("pushtoken", text, keychainService, true, &error);
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
    hestio::log("user info: " + payload);
    AlertView::create("Message from server", alert, this, "OK")->show();
}

bool HestioAppDelegate::sessionNeedsRenewal() const
{
    // Nobody signed in, or a user without a token: there is no session to
    // renew (the sign-in screen or loginSynchronous deals with those).
    auto user = curUser();
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (!user || !user->hasToken() || !(user->tokenExpiration < now * 1000))
        return false;
    return UserDefaults::standard().stringForKey("username").has_value();
}

namespace {
    /// Told apart from the saved-locations download in the callbacks.
    struct SessionRenewalRequest { };
    struct SavedLocationsDownload { };
}

void HestioAppDelegate::renewSession(std::function<void()> done)
{
    m_renewalWaiters.push_back(std::move(done));
    if (m_renewal)
        return;
    std::optional<std::string> username = UserDefaults::standard().stringForKey("username");
    if (!username) {
        endRenewal();
        return;
    }
    std::optional<KeychainError> ignored;
    std::string password = KeychainWrapper::getValueForKey(*username, keychainService, &ignored).value_or("");
    // The renewal keeps the signed-in user until the service has answered, so
    // a dropped connection leaves the session as it was rather than empty.
    m_renewal = WebServiceConnector::create(
        endpoints::kSignIn.path, LoginViewController::signInParameters(*username, password), true);
    m_renewal->sendWithoutToken();
    m_renewal->setContext(SessionRenewalRequest {});
    m_renewal->setDelegate(weak_from_this());
    m_renewal->startConnectionForDownload(true);
    if (!m_renewal->isRunning())
        endRenewal();
}

void HestioAppDelegate::endRenewal()
{
    m_renewal.reset();
    auto waiters = std::move(m_renewalWaiters);
    m_renewalWaiters.clear();
    for (auto& waiter : waiters)
        waiter();
}

void HestioAppDelegate::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (request.context<SavedLocationsDownload>()) {
        // Only the newest download speaks for the session: an older one may
        // belong to an earlier sign-in, or answer after the newer one did.
        if (&request == locationsWsc.get()) {
            locationsWsc.reset();
            dataReceived(success, data, request.tag());
        }
        return;
    }
    if (!request.context<SessionRenewalRequest>()) {
        WebServiceConnectorDelegate::requestFinished(request, success, data);
        return;
    }
    if (success) {
        if (!loginPage)
            loginPage = LoginViewController::create();
        loginPage->createUser(data);
        endRenewal();
        return;
    }
    if (!request.answeredWithJSON()) {
        // Something on the way answered instead of the service: the
        // credentials were not judged, so the session stays as it was.
        endRenewal();
        return;
    }
    // The service refused the stored credentials: signed out, and the
    // waiting requests go out without a token and fail as such.
    setCurUser(nullptr);
    endRenewal();
    showLogin();
}

void HestioAppDelegate::requestFailed(WebServiceConnector& request, const platform::TransportError& error)
{
    if (request.context<SavedLocationsDownload>()) {
        if (&request == locationsWsc.get())
            locationsWsc.reset(); // the list stays as it was
        return;
    }
    if (!request.context<SessionRenewalRequest>()) {
        WebServiceConnectorDelegate::requestFailed(request, error);
        return;
    }
    endRenewal();
}

void HestioAppDelegate::loginSynchronous(bool synchronous)
{
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (auto user = curUser(); user && user->hasToken() && !(user->tokenExpiration < now * 1000))
        return;

    std::optional<std::string> username = UserDefaults::standard().stringForKey("username");
    if (username) {
        std::optional<KeychainError> ignored;
        std::optional<std::string> password = KeychainWrapper::getValueForKey(*username, keychainService, &ignored);
        if (!loginPage)
            loginPage = LoginViewController::create();
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
    loginPage = LoginViewController::create();
    if (rootController)
        rootController->presentModalViewController(loginPage, false);
}

void HestioAppDelegate::getUsersSavedLocations()
{
    locationsWsc = WebServiceConnector::create(endpoints::kLocationList.path, std::nullopt, false);
    locationsWsc->setTag(3);
    locationsWsc->setContext(SavedLocationsDownload {});
    locationsWsc->setDelegate(weak_from_this());
    locationsWsc->startConnectionForDownload(true);
}

void HestioAppDelegate::dataReceived(bool success, const json::Value& data, int)
{
    if (!success)
        return;
    savedLocations = LocationManager::savedLocationsFromReply(data);
    locationManager->watchSavedLocations(savedLocations);
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
    RunLoop* mainLoop = &RunLoop::current();
    *task = application.beginBackgroundTask(
        [app, task] { app->endBackgroundTask(task->exchange(BackgroundTaskInvalid)); });
    DispatchQueue::global().async([app, task, mainLoop] {
        resendFailedMovements();
        // Ending the task touches the application object: do it on its thread.
        mainLoop->post([app, task] {
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
