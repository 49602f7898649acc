#include "ListenAddress.h"

#include <arpa/inet.h>

#include <charconv>

namespace hestio::sim {

std::string ListenAddress::text() const
{
    return textWithPort(port);
}

std::string ListenAddress::textWithPort(int actualPort) const
{
    bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(actualPort);
}

platform::Result<ListenAddress> parseListenAddress(std::string_view text, std::string_view what)
{
    const std::string usage
        = std::string(what) + " needs ADDRESS:PORT, such as 0.0.0.0:8443, 192.168.1.20:8443 or [::1]:8443";
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return platform::Error(usage);
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        size_t colon = text.rfind(':');
        if (colon == std::string_view::npos || text.find(':') != colon)
            return platform::Error(usage);
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    ListenAddress address;
    address.host = std::string(host);
    bool bracketed = !text.empty() && text.front() == '[';
    unsigned char scratch[16];
    int family = bracketed ? AF_INET6 : AF_INET;
    if (host.empty() || inet_pton(family, address.host.c_str(), scratch) != 1)
        return platform::Error(std::string(what) + ": "
            + (host.empty() ? std::string("the address is missing")
                            : address.host + " is not a numeric " + (bracketed ? "IPv6" : "IPv4") + " address")
            + " (" + usage.substr(what.size() + 1) + ")");
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), address.port);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || address.port < 0
        || address.port > 65535)
        return platform::Error(std::string(what) + ": the port must be a number from 0 to 65535");
    return address;
}

std::string canonicalPeerAddress(std::string_view address)
{
    constexpr std::string_view kMapped = "::ffff:";
    if (address.size() > kMapped.size() && address.substr(0, kMapped.size()) == kMapped
        && address.find('.') != std::string_view::npos)
        return std::string(address.substr(kMapped.size()));
    return std::string(address);
}

}
