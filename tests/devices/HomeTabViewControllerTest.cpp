#include "devices/HomeTabViewController.h"
#include "account/AccountTableViewController.h"
#include "devices/DevicesTestSupport.h"
#include "devices/GraphButtonsCell.h"
#include "graphs/GraphViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Animator.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace hestio;
using namespace platform;

namespace {

struct HomeTabViewControllerTest : test::DevicesFixture {
    std::shared_ptr<HomeTabViewController> screen = HomeTabViewController::create(userSession());
    std::shared_ptr<NavigationController> navigation = NavigationController::create(screen);

    HomeTabViewControllerTest()
    {
        screen->view();
        // The rows as the table provides them.
        for (IndexPath path : { IndexPath { 1, 0 }, IndexPath { 1, 1 }, IndexPath { 2, 0 } })
            screen->cellForRowAtIndexPath(screen->tableView(), path);
    }

    /// One appearance answered with `reply`.
    void appearWith(const std::string& reply)
    {
        transport->enqueue(FakeTransport::Reply::json(reply));
        screen->viewDidAppear(false);
        loop.runPending();
    }
    /// A reply with one status stamped `ageSeconds` before now.
    std::string statusReply(double ageSeconds, const std::string& fields) const
    {
        auto stamp = static_cast<long long>(std::llround(loop.now().millisecondsSince1970() - ageSeconds * 1000));
        return R"({"success":true,"statuses":[{"timestamp":)" + std::to_string(stamp) + "," + fields + "}]}";
    }
    double barWidth() { return screen->batteryInfoCell->fluidView().frame().size.width; }
    std::string percentage() { return screen->batteryInfoCell->percentageLabel().text(); }
    std::string voltage() { return screen->batteryInfoCell->voltageLabel().text(); }
    std::string charging() { return screen->chargingCell->value().text(); }
};

TEST(BatteryInfoCell, BarWidthIsTheTruncatedShareOf92PointsLimitedToZeroTo100)
{
    struct Case {
        float percent;
        double width;
    };
    const Case cases[] = { { 50, 46 }, { 99.9f, 91 }, { 100, 92 }, { 120, 100 }, { 108.7f, 100 }, { -5, 0 }, { 0, 0 },
        { 1, 0 }, { 1.1f, 1 }, { NAN, 0 }, { INFINITY, 100 }, { -INFINITY, 0 } };
    for (const Case& c : cases)
        EXPECT_EQ(BatteryInfoCell::barWidthForCharge(c.percent), c.width) << "charge " << c.percent;
}

TEST(BatteryInfoCell, ChargeMovesOnlyTheBarWidthAndAnimatesFor175SecondsWhenAsked)
{
    test::TestRunLoop loop;
    auto cell = BatteryInfoCell::create("BatteryInfoCell");
    Rect before = cell->fluidView().frame();
    EXPECT_EQ(cell->percentageLabel().text(), "N/A (%)");
    EXPECT_EQ(cell->voltageLabel().text(), "N/A (V)");

    test::AnimationLog animations;
    cell->changeBatteryViewChargeTo(50, true);
    Rect after = cell->fluidView().frame();
    EXPECT_EQ(after.size.width, 46);
    EXPECT_EQ(after.origin.x, before.origin.x);
    EXPECT_EQ(after.origin.y, before.origin.y);
    EXPECT_EQ(after.size.height, before.size.height);
    ASSERT_EQ(animations.entries().size(), 1u);
    EXPECT_EQ(animations.entries()[0].duration, 1.75);

    cell->changeBatteryViewChargeTo(100, false);
    EXPECT_EQ(cell->fluidView().frame().size.width, 92);
    EXPECT_EQ(animations.entries().size(), 1u) << "no animation without the flag";
}

TEST_F(HomeTabViewControllerTest, EveryAppearanceDownloadsTheNewestStatus)
{
    appearWith(R"({"success":true,"statuses":[]})");
    appearWith(R"({"success":true,"statuses":[]})");
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(transport->lastRequest().method, "GET");
    EXPECT_EQ(transport->lastRequest().url,
        "https://localhost:8443/kivoraserver/api/battery?token=T0K3N&count=1&token=T0K3N");
}

TEST_F(HomeTabViewControllerTest, ShowsTheNewestStatusWithItsFormats)
{
    appearWith(statusReply(60, R"("percentage":87.5,"voltage":12.64,"isCharging":true)"));
    EXPECT_EQ(percentage(), "87.5%");
    EXPECT_EQ(voltage(), "12.6V");
    EXPECT_EQ(barWidth(), 80); // 87.5 % of 92 is 80.5
    EXPECT_EQ(charging(), "Yes");
    EXPECT_EQ(screen->batteryInfoCell->statuses.size(), 1u);

    appearWith(statusReply(60, R"("percentage":3,"voltage":11,"isCharging":false)"));
    EXPECT_EQ(percentage(), "3.0%");
    EXPECT_EQ(voltage(), "11.0V");
    EXPECT_EQ(charging(), "No");

    appearWith(statusReply(60, R"("percentage":40,"voltage":12,"isCharging":true)"));
    screen->cellForRowAtIndexPath(screen->tableView(), { 1, 1 });
    EXPECT_EQ(charging(), "Yes") << "the row provided again keeps the state it knows";

    appearWith(statusReply(60, R"("percentage":40,"voltage":12)"));
    EXPECT_EQ(charging(), "No") << "a missing isCharging counts as false";
}

TEST_F(HomeTabViewControllerTest, AStatusUpTo70MinutesOldIsShownAndAnOlderOneIsNot)
{
    appearWith(statusReply(70 * 60, R"("percentage":50,"voltage":12,"isCharging":true)"));
    EXPECT_EQ(percentage(), "50.0%");
    EXPECT_EQ(barWidth(), 46);

    appearWith(statusReply(70 * 60 + 1, R"("percentage":20,"voltage":11,"isCharging":false)"));
    EXPECT_EQ(percentage(), "50.0%") << "too old: the row keeps what it showed";
    EXPECT_EQ(voltage(), "12.0V");
    EXPECT_EQ(barWidth(), 46);
    EXPECT_EQ(charging(), "Yes");
}

TEST_F(HomeTabViewControllerTest, NoStatusesEmptyTheBarAndChargingButKeepTheLabels)
{
    appearWith(statusReply(0, R"("percentage":75,"voltage":12.2,"isCharging":true)"));
    test::AnimationLog animations;
    appearWith(R"({"success":true,"statuses":[]})");
    EXPECT_EQ(barWidth(), 0);
    EXPECT_EQ(animations.entries().size(), 1u) << "the bar empties animated";
    EXPECT_EQ(charging(), "");
    EXPECT_EQ(percentage(), "75.0%");
    EXPECT_EQ(voltage(), "12.2V");

    appearWith(statusReply(0, R"("percentage":75,"voltage":12.2,"isCharging":true)"));
    appearWith(R"({"success":true})");
    EXPECT_EQ(barWidth(), 0) << "a reply without statuses has none";
}

TEST_F(HomeTabViewControllerTest, AFailedDownloadIsLoggedAndChangesNothing)
{
    appearWith(statusReply(0, R"("percentage":75,"voltage":12.2,"isCharging":true)"));
    appearWith(R"({"success":false})");
    EXPECT_TRUE(logs.contains("Failed to get battery statuses"));
    EXPECT_EQ(percentage(), "75.0%");
    EXPECT_EQ(barWidth(), 69);
    EXPECT_EQ(charging(), "Yes");
}

TEST_F(HomeTabViewControllerTest, SigningOutResetsTheRowToItsNotAvailableTexts)
{
    appearWith(statusReply(0, R"("percentage":75,"voltage":12.2,"isCharging":true)"));
    test::AnimationLog animations;
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(percentage(), "N/A (%)");
    EXPECT_EQ(voltage(), "N/A (V)");
    EXPECT_EQ(barWidth(), 0);
    EXPECT_TRUE(animations.entries().empty()) << "the reset is not animated";
    EXPECT_EQ(charging(), "");
}

TEST_F(HomeTabViewControllerTest, RowsHaveTheirHeightsTextsAndButtons)
{
    TableView& table = screen->tableView();
    // The battery's two sections lie below the "Now" section.
    EXPECT_EQ(table.numberOfSections(), 3);
    EXPECT_EQ(table.numberOfRowsInSection(1), 2);
    EXPECT_EQ(table.numberOfRowsInSection(2), 1);
    EXPECT_EQ(screen->heightForRowAtIndexPath(table, { 1, 0 }), 70);
    EXPECT_EQ(screen->heightForRowAtIndexPath(table, { 1, 1 }), 44);
    EXPECT_EQ(screen->heightForRowAtIndexPath(table, { 2, 0 }), 44);
    EXPECT_FALSE(screen->titleForHeaderInSection(table, 1));
    EXPECT_FALSE(screen->titleForHeaderInSection(table, 2));
    EXPECT_EQ(screen->chargingCell->name().text(), "Charging (AC Generator)");
    EXPECT_EQ(charging(), "N/A");
    EXPECT_EQ(screen->batteryPercentageGraphButton->title(), "Battery Percentage");
    EXPECT_TRUE(screen->energyConsumptionGraphButton->isEnabled());
    EXPECT_EQ(screen->navigationItem().rightBarButtonItem()->title(), "Account");
    EXPECT_EQ(screen->navigationItem().rightBarButtonItem()->style(), BarButtonItem::Style::Bordered);

    auto cell = TableViewCell::create(TableViewCellStyle::Default, "x");
    screen->willDisplayCell(table, *cell, { 2, 0 });
    EXPECT_EQ(cell->selectionStyle(), TableViewCellSelectionStyle::None);
}

TEST_F(HomeTabViewControllerTest, AReplyBeforeTheRowsAreShownStillReachesTheBatteryRow)
{
    auto fresh = HomeTabViewController::create(userSession());
    fresh->view();
    transport->enqueue(FakeTransport::Reply::json(statusReply(0, R"("percentage":50,"voltage":12)")));
    fresh->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(fresh->batteryInfoCell->percentageLabel().text(), "50.0%");
    auto provided = fresh->cellForRowAtIndexPath(fresh->tableView(), { 1, 0 });
    EXPECT_EQ(provided, fresh->batteryInfoCell) << "the table shows the row that was updated";
}

TEST_F(HomeTabViewControllerTest, ButtonsOpenTheAccountScreenAndTheTwoHomeGraphs)
{
    screen->navigationItem().rightBarButtonItem()->trigger();
    loop.advance(1);
    auto* account = dynamic_cast<AccountTableViewController*>(navigation->topViewController());
    ASSERT_TRUE(account);
    EXPECT_EQ(account->title(), "Account");
    navigation->popViewControllerAnimated(false);

    screen->batteryPercentageGraphButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    loop.advance(1);
    auto* battery = dynamic_cast<GraphViewController*>(screen->modalViewController());
    ASSERT_TRUE(battery);
    EXPECT_EQ(battery->graphName(), "Battery Percentage");
    screen->dismissModalViewControllerAnimated(false);
    loop.advance(1);

    screen->energyConsumptionGraphButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    loop.advance(1);
    auto* energy = dynamic_cast<GraphViewController*>(screen->modalViewController());
    ASSERT_TRUE(energy);
    EXPECT_EQ(energy->graphName(), "energyConsumed");
    ASSERT_TRUE(screen->navigationItem().backBarButtonItem());
    EXPECT_EQ(screen->navigationItem().backBarButtonItem()->title(), "Back");
    screen->dismissModalViewControllerAnimated(false);
    loop.advance(1);
}

TEST_F(HomeTabViewControllerTest, TwoVisitsInQuickSuccessionShowTheNewerAnswerWhateverItsOrder)
{
    struct Case {
        double olderDelay, newerDelay;
        bool newerSucceeds;
        const char* shown;
    };
    for (Case c : { Case { 3, 1, true, "40.0%" }, Case { 1, 3, true, "40.0%" }, Case { 3, 1, false, "80.0%" },
             Case { 1, 3, false, "80.0%" } }) {
        screen->reset();
        logs.clear();
        transport->enqueue(
            FakeTransport::Reply::json(statusReply(0, R"("percentage":80,"voltage":12)")).after(c.olderDelay));
        transport->enqueue(FakeTransport::Reply::json(
            c.newerSucceeds ? statusReply(0, R"("percentage":40,"voltage":12)") : R"({"success":false})")
                               .after(c.newerDelay));
        screen->viewDidAppear(false);
        screen->viewDidAppear(false);
        loop.advance(3);
        EXPECT_EQ(percentage(), c.shown) << c.olderDelay << " " << c.newerDelay << " " << c.newerSucceeds;
        EXPECT_EQ(logs.contains("Failed to get battery statuses"), !c.newerSucceeds);
    }
}

TEST_F(HomeTabViewControllerTest, ADownloadRunningAtLogoutFillsNothing)
{
    transport->enqueue(FakeTransport::Reply::json(statusReply(0, R"("percentage":80,"voltage":12)")).after(2));
    screen->viewDidAppear(false);
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    loop.advance(3);
    EXPECT_EQ(percentage(), "N/A (%)");
    EXPECT_EQ(barWidth(), 0);
}

TEST_F(HomeTabViewControllerTest, SignedOutItWaitsForTheSignInToDownload)
{
    std::optional<std::string> token;
    ServiceEnvironment::shared().currentToken = [&] { return token; };
    auto window = Window::create();
    window->setRootViewController(navigation);
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 0u) << "nothing goes out as token=(null)";

    token = "T0K3N";
    transport->enqueue(FakeTransport::Reply::json(statusReply(0, R"("percentage":50,"voltage":12)")));
    NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().url,
        "https://localhost:8443/kivoraserver/api/battery?token=T0K3N&count=1&token=T0K3N");
    EXPECT_EQ(percentage(), "50.0%");
}

}
