#pragma once

#include "Database.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

struct HouseholdRow {
    int64_t id {};
    std::string name;
    std::string timeZone;
};

struct UserRow {
    int64_t id {};
    int64_t householdId {};
    std::string name;
    std::string type;
    std::string passwordHash;
};

struct SessionRow {
    int64_t userId {};
    int64_t expiresMs {};
};

/// A stretch in which a meter sent nothing: after its sample at `fromMs`,
/// its next one is at `toMs`.
struct MeterOutage {
    int64_t fromMs {};
    int64_t toMs {};
    bool operator==(const MeterOutage&) const = default;
};

/// A device as stored: what it is, where it is, and how its meter behaves.
struct DeviceRow {
    int64_t id {};
    int64_t householdId {};
    std::string name;
    std::string room;
    std::string kind;
    bool meterPluggedIn { true };
    bool leftOn { false };
    /// The instant after which the meter sends nothing more, when it stopped.
    std::optional<int64_t> reportsUntilMs;
    /// Stretches in which the meter sent nothing, ascending; one from
    /// INT64_MIN to INT64_MAX is a meter that never reported.
    std::vector<MeterOutage> outages;
    /// When the meter's energy register started counting from zero,
    /// ascending: its installation, then each reset. Samples before the first
    /// carry no reading.
    std::vector<int64_t> registerStartsMs;
};

/// The state a device takes from `atMs` on, until the next change.
struct StateChange {
    int64_t atMs {};
    bool switchedOn {};
    int level {};
};

struct LocationRow {
    std::string title;
    double latitude {};
    double longitude {};
};

struct MovementRow {
    std::string action;
    std::string title;
    double latitude {};
    double longitude {};
    int64_t timestampMs {};
};

struct ActivityRow {
    std::string title;
    int64_t lastMs {};
    int64_t count {};
};

struct ScheduleRow {
    std::string title;
    int startHour {};
    int startMin {};
    int endHour {};
    int endMin {};
    std::string repeatDays;
};

/// The room a plug found on the broker is put in, until the household moves it.
constexpr const char* kNewDevicesRoom = "New devices";

/// Everything the service keeps, in one SQLite file. Every method is atomic
/// and safe to call from several request threads at once.
class Store {
public:
    explicit Store(const std::string& path);

    std::optional<std::string> meta(const std::string& key);
    void setMeta(const std::string& key, const std::string& value);

    // Creation of the demo household (in one transaction, see Household).
    void beginSeeding();
    void endSeeding();
    int64_t addHousehold(const std::string& name, const std::string& timeZone);
    int64_t addUser(int64_t householdId, const std::string& name, const std::string& type, const std::string& hash);
    void addDevice(const DeviceRow& device);

    std::optional<HouseholdRow> household(int64_t id);
    std::optional<UserRow> userByName(const std::string& name);
    std::optional<UserRow> userById(int64_t id);
    std::vector<UserRow> usersOf(int64_t householdId);
    void setPasswordHash(int64_t userId, const std::string& hash);

    void addSession(const std::string& tokenHash, int64_t userId, int64_t expiresMs, const std::string& pushToken);
    std::optional<SessionRow> session(const std::string& tokenHash);
    bool removeSession(const std::string& tokenHash);
    void removeExpiredSessions(int64_t nowMs);
    /// Ends every session of the user but the one with `keptTokenHash` (if any).
    void removeSessionsOf(int64_t userId, const std::string& keptTokenHash);

    std::vector<DeviceRow> devices(int64_t householdId);
    std::optional<DeviceRow> device(int64_t householdId, int64_t deviceId);
    void updateDevice(int64_t deviceId, const std::string& name, const std::string& room);
    std::vector<StateChange> changes(int64_t deviceId);
    /// All devices' changes of a household in one query, by device id.
    std::map<int64_t, std::vector<StateChange>> changesOf(int64_t householdId);
    void addChange(int64_t deviceId, const StateChange& change);

    std::map<int64_t, std::string> suggestionStates(int64_t householdId);
    void setSuggestionState(int64_t householdId, int64_t suggestionId, const std::string& state, int64_t atMs);

    std::vector<LocationRow> locations(int64_t userId);
    void saveLocation(int64_t userId, const LocationRow& location);
    bool removeLocation(int64_t userId, const std::string& title);

    void addMovement(int64_t userId, const MovementRow& movement);
    std::vector<MovementRow> movements(int64_t userId);

    std::vector<ActivityRow> activities(int64_t userId);
    /// False when the user already has an activity with this title.
    bool addActivity(int64_t userId, const std::string& title);
    /// False when the user has no activity with this title.
    bool addOccurrence(int64_t userId, const std::string& title, int64_t atMs);

    std::vector<ScheduleRow> schedules(int64_t householdId);
    void saveSchedule(int64_t householdId, const ScheduleRow& schedule);
    bool removeSchedule(int64_t householdId, const std::string& title);

    /// The devices made for plugs found on the broker, by the plug's key.
    std::map<std::string, int64_t> plugDevices();
    /// Makes a switchable device in the room "New devices" for the plug with
    /// `key`; returns its id.
    int64_t addPlugDevice(int64_t householdId, const std::string& key, const std::string& name);
    /// The household made first (the only one of a hub); none in an empty store.
    std::optional<HouseholdRow> firstHousehold();
    void updateHousehold(int64_t id, const std::string& name, const std::string& timeZone);
    /// Removes the user with everything that is theirs alone (sessions, places, activities).
    void removeUser(int64_t userId);

private:
    void createSchema();
    std::vector<DeviceRow> queryDevices(const char* sql, int64_t householdId, std::optional<int64_t> deviceId);
    int64_t roomId(int64_t householdId, const std::string& room);

    std::mutex m_mutex;
    Database m_db;
    std::optional<Transaction> m_seeding;
};

}
