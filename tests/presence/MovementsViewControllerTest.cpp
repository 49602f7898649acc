#include "../app/SessionTestSupport.h"

#include "platform/foundation/TimeZone.h"
#include "platform/ui/NavigationController.h"
#include "presence/MovementsViewController.h"

#include <gmock/gmock.h>

using namespace hestio;
using platform::FakeTransport;

namespace {

struct MovementsViewControllerTest : test::SessionFixture {
    std::shared_ptr<MovementsViewController> screen = MovementsViewController::create();
    std::shared_ptr<platform::NavigationController> navigation;

    MovementsViewControllerTest()
    {
        platform::TimeZone::setDefaultZone(platform::TimeZone::named("UTC"));
        session().setCurUser(User::initWithUsername("demo", "T0K3N"));
    }
    ~MovementsViewControllerTest() override { platform::TimeZone::setDefaultZone(std::nullopt); }

    void open(const std::string& reply)
    {
        transport->enqueue(FakeTransport::Reply::json(reply));
        navigation = platform::NavigationController::create(screen);
        screen->view();
        loop.runPending();
    }
    std::pair<std::string, std::string> row(int r)
    {
        auto cell = screen->movementTableView->cellForRowAtIndexPath({ 0, r });
        return { cell->textLabel()->text(), cell->detailTextLabel()->text() };
    }
};

}

TEST_F(MovementsViewControllerTest, ListsMovementsInTheServicesOrderWithWholeSecondTimes)
{
    open(R"({"success":true,"locations":[
        {"action":"LEFT","title":"Home","timestamp":1351234567890},
        {"action":"ARRIVED","title":"Work","timestamp":1351270000999},
        {"action":"ARRIVED","title":"Home","timestamp":1351234567000}]})");
    EXPECT_EQ(transport->lastRequest().method, "GET");
    EXPECT_THAT(transport->lastRequest().url,
        testing::StartsWith(
            "https://" + ServiceEnvironment::shared().serviceHost.get() + "/kivoraserver/api/movement?token="));
    EXPECT_EQ(screen->title(), "Movements");
    EXPECT_EQ(screen->navigationItem().rightBarButtonItem()->title(), "Failed Posts");
    ASSERT_EQ(screen->movementTableView->numberOfRowsInSection(0), 3);
    EXPECT_EQ(row(0), std::make_pair(std::string("[LEFT] Home"), std::string("10/26/2012 06:56:07 AM")));
    EXPECT_EQ(row(1), std::make_pair(std::string("[ARRIVED] Work"), std::string("10/26/2012 04:46:40 PM")));
    EXPECT_EQ(row(2).second, "10/26/2012 06:56:07 AM") << "890 ms dropped, not rounded";
    EXPECT_FALSE(screen->movementWSC);
}

TEST_F(MovementsViewControllerTest, RefusedOrMissingListShowsWhatTheReplyHolds)
{
    auto rowsFor = [&](const std::string& reply) {
        screen = MovementsViewController::create();
        open(reply);
        return screen->movementTableView->numberOfRowsInSection(0);
    };
    EXPECT_EQ(rowsFor(R"({"success":false,"locations":[{"action":"LEFT","title":"A","timestamp":0}]})"), 1);
    EXPECT_EQ(rowsFor(R"({"success":true})"), 0);
    EXPECT_EQ(rowsFor(R"({"success":true,"locations":"nope"})"), 0);
    EXPECT_EQ(rowsFor("not json"), 0);
}

TEST_F(MovementsViewControllerTest, FailedPostsAlertPrintsTheWaitingPostings)
{
    open(R"({"success":true,"locations":[]})");
    screen->showLocationPostFails();
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Failed Location Posts");
    EXPECT_EQ(alert->message(), std::string(10, '\n'));
    EXPECT_EQ(alert->frame(), (platform::Rect { 0, 0, 310, 350 }));
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
    auto text = [](platform::AlertView* a) { return a->subviews().back()->visibleText(); };
    EXPECT_EQ(text(alert), "(\n)");
    alert->clickButtonAtIndex(0);

    LocationManager::addLocationToPlist("action=LEFT&title=Home");
    LocationManager::addLocationToPlist("action=ARRIVED&title=Work");
    screen->showLocationPostFails();
    EXPECT_EQ(
        text(application->topAlert()), "(\n    \"action=LEFT&title=Home\",\n    \"action=ARRIVED&title=Work\"\n)");
}

TEST_F(MovementsViewControllerTest, AnUnloadedViewStopsItsDownloadAndTheNextLoadShowsItsOwn)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[
        {"action":"LEFT","title":"Old","timestamp":1351234567890}]})")
                           .after(4));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[
        {"action":"ARRIVED","title":"New","timestamp":1351234567890}]})")
                           .after(1));
    navigation = platform::NavigationController::create(screen);
    screen->view();
    screen->viewDidUnload();
    EXPECT_FALSE(screen->movementWSC) << "the download of the unloaded view is stopped";
    screen->loadView();
    screen->viewDidLoad();
    ASSERT_EQ(transport->requestCount(), 2u);
    loop.advance(1);
    ASSERT_EQ(screen->movementTableView->numberOfRowsInSection(0), 1);
    EXPECT_EQ(row(0).first, "[ARRIVED] New");
    loop.advance(5);
    EXPECT_EQ(row(0).first, "[ARRIVED] New") << "the stopped download says nothing";
    EXPECT_EQ(screen->movementTableView->numberOfRowsInSection(0), 1);
}

TEST_F(MovementsViewControllerTest, AScreenClosedWhileItLoadsHearsItsAnswerSafely)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[
        {"action":"LEFT","title":"Home","timestamp":1351234567890}]})")
                           .after(3));
    navigation = platform::NavigationController::create(screen);
    screen->view();
    std::weak_ptr<MovementsViewController> weak = screen;
    screen.reset();
    navigation.reset();
    EXPECT_FALSE(weak.expired());
    loop.advance(3);
    EXPECT_TRUE(weak.expired()) << "let go once answered";
}
