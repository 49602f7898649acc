#include "platform/dbus/BusConnection.h"

#include "platform/foundation/RunLoop.h"

#include <gio/gio.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace hestio::platform {

Variant adoptVariant(GVariant* value)
{
    if (!value)
        return nullptr;
    return Variant(g_variant_ref_sink(value), g_variant_unref);
}

struct BusConnection::Shared : std::enable_shared_from_this<Shared> {
    RunLoop* loop { nullptr };
    std::string address;
    GBusType busType { G_BUS_TYPE_SESSION };

    // The run loop's side.
    bool alive { true };
    std::map<unsigned, SignalHandler> handlers;
    std::atomic<unsigned> nextId { 1 };

    // The bus thread's side.
    GMainContext* context { nullptr };
    GMainLoop* mainLoop { nullptr };
    GCancellable* cancellable { nullptr };
    GDBusConnection* connection { nullptr };
    std::string connectError;
    int pendingCalls { 0 };
    std::map<unsigned, guint> subscriptions;
    std::thread thread;

    mutable std::mutex nameMutex;
    std::string uniqueName;

    /// Runs `task` on the bus thread, after what was queued before it.
    void onBusThread(std::function<void()> task)
    {
        GSource* source = g_idle_source_new();
        auto* boxed = new std::function<void()>(std::move(task));
        g_source_set_callback(
            source,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            boxed, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
        g_source_attach(source, context);
        g_source_unref(source);
    }

    /// Runs `task` on the run loop unless the connection is gone by then.
    void toRunLoop(std::function<void()> task)
    {
        loop->post([self = shared_from_this(), task = std::move(task)] {
            if (self->alive)
                task();
        });
    }

    void run()
    {
        g_main_context_push_thread_default(context);
        GError* error = nullptr;
        std::string target = address;
        if (target.empty()) {
            gchar* found = g_dbus_address_get_for_bus_sync(busType, cancellable, &error);
            if (found) {
                target = found;
                g_free(found);
            }
        }
        if (!target.empty()) {
            connection = g_dbus_connection_new_for_address_sync(target.c_str(),
                static_cast<GDBusConnectionFlags>(
                    G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, cancellable, &error);
        }
        if (connection) {
            // A bus that goes away must not end the process.
            g_dbus_connection_set_exit_on_close(connection, FALSE);
            std::lock_guard lock(nameMutex);
            if (const char* name = g_dbus_connection_get_unique_name(connection))
                uniqueName = name;
        } else {
            connectError = error ? error->message : "no bus address";
        }
        if (error)
            g_error_free(error);

        g_main_loop_run(mainLoop);

        // Cancelled calls still complete; wait for them so that nothing
        // they own is left behind.
        while (pendingCalls > 0)
            g_main_context_iteration(context, TRUE);
        if (connection) {
            for (auto& [id, handle] : subscriptions)
                g_dbus_connection_signal_unsubscribe(connection, handle);
            subscriptions.clear();
            // What was sent last (a Stop, say) still reaches the bus.
            g_dbus_connection_flush_sync(connection, nullptr, nullptr);
            g_dbus_connection_close_sync(connection, nullptr, nullptr);
            g_object_unref(connection);
            connection = nullptr;
        }
        // Idle tasks queued after the quit are dropped with the context.
        while (g_main_context_iteration(context, FALSE)) { }
        g_main_context_pop_thread_default(context);
    }
};

BusConnection::BusConnection(RunLoop& loop, Bus bus, std::string address)
    : m_shared(std::make_shared<Shared>())
{
    auto& s = *m_shared;
    s.loop = &loop;
    s.address = std::move(address);
    s.busType = bus == Bus::System ? G_BUS_TYPE_SYSTEM : G_BUS_TYPE_SESSION;
    s.context = g_main_context_new();
    s.mainLoop = g_main_loop_new(s.context, FALSE);
    s.cancellable = g_cancellable_new();
    s.thread = std::thread([shared = m_shared.get()] { shared->run(); });
}

BusConnection::~BusConnection()
{
    auto& s = *m_shared;
    s.alive = false;
    s.handlers.clear();
    g_cancellable_cancel(s.cancellable);
    s.onBusThread([shared = m_shared.get()] { g_main_loop_quit(shared->mainLoop); });
    s.thread.join();
    g_main_loop_unref(s.mainLoop);
    g_main_context_unref(s.context);
    g_object_unref(s.cancellable);
}

void BusConnection::call(Call call, Reply reply)
{
    Variant parameters = adoptVariant(call.parameters);
    std::weak_ptr<Shared> weak = m_shared;
    m_shared->onBusThread([weak, call = std::move(call), parameters, reply = std::move(reply)]() mutable {
        auto shared = weak.lock();
        if (!shared)
            return;
        if (!shared->connection) {
            if (reply)
                shared->toRunLoop([reply, error = shared->connectError] { reply(nullptr, error); });
            return;
        }
        struct Pending {
            std::shared_ptr<Shared> shared;
            Reply reply;
        };
        ++shared->pendingCalls;
        g_dbus_connection_call(
            shared->connection, call.destination.empty() ? nullptr : call.destination.c_str(), call.path.c_str(),
            call.interface.c_str(), call.method.c_str(), parameters.get(), nullptr, G_DBUS_CALL_FLAGS_NONE,
            call.timeoutMs, shared->cancellable,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
                --pending->shared->pendingCalls;
                GError* error = nullptr;
                Variant value = adoptVariant(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
                std::string text;
                if (error) {
                    text = error->message;
                    g_error_free(error);
                }
                if (pending->reply)
                    pending->shared->toRunLoop(
                        [reply = std::move(pending->reply), value, text] { reply(value, text); });
            },
            new Pending { shared, std::move(reply) });
    });
}

unsigned BusConnection::subscribe(
    std::string sender, std::string interface, std::string member, std::string path, SignalHandler handler)
{
    unsigned id = m_shared->nextId++;
    m_shared->handlers.emplace(id, std::move(handler));
    std::weak_ptr<Shared> weak = m_shared;
    m_shared->onBusThread([weak, id, sender = std::move(sender), interface = std::move(interface),
                              member = std::move(member), path = std::move(path)] {
        auto shared = weak.lock();
        if (!shared || !shared->connection)
            return;
        struct Target {
            std::weak_ptr<Shared> shared;
            unsigned id;
        };
        guint handle = g_dbus_connection_signal_subscribe(
            shared->connection, sender.c_str(), interface.c_str(), member.c_str(),
            path.empty() ? nullptr : path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar* objectPath, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
                auto* target = static_cast<Target*>(data);
                auto shared = target->shared.lock();
                if (!shared)
                    return;
                Variant value(g_variant_ref(parameters), g_variant_unref);
                shared->toRunLoop([shared = shared.get(), id = target->id, value, at = std::string(objectPath)] {
                    auto it = shared->handlers.find(id);
                    if (it != shared->handlers.end()) {
                        SignalHandler handler = it->second;
                        handler(at, value);
                    }
                });
            },
            new Target { weak, id }, [](gpointer data) { delete static_cast<Target*>(data); });
        shared->subscriptions.emplace(id, handle);
    });
    return id;
}

void BusConnection::unsubscribe(unsigned id)
{
    if (!m_shared->handlers.erase(id))
        return;
    std::weak_ptr<Shared> weak = m_shared;
    m_shared->onBusThread([weak, id] {
        auto shared = weak.lock();
        if (!shared || !shared->connection)
            return;
        auto it = shared->subscriptions.find(id);
        if (it == shared->subscriptions.end())
            return;
        g_dbus_connection_signal_unsubscribe(shared->connection, it->second);
        shared->subscriptions.erase(it);
    });
}

std::string BusConnection::uniqueName() const
{
    std::lock_guard lock(m_shared->nameMutex);
    return m_shared->uniqueName;
}

}
