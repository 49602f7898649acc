#include "devices/StatusTableViewController.h"
#include "devices/CustomStatusCell.h"
#include "devices/DeviceDetailViewController.h"
#include "devices/DevicesTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace platform;

namespace {

// 2012-12-06 00:00:00 UTC is the test clock's start: 1354752000000 ms.
const char* kHousehold = R"({"success":true,"devices":[
    {"id":1,"name":"Kettle","location":"Kitchen","meterPluggedIn":true,
     "currentStatus":{"timestamp":1354751701000,"powerDraw":12.34},"onOff":{"device_id":"1","id":7}},
    {"id":2,"name":"","location":"attic","meterPluggedIn":true,"currentStatus":{"timestamp":1354751700500,"powerDraw":3}},
    {"id":3,"name":"Lamp","location":"Bedroom","meterPluggedIn":false,"currentStatus":{"timestamp":1354751990000}},
    {"id":4,"name":"Radio","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354752600000,"powerDraw":1}},
    {"id":5,"name":"Heater"}]})";

struct StatusTableViewControllerTest : test::DevicesFixture {
    std::shared_ptr<StatusTableViewController> screen = StatusTableViewController::create(userSession());
    std::shared_ptr<NavigationController> navigation = NavigationController::create(screen);

    StatusTableViewControllerTest() { screen->view(); }

    void download(const std::string& reply)
    {
        transport->enqueue(FakeTransport::Reply::json(reply));
        screen->refresh();
        loop.runPending();
        loop.runPending();
        loop.advance(0.5);
    }
    std::vector<std::string> sections()
    {
        std::vector<std::string> lines;
        TableView& table = screen->tableView();
        for (int s = 0; s < screen->numberOfSectionsInTableView(table); ++s) {
            std::string line = screen->titleForHeaderInSection(table, s).value_or("-") + ":";
            for (int r = 0; r < screen->numberOfRowsInSection(table, s); ++r) {
                auto cell = std::dynamic_pointer_cast<CustomStatusCell>(screen->cellForRowAtIndexPath(table, { s, r }));
                line += " " + cell->deviceLabel().text();
            }
            lines.push_back(line);
        }
        return lines;
    }
    std::shared_ptr<CustomStatusCell> cellAt(int section, int row)
    {
        return std::dynamic_pointer_cast<CustomStatusCell>(
            screen->cellForRowAtIndexPath(screen->tableView(), { section, row }));
    }
    std::vector<std::string> requestBodies()
    {
        std::vector<std::string> bodies;
        for (const auto& request : transport->requests())
            bodies.push_back(request.body);
        return bodies;
    }
};

TEST_F(StatusTableViewControllerTest, ListsRoomsInPlainStringOrderAndDevicesWithoutRoomUnderOther)
{
    screen->viewDidAppear(false); // no list yet: downloads at once
    transport->enqueue(FakeTransport::Reply::json(kHousehold));
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(transport->requests()[0].url,
        "https://localhost:8443/kivoraserver/api/device?token=T0K3N&action=true&token=T0K3N");
    EXPECT_EQ(sections(),
        (std::vector<std::string> { "Bedroom: Lamp", "Kitchen: Kettle Radio", "Other: Heater", "attic: Unnamed" }));
}

TEST_F(StatusTableViewControllerTest, StatusLinesFollowTheMeterRuleHomeUses)
{
    // Each alone in its room; the list is shown at 1354752000500.
    download(R"({"success":true,"devices":[
        {"id":1,"name":"a","location":"a","meterPluggedIn":true,"currentStatus":{"timestamp":1354751700501,"powerDraw":12.34}},
        {"id":2,"name":"b","location":"b","meterPluggedIn":true,"currentStatus":{"timestamp":1354751700500,"powerDraw":3}},
        {"id":3,"name":"c","location":"c","meterPluggedIn":false,"currentStatus":{"timestamp":1354751990000}},
        {"id":4,"name":"d","location":"d","meterPluggedIn":true,"currentStatus":{"timestamp":1354752300500,"powerDraw":1}},
        {"id":5,"name":"e","location":"e","meterPluggedIn":true,"currentStatus":{"timestamp":1354752300501,"powerDraw":1}},
        {"id":6,"name":"f","location":"f"},
        {"id":7,"name":"g","location":"g","meterPluggedIn":true,"currentStatus":{"timestamp":1354751990000,"powerDraw":-500}},
        {"id":8,"name":"h","location":"h","meterPluggedIn":true,"currentStatus":{"timestamp":1354751990000}}]})");
    struct Case {
        int section;
        const char* orb;
        const char* text;
        Color color;
    };
    const Color green = Color::rgb(0.2, 0.5, 0.3), red = Color::rgb(0.8, 0.045, 0.045);
    for (Case c : {
             Case { 0, "statusOnOrb.png", "Power Draw: 12.3W", green }, // 4 min 59.999 s old
             Case { 1, "statusErroredOrb.png", "Error: No recent data reported", red }, // exactly 5 min
             Case { 2, "statusErroredOrb.png", "Error: Meter is disconnected", red },
             Case { 3, "statusOnOrb.png", "Power Draw: 1.0W", green }, // 5 min ahead: a clock a little fast
             Case { 4, "statusErroredOrb.png", "Error: Meter clock is ahead", red }, // and 1 ms more
             Case { 5, "statusErroredOrb.png", "Error: No recent data reported", red }, // no status
             Case { 6, "statusErroredOrb.png", "Error: Meter reading is not valid", red }, // -500 W
             Case { 7, "statusErroredOrb.png", "Error: Meter reading is not valid", red }, // no reading
         }) {
        auto cell = cellAt(c.section, 0);
        EXPECT_EQ(cell->statusOnOff().imageName(), c.orb) << c.section;
        EXPECT_EQ(cell->statusLabel().text(), c.text) << c.section;
        EXPECT_EQ(cell->statusLabel().textColor(), c.color) << c.section;
    }
}

TEST_F(StatusTableViewControllerTest, MovesWithinARoomStayLocalAndAcrossRoomsSendOneRequest)
{
    download(kHousehold);
    transport->clearRequests();
    screen->moveRowAtIndexPath(screen->tableView(), { 1, 0 }, { 1, 1 });
    EXPECT_EQ(sections()[1], "Kitchen: Radio Kettle");
    EXPECT_EQ(transport->requestCount(), 0u);

    screen->moveRowAtIndexPath(screen->tableView(), { 1, 1 }, { 0, 0 });
    EXPECT_EQ(sections()[0], "Bedroom: Kettle Lamp");
    EXPECT_EQ(sections()[1], "Kitchen: Radio");
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/device");
    EXPECT_EQ(transport->lastRequest().body, "device_id=1&location=Bedroom&name=Kettle&token=T0K3N");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    loop.runPending();
}

TEST_F(StatusTableViewControllerTest, RenamingSendsTheEscapedNameAndLogsTheResult)
{
    download(kHousehold);
    transport->clearRequests();
    screen->editDevices();
    EXPECT_EQ(screen->navigationItem().leftBarButtonItem()->title(), "Done");
    EXPECT_TRUE(screen->navigationItem().rightBarButtonItem());
    screen->didSelectRowAtIndexPath(screen->tableView(), { 1, 0 });
    ASSERT_EQ(application->visibleAlerts().size(), 1u);
    auto alert = application->visibleAlerts()[0];
    EXPECT_EQ(alert->title(), "Change Device Name");
    EXPECT_EQ(screen->alertViewField()->placeholder(), "New device name");
    screen->alertViewField()->setText("Tea & Co");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    alert->clickButtonAtIndex(1);
    loop.runPending();
    EXPECT_EQ(
        requestBodies(), (std::vector<std::string> { "device_id=1&location=Kitchen&name=Tea%20%26%20Co&token=T0K3N" }));
    EXPECT_EQ(sections()[1], "Kitchen: Tea & Co Radio");
    EXPECT_TRUE(logs.contains("Device name was changed"));

    screen->editDevices();
    EXPECT_EQ(screen->navigationItem().leftBarButtonItem()->title(), "Edit");
    EXPECT_FALSE(screen->navigationItem().rightBarButtonItem());
}

TEST_F(StatusTableViewControllerTest, NewRoomsAreSortedInAndEmptyOrExistingNamesAreRefused)
{
    download(kHousehold);
    auto addRoom = [&](const std::string& name) {
        screen->addLocation();
        auto alert = application->visibleAlerts().back();
        EXPECT_EQ(alert->title(), "Create a new location");
        screen->alertViewField()->setText(name);
        alert->clickButtonAtIndex(1);
    };
    addRoom("Garage");
    addRoom("");
    addRoom("Kitchen");
    EXPECT_EQ(sections(),
        (std::vector<std::string> {
            "Bedroom: Lamp", "Garage:", "Kitchen: Kettle Radio", "Other: Heater", "attic: Unnamed" }));
    download(kHousehold);
    EXPECT_EQ(sections().size(), 4u); // the empty room is gone after the next download
}

TEST_F(StatusTableViewControllerTest, AFailedDownloadEndsLoadingAndKeepsTheList)
{
    download(kHousehold);
    for (auto reply : { FakeTransport::Reply::json(R"({"success":false})"), FakeTransport::Reply::failure() }) {
        transport->enqueue(reply);
        screen->startLoading();
        loop.runPending();
        loop.runPending();
        EXPECT_FALSE(screen->isLoading());
        EXPECT_EQ(sections().size(), 4u);
    }
}

TEST_F(StatusTableViewControllerTest, AppearingDownloadsAgainOnlyMoreThanFiveMinutesAfterTheFirstAppearance)
{
    // The first appearance downloads and starts the five minutes; nothing
    // else reads the clock before the returns below.
    transport->enqueue(FakeTransport::Reply::json(kHousehold));
    screen->viewDidAppear(false);
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), 1u);
    struct Case {
        double at;
        std::size_t requests;
    };
    for (Case c : { Case { 60, 1 }, Case { 299, 1 }, Case { 300, 1 }, Case { 301, 2 }, Case { 302, 3 } }) {
        loop.advance(c.at - (loop.now().timeIntervalSince1970() - 1354752000.0));
        transport->enqueue(FakeTransport::Reply::json(kHousehold));
        screen->viewDidAppear(false);
        loop.runPending();
        EXPECT_EQ(transport->requestCount(), c.requests) << "returning " << c.at << " s after the first appearance";
    }
}

TEST_F(StatusTableViewControllerTest, OpeningADevicePushesItsDetailAndLogoutEmptiesTheList)
{
    download(kHousehold);
    screen->didSelectRowAtIndexPath(screen->tableView(), { 1, 0 });
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    auto detail = std::dynamic_pointer_cast<DeviceDetailViewController>(navigation->viewControllers()[1]);
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->selected_device->deviceName, "Kettle");
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_TRUE(sections().empty());
    loop.advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
}

TEST_F(StatusTableViewControllerTest, AFocusedDeviceKeepsTheFocusWhenTheListReloadsWithItInAnotherRoom)
{
    auto window = Window::create();
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    download(kHousehold);
    window->layoutTree();
    auto radio = std::dynamic_pointer_cast<CustomStatusCell>(
        screen->tableView().cellForRowAtIndexPath({ 1, 1 })); // Kitchen: Kettle, Radio
    ASSERT_TRUE(radio);
    ASSERT_EQ(radio->deviceLabel().text(), "Radio");
    ASSERT_TRUE(radio->becomeFirstResponder());

    // The Radio went to the Bedroom, and a device came before it there.
    download(R"({"success":true,"devices":[
        {"id":3,"name":"Lamp","location":"Bedroom","meterPluggedIn":false,"currentStatus":{"timestamp":1354751990000}},
        {"id":4,"name":"Radio","location":"Bedroom","meterPluggedIn":true,"currentStatus":{"timestamp":1354752600000,"powerDraw":1}},
        {"id":1,"name":"Kettle","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354751701000,"powerDraw":12.34}}]})");
    auto* focused = dynamic_cast<CustomStatusCell*>(application->firstResponder());
    ASSERT_TRUE(focused) << "the focus went to nothing";
    EXPECT_EQ(focused->deviceLabel().text(), "Radio");
    EXPECT_EQ(screen->tableView().indexPathForCell(*focused), (IndexPath { 0, 1 }));
}

TEST_F(StatusTableViewControllerTest, TwoDownloadsInFlightShowTheNewerWhateverOrderTheyAnswerIn)
{
    const std::string older = R"({"success":true,"devices":[{"id":1,"name":"Old","location":"Kitchen"}]})";
    const std::string newer = R"({"success":true,"devices":[{"id":1,"name":"New","location":"Kitchen"}]})";
    struct Case {
        double olderDelay, newerDelay;
        bool newerSucceeds;
        const char* shown;
    };
    for (Case c : { Case { 3, 1, true, "Kitchen: New" }, Case { 1, 3, true, "Kitchen: New" },
             Case { 3, 1, false, "Kitchen: Old" } }) {
        screen->reset();
        transport->enqueue(FakeTransport::Reply::json(older).after(c.olderDelay));
        transport->enqueue(
            FakeTransport::Reply::json(c.newerSucceeds ? newer : R"({"success":false})").after(c.newerDelay));
        screen->refresh();
        loop.runPending();
        screen->startLoading(); // a pull while the first download runs
        loop.runPending();
        loop.advance(3.5);
        EXPECT_EQ(sections(), (std::vector<std::string> { c.shown })) << c.olderDelay << " " << c.newerDelay;
        EXPECT_FALSE(screen->isLoading());
    }
}

TEST_F(StatusTableViewControllerTest, LastUpdatedIsWrittenOnlyAfterADownloadThatSucceeded)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    screen->viewDidAppear(false);
    loop.runPending();
    loop.advance(1);
    EXPECT_EQ(screen->timestamp()->text(), "") << "an appearance and a refused download";

    loop.advance(60);
    transport->enqueue(FakeTransport::Reply::json(kHousehold));
    screen->startLoading();
    loop.advance(1);
    EXPECT_EQ(screen->timestamp()->text(), "Last updated: 12-06-12 12:01 AM");

    loop.advance(3600);
    for (auto reply : { FakeTransport::Reply::json(R"({"success":false})"), FakeTransport::Reply::json("<html>", 502),
             FakeTransport::Reply::failure() }) {
        transport->enqueue(reply);
        screen->startLoading();
        loop.advance(1);
        EXPECT_FALSE(screen->isLoading());
        EXPECT_EQ(screen->timestamp()->text(), "Last updated: 12-06-12 12:01 AM");
    }
}

TEST_F(StatusTableViewControllerTest, SignedOutItWaitsForTheSignInToDownload)
{
    std::optional<std::string> token;
    ServiceEnvironment::shared().currentToken = [&] { return token; };
    auto window = platform::Window::create();
    window->setRootViewController(navigation);
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 0u) << "nothing goes out as token=(null)";

    // The launch sign-in completes while the tab is shown: one download, also
    // when the appearance after the login screen asks in the same turn.
    token = "T0K3N";
    transport->enqueue(FakeTransport::Reply::json(kHousehold));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().url,
        "https://localhost:8443/kivoraserver/api/device?token=T0K3N&action=true&token=T0K3N");
    EXPECT_EQ(sections().size(), 4u);

    // With a list shown, a later sign-in (another household member) does not
    // download again by itself.
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u);
}

TEST_F(StatusTableViewControllerTest, ADownloadRunningAtLogoutFillsNothing)
{
    download(kHousehold);
    transport->enqueue(FakeTransport::Reply::json(kHousehold).after(2));
    screen->startLoading();
    loop.runPending();
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_FALSE(screen->isLoading());
    loop.advance(3);
    EXPECT_TRUE(sections().empty());
}

TEST_F(StatusTableViewControllerTest, AnAnswerForAListThatLetGoOfItsViewDoesNotLoadItAgain)
{
    transport->enqueue(FakeTransport::Reply::json(kHousehold).after(2));
    screen->refresh();
    loop.runPending();
    screen->didReceiveMemoryWarning();
    ASSERT_FALSE(screen->isViewLoaded());
    loop.advance(3);
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_EQ(screen->rooms.size(), 4u) << "shown when the view is loaded again";
    EXPECT_EQ(sections().size(), 4u);
}

struct DeviceChangeTest : StatusTableViewControllerTest {
    DeviceChangeTest()
    {
        download(kHousehold);
        transport->clearRequests();
        screen->editDevices();
        logs.clear();
    }
    void rename(int section, int row, const std::string& name)
    {
        screen->didSelectRowAtIndexPath(screen->tableView(), { section, row });
        auto alert = application->visibleAlerts().back();
        EXPECT_EQ(alert->title(), "Change Device Name");
        screen->alertViewField()->setText(name);
        alert->clickButtonAtIndex(1);
    }
    std::vector<std::string> alerts()
    {
        std::vector<std::string> shown;
        for (const auto& alert : application->visibleAlerts())
            shown.push_back(alert->title() + " | " + alert->message());
        return shown;
    }
    void closeAlerts()
    {
        auto shown = application->visibleAlerts(); // dismissing takes each off the list
        for (const auto& alert : shown)
            alert->dismissWithClickedButtonIndex(0, false);
    }
};

TEST_F(DeviceChangeTest, ARenameOrMoveTheServiceRefusesIsUndoneAndTheUserIsTold)
{
    const FakeTransport::Reply refusals[]
        = { FakeTransport::Reply::json(R"({"success":false})"), FakeTransport::Reply::json("<html>", 500),
              FakeTransport::Reply::json(R"({"success":false,"error":"no"})", 403), FakeTransport::Reply::failure() };
    for (const auto& refusal : refusals) {
        logs.clear();
        transport->enqueue(refusal);
        rename(1, 0, "Tea Maker");
        EXPECT_EQ(sections()[1], "Kitchen: Tea Maker Radio") << "shown at once, before the answer";
        loop.runPending();
        EXPECT_EQ(sections()[1], "Kitchen: Kettle Radio");
        EXPECT_EQ(alerts(),
            (std::vector<std::string> {
                "Not Saved | The new name \"Tea Maker\" was not saved. The device keeps its name \"Kettle\"." }));
        EXPECT_TRUE(logs.contains("Data was NOT sent successfully"));
        EXPECT_FALSE(logs.contains("Device name was changed"));
        closeAlerts();

        transport->enqueue(refusal);
        screen->moveRowAtIndexPath(screen->tableView(), { 1, 0 }, { 0, 1 });
        EXPECT_EQ(sections()[0], "Bedroom: Lamp Kettle");
        loop.runPending();
        EXPECT_EQ(sections()[0], "Bedroom: Lamp");
        EXPECT_EQ(sections()[1], "Kitchen: Kettle Radio") << "back in its old place";
        EXPECT_EQ(alerts(),
            (std::vector<std::string> {
                "Not Saved | Moving \"Kettle\" to Bedroom was not saved. It stays in Kitchen." }));
        EXPECT_FALSE(logs.contains("Device location was changed"));
        closeAlerts();
    }
    EXPECT_EQ(transport->requestCount(), 8u);
}

TEST_F(DeviceChangeTest, AnEmptyOrBlankNameIsNotSent)
{
    for (const char* name : { "", " ", "   \t" }) {
        rename(1, 0, name);
        EXPECT_EQ(alerts(), (std::vector<std::string> { "Name Not Changed | A device name cannot be empty." }))
            << "\"" << name << "\"";
        closeAlerts();
    }
    EXPECT_EQ(transport->requestCount(), 0u);
    EXPECT_EQ(sections()[1], "Kitchen: Kettle Radio");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    rename(1, 0, " Tea ");
    loop.runPending();
    EXPECT_EQ(transport->lastRequest().body, "device_id=1&location=Kitchen&name=%20Tea%20&token=T0K3N");
}

TEST_F(DeviceChangeTest, TwoRenamesInFlightAnsweredInReverseOrderLeaveTheNameTheServiceHas)
{
    // The first rename answers after 3 s, the second after 1 s.
    struct Case {
        bool firstSaved, secondSaved;
        const char* shown;
        std::vector<std::string> alerts;
    };
    const std::string pot = "Not Saved | The new name \"Pot\" was not saved. The device keeps its name ";
    const std::string urn = "Not Saved | The new name \"Urn\" was not saved. The device keeps its name ";
    const Case cases[] = {
        { true, false, "Kitchen: Pot Radio", { urn + "\"Pot\"." } },
        { false, true, "Kitchen: Urn Radio", { pot + "\"Urn\"." } },
        { true, true, "Kitchen: Urn Radio", {} },
        { false, false, "Kitchen: Kettle Radio", { urn + "\"Pot\".", pot + "\"Kettle\"." } },
    };
    for (const Case& c : cases) {
        download(kHousehold);
        logs.clear();
        auto answer = [](bool saved, double delay) {
            return FakeTransport::Reply::json(saved ? R"({"success":true})" : R"({"success":false})").after(delay);
        };
        transport->enqueue(answer(c.firstSaved, 3));
        transport->enqueue(answer(c.secondSaved, 1));
        rename(1, 0, "Pot");
        rename(1, 0, "Urn");
        loop.advance(1);
        loop.advance(2);
        EXPECT_EQ(sections()[1], c.shown) << c.firstSaved << c.secondSaved;
        EXPECT_EQ(alerts(), c.alerts) << c.firstSaved << c.secondSaved;
        int answered = 0;
        for (const auto& line : logs.lines())
            answered += line == "Device name was changed" || line == "Data was NOT sent successfully";
        EXPECT_EQ(answered, 2) << "each answer handled once";
        closeAlerts();
    }
}

TEST_F(DeviceChangeTest, ARenameAndAMoveInFlightTogetherAreEachReportedOnce)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(3));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    rename(1, 0, "Tea Maker");
    screen->moveRowAtIndexPath(screen->tableView(), { 1, 1 }, { 0, 0 });
    ASSERT_EQ(requestBodies(),
        (std::vector<std::string> { "device_id=1&location=Kitchen&name=Tea%20Maker&token=T0K3N",
            "device_id=4&location=Bedroom&name=Radio&token=T0K3N" }));
    loop.advance(5);
    EXPECT_EQ(logs.lines(), (std::vector<std::string> { "Device location was changed", "Device name was changed" }));
    EXPECT_EQ(sections()[0], "Bedroom: Radio Lamp");
    EXPECT_EQ(sections()[1], "Kitchen: Tea Maker");
    EXPECT_TRUE(alerts().empty());
}

TEST_F(DeviceChangeTest, ARefusalAnsweredAfterTheNextDownloadOnlyTellsTheUser)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(3));
    rename(1, 0, "Tea Maker");
    download(R"({"success":true,"devices":[{"id":1,"name":"Kettle","location":"Kitchen"}]})");
    loop.advance(3);
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen: Kettle" }));
    EXPECT_EQ(alerts().size(), 1u);
}

TEST_F(StatusTableViewControllerTest, AfterTheRenameAlertInEditModeTheReorderHandleStillMovesTheRow)
{
    auto window = Window::create();
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    TouchSynthesizer fingers(*application, [this](double seconds) { loop.advance(seconds); });
    download(kHousehold);
    screen->editDevices();
    loop.advance(1);
    window->layoutTree();
    TableView& table = screen->tableView();

    // Rename the Kettle with taps, as a person would.
    fingers.tap(table.convertToWindow(table.rectForRowAtIndexPath({ 1, 0 }).center()));
    ASSERT_EQ(application->visibleAlerts().size(), 1u) << window->dumpTree();
    auto alert = application->visibleAlerts()[0];
    fingers.tap(screen->alertViewField()->convertToWindow(screen->alertViewField()->bounds().center()));
    screen->alertViewField()->setText("Tea Maker");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    fingers.tap(alert->buttonAtIndex(1)->convertToWindow(alert->buttonAtIndex(1)->bounds().center()));
    loop.advance(1);
    window->layoutTree();
    ASSERT_TRUE(application->visibleAlerts().empty());
    ASSERT_EQ(sections()[1], "Kitchen: Tea Maker Radio");

    // Drag the Lamp (Bedroom) by its handle down into the Kitchen.
    transport->clearRequests();
    auto lamp = table.cellForRowAtIndexPath({ 0, 0 });
    ASSERT_TRUE(lamp && lamp->reorderControl()) << window->dumpTree();
    Point grip = lamp->reorderControl()->convertToWindow(lamp->reorderControl()->bounds().center());
    Point kitchen = table.convertToWindow(table.rectForRowAtIndexPath({ 1, 1 }).center());
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    fingers.drag(grip, { grip.x, kitchen.y + 10 }, 12, 0.6);
    loop.advance(1);
    EXPECT_FALSE(screen->isLoading()) << "the drag is no pull";
    EXPECT_EQ(table.contentOffset().y, 0);
    ASSERT_EQ(transport->requestCount(), 1u) << window->dumpTree();
    EXPECT_EQ(transport->lastRequest().body, "device_id=3&location=Kitchen&name=Lamp&token=T0K3N");
    EXPECT_EQ(sections()[0], "Bedroom:");
}

}
