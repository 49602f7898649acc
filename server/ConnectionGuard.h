#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <openssl/ssl.h>

namespace hestio::sim {

/// What one client may hold of the service.
struct ConnectionLimits {
    /// Time for a whole request, headers and body, counted from the
    /// connection's start or from the end of the previous answer.
    std::chrono::milliseconds requestDeadline { 10'000 };
    /// Connections one peer address may have open at once; more are refused.
    size_t maxConnectionsPerClient { 24 };
    /// Connections open at once from all addresses, kept below the workers
    /// so that some are always free for the next client. At the cap, a new
    /// connection is let in and the address holding the most loses the
    /// connection of its that has waited longest for a request.
    size_t maxOpenConnections { 96 };
    /// Bytes a connection may send, TLS records included, for one request.
    size_t maxRequestBytes { 512 * 1024 };
};

/// Watches the connections of one TLS context: refuses a client's connection
/// beyond its share, makes room at the overall cap by cutting the longest
/// waiting connection of the greediest address, and cuts a connection whose
/// request runs past its deadline or past its byte allowance. Each connection keeps a worker thread while it
/// is open, so these bounds are what keeps slow or greedy clients from
/// starving everybody else.
class ConnectionGuard {
public:
    explicit ConnectionGuard(ConnectionLimits limits);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    /// Watches every connection `context` accepts from now on. The guard must
    /// outlive the context's connections.
    void watch(SSL_CTX* context);

    /// The request on `ssl` has fully arrived: no deadline runs while it is
    /// answered, and the next request gets a fresh byte allowance.
    void requestReceived(const SSL* ssl);
    /// The answer on `ssl` has been written: the next request has a fresh
    /// deadline from now. (Each write of the answer has its own timeout in
    /// the server, so a client that stops reading still lets go.)
    void answerSent(const SSL* ssl);
    /// Nothing more is read from `ssl`; the reply being written still goes
    /// out, and the connection is cut soon after. For refusals that leave a
    /// body unread.
    void stopReading(const SSL* ssl);

    /// Whether the connection this thread serves was just cut for sending
    /// more than its allowance; asking clears the answer. (The server reads a
    /// cut request as a broken one, before it knows the request's connection.)
    static bool takeCutForSize();

    [[nodiscard]] size_t openConnections() const;
    const ConnectionLimits& limits() const { return m_limits; }

private:
    struct Connection;

    static void onInfo(const SSL* ssl, int where, int result);
    static long onRead(
        BIO* bio, int operation, const char* data, size_t length, int argi, long argl, int result, size_t* processed);
    static void onFree(void* parent, void* pointer, CRYPTO_EX_DATA* data, int index, long argl, void* argp);
    static int connectionIndex();
    [[nodiscard]] static Connection* connectionOf(const SSL* ssl);

    void admit(SSL* ssl);
    void release(Connection* connection);
    /// Cuts one connection of the address holding the most. Under the mutex.
    void makeRoom();
    void watchdog();

    ConnectionLimits m_limits;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping { false };
    std::map<const Connection*, std::unique_ptr<Connection>> m_connections;
    std::map<std::string, size_t> m_perAddress;
    /// Connections open and not yet cut.
    size_t m_uncut { 0 };
    std::thread m_watchdog;
};

}
