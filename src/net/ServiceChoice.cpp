#include "net/ServiceChoice.h"

#include "net/ServiceEnvironment.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace hestio {

namespace {

    constexpr int defaultPort = 8443;

    std::string_view trimmed(std::string_view text)
    {
        auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
        while (!text.empty() && isSpace(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && isSpace(text.back()))
            text.remove_suffix(1);
        return text;
    }

    bool isIPv6(const std::string& text)
    {
        in6_addr address {};
        return inet_pton(AF_INET6, text.c_str(), &address) == 1;
    }

    /// The message for a host that cannot be one, "" when it can.
    std::string hostProblem(const std::string& host)
    {
        if (host.empty())
            return "Enter the hub's host name or IP address.";
        if (std::any_of(host.begin(), host.end(), [](unsigned char c) { return std::isspace(c); }))
            return "The host cannot contain spaces.";
        if (host.find_first_of("/@?#:[]") != std::string::npos && !isIPv6(host))
            return "Enter the host alone, without \"https://\", a path or a port.";
        bool plain = std::all_of(host.begin(), host.end(),
            [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':'; });
        if (!plain)
            return "The host can hold only letters, digits, dots and hyphens.";
        return {};
    }

    std::optional<int> portOf(std::string_view text)
    {
        if (text.empty() || text.size() > 5
            || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
            return std::nullopt;
        int port = 0;
        for (char c : text)
            port = port * 10 + (c - '0');
        if (port < 1 || port > 65535)
            return std::nullopt;
        return port;
    }

}

std::string ServiceAddress::hostAndPort() const
{
    bool bracketed = host.find(':') != std::string::npos;
    return (bracketed ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

ServiceAddress ServiceAddress::fromHostAndPort(std::string_view text)
{
    ServiceAddress address { std::string(text), defaultPort };
    std::size_t portColon = std::string_view::npos;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            address.host = std::string(text.substr(1, close - 1));
            if (close + 1 < text.size() && text[close + 1] == ':')
                portColon = close + 1;
        }
    } else if (text.find(':') == text.rfind(':')) {
        portColon = text.find(':');
        address.host = std::string(text.substr(0, portColon));
    }
    if (portColon != std::string_view::npos) {
        if (auto port = portOf(text.substr(portColon + 1)))
            address.port = *port;
    }
    return address;
}

ServiceAddressCheck checkServiceAddress(std::string_view typedHost, std::string_view typedPort)
{
    std::string host(trimmed(typedHost));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']' && isIPv6(host.substr(1, host.size() - 2)))
        host = host.substr(1, host.size() - 2);
    if (std::string problem = hostProblem(host); !problem.empty())
        return { std::nullopt, problem };
    std::optional<int> port = portOf(trimmed(typedPort));
    if (!port)
        return { std::nullopt, "The port must be a number from 1 to 65535." };
    // Host names are the same in any case; the trust of the chosen host
    // compares them in lower case.
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    return { ServiceAddress { std::move(host), *port }, {} };
}

std::string probeFailureMessage(const ServiceAddress& address, const platform::TransportError& error)
{
    using platform::TransportError;
    const std::string where = address.hostAndPort();
    switch (error.code) {
    case TransportError::CannotConnectToHost:
        return "Nothing at " + where + " accepted the connection. Check the address and that the hub is running.";
    case TransportError::CannotFindHost:
        return "No host named \"" + address.host + "\" was found. Check the name.";
    case TransportError::TimedOut:
        return where + " did not answer in time. Check the address and that this device is on the hub's network.";
    case TransportError::SecureConnectionFailed:
        return where + " answered, but not over a secure connection. Is it the hub's port?";
    default:
        return "Could not connect to " + where + ": " + error.localizedDescription;
    }
}

bool ServiceProbe::start(const ServiceAddress& address, Done done)
{
    if (m_exchange)
        return false;
    std::shared_ptr<platform::Transport> transport = ServiceEnvironment::shared().transport;
    auto finished = [this, address, done](const platform::CertificateProbeResult& result) {
        m_exchange.reset();
        if (!result.ok) {
            done(std::nullopt, probeFailureMessage(address, result.error));
            return;
        }
        done(Found { address, result.publicKeyPin, result.subjectName }, {});
    };
    // The exchange is cancelled when this object goes, so `this` outlives
    // every callback that comes.
    if (transport)
        m_exchange = transport->probeCertificate(address.host, address.port, timeoutSeconds, finished);
    if (!m_exchange)
        done(std::nullopt, "Could not start a connection to " + address.hostAndPort() + ".");
    return true;
}

void ServiceProbe::cancel()
{
    if (auto exchange = std::move(m_exchange))
        exchange->cancel();
}

void keepServiceChoice(const ServiceConfiguration& choice, const std::filesystem::path& configDirectory,
    std::function<void(bool kept)> done)
{
    choice.save(configDirectory, [choice, done = std::move(done)](bool kept) {
        if (kept) {
            ServiceEnvironment& environment = ServiceEnvironment::shared();
            environment.serviceHost.set(choice.host);
            if (environment.transport)
                environment.transport->setServerTrust({ choice.hostName(), choice.pin });
        }
        if (done)
            done(kept);
    });
}

}
