#include "Store.h"

namespace hestio::sim {

namespace {
    constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS households (
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, time_zone TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS users (
    id INTEGER PRIMARY KEY, household_id INTEGER NOT NULL REFERENCES households(id),
    name TEXT NOT NULL UNIQUE, type TEXT NOT NULL, password_hash TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS sessions (
    token_hash TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id),
    expires_ms INTEGER NOT NULL, push_token TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS rooms (
    id INTEGER PRIMARY KEY, household_id INTEGER NOT NULL REFERENCES households(id), name TEXT NOT NULL,
    UNIQUE (household_id, name));
CREATE TABLE IF NOT EXISTS devices (
    id INTEGER PRIMARY KEY, household_id INTEGER NOT NULL REFERENCES households(id),
    room_id INTEGER NOT NULL REFERENCES rooms(id), name TEXT NOT NULL, kind TEXT NOT NULL,
    meter_plugged_in INTEGER NOT NULL, left_on INTEGER NOT NULL, reports_until_ms INTEGER);
CREATE TABLE IF NOT EXISTS meter_outages (
    device_id INTEGER NOT NULL REFERENCES devices(id), from_ms INTEGER NOT NULL, to_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS meter_register_starts (
    device_id INTEGER NOT NULL REFERENCES devices(id), at_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS device_changes (
    id INTEGER PRIMARY KEY, device_id INTEGER NOT NULL REFERENCES devices(id),
    at_ms INTEGER NOT NULL, switched_on INTEGER NOT NULL, level INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS device_changes_by_device ON device_changes (device_id, at_ms);
CREATE TABLE IF NOT EXISTS suggestion_states (
    household_id INTEGER NOT NULL REFERENCES households(id), suggestion_id INTEGER NOT NULL,
    state TEXT NOT NULL, at_ms INTEGER NOT NULL, PRIMARY KEY (household_id, suggestion_id));
CREATE TABLE IF NOT EXISTS locations (
    user_id INTEGER NOT NULL REFERENCES users(id), title TEXT NOT NULL,
    latitude REAL NOT NULL, longitude REAL NOT NULL, PRIMARY KEY (user_id, title));
CREATE TABLE IF NOT EXISTS movements (
    id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id), action TEXT NOT NULL,
    title TEXT NOT NULL, latitude REAL NOT NULL, longitude REAL NOT NULL, at_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS activities (
    id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id), title TEXT NOT NULL,
    UNIQUE (user_id, title));
CREATE TABLE IF NOT EXISTS occurrences (
    id INTEGER PRIMARY KEY, activity_id INTEGER NOT NULL REFERENCES activities(id), at_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS schedules (
    household_id INTEGER NOT NULL REFERENCES households(id), title TEXT NOT NULL,
    start_hour INTEGER NOT NULL, start_min INTEGER NOT NULL, end_hour INTEGER NOT NULL, end_min INTEGER NOT NULL,
    repeat_days TEXT NOT NULL, PRIMARY KEY (household_id, title));
CREATE TABLE IF NOT EXISTS plugs (
    key TEXT PRIMARY KEY, device_id INTEGER NOT NULL UNIQUE REFERENCES devices(id));
)sql";

    UserRow readUser(const Statement& s)
    {
        return UserRow { s.integer(0), s.integer(1), s.text(2), s.text(3), s.text(4) };
    }
}

Store::Store(const std::string& path)
    : m_db(path)
{
    createSchema();
}

void Store::createSchema()
{
    m_db.execute(kSchema);
}

std::optional<std::string> Store::meta(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT value FROM meta WHERE key = ?");
    s.bind(1, key);
    if (!s.step())
        return std::nullopt;
    return s.text(0);
}

void Store::setMeta(const std::string& key, const std::string& value)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)").bind(1, key).bind(2, value).run();
}

void Store::beginSeeding()
{
    std::lock_guard lock(m_mutex);
    m_seeding.emplace(m_db);
}

void Store::endSeeding()
{
    std::lock_guard lock(m_mutex);
    m_seeding->commit();
    m_seeding.reset();
}

int64_t Store::addHousehold(const std::string& name, const std::string& timeZone)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO households (name, time_zone) VALUES (?, ?)").bind(1, name).bind(2, timeZone).run();
    return m_db.lastInsertId();
}

int64_t Store::addUser(int64_t householdId, const std::string& name, const std::string& type, const std::string& hash)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO users (household_id, name, type, password_hash) VALUES (?, ?, ?, ?)")
        .bind(1, householdId)
        .bind(2, name)
        .bind(3, type)
        .bind(4, hash)
        .run();
    return m_db.lastInsertId();
}

int64_t Store::roomId(int64_t householdId, const std::string& room)
{
    m_db.prepare("INSERT OR IGNORE INTO rooms (household_id, name) VALUES (?, ?)")
        .bind(1, householdId)
        .bind(2, room)
        .run();
    auto s = m_db.prepare("SELECT id FROM rooms WHERE household_id = ? AND name = ?");
    s.bind(1, householdId).bind(2, room);
    s.step();
    return s.integer(0);
}

void Store::addDevice(const DeviceRow& device)
{
    std::lock_guard lock(m_mutex);
    int64_t room = roomId(device.householdId, device.room);
    auto s = m_db.prepare("INSERT INTO devices (id, household_id, room_id, name, kind, meter_plugged_in, left_on, "
                          "reports_until_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    s.bind(1, device.id).bind(2, device.householdId).bind(3, room).bind(4, device.name).bind(5, device.kind);
    s.bind(6, device.meterPluggedIn ? 1 : 0).bind(7, device.leftOn ? 1 : 0);
    if (device.reportsUntilMs)
        s.bind(8, *device.reportsUntilMs);
    else
        s.bindNull(8);
    s.run();
    for (const auto& outage : device.outages) {
        m_db.prepare("INSERT INTO meter_outages (device_id, from_ms, to_ms) VALUES (?, ?, ?)")
            .bind(1, device.id)
            .bind(2, outage.fromMs)
            .bind(3, outage.toMs)
            .run();
    }
    for (int64_t start : device.registerStartsMs) {
        m_db.prepare("INSERT INTO meter_register_starts (device_id, at_ms) VALUES (?, ?)")
            .bind(1, device.id)
            .bind(2, start)
            .run();
    }
}

std::optional<HouseholdRow> Store::household(int64_t id)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT id, name, time_zone FROM households WHERE id = ?");
    s.bind(1, id);
    if (!s.step())
        return std::nullopt;
    return HouseholdRow { s.integer(0), s.text(1), s.text(2) };
}

std::optional<UserRow> Store::userByName(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT id, household_id, name, type, password_hash FROM users WHERE name = ?");
    s.bind(1, name);
    if (!s.step())
        return std::nullopt;
    return readUser(s);
}

std::optional<UserRow> Store::userById(int64_t id)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT id, household_id, name, type, password_hash FROM users WHERE id = ?");
    s.bind(1, id);
    if (!s.step())
        return std::nullopt;
    return readUser(s);
}

std::vector<UserRow> Store::usersOf(int64_t householdId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare(
        "SELECT id, household_id, name, type, password_hash FROM users WHERE household_id = ? ORDER BY id");
    s.bind(1, householdId);
    std::vector<UserRow> users;
    while (s.step())
        users.push_back(readUser(s));
    return users;
}

void Store::setPasswordHash(int64_t userId, const std::string& hash)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("UPDATE users SET password_hash = ? WHERE id = ?").bind(1, hash).bind(2, userId).run();
}

void Store::addSession(const std::string& tokenHash, int64_t userId, int64_t expiresMs, const std::string& pushToken)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO sessions (token_hash, user_id, expires_ms, push_token) VALUES (?, ?, ?, ?)")
        .bind(1, tokenHash)
        .bind(2, userId)
        .bind(3, expiresMs)
        .bind(4, pushToken)
        .run();
}

std::optional<SessionRow> Store::session(const std::string& tokenHash)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT user_id, expires_ms FROM sessions WHERE token_hash = ?");
    s.bind(1, tokenHash);
    if (!s.step())
        return std::nullopt;
    return SessionRow { s.integer(0), s.integer(1) };
}

bool Store::removeSession(const std::string& tokenHash)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("DELETE FROM sessions WHERE token_hash = ?").bind(1, tokenHash).run();
    return m_db.changes() > 0;
}

void Store::removeExpiredSessions(int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("DELETE FROM sessions WHERE expires_ms < ?").bind(1, nowMs).run();
}

void Store::removeSessionsOf(int64_t userId, const std::string& keptTokenHash)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("DELETE FROM sessions WHERE user_id = ? AND token_hash <> ?")
        .bind(1, userId)
        .bind(2, keptTokenHash)
        .run();
}

std::vector<DeviceRow> Store::queryDevices(const char* sql, int64_t householdId, std::optional<int64_t> deviceId)
{
    auto s = m_db.prepare(sql);
    s.bind(1, householdId);
    if (deviceId)
        s.bind(2, *deviceId);
    std::vector<DeviceRow> devices;
    while (s.step()) {
        DeviceRow d { s.integer(0), s.integer(1), s.text(2), s.text(3), s.text(4), s.integer(5) != 0, s.integer(6) != 0,
            std::nullopt };
        if (!s.isNull(7))
            d.reportsUntilMs = s.integer(7);
        devices.push_back(std::move(d));
    }
    // Each meter's record in two queries for the whole list, not two per device.
    std::map<int64_t, DeviceRow*> byId;
    for (auto& d : devices)
        byId[d.id] = &d;
    auto attach = [&](const char* sql, auto add) {
        auto q = m_db.prepare(sql);
        q.bind(1, householdId);
        if (deviceId)
            q.bind(2, *deviceId);
        while (q.step()) {
            if (auto found = byId.find(q.integer(0)); found != byId.end())
                add(*found->second, q);
        }
    };
    attach(deviceId
            ? "SELECT o.device_id, o.from_ms, o.to_ms FROM meter_outages o JOIN devices d ON d.id = o.device_id "
              "WHERE d.household_id = ? AND d.id = ? ORDER BY o.from_ms"
            : "SELECT o.device_id, o.from_ms, o.to_ms FROM meter_outages o JOIN devices d ON d.id = o.device_id "
              "WHERE d.household_id = ? ORDER BY o.from_ms",
        [](DeviceRow& d, const Statement& q) {
            d.outages.push_back(MeterOutage { q.integer(1), q.integer(2) });
        });
    attach(deviceId ? "SELECT r.device_id, r.at_ms FROM meter_register_starts r JOIN devices d ON d.id = r.device_id "
                      "WHERE d.household_id = ? AND d.id = ? ORDER BY r.at_ms"
                    : "SELECT r.device_id, r.at_ms FROM meter_register_starts r JOIN devices d ON d.id = r.device_id "
                      "WHERE d.household_id = ? ORDER BY r.at_ms",
        [](DeviceRow& d, const Statement& q) { d.registerStartsMs.push_back(q.integer(1)); });
    return devices;
}

std::vector<DeviceRow> Store::devices(int64_t householdId)
{
    std::lock_guard lock(m_mutex);
    return queryDevices("SELECT d.id, d.household_id, d.name, r.name, d.kind, d.meter_plugged_in, d.left_on, "
                        "d.reports_until_ms FROM devices d JOIN rooms r ON r.id = d.room_id "
                        "WHERE d.household_id = ? ORDER BY d.id",
        householdId, std::nullopt);
}

std::optional<DeviceRow> Store::device(int64_t householdId, int64_t deviceId)
{
    std::lock_guard lock(m_mutex);
    auto found = queryDevices("SELECT d.id, d.household_id, d.name, r.name, d.kind, d.meter_plugged_in, d.left_on, "
                              "d.reports_until_ms FROM devices d JOIN rooms r ON r.id = d.room_id "
                              "WHERE d.household_id = ? AND d.id = ?",
        householdId, deviceId);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

void Store::updateDevice(int64_t deviceId, const std::string& name, const std::string& room)
{
    std::lock_guard lock(m_mutex);
    Transaction transaction(m_db);
    auto s = m_db.prepare("SELECT household_id FROM devices WHERE id = ?");
    s.bind(1, deviceId);
    if (!s.step())
        return;
    int64_t room_id = roomId(s.integer(0), room);
    m_db.prepare("UPDATE devices SET name = ?, room_id = ? WHERE id = ?")
        .bind(1, name)
        .bind(2, room_id)
        .bind(3, deviceId)
        .run();
    // Rooms that lost their last device are forgotten, as the device list only
    // shows rooms with devices.
    m_db.execute("DELETE FROM rooms WHERE id NOT IN (SELECT room_id FROM devices)");
    transaction.commit();
}

std::vector<StateChange> Store::changes(int64_t deviceId)
{
    std::lock_guard lock(m_mutex);
    auto s
        = m_db.prepare("SELECT at_ms, switched_on, level FROM device_changes WHERE device_id = ? ORDER BY at_ms, id");
    s.bind(1, deviceId);
    std::vector<StateChange> result;
    while (s.step())
        result.push_back(StateChange { s.integer(0), s.integer(1) != 0, static_cast<int>(s.integer(2)) });
    return result;
}

std::map<int64_t, std::vector<StateChange>> Store::changesOf(int64_t householdId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT c.device_id, c.at_ms, c.switched_on, c.level FROM device_changes c "
                          "JOIN devices d ON d.id = c.device_id WHERE d.household_id = ? ORDER BY c.at_ms, c.id");
    s.bind(1, householdId);
    std::map<int64_t, std::vector<StateChange>> result;
    while (s.step())
        result[s.integer(0)].push_back(StateChange { s.integer(1), s.integer(2) != 0, static_cast<int>(s.integer(3)) });
    return result;
}

void Store::addChange(int64_t deviceId, const StateChange& change)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO device_changes (device_id, at_ms, switched_on, level) VALUES (?, ?, ?, ?)")
        .bind(1, deviceId)
        .bind(2, change.atMs)
        .bind(3, change.switchedOn ? 1 : 0)
        .bind(4, change.level)
        .run();
}

std::map<int64_t, std::string> Store::suggestionStates(int64_t householdId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT suggestion_id, state FROM suggestion_states WHERE household_id = ?");
    s.bind(1, householdId);
    std::map<int64_t, std::string> result;
    while (s.step())
        result[s.integer(0)] = s.text(1);
    return result;
}

void Store::setSuggestionState(int64_t householdId, int64_t suggestionId, const std::string& state, int64_t atMs)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT OR REPLACE INTO suggestion_states (household_id, suggestion_id, state, at_ms) "
                 "VALUES (?, ?, ?, ?)")
        .bind(1, householdId)
        .bind(2, suggestionId)
        .bind(3, state)
        .bind(4, atMs)
        .run();
}

std::vector<LocationRow> Store::locations(int64_t userId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT title, latitude, longitude FROM locations WHERE user_id = ? ORDER BY rowid");
    s.bind(1, userId);
    std::vector<LocationRow> result;
    while (s.step())
        result.push_back(LocationRow { s.text(0), s.real(1), s.real(2) });
    return result;
}

void Store::saveLocation(int64_t userId, const LocationRow& location)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare(
            "INSERT INTO locations (user_id, title, latitude, longitude) VALUES (?, ?, ?, ?) "
            "ON CONFLICT (user_id, title) DO UPDATE SET latitude = excluded.latitude, longitude = excluded.longitude")
        .bind(1, userId)
        .bind(2, location.title)
        .bind(3, location.latitude)
        .bind(4, location.longitude)
        .run();
}

bool Store::removeLocation(int64_t userId, const std::string& title)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("DELETE FROM locations WHERE user_id = ? AND title = ?").bind(1, userId).bind(2, title).run();
    return m_db.changes() > 0;
}

void Store::addMovement(int64_t userId, const MovementRow& movement)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO movements (user_id, action, title, latitude, longitude, at_ms) VALUES (?, ?, ?, ?, ?, ?)")
        .bind(1, userId)
        .bind(2, movement.action)
        .bind(3, movement.title)
        .bind(4, movement.latitude)
        .bind(5, movement.longitude)
        .bind(6, movement.timestampMs)
        .run();
}

std::vector<MovementRow> Store::movements(int64_t userId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT action, title, latitude, longitude, at_ms FROM movements WHERE user_id = ? "
                          "ORDER BY at_ms DESC, id DESC");
    s.bind(1, userId);
    std::vector<MovementRow> result;
    while (s.step())
        result.push_back(MovementRow { s.text(0), s.text(1), s.real(2), s.real(3), s.integer(4) });
    return result;
}

std::vector<ActivityRow> Store::activities(int64_t userId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT a.title, COALESCE(MAX(o.at_ms), 0), COUNT(o.id) FROM activities a "
                          "LEFT JOIN occurrences o ON o.activity_id = a.id WHERE a.user_id = ? "
                          "GROUP BY a.id ORDER BY a.id DESC");
    s.bind(1, userId);
    std::vector<ActivityRow> result;
    while (s.step())
        result.push_back(ActivityRow { s.text(0), s.integer(1), s.integer(2) });
    return result;
}

bool Store::addActivity(int64_t userId, const std::string& title)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT OR IGNORE INTO activities (user_id, title) VALUES (?, ?)")
        .bind(1, userId)
        .bind(2, title)
        .run();
    return m_db.changes() > 0;
}

bool Store::addOccurrence(int64_t userId, const std::string& title, int64_t atMs)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT id FROM activities WHERE user_id = ? AND title = ?");
    s.bind(1, userId).bind(2, title);
    if (!s.step())
        return false;
    m_db.prepare("INSERT INTO occurrences (activity_id, at_ms) VALUES (?, ?)")
        .bind(1, s.integer(0))
        .bind(2, atMs)
        .run();
    return true;
}

std::vector<ScheduleRow> Store::schedules(int64_t householdId)
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT title, start_hour, start_min, end_hour, end_min, repeat_days FROM schedules "
                          "WHERE household_id = ? ORDER BY rowid");
    s.bind(1, householdId);
    std::vector<ScheduleRow> result;
    while (s.step())
        result.push_back(ScheduleRow { s.text(0), static_cast<int>(s.integer(1)), static_cast<int>(s.integer(2)),
            static_cast<int>(s.integer(3)), static_cast<int>(s.integer(4)), s.text(5) });
    return result;
}

void Store::saveSchedule(int64_t householdId, const ScheduleRow& schedule)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("INSERT INTO schedules (household_id, title, start_hour, start_min, end_hour, end_min, repeat_days) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (household_id, title) DO UPDATE SET "
                 "start_hour = excluded.start_hour, start_min = excluded.start_min, end_hour = excluded.end_hour, "
                 "end_min = excluded.end_min, repeat_days = excluded.repeat_days")
        .bind(1, householdId)
        .bind(2, schedule.title)
        .bind(3, schedule.startHour)
        .bind(4, schedule.startMin)
        .bind(5, schedule.endHour)
        .bind(6, schedule.endMin)
        .bind(7, schedule.repeatDays)
        .run();
}

std::map<std::string, int64_t> Store::plugDevices()
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT key, device_id FROM plugs");
    std::map<std::string, int64_t> result;
    while (s.step())
        result[s.text(0)] = s.integer(1);
    return result;
}

int64_t Store::addPlugDevice(int64_t householdId, const std::string& key, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    Transaction transaction(m_db);
    int64_t room = roomId(householdId, kNewDevicesRoom);
    m_db.prepare("INSERT INTO devices (household_id, room_id, name, kind, meter_plugged_in, left_on) "
                 "VALUES (?, ?, ?, 'plug', 1, 0)")
        .bind(1, householdId)
        .bind(2, room)
        .bind(3, name)
        .run();
    int64_t id = m_db.lastInsertId();
    m_db.prepare("INSERT INTO plugs (key, device_id) VALUES (?, ?)").bind(1, key).bind(2, id).run();
    transaction.commit();
    return id;
}

std::optional<HouseholdRow> Store::firstHousehold()
{
    std::lock_guard lock(m_mutex);
    auto s = m_db.prepare("SELECT id, name, time_zone FROM households ORDER BY id LIMIT 1");
    if (!s.step())
        return std::nullopt;
    return HouseholdRow { s.integer(0), s.text(1), s.text(2) };
}

void Store::updateHousehold(int64_t id, const std::string& name, const std::string& timeZone)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("UPDATE households SET name = ?, time_zone = ? WHERE id = ?")
        .bind(1, name)
        .bind(2, timeZone)
        .bind(3, id)
        .run();
}

void Store::removeUser(int64_t userId)
{
    std::lock_guard lock(m_mutex);
    Transaction transaction(m_db);
    for (const char* sql : { "DELETE FROM sessions WHERE user_id = ?", "DELETE FROM locations WHERE user_id = ?",
             "DELETE FROM movements WHERE user_id = ?",
             "DELETE FROM occurrences WHERE activity_id IN (SELECT id FROM activities WHERE user_id = ?)",
             "DELETE FROM activities WHERE user_id = ?", "DELETE FROM users WHERE id = ?" })
        m_db.prepare(sql).bind(1, userId).run();
    transaction.commit();
}

bool Store::removeSchedule(int64_t householdId, const std::string& title)
{
    std::lock_guard lock(m_mutex);
    m_db.prepare("DELETE FROM schedules WHERE household_id = ? AND title = ?")
        .bind(1, householdId)
        .bind(2, title)
        .run();
    return m_db.changes() > 0;
}

}
