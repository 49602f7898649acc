// CurlTransport against a plain-HTTP server on the loopback interface.
#include "platform/http/CurlTransport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace hestio::platform;

namespace {

class LoopbackServer {
public:
    LoopbackServer()
    {
        m_server.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
            response.status = 201;
            response.set_content(
                "len=" + request.get_header_value("Content-Length") + " body=" + request.body, "application/json");
        });
        m_server.Get("/query", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(
                "cache=" + request.get_header_value("Cache-Control") + " target=" + request.target, "text/plain");
        });
        m_server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            response.set_content("late", "text/plain");
        });
        m_server.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(20000, 'x'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer()
    {
        m_server.stop();
        m_thread.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    httplib::Server m_server;
    int m_port { 0 };
    std::thread m_thread;
};

/// A bare HTTP/1.1 server on the loopback interface that answers "ok" and
/// keeps the connection open, except to a request for /close, which it
/// counts and then closes the connection without a word.
class ClosingServer {
public:
    ClosingServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, 8);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ClosingServer()
    {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    int closesSeen() const { return m_closes; }

private:
    /// One connection at a time, as many requests on it as come.
    void serve()
    {
        while (!m_stopping) {
            pollfd waiting { m_listener, POLLIN, 0 };
            if (::poll(&waiting, 1, 20) <= 0)
                continue;
            int connection = ::accept(m_listener, nullptr, nullptr);
            std::string received;
            char buffer[4096];
            for (;;) {
                pollfd readable { connection, POLLIN, 0 };
                if (m_stopping || ::poll(&readable, 1, 20) < 0)
                    break;
                if (readable.revents == 0)
                    continue;
                ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                received.append(buffer, static_cast<std::size_t>(got));
                auto end = received.find("\r\n\r\n");
                if (end == std::string::npos)
                    continue;
                bool closing = received.rfind("GET /close ", 0) == 0;
                received.erase(0, end + 4);
                if (closing) {
                    ++m_closes;
                    break;
                }
                const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
                ::send(connection, answer, sizeof answer - 1, MSG_NOSIGNAL);
            }
            ::close(connection);
        }
    }

    int m_listener { -1 };
    int m_port { 0 };
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_closes { 0 };
    std::thread m_thread;
};

struct Outcome {
    int status { 0 };
    std::string body;
    std::optional<TransportError> error;
    bool finished { false };
};

// Runs one exchange on a real-clock run loop until it ends (or 10 s pass).
Outcome exchange(CurlTransport& transport, HttpRequest request)
{
    RunLoop loop(SystemClock::shared());
    CurrentRunLoopScope scope(loop);
    Outcome outcome;
    auto running = transport.start(request,
        {
            [&](int status, const HttpHeaders&) {
                outcome.status = status;
                outcome.body.clear();
            },
            [&](std::string_view chunk) { outcome.body.append(chunk); },
            [&] {
                outcome.finished = true;
                loop.stop();
            },
            [&](const TransportError& error) {
                outcome.error = error;
                loop.stop();
            },
        });
    loop.postDelayed(10, [&] { loop.stop(); });
    loop.run();
    return outcome;
}

}

TEST(CurlTransport, PostsBodyWithLengthAndCollectsTheAnswer)
{
    LoopbackServer server;
    CurlTransport transport;
    HttpRequest request { "POST", server.url("/echo"), { { "Content-Length", "9" } }, "a=1&b=2 c" };
    Outcome outcome = exchange(transport, request);
    ASSERT_FALSE(outcome.error) << outcome.error->localizedDescription;
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.status, 201);
    EXPECT_EQ(outcome.body, "len=9 body=a=1&b=2 c");

    HttpResult result = transport.sendSynchronous({ "GET", server.url("/query?token=T&count=5&token=T") });
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.response.body, "cache=no-cache target=/query?token=T&count=5&token=T");
}

TEST(CurlTransport, TransportFailuresCarryTheirCodeAndURL)
{
    LoopbackServer server;
    CurlTransport transport;

    HttpRequest slow { "GET", server.url("/slow") };
    slow.timeoutSeconds = 0.3;
    Outcome timedOut = exchange(transport, slow);
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->code, TransportError::TimedOut);
    EXPECT_EQ(timedOut.error->localizedDescription, "The request timed out.");
    EXPECT_EQ(timedOut.error->failingURL, slow.url);

    transport.setMaximumBodyBytes(1000);
    Outcome tooBig = exchange(transport, { "GET", server.url("/big") });
    ASSERT_TRUE(tooBig.error);
    EXPECT_EQ(tooBig.error->code, TransportError::DataLengthExceedsMaximum);
    EXPECT_EQ(
        transport.sendSynchronous({ "GET", server.url("/big") }).error.code, TransportError::DataLengthExceedsMaximum);
}

TEST(CurlTransport, RefusedConnectionAndCancel)
{
    std::string closedPort;
    {
        LoopbackServer gone;
        closedPort = gone.url("/echo");
    }
    CurlTransport transport;
    Outcome refused = exchange(transport, { "GET", closedPort });
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, TransportError::CannotConnectToHost);

    LoopbackServer server;
    RunLoop loop(SystemClock::shared());
    CurrentRunLoopScope scope(loop);
    bool called = false;
    auto running = transport.start({ "GET", server.url("/slow") },
        { [&](int, const HttpHeaders&) { called = true; }, {}, [&] { called = true; },
            [&](const TransportError&) { called = true; } });
    running->cancel();
    loop.postDelayed(0.2, [&] { loop.stop(); });
    loop.run();
    EXPECT_FALSE(called) << "no callback follows a cancel";
}

TEST(CurlTransport, AnExchangeOutlivingItsTransportCancelsHarmlessly)
{
    // As when the app quits while an answer is awaited: the transport goes
    // first, the request holding the exchange after it.
    LoopbackServer server;
    RunLoop loop(SystemClock::shared());
    CurrentRunLoopScope scope(loop);
    bool called = false;
    std::shared_ptr<Exchange> running;
    {
        CurlTransport transport;
        running = transport.start({ "GET", server.url("/slow") },
            { [&](int, const HttpHeaders&) { called = true; }, {}, [&] { called = true; },
                [&](const TransportError&) { called = true; } });
    }
    running->cancel();
    running.reset();
    loop.postDelayed(0.1, [&] { loop.stop(); });
    loop.run();
    EXPECT_FALSE(called);
}

TEST(CurlTransport, AConnectionClosedBeforeTheAnswerIsOneAttemptAndReportedAsLost)
{
    ClosingServer server;
    CurlTransport transport;
    // The first exchange leaves its connection open for the next one.
    Outcome kept = exchange(transport, { "GET", server.url("/ok") });
    ASSERT_FALSE(kept.error) << kept.error->localizedDescription;
    EXPECT_EQ(kept.body, "ok");

    Outcome lost = exchange(transport, { "GET", server.url("/close") });
    ASSERT_TRUE(lost.error);
    EXPECT_EQ(lost.error->code, TransportError::NetworkConnectionLost);
    EXPECT_EQ(lost.error->localizedDescription, "The network connection was lost.");
    EXPECT_EQ(server.closesSeen(), 1) << "the service heard the request once";
}
