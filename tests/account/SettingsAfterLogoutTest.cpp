// A setting whose write is still on its way when its user logs out, and the
// next user signs in on the same phone before the disk answers.

#include "AccountTestSupport.h"

#include "account/AccountTableViewController.h"
#include "account/EnergyPriceViewController.h"
#include "app/LoginViewController.h"
#include "model/LeaveHomeCheck.h"
#include "model/Tariff.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/TabBarController.h"
#include "support/DeviceSettings.h"

using namespace hestio;
using namespace platform;

namespace {

constexpr int kLeaveHome = AccountTableViewController::LeaveHomeSection;

struct SettingsAfterLogoutTest : test::AccountFixture, ::testing::WithParamInterface<bool> {
    test::DeviceSettings device { "UTC", "en_US" };
    std::shared_ptr<TabBarController> tabs = TabBarController::create();

    SettingsAfterLogoutTest()
        : AccountFixture("member") // no household list to load
    {
        tabs->setViewControllers({ std::make_shared<ViewController>(), navigation });
        tabs->setSelectedIndex(1);
        session().rootController = tabs;
        UserDefaults::standard().setObject("demo", "username");
        addSavedLocation("Home", { 40.7128, -74.006 });
    }
    /// Whether the disk takes the settings file in this run.
    bool diskTakesIt() const { return GetParam(); }

    /// A fresh account screen on top, as the home tab opens it.
    std::shared_ptr<AccountTableViewController> openAccount()
    {
        auto account = AccountTableViewController::create(userSession(), session().locationManager);
        navigation->pushViewController(account, false);
        account->view();
        account->viewDidAppear(false);
        return account;
    }
    /// What the account screen's row shows: its detail, and "storing" while
    /// a spinner says a change is on its way to the disk.
    static std::string row(AccountTableViewController& account, int section, int row)
    {
        auto cell = account.cellForRowAtIndexPath(account.tableView(), { section, row });
        std::string text = cell->textLabel()->text() + "|" + cell->detailTextLabel()->text();
        if (cell->accessoryView() && cell->accessoryView()->accessibilityIdentifier() == "storingSpinner")
            text += "|storing";
        return text;
    }
    /// Sam signs in on the login screen the logout brought.
    void samSignsIn()
    {
        auto login = LoginViewController::create(userSession());
        tabs->presentModalViewController(login, false);
        login->view();
        login->username->setText("sam");
        login->password->setText("sam-password");
        transport->enqueue(FakeTransport::Reply::json(
            R"({"success":true,"token":"S4M","expiration":1354755600000,"currentUser":{"username":"sam","type":"member","id":8,"household":{"name":"The Sams"}}})"));
        login->logIn();
        loop.runPending();
        loop.advance(1); // the login screen goes
        ASSERT_TRUE(session().curUser());
        ASSERT_EQ(session().curUser()->username, "sam");
        // Sam's own places come with the sign-in: one has the same name.
        session().savedLocations().clear();
        addSavedLocation("Home", { 51.5, -0.12 });
    }
    std::vector<std::string> alerts()
    {
        std::vector<std::string> shown;
        for (const auto& alert : application->visibleAlerts())
            shown.push_back(alert->title() + ": " + alert->message());
        return shown;
    }
};

}

TEST_P(SettingsAfterLogoutTest, AWriteAnsweredAfterTheLogoutSaysNothingToTheNextUser)
{
    std::filesystem::path file = UserDefaults::standard().file();
    if (!diskTakesIt()) {
        DiskWriter::shared().settle();
        std::filesystem::remove(file);
        std::filesystem::create_directories(file / "in-the-way");
    }
    {
        HeldFlushes stuck;
        auto account = openAccount();
        // Demo sets a price, and goes back while it is being stored…
        account->didSelectRowAtIndexPath(account->tableView(), { AccountTableViewController::ActionSection, 1 });
        auto price = std::dynamic_pointer_cast<EnergyPriceViewController>(navigation->viewControllers().back());
        ASSERT_TRUE(price);
        Animator::current().finishAll();
        price->view();
        price->priceField->setText("0.30");
        price->currencyField->setText("USD");
        price->navigationItem().rightBarButtonItem()->trigger();
        loop.advance(1);
        ASSERT_FALSE(price->navigationItem().rightBarButtonItem()->isEnabled()) << "being stored";
        navigation->popViewControllerAnimated(false);
        price.reset();
        // …counts the place "Home" as home and sets the leave-home check.
        account->didSelectRowAtIndexPath(account->tableView(), { kLeaveHome, 1 });
        account->didSelectRowAtIndexPath(account->tableView(), { kLeaveHome, 0 });
        auto* check = application->topAlert();
        ASSERT_TRUE(check);
        dynamic_cast<TextField*>(check->findByAccessibilityIdentifier("leaveHomeThresholdField"))->setText("40");
        check->clickButtonAtIndex(LeaveHomeCheckSetting::SaveButton);
        loop.advance(1);
        EXPECT_EQ(row(*account, kLeaveHome, 0), "Leave-home check|40 W|storing");
        EXPECT_EQ(row(*account, kLeaveHome, 1), "Home|Home|storing");

        // Demo logs out, and the screen goes as the logout closes it.
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
        account->didSelectRowAtIndexPath(account->tableView(), { 0, 0 });
        loop.runPending();
        ASSERT_FALSE(session().curUser());
        ASSERT_EQ(navigation->topViewController(), home.get());
        account.reset();

        samSignsIn();
        auto sams = openAccount();
        EXPECT_EQ(row(*sams, kLeaveHome, 0), "Leave-home check|25 W");
        EXPECT_EQ(row(*sams, kLeaveHome, 1), "Home|Not home");
        EXPECT_EQ(row(*sams, AccountTableViewController::ActionSection, 1), "Energy price|Not set");
        EXPECT_TRUE(alerts().empty());
    }
    loop.runPending(); // the disk answers: demo's writes end
    loop.advance(5);

    auto sams = std::dynamic_pointer_cast<AccountTableViewController>(navigation->viewControllers().back());
    ASSERT_TRUE(sams) << "sam's account screen stays";
    EXPECT_EQ(alerts(), std::vector<std::string> {}) << "nothing of demo's is said to sam";
    EXPECT_EQ(row(*sams, kLeaveHome, 0), "Leave-home check|25 W");
    EXPECT_EQ(row(*sams, kLeaveHome, 1), "Home|Not home");
    EXPECT_EQ(row(*sams, AccountTableViewController::ActionSection, 1), "Energy price|Not set");
    auto& defaults = UserDefaults::standard();
    for (const auto& key :
        { Tariff::defaultsKey("sam"), LeaveHomeThreshold::defaultsKey("sam"), HomePlaces::defaultsKey("sam") })
        EXPECT_FALSE(defaults.objectForKey(key)) << key << ": nothing kept for sam";

    // Demo's settings are demo's: kept under demo for a next sign-in (the
    // logout ends the session, not the user's choices).
    if (!diskTakesIt()) {
        EXPECT_TRUE(logs.contains("Could not write property list"));
        EXPECT_TRUE(logs.contains("The leave-home check of a user no longer signed in could not be stored"));
        std::filesystem::remove_all(file);
        sams->didSelectRowAtIndexPath(sams->tableView(), { kLeaveHome, 1 }); // sam's next change stores both
        loop.runPending();
        EXPECT_EQ(alerts(), std::vector<std::string> {});
        EXPECT_EQ(row(*sams, kLeaveHome, 1), "Home|Home");
    }
    UserDefaults onDisk(file);
    auto tariff = Tariff::load(onDisk, "demo");
    ASSERT_TRUE(tariff);
    EXPECT_EQ(tariff->currency, "USD");
    EXPECT_EQ(tariff->pricePerKWh, 0.3);
    EXPECT_EQ(LeaveHomeThreshold::load(onDisk, "demo").watts, 40);
    EXPECT_EQ(HomePlaces::load(onDisk, "demo"), (HomePlaces { { "Home" }, true }));
    EXPECT_EQ(onDisk.stringForKey("username"), "sam");
}

INSTANTIATE_TEST_SUITE_P(Disk, SettingsAfterLogoutTest, ::testing::Values(true, false),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Stores" : "Refuses"; });
