#pragma once

#include "platform/http/HttpTypes.h"
#include "platform/http/ServerTrust.h"

#include <functional>
#include <memory>
#include <string_view>

namespace hestio::platform {

/// What an asynchronous exchange reports, in this order: onResponse once per
/// response head (a redirect or retry may bring another, which restarts the
/// body), onData for each chunk of the body, then exactly one of onFinish or
/// onFailure. Every callback runs on the run loop that started the exchange.
struct ExchangeCallbacks {
    std::function<void(int statusCode, const HttpHeaders& headers)> onResponse;
    std::function<void(std::string_view chunk)> onData;
    std::function<void()> onFinish;
    std::function<void(const TransportError&)> onFailure;
};

/// A running exchange. Cancelling it (or dropping the last handle) stops the
/// transfer; no callback follows a cancel.
class Exchange {
public:
    virtual ~Exchange() = default;
    virtual void cancel() = 0;
};

/// What a look at a TLS service's certificate found: the public-key pin and
/// the name it shows, or why no certificate could be had.
struct CertificateProbeResult {
    bool ok { false };
    std::string publicKeyPin; ///< "sha256//BASE64" of the certificate's DER public key
    std::string subjectName; ///< the subject's common name; "" when it has none
    TransportError error; ///< when not ok
};
using CertificateProbeCallback = std::function<void(const CertificateProbeResult&)>;

/// Sends HTTP requests. Implementations: CurlTransport (the real network)
/// and FakeTransport (tests).
class Transport {
public:
    virtual ~Transport() = default;

    /// Starts an exchange; returns at once. Must be called on a thread with a
    /// current RunLoop, which receives the callbacks. Returns null when the
    /// exchange cannot be created at all (no callback follows then).
    [[nodiscard]] virtual std::shared_ptr<Exchange> start(const HttpRequest& request, ExchangeCallbacks callbacks) = 0;

    /// Sends and blocks the calling thread until the reply, an error or the
    /// request's timeout. Callable from any thread.
    [[nodiscard]] virtual HttpResult sendSynchronous(const HttpRequest& request) = 0;

    /// Connects to host:port, completes a TLS handshake without trusting the
    /// certificate, and reports the certificate the other side showed;
    /// nothing is sent over the connection, and nothing about it is trusted
    /// afterwards. `done` runs once, on the run loop that started the probe,
    /// and never after a cancel. Returns null when no probe can be started
    /// (no callback follows then).
    [[nodiscard]] virtual std::shared_ptr<Exchange> probeCertificate(
        const std::string& host, int port, double timeoutSeconds, CertificateProbeCallback done)
        = 0;

    /// Which certificates the exchanges started from now on trust.
    virtual void setServerTrust(ServerTrust trust) = 0;
};

}
