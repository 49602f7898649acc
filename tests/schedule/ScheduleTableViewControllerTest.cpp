#include "ScheduleTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "presence/MovementsViewController.h"
#include "schedule/ScheduleTableViewCell.h"
#include "schedule/ScheduleTableViewController.h"

#include <algorithm>

using namespace hestio;
using platform::FakeTransport;
using platform::IndexPath;

namespace {

const char* threeSchedules = R"({"success":true,"schedules":[
    {"title":"Work","startHour":8,"startMin":5,"endHour":17,"endMin":30,"repeatDays":"135"},
    {"title":"Gym","startHour":18,"startMin":0,"endHour":19,"endMin":15,"repeatDays":""},
    {"title":"Shop","startHour":10,"startMin":0,"endHour":11,"endMin":0,"repeatDays":"7"}]})";

struct ScheduleTableViewControllerTest : test::HouseholdFixture {
    std::shared_ptr<ScheduleTableViewController> screen = ScheduleTableViewController::create(userSession());
    std::shared_ptr<platform::NavigationController> navigation = platform::NavigationController::create(screen);

    void load(const std::string& reply = threeSchedules)
    {
        transport->setHandler(
            [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true})"); });
        transport->enqueue(FakeTransport::Reply::json(reply));
        screen->view();
        loop.runPending();
        transport->clearRequests();
    }

    /// Loads the list and shows it in a window of its own, with a saved
    /// place named Home, at 08:20 in New York: where a new schedule is made.
    std::shared_ptr<platform::Window> showToMakeASchedule()
    {
        load();
        auto window = platform::Window::create();
        window->makeKeyAndVisible();
        window->setRootViewController(navigation);
        loop.runPending();
        transport->clearRequests();
        addSavedLocation("Home");
        loop.clock().setNow(platform::Date(1354800000));
        return window;
    }
    platform::TableView& table() { return screen->tableView(); }
    void tap(int row)
    {
        screen->didSelectRowAtIndexPath(table(), { 0, row });
        loop.advance(ScheduleTableViewController::drawerOpenDelay);
        loop.runPending();
    }
    /// The rows as titles, "drawer" for the placeholder.
    std::vector<std::string> rows() const
    {
        std::vector<std::string> out;
        for (const auto& alarm : *screen->alarms)
            out.push_back(alarm ? alarm->title : "drawer");
        return out;
    }
    std::vector<std::string> bodies() const
    {
        std::vector<std::string> out;
        for (const auto& request : transport->requests())
            out.push_back(request.body.substr(0, request.body.find("&token=")));
        return out;
    }
    std::shared_ptr<ScheduleTableViewCell> scheduleCell(int row)
    {
        return std::dynamic_pointer_cast<ScheduleTableViewCell>(table().cellForRowAtIndexPath({ 0, row }));
    }
    std::shared_ptr<ScheduleDrawerTableViewCell> drawerCell(int row)
    {
        return std::dynamic_pointer_cast<ScheduleDrawerTableViewCell>(table().cellForRowAtIndexPath({ 0, row }));
    }
};

using Rows = std::vector<std::string>;

}

TEST_F(ScheduleTableViewControllerTest, ListsSchedulesInHouseholdTime)
{
    load();
    ASSERT_EQ(table().numberOfRowsInSection(0), 3);
    auto cell = scheduleCell(0);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->eventTitle->text(), "Work");
    EXPECT_EQ(cell->leaveHomeTime->text(), "08:05 AM");
    EXPECT_EQ(cell->arriveHomeTime->text(), "05:30 PM");
    EXPECT_EQ(cell->leaveHome->text(), "Leave home:");
    EXPECT_EQ(cell->arriveHome->text(), "Arrive home:");
    EXPECT_TRUE(cell->highlightedView->isHidden());
    EXPECT_EQ(screen->heightForRowAtIndexPath(table(), { 0, 0 }), 80);
    EXPECT_EQ(screen->navigationItem().leftBarButtonItem()->title(), "Edit");
}

TEST_F(ScheduleTableViewControllerTest, RefusedListIsOnlyLogged)
{
    load(R"({"success":false,"schedules":[{"title":"X"}]})");
    EXPECT_EQ(table().numberOfRowsInSection(0), 0);
    EXPECT_TRUE(logs.contains("Failed to get schedules from server"));
}

TEST_F(ScheduleTableViewControllerTest, AnEmptyListSaysSoOnlyOnceTheServiceHasAnswered)
{
    // Waiting for the list: no hint yet.
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true})"); });
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"schedules":[]})"));
    screen->view();
    ASSERT_TRUE(screen->emptyHint());
    EXPECT_TRUE(screen->emptyHint()->isHidden());
    loop.runPending();
    EXPECT_FALSE(screen->emptyHint()->isHidden());
    EXPECT_EQ(screen->emptyHint()->text(), "No schedules yet.\nTap + to add one.");

    // A schedule added by the new-event screen hides it; deleting it shows it again.
    screen->alarms->push_back(ScheduledAlarm::initWithLeaveDate({}, {}, "Work"));
    screen->viewDidAppear(false);
    EXPECT_TRUE(screen->emptyHint()->isHidden());
    screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, 0 });
    EXPECT_FALSE(screen->emptyHint()->isHidden());
}

TEST_F(ScheduleTableViewControllerTest, ARefusedListShowsNoEmptyHint)
{
    load(R"({"success":false})");
    EXPECT_TRUE(screen->emptyHint()->isHidden());
}

TEST_F(ScheduleTableViewControllerTest, DrawerOpensUnderTheTappedScheduleAndMovesWithTheNextTap)
{
    load();
    screen->didSelectRowAtIndexPath(table(), { 0, 1 });
    EXPECT_FALSE(screen->drawerOpen) << "the drawer opens 0.3 s after the tap";
    loop.advance(0.3);
    EXPECT_TRUE(screen->drawerOpen);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "drawer", "Shop" }));
    EXPECT_EQ(screen->heightForRowAtIndexPath(table(), { 0, 2 }), 44);
    EXPECT_EQ(screen->editingStyleForRowAtIndexPath(table(), { 0, 2 }), platform::TableViewCellEditingStyle::None);
    EXPECT_EQ(screen->editingStyleForRowAtIndexPath(table(), { 0, 3 }), platform::TableViewCellEditingStyle::Delete);
    EXPECT_FALSE(scheduleCell(1)->highlightedView->isHidden());
    ASSERT_TRUE(scheduleCell(1)->accessoryView());
    EXPECT_EQ(scheduleCell(1)->accessoryView()->visibleText(), "Tap to save changes");
    ASSERT_TRUE(drawerCell(2));
    EXPECT_EQ(drawerCell(2)->alarm->title, "Gym");
    EXPECT_EQ(drawerCell(2)->backgroundColor(), platform::Color::rgb(0.135, 0.135, 0.135));

    screen->didSelectRowAtIndexPath(table(), { 0, 2 });
    loop.advance(1);
    EXPECT_TRUE(screen->drawerOpen) << "tapping the drawer row does nothing";
    EXPECT_EQ(transport->requestCount(), 0u);

    tap(3); // Shop, below the drawer
    EXPECT_EQ(bodies(), (Rows { "title=Gym&startHour=18&startMin=0&endHour=19&endMin=15&repeatDays=" }));
    EXPECT_EQ(screen->selectedIndex, 2);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "drawer" }));
    EXPECT_TRUE(scheduleCell(1)->highlightedView->isHidden());
    EXPECT_FALSE(scheduleCell(1)->accessoryView());

    tap(0); // Work, above the drawer
    EXPECT_EQ(screen->selectedIndex, 0);
    EXPECT_EQ(rows(), (Rows { "Work", "drawer", "Gym", "Shop" }));
    EXPECT_EQ(transport->requestCount(), 2u);
}

TEST_F(ScheduleTableViewControllerTest, TappingTheOpenScheduleClosesAndSavesOnce)
{
    load();
    tap(0);
    screen->didSelectRowAtIndexPath(table(), { 0, 0 });
    loop.advance(1);
    EXPECT_FALSE(screen->drawerOpen);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop" }));
    EXPECT_EQ(bodies(), (Rows { "title=Work&startHour=8&startMin=5&endHour=17&endMin=30&repeatDays=135" }));
    EXPECT_EQ(transport->lastRequest().url.substr(transport->lastRequest().url.size() - 13), "/api/schedule");
    EXPECT_TRUE(logs.contains("New schedule posted successfully"));
}

TEST_F(ScheduleTableViewControllerTest, DayButtonsFlipTheFlagsSavedOnClose)
{
    load();
    tap(0);
    auto drawer = drawerCell(1);
    for (int day = 1; day <= 7; ++day)
        EXPECT_EQ(drawer->dayButton(day).isSelected(), day == 1 || day == 3 || day == 5) << "day " << day;
    drawer->daySelected(drawer->dayButton(3));
    drawer->daySelected(drawer->dayButton(7));
    EXPECT_FALSE(drawer->dayButton(3).isSelected());
    EXPECT_TRUE(drawer->dayButton(7).isSelected());
    tap(0);
    EXPECT_EQ(bodies(), (Rows { "title=Work&startHour=8&startMin=5&endHour=17&endMin=30&repeatDays=157" }));

    tap(1); // Gym has no days; the reused drawer shows none of Work's
    for (int day = 1; day <= 7; ++day)
        EXPECT_FALSE(drawerCell(2)->dayButton(day).isSelected()) << "day " << day;
}

TEST_F(ScheduleTableViewControllerTest, DeletingRowsWithAndWithoutAnOpenDrawer)
{
    struct Case {
        int open; // -1: no drawer
        int deleteRow;
        Rows saved;
        Rows after;
        const char* deleted;
    };
    const Case cases[] = {
        { -1, 0, {}, { "Gym", "Shop" }, "Work" }, { 1, 1, { "Gym" }, { "Work", "Shop" }, "Gym" }, // the open schedule
        { 1, 0, { "Gym" }, { "Gym", "Shop" }, "Work" }, // above the drawer: closed first
        { 0, 2, {}, { "Work", "drawer", "Shop" }, "Gym" }, // below the drawer: it stays
    };
    for (const auto& c : cases) {
        screen = ScheduleTableViewController::create(userSession());
        navigation = platform::NavigationController::create(screen);
        load();
        if (c.open >= 0)
            tap(c.open);
        transport->clearRequests();
        screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, c.deleteRow });
        Rows expected;
        for (const auto& title : c.saved)
            expected.push_back(
                "title=" + title + (title == "Gym" ? "&startHour=18&startMin=0&endHour=19&endMin=15&repeatDays=" : ""));
        expected.push_back(std::string("title=") + c.deleted + "&delete=true");
        EXPECT_EQ(bodies(), expected) << "open " << c.open << ", delete " << c.deleteRow;
        EXPECT_EQ(rows(), c.after) << "open " << c.open << ", delete " << c.deleteRow;
        EXPECT_EQ(table().numberOfRowsInSection(0), static_cast<int>(c.after.size()));
    }
}

TEST_F(ScheduleTableViewControllerTest, ADeleteThatDoesNotGoThroughBringsTheRowBack)
{
    // Refused: listed again where it was, and the user is told. Lost in
    // transport: listed again; the network panel has said why.
    for (bool refused : { true, false }) {
        screen = ScheduleTableViewController::create(userSession());
        navigation = platform::NavigationController::create(screen);
        load();
        transport->setHandler([refused](const platform::HttpRequest&) {
            return refused ? FakeTransport::Reply::json(R"({"success":false})") : FakeTransport::Reply::failure();
        });
        screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, 1 });
        EXPECT_EQ(rows(), (Rows { "Work", "Shop" }));
        loop.runPending();
        EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop" })) << (refused ? "refused" : "lost");
        EXPECT_EQ(table().numberOfRowsInSection(0), 3);
        EXPECT_TRUE(logs.contains("Failed to post schedule"));
        if (refused) {
            ASSERT_TRUE(application->topAlert());
            EXPECT_EQ(application->topAlert()->title(), "Schedule Not Deleted");
            EXPECT_EQ(application->topAlert()->message(),
                "The schedule \"Gym\" could not be deleted and is still on the service.");
            application->topAlert()->clickButtonAtIndex(0);
        } else {
            EXPECT_FALSE(application->topAlert());
        }
    }
}

TEST_F(ScheduleTableViewControllerTest, ARefusedDeleteComesBackBesideAnOpenDrawer)
{
    load();
    tap(1); // Gym's drawer: Work, Gym, drawer, Shop
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":false})").after(1); });
    screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, 3 });
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "drawer" }));
    loop.advance(1);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "drawer", "Shop" }));
    EXPECT_TRUE(screen->drawerOpen);
    EXPECT_EQ(screen->selectedIndex, 1);
    application->topAlert()->clickButtonAtIndex(0);

    screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, 0 });
    EXPECT_EQ(rows(), (Rows { "Gym", "Shop" })) << "a row above closes the drawer first";
    loop.advance(1);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop" }));
}

TEST_F(ScheduleTableViewControllerTest, LeavingTheTabSavesTheOpenSchedule)
{
    load();
    tap(2);
    screen->viewDidDisappear(false);
    EXPECT_FALSE(screen->drawerOpen);
    EXPECT_EQ(bodies(), (Rows { "title=Shop&startHour=10&startMin=0&endHour=11&endMin=0&repeatDays=7" }));
}

TEST_F(ScheduleTableViewControllerTest, EditButtonFlipsEditingAndTint)
{
    load();
    auto edit = screen->navigationItem().leftBarButtonItem();
    EXPECT_EQ(edit->tintColor(), ScheduleTableViewController::editTint);
    edit->trigger();
    EXPECT_TRUE(table().isEditing());
    EXPECT_EQ(edit->title(), "Done");
    EXPECT_EQ(edit->tintColor(), platform::Color::rgb(0.082, 0.45, 0.197));
    edit->trigger();
    EXPECT_FALSE(table().isEditing());
    EXPECT_EQ(edit->title(), "Edit");
    EXPECT_EQ(edit->tintColor(), platform::Color::rgb(0.098, 0.6, 0.25));
}

TEST_F(ScheduleTableViewControllerTest, AddingNeedsASavedPlace)
{
    load();
    screen->navigationItem().rightBarButtonItem()->trigger();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Can't Create Alarm");
    EXPECT_EQ(application->topAlert()->message(),
        "You need a saved location before you can create an alarm. Create a location at: Home->Account->Add Location");
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    application->topAlert()->clickButtonAtIndex(0);

    addSavedLocation("Home");
    screen->addAlarm();
    loop.advance(1);
    auto* created = dynamic_cast<CreateNewScheduleEventViewController*>(navigation->topViewController());
    ASSERT_TRUE(created);
    created->saveEvent();
    loop.advance(1);
    EXPECT_EQ(navigation->topViewController(), screen.get());
    screen->viewDidAppear(false);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "Home" }));
    EXPECT_EQ(scheduleCell(3)->eventTitle->text(), "Home");
}

TEST_F(ScheduleTableViewControllerTest, ShowMovementsPushesTheMovementsList)
{
    load();
    screen->showMovements();
    loop.advance(1);
    EXPECT_TRUE(dynamic_cast<MovementsViewController*>(navigation->topViewController()));
}

TEST_F(ScheduleTableViewControllerTest, ANewScheduleIsSentWhenTheListShowsItAgain)
{
    auto window = showToMakeASchedule();
    addSavedLocation("Work");
    screen->addAlarm();
    loop.advance(1);
    auto* created = dynamic_cast<CreateNewScheduleEventViewController*>(navigation->topViewController());
    ASSERT_TRUE(created);
    created->saveEvent();
    loop.advance(1);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "Home" }));
    EXPECT_EQ(bodies(), (Rows { "title=Home&startHour=8&startMin=20&endHour=8&endMin=20&repeatDays=" }))
        << "sent once saved, without opening its drawer";
    EXPECT_EQ(transport->lastRequest().method, "POST");
    loop.runPending();
    EXPECT_TRUE(logs.contains("New schedule posted successfully"));

    screen->viewDidDisappear(false);
    screen->viewDidAppear(false);
    EXPECT_EQ(transport->requestCount(), 1u) << "a saved schedule is not sent again";
    window->setRootViewController(nullptr);
}

TEST_F(ScheduleTableViewControllerTest, ANewScheduleSavedWhileItsScreenStillSlidesInIsSentOnceAtOnce)
{
    // A screen reader's presses come faster than the slide: the save must
    // not wait for the list to hear that it appears again.
    auto window = showToMakeASchedule();
    screen->addAlarm();
    loop.advance(platform::NavigationController::transitionDuration / 3);
    auto* created = dynamic_cast<CreateNewScheduleEventViewController*>(navigation->topViewController());
    ASSERT_TRUE(created);
    created->saveEvent();
    EXPECT_EQ(bodies(), (Rows { "title=Home&startHour=8&startMin=20&endHour=8&endMin=20&repeatDays=" }));
    loop.advance(1);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "Home" }));
    EXPECT_EQ(transport->requestCount(), 1u) << "sent once, not again as the list appears";
    window->setRootViewController(nullptr);
}

TEST_F(ScheduleTableViewControllerTest, TwoSavesAnsweredInReverseOrderAreEachHandledOnce)
{
    struct Case {
        bool firstSucceeds; // Work's save, answered last
        bool secondSucceeds; // Gym's save, answered first
    };
    const Case cases[] = { { true, true }, { false, true }, { true, false }, { false, false } };
    for (const Case& c : cases) {
        std::string label
            = std::string(c.firstSucceeds ? "ok" : "refused") + "/" + (c.secondSucceeds ? "ok" : "refused");
        screen = ScheduleTableViewController::create(userSession());
        navigation = platform::NavigationController::create(screen);
        load();
        logs.clear();
        transport->enqueue(
            FakeTransport::Reply::json(c.firstSucceeds ? R"({"success":true})" : R"({"success":false})").after(3));
        transport->enqueue(
            FakeTransport::Reply::json(c.secondSucceeds ? R"({"success":true})" : R"({"success":false})").after(1));
        tap(0);
        tap(2); // closes Work's drawer (saving Work), opens Gym's
        tap(1); // closes Gym's drawer (saving Gym)
        ASSERT_EQ(transport->requestCount(), 2u);
        loop.advance(3);
        std::vector<std::string> lines = logs.lines();
        auto count = [&](const char* line) { return std::count(lines.begin(), lines.end(), line); };
        EXPECT_EQ(count("New schedule posted successfully"), c.firstSucceeds + c.secondSucceeds) << label;
        EXPECT_EQ(count("Failed to post schedule"), !c.firstSucceeds + !c.secondSucceeds) << label;
        using State = ScheduledAlarm::ServiceState;
        EXPECT_EQ((*screen->alarms)[0]->serviceState, c.firstSucceeds ? State::Saved : State::NotSent) << label;
        EXPECT_EQ((*screen->alarms)[1]->serviceState, c.secondSucceeds ? State::Saved : State::NotSent) << label;
        int alerts = 0;
        while (auto alert = application->topAlert()) {
            EXPECT_EQ(alert->title(), "Schedule Not Saved");
            alert->clickButtonAtIndex(0);
            ++alerts;
        }
        EXPECT_EQ(alerts, !c.firstSucceeds + !c.secondSucceeds) << label;

        // What did not go through is sent again when the list shows again.
        transport->clearRequests();
        screen->viewDidAppear(false);
        EXPECT_EQ(transport->requestCount(), static_cast<std::size_t>(!c.firstSucceeds + !c.secondSucceeds)) << label;
        loop.runPending();
    }
}

TEST_F(ScheduleTableViewControllerTest, ASaveOfAnOlderStateDoesNotSpeakForTheNewerOne)
{
    load();
    transport->enqueue(FakeTransport::Reply::failure().after(3)); // the first save, days 135
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1)); // the second, days 1357
    tap(0);
    tap(0);
    tap(0);
    drawerCell(1)->daySelected(drawerCell(1)->dayButton(7));
    tap(0);
    ASSERT_EQ(transport->requestCount(), 2u);
    loop.advance(3);
    EXPECT_EQ((*screen->alarms)[0]->serviceState, ScheduledAlarm::ServiceState::Saved)
        << "the service has what the list shows";
    transport->clearRequests();
    screen->viewDidAppear(false);
    EXPECT_EQ(transport->requestCount(), 0u);
}

TEST_F(ScheduleTableViewControllerTest, AScheduleLostInTransportIsSentAgainWithoutAnAlert)
{
    load();
    transport->enqueue(FakeTransport::Reply::failure());
    tap(2);
    tap(2);
    loop.runPending();
    EXPECT_FALSE(application->topAlert());
    EXPECT_TRUE(logs.contains("Failed to post schedule"));
    transport->clearRequests();
    screen->viewDidAppear(false);
    EXPECT_EQ(bodies(), (Rows { "title=Shop&startHour=10&startMin=0&endHour=11&endMin=0&repeatDays=7" }));
}

TEST_F(ScheduleTableViewControllerTest, TheListComesOnceTheSignInCompletes)
{
    // Loaded while the launch sign-in still runs: the download is refused.
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true})"); });
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})", 401));
    screen->view();
    loop.runPending();
    EXPECT_EQ(table().numberOfRowsInSection(0), 0);

    transport->clearRequests();
    transport->enqueue(FakeTransport::Reply::json(threeSchedules));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u) << "one download, however often it is asked";
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop" }));

    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u) << "a received list is not downloaded again";
}

TEST_F(ScheduleTableViewControllerTest, OnlyTheLatestDownloadIsListedAndNewSchedulesStay)
{
    // The first download answers late, the one after the sign-in early; a
    // schedule made meanwhile (its save on its way) stays listed.
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true})").after(10); });
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"schedules":[{"title":"Old"}]})").after(5));
    screen->view();
    screen->alarms->push_back(ScheduledAlarm::initWithLeaveDate({}, {}, "Home"));
    screen->viewDidAppear(false);
    screen->getSchedulesWSC.reset(); // as if the first download were over
    transport->enqueue(FakeTransport::Reply::json(threeSchedules).after(1));
    screen->downloadSchedules();
    loop.advance(1);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "Home" }));
    loop.advance(4);
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop", "Home" })) << "the earlier download's answer is not listed";
}

TEST_F(ScheduleTableViewControllerTest, AScreenLetGoWhileItsRequestsRunTakesTheAnswersSafely)
{
    transport->enqueue(FakeTransport::Reply::json(threeSchedules).after(2));
    screen->view();
    screen->viewDidUnload();
    loop.advance(2);
    EXPECT_EQ(transport->requestCount(), 1u);
    EXPECT_FALSE(screen->alarms);

    screen = ScheduleTableViewController::create(userSession());
    navigation = platform::NavigationController::create(screen);
    load();
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":false})").after(2); });
    tap(0);
    tap(0);
    std::weak_ptr<ScheduleTableViewController> watch = screen;
    screen.reset();
    navigation.reset();
    EXPECT_FALSE(watch.expired()) << "the save keeps the screen until its answer";
    loop.advance(2);
    loop.runPending();
    EXPECT_TRUE(logs.contains("Failed to post schedule"));
    EXPECT_TRUE(watch.expired());
    if (auto alert = application->topAlert())
        alert->clickButtonAtIndex(0);
}

TEST_F(ScheduleTableViewControllerTest, LoggingOutEmptiesTheList)
{
    load();
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":false})").after(2); });
    screen->commitEditingStyle(table(), platform::TableViewCellEditingStyle::Delete, { 0, 1 });
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(table().numberOfRowsInSection(0), 0);
    loop.advance(2);
    EXPECT_EQ(table().numberOfRowsInSection(0), 0) << "the refused delete does not list the old schedule again";
    EXPECT_FALSE(application->topAlert());
    EXPECT_TRUE(logs.contains("Failed to post schedule"));
    transport->enqueue(FakeTransport::Reply::json(threeSchedules));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_EQ(rows(), (Rows { "Work", "Gym", "Shop" }));
}

TEST_F(ScheduleTableViewControllerTest, ASpringForwardTimeIsSavedBackUnchanged)
{
    loop.clock().setNow(platform::Date(1772985600)); // 8 March 2026, noon in New York
    load(R"({"success":true,"schedules":[
        {"title":"Night","startHour":2,"startMin":30,"endHour":1,"endMin":30,"repeatDays":"1"}]})");
    EXPECT_EQ(scheduleCell(0)->leaveHomeTime->text(), "02:30 AM");
    EXPECT_EQ(scheduleCell(0)->arriveHomeTime->text(), "01:30 AM");
    tap(0);
    tap(0);
    EXPECT_EQ(bodies(), (Rows { "title=Night&startHour=2&startMin=30&endHour=1&endMin=30&repeatDays=1" }));
}
