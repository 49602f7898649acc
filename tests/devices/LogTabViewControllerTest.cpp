#include "../app/SessionTestSupport.h"

#include "devices/LogTabViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Window.h"

#include <algorithm>

using namespace hestio;
using platform::FakeTransport;

namespace {

struct LogTabViewControllerTest : test::SessionFixture {
    std::shared_ptr<LogTabViewController> screen = LogTabViewController::create();
    std::optional<std::string> token = "T0K3N";

    LogTabViewControllerTest()
    {
        session().setCurUser(User::initWithUsername("demo", "T0K3N"));
        ServiceEnvironment::shared().currentToken = [this] { return token; };
        loop.clock().setNow(platform::Date(1354752000.123));
    }
    void load(const std::string& reply
        = R"({"success":true,"activities":[{"title":"Ran dishwasher","id":3},{"title":"Laundry"}]})")
    {
        transport->enqueue(FakeTransport::Reply::json(reply));
        screen->view();
        screen->viewDidAppear(false);
        loop.runPending();
        transport->clearRequests();
    }
    std::vector<std::string> titles() const
    {
        std::vector<std::string> out;
        for (const auto& entry : screen->data)
            out.emplace_back(entry["title"].stringValue());
        return out;
    }
    std::vector<std::string> bodies() const
    {
        std::vector<std::string> out;
        for (const auto& request : transport->requests())
            out.push_back(request.body.substr(0, request.body.find("&token=")));
        return out;
    }
    using Texts = std::vector<std::string>;
};

}

TEST_F(LogTabViewControllerTest, ListsTheDownloadedActivitiesUnderTheSecondHeader)
{
    load();
    auto& table = *screen->logTableView;
    EXPECT_EQ(table.numberOfSections(), 2);
    EXPECT_EQ(table.numberOfRowsInSection(0), 0);
    EXPECT_EQ(screen->titleForHeaderInSection(table, 0), "Suggested Current Actions");
    EXPECT_EQ(screen->titleForHeaderInSection(table, 1), "User Defined Actions");
    ASSERT_EQ(table.numberOfRowsInSection(1), 2);
    auto cell = table.cellForRowAtIndexPath({ 1, 0 });
    EXPECT_EQ(cell->textLabel()->text(), "Ran dishwasher");
    EXPECT_EQ(cell->textLabel()->numberOfLines(), 2);
    EXPECT_EQ(cell->reuseIdentifier(), "USER_GENERATED");
}

TEST_F(LogTabViewControllerTest, RefusedDownloadIsLoggedAndKeepsTheList)
{
    load(R"({"success":false,"activities":[{"title":"X"}]})");
    EXPECT_TRUE(titles().empty());
    EXPECT_TRUE(logs.contains("Failed to received activities from server"));
}

TEST_F(LogTabViewControllerTest, EmptyTextSendsNothing)
{
    load();
    screen->sendLogPost();
    EXPECT_EQ(transport->requestCount(), 0u);
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" }));
    EXPECT_EQ(screen->selectedIndex, -1);
}

TEST_F(LogTabViewControllerTest, NewActivityIsShownAtOnceThenPostedTwice)
{
    load();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    screen->logTextField->setText("Watered plants");
    screen->sendLogPost();
    EXPECT_EQ(titles(), (Texts { "Watered plants", "Ran dishwasher", "Laundry" }));
    EXPECT_EQ(screen->data.front()["timestamp"].integerValue(), 1354752000123);
    EXPECT_EQ(screen->logTextField->text(), "");
    EXPECT_EQ(screen->selectedIndex, 0);
    EXPECT_EQ(bodies(), (Texts { "new=true&activity=Watered%20plants&timestamp=1354752000123" }));
    EXPECT_EQ(transport->lastRequest().method, "POST");

    loop.advance(2);
    EXPECT_EQ(bodies(),
        (Texts { "new=true&activity=Watered%20plants&timestamp=1354752000123",
            "activity=Watered%20plants&timestamp=1354752002123" }))
        << "the occurrence carries the time of the service's answer";
    loop.runPending();
    EXPECT_EQ(std::count(logs.lines().begin(), logs.lines().end(), "successfully posted activity to server"), 2);
    EXPECT_EQ(screen->logTableView->numberOfRowsInSection(1), 3);
}

TEST_F(LogTabViewControllerTest, RefusedNewActivityLeavesTheListAgain)
{
    load();
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    screen->logTextField->setText("Mum & Dad");
    screen->sendLogPost();
    EXPECT_EQ(bodies().front().substr(0, 44), "new=true&activity=Mum%20%26%20Dad&timestamp=");
    loop.runPending();
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" }));
    EXPECT_EQ(screen->logTableView->numberOfRowsInSection(1), 2);
    EXPECT_EQ(transport->requestCount(), 1u) << "no occurrence for a refused activity";
    EXPECT_TRUE(logs.contains("failed to post activity to server"));
}

TEST_F(LogTabViewControllerTest, ARefusedOrLostNewActivityPutsItsTextBackForSendingAgain)
{
    auto check = [&](FakeTransport::Reply reply, const char* what) {
        SCOPED_TRACE(what);
        screen = LogTabViewController::create();
        logs.clear();
        load();
        transport->enqueue(std::move(reply));
        screen->logTextField->setText("Watered plants");
        screen->sendLogPost();
        EXPECT_EQ(titles(), (Texts { "Watered plants", "Ran dishwasher", "Laundry" }));
        loop.runPending();
        EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" })) << "not listed as if recorded";
        EXPECT_EQ(screen->logTableView->numberOfRowsInSection(1), 2);
        EXPECT_EQ(screen->logTextField->text(), "Watered plants");
        EXPECT_EQ(std::count(logs.lines().begin(), logs.lines().end(), "failed to post activity to server"), 1);
        EXPECT_EQ(transport->requestCount(), 1u) << "no occurrence";

        // Sending again records it.
        transport->clearRequests();
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
        screen->sendLogPost();
        loop.runPending();
        EXPECT_EQ(titles(), (Texts { "Watered plants", "Ran dishwasher", "Laundry" }));
        EXPECT_EQ(screen->logTextField->text(), "");
        EXPECT_EQ(transport->requestCount(), 2u);
    };
    check(FakeTransport::Reply::json(R"({"success":false})"), "refused");
    check(FakeTransport::Reply::json("<html><body>Bad Gateway</body></html>", 502), "an error page");
    check(FakeTransport::Reply::failure(), "the connection failed");
}

TEST_F(LogTabViewControllerTest, TextTypedMeanwhileIsNotOverwrittenByAFailedPost)
{
    load();
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    screen->logTextField->setText("Watered plants");
    screen->sendLogPost();
    screen->logTextField->setText("Fed the cat");
    loop.advance(1);
    EXPECT_EQ(screen->logTextField->text(), "Fed the cat");
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" }));
}

TEST_F(LogTabViewControllerTest, ALostDownloadOrOccurrenceChangesNothing)
{
    transport->enqueue(FakeTransport::Reply::failure());
    screen->view();
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_TRUE(titles().empty());
    EXPECT_FALSE(logs.contains("failed to post activity to server")) << "the download is not a post";

    screen = LogTabViewController::create();
    load();
    transport->enqueue(FakeTransport::Reply::failure());
    screen->didSelectRowAtIndexPath(*screen->logTableView, { 1, 1 });
    application->topAlert()->clickButtonAtIndex(1);
    loop.runPending();
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" })) << "an occurrence removes nothing";
    EXPECT_EQ(screen->logTextField->text(), "");
    EXPECT_TRUE(logs.contains("failed to post activity to server"));
}

TEST_F(LogTabViewControllerTest, RepeatingAsksFirstAndLeavesTheList)
{
    load();
    screen->didSelectRowAtIndexPath(*screen->logTableView, { 1, 1 });
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Are you sure?");
    EXPECT_EQ(alert->message(), "Post activity: Laundry?");
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "Yes");
    alert->clickButtonAtIndex(0);
    EXPECT_EQ(transport->requestCount(), 0u);

    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    screen->didSelectRowAtIndexPath(*screen->logTableView, { 1, 1 });
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_EQ(bodies(), (Texts { "activity=Laundry&timestamp=1354752000123" }));
    loop.runPending();
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" }));
    EXPECT_TRUE(logs.contains("failed to post activity to server"));
}

TEST_F(LogTabViewControllerTest, KeyboardMovesTheScreenBy170Points)
{
    load();
    double y = screen->view()->frame().y();
    test::AnimationLog animations;
    platform::NotificationCenter::defaultCenter().post(platform::Keyboard::willShowNotification);
    EXPECT_EQ(screen->view()->frame().y(), y - 170);
    platform::NotificationCenter::defaultCenter().post(platform::Keyboard::willHideNotification);
    EXPECT_EQ(screen->view()->frame().y(), y);
    EXPECT_EQ(
        animations.entries(), (std::vector<platform::AnimationLogEntry> { { "anim", 0.2, 0 }, { "anim", 0.2, 0 } }));

    screen->viewDidDisappear(false);
    platform::NotificationCenter::defaultCenter().post(platform::Keyboard::willShowNotification);
    EXPECT_EQ(screen->view()->frame().y(), y) << "not observed off screen";
}

TEST_F(LogTabViewControllerTest, TheFieldAndPostButtonStayInSightAboveTheKeyboard)
{
    load();
    // The tab's content area: under the status and navigation bars, above the tab bar.
    auto window = platform::Window::create();
    auto content = platform::View::create({ 0, 20, 320, 460 });
    window->addSubview(content);
    screen->view()->setFrame({ 0, 44, 320, 367 });
    content->addSubview(screen->view());
    screen->view()->layoutIfNeeded();
    auto inSight = [&](const platform::View& view, double top, double bottom) {
        platform::Rect r = view.convertRectToView(view.bounds(), nullptr);
        return r.minY() >= top && r.maxY() <= bottom;
    };
    EXPECT_TRUE(inSight(*screen->logTextField, 64, 431));
    EXPECT_TRUE(inSight(*screen->sendButton, 64, 431));
    platform::NotificationCenter::defaultCenter().post(platform::Keyboard::willShowNotification);
    platform::Animator::current().finishAll();
    double keyboardTop = 480 - 216;
    EXPECT_TRUE(inSight(*screen->logTextField, 64, keyboardTop))
        << "field at " << screen->logTextField->convertRectToView(screen->logTextField->bounds(), nullptr).minY();
    EXPECT_TRUE(inSight(*screen->sendButton, 64, keyboardTop));
    platform::NotificationCenter::defaultCenter().post(platform::Keyboard::willHideNotification);
    platform::Animator::current().finishAll();
    content->removeFromSuperview();
}

namespace {

const char* kSucceeded = R"({"success":true})";

struct LogTabPostsTest : LogTabViewControllerTest {
    std::shared_ptr<platform::Window> window = platform::Window::create();

    LogTabPostsTest()
    {
        load();
        window->setRootViewController(screen);
        logs.clear();
    }
    long logged(const std::string& line) const { return std::count(logs.lines().begin(), logs.lines().end(), line); }
    void send(const std::string& text)
    {
        screen->logTextField->setText(text);
        screen->sendLogPost();
    }
    void repeat(int row)
    {
        screen->didSelectRowAtIndexPath(*screen->logTableView, { 1, row });
        application->topAlert()->clickButtonAtIndex(1);
    }
};

}

TEST_F(LogTabPostsTest, ANewActivityAndARepeatInFlightBothReachTheServiceInReverseOrder)
{
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(3)); // new: Watered plants
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1)); // repeat: Laundry
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1)); // Watered plants' occurrence
    send("Watered plants");
    loop.advance(0.5);
    repeat(2);
    EXPECT_EQ(bodies(),
        (Texts { "new=true&activity=Watered%20plants&timestamp=1354752000123",
            "activity=Laundry&timestamp=1354752000623" }));

    loop.advance(1);
    EXPECT_EQ(logged("successfully posted activity to server"), 1) << "the repeat's reply came first";
    EXPECT_EQ(transport->requestCount(), 2u);
    loop.advance(1.5);
    EXPECT_EQ(bodies().back(), "activity=Watered%20plants&timestamp=1354752003123")
        << "the occurrence follows its own activity's reply";
    loop.advance(1);
    loop.advance(30);
    EXPECT_EQ(logged("successfully posted activity to server"), 3);
    EXPECT_EQ(logged("failed to post activity to server"), 0);
    EXPECT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(titles(), (Texts { "Watered plants", "Ran dishwasher", "Laundry" }));
}

TEST_F(LogTabPostsTest, TheRefusedOneOfTwoNewActivitiesLeavesAndTheOtherGetsItsOccurrence)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(2)); // Fed the cat
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1)); // Watered plants
    transport->enqueue(FakeTransport::Reply::json(kSucceeded)); // its occurrence
    send("Fed the cat");
    send("Watered plants");
    EXPECT_EQ(titles(), (Texts { "Watered plants", "Fed the cat", "Ran dishwasher", "Laundry" }));

    loop.advance(1);
    loop.runPending();
    EXPECT_EQ(logged("successfully posted activity to server"), 2);
    EXPECT_EQ(bodies().back(), "activity=Watered%20plants&timestamp=1354752001123");

    loop.advance(1);
    EXPECT_EQ(titles(), (Texts { "Watered plants", "Ran dishwasher", "Laundry" }))
        << "its own row left, not the top one";
    EXPECT_EQ(screen->logTableView->numberOfRowsInSection(1), 3);
    EXPECT_EQ(screen->logTextField->text(), "Fed the cat");
    EXPECT_EQ(logged("failed to post activity to server"), 1);
    EXPECT_EQ(logged("successfully posted activity to server"), 2) << "the success is the other post's";
    EXPECT_EQ(transport->requestCount(), 3u) << "no occurrence for the refused one";
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Activity not saved");
    EXPECT_EQ(alert->message(), "\"Fed the cat\" was not recorded. Please send it again.");
}

TEST_F(LogTabPostsTest, ConfirmingARepeatPostsTheRowAskedAboutWhenRowsAboveItLeave)
{
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    send("Fed the cat");
    screen->didSelectRowAtIndexPath(*screen->logTableView, { 1, 1 });
    EXPECT_EQ(application->topAlert()->message(), "Post activity: Ran dishwasher?");
    loop.advance(1);
    EXPECT_EQ(titles(), (Texts { "Ran dishwasher", "Laundry" }));
    ASSERT_EQ(application->visibleAlerts().size(), 2u);
    transport->enqueue(FakeTransport::Reply::json(kSucceeded));
    application->visibleAlerts().front()->clickButtonAtIndex(1);
    EXPECT_EQ(bodies().back(), "activity=Ran%20dishwasher&timestamp=1354752001123");
    EXPECT_EQ(screen->selectedIndex, 0);
}

TEST_F(LogTabPostsTest, AScreenClosedWhileItsPostsRunHearsThemSafely)
{
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1));
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1));
    send("Watered plants");
    std::weak_ptr<LogTabViewController> closed = screen;
    window->setRootViewController(nullptr);
    screen.reset();
    ASSERT_FALSE(closed.expired());
    loop.advance(1);
    loop.advance(1);
    EXPECT_EQ(bodies().back(), "activity=Watered%20plants&timestamp=1354752001123");
    EXPECT_EQ(logged("successfully posted activity to server"), 2);
    loop.runPending();
    EXPECT_TRUE(closed.expired()) << "let go once answered";
}

TEST_F(LogTabViewControllerTest, OpenedBeforeTheSignInEndsItLoadsOnceItDoesAndEachUserSeesTheirOwn)
{
    token.reset();
    screen->view();
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 0u) << "no request without a token";

    token = "T0K3N";
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"activities":[{"title":"Laundry"}]})"));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.runPending();
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/activity?token=T0K3N&token=T0K3N");
    EXPECT_EQ(titles(), (Texts { "Laundry" }));

    // A post still running when the user signs out does not touch the next
    // user's list, nor post an occurrence as them.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(1));
    screen->logTextField->setText("Fed the cat");
    screen->sendLogPost();
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_TRUE(titles().empty());
    EXPECT_EQ(screen->logTableView->numberOfRowsInSection(1), 0);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"activities":[{"title":"Piano"}]})"));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    loop.advance(1);
    EXPECT_EQ(titles(), (Texts { "Piano" }));
    EXPECT_TRUE(logs.contains("failed to post activity to server"));
    EXPECT_EQ(transport->requestCount(), 3u);
}

TEST_F(LogTabViewControllerTest, ADownloadThatCrossesANewActivityKeepsItsRow)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"activities":[{"title":"Laundry"}]})").after(2));
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(3));
    screen->view();
    screen->logTextField->setText("Watered plants");
    screen->sendLogPost();
    loop.advance(2);
    EXPECT_EQ(titles(), (Texts { "Watered plants", "Laundry" }));
}
