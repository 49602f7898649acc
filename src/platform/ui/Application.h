#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Animator.h"
#include "platform/ui/KeyPress.h"
#include "platform/ui/Touch.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

class AlertView;
class Keyboard;
class Responder;
class Window;
class Application;

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };
enum class InterfaceOrientation { Portrait = 1, PortraitUpsideDown = 2, LandscapeRight = 3, LandscapeLeft = 4 };
inline bool isLandscape(InterfaceOrientation o)
{
    return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
}

using BackgroundTaskIdentifier = std::uint64_t;
constexpr BackgroundTaskIdentifier BackgroundTaskInvalid = 0;

/// A notification the app schedules for the user, presented at once.
struct LocalNotification {
    std::string alertBody;
    std::string alertAction;
    std::string soundName;
    int applicationIconBadgeNumber { 0 };
    /// False when the caller tells the desktop itself (in a notice of its
    /// own that it updates), so that the desktop does not get it twice.
    bool showOnDesktop { true };
};

/// A notification for the desktop, outside the app's window: the host hands
/// it to the desktop's notification daemon when the user cannot see the app.
struct DesktopNotice {
    std::string summary;
    std::string body;
    /// The label of the action that brings the app forward.
    std::string actionLabel;
    struct Action {
        std::string key;
        std::string label;
    };
    /// Further actions; the one picked goes to `onAction` with its key, and
    /// the app stays where it is.
    std::vector<Action> actions {};
    std::function<void(const std::string& key)> onAction {};
    /// Notices of one tag are one notice: a later one takes the place of
    /// the one shown, with its actions. Empty: a notice of its own.
    std::string tag {};
    /// Set by withdrawDesktopNotice: the notice of `tag` no longer applies;
    /// it goes, and its actions with it.
    bool withdrawn { false };
};

/// Push types for registerForRemoteNotificationTypes.
enum RemoteNotificationType : unsigned {
    RemoteNotificationBadge = 1,
    RemoteNotificationSound = 2,
    RemoteNotificationAlert = 4
};

/// What the application tells its delegate. Every method has an empty default.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void didFinishLaunching(Application&) { }
    virtual void willResignActive(Application&) { }
    virtual void didEnterBackground(Application&) { }
    virtual void willEnterForeground(Application&) { }
    virtual void didBecomeActive(Application&) { }
    virtual void willTerminate(Application&) { }
    virtual void didRegisterForRemoteNotifications(Application&, const std::vector<std::uint8_t>& /*deviceToken*/) { }
    virtual void didFailToRegisterForRemoteNotifications(Application&, const std::string& /*error*/) { }
    /// `payload` is the notification's JSON text, e.g. {"aps":{"alert":"…"}}.
    virtual void didReceiveRemoteNotification(Application&, const std::string& /*payload*/) { }
    virtual void didReceiveLocalNotification(Application&, const LocalNotification&) { }
};

/// The application object: its state, its windows, the first responder and
/// keyboard, background tasks, badges and notifications, alerts, the status
/// bar and the animator. One per process; tests make their own, which becomes
/// shared() for its lifetime.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    /// The most recently made application still alive (one is made on demand).
    static Application& shared();
    /// The current application, or none (during process tear-down).
    static Application* currentIfAny();

    ApplicationDelegate* delegate() const { return m_delegate; }
    void setDelegate(ApplicationDelegate* delegate) { m_delegate = delegate; }
    /// Calls the delegate's didFinishLaunching and becomes active.
    void launch();

    ApplicationState applicationState() const { return m_state; }
    /// Posted on the default notification centre, with the application as
    /// sender, after the delegate heard of the same transition: screens that
    /// poll while shown stop and start with them.
    static constexpr const char* willResignActiveNotification = "ApplicationWillResignActive";
    static constexpr const char* didBecomeActiveNotification = "ApplicationDidBecomeActive";
    /// Moves through the platform's transitions, telling the delegate and
    /// posting the two notifications above.
    void enterBackground();
    void enterForeground();
    void terminate();

    // Background tasks: they may run for backgroundTaskLifetime seconds after
    // entering the background; then their expiration handlers run.
    static constexpr double backgroundTaskLifetime = 600;
    BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler);
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    std::size_t openBackgroundTaskCount() const { return m_backgroundTasks.size(); }
    double backgroundTimeRemaining() const;

    int applicationIconBadgeNumber() const { return m_badgeNumber; }
    void setApplicationIconBadgeNumber(int number);

    // Local notifications: presented at once as an in-app banner and a log
    // line, and as a desktop notice titled "Hestio".
    void presentLocalNotificationNow(const LocalNotification& notification);
    using LocalNotificationObserver = std::function<void(const LocalNotification&)>;
    /// Told of every local notification presented; none by default.
    const LocalNotificationObserver& localNotificationObserver() const { return m_localNotificationObserver; }
    void setLocalNotificationObserver(LocalNotificationObserver observer)
    {
        m_localNotificationObserver = std::move(observer);
    }
    /// Hands `notice` to the desktop notifier; nothing happens when the host
    /// set none (headless runs, tests).
    void presentDesktopNotice(const DesktopNotice& notice);
    /// Takes the notice of `tag` off the desktop (see DesktopNotice::tag).
    void withdrawDesktopNotice(const std::string& tag);
    void setDesktopNotifier(std::function<void(const DesktopNotice&)> notifier)
    {
        m_desktopNotifier = std::move(notifier);
    }

    // Remote notifications. The device token is 32 bytes made once and kept in
    // deviceTokenPath() (when set); delivery comes from the host or a test.
    void registerForRemoteNotificationTypes(unsigned types);
    unsigned enabledRemoteNotificationTypes() const { return m_remoteTypes; }
    void setDeviceTokenPath(std::string path) { m_deviceTokenPath = std::move(path); }
    const std::string& deviceTokenPath() const { return m_deviceTokenPath; }
    void deliverRemoteNotification(const std::string& payload);

    bool isNetworkActivityIndicatorVisible() const { return m_networkActivity; }
    void setNetworkActivityIndicatorVisible(bool visible);

    // Status bar and screen
    bool isStatusBarHidden() const { return m_statusBarHidden; }
    void setStatusBarHidden(bool hidden);
    static constexpr double statusBarHeight = 20;
    Rect statusBarFrame() const;
    Size screenSize() const;
    double screenScale() const { return m_screenScale; }
    void setScreenScale(double scale) { m_screenScale = scale; }
    InterfaceOrientation statusBarOrientation() const { return m_orientation; }
    /// Turns the device; the key window's controllers that allow it rotate.
    void rotateTo(InterfaceOrientation orientation, double duration = 0.3);

    // Windows
    Window* keyWindow() const { return m_keyWindow; }
    const std::vector<Window*>& windows() const { return m_windows; }

    // Events from the host
    void sendEvent(const TouchEvent& event);
    /// Typed text goes to the first responder.
    void sendText(const std::string& utf8);
    void sendBackspace();
    void sendReturn();

    /// A key from the keyboard (not typing): Tab and Shift+Tab move the
    /// focus, Return and Space activate the focused view, arrows move
    /// sliders, pickers, rows and pages, Escape cancels an alert or goes
    /// back, Ctrl+1 to Ctrl+5 choose the tabs. True when the key did
    /// something; from then on the focus ring shows.
    bool sendKey(const KeyPress& key);
    /// Whether the focused view shows its focus ring: after a key press,
    /// until the next touch (focus a touch gave shows no ring).
    bool isFocusRingVisible() const { return m_focusRingVisible; }
    /// A finger came down: the ring goes, and a view that had the focus
    /// from the keyboard but takes no text lets it go.
    void touchBegan();

    // First responder and keyboard
    Responder* firstResponder() const;
    /// Posts Responder::firstResponderDidChangeNotification (also when the
    /// focused stop of the same responder changes).
    void firstResponderDidChange();
    Keyboard& keyboard() { return *m_keyboard; }

    // Alerts (top-most last)
    const std::vector<std::shared_ptr<AlertView>>& visibleAlerts() const { return m_alerts; }
    AlertView* topAlert() const { return m_alerts.empty() ? nullptr : m_alerts.back().get(); }

    /// Told, on this thread, whenever what a person sees or can do may have
    /// changed: a window was marked for drawing or the first responder
    /// changed. Assistive technology compares its tree then. Keep it cheap;
    /// none by default.
    void setScreenChangeObserver(std::function<void()> observer) { m_screenChangeObserver = std::move(observer); }
    void screenDidChange()
    {
        if (m_screenChangeObserver)
            m_screenChangeObserver();
    }

    Animator& animator() { return m_animator; }
    /// Whether the host should draw: something is marked or animating.
    bool needsDisplay() const;

    /// Releases the views of controllers not on screen (viewDidUnload).
    void simulateMemoryWarning();

private:
    friend class Window;
    friend class Responder;
    friend class AlertView;
    void registerWindow(Window& window);
    void unregisterWindow(Window& window);
    void makeKey(Window& window);
    bool setFirstResponder(Responder* responder);
    void showAlert(std::shared_ptr<AlertView> alert);
    void removeAlert(const AlertView& alert);
    void showBanner(const std::string& text);
    void scheduleExpirations();

    ApplicationDelegate* m_delegate { nullptr };
    ApplicationState m_state { ApplicationState::Inactive };
    struct BackgroundTask {
        std::function<void()> expirationHandler;
    };
    std::map<BackgroundTaskIdentifier, BackgroundTask> m_backgroundTasks;
    BackgroundTaskIdentifier m_nextTask { 1 };
    double m_backgroundEnteredAt { -1 };
    TimerHandle m_expirationTimer;
    int m_badgeNumber { 0 };
    LocalNotificationObserver m_localNotificationObserver;
    std::function<void(const DesktopNotice&)> m_desktopNotifier;
    unsigned m_remoteTypes { 0 };
    std::string m_deviceTokenPath;
    std::vector<std::uint8_t> m_deviceToken;
    bool m_networkActivity { false };
    bool m_statusBarHidden { false };
    double m_screenScale { 2.0 };
    InterfaceOrientation m_orientation { InterfaceOrientation::Portrait };
    Window* m_keyWindow { nullptr };
    std::vector<Window*> m_windows;
    std::weak_ptr<Responder> m_firstResponder;
    bool m_focusRingVisible { false };
    std::unique_ptr<Keyboard> m_keyboard;
    std::vector<std::shared_ptr<AlertView>> m_alerts;
    Animator m_animator;
    std::function<void()> m_screenChangeObserver;
    Application* m_previous { nullptr };
};

}
