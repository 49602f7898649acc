#include "Store.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

using namespace hestio::sim;

namespace {
struct Fixture {
    test::ScratchFolder folder;
    std::string path = folder.file("store.db");
};

void seedMinimal(Store& store)
{
    store.beginSeeding();
    int64_t household = store.addHousehold("Home", "Europe/Berlin");
    store.addUser(household, "ann", "Admin", "hash");
    store.addDevice(DeviceRow { 7, household, "Lamp", "Hall", "lamp", true, false, std::nullopt });
    store.addDevice(DeviceRow { 8, household, "Fan", "Hall", "fan", true, false, int64_t { 5 } });
    store.endSeeding();
}
}

TEST(Store, EverythingSurvivesReopening)
{
    Fixture f;
    {
        Store store(f.path);
        seedMinimal(store);
        store.addChange(7, StateChange { 100, false, 40 });
        store.saveLocation(1, LocationRow { "Home", 52.5, 13.4 });
        store.addMovement(1, MovementRow { "ARRIVED", "Home", 52.5, 13.4, 1000 });
        store.addActivity(1, "Watered plants");
        store.addOccurrence(1, "Watered plants", 2000);
        store.saveSchedule(1, ScheduleRow { "Work", 8, 5, 17, 30, "135" });
        store.setSuggestionState(1, 71, "IGNORED", 3000);
        store.addSession("tokenhash", 1, 9999, "push");
        store.updateDevice(7, "Hall Lamp", "Porch");
    }
    Store store(f.path);
    EXPECT_EQ(store.changes(7).back().level, 40);
    EXPECT_EQ(store.locations(1).size(), 1u);
    EXPECT_EQ(store.movements(1).front().action, "ARRIVED");
    EXPECT_EQ(store.activities(1).front().count, 1);
    EXPECT_EQ(store.schedules(1).front().repeatDays, "135");
    EXPECT_EQ(store.suggestionStates(1).at(71), "IGNORED");
    EXPECT_EQ(store.session("tokenhash")->expiresMs, 9999);
    auto lamp = store.device(1, 7);
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->name, "Hall Lamp");
    EXPECT_EQ(lamp->room, "Porch");
    EXPECT_EQ(*store.device(1, 8)->reportsUntilMs, 5);
}

TEST(Store, DevicesAreScopedToTheirHousehold)
{
    Fixture f;
    Store store(f.path);
    seedMinimal(store);
    EXPECT_TRUE(store.device(1, 7));
    EXPECT_FALSE(store.device(2, 7));
    EXPECT_TRUE(store.devices(2).empty());
    EXPECT_EQ(store.changesOf(1).size(), 0u);
    store.addChange(8, StateChange { 1, true, 0 });
    EXPECT_EQ(store.changesOf(1).at(8).size(), 1u);
    EXPECT_TRUE(store.changesOf(2).empty());
}

TEST(Store, SavingByTitleReplacesAndRemovingReportsWhetherItExisted)
{
    Fixture f;
    Store store(f.path);
    seedMinimal(store);
    store.saveLocation(1, LocationRow { "Gym", 1, 2 });
    store.saveLocation(1, LocationRow { "Gym", 3, 4 });
    ASSERT_EQ(store.locations(1).size(), 1u);
    EXPECT_EQ(store.locations(1).front().latitude, 3);
    EXPECT_TRUE(store.removeLocation(1, "Gym"));
    EXPECT_FALSE(store.removeLocation(1, "Gym"));

    store.saveSchedule(1, ScheduleRow { "Work", 8, 0, 17, 0, "" });
    store.saveSchedule(1, ScheduleRow { "Work", 9, 15, 18, 45, "12345" });
    ASSERT_EQ(store.schedules(1).size(), 1u);
    EXPECT_EQ(store.schedules(1).front().startMin, 15);
    EXPECT_TRUE(store.removeSchedule(1, "Work"));
    EXPECT_FALSE(store.removeSchedule(1, "Work"));

    EXPECT_TRUE(store.addActivity(1, "Cooked"));
    EXPECT_FALSE(store.addActivity(1, "Cooked"));
    EXPECT_FALSE(store.addOccurrence(1, "Unknown", 5));
}

TEST(Store, SessionsExpireAndCanBeRemoved)
{
    Fixture f;
    Store store(f.path);
    seedMinimal(store);
    store.addSession("a", 1, 100, "");
    store.addSession("b", 1, 300, "");
    store.removeExpiredSessions(200);
    EXPECT_FALSE(store.session("a"));
    EXPECT_TRUE(store.session("b"));
    EXPECT_TRUE(store.removeSession("b"));
    EXPECT_FALSE(store.removeSession("b"));
}

TEST(Store, MovingTheLastDeviceOutOfARoomForgetsTheRoom)
{
    Fixture f;
    Store store(f.path);
    seedMinimal(store);
    store.updateDevice(7, "Lamp", "Garage");
    store.updateDevice(8, "Fan", "Garage");
    for (const auto& device : store.devices(1))
        EXPECT_EQ(device.room, "Garage");
    store.updateDevice(8, "Fan", "Hall");
    EXPECT_EQ(store.device(1, 8)->room, "Hall");
}

TEST(Store, TheDatabaseAndItsJournalsAreForTheOwnerOnly)
{
    Fixture f;
    auto permissionsOf = [](const std::string& path) {
        return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
    };
    {
        Store store(f.path);
        seedMinimal(store);
        store.addSession("hash", 1, 1000, "");
        EXPECT_EQ(permissionsOf(f.path), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        for (const char* journal : { "-wal", "-shm" }) {
            ASSERT_TRUE(std::filesystem::exists(f.path + journal)) << journal;
            EXPECT_EQ(permissionsOf(f.path + journal),
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
                << journal;
        }
    }
    // A database from before, readable by everyone, is made private when opened.
    std::filesystem::permissions(f.path,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read
            | std::filesystem::perms::others_read);
    Store reopened(f.path);
    EXPECT_EQ(permissionsOf(f.path), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(reopened.userByName("ann")->name, "ann");
}
