#include "AccountTestSupport.h"

#include "account/AccountTableViewController.h"
#include "account/LeaveHomeCheckSetting.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "support/DeviceSettings.h"

using namespace hestio;
using namespace platform;

namespace {

struct LeaveHomeCheckSettingTest : test::AccountFixture {
    std::unique_ptr<test::DeviceSettings> device = std::make_unique<test::DeviceSettings>("UTC", "en_US");
    std::shared_ptr<AccountTableViewController> account;

    LeaveHomeCheckSettingTest()
        : AccountFixture("member") // no household list to load
    {
        account = AccountTableViewController::create(userSession(), session().locationManager);
        navigation->pushViewController(account, false);
        account->view();
        account->viewDidAppear(false);
    }
    void useLocale(const std::string& identifier)
    {
        device.reset();
        device = std::make_unique<test::DeviceSettings>("UTC", identifier);
    }
    std::string row()
    {
        auto cell
            = account->cellForRowAtIndexPath(account->tableView(), { AccountTableViewController::LeaveHomeSection, 0 });
        EXPECT_EQ(cell->textLabel()->text(), "Leave-home check");
        return cell->detailTextLabel()->text();
    }
    /// Taps the row, types `text` in the alert's field and taps `button`.
    void set(const std::string& text, const std::string& button)
    {
        account->didSelectRowAtIndexPath(account->tableView(), { AccountTableViewController::LeaveHomeSection, 0 });
        auto* alert = application->topAlert();
        ASSERT_NE(alert, nullptr);
        ASSERT_EQ(alert->title(), "Leave-home check");
        auto* field = dynamic_cast<TextField*>(alert->findByAccessibilityIdentifier("leaveHomeThresholdField"));
        ASSERT_NE(field, nullptr);
        field->setText(text);
        for (int i = 0; i < alert->numberOfButtons(); ++i) {
            if (alert->buttonTitleAtIndex(i) == button) {
                alert->clickButtonAtIndex(i);
                loop.runPending(); // the disk writer answers
                return;
            }
        }
        FAIL() << "no button " << button;
    }
    /// Whether the row shows that its change is on its way to the disk.
    bool storing(int row)
    {
        auto cell = account->cellForRowAtIndexPath(
            account->tableView(), { AccountTableViewController::LeaveHomeSection, row });
        return cell->accessoryView() && cell->accessoryView()->accessibilityIdentifier() == "storingSpinner";
    }
    /// The settings file cannot be replaced: a folder stands in its place.
    void blockSettingsFile()
    {
        DiskWriter::shared().settle();
        std::filesystem::path file = UserDefaults::standard().file();
        std::filesystem::remove(file);
        std::filesystem::create_directories(file / "in-the-way");
    }
    std::optional<double> kept() { return LeaveHomeThreshold::load(UserDefaults::standard(), "demo").watts; }
};

}

TEST_F(LeaveHomeCheckSettingTest, TheRowShowsTheDefaultAndTheAlertKeepsWhatIsTyped)
{
    EXPECT_EQ(account->tableView().numberOfRowsInSection(AccountTableViewController::LeaveHomeSection), 1);
    EXPECT_EQ(account->titleForHeaderInSection(account->tableView(), AccountTableViewController::LeaveHomeSection),
        "When You Leave");
    EXPECT_EQ(row(), "25 W");
    set("40.5", "Save");
    EXPECT_EQ(kept(), 40.5);
    EXPECT_EQ(row(), "40.5 W");
    set("", "Off");
    EXPECT_EQ(kept(), std::nullopt);
    EXPECT_EQ(row(), "Off");
    set("0", "Save");
    EXPECT_EQ(kept(), 0.0);
    EXPECT_EQ(row(), "0 W");
    set("999", "Cancel");
    EXPECT_EQ(kept(), 0.0) << "Cancel keeps what was kept";
}

TEST_F(LeaveHomeCheckSettingTest, WhatCannotBeAThresholdIsRefusedAndNothingChanges)
{
    const std::pair<const char*, const char*> cases[] = {
        { "", "The threshold must be a number of watts such as 25.5." },
        { "25 W", "The threshold must be a number of watts such as 25.5." },
        { "2 5", "The threshold must be a number of watts such as 25.5." },
        { "-1", "The threshold must be a number of watts from 0 to 1,000,000." },
        { "1000000.1", "The threshold must be a number of watts from 0 to 1,000,000." },
    };
    for (const auto& [typed, problem] : cases) {
        SCOPED_TRACE(typed);
        set(typed, "Save");
        auto* alert = application->topAlert();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->title(), "Can't Save Leave-Home Check");
        EXPECT_EQ(alert->message(), problem);
        alert->clickButtonAtIndex(0);
        EXPECT_EQ(kept(), 25.0);
    }
    set("1000000", "Save");
    EXPECT_EQ(kept(), 1'000'000.0) << "the largest threshold is kept";
}

TEST_F(LeaveHomeCheckSettingTest, AGermanPhoneReadsAndWritesCommas)
{
    useLocale("de_DE");
    set("12,5", "Save");
    EXPECT_EQ(kept(), 12.5);
    EXPECT_EQ(row(), "12,5 W");
    EXPECT_EQ(LeaveHomeCheckSetting::summary(LeaveHomeThreshold { 12.5 }, Locale("de_DE")), "12,5 W");
}

TEST_F(LeaveHomeCheckSettingTest, EachSavedPlaceHasARowSayingWhetherItIsHomeAndATapChangesIt)
{
    auto& table = account->tableView();
    const int section = AccountTableViewController::LeaveHomeSection;
    EXPECT_EQ(account->titleForFooterInSection(table, section), std::nullopt) << "no places, nothing to mark";
    addSavedLocation("Home", { 40.7128, -74.006 });
    addSavedLocation("Office\xe2\x80\xae", { 40.75, -73.99 });
    table.reloadData();
    ASSERT_EQ(table.numberOfRowsInSection(section), 3);
    EXPECT_EQ(
        account->titleForFooterInSection(table, section), "Leaving a place marked Home lists what is still on there.");
    auto place = [&](int row) {
        auto cell = account->cellForRowAtIndexPath(table, { section, row });
        return cell->textLabel()->text() + "|" + cell->detailTextLabel()->text()
            + (cell->accessoryType() == TableViewCellAccessoryType::Checkmark ? "|checked" : "");
    };
    EXPECT_EQ(place(1), "Home|Not home");
    EXPECT_EQ(place(2), "Office|Not home") << "a name that turns the text around it is shown safely";

    account->didSelectRowAtIndexPath(table, { section, 1 });
    EXPECT_EQ(place(1), "Home|Home|checked");
    EXPECT_TRUE(storing(1)) << "until the disk has it";
    account->didSelectRowAtIndexPath(table, { section, 1 }); // taken for nothing meanwhile
    loop.runPending();
    EXPECT_FALSE(storing(1));
    EXPECT_EQ(place(1), "Home|Home|checked");
    EXPECT_EQ(HomePlaces::load(UserDefaults::standard(), "demo"), (HomePlaces { { "Home" }, true }));
    EXPECT_EQ(
        HomePlaces::load(UserDefaults(UserDefaults::standard().file()), "demo"), (HomePlaces { { "Home" }, true }))
        << "on the disk";
    account->didSelectRowAtIndexPath(table, { section, 2 });
    loop.runPending();
    account->didSelectRowAtIndexPath(table, { section, 1 });
    loop.runPending();
    EXPECT_EQ(place(1), "Home|Not home");
    EXPECT_EQ(place(2), "Office|Home|checked");
    EXPECT_EQ(application->topAlert(), nullptr) << "no threshold alert from a place's row";

    // A deleted place counts no more, and its row goes with it.
    account->commitEditingStyle(
        table, TableViewCellEditingStyle::Delete, { AccountTableViewController::LocationsSection, 1 });
    EXPECT_EQ(table.numberOfRowsInSection(section), 2);
    EXPECT_EQ(HomePlaces::load(UserDefaults::standard(), "demo"), (HomePlaces { {}, true }));
    EXPECT_EQ(row(), "25 W");
}

TEST_F(LeaveHomeCheckSettingTest, ASettingTheDiskDoesNotTakeIsSaidAndStaysShown)
{
    addSavedLocation("Home", { 40.7128, -74.006 });
    account->tableView().reloadData();
    blockSettingsFile();
    auto problem = [&] {
        AlertView* alert = application->topAlert();
        if (!alert)
            return std::string("no alert");
        std::string text = alert->title() + ": " + alert->message();
        alert->clickButtonAtIndex(0);
        return text;
    };

    account->didSelectRowAtIndexPath(account->tableView(), { AccountTableViewController::LeaveHomeSection, 1 });
    EXPECT_EQ(application->topAlert(), nullptr) << "nothing said before the disk answers";
    loop.runPending();
    EXPECT_EQ(problem(), "Error Occurred: Which places count as home could not be stored on this phone.");
    EXPECT_FALSE(storing(1));

    set("40", "Save");
    EXPECT_EQ(problem(), "Can't Save Leave-Home Check: The leave-home check could not be stored on this phone.");
    EXPECT_FALSE(storing(0));
    EXPECT_EQ(row(), "40 W") << "what the user chose stays shown, to be stored at the next change";
    EXPECT_TRUE(logs.contains("Could not write property list"));
}
