#include "AccountTestSupport.h"

#include "account/AccountTableViewController.h"
#include "account/EnergyPriceViewController.h"
#include "model/Tariff.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Animator.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Window.h"
#include "support/DeviceSettings.h"

#include <algorithm>

using namespace hestio;
using namespace platform;

namespace {

#define NBSP "\u00a0"

struct EnergyPriceTest : test::AccountFixture {
    std::unique_ptr<test::DeviceSettings> device = std::make_unique<test::DeviceSettings>("UTC", "en_US");
    std::shared_ptr<AccountTableViewController> account;
    std::shared_ptr<EnergyPriceViewController> screen;

    EnergyPriceTest()
        : AccountFixture("member") // no household list to load
    {
    }

    void useLocale(const std::string& identifier)
    {
        device.reset();
        device = std::make_unique<test::DeviceSettings>("UTC", identifier);
    }
    void openAccount()
    {
        account = AccountTableViewController::create(userSession(), session().locationManager);
        navigation->pushViewController(account, false);
        account->view();
        account->viewDidAppear(false);
    }
    /// Opens the price screen from the account screen's row, as a tap does.
    void openPriceScreen()
    {
        if (!account)
            openAccount();
        account->didSelectRowAtIndexPath(account->tableView(), { 2, 1 });
        screen = std::dynamic_pointer_cast<EnergyPriceViewController>(navigation->viewControllers().back());
        ASSERT_TRUE(screen) << "the row opens the price screen";
        Animator::current().finishAll();
        screen->view();
    }
    /// Back on the account screen, as after popping: what its row shows.
    std::string accountRow()
    {
        account->viewDidAppear(false);
        auto cell = account->cellForRowAtIndexPath(account->tableView(), { 2, 1 });
        EXPECT_EQ(cell->textLabel()->text(), "Energy price");
        return cell->detailTextLabel()->text();
    }
    void type(const std::string& price, const std::string& currency)
    {
        screen->priceField->setText(price);
        screen->currencyField->setText(currency);
    }
    /// Types the off-peak price and turns the hours' wheels to `from` and `until`.
    void typeOffPeak(const std::string& price, int from, int until)
    {
        screen->setOffPeakShown(true);
        screen->offPeakPriceField->setText(price);
        screen->offPeakStartPicker->userSelectRow(from, 0);
        screen->offPeakEndPicker->userSelectRow(until, 0);
    }
    /// The picker row's title where its wheel stands.
    static std::string shownRow(PickerView& picker)
    {
        return picker.delegate()->titleForRow(picker, picker.selectedRowInComponent(0), 0);
    }
    /// Taps Save and lets the disk writer answer.
    void tapSave()
    {
        screen->navigationItem().rightBarButtonItem()->trigger();
        loop.runPending();
    }
    std::optional<Tariff> kept(const std::string& username = "demo")
    {
        return Tariff::load(UserDefaults::standard(), username);
    }
    bool onTop(const ViewController& controller) { return navigation->topViewController() == &controller; }
    /// The message of the alert on top, which is then dismissed; empty when none.
    std::string dismissAlert(const std::string& title = EnergyPriceViewController::cannotSaveTitle)
    {
        AlertView* alert = application->topAlert();
        if (!alert)
            return "";
        EXPECT_EQ(alert->title(), title);
        std::string message = alert->message();
        alert->clickButtonAtIndex(0);
        return message;
    }
    static Tariff tariff(const std::string& currency, double price, std::optional<Tariff::OffPeak> offPeak = {})
    {
        Tariff t;
        t.currency = currency;
        t.pricePerKWh = price;
        t.offPeak = offPeak;
        return t;
    }
};

}

TEST_F(EnergyPriceTest, TheAccountRowSitsBelowThePasswordRowAndOpensTheScreen)
{
    openAccount();
    TableView& table = account->tableView();
    EXPECT_EQ(table.numberOfSections(), 6) << "the leave-home check last";
    ASSERT_EQ(table.numberOfRowsInSection(2), 2);
    EXPECT_EQ(account->cellForRowAtIndexPath(table, { 2, 0 })->textLabel()->text(), "Change your password");
    auto row = account->cellForRowAtIndexPath(table, { 2, 1 });
    EXPECT_EQ(row->accessoryType(), TableViewCellAccessoryType::DisclosureIndicator);
    EXPECT_EQ(row->accessibilityIdentifier(), "energyPriceCell");
    EXPECT_EQ(accountRow(), "Not set");

    openPriceScreen();
    EXPECT_EQ(screen->title(), "Energy Price");
    EXPECT_EQ(screen->username(), "demo");
    ASSERT_TRUE(account->navigationItem().backBarButtonItem());
    EXPECT_EQ(account->navigationItem().backBarButtonItem()->title(), "Back");
    EXPECT_EQ(application->visibleAlerts().size(), 0u) << "the password alert stays for its own row";
    EXPECT_EQ(transport->requestCount(), 0u) << "the price is the phone's own; nothing is sent";
}

TEST_F(EnergyPriceTest, ANewPriceStartsEmptyAndOnlyWhatTheUserChoseIsKept)
{
    openPriceScreen();
    TableView& table = screen->tableView();
    EXPECT_EQ(table.numberOfSections(), 2) << "nothing to remove yet";
    EXPECT_EQ(table.numberOfRowsInSection(0), 2);
    EXPECT_EQ(table.numberOfRowsInSection(1), 1) << "off-peak hidden until switched on";
    // Placeholders say what goes there; none reads as a price already set.
    EXPECT_EQ(screen->priceField->text(), "");
    EXPECT_EQ(screen->priceField->placeholder(), "per kWh");
    EXPECT_EQ(screen->currencyField->text(), "");
    EXPECT_EQ(screen->currencyField->placeholder(), "Choose");
    EXPECT_EQ(screen->currencyField->inputView(), screen->currencyPicker);
    EXPECT_FALSE(screen->offPeakSwitch->isOn());
    EXPECT_EQ(screen->titleForHeaderInSection(table, 1), "Off-peak");
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 0, 0 })->textLabel()->text(), "Standard price");
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 0, 1 })->textLabel()->text(), "Currency");
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 1, 0 })->textLabel()->text(), "Off-peak tariff");
    screen->setOffPeakShown(true);
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 1, 1 })->textLabel()->text(), "Off-peak price");
    EXPECT_EQ(screen->offPeakPriceField->placeholder(), "per kWh");
    EXPECT_EQ(screen->offPeakStartField->text(), "");
    screen->setOffPeakShown(false);

    // The list suggests the phone's currency, which is not the user's
    // choice until the list was opened.
    EXPECT_EQ(shownRow(*screen->currencyPicker), "USD \u2013 US Dollar");
    screen->priceField->setText("0.30");
    tapSave();
    EXPECT_EQ(dismissAlert(), "Choose the currency of the price.");
    EXPECT_FALSE(kept());
    screen->textFieldDidBeginEditing(*screen->currencyField);
    EXPECT_EQ(screen->currencyField->text(), "USD");
    tapSave();
    EXPECT_EQ(kept(), tariff("USD", 0.3));

    useLocale("de_DE");
    UserDefaults::standard().removeObjectForKey("tariff.demo");
    openPriceScreen();
    EXPECT_EQ(screen->currencyField->text(), "");
    EXPECT_EQ(shownRow(*screen->currencyPicker), "EUR \u2013 Euro");
    EXPECT_EQ(shownRow(*screen->offPeakStartPicker), "22:00");
    EXPECT_EQ(shownRow(*screen->offPeakEndPicker), "06:00");
}

TEST_F(EnergyPriceTest, TheCurrencyIsChosenFromTheListByCodeAndName)
{
    openPriceScreen();
    PickerView& picker = *screen->currencyPicker;
    int rows = picker.numberOfRowsInComponent(0);
    ASSERT_GT(rows, 100) << "the currencies in use";
    std::vector<std::string> titles;
    for (int row = 0; row < rows; ++row)
        titles.push_back(screen->titleForRow(picker, row, 0));
    EXPECT_TRUE(std::is_sorted(titles.begin(), titles.end()));
    auto has = [&](const std::string& title) { return std::find(titles.begin(), titles.end(), title) != titles.end(); };
    EXPECT_TRUE(has("EUR \u2013 Euro"));
    EXPECT_TRUE(has("JPY \u2013 Japanese Yen"));
    EXPECT_TRUE(has("CHF \u2013 Swiss Franc"));
    EXPECT_FALSE(has("XAU \u2013 Gold")) << "no metals";
    EXPECT_EQ(screen->titleForRow(picker, rows, 0), "") << "one past the last row";

    auto yen = std::find(titles.begin(), titles.end(), "JPY \u2013 Japanese Yen") - titles.begin();
    picker.userSelectRow(static_cast<int>(yen), 0);
    EXPECT_EQ(screen->currencyField->text(), "JPY");
    screen->priceField->setText("31");
    tapSave();
    EXPECT_EQ(kept(), tariff("JPY", 31));
    // Opened again, the wheel stands at the kept currency.
    openPriceScreen();
    screen->textFieldDidBeginEditing(*screen->currencyField);
    EXPECT_EQ(shownRow(*screen->currencyPicker), "JPY \u2013 Japanese Yen");
}

TEST_F(EnergyPriceTest, SavingKeepsThePriceForTheUserAndReturnsToTheAccount)
{
    openPriceScreen();
    type("0.30", "USD");
    tapSave();
    EXPECT_EQ(application->visibleAlerts().size(), 0u);
    EXPECT_EQ(kept(), tariff("USD", 0.3));
    ASSERT_TRUE(UserDefaults::standard().objectForKey("tariff.demo"));
    EXPECT_TRUE(onTop(*account));
    EXPECT_EQ(accountRow(), "$0.30/kWh");

    // Opened again, the kept price is there to change, with the currency's digits.
    openPriceScreen();
    EXPECT_EQ(screen->priceField->text(), "0.30");
    EXPECT_EQ(screen->currencyField->text(), "USD");
    EXPECT_EQ(screen->tableView().numberOfSections(), 3);
    type("0.2875", "eur");
    tapSave();
    EXPECT_EQ(kept(), tariff("EUR", 0.2875)) << "the code is kept in capitals";
    EXPECT_EQ(accountRow(), "€0.2875/kWh");
}

TEST_F(EnergyPriceTest, WhatCannotBeSavedIsSaidAndTheTypingStays)
{
    struct Case {
        std::string price;
        std::string currency;
        std::optional<std::string> problem; // none: saved
    };
    const std::string badPrice = "The price must be a number such as 0.25.";
    const std::string outOfRange = "The price must be a number from 0 to 1,000,000.";
    const std::string badCurrency = "The currency must be a three-letter code such as EUR or USD.";
    const Case cases[] = {
        { "", "USD", badPrice },
        { "abc", "USD", badPrice },
        { "1e400", "USD", badPrice },
        { "1e3", "USD", badPrice },
        { "0.3.0", "USD", badPrice },
        { "30 ct", "USD", badPrice },
        { "0,30", "USD", std::nullopt },
        { "$0.30", "USD", badPrice },
        { "-0.01", "USD", outOfRange },
        { "-0", "USD", std::nullopt },
        { "0", "USD", std::nullopt },
        { "1000000", "USD", std::nullopt },
        { "1,000,000", "USD", std::nullopt },
        { "1000000.01", "USD", outOfRange },
        { "99999999999999999999999999999999999999999999", "USD", outOfRange },
        { "0.30", "", "Choose the currency of the price." },
        { "0.30", "EURO", badCurrency },
        { "0.30", "E1R", badCurrency },
        { "0.30", "€", badCurrency },
        { "0.30", "ERU", "\"ERU\" is not a currency code. Use one such as EUR or USD." },
        { "0.30", " jpy ", std::nullopt },
    };
    for (const auto& c : cases) {
        UserDefaults::standard().removeObjectForKey("tariff.demo");
        openPriceScreen();
        type(c.price, c.currency);
        tapSave();
        if (c.problem) {
            EXPECT_EQ(dismissAlert(), *c.problem) << c.price << " " << c.currency;
            EXPECT_FALSE(kept()) << c.price << " " << c.currency;
            EXPECT_TRUE(onTop(*screen)) << c.price << " " << c.currency;
            EXPECT_EQ(screen->priceField->text(), c.price) << "what was typed stays";
            EXPECT_EQ(screen->currencyField->text(), c.currency);
            navigation->popViewControllerAnimated(false);
        } else {
            EXPECT_EQ(application->visibleAlerts().size(), 0u) << c.price << " " << c.currency;
            ASSERT_TRUE(kept()) << c.price << " " << c.currency;
            EXPECT_TRUE(onTop(*account));
        }
        Animator::current().finishAll();
    }
}

TEST_F(EnergyPriceTest, OffPeakHoursAreChosenOnAWheelOfTheDaysHoursInTheLocalesStyle)
{
    openPriceScreen();
    PickerView& from = *screen->offPeakStartPicker;
    ASSERT_EQ(from.numberOfRowsInComponent(0), 24);
    EXPECT_EQ(screen->titleForRow(from, 0, 0), "12:00\u202fAM");
    EXPECT_EQ(screen->titleForRow(from, 13, 0), "1:00\u202fPM");
    EXPECT_EQ(screen->titleForRow(from, 23, 0), "11:00\u202fPM");
    EXPECT_EQ(screen->titleForRow(from, 24, 0), "");
    EXPECT_EQ(EnergyPriceViewController::hourText(23, Locale("de_DE")), "23:00");
    EXPECT_EQ(EnergyPriceViewController::hourText(0, Locale("de_DE")), "00:00");
    // Opening an empty hour takes what its wheel suggests.
    screen->setOffPeakShown(true);
    screen->textFieldDidBeginEditing(*screen->offPeakEndField);
    EXPECT_EQ(screen->offPeakEndField->text(), "6:00\u202fAM");
    navigation->popViewControllerAnimated(false);

    struct Case {
        std::string price;
        int from;
        int until;
        std::optional<std::string> problem;
    };
    const Case cases[] = {
        { "0.15", 22, 6, std::nullopt },
        { "0.15", 0, 23, std::nullopt },
        { "0.15", 23, 0, std::nullopt },
        { "0", 1, 2, std::nullopt },
        { "1000000", 1, 2, std::nullopt },
        { "0.15", 6, 6, "The off-peak hours must not start and end at the same hour." },
        { "x", 22, 6, "The off-peak price must be a number such as 0.25." },
        { "", 22, 6, "The off-peak price must be a number such as 0.25." },
        { "1000000.5", 22, 6, "The off-peak price must be a number from 0 to 1,000,000." },
        { "-1", 22, 6, "The off-peak price must be a number from 0 to 1,000,000." },
    };
    for (const auto& c : cases) {
        UserDefaults::standard().removeObjectForKey("tariff.demo");
        openPriceScreen();
        type("0.30", "EUR");
        typeOffPeak(c.price, c.from, c.until);
        tapSave();
        std::string label = c.price + " " + std::to_string(c.from) + "-" + std::to_string(c.until);
        if (c.problem) {
            EXPECT_EQ(dismissAlert(), *c.problem) << label;
            EXPECT_FALSE(kept()) << label;
            EXPECT_EQ(screen->offPeakStartField->text(), EnergyPriceViewController::hourText(c.from, Locale("en_US")));
            navigation->popViewControllerAnimated(false);
        } else {
            EXPECT_EQ(application->visibleAlerts().size(), 0u) << label;
            auto saved = kept();
            ASSERT_TRUE(saved && saved->offPeak) << label;
            EXPECT_EQ(saved->offPeak->startHour, c.from) << label;
            EXPECT_EQ(saved->offPeak->endHour, c.until) << label;
        }
        Animator::current().finishAll();
    }

    // Typed on a keyboard: the wheel's words with a plain space, or the
    // hour's number from 0 to 23 (and read back as the wheel writes it);
    // anything else, or nothing, is asked for.
    struct Typed {
        const char* text;
        int hour; // -1: refused
    };
    const Typed typed[] = { { "10:00 PM", 22 }, { "0", 0 }, { "23", 23 }, { "24", -1 }, { "-1", -1 }, { "7.5", -1 },
        { "", -1 }, { "garbage", -1 } };
    for (const auto& t : typed) {
        UserDefaults::standard().removeObjectForKey("tariff.demo");
        openPriceScreen();
        type("0.30", "EUR");
        typeOffPeak("0.15", 22, 6);
        screen->offPeakEndField->setText(t.text);
        screen->textFieldDidEndEditing(*screen->offPeakEndField);
        tapSave();
        if (t.hour < 0) {
            EXPECT_EQ(dismissAlert(), "Choose the hours the off-peak price applies.") << t.text;
            EXPECT_FALSE(kept()) << t.text;
            EXPECT_EQ(screen->offPeakEndField->text(), t.text) << "what was typed stays";
            navigation->popViewControllerAnimated(false);
        } else if (t.hour == 22) {
            EXPECT_EQ(dismissAlert(), "The off-peak hours must not start and end at the same hour.") << t.text;
            EXPECT_EQ(screen->offPeakEndField->text(), "10:00\u202fPM");
            navigation->popViewControllerAnimated(false);
        } else {
            ASSERT_TRUE(kept() && kept()->offPeak) << t.text;
            EXPECT_EQ(kept()->offPeak->endHour, t.hour) << t.text;
        }
        Animator::current().finishAll();
    }
}

TEST_F(EnergyPriceTest, TheOffPeakPriceRoundTripsAndSwitchingItOffDropsIt)
{
    openPriceScreen();
    type("0.30", "EUR");
    screen->offPeakSwitch->setOn(true);
    screen->offPeakSwitch->sendActionsForControlEvents(ControlEventValueChanged);
    Animator::current().finishAll();
    TableView& table = screen->tableView();
    ASSERT_EQ(table.numberOfRowsInSection(1), 4);
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 1, 2 })->textLabel()->text(), "From");
    EXPECT_EQ(screen->cellForRowAtIndexPath(table, { 1, 3 })->textLabel()->text(), "Until");
    typeOffPeak("0.15", 22, 6);
    tapSave();
    EXPECT_EQ(kept(), tariff("EUR", 0.3, Tariff::OffPeak { 0.15, 22, 6 }));
    EXPECT_EQ(accountRow(), "€0.15–€0.30/kWh");

    openPriceScreen();
    EXPECT_TRUE(screen->offPeakSwitch->isOn());
    EXPECT_EQ(screen->tableView().numberOfRowsInSection(1), 4);
    EXPECT_EQ(screen->offPeakPriceField->text(), "0.15");
    EXPECT_EQ(screen->offPeakStartField->text(), "10:00\u202fPM");
    EXPECT_EQ(screen->offPeakEndField->text(), "6:00\u202fAM");

    // Hidden, the off-peak fields keep their text but count for nothing.
    screen->offPeakStartField->setText("garbage");
    screen->setOffPeakShown(false);
    Animator::current().finishAll();
    EXPECT_EQ(screen->tableView().numberOfRowsInSection(1), 1);
    screen->setOffPeakShown(true);
    EXPECT_EQ(screen->offPeakStartField->text(), "garbage");
    screen->setOffPeakShown(false);
    tapSave();
    EXPECT_EQ(application->visibleAlerts().size(), 0u);
    EXPECT_EQ(kept(), tariff("EUR", 0.3));
    EXPECT_EQ(accountRow(), "€0.30/kWh");
}

TEST_F(EnergyPriceTest, AGermanPhoneReadsAndWritesCommas)
{
    useLocale("de_DE");
    openPriceScreen();
    type("0,3 €", "EUR");
    tapSave();
    EXPECT_EQ(dismissAlert(), "The price must be a number such as 0,25.");
    type("0,30", "EUR");
    typeOffPeak("0,125", 22, 6);
    tapSave();
    EXPECT_EQ(kept(), tariff("EUR", 0.3, Tariff::OffPeak { 0.125, 22, 6 }));
    EXPECT_EQ(accountRow(), "0,125" NBSP "€–0,30" NBSP "€/kWh");
    openPriceScreen();
    EXPECT_EQ(screen->priceField->text(), "0,30");
    EXPECT_EQ(screen->offPeakPriceField->text(), "0,125");
    type("1.234,5", "EUR");
    tapSave();
    EXPECT_EQ(kept()->pricePerKWh, 1234.5);
    // A point where it cannot be grouping is taken as the decimal comma.
    openPriceScreen();
    type("0.28", "EUR");
    tapSave();
    EXPECT_EQ(kept()->pricePerKWh, 0.28);
}

TEST_F(EnergyPriceTest, RemovingAsksFirstThenForgetsThePrice)
{
    Tariff::OffPeak night { 0.1, 23, 7 };
    tariff("EUR", 0.3, night).save(UserDefaults::standard(), "demo");
    openPriceScreen();
    TableView& table = screen->tableView();
    ASSERT_EQ(table.numberOfSections(), 3);
    auto row = screen->cellForRowAtIndexPath(table, { 2, 0 });
    EXPECT_EQ(row->textLabel()->text(), "Remove Energy Price");

    screen->didSelectRowAtIndexPath(table, { 2, 0 });
    AlertView* question = application->topAlert();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->title(), "Remove Energy Price");
    EXPECT_EQ(question->message(), "Costs will no longer be shown.");
    EXPECT_EQ(question->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(question->buttonTitleAtIndex(1), "Remove");
    screen->didSelectRowAtIndexPath(table, { 2, 0 });
    EXPECT_EQ(application->visibleAlerts().size(), 1u) << "one question at a time";
    question->clickButtonAtIndex(0);
    EXPECT_EQ(kept(), tariff("EUR", 0.3, night)) << "Cancel keeps it";
    EXPECT_TRUE(onTop(*screen));

    screen->didSelectRowAtIndexPath(table, { 2, 0 });
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_TRUE(onTop(*screen)) << "until the disk has the change";
    loop.runPending();
    EXPECT_FALSE(kept());
    EXPECT_FALSE(UserDefaults::standard().objectForKey("tariff.demo"));
    EXPECT_TRUE(onTop(*account));
    EXPECT_EQ(accountRow(), "Not set");
}

TEST_F(EnergyPriceTest, EachUserSeesAndKeepsTheirOwnPrice)
{
    openPriceScreen();
    type("0.30", "USD");
    tapSave();
    navigation->popViewControllerAnimated(false);
    account.reset();

    // sam signs in on the same phone: none of demo's price.
    auto sam = User::initWithUsername("sam", "S4M");
    sam->type = "member";
    session().setCurUser(sam);
    openAccount();
    EXPECT_EQ(account->titleForHeaderInSection(account->tableView(), 0), "Signed in as: sam");
    EXPECT_EQ(accountRow(), "Not set");
    openPriceScreen();
    EXPECT_EQ(screen->username(), "sam");
    EXPECT_EQ(screen->priceField->text(), "");
    EXPECT_EQ(screen->tableView().numberOfSections(), 2);
    type("25", "JPY");
    tapSave();
    EXPECT_EQ(accountRow(), "¥25/kWh");
    EXPECT_EQ(kept("sam"), tariff("JPY", 25));
    EXPECT_EQ(kept("demo"), tariff("USD", 0.3));

    session().setCurUser(user);
    EXPECT_EQ(accountRow(), "$0.30/kWh");
}

TEST_F(EnergyPriceTest, ASessionThatEndsOrChangesHandsTheScreenToNobodyElse)
{
    openPriceScreen();
    type("0.30", "USD");
    // Another user signed in underneath (stored credentials refused, login
    // screen, someone else): saving would have gone to the wrong user.
    auto sam = User::initWithUsername("sam", "S4M");
    session().setCurUser(sam);
    tapSave();
    EXPECT_EQ(dismissAlert(), "You are no longer signed in as demo.");
    EXPECT_FALSE(kept("demo"));
    EXPECT_FALSE(kept("sam"));

    NotificationCenter::defaultCenter().post("UserLoggedIn");
    EXPECT_TRUE(onTop(*account)) << "sam's sign-in closes demo's price";

    session().setCurUser(user);
    openPriceScreen();
    NotificationCenter::defaultCenter().post("UserLoggedIn");
    EXPECT_TRUE(onTop(*screen)) << "the same user signing in again keeps it open";
    session().setCurUser(nullptr);
    tapSave();
    EXPECT_EQ(dismissAlert(), "You are no longer signed in as demo.");
    NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_FALSE(onTop(*screen));
}

TEST_F(EnergyPriceTest, AnUnreadableKeptPriceReadsAsNotSetAndIsReplacedBySaving)
{
    UserDefaults::standard().setObject(std::string("0.30 EUR"), "tariff.demo");
    openAccount();
    EXPECT_EQ(accountRow(), "Not set");
    openPriceScreen();
    EXPECT_EQ(screen->tableView().numberOfSections(), 2);
    type("0.30", "EUR");
    tapSave();
    EXPECT_EQ(kept(), tariff("EUR", 0.3));
}

TEST_F(EnergyPriceTest, ReturnWalksThroughTheShownFieldsAndEveryFieldStaysAboveTheKeyboard)
{
    auto window = Window::create();
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    openPriceScreen();
    screen->setOffPeakShown(true);
    window->layoutIfNeeded();
    Animator::current().finishAll();

    std::vector<TextField*> expected { screen->priceField.get(), screen->currencyField.get(),
        screen->offPeakPriceField.get(), screen->offPeakStartField.get(), screen->offPeakEndField.get() };
    ASSERT_TRUE(screen->priceField->becomeFirstResponder());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        TextField* field = expected[i];
        ASSERT_EQ(application->firstResponder(), field) << i;
        Animator::current().finishAll();
        window->layoutIfNeeded();
        ASSERT_TRUE(application->keyboard().isVisible());
        Rect keyboard = application->keyboard().frame();
        Rect shown = field->convertRectToView(field->bounds(), nullptr);
        EXPECT_LE(shown.maxY(), keyboard.minY()) << field->accessibilityIdentifier() << " under the keyboard";
        EXPECT_GE(shown.minY(), 64) << field->accessibilityIdentifier() << " under the navigation bar";
        field->insertReturn();
    }
    EXPECT_EQ(application->firstResponder(), nullptr) << "Return on the last field puts the keyboard away";
    Animator::current().finishAll();
    EXPECT_EQ(screen->tableView().contentInset().bottom, 0);
}

TEST(EnergyPriceSummary, TheRowShowsOnePriceOrTheRangeOfTwo)
{
    auto make = [](const char* currency, double price, std::optional<double> offPeak = {}) {
        Tariff t;
        t.currency = currency;
        t.pricePerKWh = price;
        if (offPeak)
            t.offPeak = Tariff::OffPeak { *offPeak, 22, 6 };
        return t;
    };
    struct Case {
        std::optional<Tariff> tariff;
        const char* locale;
        const char* expected;
    };
    const Case cases[] = {
        { std::nullopt, "en_US", "Not set" },
        { make("USD", 0.3), "en_US", "$0.30/kWh" },
        { make("USD", 0), "en_US", "$0.00/kWh" },
        { make("USD", 0.3, 0.3), "en_US", "$0.30/kWh" },
        { make("USD", 0.3, 0.3000001), "en_US", "$0.30/kWh" },
        { make("USD", 0.3, 0.45), "en_US", "$0.30–$0.45/kWh" },
        { make("EUR", 0.3, 0.125), "de_DE", "0,125" NBSP "€–0,30" NBSP "€/kWh" },
        { make("EUR", 0.28755), "en_US", "€0.28755/kWh" },
        { make("JPY", 31.5), "ja_JP", "￥31.5/kWh" },
        { make("CHF", 1e6), "de_CH", "CHF" NBSP "1’000’000.00/kWh" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(EnergyPriceViewController::summary(c.tariff, Locale(c.locale)), c.expected) << c.expected;
}

TEST_F(EnergyPriceTest, AKeptPriceReadsBackExactlyFromTheFile)
{
    openPriceScreen();
    type("0.28755", "EUR");
    typeOffPeak("1234.5678", 23, 0);
    tapSave();
    // Another process (the next start of the app) reads the file afresh.
    UserDefaults fresh(UserDefaults::standard().file());
    auto read = Tariff::load(fresh, "demo");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->pricePerKWh, 0.28755);
    ASSERT_TRUE(read->offPeak);
    EXPECT_EQ(read->offPeak->pricePerKWh, 1234.5678);
    EXPECT_EQ(read->offPeak->startHour, 23);
    EXPECT_EQ(read->offPeak->endHour, 0);
    EXPECT_EQ(read->currency, "EUR");
}

TEST_F(EnergyPriceTest, APriceTheDiskDoesNotTakeIsSaidSaveWaitsMeanwhileAndTheTypingStays)
{
    tariff("EUR", 0.3).save(UserDefaults::standard(), "demo");
    DiskWriter::shared().settle();
    std::filesystem::path file = UserDefaults::standard().file();
    std::filesystem::remove(file);
    std::filesystem::create_directories(file / "in-the-way");

    openPriceScreen();
    type("0.41", "USD");
    {
        HeldFlushes stuck;
        screen->navigationItem().rightBarButtonItem()->trigger();
        loop.advance(30);
        EXPECT_FALSE(screen->navigationItem().rightBarButtonItem()->isEnabled()) << "Save waits for the disk";
        EXPECT_EQ(application->topAlert(), nullptr);
        EXPECT_TRUE(onTop(*screen));
    }
    loop.runPending();
    EXPECT_EQ(dismissAlert(), "The energy price could not be stored on this phone.");
    EXPECT_TRUE(screen->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_TRUE(onTop(*screen));
    EXPECT_EQ(screen->priceField->text(), "0.41") << "what was typed stays";
    EXPECT_EQ(screen->currencyField->text(), "USD");

    screen->didSelectRowAtIndexPath(screen->tableView(), { 2, 0 });
    application->topAlert()->clickButtonAtIndex(1);
    loop.runPending();
    EXPECT_EQ(dismissAlert("Can't Remove Energy Price"), "The change could not be stored on this phone.");
    EXPECT_TRUE(onTop(*screen));
    EXPECT_TRUE(logs.contains("Could not write property list"));
}
