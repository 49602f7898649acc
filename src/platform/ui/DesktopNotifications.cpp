#include "platform/ui/DesktopNotifications.h"

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"

#include <gio/gio.h>

namespace hestio::platform {

namespace {

    constexpr const char* daemonName = "org.freedesktop.Notifications";
    constexpr const char* daemonPath = "/org/freedesktop/Notifications";
    constexpr const char* daemonInterface = "org.freedesktop.Notifications";

}

DesktopNotifications::DesktopNotifications(RunLoop& loop, Options options)
    : m_options(std::move(options))
    , m_bus(std::make_unique<BusConnection>(loop, BusConnection::Bus::Session, m_options.busAddress))
{
    m_bus->subscribe(
        daemonName, daemonInterface, "ActionInvoked", daemonPath, [this](const std::string&, Variant parameters) {
            if (!g_variant_is_of_type(parameters.get(), G_VARIANT_TYPE("(us)")))
                return;
            guint32 id = 0;
            const char* key = nullptr;
            g_variant_get(parameters.get(), "(u&s)", &id, &key);
            actionInvoked(id, key);
        });
    m_bus->subscribe(
        daemonName, daemonInterface, "NotificationClosed", daemonPath, [this](const std::string&, Variant parameters) {
            if (!g_variant_is_of_type(parameters.get(), G_VARIANT_TYPE("(uu)")))
                return;
            guint32 id = 0;
            g_variant_get(parameters.get(), "(uu)", &id, nullptr);
            closed(id);
        });
}

DesktopNotifications::~DesktopNotifications() = default;

std::string DesktopNotifications::escapedMarkup(const std::string& text)
{
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::string escaped;
    for (const char* c = valid; *c; ++c) {
        switch (*c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += *c;
        }
    }
    g_free(valid);
    return escaped;
}

void DesktopNotifications::notify(Notice notice)
{
    if (notice.tag.empty()) {
        send(std::move(notice), 0);
        return;
    }
    Tagged& tagged = m_tagged[notice.tag];
    tagged.withdrawn = false;
    if (tagged.sending) {
        tagged.next = std::make_unique<Notice>(std::move(notice));
        return;
    }
    tagged.sending = true;
    send(std::move(notice), tagged.id);
}

void DesktopNotifications::send(Notice notice, std::uint32_t replaces)
{
    auto valid = [](const std::string& text) {
        gchar* made = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
        std::string result(made);
        g_free(made);
        return result;
    };
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    for (const auto& action : notice.actions) {
        g_variant_builder_add(&actions, "s", valid(action.key).c_str());
        g_variant_builder_add(&actions, "s", escapedMarkup(action.label).c_str());
    }
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(m_options.desktopEntry.c_str()));
    GVariant* parameters
        = g_variant_new("(susssasa{sv}i)", m_options.appName.c_str(), replaces, m_options.appIcon.c_str(),
            valid(notice.summary).c_str(), escapedMarkup(notice.body).c_str(), &actions, &hints, -1);
    m_bus->call({ daemonName, daemonPath, daemonInterface, "Notify", parameters },
        [this, replaces, tag = std::move(notice.tag), onAction = std::move(notice.onAction)](
            Variant result, const std::string& error) {
            guint32 id = 0;
            if (!result || !g_variant_is_of_type(result.get(), G_VARIANT_TYPE("(u)"))) {
                m_available = false;
                if (!m_toldUnavailable)
                    hestio::log("Desktop notifications: not available (" + error + ")");
                m_toldUnavailable = true;
            } else {
                m_available = true;
                ++m_shown;
                g_variant_get(result.get(), "(u)", &id);
                // The replaced notification's actions are not picked any more.
                if (replaces != 0)
                    m_waiting.erase(replaces);
                if (onAction)
                    m_waiting[id] = onAction;
                else
                    m_waiting.erase(id);
            }
            if (!tag.empty())
                shown(tag, id);
        });
}

void DesktopNotifications::shown(const std::string& tag, std::uint32_t id)
{
    auto it = m_tagged.find(tag);
    if (it == m_tagged.end())
        return;
    Tagged& tagged = it->second;
    tagged.sending = false;
    tagged.id = id;
    if (tagged.withdrawn) {
        if (id != 0)
            close(id);
        m_tagged.erase(it);
    } else if (tagged.next) {
        auto next = std::move(tagged.next);
        notify(std::move(*next));
    }
}

void DesktopNotifications::withdraw(const std::string& tag)
{
    auto it = m_tagged.find(tag);
    if (it == m_tagged.end())
        return;
    if (it->second.sending) {
        // Closed once the daemon says which it is.
        it->second.withdrawn = true;
        it->second.next.reset();
        return;
    }
    if (it->second.id != 0)
        close(it->second.id);
    m_tagged.erase(it);
}

void DesktopNotifications::close(std::uint32_t id)
{
    m_waiting.erase(id);
    m_bus->call({ daemonName, daemonPath, daemonInterface, "CloseNotification", g_variant_new("(u)", id) },
        [](Variant, const std::string&) {});
}

void DesktopNotifications::closed(std::uint32_t id)
{
    m_waiting.erase(id);
    // The next notice of its tag is a new notification.
    for (auto& [tag, tagged] : m_tagged)
        if (tagged.id == id)
            tagged.id = 0;
}

void DesktopNotifications::actionInvoked(std::uint32_t id, const std::string& key)
{
    auto it = m_waiting.find(id);
    if (it == m_waiting.end())
        return;
    auto handler = std::move(it->second);
    // Most daemons close a notification once an action is picked; the
    // handler runs once either way.
    m_waiting.erase(it);
    handler(key);
}

void routeDesktopNotices(Application& application, DesktopNotifications& notifications, std::function<bool()> inView,
    std::function<void()> bringForward)
{
    application.setDesktopNotifier([&application, &notifications, inView = std::move(inView),
                                       bringForward = std::move(bringForward)](const DesktopNotice& notice) {
        if (notice.withdrawn) {
            notifications.withdraw(notice.tag);
            return;
        }
        // In view the app shows its own banner or alert, which takes the
        // place of a notice of the same tag on the desktop.
        if (application.applicationState() == ApplicationState::Active && inView && inView()) {
            if (!notice.tag.empty())
                notifications.withdraw(notice.tag);
            return;
        }
        DesktopNotifications::Notice shown { notice.summary, notice.body,
            { { "default", notice.actionLabel.empty() ? "Open" : notice.actionLabel } },
            [&application, bringForward, onAction = notice.onAction](const std::string& key) {
                if (key != "default" && onAction) {
                    onAction(key);
                    return;
                }
                if (bringForward)
                    bringForward();
                if (application.applicationState() == ApplicationState::Background)
                    application.enterForeground();
            } };
        for (const auto& action : notice.actions)
            shown.actions.push_back({ action.key, action.label });
        shown.tag = notice.tag;
        notifications.notify(std::move(shown));
    });
}

}
