// The service's request handling, in process: arbitrary method, path, query
// and body against a seeded household, signed in or not. Every reply must be
// a JSON object with a boolean "success" (and an "error" text when refused),
// and no request may make the service fail (503) or throw.
#include "Household.h"
#include "Service.h"
#include "Store.h"

#include "json/Decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

constexpr int64_t kStartMs = 1796225400000; // 2026-12-02 15:30 UTC
// Requests change the household; it starts over this often so the store stays small.
constexpr int kRunsPerHousehold = 2000;

const char* const kMethods[] = { "GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH", "" };
const char* const kRoutes[] = { "/session", "/api/location", "/api/movement", "/api/user", "/api/device", "/api/action",
    "/api/suggestion", "/api/status", "/api/energyconsumption", "/api/battery", "/api/activity", "/api/schedule" };

struct Household {
    int64_t now { kStartMs };
    std::unique_ptr<Store> store;
    std::unique_ptr<Service> service;
    std::string token;

    Household()
    {
        store = std::make_unique<Store>(":memory:");
        seedDemoHousehold(*store, 7, kStartMs, 1);
        ServiceConfig config;
        config.passwordIterations = 1;
        // The session outlives the household's runs, however far time moves.
        config.tokenTtlMs = 365 * 86'400'000LL;
        service = std::make_unique<Service>(*store, config, [this] { return now; });
        ServiceReply reply = service->handle({ "POST", "/kivoraserver/session", "", "name=demo&password=demo" });
        json::Value session = json::objectFromJSONData(reply.body);
        token = std::string(session["token"].stringValue());
        if (token.empty())
            failCheck("the demo user could not sign in", reply.body);
    }
};

void checkReply(const ServiceRequest& request, const ServiceReply& reply)
{
    json::Value body = json::objectFromJSONData(reply.body);
    if (!body.isDictionary() || !body["success"].isBoolean())
        failCheck("a reply without a boolean success", reply.body);
    if (reply.status == 200 && !body["success"].boolValue())
        failCheck("a refusal with status 200", reply.body);
    if (reply.status != 200 && (body["success"].boolValue() || !body["error"].isString()))
        failCheck("a refusal without its reason", reply.body);
    if (reply.status >= 500)
        failCheck("the service failed", request.method + " " + request.path + "?" + request.query + " " + request.body);
}
}

// Input: a byte choosing the method and what carries the session token, a
// byte choosing the route (or a path of its own on the first line), then the
// query and the body on two lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::unique_ptr<Household> household;
    static int runs = 0;
    if (!household || ++runs % kRunsPerHousehold == 0)
        household = std::make_unique<Household>();
    if (size < 2)
        return 0;

    uint8_t choice = data[0];
    uint8_t routeChoice = data[1];
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    auto nextLine = [&rest] {
        size_t newline = rest.find('\n');
        std::string line(rest.substr(0, newline));
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        return line;
    };

    ServiceRequest request;
    request.method = kMethods[choice & 7];
    constexpr size_t kRouteCount = sizeof kRoutes / sizeof kRoutes[0];
    request.path = routeChoice < kRouteCount * 20 ? std::string(Service::kBasePath) + kRoutes[routeChoice % kRouteCount]
                                                  : nextLine();
    request.query = nextLine();
    request.body = std::string(rest);
    if (choice & 8)
        request.query += "&token=" + household->token;
    if (choice & 16)
        request.body += "&token=" + household->token;
    // Time moves on, so that the service answers across days.
    household->now += static_cast<int64_t>(choice >> 5) * 600'000;

    checkReply(request, household->service->handle(request));
    return 0;
}
