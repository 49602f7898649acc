#include "platform/location/GeoLocationManager.h"
#include "platform/location/GpxTrack.h"

#include "platform/foundation/DiskWriter.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio::platform;
using hestio::test::TempDir;
using hestio::test::TestRunLoop;

namespace {

const Coordinate home { 40.7128, -74.0060 };

// A point `metres` due north of `from`.
Coordinate north(Coordinate from, double metres)
{
    return { from.latitude + metres / 111194.93, from.longitude };
}

struct Recorder : GeoLocationManagerDelegate {
    std::vector<std::string> events;
    void didUpdateToLocation(
        GeoLocationManager&, const GeoLocation& fix, const std::optional<GeoLocation>& old) override
    {
        char text[96];
        std::snprintf(text, sizeof text, "update %.4f %s", fix.coordinate.latitude, old ? "with old" : "first");
        events.push_back(text);
    }
    void didEnterRegion(GeoLocationManager&, const CircularRegion& r) override
    {
        events.push_back("enter " + r.identifier);
    }
    void didExitRegion(GeoLocationManager&, const CircularRegion& r) override
    {
        events.push_back("exit " + r.identifier);
    }
    void didStartMonitoringForRegion(GeoLocationManager&, const CircularRegion& r) override
    {
        events.push_back("started " + r.identifier);
    }
    void monitoringDidFailForRegion(GeoLocationManager&, const CircularRegion& r, const LocationError& e) override
    {
        events.push_back("failed " + r.identifier + " " + std::to_string(e.code));
    }
};

struct LocationFixture : ::testing::Test {
    TestRunLoop loop;
    PositionSource source;
    Recorder recorder;
    void moveTo(Coordinate c)
    {
        source.moveTo(c, loop.now());
        loop.runPending();
    }
};

using GeoLocationManagerTest = LocationFixture;

}

TEST(Geo, GreatCircleDistance)
{
    EXPECT_NEAR(distanceBetween(home, north(home, 100)), 100, 0.01);
    // New York to London, about 5,570 km.
    EXPECT_NEAR(distanceBetween(home, { 51.5074, -0.1278 }) / 1000, 5570, 5);
    EXPECT_EQ(distanceBetween(home, home), 0);
}

TEST_F(GeoLocationManagerTest, UpdatesFlowOnlyWhileUpdating)
{
    GeoLocationManager manager({}, source);
    manager.setDelegate(&recorder);
    moveTo(home);
    EXPECT_TRUE(recorder.events.empty());
    manager.startUpdatingLocation();
    loop.runPending();
    moveTo(north(home, 1000));
    manager.stopUpdatingLocation();
    moveTo(home);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "update 40.7128 first", "update 40.7218 with old" }));
}

TEST_F(GeoLocationManagerTest, EntersAndExitsWithHysteresisAtTheBoundary)
{
    moveTo(north(home, 500));
    GeoLocationManager manager({}, source);
    manager.setDelegate(&recorder);
    manager.startMonitoringForRegion({ "Home", home, 50 });
    loop.runPending();
    moveTo(north(home, 48)); // inside the circle but within the margin: no decision yet
    moveTo(north(home, 44));
    moveTo(north(home, 52)); // on the boundary: stays inside
    moveTo(north(home, 48));
    moveTo(north(home, 56));
    moveTo(north(home, 5000));
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "started Home", "enter Home", "exit Home" }));
}

TEST_F(GeoLocationManagerTest, RefusesTooManyOrTooLargeRegionsAndInjectedFailures)
{
    GeoLocationManager::setDefaultMaximumRegionMonitoringDistance(30);
    GeoLocationManager capped({}, source);
    GeoLocationManager::setDefaultMaximumRegionMonitoringDistance(400000);
    EXPECT_EQ(capped.maximumRegionMonitoringDistance(), 30);
    capped.setDelegate(&recorder);
    capped.startMonitoringForRegion({ "Big", home, 50 });
    capped.failNextRegionMonitoring({ LocationError::RegionMonitoringDenied, "denied" });
    capped.startMonitoringForRegion({ "Denied", home, 20 });
    capped.startMonitoringForRegion({ "Fine", home, 20 });
    loop.runPending();
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "failed Big 5", "failed Denied 4", "started Fine" }));

    GeoLocationManager many({}, source);
    for (std::size_t i = 0; i < GeoLocationManager::maximumMonitoredRegions; ++i)
        many.startMonitoringForRegion({ "r" + std::to_string(i), home, 50 });
    many.startMonitoringForRegion({ "r3", north(home, 10), 50 }); // replaces, not a new one
    many.setDelegate(&recorder);
    recorder.events.clear();
    many.startMonitoringForRegion({ "one too many", home, 50 });
    loop.runPending();
    EXPECT_EQ(recorder.events.back(), "failed one too many 5");
    EXPECT_EQ(many.monitoredRegions().size(), GeoLocationManager::maximumMonitoredRegions);
    EXPECT_EQ(many.monitoredRegions()[3].center, north(home, 10));
}

TEST_F(GeoLocationManagerTest, RegionsSurviveARestartAndAMoveWhileAway)
{
    TempDir dir;
    std::string file = (dir / "regions").string();
    // A link planted at the name the file used to be written through.
    auto victim = dir.write("victim", "precious");
    std::filesystem::create_symlink(victim, file + ".tmp");
    moveTo(home);
    {
        GeoLocationManager manager(file, source);
        manager.startMonitoringForRegion({ "Home sweet home", home, 50 });
        manager.startMonitoringForRegion({ "Work", north(home, 10000), 50 });
        manager.stopMonitoringForRegion({ "Work", {}, 0 });
    }
    DiskWriter::shared().settle(); // written on the disk writer
    EXPECT_EQ(dir.read("victim"), "precious");
    EXPECT_EQ(std::filesystem::status(file).permissions(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    source.moveTo(north(home, 3000), loop.now()); // left while the app was not running
    GeoLocationManager relaunched(file, source);
    relaunched.setDelegate(&recorder);
    ASSERT_EQ(relaunched.monitoredRegions().size(), 1u);
    EXPECT_EQ(relaunched.monitoredRegions()[0].identifier, "Home sweet home");
    EXPECT_TRUE(relaunched.hasPendingLaunchEvent());
    loop.runPending();
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "exit Home sweet home" }));
}

TEST(GpxTrack, ParsesPointsAndRefusesBrokenFiles)
{
    auto parsed = GpxTrack::parse(R"(<gpx><trk><trkseg>
        <trkpt lat="40.7128" lon="-74.0060"><time>2012-12-06T08:00:00Z</time></trkpt>
        <trkpt lon='-74.0' lat='40.8'><time>2012-12-06T08:00:30Z</time></trkpt>
        <trkpt lat="40.9" lon="-74.1"/>
        </trkseg></trk></gpx>)");
    ASSERT_TRUE(parsed) << parsed.error().message();
    const auto& points = parsed->points;
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1].coordinate, (Coordinate { 40.8, -74.0 }));
    EXPECT_EQ(points[0].secondsSince1970, 1354780800.0);
    EXPECT_FALSE(points[2].secondsSince1970);

    struct Broken {
        const char* xml;
        const char* error;
    };
    const Broken cases[] = {
        { "", "GPX file has no track points" },
        { "<gpx></gpx>", "GPX file has no track points" },
        { R"(<trkpt lat="x" lon="1"/>)", "GPX point at byte 0 has no valid lat and lon" },
        { R"(<gpx><trkpt lat="91" lon="1"/></gpx>)", "GPX point at byte 5 has no valid lat and lon" },
        { R"(<trkpt lat="1" lon="181"/>)", "GPX point at byte 0 has no valid lat and lon" },
        { R"(<trkpt lat="1" lon="1">)", "GPX point at byte 0 is not closed" },
        { "<trkpt lat=\"1\"", "GPX track is cut short" },
    };
    for (const Broken& c : cases) {
        auto broken = GpxTrack::parse(c.xml);
        ASSERT_FALSE(broken) << c.xml;
        EXPECT_EQ(broken.error().message(), c.error) << c.xml;
    }
    auto missing = GpxTrack::load("/nonexistent/walk.gpx");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message(), "cannot read GPX file /nonexistent/walk.gpx");
}

TEST_F(GeoLocationManagerTest, GpxPlayerMovesOnTheTrackTimes)
{
    GpxTrack track { { { home, 100.0 }, { north(home, 100), 130.0 }, { north(home, 200), std::nullopt } } };
    GpxPlayer player(track, source, 5);
    player.start();
    EXPECT_EQ(source.current()->coordinate, home);
    loop.advance(29.9);
    EXPECT_EQ(source.current()->coordinate, home);
    loop.advance(0.1);
    EXPECT_EQ(source.current()->coordinate, north(home, 100));
    loop.advance(5);
    EXPECT_EQ(source.current()->coordinate, north(home, 200));
    EXPECT_TRUE(player.isFinished());
}
