#include "platform/http/FakeTransport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/http/ServerTrust.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {

struct Recorder {
    std::vector<std::string> events;
    ExchangeCallbacks callbacks()
    {
        return {
            [this](int status, const HttpHeaders&) { events.push_back("response " + std::to_string(status)); },
            [this](std::string_view chunk) { events.push_back("data " + std::string(chunk)); },
            [this] { events.push_back("finish"); },
            [this](const TransportError& e) {
                events.push_back("failure " + std::to_string(e.code) + " " + e.failingURL);
            },
        };
    }
};

struct LoopFixture : ::testing::Test {
    ManualClock clock;
    RunLoop loop { clock };
    CurrentRunLoopScope scope { loop };
};

using FakeTransportTest = LoopFixture;

}

TEST_F(FakeTransportTest, AnswersArriveOnTheRunLoopAfterTheirDelay)
{
    FakeTransport transport;
    transport.enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2.0));
    Recorder recorder;
    auto exchange = transport.start({ "POST", "https://h/x", {}, "a=1" }, recorder.callbacks());
    ASSERT_TRUE(exchange);
    EXPECT_EQ(transport.lastRequest().body, "a=1");
    clock.advance(1.999);
    EXPECT_TRUE(recorder.events.empty());
    clock.advance(0.001);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "response 200", R"(data {"success":true})", "finish" }));
}

TEST_F(FakeTransportTest, ChunksFailuresCancelAndRefusal)
{
    FakeTransport transport;
    FakeTransport::Reply chunked = FakeTransport::Reply::json("abcde");
    chunked.chunkSize = 2;
    transport.enqueue(chunked);
    transport.enqueue(FakeTransport::Reply::failure(TransportError::TimedOut, "The request timed out."));
    transport.enqueue(FakeTransport::Reply::json("{}"));

    Recorder recorder;
    auto first = transport.start({ "GET", "https://h/1" }, recorder.callbacks());
    auto second = transport.start({ "GET", "https://h/2" }, recorder.callbacks());
    auto third = transport.start({ "GET", "https://h/3" }, recorder.callbacks());
    third->cancel();
    clock.runPending();
    EXPECT_EQ(recorder.events,
        (std::vector<std::string> {
            "response 200", "data ab", "data cd", "data e", "finish", "failure -1001 https://h/2" }));

    transport.setRefusesToStart(true);
    EXPECT_FALSE(transport.start({ "GET", "https://h/4" }, recorder.callbacks()));
    EXPECT_EQ(transport.requestCount(), 3u) << "a refused exchange sends nothing";
}

TEST_F(FakeTransportTest, HandlerAnswersSynchronousSendsToo)
{
    FakeTransport transport;
    transport.setHandler([](const HttpRequest& request) {
        return FakeTransport::Reply::json("{\"path\":\"" + request.url + "\"}", 201);
    });
    HttpResult result = transport.sendSynchronous({ "GET", "https://h/sync" });
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.response.statusCode, 201);
    EXPECT_EQ(result.response.body, R"({"path":"https://h/sync"})");

    transport.setHandler(nullptr);
    result = transport.sendSynchronous({ "GET", "https://h/none" });
    EXPECT_FALSE(result.ok) << "with nothing scripted the network is down";
    EXPECT_EQ(result.error.code, TransportError::NotConnectedToInternet);
}

TEST(ServerTrust, HostOfURLAndPinForms)
{
    EXPECT_EQ(hostOfURL("https://LocalHost:8443/kivoraserver/api?x=1"), "localhost");
    EXPECT_EQ(hostOfURL("https://user:pw@example.org/"), "example.org");
    EXPECT_EQ(hostOfURL("https://[::1]:8443/x"), "::1");
    EXPECT_EQ(hostOfURL("http://h"), "h");
    EXPECT_EQ((ServerTrust { "h", "abc=" }).curlPin(), "sha256//abc=");
    EXPECT_EQ((ServerTrust { "h", "sha256//abc=" }).curlPin(), "sha256//abc=");
    EXPECT_EQ((ServerTrust { "h", "" }).curlPin(), std::nullopt);
}
