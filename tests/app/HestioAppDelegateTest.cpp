#include "SessionTestSupport.h"

#include "app/LoginViewController.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TabBarController.h"
#include "presence/FailedMovementFile.h"

#include <thread>

using namespace hestio;
using platform::FakeTransport;

namespace {
using HestioAppDelegateTest = test::SessionFixture;
constexpr double nowMs = 1354752000000.0; // the manual clock's start
}

TEST_F(HestioAppDelegateTest, LaunchBuildsFiveTabsAndShowsLoginWithoutStoredUser)
{
    session().applicationDidFinishLaunching(false);
    ASSERT_TRUE(session().rootController);
    std::vector<std::string> titles;
    for (const auto& controller : session().rootController->viewControllers())
        titles.push_back(controller->tabBarItem().title());
    EXPECT_EQ(titles, (std::vector<std::string> { "Suggestions", "Home", "Devices", "Schedule", "Log" }));
    EXPECT_TRUE(session().window);
    EXPECT_EQ(application->enabledRemoteNotificationTypes(), 7u);

    loop.advance(0.099);
    EXPECT_FALSE(session().rootController->modalViewController());
    loop.advance(0.001);
    EXPECT_TRUE(dynamic_cast<LoginViewController*>(session().rootController->modalViewController()))
        << "the login screen comes 0.1 s after a failed stored-credential check";
    EXPECT_EQ(transport->requestCount(), 0u);
}

TEST_F(HestioAppDelegateTest, LaunchForALocationEventNeitherSignsInNorShowsLogin)
{
    platform::UserDefaults::standard().setObject("demo", "username");
    session().applicationDidFinishLaunching(true);
    loop.advance(5);
    EXPECT_EQ(transport->requestCount(), 0u);
    EXPECT_FALSE(session().rootController->modalViewController());
}

TEST_F(HestioAppDelegateTest, StoredCredentialsSignInInTheBackgroundWithThePushToken)
{
    platform::UserDefaults::standard().setObject("demo", "username");
    KeychainWrapper::storeKey("demo", "s3cret&x", "kivora", true);
    KeychainWrapper::storeKey("pushtoken", "abcd", "kivora", true);
    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply()));
    session().applicationDidFinishLaunching(false);
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/session");
    EXPECT_EQ(transport->lastRequest().body, "name=demo&password=s3cret%26x&push_token=abcd&token=(null)");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[]})"));
    loop.runPending();
    auto user = session().curUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->loginToken, "T0K3N");
    EXPECT_EQ(user->userID, 7);
    EXPECT_TRUE(user->isAdministrator());
    EXPECT_EQ(user->pushToken, session().pushToken()) << "the registration at launch may have brought a newer token";
    EXPECT_EQ(user->household["name"].stringValue(), "The Demos");
    std::vector<std::string> urls;
    for (const auto& request : transport->requests())
        urls.push_back(request.url);
    EXPECT_NE(
        std::find(urls.begin(), urls.end(), "https://localhost:8443/kivoraserver/api/location?token=T0K3N&token=T0K3N"),
        urls.end())
        << "UserLoggedIn loads the saved locations";
    EXPECT_NE(std::find(urls.begin(), urls.end(),
                  "https://localhost:8443/kivoraserver/api/device?token=T0K3N&suggestion=true&token=T0K3N"),
        urls.end())
        << "and the suggestions on screen";
}

TEST_F(HestioAppDelegateTest, TokenExpiryIsExactToTheMillisecond)
{
    session().applicationDidFinishLaunching(true);
    auto user = User::initWithUsername("demo", "T");
    user->tokenExpiration = nowMs;
    session().setCurUser(user);
    session().loginSynchronous(false);
    loop.advance(1);
    EXPECT_EQ(transport->requestCount(), 0u) << "expiring exactly now still counts as signed in";

    platform::UserDefaults::standard().setObject("demo", "username");
    user->tokenExpiration = nowMs - 1;
    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply("NEW")));
    session().loginSynchronous(true);
    EXPECT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(session().curUser()->loginToken, "NEW") << "the synchronous sign-in installs the user at once";
}

namespace {
struct Answers : WebServiceConnectorDelegate {
    std::vector<std::string> calls;
    void requestFinished(WebServiceConnector& request, bool success, const json::Value&) override
    {
        calls.push_back(request.url().substr(request.url().find("/kivoraserver")) + (success ? " ok" : " refused"));
    }
    void requestFailed(WebServiceConnector& request, const platform::TransportError&) override
    {
        calls.push_back(request.url().substr(request.url().find("/kivoraserver")) + " failed");
    }
};
}

struct SessionRenewalTest : test::SessionFixture {
    std::shared_ptr<Answers> answers = std::make_shared<Answers>();
    std::shared_ptr<User> user;

    void SetUp() override
    {
        session().applicationDidFinishLaunching(true);
        platform::UserDefaults::standard().setObject("demo", "username");
        KeychainWrapper::storeKey("demo", "pw", "kivora", true);
        user = User::initWithUsername("demo", "OLD");
        user->tokenExpiration = nowMs - 1;
        session().setCurUser(user);
    }
    /// The stored-credential sign-in, with the push token the launch registered.
    std::string signInLine() const
    {
        return "POST https://localhost:8443/kivoraserver/session name=demo&password=pw&push_token="
            + HestioAppDelegate::shared().pushToken().value_or("?") + "&token=(null)";
    }
    std::shared_ptr<WebServiceConnector> request(const char* path)
    {
        auto wsc = WebServiceConnector::create(path, std::nullopt, false);
        wsc->setDelegate(answers);
        wsc->startConnectionForDownload(true);
        return wsc;
    }
};

TEST_F(SessionRenewalTest, RequestsWaitForOneRenewalWithoutBlockingAndGoOutWithTheNewToken)
{
    user->tokenExpiration = nowMs; // expiring exactly now still counts as signed in
    request("/api/battery");
    EXPECT_EQ(requestLines(),
        (std::vector<std::string> { "GET https://localhost:8443/kivoraserver/api/battery?token=OLD&token=OLD" }));
    transport->clearRequests();
    loop.runPending();
    answers->calls.clear();

    user->tokenExpiration = nowMs - 1;
    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply("NEW")).after(2));
    request("/api/device");
    request("/api/activity");
    EXPECT_EQ(requestLines(), (std::vector<std::string> { signInLine() }))
        << "one sign-in for both, and the caller returned at once";
    EXPECT_EQ(session().curUser(), user) << "the user stays signed in while the renewal runs";

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    loop.advance(2);
    EXPECT_EQ(requestLines(),
        (std::vector<std::string> { signInLine(),
            "GET https://localhost:8443/kivoraserver/api/device?token=NEW&token=NEW",
            "GET https://localhost:8443/kivoraserver/api/activity?token=NEW&token=NEW" }));
    loop.runPending();
    EXPECT_EQ(answers->calls,
        (std::vector<std::string> {
            "/kivoraserver/api/device?token=NEW&token=NEW ok", "/kivoraserver/api/activity?token=NEW&token=NEW ok" }));
    EXPECT_EQ(session().curUser()->loginToken, "NEW");
}

TEST_F(SessionRenewalTest, ARenewalThatCannotReachTheServiceKeepsTheUserAndTheNextRequestTriesAgain)
{
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    transport->enqueue(FakeTransport::Reply::failure());
    request("/api/device");
    loop.advance(1);
    loop.runPending();
    EXPECT_EQ(session().curUser(), user) << "never an empty user after a dropped renewal";
    EXPECT_EQ(answers->calls, (std::vector<std::string> { "/kivoraserver/api/device?token=OLD&token=OLD failed" }));

    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply("NEW")));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    request("/api/schedule");
    loop.runPending();
    loop.runPending();
    std::vector<std::string> lines = requestLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], signInLine());
    EXPECT_EQ(lines[3], "GET https://localhost:8443/kivoraserver/api/schedule?token=NEW&token=NEW");
    EXPECT_EQ(session().curUser()->loginToken, "NEW");
}

TEST_F(SessionRenewalTest, RefusedStoredCredentialsSignOutAndShowTheLoginScreen)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"Wrong username or password"})", 401));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401));
    request("/api/activity");
    loop.runPending();
    loop.runPending();
    EXPECT_FALSE(session().curUser());
    EXPECT_TRUE(dynamic_cast<LoginViewController*>(session().rootController->modalViewController()));
    EXPECT_EQ(requestLines().back(), "GET https://localhost:8443/kivoraserver/api/activity?token=(null)&token=(null)");
    EXPECT_EQ(
        answers->calls, (std::vector<std::string> { "/kivoraserver/api/activity?token=(null)&token=(null) refused" }));
}

TEST_F(SessionRenewalTest, NoStoredUserNameMeansNoRenewalAndOtherThreadsSendTheTokenTheyFind)
{
    std::string fromOtherThread;
    std::thread([&] {
        fromOtherThread = WebServiceConnector::create("/api/movement", "a=1", true)->parameters();
    }).join();
    EXPECT_EQ(fromOtherThread, "a=1&token=OLD");

    platform::UserDefaults::standard().removeObjectForKey("username");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401));
    request("/api/activity");
    EXPECT_EQ(requestLines(),
        (std::vector<std::string> { "GET https://localhost:8443/kivoraserver/api/activity?token=OLD&token=OLD" }));
}

TEST_F(SessionRenewalTest, TheSynchronousSignInKeepsTheUserWhenNoAnswerComes)
{
    transport->enqueue(FakeTransport::Reply::failure());
    session().loginSynchronous(true);
    EXPECT_EQ(session().curUser(), user);
    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply("NEW")));
    session().loginSynchronous(true);
    EXPECT_EQ(session().curUser()->loginToken, "NEW");
}

TEST_F(HestioAppDelegateTest, SynchronousSignInInstallsAUserEvenFromAnUnusableReply)
{
    session().applicationDidFinishLaunching(true);
    platform::UserDefaults::standard().setObject("demo", "username");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    session().loginSynchronous(true);
    auto user = session().curUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->username, "");
    EXPECT_FALSE(user->hasToken());
    EXPECT_EQ(user->userID, 0);
    EXPECT_EQ(user->tokenExpiration, 0);
}

TEST_F(HestioAppDelegateTest, NoStoredUserInTheBackgroundGivesOneNotificationAndNoLogin)
{
    session().applicationDidFinishLaunching(true);
    application->enterBackground();
    session().loginSynchronous(false);
    loop.advance(1);
    ASSERT_EQ(notifications.entries().size(), 1u);
    EXPECT_EQ(
        notifications.entries()[0].alertBody, "Your login credentials aren't stored in the keychain. Please login");
    EXPECT_EQ(notifications.entries()[0].alertAction, "OK");
    EXPECT_FALSE(session().rootController->modalViewController());
}

TEST_F(HestioAppDelegateTest, PushTokenBecomesLowercaseHexAndIsStored)
{
    std::vector<std::uint8_t> token(32);
    for (int i = 0; i < 32; ++i)
        token[i] = static_cast<std::uint8_t>(i * 8 + 0xA0);
    session().didRegisterForRemoteNotifications(*application, token);
    auto text = session().pushToken();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), 64u);
    EXPECT_EQ(text->substr(0, 8), "a0a8b0b8");
    EXPECT_EQ(KeychainWrapper::getValueForKey("pushtoken", "kivora"), *text);

    keychain->failAlways(platform::InMemoryKeychain::Call::Add, platform::keychain_status::io);
    KeychainWrapper::deleteItemForKey("pushtoken", "kivora");
    session().didRegisterForRemoteNotifications(*application, token);
    EXPECT_EQ(logs.lines().back(), "Problem storing push token in keychain");

    session().didFailToRegisterForRemoteNotifications(*application, "no push service");
    EXPECT_EQ(logs.lines().back(), "Failed to get push token: Error: no push service");
}

TEST_F(HestioAppDelegateTest, SavedLocationsReplies)
{
    session().applicationDidFinishLaunching(true);
    session().locationManager->startMonitoringRegionWithCenter({ 1, 2 }, "Work");
    transport->enqueue(FakeTransport::Reply::json(
        R"({"success":true,"locations":[{"title":"Home","latitude":40.5,"longitude":-74.25},{"title":"Work","latitude":1,"longitude":2}]})"));
    session().getUsersSavedLocations();
    loop.runPending();
    ASSERT_EQ(session().savedLocations().size(), 2u);
    EXPECT_EQ(session().savedLocations()[0]->title, "Home");
    EXPECT_EQ(session().savedLocations()[0]->location.coordinate.longitude, -74.25);
    EXPECT_TRUE(logs.contains("location is NOT being monitored: Home"));
    EXPECT_TRUE(logs.contains("Location is already being monitored"));
    EXPECT_EQ(session().locationManager->locationManager().monitoredRegions().size(), 2u);

    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"locations":[]})"));
    session().getUsersSavedLocations();
    loop.runPending();
    EXPECT_EQ(session().savedLocations().size(), 2u) << "a refused reply keeps the old list";

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[]})"));
    session().getUsersSavedLocations();
    loop.runPending();
    EXPECT_TRUE(session().savedLocations().empty());
    EXPECT_EQ(
        transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/location?token=(null)&token=(null)");
}

TEST_F(HestioAppDelegateTest, RemoteNotificationAlertsOnlyWhenActive)
{
    session().applicationDidFinishLaunching(true);
    activate();
    session().didReceiveRemoteNotification(*application, R"({"aps":{"alert":"Washing machine finished"}})");
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Message from server");
    EXPECT_EQ(application->topAlert()->message(), "Washing machine finished");
    std::size_t alerts = application->visibleAlerts().size();
    std::vector<std::string> desktop;
    application->setDesktopNotifier(
        [&](const platform::DesktopNotice& n) { desktop.push_back(n.summary + "|" + n.body + "|" + n.actionLabel); });
    application->enterBackground();
    session().didReceiveRemoteNotification(*application, R"({"aps":{"alert":"Heater left on"}})");
    session().didReceiveRemoteNotification(*application, R"({"aps":{}})");
    EXPECT_EQ(application->visibleAlerts().size(), alerts);
    EXPECT_EQ(desktop, (std::vector<std::string> { "Message from server|Heater left on|OK" }))
        << "in the background the message goes to the desktop; one without text is dropped";
}

TEST_F(HestioAppDelegateTest, ResendStopsAtTheFirstFailureAndKeepsTheRest)
{
    session().applicationDidFinishLaunching(true);
    for (const char* entry : { "a=1&token=OLD", "a=2&token=OLD", "a=3&token=OLD" })
        FailedMovementFile::addLocationToPlist(entry);
    auto user = User::initWithUsername("demo", "NOW");
    user->tokenExpiration = nowMs + 3600000;
    session().setCurUser(user);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"database is busy"})"));
    HestioAppDelegate::resendFailedMovements();
    EXPECT_EQ(requestLines(),
        (std::vector<std::string> { "POST https://localhost:8443/kivoraserver/api/movement a=1&token=OLD&token=NOW",
            "POST https://localhost:8443/kivoraserver/api/movement a=2&token=OLD&token=NOW" }));
    EXPECT_EQ(
        FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=3&token=OLD", "a=2&token=OLD" }))
        << "the failed entry goes back at the end";

    transport->enqueue(FakeTransport::Reply::failure());
    HestioAppDelegate::resendFailedMovements();
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations().size(), 2u) << "a transport failure keeps it too";
}

TEST_F(HestioAppDelegateTest, ResentEntriesLeaveTheFileOnlyOnceTheServiceTookThem)
{
    // A process killed while an entry is on its way must still find it in
    // the file afterwards.
    session().applicationDidFinishLaunching(true);
    for (const char* entry : { "a=1&token=OLD", "a=2&token=OLD" })
        FailedMovementFile::addLocationToPlist(entry);
    auto user = User::initWithUsername("demo", "NOW");
    user->tokenExpiration = nowMs + 3600000;
    session().setCurUser(user);
    std::vector<std::vector<std::string>> fileWhileSending;
    int nestedSends = 0;
    transport->setHandler([&](const platform::HttpRequest&) {
        fileWhileSending.push_back(FailedMovementFile::getAllFailedLocations());
        // A second resend started meanwhile must not send the same entry again.
        std::size_t before = transport->requestCount();
        HestioAppDelegate::resendFailedMovements();
        nestedSends += static_cast<int>(transport->requestCount() - before);
        return FakeTransport::Reply::json(R"({"success":true})");
    });
    HestioAppDelegate::resendFailedMovements();
    EXPECT_EQ(fileWhileSending,
        (std::vector<std::vector<std::string>> { { "a=1&token=OLD", "a=2&token=OLD" }, { "a=2&token=OLD" } }));
    EXPECT_EQ(nestedSends, 0);
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty());

    // An entry that fails keeps its place in the file all along, then waits
    // at the end.
    for (const char* entry : { "b=1&token=OLD", "b=2&token=OLD" })
        FailedMovementFile::addLocationToPlist(entry);
    fileWhileSending.clear();
    transport->setHandler([&](const platform::HttpRequest&) {
        fileWhileSending.push_back(FailedMovementFile::getAllFailedLocations());
        return FakeTransport::Reply::json("<html>Bad Gateway</html>", 502);
    });
    HestioAppDelegate::resendFailedMovements();
    EXPECT_EQ(fileWhileSending, (std::vector<std::vector<std::string>> { { "b=1&token=OLD", "b=2&token=OLD" } }));
    EXPECT_EQ(
        FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "b=2&token=OLD", "b=1&token=OLD" }));
}

TEST_F(HestioAppDelegateTest, EnteringTheBackgroundResendsOnTheQueueInsideABackgroundTask)
{
    session().applicationDidFinishLaunching(true);
    activate();
    application->enterBackground();
    EXPECT_EQ(application->openBackgroundTaskCount(), 0u) << "nobody signed in: nothing to do";

    FailedMovementFile::addLocationToPlist("a=1&token=OLD");
    auto user = User::initWithUsername("demo", "NOW");
    user->tokenExpiration = nowMs + 3600000;
    session().setCurUser(user);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    application->enterForeground();
    application->enterBackground();
    platform::DispatchQueue::global().waitUntilIdle();
    loop.runPending();
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty());
    EXPECT_EQ(application->openBackgroundTaskCount(), 0u) << "the task ends after the resend";
}

TEST_F(HestioAppDelegateTest, OnlyTheNewestSavedLocationsDownloadSpeaksForTheSession)
{
    session().applicationDidFinishLaunching(true);
    transport->enqueue(
        FakeTransport::Reply::json(R"({"success":true,"locations":[{"title":"Earlier","latitude":1,"longitude":2}]})")
            .after(3));
    transport->enqueue(
        FakeTransport::Reply::json(R"({"success":true,"locations":[{"title":"Newest","latitude":3,"longitude":4}]})")
            .after(1));
    session().getUsersSavedLocations();
    loop.advance(0.5);
    session().getUsersSavedLocations();
    loop.advance(1);
    ASSERT_EQ(session().savedLocations().size(), 1u);
    EXPECT_EQ(session().savedLocations()[0]->title, "Newest");
    EXPECT_FALSE(userSession()->locationsWsc);

    loop.advance(2); // the earlier one answers last
    ASSERT_EQ(session().savedLocations().size(), 1u);
    EXPECT_EQ(session().savedLocations()[0]->title, "Newest");
    EXPECT_FALSE(session().locationManager->regionIsAlreadyBeingMonitoredWithIdentifier("Earlier"));

    // Failing on the way, the newest leaves the list as it was.
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    session().getUsersSavedLocations();
    loop.advance(1);
    EXPECT_EQ(session().savedLocations().size(), 1u);
    EXPECT_FALSE(userSession()->locationsWsc);
}
