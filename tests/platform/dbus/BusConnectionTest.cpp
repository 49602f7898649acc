#include "platform/dbus/BusConnection.h"

#include "support/BusMock.h"
#include "support/PrivateBus.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace hestio::platform;
using hestio::test::BusMock;
using hestio::test::PrivateBus;
using hestio::test::runUntil;
using hestio::test::TestRunLoop;

namespace {

const char* echoXml = R"xml(<node><interface name="test.Echo">
  <method name="Echo"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
  <method name="Fail"/>
  <signal name="Said"><arg type="s"/></signal>
</interface></node>)xml";

struct BusFixture : ::testing::Test {
    TestRunLoop loop;
    PrivateBus bus;
    std::unique_ptr<BusMock> echo;

    void SetUp() override
    {
        ASSERT_FALSE(bus.address().empty()) << bus.error();
        echo = std::make_unique<BusMock>(bus.address(), "test.Echo");
        ASSERT_EQ(echo->error(), "");
        echo->addObject("/test/echo", echoXml);
        echo->addObject("/test/other", echoXml);
        echo->setHandler([](const std::string&, const std::string& method, GVariant* parameters) {
            if (method == "Fail")
                return BusMock::Answer { nullptr, "test.Error.Refused", "not today" };
            const char* text = nullptr;
            g_variant_get(parameters, "(&s)", &text);
            return BusMock::Answer { g_variant_new("(s)", (std::string(text) + "!").c_str()) };
        });
    }
};

struct Replies {
    std::vector<std::string> seen;
    BusConnection::Reply take()
    {
        return [this](Variant result, const std::string& error) {
            if (!result) {
                seen.push_back("error: " + error);
                return;
            }
            gchar* text = g_variant_print(result.get(), FALSE);
            seen.push_back(text);
            g_free(text);
        };
    }
};

}

TEST_F(BusFixture, EachCallReachesExactlyOneReplyOnTheRunLoop)
{
    BusConnection connection(loop.loop(), BusConnection::Bus::Session, bus.address());
    Replies replies;
    connection.call({ "test.Echo", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "one") }, replies.take());
    connection.call({ "test.Echo", "/test/echo", "test.Echo", "Fail" }, replies.take());
    connection.call({ "test.Nobody", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "x") }, replies.take());
    connection.call({ "test.Echo", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "two") }, replies.take());
    EXPECT_TRUE(replies.seen.empty()) << "replies come through the run loop, never inside call()";
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return replies.seen.size() == 4; }));
    // The bus answers for a missing name at once; one service's answers
    // keep the order of the calls.
    auto missing = std::find_if(replies.seen.begin(), replies.seen.end(),
        [](const std::string& r) { return r.find("test.Nobody") != std::string::npos; });
    ASSERT_NE(missing, replies.seen.end()) << testing::PrintToString(replies.seen);
    EXPECT_EQ(missing->rfind("error: GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown", 0), 0u) << *missing;
    replies.seen.erase(missing);
    EXPECT_EQ(replies.seen,
        (std::vector<std::string> { "('one!',)", "error: GDBus.Error:test.Error.Refused: not today", "('two!',)" }));
    EXPECT_FALSE(connection.uniqueName().empty());
    loop.runPending();
    EXPECT_EQ(replies.seen.size(), 3u) << "no second reply";
}

TEST(BusConnection, AnUnreachableBusFailsEveryCallWithTheReason)
{
    TestRunLoop loop;
    BusConnection connection(loop.loop(), BusConnection::Bus::Session, "unix:path=/nonexistent/hestio-bus");
    Replies replies;
    for (int i = 0; i < 2; ++i)
        connection.call({ "test.Echo", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "x") }, replies.take());
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return replies.seen.size() == 2; }));
    EXPECT_EQ(replies.seen[0].rfind("error: ", 0), 0u);
    EXPECT_GT(replies.seen[0].size(), 7u) << "the reason is given";
    EXPECT_EQ(replies.seen[0], replies.seen[1]);
}

TEST_F(BusFixture, NothingArrivesAfterTheConnectionIsGone)
{
    Replies replies;
    {
        BusConnection connection(loop.loop(), BusConnection::Bus::Session, bus.address());
        for (int i = 0; i < 20; ++i)
            connection.call(
                { "test.Echo", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "late") }, replies.take());
    }
    loop.runPending();
    EXPECT_TRUE(replies.seen.empty());
}

TEST_F(BusFixture, SignalsReachTheirSubscribersUntilUnsubscribed)
{
    BusConnection connection(loop.loop(), BusConnection::Bus::Session, bus.address());
    std::vector<std::string> heard;
    auto listen = [&](const char* who) {
        return [&heard, who](const std::string& path, Variant parameters) {
            const char* text = nullptr;
            g_variant_get(parameters.get(), "(&s)", &text);
            heard.push_back(std::string(who) + " " + path + " " + text);
        };
    };
    unsigned one = connection.subscribe("test.Echo", "test.Echo", "Said", "/test/echo", listen("one"));
    connection.subscribe("test.Echo", "test.Echo", "Said", "", listen("all"));
    // A round trip makes sure the subscriptions are in place on the bus.
    Replies replies;
    connection.call({ "test.Echo", "/test/echo", "test.Echo", "Echo", g_variant_new("(s)", "ready") }, replies.take());
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return replies.seen.size() == 1; }));

    echo->emit("/test/echo", "test.Echo", "Said", g_variant_new("(s)", "hello"));
    echo->emit("/test/other", "test.Echo", "Said", g_variant_new("(s)", "elsewhere"));
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return heard.size() == 3; }));
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard,
        (std::vector<std::string> { "all /test/echo hello", "all /test/other elsewhere", "one /test/echo hello" }));

    connection.unsubscribe(one);
    heard.clear();
    echo->emit("/test/echo", "test.Echo", "Said", g_variant_new("(s)", "again"));
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return heard.size() == 1; }));
    EXPECT_EQ(heard, (std::vector<std::string> { "all /test/echo again" }));
}
