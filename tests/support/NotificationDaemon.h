#pragma once

// A desktop notification daemon for tests, on a private bus of its own: it
// numbers its notifications from 41, keeps the id of one it replaces (as
// the daemons people run do), and records every call. Header-only, like
// BusMock: only the tests that link GIO include it.

#include "support/BusMock.h"
#include "support/PrivateBus.h"

#include <cstdint>
#include <memory>
#include <string>

namespace hestio::test {

struct NotificationDaemon {
    static constexpr const char* path = "/org/freedesktop/Notifications";
    static constexpr const char* interface = "org.freedesktop.Notifications";

    PrivateBus bus;
    std::unique_ptr<BusMock> daemon;
    std::uint32_t nextId { 41 };

    /// Empty when the daemon runs; otherwise why not.
    std::string start()
    {
        if (bus.address().empty())
            return bus.error();
        daemon = std::make_unique<BusMock>(bus.address(), interface);
        if (!daemon->error().empty())
            return daemon->error();
        daemon->addObject(path, R"xml(<node><interface name="org.freedesktop.Notifications">
  <method name="Notify">
    <arg name="app_name" type="s" direction="in"/><arg name="replaces_id" type="u" direction="in"/>
    <arg name="app_icon" type="s" direction="in"/><arg name="summary" type="s" direction="in"/>
    <arg name="body" type="s" direction="in"/><arg name="actions" type="as" direction="in"/>
    <arg name="hints" type="a{sv}" direction="in"/><arg name="expire_timeout" type="i" direction="in"/>
    <arg name="id" type="u" direction="out"/>
  </method>
  <method name="CloseNotification"><arg name="id" type="u" direction="in"/></method>
  <signal name="ActionInvoked"><arg name="id" type="u"/><arg name="action_key" type="s"/></signal>
  <signal name="NotificationClosed"><arg name="id" type="u"/><arg name="reason" type="u"/></signal>
</interface></node>)xml");
        daemon->setHandler([this](const std::string&, const std::string& method, GVariant* parameters) {
            if (method != "Notify")
                return BusMock::Answer {};
            guint32 replaces = 0;
            g_variant_get_child(parameters, 1, "u", &replaces);
            return BusMock::Answer { g_variant_new("(u)", replaces != 0 ? replaces : nextId++) };
        });
        return {};
    }
    void invoke(std::uint32_t id, const char* key)
    {
        daemon->emit(path, interface, "ActionInvoked", g_variant_new("(us)", id, key));
    }
    void close(std::uint32_t id) { daemon->emit(path, interface, "NotificationClosed", g_variant_new("(uu)", id, 2u)); }
};

}
