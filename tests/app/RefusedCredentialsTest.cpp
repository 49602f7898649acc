#include "app/SessionTestSupport.h"

#include "app/LoginViewController.h"
#include "devices/StatusTableViewController.h"
#include "net/ReplyCache.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"

using namespace hestio;
using namespace platform;

namespace {

// demo's lists as an earlier run kept them: every name in them is demo's.
const struct {
    const char* key;
    const char* body;
} kDemoReplies[] = {
    { "suggestions",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","suggestions":[{"id":1083,"name":"Raise the fridge by a degree"}]}]})" },
    { "devices",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354751880000,"powerDraw":80}}]})" },
    { "schedules",
        R"({"success":true,"schedules":[{"title":"Office","startHour":8,"startMin":0,"endHour":17,"endMin":30,"repeatDays":""}]})" },
    { "activities", R"({"success":true,"activities":[{"title":"Watered the ferns"}]})" },
    { "places", R"({"success":true,"locations":[{"title":"Grandma's","latitude":40.7128,"longitude":-74.006}]})" },
};
const char* const kDemoTexts[] = { "Fridge", "Kitchen", "Raise the fridge", "Office", "Watered the ferns" };

const char* const kRefusal = R"({"success":false,"error":"Wrong username or password"})";

std::string samSignInReply()
{
    return R"({"success":true,"token":"SAM","expiration":1354755600000,"currentUser":{"username":"sam","type":"ADMIN","id":8,"household":{"name":"The Sams","timeZoneArea":"America/New_York","UTCTimeZone":"-5"}}})";
}

/// demo is stored (name and password) with lists kept from an earlier run;
/// the service no longer takes demo's password.
struct RefusedCredentialsTest : test::SessionFixture {
    int loggedOut { 0 };

    RefusedCredentialsTest()
    {
        UserDefaults::standard().setObject("demo", "username");
        KeychainWrapper::storeKey(std::string("demo"), std::string("old"), std::string("kivora"), true);
        ReplyCache cache(profile / "cache", "demo");
        for (const auto& kept : kDemoReplies)
            EXPECT_TRUE(cache.store(kept.key, kept.body, Date::fromMilliseconds(1354751400000)));
        NotificationCenter::defaultCenter().addObserver(this, "UserLoggedOut", [this](const auto&) { ++loggedOut; });
    }
    ~RefusedCredentialsTest() override { NotificationCenter::defaultCenter().removeObserver(this); }

    /// The texts of every tab's screen, each loaded and laid out, behind
    /// whatever is presented over them.
    std::string everyTab()
    {
        std::string shown;
        for (const auto& controller : session().rootController->viewControllers()) {
            auto navigation = std::dynamic_pointer_cast<NavigationController>(controller);
            auto view = navigation->topViewController()->view();
            view->layoutIfNeeded();
            shown += view->dumpTree();
        }
        return shown;
    }
    /// What the window shows on top: the presented screen and any alert.
    std::string window()
    {
        session().window->layoutIfNeeded();
        std::string shown = session().window->dumpTree();
        for (const auto& overlay : session().window->overlays())
            shown += overlay->dumpTree();
        return shown;
    }
    void expectNothingOfDemo(const std::string& shown, const char* when)
    {
        for (const char* text : kDemoTexts)
            EXPECT_EQ(shown.find(text), std::string::npos) << when << ": " << text << " shows\n" << shown;
    }
    std::shared_ptr<LoginViewController> loginScreen()
    {
        return std::dynamic_pointer_cast<LoginViewController>(
            session().rootController->modalViewController()->shared_from_this());
    }
};

}

TEST_F(RefusedCredentialsTest, RefusedStoredCredentialsEndTheSessionAndTheNextUserSeesNothingOfTheFirst)
{
    transport->enqueue(FakeTransport::Reply::json(kRefusal, 401).after(1));
    session().applicationDidFinishLaunching(false);
    // Until the service has answered, the phone is demo's: the kept lists show.
    EXPECT_NE(everyTab().find("Fridge"), std::string::npos);
    EXPECT_EQ(session().savedLocations().size(), 1u);

    loop.advance(1);
    EXPECT_EQ(loggedOut, 1) << "the session ended as at logout";
    EXPECT_FALSE(session().curUser());
    EXPECT_TRUE(session().savedLocations().empty());
    EXPECT_TRUE(session().locationManager->locationManager().monitoredRegions().empty());
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Authentication Failed");
    ASSERT_TRUE(loginScreen());
    expectNothingOfDemo(everyTab(), "refused");
    expectNothingOfDemo(window(), "the login screen");
    EXPECT_FALSE(userSession()->offline().cache()) << "nothing of demo is offered meanwhile";
    EXPECT_TRUE(std::filesystem::exists(profile / "cache" / "demo")) << "demo may still sign in again";
    application->topAlert()->dismissWithClickedButtonIndex(0, false);

    // sam signs in; no list has come yet.
    auto login = loginScreen();
    login->view();
    login->username->setText("sam");
    login->password->setText("sam");
    transport->enqueue(FakeTransport::Reply::json(samSignInReply()));
    login->logIn();
    loop.runPending();
    ASSERT_TRUE(session().curUser());
    EXPECT_EQ(session().curUser()->username, "sam");
    expectNothingOfDemo(everyTab(), "sam's first screen");
    expectNothingOfDemo(window(), "sam's first screen on top");
    EXPECT_FALSE(std::filesystem::exists(profile / "cache" / "demo")) << "demo's kept lists are gone, as at logout";
    std::optional<KeychainError> error;
    EXPECT_FALSE(KeychainWrapper::getValueForKey(std::string("demo"), std::string("kivora"), &error))
        << "and demo's refused password";
    EXPECT_EQ(KeychainWrapper::getValueForKey(std::string("sam"), std::string("kivora"), &error), "sam");
    EXPECT_EQ(UserDefaults::standard().stringForKey("username"), "sam");
    EXPECT_EQ(userSession()->offline().cache()->owner(), "sam");
}

TEST_F(RefusedCredentialsTest, TheSameUserSigningInAgainKeepsTheirKeptLists)
{
    transport->enqueue(FakeTransport::Reply::json(kRefusal, 401));
    session().applicationDidFinishLaunching(false);
    loop.runPending();
    ASSERT_EQ(loggedOut, 1);
    auto login = loginScreen();
    login->view();
    login->username->setText("demo");
    login->password->setText("new");
    transport->enqueue(FakeTransport::Reply::json(signInReply()));
    login->logIn();
    loop.runPending();
    EXPECT_TRUE(ReplyCache(profile / "cache", "demo").load("devices"));
    EXPECT_EQ(KeychainWrapper::getValueForKey(std::string("demo"), std::string("kivora")), "new");
}

TEST_F(RefusedCredentialsTest, ARenewalRefusedEndsTheSessionAsALogoutDoes)
{
    session().applicationDidFinishLaunching(true);
    auto user = User::initWithUsername("demo", "OLD");
    user->tokenExpiration = 0; // expired
    session().setCurUser(user);
    ASSERT_EQ(session().savedLocations().size(), 1u) << "demo's kept places";
    transport->enqueue(FakeTransport::Reply::json(kRefusal, 401));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401));
    WebServiceConnector::create("/api/activity", std::nullopt, false)->startConnectionForDownload(true);
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(loggedOut, 1);
    EXPECT_FALSE(session().curUser());
    EXPECT_TRUE(session().savedLocations().empty());
    EXPECT_TRUE(loginScreen());
}

TEST_F(RefusedCredentialsTest, APullAfterAnOfflineLaunchWaitsForTheSignInAndDownloadsOnceWithTheToken)
{
    transport->enqueue(FakeTransport::Reply::failure());
    session().applicationDidFinishLaunching(false);
    session().rootController->setSelectedIndex(2);
    auto navigation
        = std::dynamic_pointer_cast<NavigationController>(session().rootController->viewControllers().at(2));
    auto devices
        = std::dynamic_pointer_cast<StatusTableViewController>(navigation->topViewController()->shared_from_this());
    devices->view();
    loop.runPending();
    loop.runPending();
    ASSERT_TRUE(userSession()->offline().isOffline());
    std::size_t before = transport->requestCount();

    transport->enqueue(FakeTransport::Reply::json(signInReply()).after(1));
    devices->refresh();
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), before + 1) << "only the sign-in went out";
    EXPECT_NE(transport->lastRequest().url.find("/session"), std::string::npos);
    loop.advance(1);
    loop.runPending();
    loop.runPending();
    std::vector<std::string> deviceLists;
    for (const auto& line : requestLines())
        if (line.find("/api/device?") != std::string::npos && line.find("action=true") != std::string::npos)
            deviceLists.push_back(line);
    ASSERT_EQ(deviceLists.size(), 1u) << "one device list, once signed in\n"
                                      << ::testing::PrintToString(requestLines());
    EXPECT_NE(deviceLists[0].find("token=T0K3N"), std::string::npos) << deviceLists[0];
    EXPECT_EQ(deviceLists[0].find("(null)"), std::string::npos) << deviceLists[0];

    // A sign-in that cannot get through ends the pull without a request.
    session().setCurUser(nullptr);
    userSession()->offline().exchangeEnded(false);
    before = transport->requestCount();
    transport->enqueue(FakeTransport::Reply::failure());
    devices->refresh();
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), before + 1) << "the sign-in alone";
    EXPECT_FALSE(devices->isLoading());
}
