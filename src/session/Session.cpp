#include "session/Session.h"

#include "net/Endpoints.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "session/AppShell.h"
#include "session/LeaveHomeChecker.h"

#include <thread>

namespace hestio {

using namespace platform;

namespace {
    /// Told apart from other requests in the callbacks.
    struct SessionRenewalRequest { };
}

std::shared_ptr<Session> Session::create()
{
    return std::make_shared<Session>();
}

std::shared_ptr<LeaveHomeChecker> Session::leaveHomeChecker()
{
    if (!m_leaveHomeChecker)
        m_leaveHomeChecker = LeaveHomeChecker::create(weak_from_this());
    return m_leaveHomeChecker;
}

void Session::connectToRequests(ServiceEnvironment& environment)
{
    std::weak_ptr<Session> weak = weak_from_this();
    std::thread::id mainThread = std::this_thread::get_id();
    environment.currentToken = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->currentToken() : std::nullopt;
    };
    // Only requests started on the main thread wait for a renewal; the
    // background resend signs in by itself and sends the token it finds.
    environment.sessionNeedsRenewal = [weak, mainThread] {
        auto self = weak.lock();
        return self && std::this_thread::get_id() == mainThread && self->sessionNeedsRenewal();
    };
    environment.renewSession = [weak](std::function<void()> done) {
        if (auto self = weak.lock())
            self->renewSession(std::move(done));
        else
            done();
    };
    environment.exchangeEnded = [weak](bool reachedService) {
        if (auto self = weak.lock())
            self->offline().exchangeEnded(reachedService);
    };
}

std::optional<std::string> Session::pushToken() const
{
    std::lock_guard lock(m_mutex);
    return m_pushToken;
}

void Session::setPushToken(std::optional<std::string> token)
{
    std::lock_guard lock(m_mutex);
    m_pushToken = std::move(token);
}

std::shared_ptr<User> Session::curUser() const
{
    std::lock_guard lock(m_mutex);
    return m_curUser;
}

void Session::setCurUser(std::shared_ptr<User> user)
{
    std::lock_guard lock(m_mutex);
    m_curUser = std::move(user);
}

std::optional<std::string> Session::currentToken() const
{
    std::lock_guard lock(m_mutex);
    if (!m_curUser || !m_curUser->hasToken())
        return std::nullopt;
    return m_curUser->loginToken;
}

bool Session::sessionNeedsRenewal() const
{
    // Nobody signed in, or a user without a token: there is no session to
    // renew (the sign-in screen or loginSynchronous deals with those).
    auto user = curUser();
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (!user || !user->hasToken() || !(user->tokenExpiration < now * 1000))
        return false;
    return UserDefaults::standard().stringForKey("username").has_value();
}

std::string Session::signInParameters(const std::string& name, const std::string& pass)
{
    std::string parameters = "name=" + escapeParameter(name) + "&password=" + escapeParameter(pass);
    std::optional<KeychainError> ignored;
    setPushToken(KeychainWrapper::getValueForKey("pushtoken", keychainService, &ignored));
    if (auto token = pushToken())
        parameters += "&push_token=" + escapeParameter(*token);
    return parameters;
}

void Session::createUser(const json::Value& reply)
{
    const json::Value& current = reply["currentUser"];
    auto user = User::initWithUsername(
        std::string(current["username"].stringValue()), std::string(reply["token"].stringValue()));
    user->household = current["household"];
    user->tokenExpiration = reply["expiration"].doubleValue();
    user->type = std::string(current["type"].stringValue());
    user->userID = static_cast<std::int32_t>(current["id"].integerValue());
    if (auto token = pushToken())
        user->pushToken = token;
    setCurUser(std::move(user));
}

platform::TimeZone Session::householdTimeZone() const
{
    auto user = curUser();
    return user ? user->householdTimeZone() : TimeZone::defaultZone();
}

void Session::endSessionRefused()
{
    setCurUser(nullptr);
    if (locationsWsc) {
        locationsWsc->cancel();
        locationsWsc.reset();
    }
    savedLocations.clear();
    m_offline.withholdCache();
    m_endedByRefusal = true;
    NotificationCenter::defaultCenter().post("UserLoggedOut", this);
}

void Session::userSignsIn(const std::string& username)
{
    std::optional<std::string> stored = UserDefaults::standard().stringForKey("username");
    if (stored && *stored != username) {
        // Nothing of the refused user stays for the next one to see.
        m_offline.deleteCache();
        std::optional<KeychainError> error;
        KeychainWrapper::deleteItemForKey(stored, keychainService, &error);
        if (error)
            hestio::log("Could not delete the refused user's stored password");
    }
    m_offline.releaseCache();
    m_endedByRefusal = false;
}

void Session::signInEnded()
{
    m_signInRunning = false;
    auto waiters = std::move(m_signInWaiters);
    m_signInWaiters.clear();
    for (auto& waiter : waiters)
        waiter();
}

void Session::whenSignInEnds(std::function<void()> done)
{
    if (!m_signInRunning) {
        done();
        return;
    }
    m_signInWaiters.push_back(std::move(done));
}

void Session::loginSynchronous(bool synchronous)
{
    if (auto app = shell())
        app->loginSynchronous(synchronous);
}

void Session::showLogin()
{
    if (auto app = shell())
        app->showLogin();
}

void Session::renewSession(std::function<void()> done)
{
    m_renewalWaiters.push_back(std::move(done));
    if (m_renewal)
        return;
    std::optional<std::string> username = UserDefaults::standard().stringForKey("username");
    if (!username) {
        endRenewal();
        return;
    }
    std::optional<KeychainError> ignored;
    std::string password = KeychainWrapper::getValueForKey(*username, keychainService, &ignored).value_or("");
    // The renewal keeps the signed-in user until the service has answered, so
    // a dropped connection leaves the session as it was rather than empty.
    m_renewal = WebServiceConnector::create(endpoints::kSignIn.path, signInParameters(*username, password), true);
    m_renewal->sendWithoutToken();
    m_renewal->setContext(SessionRenewalRequest {});
    m_renewal->setDelegate(weak_from_this());
    m_renewal->startConnectionForDownload(true);
    if (!m_renewal->isRunning())
        endRenewal();
}

void Session::endRenewal()
{
    m_renewal.reset();
    auto waiters = std::move(m_renewalWaiters);
    m_renewalWaiters.clear();
    for (auto& waiter : waiters)
        waiter();
}

void Session::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (!request.context<SessionRenewalRequest>())
        return;
    if (success) {
        createUser(data);
        endRenewal();
        return;
    }
    if (!request.answeredWithJSON()) {
        // Something on the way answered instead of the service: the
        // credentials were not judged, so the session stays as it was.
        endRenewal();
        return;
    }
    // The service refused the stored credentials: signed out, and the
    // waiting requests go out without a token and fail as such.
    setCurUser(nullptr);
    endRenewal();
    endSessionRefused();
}

void Session::requestFailed(WebServiceConnector& request, const platform::TransportError&)
{
    if (request.context<SessionRenewalRequest>())
        endRenewal();
}

}
