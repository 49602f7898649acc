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
            m_waiting.erase(id);
        });
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::notify(Notice notice)
{
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    for (const auto& action : notice.actions) {
        g_variant_builder_add(&actions, "s", action.key.c_str());
        g_variant_builder_add(&actions, "s", action.label.c_str());
    }
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(m_options.desktopEntry.c_str()));
    GVariant* parameters = g_variant_new("(susssasa{sv}i)", m_options.appName.c_str(), 0u, m_options.appIcon.c_str(),
        notice.summary.c_str(), notice.body.c_str(), &actions, &hints, -1);
    m_bus->call({ daemonName, daemonPath, daemonInterface, "Notify", parameters },
        [this, onAction = std::move(notice.onAction)](Variant result, const std::string& error) {
            if (!result || !g_variant_is_of_type(result.get(), G_VARIANT_TYPE("(u)"))) {
                m_available = false;
                if (!m_toldUnavailable)
                    hestio::log("Desktop notifications: not available (" + error + ")");
                m_toldUnavailable = true;
                return;
            }
            m_available = true;
            ++m_shown;
            guint32 id = 0;
            g_variant_get(result.get(), "(u)", &id);
            if (onAction)
                m_waiting[id] = onAction;
        });
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
        // In view the app shows its own banner or alert.
        if (application.applicationState() == ApplicationState::Active && inView && inView())
            return;
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
        notifications.notify(std::move(shown));
    });
}

}
