#pragma once

#include "platform/http/ServerTrust.h"
#include "platform/http/Transport.h"

#include <cstddef>
#include <memory>

namespace hestio::platform {

/// The real network: libcurl's multi interface driven by one network thread,
/// which never runs application code; callbacks are posted to the run loop
/// that started each exchange. That run loop must outlive the exchange or
/// cancel it first.
class CurlTransport final : public Transport {
public:
    explicit CurlTransport(ServerTrust trust = {});
    ~CurlTransport() override;
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    [[nodiscard]] std::shared_ptr<Exchange> start(const HttpRequest& request, ExchangeCallbacks callbacks) override;
    [[nodiscard]] HttpResult sendSynchronous(const HttpRequest& request) override;
    [[nodiscard]] std::shared_ptr<Exchange> probeCertificate(
        const std::string& host, int port, double timeoutSeconds, CertificateProbeCallback done) override;
    void setServerTrust(ServerTrust trust) override;

    /// Replies larger than this fail with DataLengthExceedsMaximum instead of
    /// filling memory. Default 64 MiB.
    void setMaximumBodyBytes(std::size_t bytes);

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

}
