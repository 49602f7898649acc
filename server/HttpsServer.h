#pragma once

#include "Certificate.h"
#include "Service.h"

#include <memory>

namespace httplib {
class SSLServer;
}

namespace hestio::sim {

/// Serves a Service over HTTPS on 127.0.0.1 only.
class HttpsServer {
public:
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    /// Throws std::runtime_error when the certificate or key cannot be used.
    HttpsServer(Service& service, const TlsIdentity& identity, size_t threads = 32);
    ~HttpsServer();

    /// Binds 127.0.0.1:`port` (0 for any free port) and returns the port, or
    /// -1 when the address cannot be had.
    int bind(int port);
    /// Serves until stop() is called (from any thread). Requires bind().
    void run();
    void stop();

private:
    Service& m_service;
    std::unique_ptr<httplib::SSLServer> m_server;
    int m_listeningSocket { -1 };
};

}
