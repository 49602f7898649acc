#include "net/WebServiceConnector.h"
#include "net/ServiceEnvironment.h"

#include "platform/http/FakeTransport.h"
#include "support/LogCapture.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace hestio;
using platform::FakeTransport;
using platform::TransportError;

namespace {

struct Delegate : WebServiceConnectorDelegate {
    std::vector<std::string> calls;
    json::Value lastData;
    bool implementsFailure { false };
    std::shared_ptr<WebServiceConnector> owned; // a screen keeps its request in a property

    void dataReceived(bool success, const json::Value& data, int tag) override
    {
        calls.push_back("received " + std::string(success ? "true" : "false") + " " + std::to_string(tag));
        lastData = data;
        owned.reset(); // releasing the request from inside its own callback must be safe
    }
    void dataSent(bool success, int tag) override
    {
        calls.push_back("sent " + std::string(success ? "true" : "false") + " " + std::to_string(tag));
    }
    bool requestToServerFailedWithError(const TransportError& error, const std::string& parameters) override
    {
        if (!implementsFailure)
            return false;
        calls.push_back("failed " + std::to_string(error.code) + " " + parameters);
        return true;
    }
};

struct WebServiceConnectorTest : ::testing::Test {
    test::TestRunLoop loop;
    test::LogCapture logs;
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::optional<std::string> token = "T";
    std::vector<std::string> shown;
    std::vector<bool> indicator;
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();

    void SetUp() override
    {
        auto& environment = ServiceEnvironment::shared();
        environment = ServiceEnvironment {};
        environment.transport = transport;
        environment.serviceHost.set("localhost:8443");
        environment.currentToken = [this] { return token; };
        environment.showInfoPanel = [this](int type, const std::string& title, const std::string& subtitle,
                                        double hideAfter) {
            shown.push_back(std::to_string(type) + "|" + title + "|" + subtitle + "|" + std::to_string(hideAfter));
        };
        environment.setNetworkActivityIndicatorVisible = [this](bool visible) { indicator.push_back(visible); };
    }
    void TearDown() override { ServiceEnvironment::shared() = ServiceEnvironment {}; }

    std::shared_ptr<WebServiceConnector> start(
        const char* path, std::optional<std::string> parameters, bool post, bool download = true, int tag = 0)
    {
        auto wsc = WebServiceConnector::create(path, std::move(parameters), post);
        wsc->setTag(tag);
        wsc->setDelegate(delegate);
        wsc->startConnectionForDownload(download);
        return wsc;
    }
};

}

TEST_F(WebServiceConnectorTest, FormsGetAndPostRequestsWithTheTokenAppended)
{
    struct Case {
        const char* path;
        std::optional<std::string> parameters;
        bool post;
        const char* url;
        const char* body;
    };
    const Case cases[] = {
        { "/api/activity", std::nullopt, false, "https://localhost:8443/kivoraserver/api/activity?token=T&token=T",
            "" },
        { "/api/activity", "", false, "https://localhost:8443/kivoraserver/api/activity?token=T&token=T", "" },
        { "/api/battery", "count=5", false, "https://localhost:8443/kivoraserver/api/battery?token=T&count=5&token=T",
            "" },
        { "/api/battery", "count=5", true, "https://localhost:8443/kivoraserver/api/battery", "count=5&token=T" },
        { "/api/activity", "", true, "https://localhost:8443/kivoraserver/api/activity", "token=T" },
        { "/api/action?", "device_id=3&act_id=7&act_value=1", true, "https://localhost:8443/kivoraserver/api/action?",
            "device_id=3&act_id=7&act_value=1&token=T" },
    };
    for (const Case& c : cases) {
        auto wsc = WebServiceConnector::create(c.path, c.parameters, c.post);
        auto request = wsc->makeRequest();
        SCOPED_TRACE(std::string(c.path) + " " + c.parameters.value_or("(none)"));
        EXPECT_EQ(wsc->url(), c.url);
        EXPECT_EQ(request.url, c.url);
        EXPECT_EQ(request.method, c.post ? "POST" : "GET");
        EXPECT_EQ(request.body, c.body);
        EXPECT_EQ(request.header("Content-Length"), c.post ? std::to_string(std::string(c.body).size()) : "");
        EXPECT_EQ(request.timeoutSeconds, 30);
    }
}

TEST_F(WebServiceConnectorTest, TheRequestTimeoutCanBeShortenedForTestsOnly)
{
    // The default is 30 s (above); a test run against a stalled service sets
    // a shorter one, and every request made afterwards uses it.
    ServiceEnvironment::shared().requestTimeoutSeconds = 2.5;
    EXPECT_EQ(WebServiceConnector::create("/api/activity", std::nullopt, false)->makeRequest().timeoutSeconds, 2.5);
    EXPECT_EQ(WebServiceConnector::create("/api/activity", "a=1", true)->makeRequest().timeoutSeconds, 2.5);
}

TEST_F(WebServiceConnectorTest, SignedOutRequestsCarryTokenNull)
{
    token.reset();
    auto wsc = WebServiceConnector::create("/session", "name=demo&password=demo", true);
    EXPECT_EQ(wsc->parameters(), "name=demo&password=demo&token=(null)");
    EXPECT_EQ(WebServiceConnector::create("/api/location", std::nullopt, false)->url(),
        "https://localhost:8443/kivoraserver/api/location?token=(null)&token=(null)");
}

TEST_F(WebServiceConnectorTest, ParameterValuesAreEncodedOnceAndByteExact)
{
    EXPECT_EQ(escapeParameter("a b&c=d+e"), "a%20b%26c%3Dd%2Be");
    EXPECT_EQ(escapeParameter("Küche/ß~._-"), "K%C3%BCche%2F%C3%9F~._-");
    EXPECT_EQ(escapeParameter(""), "");
    std::string name = "pw&admin=1";
    auto post = WebServiceConnector::create("/session", "name=demo&password=" + escapeParameter(name), true);
    EXPECT_EQ(post->makeRequest().body, "name=demo&password=pw%26admin%3D1&token=T");
    EXPECT_EQ(post->makeRequest().header("Content-Length"), "41");
    auto get = WebServiceConnector::create("/api/user", "household=" + escapeParameter("The Smiths"), false);
    EXPECT_EQ(get->url(), "https://localhost:8443/kivoraserver/api/user?token=T&household=The%20Smiths&token=T")
        << "a blank reaches the server as %20 and is not escaped twice";
}

TEST_F(WebServiceConnectorTest, CompletionDecodesAndReportsSuccessOnlyFromTheReply)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"n":1})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"n":1})"));
    transport->enqueue(FakeTransport::Reply::json("<html>oops</html>", 500));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})", 500));
    transport->enqueue(FakeTransport::Reply::json(R"([true])"));
    auto a = start("/a", std::nullopt, false, true, 4);
    auto b = start("/b", std::nullopt, false, true, 5);
    auto c = start("/c", std::nullopt, false, true, 6);
    auto d = start("/d", std::nullopt, true, false, 7);
    auto e = start("/e", std::nullopt, true, false, 8);
    EXPECT_TRUE(a->isRunning());
    loop.runPending();
    EXPECT_EQ(delegate->calls,
        (std::vector<std::string> {
            "received true 4", "received false 5", "received false 6", "sent true 7", "sent false 8" }));
    EXPECT_TRUE(delegate->lastData.isNone()) << "a body that is not JSON decodes to nothing";
    EXPECT_EQ(indicator, (std::vector<bool> { true, false })) << "on with the first, off after the last";
    EXPECT_TRUE(shown.empty());
}

TEST_F(WebServiceConnectorTest, TheReplysTextIsThereDuringTheCallbackOnlyAndNotAtAllWhenNotKept)
{
    struct Seeing : WebServiceConnectorDelegate {
        std::vector<std::string> bodies;
        void requestFinished(WebServiceConnector& request, bool, const json::Value& data) override
        {
            bodies.push_back(request.replyBody() + "|" + std::to_string(data["n"].integerValue()));
        }
    };
    auto seeing = std::make_shared<Seeing>();
    const std::string text = R"({"success":true, "n":1})";
    transport->enqueue(FakeTransport::Reply::json(text));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"n":2})"));
    auto kept = WebServiceConnector::create("/a", std::nullopt, false);
    EXPECT_TRUE(kept->keepsReplyBody()) << "kept unless turned off";
    kept->setDelegate(seeing);
    kept->startConnectionForDownload(true);
    auto dropped = WebServiceConnector::create("/b", std::nullopt, false);
    dropped->setKeepsReplyBody(false);
    dropped->setDelegate(seeing);
    dropped->startConnectionForDownload(true);
    EXPECT_EQ(kept->replyBody(), "") << "nothing before";
    loop.runPending();
    EXPECT_EQ(seeing->bodies, (std::vector<std::string> { text + "|1", "|2" })) << "decoded all the same";
    EXPECT_EQ(kept->replyBody(), "") << "nothing after";
}

TEST_F(WebServiceConnectorTest, AnAnnouncedLengthIsMadeRoomForOnlyWhenBelievableAndTheTextCanBeTaken)
{
    struct Taking : WebServiceConnectorDelegate {
        std::vector<std::string> seen;
        void requestFinished(WebServiceConnector& request, bool, const json::Value& data) override
        {
            std::size_t room = request.replyBody().capacity();
            std::string taken = request.takeReplyBody();
            seen.push_back(std::to_string(data["n"].integerValue()) + " " + taken + " "
                + (room >= std::size_t { 64 } << 20 ? "reserved" : "grown")
                + (request.replyBody().empty() ? "" : " left"));
        }
    };
    const std::string text = R"({"success":true,"n":1})";
    // The length as announced; a reply too large to believe, one past the
    // largest believed and one not a number are received all the same.
    for (const char* length : { "67108864", "67108865", "1099511627776", "2e3", "" }) {
        FakeTransport::Reply reply = FakeTransport::Reply::json(text);
        if (*length)
            reply.headers.emplace_back("content-length", length);
        reply.chunkSize = 5;
        transport->enqueue(std::move(reply));
    }
    auto taking = std::make_shared<Taking>();
    for (int i = 0; i < 5; ++i) {
        auto request = WebServiceConnector::create("/a", std::nullopt, false);
        request->setDelegate(taking);
        request->startConnectionForDownload(true);
        loop.runPending();
    }
    const std::string seen = "1 " + text + " ";
    EXPECT_EQ(taking->seen,
        (std::vector<std::string> {
            seen + "reserved", seen + "grown", seen + "grown", seen + "grown", seen + "grown" }));
}

TEST_F(WebServiceConnectorTest, TransportFailureShowsThePanelLogsAndCallsTheOptionalHook)
{
    transport->enqueue(FakeTransport::Reply::failure(TransportError::TimedOut, "The request timed out."));
    auto wsc = start("/api/movement", "action=LEFT", true, false);
    loop.runPending();
    EXPECT_TRUE(delegate->calls.empty()) << "no completion callback and no hook when it is not implemented";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0],
        "1|Network Failure!|Problem connecting to the network. Check your internet connection and try "
        "again later!|3.000000");
    EXPECT_EQ(logs.lines(),
        (std::vector<std::string> { "Connection failed! Error - The request timed out. "
                                    "https://localhost:8443/kivoraserver/api/movement",
            "Error Code: -1001" }));
    EXPECT_EQ(indicator.back(), false);

    delegate->implementsFailure = true;
    transport->enqueue(FakeTransport::Reply::failure());
    wsc = start("/api/movement", "action=LEFT", true, false);
    loop.runPending();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "failed -1009 action=LEFT&token=T" }));
}

TEST_F(WebServiceConnectorTest, UnstartableReleasedAndSelfReleasingExchanges)
{
    transport->setRefusesToStart(true);
    auto refused = start("/x", std::nullopt, false);
    EXPECT_EQ(logs.lines(), (std::vector<std::string> { "The connection failed..." }));
    EXPECT_TRUE(indicator.empty());
    EXPECT_FALSE(refused->isRunning());
    transport->setRefusesToStart(false);

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    start("/released", std::nullopt, false); // nobody keeps it
    loop.runPending();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "received true 0" }))
        << "a started request answers even when its owner let it go";

    delegate->calls.clear();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    delegate->owned = start("/owned", std::nullopt, false);
    loop.runPending();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "received true 0" }));
    EXPECT_FALSE(delegate->owned);
}

TEST_F(WebServiceConnectorTest, ReplacingTheKeptRequestLetsBothAnswerOnceEachInTheirOwnOrder)
{
    // A screen that keeps one property per kind of request and starts a
    // second one while the first is in flight: both reach the service and
    // both answer, in the order the service answers them.
    struct Recorder : WebServiceConnectorDelegate {
        std::vector<std::string> calls;
        std::shared_ptr<WebServiceConnector> property;
        void requestFinished(WebServiceConnector& request, bool success, const json::Value&) override
        {
            calls.push_back(*request.context<std::string>() + (success ? " ok" : " refused"));
        }
        void requestFailed(WebServiceConnector& request, const TransportError&) override
        {
            calls.push_back(*request.context<std::string>() + " failed");
        }
    };
    auto recorder = std::make_shared<Recorder>();
    auto send = [&](const std::string& what) {
        recorder->property = WebServiceConnector::create("/api/device", "name=" + what, true);
        recorder->property->setContext(what);
        recorder->property->setDelegate(recorder);
        recorder->property->startConnectionForDownload(false);
    };
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(3));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(1));
    transport->enqueue(FakeTransport::Reply::failure().after(2));
    send("first");
    send("second");
    send("third");
    ASSERT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(transport->requests()[0].body, "name=first&token=T");
    loop.advance(1);
    EXPECT_EQ(recorder->calls, (std::vector<std::string> { "second refused" }));
    loop.advance(1);
    loop.advance(1);
    EXPECT_EQ(recorder->calls, (std::vector<std::string> { "second refused", "third failed", "first ok" }));
    loop.advance(10);
    EXPECT_EQ(recorder->calls.size(), 3u) << "each exactly once";
}

TEST_F(WebServiceConnectorTest, TheActivityIndicatorShowsUntilTheLastOverlappingExchangeEnds)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    transport->enqueue(FakeTransport::Reply::failure().after(3));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    auto first = start("/first", std::nullopt, false);
    auto second = start("/second", std::nullopt, false);
    auto third = start("/third", std::nullopt, false);
    EXPECT_EQ(indicator, (std::vector<bool> { true }));
    loop.advance(1);
    EXPECT_EQ(indicator, (std::vector<bool> { true })) << "two still run after the first answer";
    third->cancel();
    EXPECT_EQ(indicator, (std::vector<bool> { true })) << "one still runs after a cancel";
    loop.advance(2);
    EXPECT_EQ(indicator, (std::vector<bool> { true, false })) << "off when the last one fails";

    // The next exchange shows it again.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    auto again = start("/again", std::nullopt, false);
    EXPECT_EQ(indicator, (std::vector<bool> { true, false, true }));
    loop.advance(1);
    EXPECT_EQ(indicator, (std::vector<bool> { true, false, true, false }));
}

TEST_F(WebServiceConnectorTest, OnlyAnExplicitCancelStopsAnExchange)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    std::weak_ptr<Delegate> watch = delegate;
    auto wsc = start("/x", std::nullopt, false);
    delegate.reset();
    EXPECT_TRUE(wsc->isRunning());
    wsc->cancel();
    EXPECT_FALSE(wsc->isRunning());
    EXPECT_TRUE(watch.expired()) << "a cancelled request lets its delegate go at once";
    EXPECT_EQ(indicator, (std::vector<bool> { true, false }));
    loop.advance(5);
    EXPECT_TRUE(indicator.size() == 2u);
    wsc->cancel(); // a second cancel, and one on a finished request, do nothing
}

TEST_F(WebServiceConnectorTest, AnExpiredSessionIsRenewedBeforeTheRequestGoesOutWithoutBlocking)
{
    bool expired = true;
    std::vector<std::function<void()>> waiting;
    auto& environment = ServiceEnvironment::shared();
    environment.sessionNeedsRenewal = [&] { return expired; };
    environment.renewSession = [&](std::function<void()> done) { waiting.push_back(std::move(done)); };

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    auto first = start("/api/device", "action=true", false, true, 1);
    start("/api/schedule", std::nullopt, false, true, 2); // released by its owner meanwhile
    auto cancelled = start("/api/activity", std::nullopt, false, true, 3);
    EXPECT_EQ(transport->requestCount(), 0u) << "nothing goes out with the expired token";
    EXPECT_TRUE(first->isRunning());
    cancelled->cancel();
    ASSERT_EQ(waiting.size(), 3u);

    token = "NEW";
    expired = false;
    for (auto& done : waiting)
        done();
    ASSERT_EQ(transport->requestCount(), 2u) << "the cancelled one never goes";
    EXPECT_EQ(
        transport->requests()[0].url, "https://localhost:8443/kivoraserver/api/device?token=NEW&action=true&token=NEW");
    EXPECT_EQ(transport->requests()[1].url, "https://localhost:8443/kivoraserver/api/schedule?token=NEW&token=NEW");
    loop.runPending();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "received true 1", "received true 2" }));
}

TEST_F(WebServiceConnectorTest, DelegateIsKeptAliveOnlyWhileTheExchangeRuns)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    std::weak_ptr<Delegate> watch = delegate;
    auto wsc = start("/x", std::nullopt, false);
    delegate.reset();
    EXPECT_FALSE(watch.expired()) << "the running request keeps its delegate";
    loop.advance(1);
    EXPECT_TRUE(watch.expired()) << "and lets it go once answered";
}

TEST_F(WebServiceConnectorTest, AnOwnerWhoseRequestIsNeverAnsweredGoesWithTheLoop)
{
    // A screen keeps its request, and the running request keeps the screen;
    // when the loop that would bring the answer goes first, both go with it.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(60));
    std::weak_ptr<Delegate> watchDelegate = delegate;
    std::weak_ptr<WebServiceConnector> watchRequest;
    {
        platform::ManualClock clock;
        platform::RunLoop otherLoop(clock);
        platform::CurrentRunLoopScope scope(otherLoop);
        delegate->owned = start("/never", std::nullopt, false);
        watchRequest = delegate->owned;
        delegate.reset();
        EXPECT_FALSE(watchDelegate.expired()) << "kept while the exchange runs";
    }
    EXPECT_TRUE(watchDelegate.expired());
    EXPECT_TRUE(watchRequest.expired());
}

TEST_F(WebServiceConnectorTest, SynchronousSendReturnsTheReplyAndShowsNothing)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"nope"})", 403));
    auto wsc = WebServiceConnector::create("/api/movement", "a=1", true);
    json::Value reply = wsc->startSynchronousConnection();
    ASSERT_TRUE(reply.isDictionary());
    EXPECT_EQ(reply["error"].stringValue(), "nope");

    transport->enqueue(FakeTransport::Reply::failure());
    EXPECT_TRUE(wsc->startSynchronousConnection().isNone());
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(logs.lines().empty());
    EXPECT_TRUE(indicator.empty());
}

TEST_F(WebServiceConnectorTest, AFailureIsLoggedWithoutTheSessionToken)
{
    token = "0123456789abcdef";
    transport->enqueue(FakeTransport::Reply::failure(TransportError::TimedOut, "The request timed out."));
    auto wsc = start("/api/battery", "count=5", false, true);
    loop.runPending();
    EXPECT_EQ(logs.lines(),
        (std::vector<std::string> { "Connection failed! Error - The request timed out. "
                                    "https://localhost:8443/kivoraserver/api/battery?token=<redacted>&count=5"
                                    "&token=<redacted>",
            "Error Code: -1001" }));
    EXPECT_FALSE(logs.contains("0123456789abcdef"));
}

// The failed-movement resend makes its requests on the background queue
// while the user may be choosing another service on the main thread: each
// request goes to one whole host, the old or the new.
TEST_F(WebServiceConnectorTest, ARequestMadeWhileTheHostChangesGoesToOneWholeHost)
{
    const std::string first = "first-household-hub.example.net:8443";
    const std::string second = "[fd00:1234:5678:9abc::1]:9443";
    auto& environment = ServiceEnvironment::shared();
    environment.serviceHost.set(first);
    std::atomic<bool> done { false };
    std::vector<std::string> torn;
    std::thread background([&] {
        for (int i = 0; i < 20000; ++i) {
            std::string url = WebServiceConnector::create("/api/movement", "a=1", true)->url();
            if (url != "https://" + first + "/kivoraserver/api/movement"
                && url != "https://" + second + "/kivoraserver/api/movement")
                torn.push_back(url);
        }
        done = true;
    });
    for (int i = 0; !done; ++i)
        environment.serviceHost.set(i % 2 ? first : second);
    background.join();
    EXPECT_TRUE(torn.empty()) << torn.front();
}
