#include "app/HestioAppDelegate.h"

#include "app/LoginViewController.h"
#include "app/TabFactories.h"
#include "devices/CustomUINavigationBar.h"
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
    environment.currentToken = [weak, mainThread]() -> std::optional<std::string> {
        auto self = weak.lock();
        if (!self)
            return std::nullopt;
        // Only requests made on the main thread renew the session; the
        // background resend sends the token it finds.
        if (std::this_thread::get_id() == mainThread)
            self->renewExpiredSession();
        return self->currentToken();
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

void HestioAppDelegate::renewExpiredSession()
{
    // A session whose token has expired is renewed with the stored
    // credentials before the next request goes out, as a movement posting
    // does; otherwise the service would refuse every screen's request from
    // then on and the app would show nothing until restarted. Nobody signed
    // in, a user without a token (a failed renewal) or no stored user name:
    // nothing is tried here.
    if (m_renewingSession)
        return;
    auto user = curUser();
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (!user || !user->hasToken() || !(user->tokenExpiration < now * 1000))
        return;
    if (!UserDefaults::standard().stringForKey("username"))
        return;
    m_renewingSession = true;
    loginSynchronous(true);
    m_renewingSession = false;
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
    locationsWsc = WebServiceConnector::create("/api/location", std::nullopt, false);
    locationsWsc->setTag(3);
    locationsWsc->setDelegate(weak_from_this());
    locationsWsc->startConnectionForDownload(true);
}

void HestioAppDelegate::dataReceived(bool success, const json::Value& data, int)
{
    if (!success)
        return;
    savedLocations.clear();
    const json::Value& locations = data["locations"];
    for (std::size_t i = 0; locations.isArray() && i < locations.count(); ++i) {
        const json::Value& element = locations[i];
        std::string title(element["title"].stringValue());
        GeoLocation position;
        position.coordinate = { element["latitude"].doubleValue(), element["longitude"].doubleValue() };
        savedLocations.push_back(Location::initWithTitle(title, position));
        if (locationManager->regionIsAlreadyBeingMonitoredWithIdentifier(title)) {
            hestio::log("Location is already being monitored");
        } else {
            hestio::log("location is NOT being monitored: " + title);
            locationManager->startMonitoringRegionWithCenter(position.coordinate, title);
        }
    }
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
        auto wsc = WebServiceConnector::create("/api/movement", *entry, true);
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
