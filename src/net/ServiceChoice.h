#pragma once

#include "net/ServiceConfiguration.h"
#include "platform/http/Transport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hestio {

/// Shown when the service answers with a certificate other than the one it
/// was chosen with: nothing goes to it until it is chosen again.
inline constexpr const char* kCertificateChangedTitle = "Certificate Changed";
inline constexpr const char* kCertificateChangedMessage
    = "The service's certificate has changed, so nothing was sent to it. If your hub was set up again, choose the "
      "service again with the i button at the top right of the sign-in screen.";

/// A service's address as a person typed it: a host name or IP address and
/// a port.
struct ServiceAddress {
    std::string host; ///< lower case; an IPv6 address without brackets
    int port { 0 };

    /// "host:port" ("[v6]:port"), as Service.plist keeps it and messages
    /// show it.
    [[nodiscard]] std::string hostAndPort() const;
    /// The host and port of a kept "host:port"; the port 8443 when none is
    /// given.
    [[nodiscard]] static ServiceAddress fromHostAndPort(std::string_view hostAndPort);
};

/// The typed host and port, checked: the address, or a message saying what
/// is wrong with them. Spaces around either are dropped.
struct ServiceAddressCheck {
    std::optional<ServiceAddress> address;
    std::string message;
};
[[nodiscard]] ServiceAddressCheck checkServiceAddress(std::string_view host, std::string_view port);

/// What a person reads when no certificate could be had from `address`.
[[nodiscard]] std::string probeFailureMessage(const ServiceAddress& address, const platform::TransportError& error);

/// Connects to a service and finds out which certificate it shows, through
/// the environment's transport. One probe at a time: a start while one runs
/// is refused, and every probe started ends in exactly one call of its
/// `done`, unless cancelled (then none).
class ServiceProbe {
public:
    /// What the service showed.
    struct Found {
        ServiceAddress address;
        std::string pin; ///< "sha256//BASE64"
        std::string name; ///< the certificate's subject name; "" when it has none
    };
    /// The service found, or none and the message to show.
    using Done = std::function<void(const std::optional<Found>& found, const std::string& message)>;

    static constexpr double timeoutSeconds = 10;

    ServiceProbe() = default;
    ServiceProbe(const ServiceProbe&) = delete;
    ServiceProbe& operator=(const ServiceProbe&) = delete;
    ~ServiceProbe() { cancel(); }

    /// False (and no callback) when a probe runs already. When no connection
    /// can be started at all, `done` is told so before this returns.
    bool start(const ServiceAddress& address, Done done);
    void cancel();
    [[nodiscard]] bool isRunning() const { return m_exchange != nullptr; }

private:
    std::shared_ptr<platform::Exchange> m_exchange;
};

/// Keeps a confirmed choice: writes it to Service.plist in `configDirectory`
/// (on the disk writer) and, once it is there, points every later request
/// at it, trusting only its pin; then tells `done`, on the caller's run loop.
/// Not kept (false): nothing changed, the file cannot be written.
void keepServiceChoice(const ServiceConfiguration& choice, const std::filesystem::path& configDirectory,
    std::function<void(bool kept)> done);

}
