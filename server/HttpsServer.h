#pragma once

#include "Certificate.h"
#include "ConnectionGuard.h"
#include "Service.h"

#include <memory>

namespace httplib {
class SSLServer;
}

namespace hestio::sim {

/// Serves a Service over HTTPS on one address. Each open connection holds
/// one of `threads` workers; the connection limits keep any one client from
/// holding them all, and a request from holding one for long.
class HttpsServer {
public:
    /// The largest request body, whatever its content type.
    static constexpr size_t kMaxBodyBytes = 64 * 1024;
    /// A declared body up to this size is read and dropped, so the client
    /// gets its refusal on a connection that stays usable; a larger one is
    /// refused at once and the connection closed.
    static constexpr size_t kMaxDrainedBodyBytes = 256 * 1024;
    /// More than one client may hold at once.
    static constexpr size_t kDefaultThreads = 128;

    /// Throws std::runtime_error when the certificate or key cannot be used.
    HttpsServer(
        Service& service, const TlsIdentity& identity, size_t threads = kDefaultThreads, ConnectionLimits limits = {});
    ~HttpsServer();

    /// Binds `host`:`port` (a numeric address; port 0 for any free port) and
    /// returns the port, or -1 when the address cannot be had.
    int bind(const std::string& host, int port);
    int bind(int port) { return bind("127.0.0.1", port); }
    /// Serves until stop() is called (from any thread). Requires bind().
    void run();
    void stop();

    /// Connections open now (for tests).
    [[nodiscard]] size_t openConnections() const { return m_guard.openConnections(); }

private:
    // The constructor's steps, in this order.
    /// Workers, limits and socket options.
    void configureConnections(size_t threads);
    /// Refuses, from the headers, a body whose size cannot be known before reading it.
    void refuseUnreadableBodies();
    /// Hands every request to the service, its body read within the limit.
    void routeRequests();
    /// Answers the transport's own refusals with a JSON object.
    void answerTransportRefusals();

    Service& m_service;
    // Declared before the server: connections end before the guard does.
    ConnectionGuard m_guard;
    std::unique_ptr<httplib::SSLServer> m_server;
    int m_listeningSocket { -1 };
};

}
