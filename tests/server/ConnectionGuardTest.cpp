#include "Crypto.h"
#include "HttpsServer.h"
#include "RawTlsClient.h"
#include "ServiceHarness.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <thread>

using namespace hestio::sim;
using namespace std::chrono_literals;
using hestio::sim::test::RawTlsClient;
using hestio::sim::test::ServiceHarness;

namespace {
/// The harness's service behind an HTTPS listener with the given limits.
struct GuardedServer {
    ServiceHarness sim;
    TlsIdentity identity;
    HttpsServer server;
    int port;
    std::thread thread;

    explicit GuardedServer(ConnectionLimits limits = {}, size_t threads = 8)
        : identity(loadOrCreateIdentity(sim.folder.path()))
        , server(*sim.service, identity, threads, limits)
        , port(server.bind(0))
        , thread([this] { server.run(); })
    {
    }
    ~GuardedServer()
    {
        server.stop();
        thread.join();
    }

    httplib::Result post(const std::string& path, const std::string& body, const std::string& type)
    {
        httplib::SSLClient client("127.0.0.1", port);
        client.enable_server_certificate_verification(false);
        client.set_read_timeout(10);
        return client.Post(path.c_str(), body, type.c_str());
    }

    /// Waits (a few seconds at most) until the server holds `count` connections.
    bool settlesAt(size_t count)
    {
        for (int i = 0; i < 500 && server.openConnections() != count; ++i)
            std::this_thread::sleep_for(10ms);
        return server.openConnections() == count;
    }
};

std::string signInRequest(const std::string& extraHeaders = "")
{
    std::string body = "name=demo&password=demo&token=(null)";
    return "POST /kivoraserver/session HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n"
        + extraHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

/// `count` connections from `from` that do nothing after their handshake;
/// empty (and a failed expectation) when one is not let in.
std::vector<std::unique_ptr<RawTlsClient>> holdConnections(int port, int count, const char* from = nullptr)
{
    std::vector<std::unique_ptr<RawTlsClient>> held;
    for (int i = 0; i < count; ++i) {
        held.push_back(std::make_unique<RawTlsClient>(port, 2s, from));
        if (!held.back()->connected()) {
            ADD_FAILURE() << "connection " << i << " from " << (from ? from : "127.0.0.1") << " was refused";
            return {};
        }
    }
    return held;
}

/// A sign-in body of exactly `size` bytes: the parameters, padded.
std::string signInBodyOfSize(size_t size)
{
    std::string body = "name=demo&password=demo&padding=";
    body.append(size - body.size(), 'p');
    return body;
}
}

TEST(ConnectionGuard, EveryContentTypeMayCarryTheWholeBodyLimitAndNotAByteMore)
{
    GuardedServer live;
    for (const char* type : { "application/x-www-form-urlencoded", "text/plain", "application/octet-stream" }) {
        std::string atLimit = signInBodyOfSize(HttpsServer::kMaxBodyBytes);
        ASSERT_EQ(atLimit.size(), 65536u);
        auto accepted = live.post("/kivoraserver/session", atLimit, type);
        ASSERT_TRUE(accepted) << type;
        EXPECT_EQ(accepted->status, 200) << type << ": " << accepted->body;
        EXPECT_NE(accepted->body.find("\"token\""), std::string::npos) << accepted->body;

        auto refused = live.post("/kivoraserver/session", atLimit + "p", type);
        ASSERT_TRUE(refused) << type;
        EXPECT_EQ(refused->status, 413) << type;
        EXPECT_EQ(refused->body, Service::errorBody("the request body is too large"));
    }
}

TEST(ConnectionGuard, BodiesOfUnknownSizeAreRefusedFromTheirHeadersAndTheConnectionClosed)
{
    GuardedServer live;
    struct Case {
        const char* name;
        std::string request;
        int status;
        std::string reason;
    };
    const std::string head = "POST /kivoraserver/session HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const Case cases[] = {
        { "chunked", head + "Transfer-Encoding: chunked\r\n\r\n5\r\nname=\r\n0\r\n\r\n", 411,
            "a request body needs a Content-Length; chunked bodies are not accepted" },
        { "gzip", head + "Content-Encoding: gzip\r\nContent-Length: 4\r\n\r\nabcd", 415,
            "compressed request bodies are not accepted" },
        { "multipart", head + "Content-Type: multipart/form-data; boundary=x\r\nContent-Length: 4\r\n\r\nabcd", 415,
            "the request body is not form-encoded" },
        { "declared far too large", head + "Content-Length: 1000000000\r\n\r\n", 413, "the request body is too large" },
        { "length one past the drained size",
            head + "Content-Length: " + std::to_string(HttpsServer::kMaxDrainedBodyBytes + 1) + "\r\n\r\n", 413,
            "the request body is too large" },
        { "length not a number", head + "Content-Length: 12abc\r\n\r\n", 400, "the Content-Length is not a number" },
        { "two lengths", head + "Content-Length: 4\r\nContent-Length: 4\r\n\r\nabcd", 400,
            "the request has more than one Content-Length" },
    };
    for (const auto& c : cases) {
        RawTlsClient client(live.port, 3s);
        ASSERT_TRUE(client.connected()) << c.name;
        ASSERT_TRUE(client.send(c.request)) << c.name;
        bool closed = false;
        std::string reply = client.readUntilClosed(5s, &closed);
        EXPECT_EQ(reply.rfind("HTTP/1.1 " + std::to_string(c.status), 0), 0u) << c.name << ": " << reply;
        EXPECT_NE(reply.find("\r\n\r\n" + Service::errorBody(c.reason)), std::string::npos) << c.name << ": " << reply;
        EXPECT_TRUE(closed) << c.name;
    }
    // The service still answers.
    RawTlsClient client(live.port);
    ASSERT_TRUE(client.send(signInRequest()));
    EXPECT_NE(client.readReply(5s).find("\"success\":true"), std::string::npos);
}

TEST(ConnectionGuard, ARequestStillArrivingAtItsDeadlineIsCutWhileOthersAreServed)
{
    ConnectionLimits limits;
    limits.requestDeadline = 1s;
    GuardedServer live(limits, 4);
    struct Case {
        const char* name;
        std::string opening;
        std::string drip;
    };
    const Case cases[] = {
        { "a header line at a time", "GET /kivoraserver/api/status HTTP/1.1\r\n", "X-Slow: 1\r\n" },
        { "a body byte at a time", "POST /kivoraserver/session HTTP/1.1\r\nContent-Length: 100\r\n\r\n", "n" },
        { "nothing after the handshake", "", "" },
    };
    for (const auto& c : cases) {
        auto start = std::chrono::steady_clock::now();
        RawTlsClient slow(live.port, 200ms);
        ASSERT_TRUE(slow.connected()) << c.name;
        slow.send(c.opening);
        bool closed = false;
        while (!closed && std::chrono::steady_clock::now() - start < 5s) {
            if (!c.drip.empty())
                slow.send(c.drip);
            slow.readUntilClosed(150ms, &closed);
        }
        auto lasted = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(closed) << c.name;
        EXPECT_GE(lasted, 900ms) << c.name;
        EXPECT_LT(lasted, 3s) << c.name;
    }
    EXPECT_TRUE(live.settlesAt(0));
}

TEST(ConnectionGuard, AnAnswerTheServiceTakesLongerThanTheDeadlineToMakeStillGoesOut)
{
    // A password hash slow enough that checking it outlasts the deadline
    // several times over, as a large answer on a small hub may.
    ConnectionLimits limits;
    limits.requestDeadline = 200ms;
    GuardedServer live(limits);
    int iterations = 50'000;
    for (;;) {
        auto start = std::chrono::steady_clock::now();
        [[maybe_unused]] std::string probe = hashPassword("pw", iterations);
        if (std::chrono::steady_clock::now() - start > 3 * limits.requestDeadline)
            break;
        iterations *= 2;
    }
    auto demo = live.sim.store->userByName("demo");
    ASSERT_TRUE(demo);
    live.sim.store->addUser(demo->householdId, "slow", "Member", hashPassword("pw", iterations));

    RawTlsClient client(live.port);
    ASSERT_TRUE(client.connected());
    std::string body = "name=slow&password=pw&token=(null)";
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.send("POST /kivoraserver/session HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body));
    std::string reply = client.readReply(30s);
    EXPECT_GT(std::chrono::steady_clock::now() - start, 2 * limits.requestDeadline);
    EXPECT_NE(reply.find("\"success\":true"), std::string::npos) << reply;
    // The deadline for the next request runs from the answer's end.
    ASSERT_TRUE(client.send(signInRequest()));
    EXPECT_NE(client.readReply(5s).find("\"success\":true"), std::string::npos);
}

TEST(ConnectionGuard, AKeptConnectionGetsAFreshDeadlineAndAllowanceForEachRequest)
{
    ConnectionLimits limits;
    limits.requestDeadline = 1s;
    limits.maxRequestBytes = 4 * 1024;
    GuardedServer live(limits);
    RawTlsClient client(live.port);
    ASSERT_TRUE(client.connected());
    // Six sign-ins of about 1 KiB, 400 ms apart: together more time and more
    // bytes than one request may take.
    std::string padding(900, 'x');
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(client.send(signInRequest("X-Padding: " + padding + "\r\n"))) << i;
        std::string reply = client.readReply(5s);
        ASSERT_NE(reply.find("\"success\":true"), std::string::npos) << i << ": " << reply;
        std::this_thread::sleep_for(400ms);
    }
    EXPECT_EQ(live.server.openConnections(), 1u);

    // One request over the allowance is refused and its connection closed.
    RawTlsClient greedy(live.port);
    ASSERT_TRUE(greedy.send("GET /kivoraserver/api/status HTTP/1.1\r\nX-Long: "));
    greedy.send(std::string(8 * 1024, 'y'));
    bool closed = false;
    std::string reply = greedy.readUntilClosed(3s, &closed);
    EXPECT_EQ(reply.rfind("HTTP/1.1 413", 0), 0u) << reply;
    EXPECT_NE(reply.find(Service::errorBody("the request is too large")), std::string::npos) << reply;
    EXPECT_TRUE(closed);
}

TEST(ConnectionGuard, AClientBeyondItsShareOfConnectionsIsRefusedUntilOneCloses)
{
    ConnectionLimits limits;
    limits.maxConnectionsPerClient = 3;
    GuardedServer live(limits, 8);
    auto held = holdConnections(live.port, 3);
    ASSERT_TRUE(live.settlesAt(3));
    RawTlsClient fourth(live.port);
    EXPECT_FALSE(fourth.connected());

    held.pop_back();
    ASSERT_TRUE(live.settlesAt(2));
    RawTlsClient again(live.port);
    ASSERT_TRUE(again.connected());
    ASSERT_TRUE(again.send(signInRequest()));
    EXPECT_NE(again.readReply(5s).find("\"success\":true"), std::string::npos);
}

TEST(ConnectionGuard, AtTheOverallCapTheGreediestAddressLosesItsLongestWaitingConnection)
{
    ConnectionLimits limits;
    limits.maxConnectionsPerClient = 4;
    // Eight workers keep the open connections to six.
    GuardedServer live(limits, 8);
    auto greedy = holdConnections(live.port, 4, "127.0.0.2");
    ASSERT_TRUE(live.settlesAt(4));
    auto modest = holdConnections(live.port, 2, "127.0.0.3");
    ASSERT_EQ(greedy.size() + modest.size(), 6u);
    ASSERT_TRUE(live.settlesAt(6));

    // The seventh gets in and signs in; the first of the greedy address goes.
    RawTlsClient household(live.port, 5s, "127.0.0.4");
    ASSERT_TRUE(household.connected());
    ASSERT_TRUE(household.send(signInRequest()));
    EXPECT_NE(household.readReply(5s).find("\"success\":true"), std::string::npos);
    bool closed = false;
    greedy[0]->readUntilClosed(2s, &closed);
    EXPECT_TRUE(closed);
    // Everyone else still holds their connection.
    for (auto* client : { greedy[1].get(), greedy[2].get(), greedy[3].get(), modest[0].get(), modest[1].get() }) {
        ASSERT_TRUE(client->send(signInRequest()));
        EXPECT_NE(client->readReply(5s).find("\"success\":true"), std::string::npos);
    }
}
