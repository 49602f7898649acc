#pragma once

#include "platform/dbus/BusConnection.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hestio::platform {

class Application;
class RunLoop;

/// Notifications on the desktop, through the notification daemon at
/// org.freedesktop.Notifications on the session bus. Each notification may
/// carry actions; the one the user picks comes back to the notification's
/// handler on the run loop. Without a daemon every notification is dropped
/// quietly (one log line says so, once).
class DesktopNotifications {
public:
    struct Options {
        /// The bus to find the daemon on; empty for the session bus.
        std::string busAddress;
        std::string appName { "Hestio" };
        std::string appIcon { "hestio" };
        /// The desktop entry's name, without ".desktop".
        std::string desktopEntry { "hestio" };
    };
    struct Action {
        /// "default" is the action of clicking the notification itself.
        std::string key;
        std::string label;
    };
    struct Notice {
        std::string summary;
        std::string body;
        std::vector<Action> actions;
        /// Told the key of the action the user picked.
        std::function<void(const std::string& key)> onAction;
        /// Notices of one tag are one notification: each replaces the one
        /// shown (replaces_id), and only its own actions are picked.
        std::string tag {};
    };

    DesktopNotifications(RunLoop& loop, Options options);
    ~DesktopNotifications();
    DesktopNotifications(const DesktopNotifications&) = delete;
    DesktopNotifications& operator=(const DesktopNotifications&) = delete;

    /// Shows `notice`. The body and the action labels are plain text: the
    /// characters the daemon would read as markup are escaped.
    void notify(Notice notice);
    /// Closes the notification of `tag`; none of its actions is picked any
    /// more.
    void withdraw(const std::string& tag);
    /// `text` with "&", "<" and ">" as the daemon's markup writes them, and
    /// bytes that are not UTF-8 replaced (the bus takes UTF-8 only).
    [[nodiscard]] static std::string escapedMarkup(const std::string& text);

    /// Notifications the daemon took so far.
    std::size_t shownCount() const { return m_shown; }
    /// Shown ones whose handler still waits for an action.
    std::size_t waitingCount() const { return m_waiting.size(); }
    /// False once a notification could not be given to a daemon.
    bool isAvailable() const { return m_available; }

private:
    /// The notification of one tag: its daemon id once shown, and what came
    /// while its Notify was on the way (the id to replace is known only then).
    struct Tagged {
        std::uint32_t id { 0 };
        bool sending { false };
        bool withdrawn { false };
        std::unique_ptr<Notice> next;
    };

    void send(Notice notice, std::uint32_t replaces);
    void shown(const std::string& tag, std::uint32_t id);
    void close(std::uint32_t id);
    void actionInvoked(std::uint32_t id, const std::string& key);
    void closed(std::uint32_t id);

    Options m_options;
    std::unique_ptr<BusConnection> m_bus;
    std::map<std::uint32_t, std::function<void(const std::string&)>> m_waiting;
    std::map<std::string, Tagged> m_tagged;
    std::size_t m_shown { 0 };
    bool m_available { true };
    bool m_toldUnavailable { false };
};

/// Hands the application's desktop notices to `notifications` while the
/// user cannot see the app (`inView` false, or the app not active). Picking a
/// notice's action calls `bringForward` (the host raises its window) and
/// brings a background app to the foreground.
void routeDesktopNotices(Application& application, DesktopNotifications& notifications, std::function<bool()> inView,
    std::function<void()> bringForward);

}
