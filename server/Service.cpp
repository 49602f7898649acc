#include "Service.h"

#include "Crypto.h"
#include "Household.h"
#include "RequestParams.h"

#include "platform/foundation/Redaction.h"
#include "json/Serializer.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <set>

namespace hestio::sim {

using json::Value;

namespace {
    constexpr size_t kMaxTitleLength = 100;
    constexpr size_t kMaxActivityLength = 200;
    constexpr size_t kMaxPasswordLength = 256;
    constexpr size_t kMaxPushTokenLength = 256;

    using endpoints::Method;

    /// GET and HEAD read, POST writes; no other method reaches an endpoint.
    std::optional<Method> methodOf(const std::string& name)
    {
        if (name == "GET" || name == "HEAD")
            return Method::Get;
        if (name == "POST")
            return Method::Post;
        return std::nullopt;
    }

    template<typename Routes> constexpr bool everyEndpointIsRoutedOnce(const Routes& routes)
    {
        if (routes.size() != endpoints::kAll.size())
            return false;
        for (const endpoints::Endpoint* endpoint : endpoints::kAll) {
            size_t count = 0;
            // By name, which the endpoint table keeps unique: GCC with
            // AddressSanitizer does not take two globals' addresses as
            // constants to compare.
            for (const auto& route : routes)
                count += route.endpoint->name == endpoint->name;
            if (count != 1)
                return false;
        }
        return true;
    }

    /// Endpoints that share a path and method reach the service as the same
    /// request; only their parameters tell them apart, so one handler has to
    /// answer them all.
    template<typename Routes> constexpr bool sharedRoutesShareTheirHandler(const Routes& routes)
    {
        for (size_t i = 0; i < routes.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                const endpoints::Endpoint& first = *routes[j].endpoint;
                const endpoints::Endpoint& second = *routes[i].endpoint;
                if (first.routePath() == second.routePath() && first.method == second.method
                    && !(routes[i].handler == routes[j].handler))
                    return false;
            }
        }
        return true;
    }

    bool isAdministrator(const UserRow& user)
    {
        std::string lower;
        for (char c : user.type)
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lower.find("admin") != std::string::npos;
    }
}

constexpr std::array<Service::Route, endpoints::kAll.size()> Service::kRoutes { {
    { &endpoints::kSignIn, &Service::session },
    { &endpoints::kSignOut, &Service::session },
    { &endpoints::kLocationList, &Service::locationList },
    { &endpoints::kLocationCreate, &Service::saveLocation },
    { &endpoints::kLocationDelete, &Service::saveLocation },
    { &endpoints::kMovementPost, &Service::addMovement },
    { &endpoints::kMovementResend, &Service::addMovement },
    { &endpoints::kMovementList, &Service::movementList },
    { &endpoints::kHouseholdUsers, &Service::householdUsers },
    { &endpoints::kPasswordChange, &Service::setPassword },
    { &endpoints::kOtherUserPassword, &Service::setPassword },
    { &endpoints::kDeviceList, &Service::deviceList },
    { &endpoints::kDeviceSuggestions, &Service::deviceList },
    { &endpoints::kDeviceUpdate, &Service::updateDevice },
    { &endpoints::kDeviceAction, &Service::action },
    { &endpoints::kDeviceOnOff, &Service::action },
    { &endpoints::kSuggestionAnswer, &Service::suggestion },
    { &endpoints::kDevicePowerDraw, &Service::statuses },
    { &endpoints::kDeviceEnergy, &Service::energy },
    { &endpoints::kHomeEnergy, &Service::energy },
    { &endpoints::kBatteryLatest, &Service::battery },
    { &endpoints::kBatteryHistory, &Service::battery },
    { &endpoints::kActivityList, &Service::activityList },
    { &endpoints::kActivityCreate, &Service::postActivity },
    { &endpoints::kActivityRepeat, &Service::postActivity },
    { &endpoints::kScheduleList, &Service::scheduleList },
    { &endpoints::kScheduleSave, &Service::postSchedule },
    { &endpoints::kScheduleDelete, &Service::postSchedule },
} };

Service::Service(Store& store, ServiceConfig config, NowFunction now)
    : m_store(store)
    , m_config(config)
    , m_now(std::move(now))
    , m_throttle(m_now)
{
    if (auto seed = m_store.meta("seed")) {
        uint64_t value = 1;
        std::from_chars(seed->data(), seed->data() + seed->size(), value);
        m_seed = value;
    }
}

std::string Service::errorBody(const std::string& reason)
{
    // A reason may quote what the client sent (an unknown path, a title);
    // bytes that are not UTF-8 would make the reply unwritable.
    auto text = json::JSONData(Value::dictionary({ { "success", false }, { "error", Value(toValidUtf8(reason)) } }));
    return text ? *text : std::string("{\"success\":false}");
}

const Service::Route& Service::routeOf(const ServiceRequest& request)
{
    static_assert(everyEndpointIsRoutedOnce(kRoutes), "every endpoint of the shared table needs exactly one route");
    static_assert(sharedRoutesShareTheirHandler(kRoutes), "endpoints on the same path and method need one handler");
    std::string_view path = request.path;
    std::string_view base = kBasePath;
    if (path.substr(0, base.size()) != base)
        throw RequestError(404, "unknown path " + request.path);
    std::string_view routePath = path.substr(base.size());
    std::optional<Method> method = methodOf(request.method);
    bool known = false;
    bool getAllowed = false;
    bool postAllowed = false;
    for (const Route& route : kRoutes) {
        if (route.endpoint->routePath() != routePath)
            continue;
        if (method == route.endpoint->method)
            return route;
        known = true;
        getAllowed |= route.endpoint->method == Method::Get;
        postAllowed |= route.endpoint->method == Method::Post;
    }
    if (!known)
        throw RequestError(404, "unknown path " + request.path);
    throw RequestError(405, request.method + " is not allowed on " + std::string(routePath),
        getAllowed && postAllowed ? "GET, HEAD, POST"
            : getAllowed          ? "GET, HEAD"
                                  : "POST");
}

ServiceReply Service::handle(const ServiceRequest& request)
{
    try {
        const Route& route = routeOf(request);
        FormData params;
        if (auto added = params.add(request.query); !added)
            throw RequestError(400, added.error().message());
        if (route.endpoint->method == Method::Post) {
            if (auto added = params.add(request.body); !added)
                throw RequestError(400, added.error().message());
        }
        Value reply;
        if (auto* open = std::get_if<OpenHandler>(&route.handler))
            reply = (this->**open)(params, request.peer);
        else
            reply = (this->*std::get<SignedInHandler>(route.handler))(authenticate(params), params);
        auto text = json::JSONData(reply);
        if (!text)
            throw std::runtime_error("reply could not be written");
        return ServiceReply { 200, std::move(*text) };
    } catch (const RequestError& error) {
        return ServiceReply { error.status(), errorBody(error.what()), error.allow() };
    } catch (const std::exception& error) {
        std::fprintf(stderr, "hestio-hub: %s %s failed: %s\n", request.method.c_str(),
            redactSecrets(request.path).c_str(), error.what());
        return ServiceReply { 503, errorBody("the service failed to answer; try again later") };
    }
}

Service::Caller Service::authenticate(const FormData& params)
{
    auto token = params.get("token");
    // A client that is not signed in sends the text "(null)" as its token.
    if (!token || token->empty() || *token == "(null)")
        throw RequestError(401, "not signed in: the token is missing");
    std::string tokenHash = sha256Hex(*token);
    auto found = m_store.session(tokenHash);
    if (!found)
        throw RequestError(401, "the token is not valid; sign in again");
    if (found->expiresMs < m_now()) {
        m_store.removeSession(tokenHash);
        throw RequestError(401, "the token has expired; sign in again");
    }
    auto user = m_store.userById(found->userId);
    auto household = user ? m_store.household(user->householdId) : std::nullopt;
    if (!user || !household)
        throw RequestError(401, "the token is not valid; sign in again");
    return Caller { std::move(*user), std::move(*household), std::move(tokenHash) };
}

const PowerModel& Service::modelFor(const HouseholdRow& household)
{
    std::lock_guard lock(m_modelsMutex);
    auto& model = m_models[household.id];
    if (!model)
        model = std::make_unique<PowerModel>(m_seed, zoneOffsetMinutes(household.timeZone, m_now(), false));
    return *model;
}

std::map<int64_t, StateTimeline> Service::timelinesOf(int64_t householdId)
{
    std::map<int64_t, StateTimeline> timelines;
    for (auto& [device, changes] : m_store.changesOf(householdId))
        timelines.emplace(device, StateTimeline(std::move(changes)));
    return timelines;
}

namespace {
    /// A name as a log line may show it: no line breaks or other controls.
    std::string printable(std::string text)
    {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        }
        return text;
    }
}

std::optional<UserRow> Service::checkSignIn(
    const std::string& name, const std::string& password, const std::string& peer)
{
    if (auto refusal = m_throttle.check(peer); refusal.waitMs > 0) {
        if (refusal.first)
            std::fprintf(stderr, "hestio-hub: refused a sign-in from %s as %s: it waits %lld s after failed sign-ins\n",
                peer.c_str(), printable(name).c_str(), static_cast<long long>((refusal.waitMs + 999) / 1000));
        return std::nullopt;
    }
    auto user = m_store.userByName(name);
    // An unknown name costs as much time as a wrong password, so that timing
    // does not tell which names exist.
    static const std::string kDecoy = hashPassword("decoy", m_config.passwordIterations);
    if (verifyPassword(password, user ? user->passwordHash : kDecoy) && user) {
        m_throttle.succeeded(peer, name);
        return user;
    }
    if (int64_t waitMs = m_throttle.failed(peer, name); waitMs > 0)
        std::fprintf(stderr, "hestio-hub: failed sign-in from %s as %s; its sign-ins are refused for %lld s\n",
            peer.c_str(), printable(name).c_str(), static_cast<long long>(waitMs / 1000));
    return std::nullopt;
}

Value Service::session(const FormData& params, const std::string& peer)
{
    int64_t now = m_now();
    if (isTrue(params, "logout")) {
        Caller caller = authenticate(params);
        m_store.removeSession(caller.tokenHash);
        return okReply();
    }
    std::string name = requireName(params, "name", kMaxTitleLength, true);
    std::string password = requireName(params, "password", kMaxPasswordLength, true);
    std::string pushToken
        = params.has("push_token") ? requireName(params, "push_token", kMaxPushTokenLength, true) : "";

    auto user = checkSignIn(name, password, peer);
    if (!user)
        throw RequestError(401, "Wrong username or password");
    auto household = m_store.household(user->householdId);
    if (!household)
        throw std::runtime_error("user without household");

    m_store.removeExpiredSessions(now);
    std::string token = newSessionToken();
    int64_t expiration = now + m_config.tokenTtlMs;
    m_store.addSession(sha256Hex(token), user->id, expiration, pushToken);

    Value householdObject = Value::dictionary({
        { "name", Value(household->name) },
        { "timeZoneArea", Value(household->timeZone) },
        { "UTCTimeZone", Value(zoneOffsetMinutes(household->timeZone, now, true) / 60) },
    });
    Value currentUser = Value::dictionary({
        { "username", Value(user->name) },
        { "type", Value(user->type) },
        { "id", Value(user->id) },
        { "household", householdObject },
    });
    return Value::dictionary({
        { "success", true },
        { "token", Value(token) },
        { "expiration", Value(expiration) },
        { "currentUser", currentUser },
    });
}

Value Service::saveLocation(const Caller& caller, const FormData& params)
{
    std::string title = requireName(params, "title", kMaxTitleLength);
    if (isTrue(params, "delete")) {
        if (!m_store.removeLocation(caller.user.id, title))
            throw RequestError(404, "no saved location is titled " + title);
        return okReply();
    }
    // Saving a title that exists moves that location, so a title names one place.
    LocationRow location { title, requireNumberIn(params, "latitude", -90, 90),
        requireNumberIn(params, "longitude", -180, 180) };
    m_store.saveLocation(caller.user.id, location);
    return okReply();
}

Value Service::locationList(const Caller& caller, const FormData&)
{
    std::vector<Value> items;
    for (const auto& location : m_store.locations(caller.user.id)) {
        items.push_back(Value::dictionary({
            { "title", Value(location.title) },
            { "latitude", Value(location.latitude) },
            { "longitude", Value(location.longitude) },
        }));
    }
    return Value::dictionary({ { "success", true }, { "locations", Value::array(items) } });
}

Value Service::addMovement(const Caller& caller, const FormData& params)
{
    MovementRow movement;
    movement.action = requireName(params, "action", kMaxTitleLength);
    movement.title = requireName(params, "title", kMaxTitleLength);
    movement.latitude = requireNumberIn(params, "latitude", -90, 90);
    movement.longitude = requireNumberIn(params, "longitude", -180, 180);
    movement.timestampMs = requireIntegerIn(params, "timestamp", 0, 253402300799999);
    m_store.addMovement(caller.user.id, movement);
    return okReply();
}

Value Service::movementList(const Caller& caller, const FormData&)
{
    std::vector<Value> items;
    for (const auto& movement : m_store.movements(caller.user.id)) {
        items.push_back(Value::dictionary({
            { "action", Value(movement.action) },
            { "title", Value(movement.title) },
            { "timestamp", Value(movement.timestampMs) },
            { "latitude", Value(movement.latitude) },
            { "longitude", Value(movement.longitude) },
        }));
    }
    // Movements are listed under "locations", newest first.
    return Value::dictionary({ { "success", true }, { "locations", Value::array(items) } });
}

Value Service::householdUsers(const Caller& caller, const FormData& params)
{
    if (!isAdministrator(caller.user))
        throw RequestError(403, "only administrators may list the users of the household");
    if (requireText(params, "household") != caller.household.name)
        throw RequestError(403, "you may list only the users of your own household");
    std::vector<Value> items;
    for (const auto& user : m_store.usersOf(caller.household.id)) {
        items.push_back(Value::dictionary({
            { "username", Value(user.name) },
            { "type", Value(user.type) },
            { "id", Value(user.id) },
            { "household", Value::dictionary({ { "name", Value(caller.household.name) } }) },
        }));
    }
    return Value::dictionary({ { "success", true }, { "allUsers", Value::array(items) } });
}

Value Service::setPassword(const Caller& caller, const FormData& params)
{
    std::string name = requireName(params, "name", kMaxTitleLength);
    std::string newPassword = requireName(params, "new_password", kMaxPasswordLength, true);
    // An empty password would lock nobody out and protect nothing.
    if (newPassword.empty())
        throw RequestError(400, "the new password must not be empty");
    if (params.has("password")) {
        if (name != caller.user.name)
            throw RequestError(403, "you may change only your own password");
        if (!verifyPassword(requireText(params, "password"), caller.user.passwordHash))
            throw RequestError(403, "the current password is wrong");
        m_store.setPasswordHash(caller.user.id, hashPassword(newPassword, m_config.passwordIterations));
        // Whoever signed in with the old password elsewhere has to sign in again.
        m_store.removeSessionsOf(caller.user.id, caller.tokenHash);
        return okReply();
    }
    if (!isAdministrator(caller.user))
        throw RequestError(403, "only administrators may set another user's password");
    auto target = m_store.userByName(name);
    if (!target || target->householdId != caller.household.id)
        throw RequestError(404, "no user named " + name + " in your household");
    if (target->id == caller.user.id)
        throw RequestError(400, "give your current password to change your own password");
    m_store.setPasswordHash(target->id, hashPassword(newPassword, m_config.passwordIterations));
    m_store.removeSessionsOf(target->id, "");
    return okReply();
}

Value Service::postActivity(const Caller& caller, const FormData& params)
{
    std::string title = requireName(params, "activity", kMaxActivityLength);
    int64_t timestamp = requireIntegerIn(params, "timestamp", 0, 253402300799999);
    if (optionalFlag(params, "new", false)) {
        // Creating an activity that exists already is harmless: the
        // client records its occurrence next either way.
        m_store.addActivity(caller.user.id, title);
        return okReply();
    }
    if (!m_store.addOccurrence(caller.user.id, title, timestamp))
        throw RequestError(404, "no activity is titled " + title);
    return okReply();
}

Value Service::activityList(const Caller& caller, const FormData&)
{
    std::vector<Value> items;
    for (const auto& activity : m_store.activities(caller.user.id)) {
        items.push_back(Value::dictionary({
            { "title", Value(activity.title) },
            { "timestamp", Value(activity.lastMs) },
            { "count", Value(activity.count) },
        }));
    }
    return Value::dictionary({ { "success", true }, { "activities", Value::array(items) } });
}

Value Service::postSchedule(const Caller& caller, const FormData& params)
{
    std::string title = requireName(params, "title", kMaxTitleLength);
    if (isTrue(params, "delete")) {
        if (!m_store.removeSchedule(caller.household.id, title))
            throw RequestError(404, "no schedule is titled " + title);
        return okReply();
    }
    ScheduleRow schedule;
    schedule.title = title;
    schedule.startHour = static_cast<int>(requireIntegerIn(params, "startHour", 0, 23));
    schedule.startMin = static_cast<int>(requireIntegerIn(params, "startMin", 0, 59));
    schedule.endHour = static_cast<int>(requireIntegerIn(params, "endHour", 0, 23));
    schedule.endMin = static_cast<int>(requireIntegerIn(params, "endMin", 0, 59));
    std::set<char> days;
    for (char c : params.get("repeatDays").value_or("")) {
        if (c < '1' || c > '7')
            throw RequestError(400, "parameter repeatDays may hold only the digits 1 to 7");
        days.insert(c);
    }
    schedule.repeatDays.assign(days.begin(), days.end());
    m_store.saveSchedule(caller.household.id, schedule);
    return okReply();
}

Value Service::scheduleList(const Caller& caller, const FormData&)
{
    std::vector<Value> items;
    for (const auto& schedule : m_store.schedules(caller.household.id)) {
        items.push_back(Value::dictionary({
            { "title", Value(schedule.title) },
            { "startHour", Value(schedule.startHour) },
            { "startMin", Value(schedule.startMin) },
            { "endHour", Value(schedule.endHour) },
            { "endMin", Value(schedule.endMin) },
            { "repeatDays", Value(schedule.repeatDays) },
        }));
    }
    return Value::dictionary({ { "success", true }, { "schedules", Value::array(items) } });
}

}
