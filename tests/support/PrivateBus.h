#pragma once

#include "platform/foundation/RunLoop.h"

#include <functional>
#include <string>
#include <sys/types.h>

namespace hestio::test {

/// A D-Bus daemon of the test's own, on a socket in a scratch folder, with
/// no activatable services: nothing outside the test answers on it. Ended
/// when the object goes.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    /// Empty when the daemon could not be started (the reason in error()).
    const std::string& address() const { return m_address; }
    const std::string& error() const { return m_error; }

private:
    std::string m_folder;
    std::string m_address;
    std::string m_error;
    pid_t m_pid { 0 };
};

/// Runs `loop`'s posted tasks (and, on a manual clock, what is due) until
/// `done` holds or `seconds` of real time pass; true when it holds. For
/// work whose answer comes from another thread (a bus, a socket).
bool runUntil(platform::RunLoop& loop, const std::function<bool()>& done, double seconds = 5);

}
