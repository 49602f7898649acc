#include "History.h"

#include <unicode/timezone.h>

#include <algorithm>
#include <memory>

namespace hestio::sim {

namespace {
    constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS raw_samples (
    device_id INTEGER NOT NULL, at_ms INTEGER NOT NULL, watts REAL NOT NULL, counter_wh REAL,
    PRIMARY KEY (device_id, at_ms)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS minute_samples (
    device_id INTEGER NOT NULL, at_ms INTEGER NOT NULL, watts REAL NOT NULL, counter_wh REAL,
    PRIMARY KEY (device_id, at_ms)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS energy_quarters (
    device_id INTEGER NOT NULL, quarter_ms INTEGER NOT NULL, wh REAL NOT NULL,
    PRIMARY KEY (device_id, quarter_ms)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS plug_counters (
    device_id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, wh REAL NOT NULL);
)sql";
    constexpr size_t kRecentCounters = 8;
    constexpr int64_t kPruneEveryMs = kHourMs;
}

History::History(const std::string& path, HistorySettings settings)
    : m_db(path)
    , m_settings(settings)
{
    m_db.execute(kSchema);
    auto s = m_db.prepare("SELECT device_id, at_ms, wh FROM plug_counters");
    while (s.step()) {
        Pending& pending = m_pending[s.integer(0)];
        pending.hasCounter = true;
        pending.counter.atMs = s.integer(1);
        pending.counter.wh = s.real(2);
        pending.counter.recent.push_back(pending.counter.wh);
    }
}

void History::record(int64_t deviceId, int64_t atMs, std::optional<double> watts, std::optional<double> counterWh)
{
    std::lock_guard lock(m_mutex);
    Pending& pending = m_pending[deviceId];
    if (watts) {
        addToAverage(deviceId, pending.raw, floorTo(atMs, kRawStepMs), watts, counterWh, true);
        addToAverage(deviceId, pending.minute, floorTo(atMs, kMinuteMs), watts, counterWh, false);
    }
    if (counterWh)
        countEnergy(deviceId, pending, atMs, *counterWh);
    if (atMs - m_lastFlushMs >= kFlushEveryMs || atMs < m_lastFlushMs)
        flushLocked(atMs);
}

void History::addToAverage(int64_t deviceId, Average& average, int64_t slotMs, std::optional<double> watts,
    std::optional<double> counterWh, bool raw)
{
    if (average.atMs != slotMs) {
        if (average.count > 0)
            (raw ? m_finishedRaw : m_finishedMinutes).emplace_back(deviceId, average);
        average = Average { slotMs };
    }
    average.sum += *watts;
    ++average.count;
    if (counterWh)
        average.counterWh = counterWh;
}

void History::countEnergy(int64_t deviceId, Pending& pending, int64_t atMs, double counterWh)
{
    Counter& counter = pending.counter;
    if (!pending.hasCounter) {
        pending.hasCounter = true;
        counter = Counter { atMs, counterWh, { counterWh }, true };
        return;
    }
    if (counterWh == counter.wh) {
        counter.atMs = std::max(counter.atMs, atMs);
        counter.dirty = true;
        return;
    }
    // A value seen a moment ago that comes again late is a copy, not a restart.
    if (counterWh < counter.wh
        && std::find(counter.recent.begin(), counter.recent.end(), counterWh) != counter.recent.end())
        return;
    // Backwards is a counter that started again from zero: all of it is new.
    double wh = counterWh > counter.wh ? counterWh - counter.wh : counterWh;
    spread(deviceId, wh, counter.atMs, atMs);
    counter.wh = counterWh;
    counter.atMs = atMs;
    counter.recent.push_back(counterWh);
    if (counter.recent.size() > kRecentCounters)
        counter.recent.pop_front();
    counter.dirty = true;
}

void History::spread(int64_t deviceId, double wh, int64_t fromMs, int64_t toMs)
{
    if (wh <= 0)
        return;
    if (toMs <= fromMs || toMs - fromMs > kLongestSpreadMs) {
        m_quarters[{ deviceId, floorTo(toMs, kQuarterMs) }] += wh;
        return;
    }
    double span = static_cast<double>(toMs - fromMs);
    for (int64_t quarter = floorTo(fromMs, kQuarterMs); quarter < toMs; quarter += kQuarterMs) {
        int64_t overlap = std::min(toMs, quarter + kQuarterMs) - std::max(fromMs, quarter);
        if (overlap > 0)
            m_quarters[{ deviceId, quarter }] += wh * static_cast<double>(overlap) / span;
    }
}

void History::writeAverage(int64_t deviceId, const Average& average, bool raw)
{
    auto s = m_db.prepare(raw ? "INSERT OR REPLACE INTO raw_samples VALUES (?, ?, ?, ?)"
                              : "INSERT OR REPLACE INTO minute_samples VALUES (?, ?, ?, ?)");
    s.bind(1, deviceId).bind(2, average.atMs).bind(3, average.sum / average.count);
    if (average.counterWh)
        s.bind(4, *average.counterWh);
    else
        s.bindNull(4);
    s.run();
}

void History::flush(int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    flushLocked(nowMs);
}

void History::flushLocked(int64_t nowMs)
{
    m_lastFlushMs = nowMs;
    Transaction transaction(m_db);
    for (const auto& [device, average] : m_finishedRaw)
        writeAverage(device, average, true);
    for (const auto& [device, average] : m_finishedMinutes)
        writeAverage(device, average, false);
    m_finishedRaw.clear();
    m_finishedMinutes.clear();
    for (auto& [device, pending] : m_pending) {
        // The open averages too, so a reader sees them; they are written
        // again as they fill.
        if (pending.raw.count > 0)
            writeAverage(device, pending.raw, true);
        if (pending.minute.count > 0)
            writeAverage(device, pending.minute, false);
        if (pending.counter.dirty) {
            m_db.prepare("INSERT OR REPLACE INTO plug_counters VALUES (?, ?, ?)")
                .bind(1, device)
                .bind(2, pending.counter.atMs)
                .bind(3, pending.counter.wh)
                .run();
            pending.counter.dirty = false;
        }
    }
    for (const auto& [key, wh] : m_quarters) {
        m_db.prepare("INSERT INTO energy_quarters VALUES (?, ?, ?) "
                     "ON CONFLICT (device_id, quarter_ms) DO UPDATE SET wh = wh + excluded.wh")
            .bind(1, key.first)
            .bind(2, key.second)
            .bind(3, wh)
            .run();
    }
    m_quarters.clear();
    if (nowMs - m_lastPruneMs >= kPruneEveryMs || nowMs < m_lastPruneMs) {
        m_lastPruneMs = nowMs;
        m_db.prepare("DELETE FROM raw_samples WHERE at_ms < ?").bind(1, nowMs - m_settings.rawKeepMs).run();
        m_db.prepare("DELETE FROM minute_samples WHERE at_ms < ?").bind(1, nowMs - m_settings.minuteKeepMs).run();
    }
    transaction.commit();
}

std::vector<PowerSample> History::samples(int64_t deviceId, int64_t fromMs, int64_t toMs, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    flushLocked(nowMs);
    std::vector<PowerSample> result;
    auto read = [&](const char* sql, int64_t from, int64_t to) {
        if (to < from)
            return;
        auto s = m_db.prepare(sql);
        s.bind(1, deviceId).bind(2, from).bind(3, to);
        while (s.step()) {
            PowerSample sample { s.integer(0), s.real(1) };
            if (!s.isNull(2))
                sample.meterReadingKWh = s.real(2) / 1000.0;
            result.push_back(sample);
        }
    };
    const char* minutes = "SELECT at_ms, watts, counter_wh FROM minute_samples WHERE device_id = ? AND at_ms >= ? "
                          "AND at_ms <= ? ORDER BY at_ms";
    if (toMs - fromMs > kLongestRawWindowMs) {
        read(minutes, fromMs, toMs);
        return result;
    }
    int64_t rawFrom = std::max(fromMs, nowMs - m_settings.rawKeepMs);
    read(minutes, fromMs, std::min(toMs, rawFrom - 1));
    read("SELECT at_ms, watts, counter_wh FROM raw_samples WHERE device_id = ? AND at_ms >= ? AND at_ms <= ? "
         "ORDER BY at_ms",
        rawFrom, toMs);
    return result;
}

std::vector<EnergyBlock> History::hourlyEnergy(
    const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    flushLocked(nowMs);
    if (deviceIds.empty())
        return {};
    std::string sql = "SELECT quarter_ms, SUM(wh) FROM energy_quarters WHERE quarter_ms >= ? AND quarter_ms < ? "
                      "AND device_id IN (";
    for (size_t i = 0; i < deviceIds.size(); ++i)
        sql += i ? ",?" : "?";
    sql += ") GROUP BY quarter_ms ORDER BY quarter_ms";
    auto s = m_db.prepare(sql.c_str());
    // A local hour may start on any quarter of a UTC hour.
    s.bind(1, fromMs - kHourMs).bind(2, toMs + kHourMs);
    for (size_t i = 0; i < deviceIds.size(); ++i)
        s.bind(static_cast<int>(i) + 3, deviceIds[i]);
    std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
    std::map<int64_t, double> hours;
    while (s.step()) {
        int64_t quarter = s.integer(0);
        int32_t raw = 0;
        int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        tz->getOffset(static_cast<UDate>(quarter), false, raw, dst, status);
        int64_t offset = U_FAILURE(status) ? 0 : static_cast<int64_t>(raw) + dst;
        int64_t hourStart = floorTo(quarter + offset, kHourMs) - offset;
        if (hourStart >= fromMs && hourStart < toMs && hourStart <= nowMs)
            hours[hourStart] += s.real(1);
    }
    std::vector<EnergyBlock> blocks;
    for (const auto& [start, wh] : hours)
        blocks.push_back(EnergyBlock { start, wh / 1000.0 });
    return blocks;
}

}
