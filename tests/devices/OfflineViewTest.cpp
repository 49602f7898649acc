#include "devices/DevicesTestSupport.h"
#include "devices/StatusTableViewController.h"

#include "net/ReplyCache.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace platform;

namespace {

// The test clock starts at 2012-12-06 00:00:00 UTC; the zone is UTC.
const char* kKeptHousehold = R"({"success":true,"devices":[
    {"id":1,"name":"Kettle","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354751701000,"powerDraw":12}},
    {"id":3,"name":"Lamp","location":"Bedroom","meterPluggedIn":false,"currentStatus":{"timestamp":1354751990000}}]})";
const char* kLiveHousehold = R"({"success":true,"devices":[
    {"id":4,"name":"Radio","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354790000000,"powerDraw":1}}]})";

struct OfflineViewTest : test::DevicesFixture {
    std::shared_ptr<StatusTableViewController> screen;
    std::shared_ptr<NavigationController> navigation;

    OfflineViewTest()
    {
        user->tokenExpiration = 1e15; // no renewal on the way
        userSession()->connectToRequests(ServiceEnvironment::shared());
        UserDefaults::standard().setObject("demo", "username");
    }

    ReplyCache cache() { return ReplyCache(profile / "cache", "demo"); }

    void launch()
    {
        screen = StatusTableViewController::create(userSession());
        navigation = NavigationController::create(screen);
        screen->view();
        screen->viewDidAppear(false);
    }
    void download(FakeTransport::Reply reply)
    {
        transport->enqueue(std::move(reply));
        screen->refresh();
        loop.runPending();
        loop.runPending();
    }
    std::vector<std::string> devices()
    {
        std::vector<std::string> names;
        if (!screen->statusData)
            return names;
        for (const auto& [room, list] : *screen->statusData)
            for (const auto& device : list)
                names.push_back(room + "/" + device->deviceName);
        return names;
    }
    std::string bar()
    {
        const OfflineBar& offlineBar = screen->offlineBar();
        return offlineBar.isShown() ? offlineBar.label()->text() : "(hidden)";
    }
};

}

TEST_F(OfflineViewTest, TheLastRunsListShowsAtOnceMarkedWithItsTimeUntilTheLiveOneComes)
{
    loop.advance(10 * 3600 + 40 * 60); // 10:40
    ASSERT_TRUE(cache().store("devices", kKeptHousehold, Date::fromMilliseconds(1354789920000))); // 10:32
    launch();
    EXPECT_EQ(devices(), (std::vector<std::string> { "Bedroom/Lamp", "Kitchen/Kettle" })) << "shown before any answer";
    EXPECT_EQ(bar(), "Updated 10:32\u202fAM");
    ASSERT_EQ(transport->requests().size(), 0u);
    transport->enqueue(FakeTransport::Reply::json(kLiveHousehold));
    loop.runPending();
    ASSERT_EQ(transport->requests().size(), 1u) << "the download runs as it always does";
    EXPECT_EQ(transport->requests()[0].url,
        "https://localhost:8443/kivoraserver/api/device?token=T0K3N&action=true&token=T0K3N");
    loop.runPending();
    EXPECT_EQ(devices(), std::vector<std::string> { "Kitchen/Radio" });
    EXPECT_EQ(bar(), "(hidden)");
    auto kept = cache().load("devices");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, kLiveHousehold) << "the live reply is kept as it came";
    EXPECT_EQ(kept->fetchedAt, loop.now());
}

TEST_F(OfflineViewTest, TheOfflineBarComesWithAFailedDownloadAndGoesWithTheNextGoodOne)
{
    launch();
    loop.advance(10 * 3600 + 32 * 60);
    download(FakeTransport::Reply::json(kLiveHousehold));
    EXPECT_EQ(bar(), "(hidden)");

    loop.advance(5 * 60);
    download(FakeTransport::Reply::failure());
    EXPECT_TRUE(userSession()->offline().isOffline());
    EXPECT_EQ(devices(), std::vector<std::string> { "Kitchen/Radio" }) << "the list stays";
    EXPECT_EQ(bar(), "Offline · updated 10:32\u202fAM") << "the time of the list shown, not of the failure";
    const double barBottom = navigation->navigationBar().frame().maxY() + OfflineBar::height;
    EXPECT_EQ(screen->view()->frame().origin.y, barBottom) << "the list moves below the bar";
    EXPECT_EQ(screen->view()->frame().maxY(), navigation->view()->bounds().maxY());
    EXPECT_TRUE(logs.contains("Connection failed! Error - ")) << "the failure is reported as always";

    loop.advance(60);
    download(FakeTransport::Reply::failure());
    EXPECT_EQ(bar(), "Offline · updated 10:32\u202fAM");

    // An answer that refuses the request still says the service is there.
    download(FakeTransport::Reply::json(R"({"success":false})"));
    EXPECT_FALSE(userSession()->offline().isOffline());
    EXPECT_EQ(bar(), "(hidden)");
    EXPECT_EQ(screen->view()->frame().origin.y, navigation->navigationBar().frame().maxY()) << "and back";

    download(FakeTransport::Reply::failure());
    EXPECT_EQ(bar(), "Offline · updated 10:32\u202fAM");
    loop.advance(60);
    download(FakeTransport::Reply::json(kLiveHousehold));
    EXPECT_EQ(bar(), "(hidden)");
}

TEST_F(OfflineViewTest, AListFromAnotherDayShowsItsDateAndNothingKeptShowsNoBar)
{
    loop.advance(3 * 3600); // 03:00 on the 6th; the list came at 22:15 the day before
    ASSERT_TRUE(cache().store("devices", kKeptHousehold, Date::fromMilliseconds(1354745700000)));
    launch();
    EXPECT_EQ(bar(), "Updated 12/5/12, 10:15\u202fPM");
    loop.runPending(); // the download fails: nothing answers
    loop.runPending();
    EXPECT_EQ(bar(), "Offline · updated 12/5/12, 10:15\u202fPM");
    EXPECT_EQ(devices(), (std::vector<std::string> { "Bedroom/Lamp", "Kitchen/Kettle" }));
}

TEST_F(OfflineViewTest, WithNothingKeptOfflineShowsNoBarAndADamagedFileIsLoggedAndReplaced)
{
    ReplyCache kept = cache();
    ASSERT_TRUE(kept.store("devices", kKeptHousehold, loop.now()));
    platform::DiskWriter::shared().settle(); // on the disk, to be damaged
    std::filesystem::resize_file(kept.folder() / "devices.reply", 60);
    launch();
    EXPECT_TRUE(devices().empty()) << "a half list is never shown";
    EXPECT_TRUE(logs.contains("Ignoring the damaged cached reply"));
    loop.runPending(); // the download fails: nothing answers
    loop.runPending();
    EXPECT_EQ(bar(), "(hidden)") << "nothing shown, nothing to date";

    download(FakeTransport::Reply::json(kLiveHousehold));
    ASSERT_TRUE(cache().load("devices"));
    EXPECT_EQ(cache().load("devices")->body, kLiveHousehold);
}

TEST_F(OfflineViewTest, LogoutEmptiesTheListAndHidesTheBar)
{
    launch();
    download(FakeTransport::Reply::json(kLiveHousehold));
    download(FakeTransport::Reply::failure());
    ASSERT_NE(bar(), "(hidden)");
    screen->reset();
    EXPECT_EQ(bar(), "(hidden)");
    EXPECT_TRUE(devices().empty());
}

TEST_F(OfflineViewTest, WithoutAStoredUserNameNothingIsKept)
{
    UserDefaults::standard().removeObjectForKey("username");
    launch();
    download(FakeTransport::Reply::json(kLiveHousehold));
    EXPECT_FALSE(std::filesystem::exists(profile / "cache"));
}

TEST_F(OfflineViewTest, ALateReplyOvertakenByANewerOneNeitherShowsNorIsKept)
{
    launch();
    loop.advance(10 * 3600 + 32 * 60);
    auto late = FakeTransport::Reply::json(kKeptHousehold);
    late.delaySeconds = 5;
    download(std::move(late)); // the first pull's answer is on its way
    loop.advance(60);
    download(FakeTransport::Reply::json(kLiveHousehold)); // the second pull's comes at once
    EXPECT_EQ(devices(), std::vector<std::string> { "Kitchen/Radio" });
    loop.advance(5); // the first answer arrives last
    loop.runPending();
    EXPECT_EQ(devices(), std::vector<std::string> { "Kitchen/Radio" });
    auto kept = cache().load("devices");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, kLiveHousehold) << "the cache holds the list shown, not the last answer to come";
    EXPECT_EQ(kept->fetchedAt, Date::fromMilliseconds(1354789980000)) << "10:33, when it came";
    EXPECT_EQ(bar(), "(hidden)");
}

TEST_F(OfflineViewTest, ADroppedReplyLeavesTheCacheAndShowsTheBarUntilTheNextPull)
{
    launch();
    loop.advance(10 * 3600 + 32 * 60);
    download(FakeTransport::Reply::json(kLiveHousehold));
    auto before = cache().load("devices");
    ASSERT_TRUE(before);

    loop.advance(60);
    download(FakeTransport::Reply::failure(TransportError::NetworkConnectionLost));
    EXPECT_EQ(bar(), "Offline · updated 10:32\u202fAM");
    auto after = cache().load("devices");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->body, before->body);
    EXPECT_EQ(after->fetchedAt, before->fetchedAt) << "a failure keeps nothing";

    // An error page from something on the way is no answer of the service:
    // still offline, and nothing is kept from it.
    download(FakeTransport::Reply::json("<html>Bad Gateway</html>", 502));
    EXPECT_EQ(bar(), "Offline · updated 10:32\u202fAM");
    EXPECT_EQ(cache().load("devices")->fetchedAt, before->fetchedAt);
    EXPECT_EQ(devices(), std::vector<std::string> { "Kitchen/Radio" });

    download(FakeTransport::Reply::json(kLiveHousehold));
    EXPECT_EQ(bar(), "(hidden)");
}
