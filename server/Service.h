#pragma once

#include "FormData.h"
#include "LiveHome.h"
#include "PowerModel.h"
#include "SignInThrottle.h"
#include "Store.h"
#include "Suggestions.h"

#include "net/Endpoints.h"
#include "json/Value.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace hestio::sim {

/// Milliseconds since 1970; the service asks this for "now" so tests can move time.
using NowFunction = std::function<int64_t()>;

struct ServiceConfig {
    int64_t tokenTtlMs { 3'600'000 };
    int passwordIterations { 120'000 };
    /// The longest window of samples one request may ask for.
    int64_t maxWindowMs { 35 * 86'400'000LL };
};

/// One request as it arrived: the decoded path and the raw query and body.
struct ServiceRequest {
    std::string method;
    std::string path;
    std::string query;
    std::string body;
    /// The client's address, for slowing down password guessing.
    std::string peer;
};

struct ServiceReply {
    int status { 200 };
    std::string body;
    /// The methods the path accepts, for the Allow header of a 405 reply.
    std::string allow;
};

/// A refused request: its HTTP status and the reason told to the client.
class RequestError : public std::runtime_error {
public:
    /// `allow`: for a 405, the methods the path does take.
    RequestError(int status, const std::string& reason, std::string allow = {})
        : std::runtime_error(reason)
        , m_status(status)
        , m_allow(std::move(allow))
    {
    }
    int status() const { return m_status; }
    const std::string& allow() const { return m_allow; }

private:
    int m_status;
    std::string m_allow;
};

/// The service behind "/kivoraserver": routes each request to its endpoint,
/// checks the session token, and writes every reply as a JSON object with a
/// boolean "success" (and "error" when refused). Safe to call from several
/// threads at once; knows nothing of HTTP transport.
class Service {
public:
    static constexpr const char* kBasePath = "/kivoraserver";

    Service(Store& store, ServiceConfig config, NowFunction now);

    /// Serves the household's real devices from `home` instead of the
    /// simulation (the home outlives the service). Set before serving.
    void setLiveHome(LiveHome* home) { m_live = home; }

    [[nodiscard]] ServiceReply handle(const ServiceRequest& request);

    /// The reply text for a transport-level refusal (oversized body, unknown method).
    [[nodiscard]] static std::string errorBody(const std::string& reason);

private:
    struct Caller {
        UserRow user;
        HouseholdRow household;
        std::string tokenHash;
    };

    /// `peer`: the client's address.
    using OpenHandler = json::Value (Service::*)(const FormData& params, const std::string& peer);
    using SignedInHandler = json::Value (Service::*)(const Caller& caller, const FormData& params);
    /// An endpoint and what answers it. A signed-in handler is reached only
    /// once the token has named a valid session.
    struct Route {
        const endpoints::Endpoint* endpoint;
        std::variant<OpenHandler, SignedInHandler> handler;
    };
    /// One route for every endpoint of the shared table; Service.cpp checks
    /// at compile time that none is missing or answered twice.
    static const std::array<Route, endpoints::kAll.size()> kRoutes;
    /// The route of the request's path and method; a RequestError (404 or
    /// 405) when there is none.
    [[nodiscard]] static const Route& routeOf(const ServiceRequest& request);

    [[nodiscard]] Caller authenticate(const FormData& params);
    [[nodiscard]] const PowerModel& modelFor(const HouseholdRow& household);
    std::map<int64_t, StateTimeline> timelinesOf(int64_t householdId);

    json::Value session(const FormData& params, const std::string& peer);
    /// Checks the password, or refuses at once an address that waits after
    /// failed sign-ins; the refusal reads as a wrong password.
    [[nodiscard]] std::optional<UserRow> checkSignIn(
        const std::string& name, const std::string& password, const std::string& peer);
    json::Value locationList(const Caller& caller, const FormData& params);
    json::Value saveLocation(const Caller& caller, const FormData& params);
    json::Value movementList(const Caller& caller, const FormData& params);
    json::Value addMovement(const Caller& caller, const FormData& params);
    json::Value householdUsers(const Caller& caller, const FormData& params);
    json::Value setPassword(const Caller& caller, const FormData& params);
    json::Value activityList(const Caller& caller, const FormData& params);
    json::Value postActivity(const Caller& caller, const FormData& params);
    json::Value scheduleList(const Caller& caller, const FormData& params);
    json::Value postSchedule(const Caller& caller, const FormData& params);

    json::Value deviceList(const Caller& caller, const FormData& params);
    json::Value updateDevice(const Caller& caller, const FormData& params);
    json::Value action(const Caller& caller, const FormData& params);
    json::Value suggestion(const Caller& caller, const FormData& params);
    json::Value statuses(const Caller& caller, const FormData& params);
    json::Value energy(const Caller& caller, const FormData& params);
    json::Value battery(const Caller& caller, const FormData& params);

    json::Value deviceObject(const DeviceRow& device, const StateTimeline& timeline, const PowerModel& model,
        bool withActions, const std::vector<Suggestion>* suggestions, const std::map<int64_t, std::string>& states);
    std::vector<Suggestion> currentSuggestions(
        const Caller& caller, const std::vector<DeviceRow>& devices, const std::map<int64_t, StateTimeline>& timelines);
    /// Runs one action of a device, recording the new state from now on.
    void runAction(const DeviceRow& device, int64_t actionId, int64_t value);

    Store& m_store;
    ServiceConfig m_config;
    NowFunction m_now;
    std::mutex m_modelsMutex;
    std::map<int64_t, std::unique_ptr<PowerModel>> m_models;
    uint64_t m_seed { 1 };
    LiveHome* m_live { nullptr };
    SignInThrottle m_throttle;
};

}
