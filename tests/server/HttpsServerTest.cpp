#include "HttpsServer.h"
#include "Certificate.h"
#include "ServiceHarness.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <thread>

using namespace hestio::sim;
using hestio::sim::test::ServiceHarness;

namespace {
/// The harness's service behind a real HTTPS listener on a free loopback port.
struct LiveServer {
    ServiceHarness sim;
    TlsIdentity identity = loadOrCreateIdentity(sim.folder.path());
    HttpsServer server { *sim.service, identity, 8 };
    int port = server.bind(0);
    std::thread thread { [this] { server.run(); } };

    ~LiveServer()
    {
        server.stop();
        thread.join();
    }

    std::unique_ptr<httplib::SSLClient> client()
    {
        auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
        c->enable_server_certificate_verification(false);
        c->set_connection_timeout(10);
        c->set_read_timeout(10);
        return c;
    }
};

json::Value decode(const httplib::Result& result)
{
    EXPECT_TRUE(result) << "no answer: " << httplib::to_string(result.error());
    if (!result)
        return {};
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    return json::objectFromJSONData(result->body);
}

std::string signIn(httplib::SSLClient& client)
{
    auto result = client.Post(
        "/kivoraserver/session", "name=demo&password=demo&token=(null)", "application/x-www-form-urlencoded");
    json::Value reply = decode(result);
    EXPECT_TRUE(reply["success"].boolValue());
    return std::string(reply["token"].stringValue());
}
}

TEST(HttpsServer, AnswersTheClientsRequestsOverTls)
{
    LiveServer live;
    ASSERT_GT(live.port, 0);
    auto client = live.client();
    std::string token = signIn(*client);
    ASSERT_EQ(token.size(), 64u);

    // GET carries the token twice, first and last.
    auto devices
        = decode(client->Get(("/kivoraserver/api/device?token=" + token + "&action=true&token=" + token).c_str()));
    EXPECT_TRUE(devices["success"].boolValue());
    EXPECT_GE(devices["devices"].count(), 10u);

    // The on/off request's path ends with "?".
    auto switched = decode(client->Post("/kivoraserver/api/action?",
        "device_id=101&act_id=1011&act_value=0&token=" + token, "application/x-www-form-urlencoded"));
    EXPECT_TRUE(switched["success"].boolValue()) << switched["error"].stringValue();

    // A blank in a GET value arrives escaped as %20.
    auto users = decode(
        client->Get(("/kivoraserver/api/user?token=" + token + "&household=Demo%20Home&token=" + token).c_str()));
    EXPECT_EQ(users["allUsers"].count(), 2u);
}

TEST(HttpsServer, PercentEncodedValuesSurviveTheWire)
{
    LiveServer live;
    auto client = live.client();
    std::string token = signIn(*client);
    const std::string title = "A&B = 1+1, caf\xC3\xA9 \xE2\x82\xAC";
    auto saved = decode(client->Post("/kivoraserver/api/location",
        "title=" + percentEncode(title) + "&latitude=40.5&longitude=-73.25&token=" + token,
        "application/x-www-form-urlencoded"));
    ASSERT_TRUE(saved["success"].boolValue()) << saved["error"].stringValue();
    auto list = decode(client->Get(("/kivoraserver/api/location?token=" + token + "&token=" + token).c_str()));
    ASSERT_EQ(list["locations"].count(), 1u);
    EXPECT_EQ(list["locations"][0]["title"].stringValue(), title);
}

TEST(HttpsServer, RefusalsAreJsonAndNeverServerErrors)
{
    LiveServer live;
    auto client = live.client();
    std::string token = signIn(*client);
    struct Case {
        httplib::Result result;
        int status;
    };
    std::string huge(200 * 1024, 'x');
    Case cases[] = {
        { client->Get("/kivoraserver/api/nothing"), 404 },
        { client->Get("/elsewhere"), 404 },
        { client->Get("/kivoraserver/api/device?action=true"), 401 },
        { client->Put("/kivoraserver/api/device", "a=b", "text/plain"), 405 },
        { client->Post("/kivoraserver/api/activity", "new=true&activity=" + huge + "&timestamp=1&token=" + token,
              "application/x-www-form-urlencoded"),
            413 },
        { client->Get(("/kivoraserver/api/status?token=" + token + "&device_id=101&from=%zz").c_str()), 400 },
        { client->Get(("/kivoraserver/api/schedule?token=" + token + "&padding=" + std::string(10'000, 'p')).c_str()),
            414 },
    };
    for (auto& c : cases) {
        ASSERT_TRUE(c.result) << httplib::to_string(c.result.error());
        EXPECT_EQ(c.result->status, c.status) << c.result->body;
        json::Value reply = json::objectFromJSONData(c.result->body);
        EXPECT_TRUE(reply["success"].isBoolean()) << c.result->body;
        EXPECT_FALSE(reply["success"].boolValue());
        EXPECT_TRUE(reply["error"].isString()) << c.result->body;
    }
    // The server still answers afterwards.
    EXPECT_TRUE(decode(client->Get(("/kivoraserver/api/activity?token=" + token).c_str()))["success"].boolValue());
}

TEST(HttpsServer, AWrongMethodCarriesAnAllowHeader)
{
    LiveServer live;
    auto client = live.client();
    struct Case {
        httplib::Result result;
        int status;
        std::string allow;
    };
    Case cases[] = {
        { client->Put("/kivoraserver/api/device", "a=b", "application/x-www-form-urlencoded"), 405, "GET, HEAD, POST" },
        { client->Get("/kivoraserver/session"), 405, "POST" },
        { client->Post("/kivoraserver/api/status?", "token=x", "application/x-www-form-urlencoded"), 405, "GET, HEAD" },
        { client->Delete("/kivoraserver/api/nothing"), 404, "" },
        { client->Get("/kivoraserver/api/schedule"), 401, "" },
    };
    for (auto& c : cases) {
        ASSERT_TRUE(c.result) << httplib::to_string(c.result.error());
        EXPECT_EQ(c.result->status, c.status) << c.result->body;
        EXPECT_EQ(c.result->get_header_value("Allow"), c.allow) << c.result->body;
        EXPECT_EQ(c.result->get_header_value("Content-Type"), "application/json");
    }
}

TEST(HttpsServer, ServesSeveralClientsAtOnceWithoutLosingWrites)
{
    LiveServer live;
    std::string token = signIn(*live.client());
    constexpr int kClients = 6;
    constexpr int kWrites = 10;
    std::vector<std::thread> threads;
    std::atomic<int> failures { 0 };
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            auto client = live.client();
            for (int i = 0; i < kWrites; ++i) {
                std::string body = "action=ARRIVED&title=C" + std::to_string(c)
                    + "&latitude=1&longitude=2&timestamp=" + std::to_string(i) + "&token=" + token;
                auto result = client->Post("/kivoraserver/api/movement", body, "application/x-www-form-urlencoded");
                if (!result || result->status != 200)
                    ++failures;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    auto list = decode(live.client()->Get(("/kivoraserver/api/movement?token=" + token).c_str()));
    EXPECT_EQ(list["locations"].count(), static_cast<size_t>(kClients * kWrites));
}

TEST(HttpsServer, APortInUseCannotBeSharedBySecondService)
{
    LiveServer live;
    ServiceHarness other;
    TlsIdentity identity = loadOrCreateIdentity(other.folder.path());
    HttpsServer second(*other.service, identity, 2);
    EXPECT_EQ(second.bind(live.port), -1);
}
