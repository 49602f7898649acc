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

    [[nodiscard]] std::shared_ptr<Exchange> start(const HttpRequest& request, ExchangeCallbacks callbacks) override;
    [[nodiscard]] HttpResult sendSynchronous(const HttpRequest& request) override;

private:
    [[nodiscard]] Reply nextReply(const HttpRequest& request);

    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
    std::deque<Reply> m_queue;
    Handler m_handler;
    bool m_refusesToStart { false };
};

}
