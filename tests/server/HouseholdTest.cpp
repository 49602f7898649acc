#include "Household.h"
#include "Crypto.h"
#include "PowerModel.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace hestio::sim;

TEST(Household, SeedMakesElevenToFifteenDevicesInFiveRoomsWithFourBrokenMeters)
{
    for (uint64_t seed = 0; seed < 24; ++seed) {
        test::ScratchFolder folder;
        Store store(folder.file("sim.db"));
        seedDemoHousehold(store, seed, test::kTestStartMs, test::kTestPasswordIterations);
        auto devices = store.devices(1);
        EXPECT_GE(devices.size(), 11u) << "seed " << seed;
        EXPECT_LE(devices.size(), 15u) << "seed " << seed;
        std::set<std::string> rooms;
        int unplugged = 0;
        int silent = 0;
        int neverReported = 0;
        int withOutages = 0;
        for (const auto& d : devices) {
            rooms.insert(d.room);
            unplugged += !d.meterPluggedIn;
            if (d.reportsUntilMs) {
                ++silent;
                EXPECT_EQ(*d.reportsUntilMs, test::kTestStartMs - 3 * kHourMs);
            }
            if (d.outages == std::vector { MeterOutage { INT64_MIN, INT64_MAX } }) {
                ++neverReported;
                EXPECT_EQ(d.name, "Printer");
                EXPECT_EQ(d.id, kSilentPrinterId);
            } else if (!d.outages.empty()) {
                ++withOutages;
                EXPECT_EQ(d.name, "Heater");
            }
            ASSERT_FALSE(d.registerStartsMs.empty());
            EXPECT_EQ(d.registerStartsMs.front(), test::kTestStartMs - kMeterAgeMs) << "installed";
            EXPECT_EQ(d.registerStartsMs.size(), d.name == "Heater" ? 2u : 1u);
            EXPECT_EQ(store.changes(d.id).size(), 1u);
        }
        EXPECT_EQ(rooms.size(), 5u) << "seed " << seed;
        EXPECT_EQ(unplugged, 1) << "seed " << seed;
        EXPECT_EQ(silent, 1) << "seed " << seed;
        EXPECT_EQ(neverReported, 1) << "seed " << seed;
        EXPECT_EQ(withOutages, 1) << "seed " << seed;
    }
}

TEST(Household, TheHeatersFaultsLieOnTheDayBeforeOnTheHouseholdsClock)
{
    struct Case {
        const char* zone;
        int64_t createdMs;
        int64_t outageFromMs; // yesterday 18:20 local
        const char* what;
    };
    const Case cases[] = {
        // Made at 2026-12-02 10:30 EST: 2026-12-01 18:20 EST.
        { "America/New_York", test::kTestStartMs, 1796167200000, "an ordinary day" },
        // Made at 2026-03-09 10:00 EDT, the day after the clocks went forward
        // (a 23-hour day): 2026-03-08 18:20 EDT.
        { "America/New_York", 1773064800000, 1773008400000, "after spring forward" },
        // Made at 2026-10-26 13:00 CET, the day after Berlin's 25-hour day:
        // 2026-10-25 18:20 CET.
        { "Europe/Berlin", 1793016000000, 1792948800000, "after fall back" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchFolder folder;
        Store store(folder.file("sim.db"));
        seedDemoHousehold(store, 1, c.createdMs, test::kTestPasswordIterations, 0, c.zone);
        auto heater = store.device(1, 108);
        ASSERT_TRUE(heater);
        ASSERT_EQ(heater->name, "Heater");
        ASSERT_EQ(heater->outages.size(), 1u);
        EXPECT_EQ(heater->outages[0].fromMs, c.outageFromMs);
        EXPECT_EQ(heater->outages[0].toMs - heater->outages[0].fromMs, 40 * kMinuteMs);
        ASSERT_EQ(heater->registerStartsMs.size(), 2u);
        EXPECT_EQ(heater->registerStartsMs[1] - heater->outages[0].fromMs, (2 * 60 + 55) * kMinuteMs) << "21:15";
    }
}

TEST(Household, SeedOneIsTheDocumentedDemoHome)
{
    test::ScratchFolder folder;
    Store store(folder.file("sim.db"));
    seedDemoHousehold(store, 1, test::kTestStartMs, test::kTestPasswordIterations);
    auto household = store.household(1);
    ASSERT_TRUE(household);
    EXPECT_EQ(household->name, "Demo Home");
    EXPECT_EQ(household->timeZone, "America/New_York");

    auto demo = store.userByName("demo");
    auto sam = store.userByName("sam");
    ASSERT_TRUE(demo && sam);
    EXPECT_EQ(demo->type, "Admin");
    EXPECT_EQ(sam->type, "Member");
    EXPECT_TRUE(verifyPassword("demo", demo->passwordHash));
    EXPECT_TRUE(verifyPassword("sam", sam->passwordHash));
    EXPECT_EQ(store.meta("seed"), "1");

    // Same seed, same household.
    test::ScratchFolder other;
    Store again(other.file("sim.db"));
    seedDemoHousehold(again, 1, test::kTestStartMs, test::kTestPasswordIterations);
    auto a = store.devices(1);
    auto b = again.devices(1);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].id, b[i].id);
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].meterPluggedIn, b[i].meterPluggedIn);
    }
}

TEST(Household, ZoneOffsetsFollowDaylightSavingTime)
{
    const int64_t december = test::kTestStartMs;
    const int64_t july = 1783000000000; // 2026-07-02
    EXPECT_EQ(zoneOffsetMinutes("America/New_York", december, true), -300);
    EXPECT_EQ(zoneOffsetMinutes("America/New_York", july, true), -240);
    EXPECT_EQ(zoneOffsetMinutes("America/New_York", july, false), -300);
    EXPECT_EQ(zoneOffsetMinutes("Asia/Kolkata", july, true), 330);
    EXPECT_EQ(zoneOffsetMinutes("Nowhere/Atlantis", july, true), 0);
    EXPECT_EQ(timeZoneForSeed(1), "America/New_York");
}

TEST(Household, AskingForMoreDevicesAddsNumberedOnesAfterTheDemosOwn)
{
    auto seeded = [](int atLeast) {
        test::ScratchFolder folder;
        Store store(folder.file("sim.db"));
        seedDemoHousehold(store, 1, test::kTestStartMs, test::kTestPasswordIterations, atLeast);
        return store.devices(1);
    };
    const size_t demoCount = seeded(0).size();
    for (int atLeast : { 1, static_cast<int>(demoCount) }) {
        SCOPED_TRACE(atLeast);
        EXPECT_EQ(seeded(atLeast).size(), demoCount) << "the demo's own already suffice";
    }
    auto many = seeded(200);
    ASSERT_EQ(many.size(), 200u);
    std::set<int64_t> ids;
    std::set<std::string> names;
    std::set<std::string> rooms;
    for (const auto& d : many) {
        ids.insert(d.id);
        names.insert(d.name);
        rooms.insert(d.room);
    }
    EXPECT_EQ(ids.size(), 200u);
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(rooms.size(), 5u);
    EXPECT_TRUE(names.count("Fridge 2"));
    EXPECT_TRUE(names.count("Floor Lamp 14")) << "the numbers go on past one round of the catalogue";
    EXPECT_EQ(*ids.begin(), 101);
    EXPECT_TRUE(ids.count(kSilentPrinterId));
}
