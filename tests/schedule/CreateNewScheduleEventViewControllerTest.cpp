#include "ScheduleTestSupport.h"

#include "platform/foundation/Calendar.h"
#include "platform/ui/NavigationController.h"
#include "schedule/CreateNewScheduleEventViewController.h"

using namespace hestio;
using platform::IndexPath;

namespace {

struct CreateNewScheduleEventTest : test::HouseholdFixture {
    std::shared_ptr<AlarmList> alarms = std::make_shared<AlarmList>();
    std::shared_ptr<platform::ViewController> list = std::make_shared<platform::ViewController>();
    std::shared_ptr<platform::NavigationController> navigation = platform::NavigationController::create(list);
    std::shared_ptr<CreateNewScheduleEventViewController> screen;

    void open()
    {
        screen = CreateNewScheduleEventViewController::create(alarms, userSession());
        navigation->pushViewController(screen, false);
        screen->view();
    }
    std::string detail(int row)
    {
        return screen->alarmTableView->cellForRowAtIndexPath({ 0, row })->detailTextLabel()->text();
    }
    std::pair<int, int> hourAndMinute(platform::Date date)
    {
        auto parts = platform::Calendar(household()).components(date);
        return { parts.hour, parts.minute };
    }
};

}

TEST_F(CreateNewScheduleEventTest, SavingUntouchedUsesTheFirstPlaceAndTheOpeningTime)
{
    addSavedLocation("Home");
    addSavedLocation("Work");
    loop.clock().setNow(platform::Date(1354800000)); // 08:20 in New York
    open();
    EXPECT_EQ(screen->title(), "Set Alarm");
    EXPECT_EQ(screen->titleField->text(), "Home");
    EXPECT_EQ(screen->titleField->tag(), CreateNewScheduleEventViewController::titleFieldTag);
    EXPECT_EQ(detail(1), "08:20 AM") << "household time, not the phone's";
    EXPECT_EQ(detail(2), "08:20 AM");
    loop.advance(30);
    screen->navigationItem().rightBarButtonItem()->trigger();
    ASSERT_EQ(alarms->size(), 1u);
    EXPECT_EQ(alarms->back()->title, "Home");
    EXPECT_EQ(alarms->back()->startDate, platform::Date(1354800000));
    EXPECT_EQ(alarms->back()->endDate, platform::Date(1354800000));
    EXPECT_EQ(transport->requestCount(), 0u) << "nothing is sent from this screen";
}

TEST_F(CreateNewScheduleEventTest, PickerChangesOnlyTheTappedRowsTime)
{
    addSavedLocation("Home");
    open();
    platform::Date opened = screen->leaveDate;
    screen->picker->userSelectTime(5, 0);
    EXPECT_EQ(screen->leaveDate, opened) << "no row tapped yet";
    EXPECT_EQ(screen->arriveDate, opened);

    screen->didSelectRowAtIndexPath(*screen->alarmTableView, { 0, 1 });
    screen->picker->userSelectTime(7, 45);
    screen->didSelectRowAtIndexPath(*screen->alarmTableView, { 0, 2 });
    screen->picker->userSelectTime(18, 10);
    EXPECT_EQ(detail(1), "07:45 AM");
    EXPECT_EQ(detail(2), "06:10 PM");
    screen->saveEvent();
    ASSERT_EQ(alarms->size(), 1u);
    EXPECT_EQ(hourAndMinute(alarms->back()->startDate), std::make_pair(7, 45));
    EXPECT_EQ(hourAndMinute(alarms->back()->endDate), std::make_pair(18, 10));
    EXPECT_EQ(
        alarms->back()->createPostParameters(), "title=Home&startHour=7&startMin=45&endHour=18&endMin=10&repeatDays=");
    EXPECT_EQ(navigation->topViewController(), list.get()) << "saving pops back to the list";
}

TEST_F(CreateNewScheduleEventTest, LocationPickerListsSavedPlacesInOrderAndSetsTheTitle)
{
    for (const char* title : { "Home", "Work", "Gym" })
        addSavedLocation(title);
    open();
    auto& picker = *screen->locationPicker;
    ASSERT_EQ(screen->titleField->inputView(), screen->locationPicker);
    ASSERT_EQ(picker.numberOfRowsInComponent(0), 3);
    EXPECT_EQ(screen->titleForRow(picker, 0, 0), "Home");
    EXPECT_EQ(screen->titleForRow(picker, 2, 0), "Gym");
    screen->titleField->becomeFirstResponder();
    picker.userSelectRow(2, 0);
    EXPECT_EQ(screen->titleField->text(), "Gym");
    EXPECT_FALSE(screen->titleField->isFirstResponder());
    screen->saveEvent();
    EXPECT_EQ(alarms->back()->title, "Gym");
}

TEST_F(CreateNewScheduleEventTest, ATitleAlreadyListedIsRefused)
{
    for (const char* title : { "Home", "Work" })
        addSavedLocation(title);
    alarms->push_back(ScheduledAlarm::initWithLeaveDate({}, {}, "Home"));
    alarms->push_back(nullptr); // an open drawer's row
    open();
    screen->saveEvent();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Can't Create Alarm");
    EXPECT_EQ(application->topAlert()->message(),
        "There is already an alarm for \"Home\". Please choose a different location or remove the old alarm.");
    EXPECT_EQ(application->topAlert()->numberOfButtons(), 1);
    application->topAlert()->clickButtonAtIndex(0);
    EXPECT_EQ(alarms->size(), 2u) << "nothing added";
    EXPECT_EQ(navigation->topViewController(), screen.get()) << "the screen stays for another choice";

    screen->titleField->becomeFirstResponder();
    screen->locationPicker->userSelectRow(1, 0);
    screen->saveEvent();
    EXPECT_FALSE(application->topAlert());
    ASSERT_EQ(alarms->size(), 3u);
    EXPECT_EQ(alarms->back()->title, "Work");
    EXPECT_EQ(alarms->back()->serviceState, ScheduledAlarm::ServiceState::NotSent);
}
