#include "devices/DeviceDetailViewController.h"
#include "devices/DetailCells.h"
#include "devices/DevicesTestSupport.h"
#include "widgets/InfoDisplayCell.h"

#include "platform/ui/Accessible.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace hestio;
using namespace platform;

namespace {

const char* kHeater = R"({"id":5,"name":"Heater","location":"Den","meterSupplyingPower":true,"meterPluggedIn":true,
    "currentStatus":{"timestamp":1354752000000,"powerDraw":0.06},"onOff":{"device_id":"d5","id":9},
    "possibleActions":[
        {"id":11,"device_id":"d5","type":0,"name":"Boost"},
        {"id":12,"device_id":"d5","type":1,"name":"Level","values":[{"name":"Lowest","value":0},{"name":"Highest","value":100},{"name":"Middle","value":50}]},
        {"id":13,"device_id":"d5","type":7,"name":"Mystery"}]})";

struct DeviceDetailViewControllerTest : test::DevicesFixture {
    std::shared_ptr<DeviceDetailViewController> screen = DeviceDetailViewController::create(userSession());

    void show(const std::string& device)
    {
        screen->selected_device = Device::fromJSON(parse(device));
        screen->view();
        screen->viewWillAppear(false);
    }
    std::shared_ptr<TableViewCell> cell(int section, int row)
    {
        return screen->cellForRowAtIndexPath(screen->tableView(), { section, row });
    }
    double height(int row) { return screen->heightForRowAtIndexPath(screen->tableView(), { 2, row }); }
    void tap(int row) { screen->didSelectRowAtIndexPath(screen->tableView(), { 2, row }); }
};

TEST_F(DeviceDetailViewControllerTest, ShowsStatusRowsAndOneRowPerAction)
{
    show(kHeater);
    TableView& table = screen->tableView();
    EXPECT_EQ(screen->title(), "Heater");
    EXPECT_EQ(table.numberOfRowsInSection(2), 3);
    EXPECT_EQ(screen->titleForHeaderInSection(table, 1), "Graphs");
    EXPECT_EQ(screen->titleForHeaderInSection(table, 2), "Tap to change...");
    auto status = std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 1));
    EXPECT_EQ(status->name().text(), "Device Status");
    EXPECT_EQ(status->value().text(), "On");
    auto power = std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 2));
    EXPECT_EQ(power->value().text(), "0.1 W");
    auto onOff = std::dynamic_pointer_cast<OnOffCell>(cell(0, 0));
    EXPECT_TRUE(onOff->onOffSwitch()->isOn());

    auto binary = std::dynamic_pointer_cast<DrawerBinaryCell>(cell(2, 0));
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->drawerBG().imageName(), "actionDrawer.png");
    auto range = std::dynamic_pointer_cast<DrawerRangeCell>(cell(2, 1));
    ASSERT_TRUE(range);
    EXPECT_EQ(range->slider()->minimumValue(), 0);
    EXPECT_EQ(range->slider()->maximumValue(), 100);
    EXPECT_EQ(range->drawerBG().imageName(), "actionDrawer.png");
    auto unknown = cell(2, 2); // a kind of action the app does not know: its name, no control
    EXPECT_FALSE(std::dynamic_pointer_cast<BaseDrawerCell>(unknown));
    EXPECT_EQ(unknown->textLabel()->text(), "Mystery");

    show(R"({"id":6,"name":"","meterPluggedIn":true,"currentStatus":{"timestamp":1354752000000,"powerDraw":0}})");
    EXPECT_EQ(screen->title(), "Unnamed");
    EXPECT_EQ(table.numberOfRowsInSection(2), 0);
    EXPECT_EQ(screen->titleForHeaderInSection(table, 2), std::nullopt);
    EXPECT_EQ(std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 1))->value().text(), "Off");
    EXPECT_EQ(std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 2))->value().text(), "0.0 W");
}

TEST_F(DeviceDetailViewControllerTest, AReadingTheMeterRuleRefusesIsNamedNotShownAsADraw)
{
    // Now is 1354752000000; each device's status and what the two rows say.
    struct Case {
        const char* status;
        const char* deviceStatus;
        const char* powerDraw;
    };
    for (Case c : {
             Case { R"("meterPluggedIn":true)", "Unknown", "Never reported" },
             Case { R"("meterPluggedIn":true,"currentStatus":{"powerDraw":0})", "Unknown", "Never reported" },
             Case {
                 R"("meterPluggedIn":true,"currentStatus":{"timestamp":1354751700001,"powerDraw":7})", "On", "7.0 W" },
             Case { R"("meterPluggedIn":true,"currentStatus":{"timestamp":1354751700000,"powerDraw":7})", "Unknown",
                 "No recent data" },
             Case { R"("meterPluggedIn":true,"currentStatus":{"timestamp":1354752000000,"powerDraw":-500})", "Unknown",
                 "Invalid reading" },
             Case {
                 R"("meterPluggedIn":true,"currentStatus":{"timestamp":1354752000000})", "Unknown", "Invalid reading" },
             Case { R"("meterPluggedIn":true,"currentStatus":{"timestamp":1354752300001,"powerDraw":7})", "Unknown",
                 "Clock ahead" },
             Case { R"("currentStatus":{"timestamp":1354752000000,"powerDraw":7})", "Unknown", "Disconnected" },
         }) {
        show(std::string(R"({"id":6,"name":"Fan","meterSupplyingPower":true,)") + c.status + "}");
        EXPECT_EQ(std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 1))->value().text(), c.deviceStatus) << c.status;
        EXPECT_EQ(std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 2))->value().text(), c.powerDraw) << c.status;
    }
}

TEST_F(DeviceDetailViewControllerTest, EveryControlAScreenReaderFindsHasAName)
{
    auto window = Window::create();
    window->setRootViewController(screen);
    window->makeKeyAndVisible();
    show(kHeater);
    tap(0); // the drawers' buttons and slider show too
    tap(1);
    loop.advance(1);
    EXPECT_EQ(test::unnamedControls(*application), std::vector<std::string> {});
    auto toggle = std::dynamic_pointer_cast<OnOffCell>(cell(0, 0))->onOffSwitch();
    auto info = accessibleInfo(*application, { toggle.get() });
    EXPECT_EQ(info.role, AccessibleRole::ToggleButton);
    EXPECT_FALSE(info.name.empty());
    EXPECT_TRUE(info.states & AccessibleChecked);
}

TEST_F(DeviceDetailViewControllerTest, ARangeSliderStartsAtTheSettingTheActionCarries)
{
    struct Case {
        const char* values;
        float value;
        const char* shown;
    };
    for (Case c : {
             Case { R"([{"name":"Current","value":62.5},{"name":"Min","value":10},{"name":"Max","value":90}])", 62.5f,
                 "62" },
             Case { R"([{"name":"Min","value":10},{"name":"Max","value":90},{"name":"Value","value":90}])", 90, "90" },
             Case { R"([{"name":"Min","value":10},{"name":"Max","value":90},{"name":"Value","value":95}])", 90, "90" },
             Case {
                 R"([{"name":"Min","value":10},{"name":"Max","value":90},{"name":"Current","value":"high"}])", 10, "" },
             Case { R"([{"name":"Min","value":10},{"name":"Max","value":90}])", 10, "" },
         }) {
        // A new screen each time: a cell made afresh, as for a device opened anew.
        screen = DeviceDetailViewController::create(userSession());
        show(std::string(R"({"id":5,"name":"Lamp","possibleActions":[{"id":12,"device_id":"d5","type":1,)")
            + R"("name":"Level","values":)" + c.values + "}]}");
        auto range = std::dynamic_pointer_cast<DrawerRangeCell>(cell(2, 0));
        ASSERT_TRUE(range) << c.values;
        EXPECT_EQ(range->slider()->value(), c.value) << c.values;
        EXPECT_EQ(range->sliderVal().text(), c.shown) << c.values;
    }
}

TEST_F(DeviceDetailViewControllerTest, DrawersOpenCloseAndSwitchWithTheirRowHeights)
{
    show(kHeater);
    auto heights = [&] { return std::vector<double> { height(0), height(1), height(2) }; };
    EXPECT_EQ(heights(), (std::vector<double> { 44, 44, 44 }));
    tap(0);
    EXPECT_EQ(heights(), (std::vector<double> { 90, 44, 44 }));
    tap(1);
    EXPECT_EQ(heights(), (std::vector<double> { 44, 90, 44 }));
    EXPECT_EQ(screen->selectedRow, 1);
    tap(1);
    EXPECT_EQ(heights(), (std::vector<double> { 44, 44, 44 }));
    EXPECT_EQ(screen->selectedRow, -1);
    EXPECT_FALSE(screen->drawerOpen);
    EXPECT_EQ(screen->heightForRowAtIndexPath(screen->tableView(), { 0, 0 }), 44);
}

TEST_F(DeviceDetailViewControllerTest, AnOpenedDrawerIsScrolledIntoView)
{
    show(kHeater);
    TableView& table = screen->tableView();
    table.setFrame({ 0, 0, 320, 367 }); // between the navigation bar and the tab bar
    table.layoutIfNeeded();
    auto shown = [&](int row) {
        Rect r = table.rectForRowAtIndexPath({ 2, row });
        double top = table.contentOffset().y;
        return r.minY() >= top && r.maxY() <= top + table.bounds().height();
    };
    ASSERT_FALSE(table.rectForRowAtIndexPath({ 2, 2 }).maxY() + 46 <= 367)
        << "the last drawer must open below the fold";
    tap(2);
    Animator::current().finishAll();
    EXPECT_TRUE(shown(2)) << "offset " << table.contentOffset().y;
    EXPECT_EQ(table.contentOffset().y, table.rectForRowAtIndexPath({ 2, 2 }).maxY() - 367);
    // Closing it leaves the list where it is.
    double offset = table.contentOffset().y;
    tap(2);
    Animator::current().finishAll();
    EXPECT_EQ(table.contentOffset().y, offset);
}

TEST_F(DeviceDetailViewControllerTest, SliderShowsAndSendsItsTruncatedValue)
{
    show(kHeater);
    tap(1);
    auto range = std::dynamic_pointer_cast<DrawerRangeCell>(screen->tableView().cellForRowAtIndexPath({ 2, 1 }));
    ASSERT_TRUE(range);
    range->slider()->setValue(42.7);
    range->slider()->sendActionsForControlEvents(ControlEventValueChanged);
    EXPECT_EQ(range->sliderVal().text(), "42");
    range->slider()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_TRUE(logs.contains("stopped at: 42"));
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/action");
    EXPECT_EQ(transport->lastRequest().body, "device_id=d5&act_id=12&act_value=42&token=T0K3N");

    tap(0);
    auto binary = std::dynamic_pointer_cast<DrawerBinaryCell>(screen->tableView().cellForRowAtIndexPath({ 2, 0 }));
    ASSERT_TRUE(binary);
    binary->onOff()->setOn(true);
    binary->onOff()->sendActionsForControlEvents(ControlEventValueChanged);
    EXPECT_EQ(transport->lastRequest().body, "device_id=d5&act_id=11&act_value=1&token=T0K3N");
}

TEST_F(DeviceDetailViewControllerTest, OnOffRequestShowsTheSwitchAgainAndRestoresItAfterFailure)
{
    show(kHeater);
    auto onOff = std::dynamic_pointer_cast<OnOffCell>(cell(0, 0));
    auto flip = [&](bool on) {
        onOff->onOffSwitch()->setOn(on);
        onOff->onOffSwitch()->sendActionsForControlEvents(ControlEventValueChanged);
        EXPECT_TRUE(onOff->onOffSwitch()->isHidden());
        EXPECT_TRUE(onOff->onOffActivityIndicator().isAnimating());
    };
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    flip(false);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/action?");
    EXPECT_EQ(transport->lastRequest().body, "device_id=d5&act_id=9&act_value=0&token=T0K3N");
    loop.runPending();
    EXPECT_FALSE(onOff->onOffSwitch()->isHidden());
    EXPECT_FALSE(onOff->onOffSwitch()->isOn());
    EXPECT_FALSE(onOff->onOffActivityIndicator().isAnimating());
    EXPECT_TRUE(logs.contains("Data sent successfully"));

    for (auto reply : { FakeTransport::Reply::json(R"({"success":false})"), FakeTransport::Reply::failure() }) {
        transport->enqueue(reply);
        flip(true);
        EXPECT_EQ(transport->lastRequest().body, "device_id=d5&act_id=9&act_value=1&token=T0K3N");
        loop.runPending();
        EXPECT_FALSE(onOff->onOffSwitch()->isHidden());
        EXPECT_FALSE(onOff->onOffSwitch()->isOn()); // back where the device still is
        EXPECT_FALSE(onOff->onOffActivityIndicator().isAnimating());
    }
    EXPECT_TRUE(logs.contains("Data sending failed"));
}

struct InFlightTest : DeviceDetailViewControllerTest {
    int confirmations { 0 };

    InFlightTest() { open(); }
    /// A fresh screen on the lamp, switched off.
    void open()
    {
        screen = DeviceDetailViewController::create(userSession());
        confirmations = 0;
        transport->clearRequests();
        show(R"({"id":5,"name":"Lamp","location":"Den","meterSupplyingPower":false,"meterPluggedIn":true,
            "currentStatus":{"timestamp":1354752000000,"powerDraw":0},"onOff":{"device_id":"d5","id":9},
            "possibleActions":[{"id":12,"device_id":"d5","type":1,"name":"Level",
                "values":[{"name":"Min","value":0},{"name":"Max","value":10}]}]})");
        cell(0, 0);
        screen->onSwitchConfirmed = [this] { ++confirmations; };
        logs.clear();
    }
    /// The on/off row the screen keeps (the table may provide it anew).
    OnOffCell& onOffRow() { return *screen->onOffCell(); }
    void flip(bool on)
    {
        onOffRow().onOffSwitch()->setOn(on);
        onOffRow().onOffSwitch()->sendActionsForControlEvents(ControlEventValueChanged);
    }
    void releaseSlider(float value)
    {
        tap(0);
        auto range = std::dynamic_pointer_cast<DrawerRangeCell>(screen->tableView().cellForRowAtIndexPath({ 2, 0 }));
        ASSERT_TRUE(range);
        range->slider()->setValue(value);
        range->slider()->sendActionsForControlEvents(ControlEventTouchUpInside);
    }
    std::string deviceStatus() { return std::dynamic_pointer_cast<InfoDisplayCell>(cell(0, 1))->value().text(); }
    int logged(const std::string& line)
    {
        return static_cast<int>(std::count(logs.lines().begin(), logs.lines().end(), line));
    }
};

TEST_F(InFlightTest, SwitchingOnThenReleasingTheSliderBothReachTheServiceAndEachAnswerIsHandledOnce)
{
    struct Case {
        const char* onOffAnswer;
        bool on; // what the switch and the record show afterwards
        int sent, failed;
    };
    for (Case c : { Case { R"({"success":true})", true, 2, 0 }, Case { R"({"success":false})", false, 1, 1 } }) {
        open();
        transport->enqueue(FakeTransport::Reply::json(c.onOffAnswer).after(3)); // the on/off answers last
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
        flip(true);
        releaseSlider(7.5);
        ASSERT_EQ(transport->requestCount(), 2u);
        EXPECT_EQ(transport->requests()[0].url, "https://localhost:8443/kivoraserver/api/action?");
        EXPECT_EQ(transport->requests()[0].body, "device_id=d5&act_id=9&act_value=1&token=T0K3N");
        EXPECT_EQ(transport->requests()[1].body, "device_id=d5&act_id=12&act_value=7&token=T0K3N");

        loop.advance(1);
        EXPECT_EQ(logged("Data sent successfully"), 1) << "the slider's answer";
        EXPECT_TRUE(onOffRow().onOffSwitch()->isHidden()) << "the on/off request still runs";
        EXPECT_TRUE(onOffRow().onOffActivityIndicator().isAnimating());

        loop.advance(2);
        EXPECT_EQ(logged("Data sent successfully"), c.sent);
        EXPECT_EQ(logged("Data sending failed"), c.failed);
        EXPECT_FALSE(onOffRow().onOffSwitch()->isHidden());
        EXPECT_FALSE(onOffRow().onOffActivityIndicator().isAnimating());
        EXPECT_EQ(onOffRow().onOffSwitch()->isOn(), c.on);
        EXPECT_EQ(screen->selected_device->meterSupplyingPower, c.on);
        EXPECT_EQ(deviceStatus(), c.on ? "On" : "Off");
        EXPECT_EQ(confirmations, c.on ? 1 : 0);
        loop.advance(10);
        EXPECT_EQ(logged("Data sent successfully") + logged("Data sending failed"), 2);
    }
}

TEST_F(InFlightTest, TwoOnOffRequestsAnsweredInReverseOrderLeaveTheLastOneSent)
{
    struct Case {
        double firstDelay, secondDelay;
        const char* secondAnswer;
        bool on;
    };
    // On, then off; the service carries them out in that order.
    for (Case c : { Case { 3, 1, R"({"success":true})", false }, Case { 1, 3, R"({"success":true})", false },
             Case { 3, 1, R"({"success":false})", true } }) {
        open();
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(c.firstDelay));
        transport->enqueue(FakeTransport::Reply::json(c.secondAnswer).after(c.secondDelay));
        flip(true);
        flip(false);
        loop.advance(1);
        EXPECT_TRUE(onOffRow().onOffSwitch()->isHidden()) << "busy until both have answered";
        loop.advance(2);
        EXPECT_FALSE(onOffRow().onOffSwitch()->isHidden());
        EXPECT_EQ(onOffRow().onOffSwitch()->isOn(), c.on) << c.firstDelay << " " << c.secondAnswer;
        EXPECT_EQ(screen->selected_device->meterSupplyingPower, c.on);
        EXPECT_EQ(deviceStatus(), c.on ? "On" : "Off");
    }
}

TEST_F(InFlightTest, AScreenLeftWhileItsRequestRunsStillRecordsTheAnswer)
{
    auto device = screen->selected_device;
    std::weak_ptr<DeviceDetailViewController> watch = screen;
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    flip(true);
    screen.reset();
    EXPECT_FALSE(watch.expired()) << "the running request keeps the screen";
    loop.advance(2);
    EXPECT_TRUE(device->meterSupplyingPower);
    EXPECT_TRUE(device->switchedSinceStatus);
    EXPECT_EQ(confirmations, 1);
    EXPECT_EQ(logged("Data sent successfully"), 1);
    EXPECT_TRUE(watch.expired()) << "and lets it go after the answer";

    // Opened again, the device shows the state the service has.
    screen = DeviceDetailViewController::create(userSession());
    screen->selected_device = device;
    screen->view();
    screen->viewWillAppear(false);
    EXPECT_TRUE(std::dynamic_pointer_cast<OnOffCell>(cell(0, 0))->onOffSwitch()->isOn());
    EXPECT_EQ(deviceStatus(), "On");
}

}
