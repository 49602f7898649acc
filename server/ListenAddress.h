#pragma once

#include "platform/foundation/Result.h"

#include <string>
#include <string_view>

namespace hestio::sim {

/// Where the hub listens: a numeric address of this machine (IPv4, or IPv6
/// without brackets) and a port (0 for any free one).
struct ListenAddress {
    std::string host { "127.0.0.1" };
    int port { 8443 };
    bool operator==(const ListenAddress&) const = default;

    /// "127.0.0.1:8443", or "[::1]:8443" for IPv6.
    [[nodiscard]] std::string text() const;
    /// The same with `port` in place of the one asked for (a free port
    /// picked for 0).
    [[nodiscard]] std::string textWithPort(int actualPort) const;
};

/// Reads ADDRESS:PORT ("0.0.0.0:8443", "192.168.1.20:8443", "[::1]:8443").
/// Only numeric addresses: a name could stand for another machine, or for
/// none once the network changes. `what` names the option or key in errors.
platform::Result<ListenAddress> parseListenAddress(std::string_view text, std::string_view what);

/// A peer's address as the hub keys it: an IPv4 peer reaching an IPv6
/// socket ("::ffff:192.168.1.20") is the IPv4 address it is.
[[nodiscard]] std::string canonicalPeerAddress(std::string_view address);

}
