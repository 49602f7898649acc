#include "platform/access/AccessBridge.h"

#include "platform/access/MainContextPump.h"
#include "platform/dbus/BusConnection.h"
#include "platform/foundation/LazyLibrary.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <atk-bridge.h>
#include <atk/atk.h>

#include <cstdlib>
#include <cstring>
#include <map>

// The desktop's bridge is opened when it starts, not with the program: a run
// with no screen reader listening (headless, tests, most desktops) never
// loads it nor the bus and system libraries it brings.
namespace {
hestio::platform::LazyLibrary& bridgeLibrary()
{
    static hestio::platform::LazyLibrary library("libatk-bridge-2.0.so.0", "install at-spi2-atk");
    return library;
}
}

#define atk_bridge_adaptor_cleanup(...) HESTIO_LAZY_FUNCTION(bridgeLibrary(), atk_bridge_adaptor_cleanup)(__VA_ARGS__)
#define atk_bridge_adaptor_init(...) HESTIO_LAZY_FUNCTION(bridgeLibrary(), atk_bridge_adaptor_init)(__VA_ARGS__)

namespace hestio::platform {

namespace {

    // The desktop toolkit asks the toolkit for its root and for hooks on
    // its objects' signals through AtkUtil's class: these answer for ours.

    struct GlobalListener {
        guint signal;
        gulong hook;
    };
    std::map<guint, GlobalListener> s_listeners;
    guint s_nextListener = 1;

    /// "Toolkit:AtkObject:state-change": a hook on every object's signal.
    guint addGlobalListener(GSignalEmissionHook listener, const gchar* eventType)
    {
        gchar** parts = g_strsplit(eventType, ":", 3);
        guint id = 0;
        if (g_strv_length(parts) == 3) {
            GType type = g_type_from_name(parts[1]);
            if (type && G_TYPE_IS_INTERFACE(type))
                g_type_default_interface_ref(type);
            else if (type)
                g_type_class_ref(type);
            guint signal = type ? g_signal_lookup(parts[2], type) : 0;
            if (signal) {
                gulong hook = g_signal_add_emission_hook(signal, 0, listener, g_strdup(eventType), g_free);
                id = s_nextListener++;
                s_listeners[id] = { signal, hook };
            }
        }
        g_strfreev(parts);
        return id;
    }

    void removeGlobalListener(guint id)
    {
        if (auto it = s_listeners.find(id); it != s_listeners.end()) {
            g_signal_remove_emission_hook(it->second.signal, it->second.hook);
            s_listeners.erase(it);
        }
    }

    guint addKeyListener(AtkKeySnoopFunc, gpointer)
    {
        return 0;
    }
    void removeKeyListener(guint)
    {
    }

    AtkObject* root()
    {
        auto* objects = AccessibleObjects::current();
        return objects ? objects->objectFor(AccessibleNode {}) : nullptr;
    }

    const gchar* toolkitName()
    {
        return "Hestio";
    }
    const gchar* toolkitVersion()
    {
        return "1.0";
    }

    void answerForToolkit()
    {
        static bool done = false;
        if (done)
            return;
        done = true;
        auto* util = ATK_UTIL_CLASS(g_type_class_ref(ATK_TYPE_UTIL));
        util->add_global_event_listener = addGlobalListener;
        util->remove_global_event_listener = removeGlobalListener;
        util->add_key_event_listener = addKeyListener;
        util->remove_key_event_listener = removeKeyListener;
        util->get_root = root;
        util->get_toolkit_name = toolkitName;
        util->get_toolkit_version = toolkitVersion;
    }

    AtkStateType atkState(AccessibleState state)
    {
        switch (state) {
        case AccessibleEnabled:
            return ATK_STATE_ENABLED;
        case AccessibleSensitive:
            return ATK_STATE_SENSITIVE;
        case AccessibleFocused:
            return ATK_STATE_FOCUSED;
        case AccessibleChecked:
            return ATK_STATE_CHECKED;
        case AccessibleSelected:
            return ATK_STATE_SELECTED;
        case AccessibleShowing:
            return ATK_STATE_SHOWING;
        case AccessibleVisible:
            return ATK_STATE_VISIBLE;
        case AccessibleBusy:
            return ATK_STATE_BUSY;
        default:
            return ATK_STATE_INVALID;
        }
    }

    bool wanted()
    {
        const char* off = std::getenv("NO_AT_BRIDGE");
        return !(off && std::strcmp(off, "1") == 0);
    }

    bool named(const char* variable)
    {
        const char* value = std::getenv(variable);
        return value && *value;
    }

}

struct AccessBridge::Bridge {
    Bridge(Application& application, RunLoop& loop, AccessibleObjects::Placement placement)
        : application(application)
        , objects(application, loop, std::move(placement))
        , tracker(application)
        , context(g_main_context_ref(g_main_context_default()))
    {
    }
    ~Bridge() { g_main_context_unref(context); }

    void scheduleUpdate();
    void update();
    void emit(const AccessibleEvent& event);

    Application& application;
    AccessibleObjects objects;
    AccessibleTracker tracker;
    GMainContext* context;
    std::unique_ptr<MainContextPump> pump;
    TimerHandle pending;
    bool updating { false };
};

void AccessBridge::Bridge::scheduleUpdate()
{
    if (updating || pending.isActive())
        return;
    pending = objects.loop().postDelayed(
        0, [this] { update(); }, this);
}

void AccessBridge::Bridge::update()
{
    updating = true;
    // Lists make their rows when laid out; what is read is what shows.
    for (Window* window : application.windows())
        window->layoutTree();
    auto events = tracker.update();
    for (const auto& node : tracker.released())
        objects.release(node);
    for (const auto& event : events)
        emit(event);
    updating = false;
    pump->dispatchSoon();
}

void AccessBridge::Bridge::emit(const AccessibleEvent& event)
{
    using Kind = AccessibleEvent::Kind;
    bool madeForThis = event.kind == Kind::Focus || event.kind == Kind::Announcement;
    AtkObject* object = madeForThis ? objects.objectFor(event.node) : objects.existingObjectFor(event.node);
    if (!object)
        return;
    switch (event.kind) {
    case Kind::ChildAdded:
        g_signal_emit_by_name(object, "children-changed::add", event.index, objects.objectFor(event.child));
        break;
    case Kind::ChildRemoved:
        if (AtkObject* child = objects.existingObjectFor(event.child))
            g_signal_emit_by_name(object, "children-changed::remove", event.index, child);
        break;
    case Kind::NameChanged:
        g_object_notify(G_OBJECT(object), "accessible-name");
        break;
    case Kind::DescriptionChanged:
        g_object_notify(G_OBJECT(object), "accessible-description");
        break;
    case Kind::ValueChanged:
        g_object_notify(G_OBJECT(object), "accessible-value");
        break;
    case Kind::TextChanged:
        if (!event.oldText.empty())
            g_signal_emit_by_name(object, "text-remove", 0, static_cast<gint>(g_utf8_strlen(event.oldText.c_str(), -1)),
                event.oldText.c_str());
        if (!event.newText.empty())
            g_signal_emit_by_name(object, "text-insert", 0, static_cast<gint>(g_utf8_strlen(event.newText.c_str(), -1)),
                event.newText.c_str());
        break;
    case Kind::StateChanged:
        if (AtkStateType state = atkState(event.state); state != ATK_STATE_INVALID)
            atk_object_notify_state_change(object, state, event.on);
        break;
    case Kind::Focus:
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        atk_focus_tracker_notify(object);
        G_GNUC_END_IGNORE_DEPRECATIONS
        break;
    case Kind::Announcement:
        if (g_signal_lookup("announcement", ATK_TYPE_OBJECT))
            g_signal_emit_by_name(object, "announcement", event.newText.c_str());
        break;
    }
}

AccessBridge::AccessBridge(Application& application, RunLoop& loop, AccessibleObjects::Placement placement)
    : m_application(application)
    , m_loop(loop)
    , m_placement(std::move(placement))
{
    if (!wanted())
        return;
    if (named("AT_SPI_BUS_ADDRESS")) {
        start();
        return;
    }
    if (!named("DBUS_SESSION_BUS_ADDRESS"))
        return;
    // Only a desktop with the accessibility bus running has anyone to tell;
    // asking does not start it.
    m_sessionBus = std::make_unique<BusConnection>(loop, BusConnection::Bus::Session);
    m_sessionBus->call({ "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                           g_variant_new("(s)", "org.a11y.Bus") },
        [this](Variant result, const std::string&) {
            gboolean owned = FALSE;
            if (result && g_variant_is_of_type(result.get(), G_VARIANT_TYPE("(b)")))
                g_variant_get(result.get(), "(b)", &owned);
            if (owned && !m_bridge)
                start();
        });
}

AccessBridge::~AccessBridge()
{
    m_sessionBus.reset();
    if (!m_bridge)
        return;
    m_application.setScreenChangeObserver({});
    m_loop.cancelDelayed(m_bridge.get());
    atk_bridge_adaptor_cleanup();
    m_bridge->pump.reset();
    m_bridge.reset();
}

bool AccessBridge::isRunning() const
{
    return m_bridge != nullptr;
}

void AccessBridge::start()
{
    answerForToolkit();
    if (auto missing = bridgeLibrary().open()) {
        log("Hestio cannot reach the accessibility bus; screen readers will not see it: " + *missing);
        return;
    }
    auto bridge = std::make_unique<Bridge>(m_application, m_loop, m_placement);
    // The desktop's bridge attaches what it listens to to the default main
    // context, which the pump dispatches on this thread (nothing else in the
    // app uses that context: the other bus connections have their own).
    int failed = atk_bridge_adaptor_init(nullptr, nullptr);
    if (failed) {
        log("Hestio cannot reach the accessibility bus; screen readers will not see it.");
        return;
    }
    bridge->pump = std::make_unique<MainContextPump>(bridge->context, m_loop);
    static_cast<void>(bridge->tracker.update());
    Bridge* raw = bridge.get();
    m_application.setScreenChangeObserver([raw] { raw->scheduleUpdate(); });
    m_bridge = std::move(bridge);
}

}
