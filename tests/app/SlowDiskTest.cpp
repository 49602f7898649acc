// The app on a disk that does not answer: the writer is held for as long as
// the user scrolls and pages graphs, and every kept reply reaches the disk
// afterwards, in order, with the latest content of each.

#include "app/SessionTestSupport.h"

#include "devices/StatusTableViewController.h"
#include "graphs/GraphScreens.h"
#include "graphs/GraphViewController.h"
#include "model/Device.h"
#include "model/User.h"
#include "net/ReplyCache.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/gfx/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/Window.h"

#include <mutex>

using namespace hestio;
using namespace platform;
namespace fs = std::filesystem;

namespace {

long long queryNumber(const std::string& text, const std::string& key)
{
    auto at = text.find(key + "=");
    return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + key.size() + 1);
}

/// Forty devices, their names saying which download this is.
std::string deviceList(int download)
{
    std::string body = R"({"success":true,"devices":[)";
    for (int i = 0; i < 40; ++i)
        body += std::string(i ? "," : "") + R"({"id":)" + std::to_string(i + 1) + R"(,"name":"Device )"
            + std::to_string(i) + " v" + std::to_string(download) + R"(","location":"Room )" + std::to_string(i / 8)
            + R"("})";
    return body + "]}";
}

/// Hourly samples over what was asked for.
std::string statuses(long long fromMs, long long toMs)
{
    std::string body = R"({"success":true,"statuses":[)";
    for (long long t = fromMs; t < toMs; t += 3'600'000)
        body += std::string(t == fromMs ? "" : ",") + R"({"timestamp":)" + std::to_string(t) + R"(,"powerDraw":)"
            + std::to_string(40 + t / 3'600'000 % 17) + "}";
    return body + "]}";
}

struct SlowDiskTest : test::SessionFixture {
    std::shared_ptr<User> user = User::initWithUsername("demo", "T0K3N");
    std::shared_ptr<Window> window = Window::create();
    int downloads = 0;
    std::mutex flushedMutex;
    std::vector<fs::path> flushed;
    int frames = 0;

    SlowDiskTest()
    {
        user->tokenExpiration = 1e15; // no renewal on the way
        user->household = json::Value::dictionary({ { "name", "The Demos" }, { "UTCTimeZone", "-5" } });
        session().setCurUser(user);
        userSession()->connectToRequests(ServiceEnvironment::shared());
        UserDefaults::standard().setObject("demo", "username");
        transport->setHandler([this](const HttpRequest& request) {
            if (request.url.find("/api/device?") != std::string::npos)
                return FakeTransport::Reply::json(deviceList(++downloads));
            std::string query = request.url.substr(request.url.find('?') + 1) + "&" + request.body;
            if (request.url.find("/api/status?") != std::string::npos)
                return FakeTransport::Reply::json(statuses(queryNumber(query, "from"), queryNumber(query, "to")));
            return FakeTransport::Reply::json(R"({"success":true})");
        });
        loop.runPending();
        DiskWriter::shared().setFlushObserverForTesting([this](const fs::path& file) {
            std::lock_guard lock(flushedMutex);
            flushed.push_back(file);
        });
    }
    ~SlowDiskTest() override { DiskWriter::shared().setFlushObserverForTesting({}); }

    ReplyCache cache() { return ReplyCache(profile / "cache", "demo"); }
    fs::path fileOf(const std::string& key) { return cache().folder() / (key + ".reply"); }

    /// One frame: what is due runs, then the window is drawn.
    void frame(double seconds = 1.0 / 60)
    {
        loop.advance(seconds);
        ASSERT_TRUE(window->snapshot(application->screenScale())) << "a frame was drawn";
        ++frames;
    }
};

}

TEST_F(SlowDiskTest, TheAppRunsOnWhileTheDiskIsStuckAndEveryReplyLandsAfterwardsInOrder)
{
    auto screen = StatusTableViewController::create(userSession());
    auto navigation = NavigationController::create(screen);
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    std::size_t waits = DiskWriter::shared().blockingWaitCount();
    std::vector<std::string> keys { "devices" };
    auto graph = makeDevicePowerDrawGraph(userSession(), Device::initWithID("42", "Fridge", "Kitchen"));
    {
        HeldFlushes stuck;
        // Three downloads of the list: the last one is what is kept.
        screen->view();
        screen->viewDidAppear(false);
        for (int i = 0; i < 3; ++i) {
            if (i)
                screen->refresh();
            for (int turn = 0; turn < 30; ++turn)
                frame();
        }
        ASSERT_EQ(downloads, 3);
        // A finger scrolls the list, a frame for each move.
        TouchSynthesizer finger(*application, [&](double seconds) { frame(seconds); });
        for (int stroke = 0; stroke < 3; ++stroke)
            finger.drag({ 160, 400 }, { 160, 100 }, 30, 0.5);
        EXPECT_GT(screen->tableView().contentOffset().y, 0) << "the list scrolled";

        // The graph pages back four weeks, a day at a time.
        navigation->presentModalViewController(graph, false);
        for (int turn = 0; turn < 10; ++turn)
            frame();
        for (int day = 0; day < 28; ++day) {
            graph->back();
            for (int turn = 0; turn < 6; ++turn)
                frame();
        }
        for (unsigned week = 0; week <= 4; ++week)
            keys.push_back("graph-power-42-week-" + std::to_string(week));

        EXPECT_GT(frames, 300) << "frames kept coming";
        EXPECT_EQ(DiskWriter::shared().blockingWaitCount(), waits) << "nothing waited for the writer";
        EXPECT_GE(DiskWriter::shared().pendingCount(), keys.size());
        EXPECT_FALSE(fs::exists(cache().folder())) << "nothing reached the disk yet";
        // The app reads what it wrote last, though it is not on the disk.
        auto kept = cache().load("devices");
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->body, deviceList(3));
        for (const auto& key : keys)
            EXPECT_TRUE(cache().load(key)) << key;
        std::lock_guard lock(flushedMutex);
        EXPECT_TRUE(flushed.empty());
    }
    loop.runPending(); // the disk answers again

    EXPECT_EQ(DiskWriter::shared().pendingCount(), 0u);
    std::vector<fs::path> repliesFlushed;
    {
        std::lock_guard lock(flushedMutex);
        for (const auto& file : flushed)
            if (file.parent_path() == cache().folder())
                repliesFlushed.push_back(file);
    }
    std::vector<fs::path> expected;
    for (const auto& key : keys)
        expected.push_back(fileOf(key));
    EXPECT_EQ(repliesFlushed, expected) << "each reply once, in the order first kept";
    for (const auto& key : keys) {
        ASSERT_FALSE(DiskWriter::shared().queued(fileOf(key))) << key;
        EXPECT_TRUE(cache().load(key)) << key << " is on the disk";
    }
    EXPECT_EQ(cache().load("devices")->body, deviceList(3)) << "the latest download";
    EXPECT_FALSE(logs.contains("Could not keep"));
}
