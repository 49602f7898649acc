#pragma once

// A scripted D-Bus service for tests: it owns a name on a (private) bus,
// serves objects described by introspection XML, records every method call
// and property write, answers calls through a handler and emits signals.
// It runs on a thread of its own, as a real service runs in a process of its
// own. Header-only: only the tests that link GIO include it.

#include <gio/gio.h>

#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hestio::test {

class BusMock {
public:
    /// The answer to a method call: a tuple (null for an empty one), or an
    /// error when `errorName` is set.
    struct Answer {
        GVariant* value { nullptr };
        std::string errorName;
        std::string errorMessage;
    };
    using Handler = std::function<Answer(const std::string& path, const std::string& method, GVariant* parameters)>;

    BusMock(const std::string& address, const std::string& name)
    {
        m_context = g_main_context_new();
        m_loop = g_main_loop_new(m_context, FALSE);
        std::promise<void> ready;
        m_thread = std::thread([this, address, name, &ready] {
            g_main_context_push_thread_default(m_context);
            GError* error = nullptr;
            m_connection = g_dbus_connection_new_for_address_sync(address.c_str(),
                static_cast<GDBusConnectionFlags>(
                    G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &error);
            if (m_connection) {
                g_dbus_connection_set_exit_on_close(m_connection, FALSE);
                GVariant* reply = g_dbus_connection_call_sync(m_connection, "org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                    g_variant_new("(su)", name.c_str(), 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
                if (reply)
                    g_variant_unref(reply);
            }
            if (error) {
                m_error = error->message;
                g_error_free(error);
            }
            ready.set_value();
            g_main_loop_run(m_loop);
            for (auto [path, id] : m_registrations)
                g_dbus_connection_unregister_object(m_connection, id);
            if (m_connection) {
                g_dbus_connection_flush_sync(m_connection, nullptr, nullptr);
                g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
                g_object_unref(m_connection);
            }
            while (g_main_context_iteration(m_context, FALSE)) { }
            g_main_context_pop_thread_default(m_context);
        });
        ready.get_future().wait();
    }

    ~BusMock()
    {
        onThread([this] { g_main_loop_quit(m_loop); });
        m_thread.join();
        for (auto* info : m_infos)
            g_dbus_node_info_unref(info);
        for (auto& [key, value] : m_properties)
            g_variant_unref(value);
        g_main_loop_unref(m_loop);
        g_main_context_unref(m_context);
    }

    BusMock(const BusMock&) = delete;
    BusMock& operator=(const BusMock&) = delete;

    /// Empty when the mock is on the bus with its name.
    const std::string& error() const { return m_error; }

    void setHandler(Handler handler)
    {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }

    /// Serves every interface of `xml` (one <node>) at `path`.
    void addObject(const std::string& path, const std::string& xml)
    {
        onThread([this, path, xml] {
            GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
            if (!info)
                return;
            m_infos.push_back(info);
            static const GDBusInterfaceVTable vtable
                = { &BusMock::methodCall, &BusMock::getProperty, &BusMock::setProperty, { nullptr } };
            for (GDBusInterfaceInfo** i = info->interfaces; i && *i; ++i) {
                guint id = g_dbus_connection_register_object(
                    m_connection, path.c_str(), *i, &vtable, this, nullptr, nullptr);
                m_registrations.emplace_back(path, id);
            }
        });
    }

    /// Sets a property's value (sinks a floating reference).
    void setPropertyValue(const std::string& path, const std::string& name, GVariant* value)
    {
        std::lock_guard lock(m_mutex);
        GVariant*& slot = m_properties[path + " " + name];
        if (slot)
            g_variant_unref(slot);
        slot = g_variant_ref_sink(value);
    }

    /// Emits a signal from `path` (parameters: a tuple, sunk).
    void emit(const std::string& path, const std::string& interface, const std::string& signal, GVariant* parameters)
    {
        GVariant* sunk = g_variant_ref_sink(parameters);
        onThread([this, path, interface, signal, sunk] {
            g_dbus_connection_emit_signal(
                m_connection, nullptr, path.c_str(), interface.c_str(), signal.c_str(), sunk, nullptr);
            g_variant_unref(sunk);
        });
    }

    /// Every call and property write so far: "Method(args)" with the
    /// arguments as GVariant text, "set Name value" with the value's type
    /// where its text leaves it open ("uint32 8").
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::size_t callCount() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls.size();
    }

private:
    /// Runs `task` on the mock's thread and waits for it.
    void onThread(std::function<void()> task)
    {
        std::promise<void> done;
        struct Box {
            std::function<void()> task;
            std::promise<void>* done;
        } box { std::move(task), &done };
        g_main_context_invoke(
            m_context,
            [](gpointer data) -> gboolean {
                auto* b = static_cast<Box*>(data);
                b->task();
                b->done->set_value();
                return G_SOURCE_REMOVE;
            },
            &box);
        done.get_future().wait();
    }

    static void methodCall(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* method,
        GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<BusMock*>(data);
        Handler handler;
        {
            std::lock_guard lock(self->m_mutex);
            gchar* text = g_variant_print(parameters, FALSE);
            self->m_calls.push_back(std::string(method) + text);
            g_free(text);
            handler = self->m_handler;
        }
        Answer answer;
        if (handler)
            answer = handler(path, method, parameters);
        if (!answer.errorName.empty())
            g_dbus_method_invocation_return_dbus_error(
                invocation, answer.errorName.c_str(), answer.errorMessage.c_str());
        else
            g_dbus_method_invocation_return_value(invocation, answer.value);
    }

    static GVariant* getProperty(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* name,
        GError** error, gpointer data)
    {
        auto* self = static_cast<BusMock*>(data);
        std::lock_guard lock(self->m_mutex);
        auto it = self->m_properties.find(std::string(path) + " " + name);
        if (it == self->m_properties.end()) {
            g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no %s", name);
            return nullptr;
        }
        return g_variant_ref(it->second);
    }

    static gboolean setProperty(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* name,
        GVariant* value, GError**, gpointer data)
    {
        auto* self = static_cast<BusMock*>(data);
        std::lock_guard lock(self->m_mutex);
        // With its type: a property of the wrong type is a fault.
        gchar* text = g_variant_print(value, TRUE);
        self->m_calls.push_back(std::string("set ") + name + " " + text);
        g_free(text);
        GVariant*& slot = self->m_properties[std::string(path) + " " + name];
        if (slot)
            g_variant_unref(slot);
        slot = g_variant_ref(value);
        return TRUE;
    }

    GMainContext* m_context { nullptr };
    GMainLoop* m_loop { nullptr };
    GDBusConnection* m_connection { nullptr };
    std::thread m_thread;
    std::string m_error;
    std::vector<GDBusNodeInfo*> m_infos;
    std::vector<std::pair<std::string, guint>> m_registrations;
    mutable std::mutex m_mutex;
    Handler m_handler;
    std::map<std::string, GVariant*> m_properties;
    std::vector<std::string> m_calls;
};

}
