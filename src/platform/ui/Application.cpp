#include "platform/ui/Application.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PrivateFiles.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/KeyboardFocus.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <random>

namespace hestio::platform {

namespace {

    Application* s_current = nullptr;

    /// The in-app banner a local notification shows at the top of the window.
    class NotificationBanner final : public View {
    public:
        explicit NotificationBanner(const std::string& text, double width)
            : View({ 6, 4, width - 12, 58 })
        {
            setBackgroundColor(Color::white(0.08, 0.92));
            layer().setCornerRadius(10);
            setAccessibilityIdentifier("notificationBanner");
            auto title = Label::create({ 12, 7, width - 36, 18 });
            title->setText("Hestio");
            title->setFont(Font::boldSystemFont(14));
            title->setTextColor(Color::whiteColor());
            addSubview(title);
            auto body = Label::create({ 12, 25, width - 36, 30 });
            body->setText(text);
            body->setFont(Font::systemFont(13));
            body->setTextColor(Color::white(0.9));
            body->setNumberOfLines(2);
            addSubview(body);
        }
        std::string className() const override { return "NotificationBanner"; }
        void touchesEnded(const TouchSet&, const Event&) override { removeFromSuperview(); }
    };

}

Application::Application()
    : m_keyboard(std::make_unique<Keyboard>(*this))
    , m_previous(s_current)
{
    s_current = this;
}

Application::~Application()
{
    m_alerts.clear();
    if (s_current == this)
        s_current = m_previous;
}

Application& Application::shared()
{
    if (!s_current) {
        static Application* fallback = new Application();
        if (!s_current)
            s_current = fallback;
    }
    return *s_current;
}

Application* Application::currentIfAny()
{
    return s_current;
}

void Application::launch()
{
    if (m_delegate)
        m_delegate->didFinishLaunching(*this);
    m_state = ApplicationState::Active;
    if (m_delegate)
        m_delegate->didBecomeActive(*this);
    NotificationCenter::defaultCenter().post(didBecomeActiveNotification, this);
}

void Application::enterBackground()
{
    if (m_state == ApplicationState::Background)
        return;
    if (m_state == ApplicationState::Active) {
        if (m_delegate)
            m_delegate->willResignActive(*this);
        NotificationCenter::defaultCenter().post(willResignActiveNotification, this);
    }
    m_state = ApplicationState::Background;
    auto* loop = RunLoop::currentIfAny();
    m_backgroundEnteredAt = loop ? loop->clock().monotonicSeconds() : 0;
    if (m_delegate)
        m_delegate->didEnterBackground(*this);
    scheduleExpirations();
}

void Application::enterForeground()
{
    if (m_state != ApplicationState::Background)
        return;
    if (m_delegate)
        m_delegate->willEnterForeground(*this);
    m_expirationTimer.cancel();
    m_state = ApplicationState::Active;
    if (m_delegate)
        m_delegate->didBecomeActive(*this);
    NotificationCenter::defaultCenter().post(didBecomeActiveNotification, this);
}

void Application::terminate()
{
    if (m_delegate)
        m_delegate->willTerminate(*this);
}

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler)
{
    BackgroundTaskIdentifier id = m_nextTask++;
    m_backgroundTasks[id] = { std::move(expirationHandler) };
    scheduleExpirations();
    return id;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier)
{
    m_backgroundTasks.erase(identifier);
    if (m_backgroundTasks.empty())
        m_expirationTimer.cancel();
}

double Application::backgroundTimeRemaining() const
{
    if (m_state != ApplicationState::Background)
        return std::numeric_limits<double>::max();
    auto* loop = RunLoop::currentIfAny();
    double now = loop ? loop->clock().monotonicSeconds() : m_backgroundEnteredAt;
    return std::max(0.0, backgroundTaskLifetime - (now - m_backgroundEnteredAt));
}

void Application::scheduleExpirations()
{
    auto* loop = RunLoop::currentIfAny();
    if (!loop || m_state != ApplicationState::Background || m_backgroundTasks.empty() || m_expirationTimer.isActive())
        return;
    m_expirationTimer = loop->postDelayed(
        backgroundTimeRemaining(),
        [this] {
            // Handlers usually end their task; copy first so ending is safe.
            std::vector<std::function<void()>> handlers;
            for (auto& [id, task] : m_backgroundTasks)
                if (task.expirationHandler)
                    handlers.push_back(task.expirationHandler);
            for (auto& handler : handlers)
                handler();
        },
        this);
}

void Application::setApplicationIconBadgeNumber(int number)
{
    m_badgeNumber = std::max(0, number);
}

void Application::presentLocalNotificationNow(const LocalNotification& notification)
{
    if (m_localNotificationObserver)
        m_localNotificationObserver(notification);
    log("Local notification: " + notification.alertBody);
    if (notification.applicationIconBadgeNumber > 0)
        setApplicationIconBadgeNumber(notification.applicationIconBadgeNumber);
    if (notification.showOnDesktop)
        presentDesktopNotice({ "Hestio", notification.alertBody, notification.alertAction });
    showBanner(notification.alertBody);
    if (m_state == ApplicationState::Active && m_delegate)
        m_delegate->didReceiveLocalNotification(*this, notification);
}

void Application::presentDesktopNotice(const DesktopNotice& notice)
{
    if (m_desktopNotifier)
        m_desktopNotifier(notice);
}

void Application::withdrawDesktopNotice(const std::string& tag)
{
    DesktopNotice withdrawn;
    withdrawn.tag = tag;
    withdrawn.withdrawn = true;
    presentDesktopNotice(withdrawn);
}

void Application::showBanner(const std::string& text)
{
    if (!m_keyWindow)
        return;
    auto banner = std::make_shared<NotificationBanner>(text, m_keyWindow->bounds().width());
    m_keyWindow->addOverlay(banner);
    std::weak_ptr<View> weak = banner;
    Window* window = m_keyWindow;
    if (auto* loop = RunLoop::currentIfAny()) {
        loop->postDelayed(
            4.0,
            [this, weak, window] {
                auto b = weak.lock();
                if (b && std::find(m_windows.begin(), m_windows.end(), window) != m_windows.end())
                    window->removeOverlay(*b);
            },
            this);
    }
}

void Application::registerForRemoteNotificationTypes(unsigned types)
{
    m_remoteTypes = types;
    if (m_deviceToken.empty() && !m_deviceTokenPath.empty()) {
        auto read = DiskWriter::shared().read(m_deviceTokenPath, 32);
        if (read && *read && (*read)->size == 32)
            m_deviceToken.assign((*read)->bytes.begin(), (*read)->bytes.end());
    }
    if (m_deviceToken.empty()) {
        std::random_device random;
        for (int i = 0; i < 32; ++i)
            m_deviceToken.push_back(static_cast<std::uint8_t>(random() & 0xff));
        if (!m_deviceTokenPath.empty()) {
            // It names this phone to the service: the owner's only.
            DiskWriter::shared().write(m_deviceTokenPath,
                std::string(reinterpret_cast<const char*>(m_deviceToken.data()), 32), [](const Status& kept) {
                    if (!kept)
                        log("Could not keep the device token: " + kept.error().message());
                });
        }
    }
    auto deliver = [this, token = m_deviceToken] {
        if (m_delegate)
            m_delegate->didRegisterForRemoteNotifications(*this, token);
    };
    if (auto* loop = RunLoop::currentIfAny())
        loop->postDelayed(0, deliver, this);
    else
        deliver();
}

void Application::deliverRemoteNotification(const std::string& payload)
{
    if (m_delegate)
        m_delegate->didReceiveRemoteNotification(*this, payload);
}

void Application::setNetworkActivityIndicatorVisible(bool visible)
{
    if (visible == m_networkActivity)
        return;
    m_networkActivity = visible;
    for (auto* w : m_windows)
        w->setWindowNeedsDisplay();
}

void Application::setStatusBarHidden(bool hidden)
{
    if (hidden == m_statusBarHidden)
        return;
    m_statusBarHidden = hidden;
    for (auto* w : m_windows) {
        if (auto* root = w->rootViewController(); root && root->isViewLoaded())
            root->view()->setFrame(w->contentFrame());
        w->setWindowNeedsDisplay();
    }
}

Rect Application::statusBarFrame() const
{
    if (m_statusBarHidden)
        return {};
    return { 0, 0, screenSize().width, statusBarHeight };
}

Size Application::screenSize() const
{
    return isLandscape(m_orientation) ? Size { 480, 320 } : Size { 320, 480 };
}

void Application::rotateTo(InterfaceOrientation orientation, double duration)
{
    if (orientation == m_orientation || !m_keyWindow)
        return;
    ViewController* top = m_keyWindow->topViewController();
    if (!top || !top->shouldAutorotateToInterfaceOrientation(orientation))
        return;
    m_orientation = orientation;
    Size s = screenSize();
    m_keyWindow->setFrame({ 0, 0, s.width, s.height });
    if (top->isViewLoaded())
        top->view()->setFrame(m_keyWindow->contentFrame());
    top->rotate(orientation, duration);
}

void Application::registerWindow(Window& window)
{
    m_windows.push_back(&window);
}

void Application::unregisterWindow(Window& window)
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), &window), m_windows.end());
    if (m_keyWindow == &window)
        m_keyWindow = m_windows.empty() ? nullptr : m_windows.back();
}

void Application::makeKey(Window& window)
{
    m_keyWindow = &window;
}

void Application::sendEvent(const TouchEvent& event)
{
    if (m_keyWindow)
        m_keyWindow->sendEvent(event);
}

void Application::sendText(const std::string& utf8)
{
    if (auto* responder = firstResponder())
        responder->insertText(utf8);
}

void Application::sendBackspace()
{
    if (auto* responder = firstResponder())
        responder->deleteBackward();
}

void Application::sendReturn()
{
    if (auto* responder = firstResponder())
        responder->insertReturn();
}

bool Application::sendKey(const KeyPress& key)
{
    bool wasVisible = m_focusRingVisible;
    m_focusRingVisible = true;
    bool handled = KeyboardFocus::handle(*this, key);
    if (!wasVisible || handled)
        for (auto* w : m_windows)
            w->setWindowNeedsDisplay();
    return handled;
}

void Application::touchBegan()
{
    if (m_focusRingVisible) {
        m_focusRingVisible = false;
        for (auto* w : m_windows)
            w->setWindowNeedsDisplay();
    }
    auto current = m_firstResponder.lock();
    if (current && !current->wantsKeyboard())
        setFirstResponder(nullptr);
}

void Application::firstResponderDidChange()
{
    NotificationCenter::defaultCenter().post(Responder::firstResponderDidChangeNotification, this);
    if (m_focusRingVisible)
        for (auto* w : m_windows)
            w->setWindowNeedsDisplay();
}

Responder* Application::firstResponder() const
{
    return m_firstResponder.lock().get();
}

bool Application::setFirstResponder(Responder* responder)
{
    auto old = m_firstResponder.lock();
    if (old.get() == responder)
        return true;
    if (old) {
        m_firstResponder.reset();
        old->didResignFirstResponder();
    }
    if (responder) {
        m_firstResponder = responder->weak_from_this();
        responder->didBecomeFirstResponder();
    }
    firstResponderDidChange();
    auto current = m_firstResponder.lock();
    if (current && current->wantsKeyboard()) {
        // Only text fields carry a bar of controls above their keyboard.
        auto* field = dynamic_cast<TextField*>(current.get());
        m_keyboard->show(current->keyboardInputView(), field ? field->inputAccessoryView() : nullptr);
    } else {
        m_keyboard->hide();
    }
    screenDidChange();
    return true;
}

void Application::showAlert(std::shared_ptr<AlertView> alert)
{
    if (std::find(m_alerts.begin(), m_alerts.end(), alert) == m_alerts.end())
        m_alerts.push_back(std::move(alert));
}

void Application::removeAlert(const AlertView& alert)
{
    m_alerts.erase(
        std::remove_if(m_alerts.begin(), m_alerts.end(), [&](auto& a) { return a.get() == &alert; }), m_alerts.end());
}

bool Application::needsDisplay() const
{
    if (m_animator.hasRunningAnimations())
        return true;
    return std::any_of(m_windows.begin(), m_windows.end(), [](Window* w) { return w->windowNeedsDisplay(); });
}

void Application::simulateMemoryWarning()
{
    std::vector<ViewController*> all;
    std::function<void(ViewController*)> walk = [&](ViewController* c) {
        if (!c)
            return;
        all.push_back(c);
        for (auto* child : c->childViewControllers())
            walk(child);
        walk(c->modalViewController());
    };
    for (auto* w : m_windows)
        walk(w->rootViewController());
    for (auto* c : all)
        c->didReceiveMemoryWarning();
}

}
