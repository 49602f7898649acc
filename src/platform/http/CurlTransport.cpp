#include "platform/http/CurlTransport.h"

#include "platform/foundation/RunLoop.h"
#include "platform/http/CurlLibrary.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace hestio::platform {

namespace {

    struct EasyDeleter {
        void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
    };
    using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

    struct HeaderListDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };
    using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

    void initialiseCurlOnce()
    {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    }

    TransportError errorFor(CURLcode code, const std::string& url)
    {
        TransportError error;
        error.failingURL = url;
        switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            error.code = TransportError::TimedOut;
            error.localizedDescription = "The request timed out.";
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            error.code = TransportError::CannotFindHost;
            error.localizedDescription = "A server with the specified hostname could not be found.";
            break;
        case CURLE_COULDNT_CONNECT:
            error.code = TransportError::CannotConnectToHost;
            error.localizedDescription = "Could not connect to the server.";
            break;
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            // The service showed a key other than the one it was chosen with.
            error.code = TransportError::ServerCertificateUntrusted;
            error.localizedDescription = "The service's certificate has changed.";
            error.certificateChanged = true;
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
            error.code = TransportError::ServerCertificateUntrusted;
            error.localizedDescription = "The certificate for this server is invalid.";
            break;
        case CURLE_SSL_CONNECT_ERROR:
            error.code = TransportError::SecureConnectionFailed;
            error.localizedDescription
                = "An SSL error has occurred and a secure connection to the server cannot be made.";
            break;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            error.code = TransportError::NetworkConnectionLost;
            error.localizedDescription = "The network connection was lost.";
            break;
        case CURLE_URL_MALFORMAT:
            error.code = TransportError::BadURL;
            error.localizedDescription = "unsupported URL";
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
            error.code = TransportError::UnsupportedURL;
            error.localizedDescription = "unsupported URL";
            break;
        case CURLE_WRITE_ERROR:
        case CURLE_FILESIZE_EXCEEDED:
            error.code = TransportError::DataLengthExceedsMaximum;
            error.localizedDescription = "The requested resource exceeds the maximum size allowed.";
            break;
        default:
            error.code = TransportError::Unknown;
            error.localizedDescription = curl_easy_strerror(code);
            break;
        }
        return error;
    }

    // Everything one transfer needs while curl runs it. Owned by the network
    // thread's table; the app side holds only `Shared`.
    struct Transfer {
        struct Shared {
            ExchangeCallbacks callbacks;
            CertificateProbeCallback probeDone; ///< set for a certificate probe only
            RunLoop* loop { nullptr };
            std::atomic<bool> cancelled { false };
        };

        EasyHandle easy;
        HeaderList headerList;
        HttpRequest request;
        std::shared_ptr<Shared> shared;
        HttpHeaders responseHeaders;
        std::string syncBody; // used by synchronous sends only
        std::size_t bodyBytes { 0 };
        std::size_t maximumBodyBytes { 0 };
        bool synchronous { false };
        bool probe { false };
        bool overflowed { false };
        /// Times the request was about to go out; see onPrerequest.
        int attempts { 0 };

        template<typename F> void post(F&& function)
        {
            if (synchronous)
                return;
            shared->loop->post([shared = shared, function = std::forward<F>(function)]() mutable {
                if (!shared->cancelled.load())
                    function(*shared);
            });
        }
    };

    std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto& transfer = *static_cast<Transfer*>(user);
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.rfind("HTTP/", 0) == 0) {
            transfer.responseHeaders.clear();
            transfer.bodyBytes = 0;
            transfer.syncBody.clear();
        } else if (line.empty()) {
            long status = 0;
            curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
            transfer.post([status, headers = transfer.responseHeaders](Transfer::Shared& shared) {
                if (shared.callbacks.onResponse)
                    shared.callbacks.onResponse(static_cast<int>(status), headers);
            });
        } else if (auto colon = line.find(':'); colon != std::string::npos) {
            std::size_t valueStart = line.find_first_not_of(" \t", colon + 1);
            transfer.responseHeaders.emplace_back(
                line.substr(0, colon), valueStart == std::string::npos ? std::string() : line.substr(valueStart));
        }
        return size * count;
    }

    std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto& transfer = *static_cast<Transfer*>(user);
        std::size_t bytes = size * count;
        transfer.bodyBytes += bytes;
        if (transfer.bodyBytes > transfer.maximumBodyBytes) {
            transfer.overflowed = true;
            return 0; // makes curl stop with CURLE_WRITE_ERROR
        }
        if (transfer.synchronous) {
            transfer.syncBody.append(data, bytes);
        } else {
            transfer.post([chunk = std::string(data, bytes)](Transfer::Shared& shared) {
                if (shared.callbacks.onData)
                    shared.callbacks.onData(chunk);
            });
        }
        return bytes;
    }

    // curl sends a request again, on another connection, when a reused one
    // closes before any answer. The service may have got the request and
    // acted on it, and with several idle connections to a service that
    // went away one refresh reached it four times at once: a request is
    // sent once, and a connection lost is reported as such.
    constexpr long maximumIdleSecondsOfAConnection = 3;

    int onPrerequest(void* user, char*, char*, int, int)
    {
        auto& transfer = *static_cast<Transfer*>(user);
        return ++transfer.attempts == 1 ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
    }

    /// What ended a transfer, as the app is told it.
    TransportError failureOf(const Transfer& transfer, CURLcode code)
    {
        if (transfer.overflowed)
            code = CURLE_FILESIZE_EXCEEDED;
        else if (code == CURLE_ABORTED_BY_CALLBACK && transfer.attempts > 1)
            code = CURLE_GOT_NOTHING;
        return errorFor(code, transfer.request.url);
    }

    void configure(Transfer& transfer, const ServerTrust& trust)
    {
        CURL* easy = transfer.easy.get();
        const HttpRequest& request = transfer.request;
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutSeconds * 1000));
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onPrerequest);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
        // Without the silent second attempt, a connection the service is
        // about to close for idleness must not be taken: services close
        // idle connections after a few seconds (ours after 5), and a request
        // sent as it closes would be lost.
        curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, maximumIdleSecondsOfAConnection);

        if (request.method == "POST") {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        } else if (request.method != "GET") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        }

        curl_slist* list = nullptr;
        for (const auto& [name, value] : request.headers)
            list = curl_slist_append(list, (name + ": " + value).c_str());
        // No "Expect: 100-continue" round trip; and no client-side caching exists.
        list = curl_slist_append(list, "Expect:");
        list = curl_slist_append(list, "Cache-Control: no-cache");
        transfer.headerList.reset(list);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);

        if (auto pin = trust.curlPin();
            pin && !trust.pinnedHost.empty() && hostOfURL(request.url) == trust.pinnedHost) {
            // The service host is trusted by its key alone, whatever signed it.
            curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, pin->c_str());
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        }
    }

    /// A probe's connection: a TLS handshake that trusts nothing and keeps
    /// the certificate chain, and no request.
    void configureProbe(Transfer& transfer, double timeoutSeconds)
    {
        CURL* easy = transfer.easy.get();
        curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutSeconds * 1000));
        curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(easy, CURLOPT_CERTINFO, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        // A connection of its own, which no later request reuses.
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    }

    /// What the probe's handshake showed: the first certificate of the chain.
    CertificateProbeResult probeResultOf(const Transfer& transfer, CURLcode code)
    {
        CertificateProbeResult result;
        if (code != CURLE_OK) {
            result.error = failureOf(transfer, code);
            return result;
        }
        std::optional<CertificateIdentity> identity;
        curl_certinfo* chain = nullptr;
        if (curl_easy_getinfo(transfer.easy.get(), CURLINFO_CERTINFO, &chain) == CURLE_OK && chain
            && chain->num_of_certs > 0) {
            for (curl_slist* item = chain->certinfo[0]; item && !identity; item = item->next) {
                if (std::strncmp(item->data, "Cert:", 5) == 0)
                    identity = identityOfCertificate(item->data + 5);
            }
        }
        if (!identity) {
            result.error = { TransportError::SecureConnectionFailed, "The server showed no readable certificate.",
                transfer.request.url };
            return result;
        }
        result.ok = true;
        result.publicKeyPin = std::move(identity->publicKeyPin);
        result.subjectName = std::move(identity->subjectName);
        return result;
    }

    /// The host name compared as hostOfURL gives it: in lower case.
    ServerTrust normalised(ServerTrust trust)
    {
        std::transform(trust.pinnedHost.begin(), trust.pinnedHost.end(), trust.pinnedHost.begin(),
            [](unsigned char c) { return std::tolower(c); });
        return trust;
    }

}

struct CurlTransport::Impl {
    ServerTrust trust;
    std::size_t maximumBodyBytes { 64u * 1024 * 1024 };

    CURLM* multi { nullptr };
    std::thread thread;
    std::once_flag started;
    bool networkStarted { false };
    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> incoming;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> running;
    bool stopping { false };

    /// Opens curl and starts the network thread on the first request; false
    /// when curl cannot be opened.
    bool start();
    void networkLoop();
    void adoptIncoming();
    void dropCancelled();
    void finish(CURL* easy, CURLcode result);
};

namespace {

    // An exchange may outlive its transport: an answer still awaited when
    // the app quits is cancelled as the run loop lets go of its request,
    // after the transport is gone. It then has no network thread to wake.
    class CurlExchange final : public Exchange {
    public:
        CurlExchange(std::shared_ptr<Transfer::Shared> shared, std::weak_ptr<CurlTransport::Impl> impl)
            : m_shared(std::move(shared))
            , m_impl(std::move(impl))
        {
        }
        ~CurlExchange() override { cancel(); }
        void cancel() override
        {
            if (m_shared->cancelled.exchange(true))
                return;
            if (auto impl = m_impl.lock())
                curl_multi_wakeup(impl->multi);
        }

    private:
        std::shared_ptr<Transfer::Shared> m_shared;
        std::weak_ptr<CurlTransport::Impl> m_impl;
    };

}

CurlTransport::CurlTransport(ServerTrust trust)
    : m_impl(std::make_shared<Impl>())
{
    m_impl->trust = normalised(std::move(trust));
}

bool CurlTransport::Impl::start()
{
    std::call_once(started, [this] {
        if (curl::library().open())
            return;
        initialiseCurlOnce();
        multi = curl_multi_init();
        thread = std::thread([this] { networkLoop(); });
        networkStarted = true;
    });
    return networkStarted;
}

CurlTransport::~CurlTransport()
{
    if (!m_impl->networkStarted)
        return; // curl was never needed
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    curl_multi_wakeup(m_impl->multi);
    m_impl->thread.join();
    for (auto& [easy, transfer] : m_impl->running)
        curl_multi_remove_handle(m_impl->multi, easy);
    m_impl->running.clear();
    curl_multi_cleanup(m_impl->multi);
}

void CurlTransport::setMaximumBodyBytes(std::size_t bytes)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->maximumBodyBytes = bytes;
}

namespace {

    // A transfer whose answer goes to the run loop of the calling thread;
    // none when curl cannot make a handle.
    std::unique_ptr<Transfer> newTransfer()
    {
        auto transfer = std::make_unique<Transfer>();
        transfer->easy.reset(curl_easy_init());
        if (!transfer->easy)
            return nullptr;
        transfer->shared = std::make_shared<Transfer::Shared>();
        transfer->shared->loop = &RunLoop::current();
        return transfer;
    }

    // Hands the transfer to the network thread; `prepare` runs under the
    // transport's lock, for what reads its settings.
    std::shared_ptr<Exchange> enqueue(const std::shared_ptr<CurlTransport::Impl>& impl,
        std::unique_ptr<Transfer> transfer, const std::function<void(Transfer&)>& prepare)
    {
        auto shared = transfer->shared;
        {
            std::lock_guard lock(impl->mutex);
            prepare(*transfer);
            impl->incoming.push_back(std::move(transfer));
        }
        curl_multi_wakeup(impl->multi);
        return std::make_shared<CurlExchange>(std::move(shared), impl);
    }

}

std::shared_ptr<Exchange> CurlTransport::start(const HttpRequest& request, ExchangeCallbacks callbacks)
{
    if (!m_impl->start())
        return nullptr;
    auto transfer = newTransfer();
    if (!transfer)
        return nullptr;
    transfer->request = request;
    transfer->shared->callbacks = std::move(callbacks);
    return enqueue(m_impl, std::move(transfer), [this](Transfer& prepared) {
        prepared.maximumBodyBytes = m_impl->maximumBodyBytes;
        configure(prepared, m_impl->trust);
    });
}

std::shared_ptr<Exchange> CurlTransport::probeCertificate(
    const std::string& host, int port, double timeoutSeconds, CertificateProbeCallback done)
{
    if (!m_impl->start())
        return nullptr;
    auto transfer = newTransfer();
    if (!transfer)
        return nullptr;
    bool literalIPv6 = host.find(':') != std::string::npos && host.front() != '[';
    transfer->request.url = "https://" + (literalIPv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
    transfer->probe = true;
    transfer->shared->probeDone = std::move(done);
    configureProbe(*transfer, timeoutSeconds);
    return enqueue(m_impl, std::move(transfer), [](Transfer&) {});
}

void CurlTransport::setServerTrust(ServerTrust trust)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->trust = normalised(std::move(trust));
}

HttpResult CurlTransport::sendSynchronous(const HttpRequest& request)
{
    HttpResult result;
    if (auto missing = curl::library().open()) {
        result.error.code = TransportError::Unknown;
        result.error.failingURL = request.url;
        result.error.localizedDescription = *missing;
        return result;
    }
    initialiseCurlOnce();
    Transfer transfer;
    transfer.synchronous = true;
    transfer.easy.reset(curl_easy_init());
    transfer.request = request;
    if (!transfer.easy) {
        result.error = errorFor(CURLE_FAILED_INIT, request.url);
        return result;
    }
    {
        std::lock_guard lock(m_impl->mutex);
        transfer.maximumBodyBytes = m_impl->maximumBodyBytes;
        configure(transfer, m_impl->trust);
    }
    CURLcode code = curl_easy_perform(transfer.easy.get());
    if (code != CURLE_OK) {
        result.error = failureOf(transfer, code);
        return result;
    }
    long status = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    result.ok = true;
    result.response.statusCode = static_cast<int>(status);
    result.response.headers = std::move(transfer.responseHeaders);
    result.response.body = std::move(transfer.syncBody);
    return result;
}

void CurlTransport::Impl::adoptIncoming()
{
    std::deque<std::unique_ptr<Transfer>> batch;
    {
        std::lock_guard lock(mutex);
        batch.swap(incoming);
    }
    for (auto& transfer : batch) {
        CURL* easy = transfer->easy.get();
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            transfer->post([url = transfer->request.url](Transfer::Shared& shared) {
                if (shared.probeDone)
                    shared.probeDone({ false, {}, {}, errorFor(CURLE_FAILED_INIT, url) });
                else if (shared.callbacks.onFailure)
                    shared.callbacks.onFailure(errorFor(CURLE_FAILED_INIT, url));
            });
            continue;
        }
        running.emplace(easy, std::move(transfer));
    }
}

void CurlTransport::Impl::dropCancelled()
{
    for (auto it = running.begin(); it != running.end();) {
        if (it->second->shared->cancelled.load()) {
            curl_multi_remove_handle(multi, it->first);
            it = running.erase(it);
        } else {
            ++it;
        }
    }
}

void CurlTransport::Impl::finish(CURL* easy, CURLcode result)
{
    auto it = running.find(easy);
    if (it == running.end())
        return;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    running.erase(it);
    curl_multi_remove_handle(multi, easy);
    if (transfer->probe) {
        transfer->post([probed = probeResultOf(*transfer, result)](Transfer::Shared& shared) {
            if (shared.probeDone)
                shared.probeDone(probed);
        });
        return;
    }
    if (result == CURLE_OK) {
        transfer->post([](Transfer::Shared& shared) {
            if (shared.callbacks.onFinish)
                shared.callbacks.onFinish();
        });
    } else {
        TransportError error = failureOf(*transfer, result);
        transfer->post([error](Transfer::Shared& shared) {
            if (shared.callbacks.onFailure)
                shared.callbacks.onFailure(error);
        });
    }
}

void CurlTransport::Impl::networkLoop()
{
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
        }
        adoptIncoming();
        dropCancelled();
        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                finish(message->easy_handle, message->data.result);
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
}

}
