#include "platform/http/FakeTransport.h"

#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <stdexcept>
#include <tuple>

namespace hestio::platform {

namespace {

    class FakeExchange final : public Exchange {
    public:
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
        ~FakeExchange() override { cancel(); }
        void cancel() override { cancelled->store(true); }
    };

    /// On the current run loop, after `delay` seconds (at once when 0).
    void deliverAfter(double delay, std::function<void()> deliver)
    {
        RunLoop& loop = RunLoop::current();
        if (delay > 0)
            loop.postDelayed(delay, std::move(deliver));
        else
            loop.post(std::move(deliver));
    }

}

FakeTransport::Reply FakeTransport::Reply::json(std::string body, int statusCode)
{
    Reply reply;
    reply.statusCode = statusCode;
    reply.body = std::move(body);
    reply.headers = { { "Content-Type", "application/json" } };
    return reply;
}

FakeTransport::Reply FakeTransport::Reply::failure(int code, std::string description)
{
    Reply reply;
    reply.error = TransportError { code, std::move(description), {} };
    return reply;
}

FakeTransport::Reply FakeTransport::Reply::after(double seconds) &&
{
    delaySeconds = seconds;
    return std::move(*this);
}

void FakeTransport::enqueue(Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(reply));
}

void FakeTransport::setHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

void FakeTransport::setRefusesToStart(bool refuses)
{
    std::lock_guard lock(m_mutex);
    m_refusesToStart = refuses;
}

std::vector<HttpRequest> FakeTransport::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

HttpRequest FakeTransport::lastRequest() const
{
    std::lock_guard lock(m_mutex);
    if (m_requests.empty())
        throw std::logic_error("FakeTransport: no request was made");
    return m_requests.back();
}

std::size_t FakeTransport::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void FakeTransport::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

FakeTransport::Reply FakeTransport::nextReply(const HttpRequest& request)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (!m_queue.empty()) {
            Reply reply = std::move(m_queue.front());
            m_queue.pop_front();
            return reply;
        }
        handler = m_handler;
    }
    if (handler)
        return handler(request);
    return Reply::failure();
}

std::shared_ptr<Exchange> FakeTransport::start(const HttpRequest& request, ExchangeCallbacks callbacks)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_refusesToStart)
            return nullptr;
    }
    Reply reply = nextReply(request);
    auto exchange = std::make_shared<FakeExchange>();
    if (reply.error)
        reply.error->failingURL = request.url;
    const double delay = reply.delaySeconds;
    auto deliver = [reply = std::move(reply), callbacks = std::move(callbacks), cancelled = exchange->cancelled] {
        if (cancelled->load())
            return;
        if (reply.error) {
            if (callbacks.onFailure)
                callbacks.onFailure(*reply.error);
            return;
        }
        if (callbacks.onResponse)
            callbacks.onResponse(reply.statusCode, reply.headers);
        if (callbacks.onData && !reply.body.empty()) {
            std::size_t step = reply.chunkSize ? reply.chunkSize : reply.body.size();
            for (std::size_t at = 0; at < reply.body.size() && !cancelled->load(); at += step)
                callbacks.onData(std::string_view(reply.body).substr(at, step));
        }
        if (!cancelled->load() && callbacks.onFinish)
            callbacks.onFinish();
    };
    deliverAfter(delay, std::move(deliver));
    return exchange;
}

void FakeTransport::enqueueProbe(CertificateProbeResult result, double delaySeconds)
{
    std::lock_guard lock(m_mutex);
    m_probeReplies.emplace_back(std::move(result), delaySeconds);
}

std::vector<FakeTransport::Probe> FakeTransport::probes() const
{
    std::lock_guard lock(m_mutex);
    return m_probes;
}

ServerTrust FakeTransport::serverTrust() const
{
    std::lock_guard lock(m_mutex);
    return m_trust;
}

void FakeTransport::setServerTrust(ServerTrust trust)
{
    std::lock_guard lock(m_mutex);
    m_trust = std::move(trust);
}

std::shared_ptr<Exchange> FakeTransport::probeCertificate(
    const std::string& host, int port, double timeoutSeconds, CertificateProbeCallback done)
{
    CertificateProbeResult result;
    result.error = { TransportError::CannotConnectToHost, "Could not connect to the server.", {} };
    double delay = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_refusesToStart)
            return nullptr;
        m_probes.push_back({ host, port, timeoutSeconds });
        if (!m_probeReplies.empty()) {
            std::tie(result, delay) = std::move(m_probeReplies.front());
            m_probeReplies.pop_front();
        }
    }
    auto exchange = std::make_shared<FakeExchange>();
    auto deliver = [result = std::move(result), done = std::move(done), cancelled = exchange->cancelled] {
        if (!cancelled->load() && done)
            done(result);
    };
    deliverAfter(delay, std::move(deliver));
    return exchange;
}

HttpResult FakeTransport::sendSynchronous(const HttpRequest& request)
{
    Reply reply = nextReply(request);
    HttpResult result;
    if (reply.error) {
        result.error = *reply.error;
        result.error.failingURL = request.url;
        return result;
    }
    result.ok = true;
    result.response = HttpResponse { reply.statusCode, reply.headers, reply.body };
    return result;
}

}
