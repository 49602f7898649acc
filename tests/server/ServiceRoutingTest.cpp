#include "ServiceHarness.h"

#include "net/Endpoints.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace hestio::sim;
using hestio::sim::test::Answer;
using hestio::sim::test::ServiceHarness;
namespace endpoints = hestio::endpoints;

namespace {
using endpoints::Method;

/// A value for every parameter name of the table that the demo household
/// accepts, so that each endpoint can be called the way the client calls it.
const std::map<std::string_view, std::string> kSampleValues {
    { "name", "demo" },
    { "password", "demo" },
    { "push_token", "0a1b2c3d" },
    { "logout", "true" },
    { "title", "Office" },
    { "longitude", "13.4" },
    { "latitude", "52.5" },
    { "delete", "true" },
    { "action", "ARRIVED" },
    { "timestamp", std::to_string(hestio::sim::test::kTestStartMs) },
    { "household", "Demo Home" },
    // The same password again, so that the next sign-in still works.
    { "new_password", "demo" },
    { "suggestion", "true" },
    { "device_id", "101" },
    { "location", "Den" },
    { "act_id", "1011" },
    { "act_value", "1" },
    { "sug_id", "1083" },
    { "state", "FOLLOWED" },
    { "ascending", "true" },
    { "from", std::to_string(hestio::sim::test::kTestStartMs - 86'400'000) },
    { "to", std::to_string(hestio::sim::test::kTestStartMs) },
    { "filter", "true" },
    { "rounding", "1" },
    { "scale", "RAW" },
    { "block", "CLOCK_HOUR" },
    { "count", "1" },
    { "new", "true" },
    { "activity", "Laundry" },
    { "startHour", "7" },
    { "startMin", "30" },
    { "endHour", "17" },
    { "endMin", "0" },
    { "repeatDays", "12345" },
};

/// Where one endpoint needs another value than the sample.
const std::map<std::pair<std::string_view, std::string_view>, std::string> kValuesFor {
    { { "otherUserPassword", "name" }, "sam" },
    { { "deviceList", "action" }, "true" },
    { { "deviceUpdate", "name" }, "Reading lamp" },
    { { "homeEnergy", "device_id" }, "battery" },
};

std::string valueFor(const endpoints::Endpoint& endpoint, std::string_view name, const std::string& token)
{
    if (name == "token")
        return token;
    if (auto found = kValuesFor.find({ endpoint.name, name }); found != kValuesFor.end())
        return found->second;
    auto sample = kSampleValues.find(name);
    EXPECT_NE(sample, kSampleValues.end()) << "no sample value for " << name << " of " << endpoint.name;
    return sample == kSampleValues.end() ? std::string() : sample->second;
}

Answer call(ServiceHarness& sim, const endpoints::Endpoint& endpoint)
{
    std::string parameters;
    for (std::string_view name : endpoint.parameters) {
        parameters += (parameters.empty() ? "" : "&") + std::string(name) + "="
            + percentEncode(valueFor(endpoint, name, sim.token));
    }
    std::string route(endpoint.routePath());
    return endpoint.method == Method::Get ? sim.get(route, parameters) : sim.post(route, parameters);
}
}

TEST(ServiceRouting, EveryEndpointIsServedAsTheClientCallsIt)
{
    // In the table's order, so that what one endpoint deletes or repeats an
    // earlier one has made.
    ServiceHarness sim;
    for (const endpoints::Endpoint* endpoint : endpoints::kAll) {
        SCOPED_TRACE(std::string(endpoint->name));
        sim.signIn();
        Answer answer = call(sim, *endpoint);
        EXPECT_EQ(answer.status, 200) << answer.error();
        EXPECT_TRUE(answer.success()) << answer.error();
    }
}

TEST(ServiceRouting, TheOnOffPathIsServedWithoutItsQuestionMark)
{
    EXPECT_EQ(std::string_view(endpoints::kDeviceOnOff.path), "/api/action?");
    EXPECT_EQ(endpoints::kDeviceOnOff.routePath(), "/api/action");
    EXPECT_EQ(endpoints::kDeviceAction.routePath(), "/api/action");
}

TEST(ServiceRouting, UnknownPathsAreNotFoundWhateverTheMethodAndToken)
{
    ServiceHarness sim;
    sim.signIn();
    struct Case {
        std::string method;
        std::string path;
    };
    const Case cases[] = {
        { "GET", "/kivoraserver/api/nothing" },
        { "POST", "/kivoraserver/api/nothing" },
        { "DELETE", "/kivoraserver/api/nothing" },
        { "GET", "/kivoraserver/api/device/" },
        { "GET", "/kivoraserver/API/device" },
        { "GET", "/kivoraserver/api" },
        { "GET", "/kivoraserver/" },
        { "GET", "/kivoraserver" },
        { "POST", "/kivoraserver/session/" },
        // A "?" that arrives inside the path (sent as %3F) is part of it.
        { "POST", "/kivoraserver/api/action?" },
        { "GET", "/kivoraserver/api/../api/device" },
        { "GET", "/kivoraserver/kivoraserver/api/device" },
        { "GET", "/kivoraserverapi/device" },
        { "GET", "/api/device" },
        { "GET", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        for (const std::string& query : { "token=" + sim.token, std::string() }) {
            ServiceReply reply = sim.service->handle(ServiceRequest { c.method, c.path, query, "" });
            EXPECT_EQ(reply.status, 404);
            EXPECT_EQ(reply.body, "{\"error\":\"unknown path " + c.path + "\",\"success\":false}");
            EXPECT_EQ(reply.allow, "");
        }
    }
}

TEST(ServiceRouting, AWrongMethodIsRefusedNamingTheMethodsThePathTakes)
{
    ServiceHarness sim;
    struct Case {
        std::string method;
        std::string route;
        std::string allow;
    };
    const Case cases[] = {
        { "GET", "/session", "POST" },
        { "HEAD", "/session", "POST" },
        { "POST", "/api/status", "GET, HEAD" },
        { "POST", "/api/energyconsumption", "GET, HEAD" },
        { "POST", "/api/battery", "GET, HEAD" },
        { "GET", "/api/action", "POST" },
        { "GET", "/api/suggestion", "POST" },
        { "DELETE", "/api/device", "GET, HEAD, POST" },
        { "PUT", "/api/schedule", "GET, HEAD, POST" },
        { "OPTIONS", "/api/location", "GET, HEAD, POST" },
        { "get", "/api/activity", "GET, HEAD, POST" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.route);
        // Refused before the token is looked at: none is sent.
        ServiceReply reply = sim.service->handle(ServiceRequest { c.method, Service::kBasePath + c.route, "", "" });
        EXPECT_EQ(reply.status, 405);
        EXPECT_EQ(reply.body, "{\"error\":\"" + c.method + " is not allowed on " + c.route + "\",\"success\":false}");
        EXPECT_EQ(reply.allow, c.allow);
    }
}

TEST(ServiceRouting, EveryPathRefusesTheMethodNoEndpointUsesOnIt)
{
    // Walks the table: on each path, a method the table has no endpoint for is
    // a 405, and one it has is served (without a token: 401).
    ServiceHarness sim;
    std::set<std::string_view> paths;
    for (const endpoints::Endpoint* endpoint : endpoints::kAll)
        paths.insert(endpoint->routePath());
    ASSERT_EQ(paths.size(), 12u);
    for (std::string_view path : paths) {
        for (Method method : { Method::Get, Method::Post }) {
            std::string name(endpoints::methodName(method));
            SCOPED_TRACE(name + " " + std::string(path));
            ServiceReply reply = sim.service->handle(
                ServiceRequest { name, Service::kBasePath + std::string(path), "token=(null)", "token=(null)" });
            bool served = endpoints::isServed(path, method);
            // Only the sign-in answers without a session.
            int expected = !served ? 405 : path == "/session" ? 400 : 401;
            EXPECT_EQ(reply.status, expected) << reply.body;
            EXPECT_EQ(reply.allow.empty(), served);
        }
    }
}
