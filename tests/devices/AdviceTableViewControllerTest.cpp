#include "devices/AdviceTableViewController.h"
#include "devices/CustomAdviceCell.h"
#include "devices/DevicesTestSupport.h"

#include "net/ReplyCache.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/gfx/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace platform;

namespace {

const char* kKitchenAndDen = R"({"success":true,"devices":[
    {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k1","id":1},{"name":"k2","id":2}]},
    {"name":"Lamp","location":"Den","suggestions":[{"name":"d1","id":10}]},
    {"name":"Fridge","location":"Kitchen","suggestions":[{"name":"f1","id":3},{"name":"f2","id":4},{"name":"f3","id":5}]},
    {"name":"Clock","location":"attic","suggestions":[]}]})";

struct AdviceTableViewControllerTest : test::DevicesFixture {
    std::shared_ptr<AdviceTableViewController> screen = AdviceTableViewController::create();
    std::shared_ptr<NavigationController> navigation = NavigationController::create(screen);

    AdviceTableViewControllerTest() { screen->view(); }

    void download(const std::string& reply)
    {
        transport->enqueue(FakeTransport::Reply::json(reply));
        screen->startLoading();
        loop.runPending();
        loop.runPending();
        loop.advance(0.5);
    }
    std::vector<std::string> sections()
    {
        std::vector<std::string> lines;
        TableView& table = screen->tableView();
        for (int s = 0; s < table.numberOfSections(); ++s)
            lines.push_back(screen->titleForHeaderInSection(table, s).value_or("-") + " "
                + std::to_string(table.numberOfRowsInSection(s)));
        return lines;
    }
    std::optional<std::string> tabBadge() { return navigation->tabBarItem().badgeValue(); }
    void press(IndexPath path, bool like)
    {
        auto cell = std::dynamic_pointer_cast<CustomAdviceCell>(screen->tableView().cellForRowAtIndexPath(path));
        ASSERT_TRUE(cell) << path.section << "/" << path.row;
        (like ? cell->likeButton() : cell->dislikeButton())->sendActionsForControlEvents(ControlEventTouchUpInside);
    }
};

TEST_F(AdviceTableViewControllerTest, GroupsByRoomInPlainOrderAndCountsBothBadges)
{
    EXPECT_EQ(screen->numberOfNewItems(), 0);
    download(kKitchenAndDen);
    EXPECT_EQ(transport->requests()[0].url,
        "https://localhost:8443/kivoraserver/api/device?token=T0K3N&suggestion=true&token=T0K3N");
    EXPECT_EQ(sections(), (std::vector<std::string> { "Den 1", "Kitchen 5" }));
    EXPECT_EQ(screen->adviceData["Kitchen"][2]->name, "f1");
    EXPECT_EQ(screen->adviceData["Kitchen"][2]->targetDevice, "Fridge");
    EXPECT_EQ(tabBadge(), "6");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 6);
    EXPECT_TRUE(screen->noSuggestionsLabel()->isHidden());
    EXPECT_FALSE(screen->isLoading());
}

TEST_F(AdviceTableViewControllerTest, AnEmptyReplyShowsTheEmptyListLabelAndNoBadges)
{
    download(R"({"success":true,"devices":[{"name":"Clock","location":"attic","suggestions":[]},{"name":"x"}]})");
    EXPECT_TRUE(sections().empty());
    EXPECT_EQ(screen->numberOfNewItems(), 0);
    EXPECT_EQ(tabBadge(), std::nullopt);
    EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
    EXPECT_FALSE(screen->noSuggestionsLabel()->isHidden());
}

TEST_F(AdviceTableViewControllerTest, AnsweringRemovesRowsThenSectionsAndCountsDown)
{
    download(kKitchenAndDen);
    transport->clearRequests();
    press({ 1, 0 }, true);
    press({ 0, 0 }, false); // the last suggestion of Den removes its section
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 4" }));
    EXPECT_EQ(tabBadge(), "4");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 4);
    auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].url, "https://localhost:8443/kivoraserver/api/suggestion");
    EXPECT_EQ(requests[0].body, "sug_id=1&state=FOLLOWED&token=T0K3N");
    EXPECT_EQ(requests[1].body, "sug_id=10&state=IGNORED&token=T0K3N");

    for (int i = 0; i < 4; ++i)
        press({ 0, 0 }, true);
    EXPECT_TRUE(sections().empty());
    EXPECT_EQ(screen->numberOfNewItems(), 0);
    EXPECT_EQ(tabBadge(), std::nullopt);
    EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
    EXPECT_FALSE(screen->noSuggestionsLabel()->isHidden());
}

TEST_F(AdviceTableViewControllerTest, ASavedAnswerIsLoggedAndARefusedOneFetchesTheListAgain)
{
    download(kKitchenAndDen);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    press({ 0, 0 }, true);
    loop.runPending();
    EXPECT_TRUE(logs.contains("Data sent successfully"));
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 5" }));

    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"devices":[
        {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k1","id":1},{"name":"k2","id":2}]}]})"));
    press({ 0, 0 }, true);
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 4" }));
    loop.runPending();
    loop.runPending();
    loop.runPending();
    EXPECT_TRUE(logs.contains("Errored while sending."));
    EXPECT_EQ(transport->requestCount(), 4u);
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 2" })) << "as the service lists them";
    EXPECT_EQ(tabBadge(), "2");
}

TEST_F(AdviceTableViewControllerTest, AFailedRefreshEndsLoadingAndKeepsTheList)
{
    download(kKitchenAndDen);
    auto check = [&](FakeTransport::Reply reply, const char* what) {
        transport->enqueue(std::move(reply));
        screen->startLoading();
        loop.runPending();
        loop.runPending();
        EXPECT_FALSE(screen->isLoading()) << what;
        EXPECT_EQ(sections(), (std::vector<std::string> { "Den 1", "Kitchen 5" })) << what;
        EXPECT_EQ(tabBadge(), "6") << what;
    };
    check(FakeTransport::Reply::json(R"({"success":false})"), "success false");
    EXPECT_TRUE(logs.contains("Failed to get data from server"));
    check(FakeTransport::Reply::failure(), "transport failure");
}

TEST_F(AdviceTableViewControllerTest, AppearingDownloadsFirstThenOnlyAfterFiveMinutesAndLogoutEmptiesTheList)
{
    auto appear = [&] {
        screen->viewDidAppear(false);
        loop.runPending();
        loop.runPending();
    };
    // Before any reply the list is not claimed to be empty.
    EXPECT_TRUE(screen->noSuggestionsLabel()->isHidden());
    // The first appearance downloads: the first tab is not left empty at sign-in.
    transport->enqueue(FakeTransport::Reply::json(kKitchenAndDen));
    appear();
    EXPECT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(sections().size(), 2u);
    EXPECT_EQ(tabBadge(), "6");
    // Within five minutes of the first appearance, no download.
    loop.advance(200);
    appear();
    EXPECT_EQ(transport->requestCount(), 1u);
    // Later, every appearance downloads.
    loop.advance(101);
    transport->enqueue(FakeTransport::Reply::json(kKitchenAndDen));
    appear();
    EXPECT_EQ(transport->requestCount(), 2u);

    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_TRUE(sections().empty());
    EXPECT_TRUE(screen->noSuggestionsLabel()->isHidden());
    EXPECT_EQ(tabBadge(), "6"); // left as it is until the next reply
    // The next user's list is downloaded when it appears, and the five-minute
    // clock starts again.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"devices":[]})"));
    appear();
    EXPECT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(tabBadge(), std::nullopt);
    EXPECT_FALSE(screen->noSuggestionsLabel()->isHidden());
    appear();
    EXPECT_EQ(transport->requestCount(), 3u);
}

}

TEST_F(AdviceTableViewControllerTest, SignedOutItWaitsForTheSignInToDownload)
{
    std::optional<std::string> token;
    ServiceEnvironment::shared().currentToken = [&] { return token; };
    auto window = platform::Window::create();
    window->setRootViewController(navigation);
    screen->viewDidAppear(false);
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 0u) << "no download without a session";

    // Signing in while the list is on screen downloads once, even when the
    // appearance after the login screen asks again at once.
    token = "T0K3N";
    transport->enqueue(FakeTransport::Reply::json(kKitchenAndDen));
    platform::NotificationCenter::defaultCenter().post("UserLoggedIn");
    screen->viewDidAppear(false);
    loop.runPending();
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(sections().size(), 2u);
}

namespace {

const char* kSucceeded = R"({"success":true})";

/// The list on screen, for answers that overlap each other and the downloads.
struct AdviceAnswersTest : AdviceTableViewControllerTest {
    std::shared_ptr<platform::Window> window = platform::Window::create();

    AdviceAnswersTest()
    {
        window->setRootViewController(navigation);
        download(kKitchenAndDen);
        transport->clearRequests();
        logs.clear();
    }
    std::vector<std::string> bodies() const
    {
        std::vector<std::string> out;
        for (const auto& request : transport->requests())
            out.push_back(request.method + " " + request.body.substr(0, request.body.find("&token=")));
        return out;
    }
    long logged(const std::string& line) const { return std::count(logs.lines().begin(), logs.lines().end(), line); }
    std::vector<std::string> kitchen()
    {
        std::vector<std::string> names;
        for (const auto& suggestion : screen->adviceData["Kitchen"])
            names.push_back(suggestion->name);
        return names;
    }
    /// A pull whose reply the transport gives at once or later.
    void pull(FakeTransport::Reply reply)
    {
        transport->enqueue(std::move(reply));
        screen->startLoading();
        loop.runPending();
        loop.runPending();
    }
    using Texts = std::vector<std::string>;
};

}

TEST_F(AdviceAnswersTest, TwoAnswersInFlightBothReachTheServiceAndAreHandledOnceEachInReverseOrder)
{
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(3));
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1));
    press({ 1, 0 }, true); // Kitchen: k1
    loop.advance(0.5);
    press({ 0, 0 }, false); // Den: d1, its last
    EXPECT_EQ(bodies(), (Texts { "POST sug_id=1&state=FOLLOWED", "POST sug_id=10&state=IGNORED" }));
    EXPECT_EQ(sections(), (Texts { "Kitchen 4" }));
    EXPECT_EQ(tabBadge(), "4");

    loop.advance(1);
    EXPECT_EQ(logged("Data sent successfully"), 1) << "the ignore's reply came first";
    loop.advance(2);
    EXPECT_EQ(logged("Data sent successfully"), 2);
    loop.advance(30);
    EXPECT_EQ(logged("Data sent successfully"), 2) << "each reply handled once";
    EXPECT_EQ(transport->requestCount(), 2u);

    // The service no longer lists the two: a pull agrees with the screen.
    pull(FakeTransport::Reply::json(R"({"success":true,"devices":[
        {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k2","id":2}]},
        {"name":"Lamp","location":"Den","suggestions":[]},
        {"name":"Fridge","location":"Kitchen","suggestions":[{"name":"f1","id":3},{"name":"f2","id":4},{"name":"f3","id":5}]}]})"));
    EXPECT_EQ(sections(), (Texts { "Kitchen 4" }));
    EXPECT_EQ(tabBadge(), "4");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 4);
}

TEST_F(AdviceAnswersTest, ALostAnswerListsItsSuggestionAgainAndARefusedOneFetchesTheList)
{
    transport->enqueue(FakeTransport::Reply::failure().after(2)); // k1: never reaches the service
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(1)); // d1: refused
    // The list fetched again after the refusal: the service has d1 no more
    // (answered elsewhere); k1 is still there, its answer on its way.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"devices":[
        {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k1","id":1},{"name":"k2","id":2}]},
        {"name":"Fridge","location":"Kitchen","suggestions":[{"name":"f1","id":3},{"name":"f2","id":4},{"name":"f3","id":5}]}]})"));
    press({ 1, 0 }, true);
    press({ 0, 0 }, false);
    EXPECT_EQ(sections(), (Texts { "Kitchen 4" }));

    loop.advance(1);
    loop.runPending();
    EXPECT_EQ(logged("Errored while sending."), 1);
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Answer not saved");
    EXPECT_EQ(alert->message(), "The service did not accept your answer to \"d1\".");
    ASSERT_EQ(transport->requestCount(), 3u);
    EXPECT_EQ(transport->requests()[2].url,
        "https://localhost:8443/kivoraserver/api/device?token=T0K3N&suggestion=true&token=T0K3N");
    EXPECT_EQ(sections(), (Texts { "Kitchen 4" })) << "k1's answer is still on its way";
    EXPECT_EQ(tabBadge(), "4");

    loop.advance(1);
    EXPECT_EQ(sections(), (Texts { "Kitchen 5" }));
    EXPECT_EQ(kitchen(), (Texts { "k1", "k2", "f1", "f2", "f3" })) << "back where it was";
    EXPECT_EQ(tabBadge(), "5");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 5);
    EXPECT_EQ(logged("Errored while sending."), 1);
    EXPECT_EQ(logged("Data sent successfully"), 0);
    EXPECT_EQ(application->visibleAlerts().size(), 1u) << "the lost one has the network panel";

    // Answered again, it goes.
    transport->enqueue(FakeTransport::Reply::json(kSucceeded));
    press({ 0, 0 }, true);
    loop.runPending();
    EXPECT_EQ(transport->lastRequest().body, "sug_id=1&state=FOLLOWED&token=T0K3N");
    EXPECT_EQ(kitchen(), (Texts { "k2", "f1", "f2", "f3" }));
    EXPECT_EQ(tabBadge(), "4");
}

TEST_F(AdviceAnswersTest, ADownloadThatCrossesAnAnswerDoesNotBringItsSuggestionBack)
{
    // Answer first, slow; the pull's reply comes before the answer is saved.
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(2));
    press({ 1, 0 }, true);
    pull(FakeTransport::Reply::json(kKitchenAndDen));
    EXPECT_EQ(sections(), (Texts { "Den 1", "Kitchen 4" }));
    EXPECT_EQ(tabBadge(), "5");
    loop.advance(2);
    EXPECT_EQ(logged("Data sent successfully"), 1);

    // A slow pull; an answer saved while it runs, after the reply was made.
    pull(FakeTransport::Reply::json(R"({"success":true,"devices":[
        {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k2","id":2}]},
        {"name":"Lamp","location":"Den","suggestions":[{"name":"d1","id":10}]},
        {"name":"Fridge","location":"Kitchen","suggestions":[{"name":"f1","id":3},{"name":"f2","id":4},{"name":"f3","id":5}]}]})")
             .after(3));
    transport->enqueue(FakeTransport::Reply::json(kSucceeded).after(1));
    press({ 0, 0 }, false);
    loop.advance(1);
    loop.advance(2);
    EXPECT_FALSE(screen->isLoading());
    EXPECT_EQ(sections(), (Texts { "Kitchen 4" })) << "the reply still lists d1";
    EXPECT_EQ(tabBadge(), "4");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 4);
}

TEST_F(AdviceAnswersTest, AScreenClosedOrSignedOutWhileAnswersRunHearsThemSafely)
{
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(2));
    press({ 1, 0 }, true);
    press({ 1, 0 }, false);
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_TRUE(sections().empty());
    loop.advance(2);
    loop.runPending();
    EXPECT_TRUE(sections().empty()) << "the next user's list gets nothing of the last one's";
    EXPECT_EQ(transport->requestCount(), 2u) << "nor a download for it";
    EXPECT_EQ(logged("Errored while sending."), 1);
    EXPECT_EQ(application->topAlert(), nullptr);

    // Closed: the screen lives on until its answer's reply, which finds no window.
    std::weak_ptr<AdviceTableViewController> closed = screen;
    download(kKitchenAndDen);
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    press({ 0, 0 }, true);
    window->setRootViewController(nullptr);
    navigation.reset();
    screen.reset();
    ASSERT_FALSE(closed.expired());
    loop.advance(1);
    loop.runPending();
    EXPECT_TRUE(logs.contains("Error Code: -1009"));
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_TRUE(closed.expired()) << "let go once answered";
}

TEST_F(AdviceAnswersTest, OnlyAnAnswerTheServiceTookLeavesTheListKeptForTheNextRun)
{
    // The screen of a signed-in session keeps its list.
    UserDefaults::standard().setObject("demo", "username");
    user->tokenExpiration = 1e15;
    screen = AdviceTableViewController::create(userSession());
    navigation = NavigationController::create(screen);
    window->setRootViewController(navigation);
    download(kKitchenAndDen);
    ReplyCache cache(profile / "cache", "demo");
    auto keptAt = cache.load("suggestions");
    ASSERT_TRUE(keptAt);
    auto keptIds = [&] {
        std::vector<std::int64_t> ids;
        auto kept = cache.load("suggestions");
        json::Value reply = kept ? parse(kept->body) : json::Value();
        for (std::size_t d = 0; d < reply["devices"].count(); ++d)
            for (std::size_t s = 0; s < reply["devices"][d]["suggestions"].count(); ++s)
                ids.push_back(reply["devices"][d]["suggestions"][s]["id"].integerValue());
        return ids;
    };
    ASSERT_EQ(keptIds(), (std::vector<std::int64_t> { 1, 2, 10, 3, 4, 5 }));

    loop.advance(60);
    transport->enqueue(FakeTransport::Reply::json(kSucceeded)); // k1 followed
    transport->enqueue(FakeTransport::Reply::failure()); // d1: never reaches the service
    transport->enqueue(FakeTransport::Reply::json(kSucceeded)); // f1 ignored
    press({ 1, 0 }, true);
    press({ 0, 0 }, false);
    loop.runPending();
    press({ 1, 1 }, false);
    loop.runPending();
    EXPECT_EQ(keptIds(), (std::vector<std::int64_t> { 2, 10, 4, 5 }));
    EXPECT_EQ(cache.load("suggestions")->fetchedAt, keptAt->fetchedAt) << "still as old as the list it came from";

    // The next run shows the kept list at once: without the two answered.
    auto next = AdviceTableViewController::create(userSession());
    auto nextNavigation = NavigationController::create(next);
    next->view();
    std::vector<std::int32_t> shown;
    for (const auto& [room, list] : next->adviceData)
        for (const auto& suggestion : list)
            shown.push_back(suggestion->suggestionID);
    EXPECT_EQ(shown, (std::vector<std::int32_t> { 10, 2, 4, 5 }));
}

TEST_F(AdviceTableViewControllerTest, ADeviceInNoRoomIsListedUnderOther)
{
    download(R"({"success":true,"devices":[
        {"name":"Kettle","location":"Kitchen","suggestions":[{"name":"k1","id":1}]},
        {"name":"Radio","location":null,"suggestions":[{"name":"r1","id":7}]},
        {"name":"Fan","suggestions":[{"name":"n1","id":8}]}]})");
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 1", "Other 2" }));
    EXPECT_EQ(screen->adviceData["Other"][0]->targetDevice, "Radio");
    EXPECT_EQ(tabBadge(), "3");
}

TEST_F(AdviceTableViewControllerTest, ALongAdviceEndsInAnEllipsisAndTappingItsRowShowsAllOfIt)
{
    std::string text = "Your fridge has run its compressor for most of the night. Check that its door closes "
                       "properly and that the seal is clean: a leaking seal can double what it draws.";
    download(R"({"success":true,"devices":[{"name":"Fridge","location":"Kitchen","suggestions":[{"name":")" + text
        + R"(","id":3}]}]})");
    auto cell = std::dynamic_pointer_cast<CustomAdviceCell>(screen->tableView().cellForRowAtIndexPath({ 0, 0 }));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->adviceLabel().numberOfLines(), 2);
    EXPECT_EQ(cell->adviceLabel().lineBreakMode(), LineBreakMode::TruncateTail);
    // The fixture's text needs more than the row's two lines.
    cell->layoutIfNeeded();
    auto whole = platform::Label::create();
    whole->setFont(cell->adviceLabel().font());
    whole->setNumberOfLines(0);
    whole->setText(text);
    double width = cell->adviceLabel().frame().width();
    ASSERT_GT(width, 100);
    EXPECT_GT(whole->sizeThatFits({ width, 0 }).height, 1.5 * cell->adviceLabel().sizeThatFits({ width, 0 }).height);

    screen->didSelectRowAtIndexPath(screen->tableView(), { 0, 0 });
    auto* alert = application->topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Fridge");
    EXPECT_EQ(alert->message(), text);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
    EXPECT_EQ(transport->requestCount(), 1u) << "reading answers nothing";
}

TEST_F(AdviceTableViewControllerTest, TheFollowAndIgnoreButtonsStandOutFromTheWhiteRow)
{
    auto window = platform::Window::create();
    window->setRootViewController(navigation);
    download(kKitchenAndDen);
    window->layoutIfNeeded();
    auto image = window->snapshot(1.0);
    auto cell = std::dynamic_pointer_cast<CustomAdviceCell>(screen->tableView().cellForRowAtIndexPath({ 0, 0 }));
    ASSERT_TRUE(cell);
    auto darkness = [&](const platform::View& view) {
        platform::Rect r = view.convertRectToView(view.bounds(), nullptr);
        // Above the tick and the cross, inside the disc.
        platform::Color c = image->pixelAt(static_cast<int>(r.midX()), static_cast<int>(r.midY() - 9));
        return 3 - (c.red + c.green + c.blue);
    };
    EXPECT_GT(darkness(*cell->likeButton()), 0.8);
    EXPECT_GT(darkness(*cell->dislikeButton()), 0.8);
    EXPECT_EQ(cell->likeButton()->accessibilityLabel(), "Follow");
    EXPECT_EQ(cell->dislikeButton()->accessibilityLabel(), "Ignore");
}
