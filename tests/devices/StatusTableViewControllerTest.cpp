#include "devices/StatusTableViewController.h"
#include "devices/CustomStatusCell.h"
#include "devices/DeviceDetailViewController.h"
#include "devices/DevicesTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/NavigationController.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace platform;

namespace {

// 2012-12-06 00:00:00 UTC is the test clock's start: 1354752000000 ms.
const char* kHousehold = R"({"success":true,"devices":[
    {"id":1,"name":"Kettle","location":"Kitchen","meterPluggedIn":true,
     "currentStatus":{"timestamp":1354751701000,"powerDraw":12.34},"onOff":{"device_id":"1","id":7}},
    {"id":2,"name":"","location":"attic","meterPluggedIn":true,"currentStatus":{"timestamp":1354751700000,"powerDraw":3}},
    {"id":3,"name":"Lamp","location":"Bedroom","meterPluggedIn":false,"currentStatus":{"timestamp":1354751990000}},
    {"id":4,"name":"Radio","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354752600000,"powerDraw":1}},
    {"id":5,"name":"Heater"}]})";

struct StatusTableViewControllerTest : test::DevicesFixture {
    std::shared_ptr<StatusTableViewController> screen = StatusTableViewController::create();
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

TEST_F(StatusTableViewControllerTest, StatusLinesAroundTheFiveMinuteLimit)
{
    download(kHousehold);
    struct Case {
        int section, row;
        const char* orb;
        const char* text;
        Color color;
    };
    const Color green = Color::rgb(0.2, 0.5, 0.3), red = Color::rgb(0.8, 0.045, 0.045);
    for (Case c : {
             Case { 1, 0, "statusOnOrb.png", "Power Draw: 12.3W", green }, // 4 min 59 s old
             Case { 3, 0, "statusErroredOrb.png", "Error: No recent data reported", red }, // exactly 5 min
             Case { 0, 0, "statusErroredOrb.png", "Error: Meter is disconnected", red },
             Case { 1, 1, "statusOnOrb.png", "Power Draw: 1.0W", green }, // in the future
             Case { 2, 0, "statusErroredOrb.png", "Error: No recent data reported", red }, // no status
         }) {
        auto cell = cellAt(c.section, c.row);
        EXPECT_EQ(cell->statusOnOff().imageName(), c.orb) << c.section << "/" << c.row;
        EXPECT_EQ(cell->statusLabel().text(), c.text) << c.section << "/" << c.row;
        EXPECT_EQ(cell->statusLabel().textColor(), c.color) << c.section << "/" << c.row;
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

TEST_F(StatusTableViewControllerTest, AppearingDownloadsAgainOnlyAfterFiveMinutes)
{
    download(kHousehold);
    screen->lastRefreshedDate();
    transport->clearRequests();
    loop.advance(299);
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 0u);
    loop.advance(2);
    transport->enqueue(FakeTransport::Reply::json(kHousehold));
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u);
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

}
