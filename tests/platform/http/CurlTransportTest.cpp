// CurlTransport against a plain-HTTP server on the loopback interface.
#include "platform/http/CurlTransport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>
#include <httplib.h>

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
