#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

/// Every exchange between the client and the service, written once: the
/// client takes its paths from here and hestio-hub routes by the same table.
/// Standard library only, so that both sides can include it.
namespace hestio::endpoints {

enum class Method { Get, Post };

constexpr std::string_view methodName(Method method)
{
    return method == Method::Get ? "GET" : "POST";
}

/// The names in the caller's parameter text, in the order the client writes
/// them. The token that the request object appends to every request is not
/// among them; a name the client writes only when it has a value (the push
/// token) is listed where it goes.
class ParameterNames {
public:
    static constexpr std::size_t kCapacity = 8;

    constexpr ParameterNames(std::initializer_list<std::string_view> names)
    {
        // Thrown only while the table is being compiled, where it stops the build.
        if (names.size() > kCapacity)
            throw "an endpoint has more parameter names than ParameterNames holds";
        for (std::string_view name : names)
            m_names[m_count++] = name;
    }

    constexpr std::size_t size() const { return m_count; }
    constexpr bool empty() const { return m_count == 0; }
    constexpr const std::string_view* begin() const { return m_names.data(); }
    constexpr const std::string_view* end() const { return m_names.data() + m_count; }
    constexpr std::string_view operator[](std::size_t index) const { return m_names[index]; }

private:
    std::array<std::string_view, kCapacity> m_names {};
    std::size_t m_count { 0 };
};

struct Endpoint {
    /// Tells the exchange apart from others on the same path and method.
    std::string_view name;
    /// Under the service's base path. A C string, so that it goes as it is to
    /// the request object and to helpers that take a path.
    const char* path;
    Method method;
    ParameterNames parameters;

    /// The path as the service receives it: a "?" that ends the client's path
    /// begins the (empty) query instead.
    constexpr std::string_view routePath() const
    {
        std::string_view text = path;
        return text.substr(0, text.find('?'));
    }
};

inline constexpr Endpoint kSignIn { "signIn", "/session", Method::Post, { "name", "password", "push_token" } };
inline constexpr Endpoint kSignOut { "signOut", "/session", Method::Post, { "logout", "push_token" } };

inline constexpr Endpoint kLocationList { "locationList", "/api/location", Method::Get, {} };
inline constexpr Endpoint kLocationCreate { "locationCreate", "/api/location", Method::Post,
    { "title", "longitude", "latitude" } };
inline constexpr Endpoint kLocationDelete { "locationDelete", "/api/location", Method::Post, { "title", "delete" } };

inline constexpr Endpoint kMovementPost { "movementPost", "/api/movement", Method::Post,
    { "action", "title", "longitude", "latitude", "timestamp" } };
/// Sends again the whole text a movement posting went out with, the token it
/// carried then included.
inline constexpr Endpoint kMovementResend { "movementResend", "/api/movement", Method::Post,
    { "action", "title", "longitude", "latitude", "timestamp", "token" } };
inline constexpr Endpoint kMovementList { "movementList", "/api/movement", Method::Get, {} };

inline constexpr Endpoint kHouseholdUsers { "householdUsers", "/api/user", Method::Get, { "household" } };
inline constexpr Endpoint kPasswordChange { "passwordChange", "/api/user", Method::Post,
    { "name", "password", "new_password" } };
inline constexpr Endpoint kOtherUserPassword { "otherUserPassword", "/api/user", Method::Post,
    { "name", "new_password" } };

inline constexpr Endpoint kDeviceList { "deviceList", "/api/device", Method::Get, { "action" } };
inline constexpr Endpoint kDeviceSuggestions { "deviceSuggestions", "/api/device", Method::Get, { "suggestion" } };
inline constexpr Endpoint kDeviceUpdate { "deviceUpdate", "/api/device", Method::Post,
    { "device_id", "location", "name" } };
inline constexpr Endpoint kDeviceAction { "deviceAction", "/api/action", Method::Post,
    { "device_id", "act_id", "act_value" } };
/// The on/off switch's path ends with "?", which the service never sees.
inline constexpr Endpoint kDeviceOnOff { "deviceOnOff", "/api/action?", Method::Post,
    { "device_id", "act_id", "act_value" } };
inline constexpr Endpoint kSuggestionAnswer { "suggestionAnswer", "/api/suggestion", Method::Post,
    { "sug_id", "state" } };

inline constexpr Endpoint kDevicePowerDraw { "devicePowerDraw", "/api/status", Method::Get,
    { "device_id", "ascending", "from", "to", "filter", "rounding", "scale" } };
inline constexpr Endpoint kDeviceEnergy { "deviceEnergy", "/api/energyconsumption", Method::Get,
    { "device_id", "from", "to", "block" } };
/// The household's energy is asked for as that of the device "battery".
inline constexpr Endpoint kHomeEnergy { "homeEnergy", "/api/energyconsumption", Method::Get,
    { "device_id", "from", "to", "block" } };
inline constexpr Endpoint kBatteryLatest { "batteryLatest", "/api/battery", Method::Get, { "count" } };
/// Its parameter text begins with "&", an empty first pair that has no name.
inline constexpr Endpoint kBatteryHistory { "batteryHistory", "/api/battery", Method::Get,
    { "from", "to", "filter", "scale", "rounding" } };

inline constexpr Endpoint kActivityList { "activityList", "/api/activity", Method::Get, {} };
inline constexpr Endpoint kActivityCreate { "activityCreate", "/api/activity", Method::Post,
    { "new", "activity", "timestamp" } };
inline constexpr Endpoint kActivityRepeat { "activityRepeat", "/api/activity", Method::Post,
    { "activity", "timestamp" } };

inline constexpr Endpoint kScheduleList { "scheduleList", "/api/schedule", Method::Get, {} };
inline constexpr Endpoint kScheduleSave { "scheduleSave", "/api/schedule", Method::Post,
    { "title", "startHour", "startMin", "endHour", "endMin", "repeatDays" } };
inline constexpr Endpoint kScheduleDelete { "scheduleDelete", "/api/schedule", Method::Post, { "title", "delete" } };

/// Every endpoint above, once.
inline constexpr std::array<const Endpoint*, 28> kAll {
    &kSignIn,
    &kSignOut,
    &kLocationList,
    &kLocationCreate,
    &kLocationDelete,
    &kMovementPost,
    &kMovementResend,
    &kMovementList,
    &kHouseholdUsers,
    &kPasswordChange,
    &kOtherUserPassword,
    &kDeviceList,
    &kDeviceSuggestions,
    &kDeviceUpdate,
    &kDeviceAction,
    &kDeviceOnOff,
    &kSuggestionAnswer,
    &kDevicePowerDraw,
    &kDeviceEnergy,
    &kHomeEnergy,
    &kBatteryLatest,
    &kBatteryHistory,
    &kActivityList,
    &kActivityCreate,
    &kActivityRepeat,
    &kScheduleList,
    &kScheduleSave,
    &kScheduleDelete,
};

/// Whether some endpoint is reached by this path (as the service receives
/// it) and method.
constexpr bool isServed(std::string_view routePath, Method method)
{
    for (const Endpoint* endpoint : kAll) {
        if (endpoint->routePath() == routePath && endpoint->method == method)
            return true;
    }
    return false;
}

namespace detail {
    constexpr bool isWellFormed(const Endpoint& endpoint)
    {
        std::string_view path = endpoint.path;
        if (endpoint.name.empty() || path.empty() || path.front() != '/')
            return false;
        // At most a "?" at the very end: the path carries no query of its own.
        if (path.find('?') != std::string_view::npos && path.find('?') != path.size() - 1)
            return false;
        for (std::size_t i = 0; i < endpoint.parameters.size(); ++i) {
            if (endpoint.parameters[i].empty())
                return false;
            for (std::size_t j = 0; j < i; ++j) {
                if (endpoint.parameters[i] == endpoint.parameters[j])
                    return false;
            }
        }
        return true;
    }

    constexpr bool tableIsSound()
    {
        for (std::size_t i = 0; i < kAll.size(); ++i) {
            if (!isWellFormed(*kAll[i]))
                return false;
            for (std::size_t j = 0; j < i; ++j) {
                // By name alone: an endpoint listed twice has its name twice,
                // and GCC with AddressSanitizer does not take the addresses
                // of two globals as constants to compare.
                if (kAll[i]->name == kAll[j]->name)
                    return false;
            }
        }
        return true;
    }
}

static_assert(detail::tableIsSound(),
    "every endpoint is listed once, with a unique name, a path under the base "
    "path and distinct parameter names");

}
