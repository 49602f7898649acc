#pragma once

#include "platform/http/Transport.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace hestio::platform {

/// An in-process transport for tests: records every request and answers from
/// a script. Asynchronous answers are posted to the starting run loop after the
/// reply's delay, so a manual clock decides when they arrive.
class FakeTransport final : public Transport {
public:
    struct Reply {
        int statusCode { 200 };
        std::string body;
        HttpHeaders headers;
        std::optional<TransportError> error; ///< a transport failure instead of an answer
        double delaySeconds { 0 };
        std::size_t chunkSize { 0 }; ///< 0: the body arrives in one chunk

        [[nodiscard]] static Reply json(std::string body, int statusCode = 200);
        [[nodiscard]] static Reply failure(int code = TransportError::NotConnectedToInternet,
            std::string description = "The Internet connection appears to be offline.");
        [[nodiscard]] Reply after(double seconds) &&;
    };
    using Handler = std::function<Reply(const HttpRequest&)>;

    /// Replies queued here answer the next requests in order; when the queue
    /// is empty the handler answers; without a handler, a transport failure.
    void enqueue(Reply reply);
    void setHandler(Handler handler);
    /// Makes start() return null, as when no connection can be created.
    void setRefusesToStart(bool refuses);

    [[nodiscard]] std::vector<HttpRequest> requests() const;
    [[nodiscard]] HttpRequest lastRequest() const;
    [[nodiscard]] std::size_t requestCount() const;
    void clearRequests();

    /// A certificate probe as it was started.
    struct Probe {
        std::string host;
        int port { 0 };
        double timeoutSeconds { 0 };
    };
    /// Answers the next probe (in order) after `delaySeconds`; without one a
    /// probe fails at once as refused.
    void enqueueProbe(CertificateProbeResult result, double delaySeconds = 0);
    [[nodiscard]] std::vector<Probe> probes() const;
    /// The trust last set (empty until set).
    [[nodiscard]] ServerTrust serverTrust() const;

    [[nodiscard]] std::shared_ptr<Exchange> start(const HttpRequest& request, ExchangeCallbacks callbacks) override;
    [[nodiscard]] HttpResult sendSynchronous(const HttpRequest& request) override;
    [[nodiscard]] std::shared_ptr<Exchange> probeCertificate(
        const std::string& host, int port, double timeoutSeconds, CertificateProbeCallback done) override;
    void setServerTrust(ServerTrust trust) override;

private:
    [[nodiscard]] Reply nextReply(const HttpRequest& request);

    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
    std::deque<Reply> m_queue;
    Handler m_handler;
    bool m_refusesToStart { false };
    std::deque<std::pair<CertificateProbeResult, double>> m_probeReplies;
    std::vector<Probe> m_probes;
    ServerTrust m_trust;
};

}
