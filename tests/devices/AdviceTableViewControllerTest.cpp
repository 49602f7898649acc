#include "devices/AdviceTableViewController.h"
#include "devices/CustomAdviceCell.h"
#include "devices/DevicesTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "net/ServiceEnvironment.h"

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

TEST_F(AdviceTableViewControllerTest, AnswerResultsAreOnlyLogged)
{
    download(kKitchenAndDen);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    press({ 0, 0 }, true);
    loop.runPending();
    EXPECT_TRUE(logs.contains("Errored while sending."));
    press({ 0, 0 }, true);
    loop.runPending();
    EXPECT_TRUE(logs.contains("Data sent successfully"));
    EXPECT_EQ(sections(), (std::vector<std::string> { "Kitchen 4" }));
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
