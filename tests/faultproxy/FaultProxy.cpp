#include "FaultProxy.h"

#include <httplib.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

namespace hestio::faultproxy {

namespace {

    constexpr std::size_t maximumHeadBytes = 64 * 1024;
    constexpr std::size_t maximumBodyBytes = 16 * 1024 * 1024;

    std::mutex g_outputMutex;
    /// When the proxy started, with --log-times.
    std::optional<std::chrono::steady_clock::time_point> g_startedAt;

    void say(const std::string& line)
    {
        std::lock_guard lock(g_outputMutex);
        if (g_startedAt) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "[%.3f] ",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - *g_startedAt).count());
            std::cout << stamp;
        }
        std::cout << "fault-proxy: " << line << std::endl;
    }

    SSL_CTX* makeContext(const std::filesystem::path& certificate, const std::filesystem::path& key)
    {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        if (!context)
            return nullptr;
        if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1
            || SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1
            || SSL_CTX_check_private_key(context) != 1) {
            SSL_CTX_free(context);
            return nullptr;
        }
        return context;
    }

    bool writeAll(SSL* ssl, std::string_view bytes)
    {
        while (!bytes.empty()) {
            int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
            int written = SSL_write(ssl, bytes.data(), chunk);
            if (written <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    /// Reads one request: head and body. None when the client went away or
    /// sent something that is not HTTP.
    std::optional<std::pair<RequestHead, std::string>> readRequest(SSL* ssl)
    {
        std::string received;
        std::size_t headEnd = std::string::npos;
        char buffer[16384];
        while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
            if (received.size() > maximumHeadBytes)
                return std::nullopt;
            int count = SSL_read(ssl, buffer, sizeof buffer);
            if (count <= 0)
                return std::nullopt;
            received.append(buffer, static_cast<std::size_t>(count));
        }
        auto head = parseRequestHead(std::string_view(received).substr(0, headEnd));
        if (!head || head->contentLength > maximumBodyBytes)
            return std::nullopt;
        std::string body = received.substr(headEnd + 4);
        while (body.size() < head->contentLength) {
            int count = SSL_read(ssl, buffer, sizeof buffer);
            if (count <= 0)
                return std::nullopt;
            body.append(buffer, static_cast<std::size_t>(count));
        }
        body.resize(head->contentLength);
        return std::make_pair(std::move(*head), std::move(body));
    }

}

struct FaultProxy::Tls {
    SSL_CTX* own { nullptr };
    SSL_CTX* other { nullptr };
    ~Tls()
    {
        SSL_CTX_free(own);
        SSL_CTX_free(other);
    }
};

FaultProxy::FaultProxy(ProxyOptions options)
    : m_options(std::move(options))
    , m_tls(std::make_unique<Tls>())
    , m_selector(m_options.pattern, m_options.count, m_options.every)
    , m_delays(m_options.delaySeconds.empty() ? std::vector<double> { m_options.fault == Fault::Delay ? 3.0 : 0.0 }
                                              : m_options.delaySeconds)
{
    if (m_options.logTimes)
        g_startedAt = std::chrono::steady_clock::now();
}

FaultProxy::~FaultProxy()
{
    if (m_listening >= 0)
        ::close(m_listening);
}

int FaultProxy::bind()
{
    m_tls->own = makeContext(m_options.certificate, m_options.privateKey);
    if (!m_tls->own) {
        std::cerr << "hestio-fault-proxy: cannot use " << m_options.certificate << " and its key" << std::endl;
        return -1;
    }
    if (m_options.fault == Fault::WrongCertificate) {
        m_tls->other = makeContext(m_options.otherCertificate, m_options.otherPrivateKey);
        if (!m_tls->other) {
            std::cerr << "hestio-fault-proxy: wrong-certificate needs --other-certificate and --other-key" << std::endl;
            return -1;
        }
    }
    m_listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listening < 0)
        return -1;
    int yes = 1;
    ::setsockopt(m_listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(m_options.listenPort));
    if (::bind(m_listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listening, 128) != 0) {
        std::cerr << "hestio-fault-proxy: cannot listen on 127.0.0.1:" << m_options.listenPort << ": "
                  << std::strerror(errno) << std::endl;
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listening, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void FaultProxy::run()
{
    while (!m_stopping) {
        int socket = ::accept4(m_listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        std::thread([this, socket] { serve(socket); }).detach();
    }
}

void FaultProxy::stop()
{
    m_stopping = true;
    ::shutdown(m_listening, SHUT_RDWR);
}

bool FaultProxy::clientWaits(int socket, double seconds, bool handshakePending) const
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!m_stopping && std::chrono::steady_clock::now() < until) {
        // A client waiting for its reply sends nothing more: anything to read
        // is its closing alert or the end of the connection. Before the
        // handshake its greeting is there to read, so only a hang-up counts.
        pollfd watched { socket, static_cast<short>(handshakePending ? POLLRDHUP : POLLIN | POLLRDHUP), 0 };
        if (::poll(&watched, 1, 50) > 0)
            return false;
    }
    return true;
}

bool FaultProxy::spoilHandshake(int socket)
{
    if (!m_options.atHandshake || !m_selector.take("TLS handshake"))
        return true;
    say("TLS handshake -> " + std::string(nameOf(m_options.fault)));
    double wait = m_delays.next();
    if (m_options.fault == Fault::Delay) {
        if (clientWaits(socket, wait > 0 ? wait : 3, true))
            return true;
        say("the client closed its connection while its handshake was delayed");
    } else if (m_options.fault == Fault::Stall) {
        clientWaits(socket, m_options.stallSeconds, true);
    } else if (wait > 0) {
        clientWaits(socket, wait, true);
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return false;
}

void FaultProxy::serve(int socket)
{
    if (!spoilHandshake(socket))
        return;
    bool otherIdentity = m_options.fault == Fault::WrongCertificate && m_selector.takeConnection();
    SSL* ssl = SSL_new(otherIdentity ? m_tls->other : m_tls->own);
    SSL_set_fd(ssl, socket);
    auto finish = [&](bool politely) {
        if (politely)
            SSL_shutdown(ssl);
        SSL_free(ssl);
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
    };
    // The client may finish the handshake and only then refuse the
    // certificate (a pin is checked afterwards), so the connection counts
    // as spoiled either way.
    if (otherIdentity)
        say("a connection shown the other certificate -> wrong-certificate");
    if (SSL_accept(ssl) != 1) {
        ERR_clear_error();
        finish(false);
        return;
    }
    auto request = readRequest(ssl);
    if (!request) {
        finish(false);
        return;
    }
    const auto& [head, body] = *request;
    std::string text = head.method + " " + head.target + (body.empty() ? "" : " " + body);
    bool spoil = m_options.fault != Fault::Pass && m_options.fault != Fault::WrongCertificate && m_selector.take(text);
    Fault fault = spoil ? m_options.fault : Fault::Pass;
    say(head.method + " " + head.target + " -> " + std::string(nameOf(fault))
        + (m_options.logBodies && !body.empty() ? " " + body : ""));

    // A slow network: the request reaches the service only after the wait,
    // and not at all when the client gave up on it meanwhile.
    if (double wait = spoil ? m_delays.next() : 0; wait > 0 && !clientWaits(socket, wait)) {
        say("the client closed " + head.target + " while it was delayed; not forwarded");
        finish(false);
        return;
    }

    switch (fault) {
    case Fault::Drop:
        finish(false);
        return;
    case Fault::Stall: {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(m_options.stallSeconds);
        while (!m_stopping && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finish(false);
        return;
    }
    case Fault::InvalidJson:
        writeAll(ssl, responseBytes(invalidJsonReply()));
        finish(true);
        return;
    case Fault::HtmlError:
        writeAll(ssl, responseBytes(htmlErrorReply()));
        finish(true);
        return;
    case Fault::EmptyBody:
        writeAll(ssl, responseBytes(emptyReply()));
        finish(true);
        return;
    case Fault::Nested:
        writeAll(ssl, responseBytes(nestedReply(m_options.nestingDepth)));
        finish(true);
        return;
    default:
        break;
    }

    httplib::SSLClient client(m_options.upstreamHost, m_options.upstreamPort);
    client.enable_server_certificate_verification(false);
    client.set_url_encode(false);
    client.set_connection_timeout(5);
    client.set_read_timeout(60);
    httplib::Request forwarded;
    forwarded.method = head.method;
    forwarded.path = head.target;
    for (const auto& [name, value] : head.headers) {
        if (name != "host" && name != "content-length" && name != "connection" && name != "accept-encoding"
            && name != "transfer-encoding")
            forwarded.headers.emplace(name, value);
    }
    forwarded.body = body;
    auto result = client.send(forwarded);
    if (!result) {
        // The service is not there: the client sees the connection end.
        say("the service did not answer " + head.target);
        finish(false);
        return;
    }
    Reply upstream { result->status, result->get_header_value("Content-Type"), result->body };
    if (fault == Fault::Truncated) {
        writeAll(ssl, truncatedResponseBytes(upstream));
        finish(false);
        return;
    }
    if (fault == Fault::Rewrite) {
        RewrittenBody rewritten = rewriteNumbers(upstream.body, m_options.rewrites);
        say("rewrote " + std::to_string(rewritten.replaced) + " values in the reply to "
            + head.target.substr(0, head.target.find('?')));
        upstream.body = std::move(rewritten.body);
    }
    writeAll(ssl, responseBytes(fault == Fault::Huge ? hugeReply(upstream, m_options.hugeBytes) : upstream));
    finish(true);
}

}
