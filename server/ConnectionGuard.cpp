#include "ConnectionGuard.h"
#include "ListenAddress.h"

#include <algorithm>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace hestio::sim {

using Clock = std::chrono::steady_clock;

namespace {
    /// Set on a worker thread whose connection sent more than its allowance.
    thread_local bool t_cutForSize = false;

    /// Time for a refusal to go out before its connection is cut.
    constexpr auto kLingerAfterRefusal = std::chrono::milliseconds(500);
}

struct ConnectionGuard::Connection {
    ConnectionGuard* guard;
    int socket;
    std::string address;
    /// Under the guard's mutex: the watchdog reads them.
    Clock::time_point deadline;
    /// When the connection began or its last answer went out.
    Clock::time_point waitingSince;
    /// Between a request's arrival and the end of its answer: the service,
    /// not the client, is the one taking time, so no deadline runs.
    bool answering { false };
    bool cut { false };
    /// Touched only by the connection's own worker thread.
    size_t bytesThisRequest { 0 };
    bool readingStopped { false };
};

namespace {
    std::string peerAddress(int socket)
    {
        sockaddr_storage peer {};
        socklen_t length = sizeof peer;
        if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            return "unknown";
        char text[INET6_ADDRSTRLEN] = {};
        if (peer.ss_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, text, sizeof text);
        else if (peer.ss_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr, text, sizeof text);
        return canonicalPeerAddress(text);
    }
}

ConnectionGuard::ConnectionGuard(ConnectionLimits limits)
    : m_limits(limits)
    , m_watchdog([this] { watchdog(); })
{
}

ConnectionGuard::~ConnectionGuard()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watchdog.join();
}

int ConnectionGuard::connectionIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, &ConnectionGuard::onFree);
    return index;
}

ConnectionGuard::Connection* ConnectionGuard::connectionOf(const SSL* ssl)
{
    return ssl ? static_cast<Connection*>(SSL_get_ex_data(ssl, connectionIndex())) : nullptr;
}

void ConnectionGuard::watch(SSL_CTX* context)
{
    connectionIndex();
    SSL_CTX_set_app_data(context, this);
    SSL_CTX_set_info_callback(context, &ConnectionGuard::onInfo);
    // A renegotiation would start a second handshake on a watched connection.
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
}

void ConnectionGuard::onInfo(const SSL* ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_START) || connectionOf(ssl))
        return;
    auto* guard = static_cast<ConnectionGuard*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (guard)
        guard->admit(const_cast<SSL*>(ssl));
}

void ConnectionGuard::admit(SSL* ssl)
{
    t_cutForSize = false;
    int socket = SSL_get_fd(ssl);
    if (socket < 0)
        return;
    std::string address = peerAddress(socket);
    std::unique_lock lock(m_mutex);
    size_t& held = m_perAddress[address];
    if (held >= m_limits.maxConnectionsPerClient) {
        if (held == 0)
            m_perAddress.erase(address);
        lock.unlock();
        // The handshake fails and the server closes the socket.
        shutdown(socket, SHUT_RDWR);
        return;
    }
    ++held;
    if (m_uncut >= m_limits.maxOpenConnections)
        makeRoom();
    ++m_uncut;
    auto connection = std::make_unique<Connection>();
    connection->guard = this;
    connection->socket = socket;
    connection->address = std::move(address);
    connection->waitingSince = Clock::now();
    connection->deadline = connection->waitingSince + m_limits.requestDeadline;
    Connection* raw = connection.get();
    m_connections.emplace(raw, std::move(connection));
    lock.unlock();

    SSL_set_ex_data(ssl, connectionIndex(), raw);
    BIO* input = SSL_get_rbio(ssl);
    BIO_set_callback_arg(input, reinterpret_cast<char*>(raw));
    BIO_set_callback_ex(input, &ConnectionGuard::onRead);
}

long ConnectionGuard::onRead(BIO* bio, int operation, const char*, size_t, int, long, int result, size_t* processed)
{
    if (operation != (BIO_CB_READ | BIO_CB_RETURN) || result <= 0)
        return result;
    auto* connection = reinterpret_cast<Connection*>(BIO_get_callback_arg(bio));
    if (!connection)
        return result;
    if (connection->readingStopped)
        return -1;
    connection->bytesThisRequest += processed ? *processed : 0;
    if (connection->bytesThisRequest > connection->guard->m_limits.maxRequestBytes) {
        connection->readingStopped = true;
        t_cutForSize = true;
        return -1;
    }
    return result;
}

// Runs inside SSL_free, which the server calls before it closes the socket:
// once the connection is gone from the list, the watchdog can no longer shut
// down a socket number that a later connection may reuse.
void ConnectionGuard::onFree(void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*)
{
    if (auto* connection = static_cast<Connection*>(pointer))
        connection->guard->release(connection);
}

void ConnectionGuard::makeRoom()
{
    std::map<std::string, size_t> uncut;
    for (const auto& [key, connection] : m_connections)
        uncut[connection->address] += connection->cut ? 0 : 1;
    auto greediest = std::max_element(
        uncut.begin(), uncut.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    if (greediest == uncut.end())
        return;
    Connection* oldest = nullptr;
    for (const auto& [key, connection] : m_connections) {
        // One being answered is cut only when all of the address's are.
        if (!connection->cut && connection->address == greediest->first
            && (!oldest || (oldest->answering && !connection->answering)
                || (oldest->answering == connection->answering && connection->waitingSince < oldest->waitingSince)))
            oldest = connection.get();
    }
    if (!oldest)
        return;
    shutdown(oldest->socket, SHUT_RDWR);
    oldest->cut = true;
    --m_uncut;
}

void ConnectionGuard::release(Connection* connection)
{
    std::lock_guard lock(m_mutex);
    if (!connection->cut)
        --m_uncut;
    auto found = m_perAddress.find(connection->address);
    if (found != m_perAddress.end() && --found->second == 0)
        m_perAddress.erase(found);
    m_connections.erase(connection);
}

void ConnectionGuard::requestReceived(const SSL* ssl)
{
    Connection* connection = connectionOf(ssl);
    if (!connection)
        return;
    connection->bytesThisRequest = 0;
    std::lock_guard lock(m_mutex);
    connection->answering = true;
    connection->deadline = Clock::time_point::max();
}

void ConnectionGuard::answerSent(const SSL* ssl)
{
    Connection* connection = connectionOf(ssl);
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    connection->answering = false;
    connection->waitingSince = Clock::now();
    connection->deadline = connection->waitingSince + m_limits.requestDeadline;
}

void ConnectionGuard::stopReading(const SSL* ssl)
{
    Connection* connection = connectionOf(ssl);
    if (!connection)
        return;
    // Whatever the client sends next fails the read. If it sends nothing, the
    // connection is cut a moment after the reply instead of idling until the
    // keep-alive time runs out. (A shutdown for reading cannot serve here:
    // the server would take the socket for dead and not write the reply.)
    connection->readingStopped = true;
    std::lock_guard lock(m_mutex);
    connection->deadline = std::min(connection->deadline, Clock::now() + kLingerAfterRefusal);
}

bool ConnectionGuard::takeCutForSize()
{
    return std::exchange(t_cutForSize, false);
}

size_t ConnectionGuard::openConnections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections.size();
}

void ConnectionGuard::watchdog()
{
    // Deadlines are seconds long; a tenth of a second late is fine.
    constexpr auto kTick = std::chrono::milliseconds(100);
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kTick);
        Clock::time_point now = Clock::now();
        for (auto& [key, connection] : m_connections) {
            if (!connection->cut && connection->deadline <= now) {
                // The blocked read or write returns and the worker closes
                // the connection itself.
                shutdown(connection->socket, SHUT_RDWR);
                connection->cut = true;
                --m_uncut;
            }
        }
    }
}

}
