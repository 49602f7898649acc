#include "platform/location/GeoClueSource.h"

#include "support/BusMock.h"
#include "support/LogCapture.h"
#include "support/PrivateBus.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using namespace hestio::platform;
using hestio::test::BusMock;
using hestio::test::PrivateBus;
using hestio::test::runUntil;
using hestio::test::TestRunLoop;

namespace {

constexpr const char* clientPath = "/org/freedesktop/GeoClue2/Client/7";

const char* managerXml = R"xml(<node><interface name="org.freedesktop.GeoClue2.Manager">
  <method name="GetClient"><arg name="client" type="o" direction="out"/></method>
  <method name="DeleteClient"><arg name="client" type="o" direction="in"/></method>
</interface></node>)xml";

const char* clientXml = R"xml(<node><interface name="org.freedesktop.GeoClue2.Client">
  <property name="Location" type="o" access="read"/>
  <property name="DistanceThreshold" type="u" access="readwrite"/>
  <property name="DesktopId" type="s" access="readwrite"/>
  <property name="RequestedAccuracyLevel" type="u" access="readwrite"/>
  <method name="Start"/>
  <method name="Stop"/>
  <signal name="LocationUpdated"><arg name="old" type="o"/><arg name="new" type="o"/></signal>
</interface></node>)xml";

const char* locationXml = R"xml(<node><interface name="org.freedesktop.GeoClue2.Location">
  <property name="Latitude" type="d" access="read"/>
  <property name="Longitude" type="d" access="read"/>
  <property name="Accuracy" type="d" access="read"/>
  <property name="Timestamp" type="(tt)" access="read"/>
</interface></node>)xml";

/// The location service as the tests need it: a manager that hands out one
/// client, which starts unless told to refuse.
struct GeoClueFixture : ::testing::Test {
    TestRunLoop loop;
    PrivateBus bus;
    std::unique_ptr<BusMock> service;
    PositionSource position;
    hestio::test::LogCapture log;
    std::atomic<bool> refuseStart { false };

    void SetUp() override
    {
        ASSERT_FALSE(bus.address().empty()) << bus.error();
        service = std::make_unique<BusMock>(bus.address(), "org.freedesktop.GeoClue2");
        ASSERT_EQ(service->error(), "");
        service->addObject("/org/freedesktop/GeoClue2/Manager", managerXml);
        service->addObject(clientPath, clientXml);
        service->setPropertyValue(clientPath, "Location", g_variant_new_object_path("/"));
        service->setHandler([this](const std::string&, const std::string& method, GVariant*) {
            BusMock::Answer answer;
            if (method == "GetClient")
                answer.value = g_variant_new("(o)", clientPath);
            else if (method == "Start" && refuseStart)
                answer = { nullptr, "org.freedesktop.DBus.Error.AccessDenied", "'hestio' disallowed, no agent" };
            return answer;
        });
    }

    /// Publishes a location object and tells the client's listeners.
    void publish(int number, double latitude, double longitude, double accuracy, std::uint64_t seconds)
    {
        std::string path = "/org/freedesktop/GeoClue2/Client/7/Location/" + std::to_string(number);
        service->addObject(path, locationXml);
        service->setPropertyValue(path, "Latitude", g_variant_new_double(latitude));
        service->setPropertyValue(path, "Longitude", g_variant_new_double(longitude));
        service->setPropertyValue(path, "Accuracy", g_variant_new_double(accuracy));
        service->setPropertyValue(path, "Timestamp", g_variant_new("(tt)", seconds, std::uint64_t(250000)));
        service->emit(
            clientPath, "org.freedesktop.GeoClue2.Client", "LocationUpdated", g_variant_new("(oo)", "/", path.c_str()));
    }
};

}

TEST_F(GeoClueFixture, StartsAClientNamedForTheDesktopEntryAndFollowsItsFixes)
{
    GeoClueSource source(loop.loop(), position, { bus.address() });
    std::vector<GeoLocation> heard;
    position.addListener([&](const GeoLocation& fix) { heard.push_back(fix); });
    source.start();
    EXPECT_EQ(source.state(), GeoClueSource::State::Starting);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Running; }));
    EXPECT_EQ(service->calls(),
        (std::vector<std::string> { "GetClient()", "set DesktopId 'hestio'", "set RequestedAccuracyLevel uint32 8",
            "set DistanceThreshold uint32 0", "Start()" }));
    EXPECT_FALSE(position.current()) << "no fix until the service has one";

    publish(1, 51.5007, -0.1246, 35, 1354752300);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return heard.size() == 1; }));
    EXPECT_EQ(heard[0].coordinate, (Coordinate { 51.5007, -0.1246 }));
    EXPECT_EQ(heard[0].horizontalAccuracy, 35);
    EXPECT_EQ(heard[0].timestamp.timeIntervalSince1970(), 1354752300.25);

    // The boundaries of a valid position are accepted; one past them is not.
    publish(2, 90, -180, 5, 1354752310);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[1].coordinate, (Coordinate { 90, -180 }));
    publish(3, 90.0001, 0, 5, 1354752320);
    ASSERT_TRUE(runUntil(
        loop.loop(), [&] { return log.contains("Location service: ignored a fix without a valid position"); }));
    EXPECT_EQ(heard.size(), 2u);

    // No stated accuracy or time: a coarse fix, stamped with the clock's time.
    publish(4, 40.7128, -74.006, 0, 0);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return heard.size() == 3; }));
    EXPECT_EQ(heard[2].horizontalAccuracy, 1000);
    EXPECT_EQ(heard[2].timestamp, loop.now());
    EXPECT_EQ(source.fixCount(), 3u);

    source.stop();
    EXPECT_EQ(source.state(), GeoClueSource::State::Idle);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return service->calls().back() == "Stop()"; }));
}

TEST_F(GeoClueFixture, AClientThatAlreadyHasAFixReportsItAtOnce)
{
    std::string path = "/org/freedesktop/GeoClue2/Client/7/Location/9";
    service->addObject(path, locationXml);
    service->setPropertyValue(path, "Latitude", g_variant_new_double(-33.8688));
    service->setPropertyValue(path, "Longitude", g_variant_new_double(151.2093));
    service->setPropertyValue(path, "Accuracy", g_variant_new_double(12));
    service->setPropertyValue(path, "Timestamp", g_variant_new("(tt)", std::uint64_t(1354752000), std::uint64_t(0)));
    service->setPropertyValue(clientPath, "Location", g_variant_new_object_path(path.c_str()));

    GeoClueSource source(loop.loop(), position, { bus.address() });
    source.start();
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return position.current().has_value(); }));
    EXPECT_EQ(position.current()->coordinate, (Coordinate { -33.8688, 151.2093 }));
    EXPECT_EQ(position.current()->horizontalAccuracy, 12);
}

TEST_F(GeoClueFixture, ARefusingServiceIsAskedAgainEverLessOftenAndTheUserToldOnce)
{
    refuseStart = true;
    GeoClueSource::Options options { bus.address() };
    options.longestRetrySeconds = 12;
    GeoClueSource source(loop.loop(), position, options);
    std::vector<std::string> failures;
    source.setFailureHandler([&](const std::string& reason) { failures.push_back(reason); });
    source.start();
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Unavailable; }));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("cannot start: "), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("'hestio' disallowed, no agent"), std::string::npos) << failures[0];
    EXPECT_TRUE(log.contains("Location service: not available (" + failures[0] + "); asking again in 5 s"));
    // The client it was given goes back, so the next ask is not one more.
    auto deleted = [&] {
        auto calls = service->calls();
        return std::count(calls.begin(), calls.end(), std::string("DeleteClient('") + clientPath + "',)");
    };
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return deleted() == 1; })) << testing::PrintToString(service->calls());
    source.start();
    EXPECT_EQ(source.state(), GeoClueSource::State::Unavailable) << "start() does not hurry the next ask";

    // Waits of 5, 10, then at most the longest (12) seconds; one second
    // short of each, nothing is asked.
    auto asks = [&] {
        auto calls = service->calls();
        return std::count(calls.begin(), calls.end(), "GetClient()");
    };
    for (double wait : { 5.0, 10.0, 12.0, 12.0 }) {
        long before = asks();
        EXPECT_EQ(source.secondsUntilRetry(), wait);
        loop.advance(wait - 1);
        loop.runPending();
        EXPECT_EQ(asks(), before) << "after " << wait - 1 << " of " << wait << " s";
        loop.advance(1);
        ASSERT_TRUE(runUntil(loop.loop(), [&] { return asks() == before + 1; })) << wait;
        ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.secondsUntilRetry().has_value(); })) << wait;
    }
    EXPECT_EQ(failures.size(), 1u) << "told once, not at every ask";

    // The service lets the app in: it runs, and a later failure is news again.
    refuseStart = false;
    loop.advance(12);
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Running; }));
    EXPECT_FALSE(source.secondsUntilRetry());

    // stop() ends the asking.
    refuseStart = true;
    source.stop();
    source.start();
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Unavailable; }));
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(source.secondsUntilRetry(), 5) << "the waits start afresh after it worked";
    source.stop();
    EXPECT_EQ(source.state(), GeoClueSource::State::Idle);
    long before = asks();
    loop.advance(60);
    loop.runPending();
    EXPECT_EQ(asks(), before);
}

TEST(GeoClueSource, IsUnavailableWithoutTheServiceOrWithoutTheBus)
{
    TestRunLoop loop;
    PositionSource position;
    hestio::test::LogCapture log;
    PrivateBus bus;
    ASSERT_FALSE(bus.address().empty()) << bus.error();
    {
        GeoClueSource source(loop.loop(), position, { bus.address() });
        source.start();
        ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Unavailable; }));
        EXPECT_NE(source.failure().find("org.freedesktop.GeoClue2"), std::string::npos) << source.failure();
    }
    {
        GeoClueSource source(loop.loop(), position, { "unix:path=/nonexistent/hestio-bus" });
        source.start();
        ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Unavailable; }));
        EXPECT_FALSE(source.failure().empty());
    }
    EXPECT_FALSE(position.current());
}

TEST_F(GeoClueFixture, StoppingWhileStartingDropsTheLateAnswers)
{
    GeoClueSource source(loop.loop(), position, { bus.address() });
    source.start();
    source.stop();
    // A second start while the first one's answers are still on their way.
    source.start();
    ASSERT_TRUE(runUntil(loop.loop(), [&] { return source.state() == GeoClueSource::State::Running; }));
    auto calls = service->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Start()"), 1) << testing::PrintToString(calls);
}
