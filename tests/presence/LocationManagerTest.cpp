#include "../app/SessionTestSupport.h"

#include "model/LeaveHomeCheck.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Redaction.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/AlertView.h"
#include "presence/FailedMovementFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace hestio;
using platform::Coordinate;
using platform::FakeTransport;

namespace {

struct LocationManagerTest : test::SessionFixture {
    std::shared_ptr<LocationManager> manager;
    std::vector<std::string> added;

    LocationManagerTest()
    {
        platform::PositionSource::shared().clear();
        manager = LocationManager::create(userSession());
        auto user = User::initWithUsername("demo", "T");
        user->tokenExpiration = 1354752000000.0 + 3600000;
        session().setCurUser(user);
        ServiceEnvironment::shared().currentToken = [this] { return session().currentToken(); };
        // The movements alone: the leave-home check has its own tests.
        LeaveHomeThreshold { std::nullopt }.save(platform::UserDefaults::standard(), "demo");
        platform::NotificationCenter::defaultCenter().addObserver(
            this, "LocationAdded", [this](const platform::Notification& n) {
                added.push_back(std::any_cast<std::shared_ptr<Location>>(n.userInfo.at("location"))->title);
            });
    }
    ~LocationManagerTest() override
    {
        platform::NotificationCenter::defaultCenter().removeObserver(this);
        platform::PositionSource::shared().clear();
    }
    std::size_t countLines(const std::string& text) const
    {
        auto lines = logs.lines();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
    }
    void moveTo(Coordinate c)
    {
        platform::PositionSource::shared().moveTo(c, loop.now());
        loop.runPending();
    }
};

const Coordinate home { 40.712776, -74.005974 };
const Coordinate away { 40.8, -74.1 };

/// The entries of the failed-movement file on the disk (not what is queued
/// for it).
std::size_t entriesInTheFile()
{
    auto read = platform::readPrivateFile(FailedMovementFile::path(), 1 << 20);
    if (!read || !*read)
        return 0;
    auto stored = platform::parsePropertyList((*read)->bytes);
    const auto* locations = stored ? stored->find("locations") : nullptr;
    return locations && locations->asArray() ? locations->asArray()->size() : 0;
}

}

TEST_F(LocationManagerTest, ArrivingAndLeavingPostMovementsWithSixDecimalsAndMilliseconds)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home & Garden");
    loop.runPending();
    EXPECT_TRUE(logs.contains("successfully started monitoring region Home & Garden"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    loop.advance(1.5);
    moveTo(home);
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/movement");
    EXPECT_EQ(transport->lastRequest().body,
        "action=ARRIVED&title=Home%20%26%20Garden&longitude=-74.005974&latitude=40.712776&timestamp=1354752001500&"
        "token=T");
    EXPECT_TRUE(logs.contains("successfully posted server"));

    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    moveTo(away);
    EXPECT_EQ(transport->lastRequest().body.substr(0, 12), "action=LEFT&");
    ASSERT_EQ(notifications.entries().size(), 1u);
    EXPECT_EQ(
        notifications.entries()[0].alertBody, "Failed to post location to server. \nPlease check cellular strength");
    EXPECT_TRUE(logs.contains("Failed to post location movement to server"));
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty()) << "a refusal is not kept for resend";
}

TEST_F(LocationManagerTest, TransportFailureKeepsThePostingAndNotifiesInTheBackground)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    transport->enqueue(FakeTransport::Reply::failure());
    moveTo(home);
    auto stored = FailedMovementFile::getAllFailedLocations();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].substr(0, 26), "action=ARRIVED&title=Home&");
    EXPECT_TRUE(notifications.entries().empty()) << "in the foreground only the info panel shows";

    activate();
    application->setDelegate(nullptr); // no background resend racing for the scripted replies
    application->enterBackground();
    transport->enqueue(FakeTransport::Reply::failure());
    moveTo(away);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations().size(), 2u);
    ASSERT_FALSE(notifications.entries().empty());
    EXPECT_EQ(notifications.entries().back().alertBody.substr(0, 36), "Failed to post location for params: ");
}

TEST_F(LocationManagerTest, AnAnswerThatIsNotTheServicesKeepsTheMovementForResend)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    struct Case {
        FakeTransport::Reply reply;
        const char* what;
    };
    Case cases[] = {
        { FakeTransport::Reply::json("<html><body><h1>Bad Gateway</h1></body></html>", 502), "an error page" },
        { FakeTransport::Reply::json(""), "an empty body" },
        { FakeTransport::Reply::json(R"({"success":true,)"), "a broken body" },
    };
    std::size_t kept = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        logs.clear();
        transport->enqueue(std::move(c.reply));
        moveTo(kept % 2 == 0 ? home : away);
        auto stored = FailedMovementFile::getAllFailedLocations();
        ASSERT_EQ(stored.size(), ++kept);
        EXPECT_EQ(stored.back(), transport->lastRequest().body) << "kept exactly as sent";
        // The log line names the movement but not the session token.
        EXPECT_TRUE(logs.contains("Failed to post location for params: " + redactSecrets(stored.back())
            + ":\n The service's answer could not be read."));
        EXPECT_NE(stored.back().find("&token=T"), std::string::npos);
        EXPECT_FALSE(logs.contains("&token=T"));
        EXPECT_FALSE(logs.contains("Failed to post location movement to server"));
    }
    EXPECT_EQ(manager->locationSensingPostWSC, nullptr);
}

TEST_F(LocationManagerTest, AMovementLeavesOnlyOnceItIsOnTheDiskAndMovementsKeepTheirOrder)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(5));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(5));
    {
        platform::HeldFlushes slowDisk;
        moveTo(home);
        loop.advance(1);
        moveTo(away);
        loop.advance(1);
        EXPECT_EQ(transport->requestCount(), 0u) << "a process killed now would have lost them";
        EXPECT_EQ(entriesInTheFile(), 0u);
    }
    loop.runPending();
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(transport->requests()[0].body.substr(0, 15), "action=ARRIVED&");
    EXPECT_EQ(transport->requests()[1].body.substr(0, 12), "action=LEFT&");
    EXPECT_EQ(entriesInTheFile(), 2u) << "both are on the disk while on their way";
    loop.advance(5);
    EXPECT_EQ(countLines("successfully posted server"), 2u);
    EXPECT_EQ(entriesInTheFile(), 0u);
}

TEST_F(LocationManagerTest, AMovementTheFileCannotTakeStillLeavesAndIsKeptUntilAnswered)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    loop.runPending();
    std::filesystem::path folder = FailedMovementFile::path().parent_path();
    std::filesystem::remove_all(folder);
    std::ofstream(folder.string()) << ""; // the documents folder is a file: nothing can be written there
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    moveTo(home);
    ASSERT_EQ(transport->requestCount(), 1u) << "a refused write does not hold the movement back";
    EXPECT_TRUE(logs.contains("A failed movement could not be written to the file; it is kept until the next chance"));
    loop.advance(1);
    auto stored = FailedMovementFile::getAllFailedLocations();
    ASSERT_EQ(stored.size(), 1u) << "lost on the way, it waits in memory for the resend";
    EXPECT_EQ(stored[0], transport->lastRequest().body);
    std::filesystem::remove(folder);
}

TEST_F(LocationManagerTest, AMovementWhoseManagerIsGoneBeforeItLeavesWaitsForTheResend)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    {
        platform::HeldFlushes slowDisk;
        moveTo(home);
        ASSERT_TRUE(FailedMovementFile::getAllFailedLocations().empty()) << "on its way, not offered";
        manager.reset();
    }
    loop.advance(1);
    EXPECT_EQ(transport->requestCount(), 0u);
    auto stored = FailedMovementFile::getAllFailedLocations();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].substr(0, 26), "action=ARRIVED&title=Home&");
    EXPECT_EQ(entriesInTheFile(), 1u);
}

TEST_F(LocationManagerTest, AMovementOnItsWayIsNotCancelledByTheNextOne)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(3));
    transport->enqueue(FakeTransport::Reply::failure().after(1));
    moveTo(home);
    loop.advance(0.5);
    moveTo(away);
    ASSERT_EQ(transport->requestCount(), 2u);
    loop.advance(1);
    auto stored = FailedMovementFile::getAllFailedLocations();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].substr(0, 12), "action=LEFT&");
    EXPECT_FALSE(logs.contains("successfully posted server"));
    loop.advance(2);
    EXPECT_TRUE(logs.contains("successfully posted server")) << "the arrival was still answered";
    EXPECT_EQ(manager->locationSensingPostWSC, nullptr);
}

TEST_F(LocationManagerTest, CreatingASavedLocationOnceWithinFiveSecondsAndDuplicateTitles)
{
    moveTo(home);
    transport->setHandler(
        [](const platform::HttpRequest&) { return FakeTransport::Reply::json(R"({"success":true})"); });
    manager->startMonitoringLocationWithTitle("Office");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().body, "title=Office&longitude=-74.005974&latitude=40.712776&token=T");
    EXPECT_EQ(added, (std::vector<std::string> { "Office" }));
    EXPECT_TRUE(manager->regionIsAlreadyBeingMonitoredWithIdentifier("Office"));
    EXPECT_FALSE(manager->regionIsAlreadyBeingMonitoredWithIdentifier("office")) << "exact, case-sensitive";

    loop.advance(4);
    manager->startMonitoringLocationWithTitle("Office");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 1u) << "a second position within 5 seconds creates nothing";

    loop.advance(1);
    manager->startMonitoringLocationWithTitle("Office");
    loop.runPending();
    EXPECT_EQ(transport->requestCount(), 2u) << "a duplicate title still reaches the service";
    EXPECT_EQ(added.size(), 2u);
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Can't create location");
    EXPECT_EQ(manager->locationManager().monitoredRegions().size(), 1u);
}

TEST_F(LocationManagerTest, RadiusIsCappedAtTheServicesMaximumAndRegionsStop)
{
    LocationManager::resetRegionRadiusForTesting();
    platform::GeoLocationManager::setDefaultMaximumRegionMonitoringDistance(30);
    auto capped = LocationManager::create(userSession());
    platform::GeoLocationManager::setDefaultMaximumRegionMonitoringDistance(400000);
    EXPECT_EQ(LocationManager::regionRadius(), 30);
    capped->startMonitoringRegionWithCenter(home, "A");
    capped->startMonitoringRegionWithCenter(away, "B");
    EXPECT_EQ(capped->locationManager().monitoredRegions()[0].radius, 30);
    capped->stopMonitoringRegionWithIdentifier("A");
    EXPECT_FALSE(capped->regionIsAlreadyBeingMonitoredWithIdentifier("A"));
    capped->removeAllLocations();
    EXPECT_TRUE(capped->locationManager().monitoredRegions().empty());
    LocationManager::resetRegionRadiusForTesting();
}

TEST_F(LocationManagerTest, EachPostingIsHandledOnceByItsOwnAnswerInWhateverOrderTheyCome)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    // The arrival is lost on the way after 3 s; the departure, sent later,
    // is taken after 1 s.
    transport->enqueue(FakeTransport::Reply::failure().after(3));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(1));
    moveTo(home);
    loop.advance(0.5);
    moveTo(away);
    ASSERT_EQ(transport->requestCount(), 2u);
    std::string arrival = transport->requests()[0].body;
    EXPECT_EQ(entriesInTheFile(), 2u) << "both are kept while on their way";
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty()) << "and not offered to the resend";

    loop.advance(1);
    EXPECT_EQ(countLines("successfully posted server"), 1u);
    EXPECT_EQ(entriesInTheFile(), 1u) << "the departure the service took left the file";
    EXPECT_EQ(manager->locationSensingPostWSC, nullptr);

    loop.advance(2);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { arrival }));
    EXPECT_TRUE(logs.contains("Failed to post location for params: " + redactSecrets(arrival)
        + ":\n The Internet connection appears to be offline."));
    EXPECT_EQ(countLines("successfully posted server"), 1u);
    EXPECT_EQ(countLines("Failed to post location movement to server"), 0u);
    loop.advance(60);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations().size(), 1u) << "nothing answered twice";
}

TEST_F(LocationManagerTest, ARefusedMovementLeavesTheFileAndAPlaceThatFailsIsNotKeptAsAMovement)
{
    moveTo(home);
    transport->enqueue(FakeTransport::Reply::failure().after(2)); // the new place
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(1)); // leaving it
    manager->startMonitoringLocationWithTitle("Office");
    loop.runPending();
    moveTo(away);
    ASSERT_EQ(transport->requestCount(), 2u);
    EXPECT_EQ(transport->requests()[0].url, "https://localhost:8443/kivoraserver/api/location");

    loop.advance(1);
    EXPECT_TRUE(logs.contains("Failed to post location movement to server"));
    EXPECT_EQ(entriesInTheFile(), 0u) << "a refusal is not resent";
    EXPECT_FALSE(application->topAlert());

    loop.advance(1);
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty())
        << "a new place resent to the movements would be refused for ever";
    // The log line names the place but not the session token.
    EXPECT_NE(transport->requests()[0].body.find("&token=T"), std::string::npos);
    EXPECT_TRUE(logs.contains("Failed to post location for params: " + redactSecrets(transport->requests()[0].body)
        + ":\n The Internet connection appears to be offline."));
    EXPECT_FALSE(logs.contains("&token=T"));
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Error Occurred");
    EXPECT_EQ(application->topAlert()->message(), "Failed to post your location.");
    EXPECT_EQ(manager->locationPostWSC, nullptr);
}

TEST_F(LocationManagerTest, AMovementThatCannotEvenStartWaitsForTheResend)
{
    moveTo(away);
    manager->startMonitoringRegionWithCenter(home, "Home");
    transport->setRefusesToStart(true);
    moveTo(home);
    auto stored = FailedMovementFile::getAllFailedLocations();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].substr(0, 26), "action=ARRIVED&title=Home&");
    EXPECT_TRUE(
        logs.contains("Failed to post location for params: " + redactSecrets(stored[0]) + ":\n The connection failed"));
    EXPECT_EQ(manager->locationSensingPostWSC, nullptr);
}
