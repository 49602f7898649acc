#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace hestio::sim::test {

/// A TLS connection to a loopback port that writes exactly the bytes a test
/// gives it, at the pace the test chooses: for clients that misbehave.
/// Every read and write waits at most `timeout`. `from` is the loopback
/// address it connects from (any of 127.0.0.0/8), for clients that stand
/// for different machines.
class RawTlsClient {
public:
    explicit RawTlsClient(
        int port, std::chrono::milliseconds timeout = std::chrono::seconds(5), const char* from = nullptr)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        if (from) {
            sockaddr_in source {};
            source.sin_family = AF_INET;
            inet_pton(AF_INET, from, &source.sin_addr);
            if (::bind(m_socket, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)
                return;
        }
        timeval wait { static_cast<time_t>(timeout.count() / 1000),
            static_cast<suseconds_t>(timeout.count() % 1000 * 1000) };
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        m_context = SSL_CTX_new(TLS_client_method());
        m_ssl = SSL_new(m_context);
        SSL_set_fd(m_ssl, m_socket);
        m_connected = SSL_connect(m_ssl) == 1;
    }
    ~RawTlsClient()
    {
        if (m_ssl)
            SSL_free(m_ssl);
        if (m_context)
            SSL_CTX_free(m_context);
        if (m_socket >= 0)
            ::close(m_socket);
        ERR_clear_error();
    }
    RawTlsClient(const RawTlsClient&) = delete;
    RawTlsClient& operator=(const RawTlsClient&) = delete;

    /// True once the TLS handshake has completed.
    bool connected() const { return m_connected; }

    /// Whether the server has closed or cut the connection, seen without waiting.
    bool closedByServer() const
    {
        pollfd p { m_socket, POLLIN | POLLRDHUP, 0 };
        return !m_connected || (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0);
    }

    /// Writes all of `data`; false when the server closed, refused or stalled.
    bool send(std::string_view data)
    {
        if (!m_connected)
            return false;
        size_t written = 0;
        while (written < data.size()) {
            int n = SSL_write(m_ssl, data.data() + written, static_cast<int>(data.size() - written));
            if (n <= 0) {
                m_connected = false;
                return false;
            }
            written += static_cast<size_t>(n);
        }
        return true;
    }

    /// Reads until the server closes the connection or `wait` passes.
    /// Returns what arrived; `closed` tells whether the server closed.
    std::string readUntilClosed(std::chrono::milliseconds wait, bool* closed = nullptr)
    {
        std::string text = std::move(m_pending);
        m_pending.clear();
        auto deadline = std::chrono::steady_clock::now() + wait;
        bool ended = false;
        while (m_ssl && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            int n = SSL_read(m_ssl, buffer, sizeof buffer);
            if (n > 0) {
                text.append(buffer, static_cast<size_t>(n));
                continue;
            }
            int error = SSL_get_error(m_ssl, n);
            if (error == SSL_ERROR_WANT_READ && (errno == EAGAIN || errno == EWOULDBLOCK))
                continue; // the read timed out; try again until the deadline
            ended = true;
            break;
        }
        if (ended)
            m_connected = false;
        if (closed)
            *closed = ended;
        return text;
    }

    /// Reads one whole reply (headers and a Content-Length body) within
    /// `wait`; empty when none came.
    std::string readReply(std::chrono::milliseconds wait)
    {
        auto deadline = std::chrono::steady_clock::now() + wait;
        while (m_ssl && std::chrono::steady_clock::now() < deadline) {
            size_t end = m_pending.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t length = 0;
                size_t field = m_pending.find("Content-Length: ");
                if (field != std::string::npos && field < end)
                    length = std::stoul(m_pending.substr(field + 16));
                if (m_pending.size() >= end + 4 + length) {
                    std::string reply = m_pending.substr(0, end + 4 + length);
                    m_pending.erase(0, end + 4 + length);
                    return reply;
                }
            }
            char buffer[4096];
            int n = SSL_read(m_ssl, buffer, sizeof buffer);
            if (n > 0) {
                m_pending.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (SSL_get_error(m_ssl, n) == SSL_ERROR_WANT_READ && (errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            m_connected = false;
            break;
        }
        return {};
    }

private:
    std::string m_pending;
    int m_socket { -1 };
    SSL_CTX* m_context { nullptr };
    SSL* m_ssl { nullptr };
    bool m_connected { false };
};

}
