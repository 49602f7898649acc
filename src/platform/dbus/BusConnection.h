#pragma once

#include <functional>
#include <memory>
#include <string>

typedef struct _GVariant GVariant;

namespace hestio::platform {

class RunLoop;

/// A GVariant reference that can be copied between threads (GVariants are
/// immutable and their counts atomic). Null when there is no value.
using Variant = std::shared_ptr<GVariant>;
/// Takes `value` (sinking a floating reference).
[[nodiscard]] Variant adoptVariant(GVariant* value);

/// One private connection to a D-Bus bus, served by a thread of its own that
/// runs a GLib main context: the app's run loop never blocks on the bus.
/// Every reply and signal is posted to the run loop given at construction,
/// and none arrives after the connection is destroyed.
///
/// Calls made before the connection is up wait for it; when the bus cannot
/// be reached each call fails at once with the reason.
class BusConnection {
public:
    enum class Bus { System, Session };

    /// Connects in the background to `address` (a D-Bus address such as
    /// "unix:path=/run/dbus/system_bus_socket"), or, when it is empty, to the
    /// system or session bus (which honour DBUS_SYSTEM_BUS_ADDRESS and
    /// DBUS_SESSION_BUS_ADDRESS).
    BusConnection(RunLoop& loop, Bus bus, std::string address = {});
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    /// A reply: the result tuple, or null with the error text.
    using Reply = std::function<void(Variant result, const std::string& error)>;
    struct Call {
        std::string destination;
        std::string path;
        std::string interface;
        std::string method;
        /// A tuple, floating or not; none for no arguments.
        GVariant* parameters { nullptr };
        /// Milliseconds; -1 for the bus's default.
        int timeoutMs { -1 };
    };
    /// Calls a method; `reply` (may be empty) runs on the run loop.
    void call(Call call, Reply reply);

    using SignalHandler = std::function<void(const std::string& path, Variant parameters)>;
    /// Subscribes to a signal from `sender` (a bus name) on `interface`;
    /// `path` empty matches every object. Returns an id for unsubscribe().
    unsigned subscribe(
        std::string sender, std::string interface, std::string member, std::string path, SignalHandler handler);
    void unsubscribe(unsigned id);

    /// The unique name of this connection on the bus, once connected (tests).
    [[nodiscard]] std::string uniqueName() const;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}
