#include "Faults.h"

#include <gtest/gtest.h>

namespace hestio::faultproxy {
namespace {

    TEST(Faults, EveryModeIsNamedBothWays)
    {
        for (const char* name : { "pass", "invalid-json", "truncated", "html-error", "empty", "stall", "drop", "huge",
                 "nested", "wrong-certificate", "delay", "rewrite" }) {
            auto fault = faultNamed(name);
            ASSERT_TRUE(fault) << name;
            EXPECT_EQ(nameOf(*fault), name);
        }
        EXPECT_FALSE(faultNamed("Drop"));
        EXPECT_FALSE(faultNamed(""));
    }

    TEST(Faults, DelaysTakeTheirListInTurnAndRefuseWhatIsNoList)
    {
        auto delays = DelaySchedule::parse("5, 2,0.5");
        ASSERT_TRUE(delays);
        DelaySchedule schedule(*delays);
        std::vector<double> taken;
        for (int i = 0; i < 4; ++i)
            taken.push_back(schedule.next());
        EXPECT_EQ(taken, (std::vector<double> { 5, 2, 0.5, 5 }));
        EXPECT_EQ(DelaySchedule::parse("0"), std::vector<double> { 0 });
        for (const char* bad : { "", ",", "2,", "-1", "2s", "a", "1,,2" })
            EXPECT_FALSE(DelaySchedule::parse(bad)) << bad;
    }

    TEST(Faults, ARewriteIsAKeyAndATextNeitherEmpty)
    {
        EXPECT_EQ(NumberRewrite::parse("powerDraw=1e12"), (NumberRewrite { "powerDraw", "1e12" }));
        EXPECT_EQ(NumberRewrite::parse("a=b=c"), (NumberRewrite { "a", "b=c" })) << "the first '=' splits";
        EXPECT_EQ(NumberRewrite::parse("x= 1"), (NumberRewrite { "x", " 1" }));
        for (const char* bad : { "", "=", "=1", "powerDraw=", "powerDraw" })
            EXPECT_FALSE(NumberRewrite::parse(bad)) << bad;
    }

    TEST(Faults, ARewriteChangesOnlyTheNumbersOfItsKey)
    {
        const std::vector<NumberRewrite> rewrites { { "powerDraw", "1e12" }, { "energyConsumed", "1e999" } };
        struct Case {
            std::string body;
            std::string expected;
            std::size_t replaced;
        };
        const Case cases[] = {
            { R"({"success":true,"statuses":[{"timestamp":1,"powerDraw":4.09},{"powerDraw":-3E+2,"timestamp":2}]})",
                R"({"success":true,"statuses":[{"timestamp":1,"powerDraw":1e12},{"powerDraw":1e12,"timestamp":2}]})",
                2 },
            { "{ \"powerDraw\" :\n 0 , \"energyConsumed\":0.5}", "{ \"powerDraw\" :\n 1e12 , \"energyConsumed\":1e999}",
                2 },
            { R"({"powerDraw":{"powerDraw":7}})", R"({"powerDraw":{"powerDraw":1e12}})", 1 },
            // Values that are no numbers, and keys that only resemble it.
            { R"({"powerDraw":"12","x":null,"powerDraw ":3,"powerDrawMax":4,"PowerDraw":5,"powerDraw":[6]})",
                R"({"powerDraw":"12","x":null,"powerDraw ":3,"powerDrawMax":4,"PowerDraw":5,"powerDraw":[6]})", 0 },
            { R"({"powerDraw":null,"powerDraw":true,"powerDraw":-,"powerDraw":-1})",
                R"({"powerDraw":null,"powerDraw":true,"powerDraw":-,"powerDraw":1e12})", 1 },
            // The key as a string value or inside one is no member name.
            { R"({"name":"powerDraw","list":["powerDraw",5],"note":"\"powerDraw\":1"})",
                R"({"name":"powerDraw","list":["powerDraw",5],"note":"\"powerDraw\":1"})", 0 },
            { R"({"a\"":"b\\","powerDraw":2})", R"({"a\"":"b\\","powerDraw":1e12})", 1 },
            // Cut off: scanned as far as it goes.
            { R"({"powerDraw":12)", R"({"powerDraw":1e12)", 1 },
            { R"({"powerDraw":)", R"({"powerDraw":)", 0 },
            { R"({"powerDraw)", R"({"powerDraw)", 0 },
            { R"({"note":"\)", R"({"note":"\)", 0 },
            { "", "", 0 },
        };
        for (const auto& each : cases) {
            RewrittenBody rewritten = rewriteNumbers(each.body, rewrites);
            EXPECT_EQ(rewritten.body, each.expected) << each.body;
            EXPECT_EQ(rewritten.replaced, each.replaced) << each.body;
        }
    }

    TEST(Faults, ResponsesDeclareTheirLengthAndCloseTheConnection)
    {
        EXPECT_EQ(responseBytes({ 200, "application/json", "{\"success\":true}" }),
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 16\r\nConnection: close\r\n\r\n"
            "{\"success\":true}");
        EXPECT_EQ(responseBytes(emptyReply()),
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }

    TEST(Faults, ATruncatedResponseAnnouncesTheWholeBodyAndCarriesHalf)
    {
        std::string bytes = truncatedResponseBytes({ 200, "application/json", "0123456789" });
        EXPECT_NE(bytes.find("Content-Length: 10\r\n"), std::string::npos);
        EXPECT_TRUE(bytes.ends_with("\r\n\r\n01234")) << bytes;
    }

    TEST(Faults, TheMadeUpBodiesAreWhatTheirNamesSay)
    {
        Reply html = htmlErrorReply();
        EXPECT_EQ(html.status, 502);
        EXPECT_EQ(html.contentType, "text/html");
        EXPECT_TRUE(html.body.starts_with("<!DOCTYPE html>"));
        EXPECT_TRUE(invalidJsonReply().body.starts_with("{\"success\":true"));

        Reply nested = nestedReply(3);
        EXPECT_EQ(nested.body, "[[[true]]]");
        EXPECT_EQ(nestedReply(100000).body.size(), 200004u);
    }

    TEST(Faults, AHugeReplyKeepsWhatTheServiceSaidAndStaysJson)
    {
        auto check = [](const std::string& upstream, const std::string& expectedTail) {
            SCOPED_TRACE(upstream);
            Reply huge = hugeReply({ 200, "application/json", upstream }, 1000);
            EXPECT_GE(huge.body.size(), 1000u);
            EXPECT_TRUE(huge.body.starts_with("{\"padding\":\"xxx"));
            EXPECT_TRUE(huge.body.ends_with(expectedTail)) << huge.body.substr(huge.body.size() - 40);
            EXPECT_EQ(huge.body.find_first_not_of('x', 12), huge.body.size() - expectedTail.size());
        };
        check("{\"success\":true,\"devices\":[]}", "\",\"success\":true,\"devices\":[]}");
        check("  {\"a\":1}\n", "\",\"a\":1}");
        check("{}", "\"}");
        check("[1,2]", "\",\"success\":false}");
        check("", "\",\"success\":false}");
    }

    TEST(Faults, RequestHeadsAreParsedOrRefused)
    {
        auto head = parseRequestHead("POST /kivoraserver/api/activity HTTP/1.1\r\nHost: localhost:1\r\n"
                                     "Content-Length: 42\r\nContent-Type:  application/x-www-form-urlencoded ");
        ASSERT_TRUE(head);
        EXPECT_EQ(head->method, "POST");
        EXPECT_EQ(head->target, "/kivoraserver/api/activity");
        EXPECT_EQ(head->contentLength, 42u);
        EXPECT_EQ(head->headers.at("content-type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(head->headers.at("host"), "localhost:1");

        auto get = parseRequestHead("GET /a?b=c%20d HTTP/1.0");
        ASSERT_TRUE(get);
        EXPECT_EQ(get->target, "/a?b=c%20d");
        EXPECT_EQ(get->contentLength, 0u);

        for (const char* bad : { "", "GET", "GET /a", "GET a HTTP/1.1", "GET /a SPDY/3", "GET /a HTTP/1.1\r\nNoColon",
                 "POST /a HTTP/1.1\r\nContent-Length: 12x", "POST /a HTTP/1.1\r\nContent-Length: -1" })
            EXPECT_FALSE(parseRequestHead(bad)) << bad;
    }

    TEST(Faults, TheSelectorSpoilsOnlyTheFirstMatchingRequests)
    {
        FaultSelector selector("^POST .*/api/activity .*new=true", 2);
        EXPECT_FALSE(selector.take("GET /kivoraserver/api/activity?token=1"));
        EXPECT_FALSE(selector.take("POST /kivoraserver/api/activity activity=a&token=1"));
        EXPECT_TRUE(selector.take("POST /kivoraserver/api/activity new=true&activity=a&token=1"));
        EXPECT_TRUE(selector.take("POST /kivoraserver/api/activity new=true&activity=b&token=1"));
        EXPECT_FALSE(selector.take("POST /kivoraserver/api/activity new=true&activity=c&token=1"));

        FaultSelector always(".", 0);
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(always.take("GET /"));

        FaultSelector everyOther("movement", 2, 2);
        std::string spoiled;
        for (int i = 0; i < 7; ++i)
            spoiled += everyOther.take("POST /api/movement") ? 'x' : '.';
        EXPECT_EQ(spoiled, "x.x....") << "every other one, two at most";
        FaultSelector everyThird("movement", 0, 3);
        spoiled.clear();
        for (int i = 0; i < 7; ++i)
            spoiled += everyThird.take(i == 1 ? "GET /api/device" : "POST /api/movement") ? 'x' : '.';
        EXPECT_EQ(spoiled, "x...x..") << "only matching requests count";

        FaultSelector connections(".", 1);
        EXPECT_TRUE(connections.takeConnection());
        EXPECT_FALSE(connections.takeConnection());
    }

}
}
