#include "AccountTestSupport.h"

#include "account/AccountTableViewController.h"
#include "account/OtherUserAccountViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/TabBarController.h"
#include "widgets/InfoDisplayCell.h"

using namespace hestio;
using namespace platform;

namespace {

const char* kHouseholdUsers = R"({"success":true,"allUsers":[
    {"username":"demo","type":"Admin","household":{"name":"The Demos"}},
    {"username":"sam","type":"member","household":{"name":"The Demos"}},
    {"username":"alex","type":"member","household":{"name":"The Demos"}}]})";

const Coordinate kGym { 40.75, -73.99 };
const Coordinate kAway { 40.9, -74.2 };

struct AccountTableViewControllerTest : test::AccountFixture {
    std::shared_ptr<AccountTableViewController> screen
        = AccountTableViewController::create(userSession(), session().locationManager);

    explicit AccountTableViewControllerTest(const std::string& type = "Admin")
        : AccountFixture(type)
    {
    }

    /// Pushes the screen and lets it appear, answering its first request.
    void open(const std::string& usersReply = kHouseholdUsers)
    {
        transport->enqueue(FakeTransport::Reply::json(usersReply));
        navigation->pushViewController(screen, false);
        screen->view();
        screen->viewDidAppear(false);
        loop.runPending();
    }
    TableView& table() { return screen->tableView(); }
    std::shared_ptr<TableViewCell> cell(int section, int row)
    {
        return screen->cellForRowAtIndexPath(table(), { section, row });
    }
    std::shared_ptr<InfoDisplayCell> infoCell(int section, int row)
    {
        return std::dynamic_pointer_cast<InfoDisplayCell>(cell(section, row));
    }
    void select(int section, int row) { screen->didSelectRowAtIndexPath(table(), { section, row }); }
    void logOut(const std::string& replyBody)
    {
        transport->enqueue(FakeTransport::Reply::json(replyBody));
        select(0, 0);
        loop.runPending();
    }
    std::vector<std::string> locationRows()
    {
        std::vector<std::string> rows;
        for (int row = 0; row < table().numberOfRowsInSection(4); ++row)
            rows.push_back(cell(4, row)->textLabel()->text());
        return rows;
    }
};

struct MemberAccountTest : AccountTableViewControllerTest {
    MemberAccountTest()
        : AccountTableViewControllerTest("member")
    {
    }
};

TEST_F(AccountTableViewControllerTest, AnAdministratorSeesTheOtherUsersOfTheHousehold)
{
    open();
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->requests()[0].url,
        "https://localhost:8443/kivoraserver/api/user?token=T0K3N&household=The%20Demos&token=T0K3N");
    EXPECT_EQ(table().numberOfSections(), 6) << "the leave-home check last";
    EXPECT_EQ(screen->titleForHeaderInSection(table(), 0), "Signed in as: demo");
    EXPECT_EQ(screen->titleForHeaderInSection(table(), 1), std::nullopt);
    EXPECT_EQ(screen->titleForHeaderInSection(table(), 3), "Users in household");
    EXPECT_EQ(screen->titleForHeaderInSection(table(), 4), "Your Saved Locations");
    EXPECT_EQ(cell(0, 0)->textLabel()->text(), "Log Out");
    EXPECT_EQ(infoCell(1, 0)->name().text(), "Type");
    EXPECT_EQ(infoCell(1, 0)->value().text(), "Admin");
    EXPECT_EQ(infoCell(1, 1)->name().text(), "Household");
    EXPECT_EQ(infoCell(1, 1)->value().text(), "The Demos");
    EXPECT_EQ(cell(2, 0)->textLabel()->text(), "Change your password");

    // The signed-in user is not among the others: their own password is
    // changed above, with the current one.
    ASSERT_EQ(table().numberOfRowsInSection(3), 2);
    EXPECT_EQ(infoCell(3, 0)->name().text(), "sam");
    EXPECT_EQ(infoCell(3, 0)->value().text(), "");
    EXPECT_EQ(infoCell(3, 0)->accessoryType(), TableViewCellAccessoryType::DetailDisclosureButton);
    EXPECT_EQ(infoCell(3, 1)->name().text(), "alex");

    screen->viewDidAppear(false);
    EXPECT_EQ(transport->requestCount(), 1u) << "the users are loaded once per visit";
}

TEST_F(AccountTableViewControllerTest, UsersAreRetriedOnTheNextAppearanceAfterAFailure)
{
    open(R"({"success":false})");
    EXPECT_TRUE(logs.contains("Failed to get user data"));
    EXPECT_EQ(table().numberOfRowsInSection(3), 0);
    transport->enqueue(FakeTransport::Reply::json(kHouseholdUsers));
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(table().numberOfRowsInSection(3), 2);
}

TEST_F(MemberAccountTest, AMemberSeesNeitherHeaderNorUsersAndSendsNoRequest)
{
    open();
    EXPECT_EQ(transport->requestCount(), 0u);
    EXPECT_EQ(screen->titleForHeaderInSection(table(), 3), std::nullopt);
    EXPECT_EQ(table().numberOfRowsInSection(3), 0);
    EXPECT_EQ(infoCell(1, 0)->value().text(), "member");
}

TEST_F(AccountTableViewControllerTest, WithoutSavedPlacesOnlyTheAddRowShowsAndCannotBeDeleted)
{
    open();
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Add location" }));
    EXPECT_FALSE(screen->canEditRowAtIndexPath(table(), { 4, 0 }));
    EXPECT_EQ(screen->editingStyleForRowAtIndexPath(table(), { 4, 0 }), TableViewCellEditingStyle::None);
    EXPECT_FALSE(screen->canEditRowAtIndexPath(table(), { 0, 0 }));
    auto add = cell(4, 0);
    ASSERT_TRUE(add->accessoryView());
    EXPECT_EQ(add->accessoryView()->accessibilityIdentifier(), "addLocationButton");
}

TEST_F(AccountTableViewControllerTest, OneNameAlertAtATimeAndOnlyOKWithANameCreatesAPlace)
{
    open();
    screen->addLocation();
    screen->addLocation();
    ASSERT_EQ(application->visibleAlerts().size(), 1u);
    auto alert = application->visibleAlerts()[0];
    EXPECT_EQ(alert->title(), "Set Location Name");
    EXPECT_EQ(alert->message(), "\n\n");
    TextField* field = screen->locationNameField();
    ASSERT_TRUE(field);
    EXPECT_EQ(field->placeholder(), "Location name");
    EXPECT_EQ(field->tag(), 4);
    EXPECT_FALSE(field->isSecureTextEntry());
    EXPECT_TRUE(field->isFirstResponder());

    field->setText("Gym");
    alert->clickButtonAtIndex(0);
    EXPECT_FALSE(screen->locationTitleAlert);
    EXPECT_FALSE(session().locationManager->locationManager().isUpdatingLocation()) << "Cancel creates nothing";

    screen->addLocation();
    screen->locationNameField()->setText("  ");
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_FALSE(session().locationManager->locationManager().isUpdatingLocation()) << "a blank name creates nothing";

    screen->addLocation();
    screen->locationNameField()->setText("Gym");
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_FALSE(screen->locationTitleAlert);
    EXPECT_TRUE(session().locationManager->locationManager().isUpdatingLocation());
    EXPECT_EQ(session().locationManager->title(), "Gym");
}

TEST_F(AccountTableViewControllerTest, AddingAPlaceAtTheCurrentPositionListsAndWatchesIt)
{
    addSavedLocation("Home", kAway);
    open();
    test::TableUpdateLog updates(table());
    transport->clearRequests();
    screen->addLocation();
    screen->locationNameField()->setText("Gym & Pool");
    application->topAlert()->clickButtonAtIndex(1);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    PositionSource::shared().moveTo(kGym, loop.now());
    loop.runPending();

    EXPECT_EQ(lastBody(), "title=Gym%20%26%20Pool&longitude=-73.99&latitude=40.75");
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home", "Gym & Pool" }));
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Home", "Gym & Pool", "Add location" }));
    EXPECT_TRUE(watching("Gym & Pool"));
    ASSERT_FALSE(updates.records().empty());
    const auto& insert = updates.records().back();
    EXPECT_EQ(insert.kind, TableView::UpdateRecord::Kind::InsertRows);
    EXPECT_EQ(insert.paths, (std::vector<IndexPath> { { 4, 1 }, { 5, 2 } })) << "and its row under When You Leave";
    EXPECT_EQ(insert.animation, TableViewRowAnimation::Bottom);
}

TEST_F(AccountTableViewControllerTest, APlaceAddedWhileTheListChangedElsewhereReloadsInsteadOfFailing)
{
    open();
    addSavedLocation("Home", kAway); // the table has not heard of it
    auto location = Location::initWithTitle("Gym", GeoLocation {});
    NotificationCenter::defaultCenter().post("LocationAdded", nullptr, { { "location", location } });
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Home", "Gym", "Add location" }));
}

TEST_F(AccountTableViewControllerTest, DeletingAPlaceRemovesItAtOnceAndStopsWatchingEvenIfRefused)
{
    addSavedLocation("Gym & Pool", kGym);
    open();
    test::TableUpdateLog updates(table());
    ASSERT_TRUE(screen->canEditRowAtIndexPath(table(), { 4, 0 }));
    EXPECT_EQ(screen->editingStyleForRowAtIndexPath(table(), { 4, 0 }), TableViewCellEditingStyle::Delete);
    EXPECT_FALSE(screen->canEditRowAtIndexPath(table(), { 4, 1 }));

    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    screen->commitEditingStyle(table(), TableViewCellEditingStyle::Delete, { 4, 0 });
    EXPECT_EQ(transport->lastRequest().method, "POST");
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/location");
    EXPECT_EQ(lastBody(), "title=Gym%20%26%20Pool&delete=true");
    EXPECT_TRUE(savedTitles().empty());
    EXPECT_FALSE(watching("Gym & Pool"));
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Add location" }));
    const auto& removal = updates.records().back();
    EXPECT_EQ(removal.kind, TableView::UpdateRecord::Kind::DeleteRows);
    EXPECT_EQ(removal.animation, TableViewRowAnimation::Right);

    loop.runPending();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Error Occurred");
    EXPECT_EQ(application->topAlert()->message(), "Failed to post your location.");
    EXPECT_EQ(application->topAlert()->buttonTitleAtIndex(0), "OK");
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Add location" })) << "the row is not restored";
    EXPECT_FALSE(watching("Gym & Pool"));
}

struct LoggingOutTest : AccountTableViewControllerTest {
    std::shared_ptr<TabBarController> tabs = TabBarController::create();
    int loggedOut = 0;

    LoggingOutTest()
    {
        tabs->setViewControllers({ std::make_shared<ViewController>(), navigation });
        tabs->setSelectedIndex(1);
        session().rootController = tabs;
        UserDefaults::standard().setObject("demo", "username");
        KeychainWrapper::storeKey(std::string("demo"), std::string("demo-password"), std::string("kivora"), true);
        addSavedLocation("Home", kAway);
        NotificationCenter::defaultCenter().addObserver(
            this, "UserLoggedOut", [this](const Notification&) { ++loggedOut; });
    }
    ~LoggingOutTest() override { NotificationCenter::defaultCenter().removeObserver(this); }

    std::optional<std::string> stored(const std::string& key)
    {
        return KeychainWrapper::getValueForKey(key, std::string("kivora"));
    }
};

TEST_F(LoggingOutTest, ASuccessfulLogoutClearsTheSessionAndEverythingStored)
{
    auto kept = userSession()->offline().cache();
    ASSERT_TRUE(kept);
    ASSERT_TRUE(kept->store("devices", R"({"success":true})", loop.now()));
    ReplyCache otherUser(profile / "cache", "other");
    ASSERT_TRUE(otherUser.store("devices", R"({"success":true})", loop.now()));
    session().setPushToken("ab12cd");
    KeychainWrapper::storeKey(std::string("pushtoken"), std::string("ab12cd"), std::string("kivora"), true);
    open();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    select(0, 0);
    EXPECT_FALSE(watching("Home")) << "regions stop before the reply";
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/session");
    EXPECT_EQ(transport->lastRequest().body, "logout=true&push_token=ab12cd&token=T0K3N");
    loop.runPending();

    EXPECT_TRUE(logs.contains("Log out was successful"));
    EXPECT_FALSE(session().curUser());
    EXPECT_EQ(loggedOut, 1);
    EXPECT_FALSE(stored("demo"));
    EXPECT_FALSE(stored("pushtoken"));
    EXPECT_FALSE(UserDefaults::standard().stringForKey("username"));
    EXPECT_FALSE(logs.contains("There was a problem deleting the keychain info after logout"));
    EXPECT_TRUE(session().savedLocations().empty()) << "the next user does not see these places";
    EXPECT_FALSE(std::filesystem::exists(kept->folder())) << "nor the lists kept for the offline view";
    EXPECT_TRUE(otherUser.load("devices")) << "another user's lists are theirs";
    EXPECT_EQ(tabs->selectedIndex(), 0);
    EXPECT_EQ(navigation->topViewController(), home.get()) << "the account screen pops itself";
}

TEST_F(LoggingOutTest, WithoutAPushTokenOnlyTheLogoutIsSentAndTheMissingItemIsLogged)
{
    open();
    logOut(R"({"success":true})");
    EXPECT_EQ(lastBody(), "logout=true");
    EXPECT_FALSE(stored("demo"));
    EXPECT_TRUE(logs.contains("There was a problem deleting the keychain info after logout"));
}

TEST_F(LoggingOutTest, ARefusedLogoutKeepsTheUserSignedInAndWatchingTheirPlaces)
{
    auto kept = userSession()->offline().cache();
    ASSERT_TRUE(kept && kept->store("devices", R"({"success":true})", loop.now()));
    open();
    logOut(R"({"success":false})");
    EXPECT_TRUE(kept->load("devices"));
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Error Occurred");
    EXPECT_EQ(application->topAlert()->message(), "Failed to logout");
    EXPECT_EQ(session().curUser(), user);
    EXPECT_EQ(loggedOut, 0);
    EXPECT_EQ(stored("demo"), "demo-password");
    EXPECT_EQ(UserDefaults::standard().stringForKey("username"), "demo");
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home" }));
    EXPECT_TRUE(watching("Home"));
    EXPECT_EQ(navigation->topViewController(), screen.get());
    EXPECT_EQ(tabs->selectedIndex(), 1);

    transport->enqueue(FakeTransport::Reply::failure());
    select(0, 0);
    loop.runPending();
    EXPECT_EQ(session().curUser(), user) << "a logout that never arrived";
    EXPECT_TRUE(watching("Home"));
}

TEST_F(AccountTableViewControllerTest, PasswordChangeSendsBothFieldsAsTypedEvenEmpty)
{
    open();
    select(2, 0);
    ASSERT_EQ(application->visibleAlerts().size(), 1u);
    auto alert = application->topAlert();
    EXPECT_EQ(alert->title(), "Change Password");
    EXPECT_EQ(alert->message(), " \n\n\n");
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "OK");
    struct Field {
        TextField* field;
        std::string placeholder;
        double y;
        int tag;
    };
    for (const Field& f : { Field { screen->currentPasswordField(), "Current Password", 45, 4 },
             Field { screen->newPasswordField(), "New Password", 80, 5 } }) {
        ASSERT_TRUE(f.field);
        EXPECT_EQ(f.field->placeholder(), f.placeholder);
        EXPECT_EQ(f.field->frame().origin.y, f.y) << f.placeholder;
        EXPECT_EQ(f.field->tag(), f.tag) << f.placeholder;
        EXPECT_TRUE(f.field->isSecureTextEntry()) << f.placeholder;
        EXPECT_EQ(f.field->superview(), alert) << f.placeholder;
    }
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    alert->clickButtonAtIndex(1);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/user");
    EXPECT_EQ(lastBody(), "name=demo&password=&new_password=");
    loop.runPending();
    EXPECT_TRUE(logs.contains("Successfully changed your password"));

    select(2, 0);
    screen->currentPasswordField()->setText("old&pw");
    screen->newPasswordField()->setText("n=w pw");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_EQ(lastBody(), "name=demo&password=old%26pw&new_password=n%3Dw%20pw");
    loop.runPending();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Error Occurred");
    EXPECT_EQ(application->topAlert()->message(), "Failed to change your password.");
    std::size_t sent = transport->requestCount();
    application->topAlert()->clickButtonAtIndex(0);
    EXPECT_EQ(transport->requestCount(), sent) << "OK on the error alert sends nothing";

    select(2, 0);
    application->topAlert()->clickButtonAtIndex(0);
    EXPECT_EQ(transport->requestCount(), sent) << "Cancel sends nothing";
}

TEST_F(AccountTableViewControllerTest, AUsersAccessoryOpensTheirPageAndSignOutPopsTheTopScreen)
{
    open();
    screen->accessoryButtonTappedForRowWithIndexPath(table(), { 3, 0 });
    loop.advance(1);
    auto* other = dynamic_cast<OtherUserAccountViewController*>(navigation->topViewController());
    ASSERT_TRUE(other);
    EXPECT_EQ(other->userInfo["username"].stringValue(), "sam");
    other->view();
    EXPECT_EQ(other->title(), "sam");
    ASSERT_TRUE(screen->navigationItem().backBarButtonItem());
    EXPECT_EQ(screen->navigationItem().backBarButtonItem()->title(), "Back");

    navigation->popViewControllerAnimated(false);
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(navigation->topViewController(), home.get());
}

}

namespace {

TEST_F(AccountTableViewControllerTest, TheAddButtonOpensTheNameAlertAndAnUnloadedScreenHearsNoMorePlaces)
{
    open();
    auto add = cell(4, 0);
    auto* button = dynamic_cast<Button*>(add->accessoryView().get());
    ASSERT_TRUE(button);
    button->sendActionsForControlEvents(ControlEventTouchUpInside);
    ASSERT_TRUE(screen->locationTitleAlert);
    application->topAlert()->clickButtonAtIndex(0);

    screen->viewDidUnload();
    auto location = Location::initWithTitle("Gym", GeoLocation {});
    NotificationCenter::defaultCenter().post("LocationAdded", nullptr, { { "location", location } });
    EXPECT_TRUE(savedTitles().empty());
}

TEST_F(AccountTableViewControllerTest, AnAlertOutlivingTheScreenIsAnsweredSafely)
{
    open();
    select(2, 0);
    auto alert = application->visibleAlerts().back();
    navigation->popViewControllerAnimated(false);
    screen.reset();
    std::size_t sent = transport->requestCount();
    alert->clickButtonAtIndex(1);
    EXPECT_EQ(transport->requestCount(), sent);
}

}

namespace {

const Coordinate kPool { 40.6, -73.9 };
const char* kOK = R"({"success":true})";
const char* kRefused = R"({"success":false,"error":"no saved location is titled Home"})";

/// Three saved places; replies come after the delays a slow network gives.
struct DeletingPlacesTest : AccountTableViewControllerTest {
    DeletingPlacesTest()
    {
        addSavedLocation("Home", kAway);
        addSavedLocation("Gym", kGym);
        addSavedLocation("Pool", kPool);
        open();
        transport->clearRequests();
    }
    void swipeDelete(int row) { screen->commitEditingStyle(table(), TableViewCellEditingStyle::Delete, { 4, row }); }
    std::vector<std::string> sentLines() const
    {
        std::vector<std::string> lines;
        for (const auto& request : transport->requests()) {
            std::string body = request.body.substr(0, request.body.rfind("&token="));
            lines.push_back(request.method + " " + request.url.substr(request.url.find("/api/")) + " " + body);
        }
        return lines;
    }
    std::size_t errorAlerts() const
    {
        std::size_t count = 0;
        for (const auto& alert : application->visibleAlerts())
            count += alert->title() == "Error Occurred";
        return count;
    }
    static std::string placesReply(const std::vector<std::string>& titles)
    {
        std::string items;
        for (const auto& title : titles)
            items += std::string(items.empty() ? "" : ",") + R"({"title":")" + title
                + R"(","latitude":40.6,"longitude":-73.9})";
        return R"({"success":true,"locations":[)" + items + "]}";
    }
};

}

TEST_F(DeletingPlacesTest, TwoDeletesAnsweredInReverseOrderBothReachTheServiceAndAreHandledOnce)
{
    transport->enqueue(FakeTransport::Reply::json(kOK).after(6));
    transport->enqueue(FakeTransport::Reply::json(kOK).after(2));
    swipeDelete(0);
    loop.advance(1.5);
    swipeDelete(0);
    EXPECT_EQ(sentLines(),
        (std::vector<std::string> {
            "POST /api/location title=Home&delete=true", "POST /api/location title=Gym&delete=true" }));
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Pool", "Add location" }));
    EXPECT_FALSE(watching("Home"));
    EXPECT_FALSE(watching("Gym"));

    loop.advance(2); // the second answers first
    loop.advance(3);
    EXPECT_EQ(transport->requestCount(), 2u) << "nothing more was needed";
    EXPECT_EQ(errorAlerts(), 0u);
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Pool" }));
    EXPECT_EQ(screen->deleteLocationWsc, nullptr);
    loop.advance(60);
    EXPECT_EQ(transport->requestCount(), 2u);
}

TEST_F(DeletingPlacesTest, ARefusedDeleteIsShownOnceAndTheListShowsWhatTheServiceHas)
{
    transport->enqueue(FakeTransport::Reply::json(kRefused).after(6)); // Home
    transport->enqueue(FakeTransport::Reply::json(kOK).after(2)); // Gym
    transport->enqueue(FakeTransport::Reply::json(placesReply({ "Home", "Pool" })).after(1));
    swipeDelete(0);
    loop.advance(1.5);
    swipeDelete(0);
    loop.advance(2);
    EXPECT_EQ(errorAlerts(), 0u) << "the delete that succeeded shows nothing";

    loop.advance(2.5);
    ASSERT_EQ(errorAlerts(), 1u);
    EXPECT_EQ(application->topAlert()->message(), "Failed to post your location.");
    ASSERT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(transport->lastRequest().method, "GET");
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/location?token=T0K3N&token=T0K3N");

    loop.advance(1);
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home", "Pool" }));
    EXPECT_EQ(locationRows(), (std::vector<std::string> { "Home", "Pool", "Add location" }));
    EXPECT_TRUE(watching("Home")) << "a place the service still has is watched again";
    EXPECT_FALSE(watching("Gym"));
    EXPECT_EQ(errorAlerts(), 1u);
}

TEST_F(DeletingPlacesTest, APlaceWhoseDeleteIsStillOnItsWayDoesNotComeBackWithTheList)
{
    transport->enqueue(FakeTransport::Reply::failure().after(1)); // Home, lost on the way
    transport->enqueue(FakeTransport::Reply::json(kOK).after(6)); // Gym
    transport->enqueue(FakeTransport::Reply::json(placesReply({ "Home", "Gym", "Pool" })).after(1));
    swipeDelete(0);
    swipeDelete(0);
    loop.advance(1);
    EXPECT_EQ(errorAlerts(), 0u) << "a network failure shows the info panel, not an alert";
    loop.advance(1);
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home", "Pool" }));
    EXPECT_FALSE(watching("Gym"));
    loop.advance(5);
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home", "Pool" }));
    EXPECT_EQ(transport->requestCount(), 3u);
}

TEST_F(DeletingPlacesTest, AScreenClosedWhileItsDeleteRunsHearsTheAnswerSafely)
{
    transport->enqueue(FakeTransport::Reply::json(kRefused).after(3));
    transport->enqueue(FakeTransport::Reply::json(placesReply({ "Home", "Pool", "Gym" })));
    swipeDelete(0);
    navigation->popViewControllerAnimated(false);
    std::weak_ptr<AccountTableViewController> weak = screen;
    screen.reset();
    EXPECT_FALSE(weak.expired()) << "the request keeps the screen to its answer";
    loop.advance(3);
    EXPECT_EQ(errorAlerts(), 1u);
    EXPECT_EQ(savedTitles(), (std::vector<std::string> { "Home", "Pool", "Gym" }));
    EXPECT_TRUE(watching("Home"));
    loop.advance(1);
    EXPECT_TRUE(weak.expired()) << "and lets it go afterwards";
    application->topAlert()->clickButtonAtIndex(0);
}

TEST_F(AccountTableViewControllerTest, TwoPasswordChangesAnsweredInReverseOrderAreEachHandledOnce)
{
    open();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(4));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    for (const char* typed : { "first", "second" }) {
        select(2, 0);
        screen->newPasswordField()->setText(typed);
        application->topAlert()->clickButtonAtIndex(1);
    }
    loop.advance(1);
    EXPECT_TRUE(logs.contains("Successfully changed your password"));
    EXPECT_FALSE(application->topAlert());
    loop.advance(3);
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->message(), "Failed to change your password.");
    EXPECT_EQ(application->visibleAlerts().size(), 1u);
}

namespace {

struct LoggingOutWhileBusyTest : LoggingOutTest {
    /// Renewal as the app wires it: requests wait for it while the token is
    /// out of date.
    void renewLikeTheApp()
    {
        auto& environment = ServiceEnvironment::shared();
        environment.sessionNeedsRenewal = [this] { return session().sessionNeedsRenewal(); };
        environment.renewSession = [this](std::function<void()> done) { session().renewSession(std::move(done)); };
    }
    void expire() { user->tokenExpiration = 1000; }
    bool loggedOutEverywhere()
    {
        return !session().curUser() && loggedOut == 1 && !stored("demo")
            && !UserDefaults::standard().stringForKey("username");
    }
};

}

TEST_F(LoggingOutWhileBusyTest, LogOutCancelsTheDownloadsOfTheSessionAndIgnoresASecondTap)
{
    transport->enqueue(FakeTransport::Reply::json(kHouseholdUsers).after(5));
    navigation->pushViewController(screen, false);
    screen->view();
    screen->viewDidAppear(false);
    screen->viewDidAppear(false);
    EXPECT_EQ(transport->requestCount(), 1u) << "appearing again while the users load starts no second download";
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[]})").after(5));
    session().getUsersSavedLocations();

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    select(0, 0);
    select(0, 0);
    EXPECT_EQ(transport->requestCount(), 3u) << "one logout at a time";
    EXPECT_TRUE(screen->isLoggingOut());
    loop.advance(2);
    EXPECT_TRUE(loggedOutEverywhere());
    EXPECT_FALSE(userSession()->locationsWsc);
    loop.advance(10);
    EXPECT_EQ(screen->usersInHousehold.size(), 0u) << "the cancelled download said nothing";
    EXPECT_TRUE(application->visibleAlerts().empty());
}

TEST_F(LoggingOutWhileBusyTest, AnExpiredTokenWhoseRenewalFailsStillLogsOut)
{
    renewLikeTheApp();
    open();
    transport->clearRequests();
    expire();
    transport->enqueue(FakeTransport::Reply::failure()); // the renewal
    transport->enqueue(
        FakeTransport::Reply::json(R"({"success":false,"error":"the token has expired; sign in again"})", 401));
    select(0, 0);
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(transport->requests()[0].body.substr(0, 10), "name=demo&");
    EXPECT_EQ(transport->requests()[1].body, "logout=true&token=T0K3N");
    EXPECT_TRUE(loggedOutEverywhere());
    EXPECT_FALSE(logs.contains("Failed to logout"));
    for (const auto& alert : application->visibleAlerts())
        EXPECT_NE(alert->message(), "Failed to logout");
}

TEST_F(LoggingOutWhileBusyTest, StoredCredentialsRefusedDuringTheLogoutFinishItQuietly)
{
    renewLikeTheApp();
    open();
    expire();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401)); // the renewal
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401)); // the logout, without a token
    select(0, 0);
    loop.runPending();
    EXPECT_EQ(transport->lastRequest().body, "logout=true&token=(null)");
    EXPECT_TRUE(loggedOutEverywhere());
    EXPECT_TRUE(application->visibleAlerts().empty());
}

TEST_F(LoggingOutWhileBusyTest, ADeleteRefusedAfterTheLogoutChangesNothingOfTheNextSession)
{
    open();
    transport->enqueue(FakeTransport::Reply::json(kRefused).after(4));
    screen->commitEditingStyle(table(), TableViewCellEditingStyle::Delete, { 4, 0 });
    logOut(R"({"success":true})");
    ASSERT_TRUE(loggedOutEverywhere());
    std::size_t sent = transport->requestCount();
    loop.advance(4);
    EXPECT_TRUE(application->visibleAlerts().empty());
    EXPECT_EQ(transport->requestCount(), sent) << "no download of the places for nobody";
    EXPECT_TRUE(session().savedLocations().empty());
}
