#include "History.h"

#include <unicode/timezone.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace hestio::sim {

namespace {
    // Samples live in blocks (see SampleBlock): a finished block is written
    // once into sample_blocks; the block still filling is rewritten into
    // open_blocks at each flush, one small row per device and kind, so that
    // the large table only ever grows at its end and stays tightly packed.
    constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS sample_blocks (
    kind INTEGER NOT NULL, device_id INTEGER NOT NULL, start_ms INTEGER NOT NULL, samples BLOB NOT NULL,
    PRIMARY KEY (kind, device_id, start_ms));
CREATE TABLE IF NOT EXISTS open_blocks (
    kind INTEGER NOT NULL, device_id INTEGER NOT NULL, start_ms INTEGER NOT NULL, samples BLOB NOT NULL,
    PRIMARY KEY (kind, device_id)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS energy_quarters (
    device_id INTEGER NOT NULL, quarter_ms INTEGER NOT NULL, wh REAL NOT NULL,
    PRIMARY KEY (device_id, quarter_ms)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS plug_counters (
    device_id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, wh REAL NOT NULL);
)sql";
    constexpr size_t kRecentCounters = 8;
    constexpr int64_t kPruneEveryMs = kHourMs;

    StoredSample storedOf(int64_t atMs, double watts, std::optional<double> counterWh)
    {
        StoredSample sample { atMs, toMilliwatts(watts), std::nullopt };
        if (counterWh)
            sample.counterMilliWh = toMilliWattHours(*counterWh);
        return sample;
    }

    PowerSample powerOf(const StoredSample& stored)
    {
        PowerSample sample { stored.atMs, static_cast<double>(stored.milliwatts) / 1000.0 };
        if (stored.counterMilliWh)
            sample.meterReadingKWh = static_cast<double>(*stored.counterMilliWh) / 1e6;
        return sample;
    }

    std::string blobOf(const Statement& s, int column)
    {
        return s.blob(column);
    }
}

History::History(const std::string& path, HistorySettings settings)
    : m_db(path)
    , m_settings(settings)
{
    m_db.execute(kSchema);
    packRowsOfOldLayout();
    auto s = m_db.prepare("SELECT device_id, at_ms, wh FROM plug_counters");
    while (s.step()) {
        Pending& pending = m_pending[s.integer(0)];
        pending.hasCounter = true;
        pending.counter.atMs = s.integer(1);
        pending.counter.wh = s.real(2);
        pending.counter.recent.push_back(pending.counter.wh);
    }
    auto open = m_db.prepare("SELECT kind, device_id, start_ms, samples FROM open_blocks");
    while (open.step()) {
        auto kind = static_cast<Kind>(open.integer(0) == Minutes ? Minutes : Raw);
        m_pending[open.integer(1)].series[kind].block
            = SampleBlock::decode(open.integer(2), stepOf(kind), blobOf(open, 3));
    }
}

void History::packRowsOfOldLayout()
{
    for (Kind kind : { Raw, Minutes }) {
        const char* table = kind == Raw ? "raw_samples" : "minute_samples";
        // Every statement on a table must be done before it can be dropped.
        bool exists = m_db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?")
                          .bind(1, std::string_view(table))
                          .step();
        if (!exists)
            continue;
        Transaction transaction(m_db);
        int64_t count = packRows(kind, table);
        m_db.execute((std::string("DROP TABLE ") + table).c_str());
        transaction.commit();
        std::fprintf(stderr, "hestio-hub: packed %lld %s of the history into blocks\n", static_cast<long long>(count),
            kind == Raw ? "raw samples" : "minute averages");
    }
}

int64_t History::packRows(Kind kind, const char* table)
{
    auto rows = m_db.prepare(
        (std::string("SELECT device_id, at_ms, watts, counter_wh FROM ") + table + " ORDER BY device_id, at_ms")
            .c_str());
    std::optional<std::pair<int64_t, SampleBlock>> block;
    int64_t count = 0;
    auto write = [&] {
        if (block && !block->second.empty()) {
            m_db.prepare("INSERT OR REPLACE INTO sample_blocks VALUES (?, ?, ?, ?)")
                .bind(1, static_cast<int64_t>(kind))
                .bind(2, block->first)
                .bind(3, block->second.startMs())
                .bindBlob(4, block->second.bytes())
                .run();
        }
    };
    while (rows.step()) {
        int64_t device = rows.integer(0);
        int64_t at = rows.integer(1);
        int64_t start = floorTo(at, blockOf(kind));
        if (!block || block->first != device || block->second.startMs() != start) {
            write();
            block.emplace(device, SampleBlock(start, stepOf(kind)));
        }
        std::optional<double> counter;
        if (!rows.isNull(3))
            counter = rows.real(3);
        block->second.put(storedOf(at, rows.real(2), counter));
        ++count;
    }
    write();
    return count;
}

int64_t History::stepOf(Kind kind)
{
    return kind == Raw ? kRawStepMs : kMinuteMs;
}

int64_t History::blockOf(Kind kind)
{
    return kind == Raw ? kRawBlockMs : kMinuteBlockMs;
}

void History::record(int64_t deviceId, int64_t atMs, std::optional<double> watts, std::optional<double> counterWh)
{
    std::lock_guard lock(m_mutex);
    Pending& pending = m_pending[deviceId];
    for (Kind kind : { Raw, Minutes }) {
        if (watts && !m_lost && floorTo(atMs, stepOf(kind)) != m_partStep[kind])
            addToSeries(deviceId, kind, pending.series[kind], atMs, *watts, counterWh);
    }
    if (counterWh)
        countEnergy(deviceId, pending, atMs, *counterWh);
    if (atMs - m_lastFlushMs >= kFlushEveryMs || atMs < m_lastFlushMs)
        flushLocked(atMs);
}

void History::addToSeries(
    int64_t deviceId, Kind kind, Series& series, int64_t atMs, double watts, std::optional<double> counterWh)
{
    int64_t slot = floorTo(atMs, stepOf(kind));
    Average& average = series.open;
    if (average.atMs != slot) {
        if (average.count > 0)
            place(deviceId, kind, series, average);
        average = Average { slot };
        // The block the new step belongs to is the one kept open from now on.
        int64_t start = floorTo(slot, blockOf(kind));
        if (!series.block || series.block->startMs() < start) {
            if (series.block && !series.block->empty())
                m_finished[{ kind, deviceId, series.block->startMs() }] = series.block->bytes();
            series.block = storedBlock(kind, deviceId, start);
        }
    }
    average.sum += watts;
    ++average.count;
    if (counterWh)
        average.counterWh = counterWh;
    series.dirty = true;
}

void History::place(int64_t deviceId, Kind kind, Series& series, const Average& average)
{
    StoredSample sample = storedOf(average.atMs, average.sum / average.count, average.counterWh);
    int64_t start = floorTo(average.atMs, blockOf(kind));
    if (series.block && series.block->startMs() == start) {
        series.block->put(sample);
        return;
    }
    // A late sample for a block already done.
    SampleBlock block = storedBlock(kind, deviceId, start);
    block.put(sample);
    m_finished[{ kind, deviceId, start }] = block.bytes();
}

SampleBlock History::storedBlock(Kind kind, int64_t deviceId, int64_t startMs)
{
    if (auto waiting = m_finished.find({ kind, deviceId, startMs }); waiting != m_finished.end())
        return SampleBlock::decode(startMs, stepOf(kind), waiting->second);
    auto s = m_db.prepare("SELECT samples FROM sample_blocks WHERE kind = ? AND device_id = ? AND start_ms = ?");
    s.bind(1, static_cast<int64_t>(kind)).bind(2, deviceId).bind(3, startMs);
    if (s.step())
        return SampleBlock::decode(startMs, stepOf(kind), blobOf(s, 0));
    return SampleBlock(startMs, stepOf(kind));
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

void History::hearingLost(int64_t atMs)
{
    std::lock_guard lock(m_mutex);
    m_lost = true;
    for (auto& entry : m_pending) {
        for (Kind kind : { Raw, Minutes }) {
            Series& series = entry.second.series[kind];
            // A step that ended before the loss was heard whole: it stays.
            if (series.open.count > 0 && series.open.atMs == floorTo(atMs, stepOf(kind))) {
                series.open = Average {};
                // Written again at the next flush, without it.
                series.dirty = true;
            }
        }
    }
}

void History::hearingAgain(int64_t atMs)
{
    std::lock_guard lock(m_mutex);
    if (!m_lost)
        return;
    m_lost = false;
    for (Kind kind : { Raw, Minutes })
        m_partStep[kind] = floorTo(atMs, stepOf(kind));
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
    for (const auto& [key, bytes] : m_finished) {
        m_db.prepare("INSERT OR REPLACE INTO sample_blocks VALUES (?, ?, ?, ?)")
            .bind(1, static_cast<int64_t>(std::get<0>(key)))
            .bind(2, std::get<1>(key))
            .bind(3, std::get<2>(key))
            .bindBlob(4, bytes)
            .run();
    }
    m_finished.clear();
    for (auto& [device, pending] : m_pending) {
        for (Kind kind : { Raw, Minutes }) {
            Series& series = pending.series[kind];
            if (!series.dirty || !series.block)
                continue;
            // The step still averaging goes in too, so a reader sees it; it
            // is written again as it fills.
            const Average& open = series.open;
            bool openHere = open.count > 0 && floorTo(open.atMs, blockOf(kind)) == series.block->startMs();
            m_db.prepare("INSERT OR REPLACE INTO open_blocks VALUES (?, ?, ?, ?)")
                .bind(1, static_cast<int64_t>(kind))
                .bind(2, device)
                .bind(3, series.block->startMs())
                .bindBlob(4,
                    openHere ? series.block->bytesWith(storedOf(open.atMs, open.sum / open.count, open.counterWh))
                             : series.block->bytes())
                .run();
            series.dirty = false;
        }
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
        // Whole blocks go once all of their stretch is older than kept;
        // readers leave out the older part of the one that stays.
        for (Kind kind : { Raw, Minutes }) {
            int64_t keep = kind == Raw ? m_settings.rawKeepMs : m_settings.minuteKeepMs;
            for (const char* sql : { "DELETE FROM sample_blocks WHERE kind = ? AND start_ms < ?",
                     "DELETE FROM open_blocks WHERE kind = ? AND start_ms < ?" })
                m_db.prepare(sql).bind(1, static_cast<int64_t>(kind)).bind(2, nowMs - keep - blockOf(kind)).run();
        }
    }
    transaction.commit();
}

void History::readSeries(Kind kind, int64_t deviceId, int64_t fromMs, int64_t toMs, std::vector<PowerSample>& out)
{
    if (toMs < fromMs)
        return;
    std::map<int64_t, std::string> blocks;
    auto s = m_db.prepare("SELECT start_ms, samples FROM sample_blocks WHERE kind = ? AND device_id = ? "
                          "AND start_ms > ? AND start_ms <= ?");
    s.bind(1, static_cast<int64_t>(kind)).bind(2, deviceId).bind(3, fromMs - blockOf(kind)).bind(4, toMs);
    while (s.step())
        blocks[s.integer(0)] = blobOf(s, 1);
    // The block still filling holds all a stored one of its start does, and more.
    auto open = m_db.prepare("SELECT start_ms, samples FROM open_blocks WHERE kind = ? AND device_id = ? "
                             "AND start_ms > ? AND start_ms <= ?");
    open.bind(1, static_cast<int64_t>(kind)).bind(2, deviceId).bind(3, fromMs - blockOf(kind)).bind(4, toMs);
    if (open.step())
        blocks[open.integer(0)] = blobOf(open, 1);
    for (const auto& [start, bytes] : blocks) {
        for (const auto& stored : SampleBlock::decode(start, stepOf(kind), bytes).samples()) {
            if (stored.atMs >= fromMs && stored.atMs <= toMs)
                out.push_back(powerOf(stored));
        }
    }
}

std::vector<PowerSample> History::samples(int64_t deviceId, int64_t fromMs, int64_t toMs, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    flushLocked(nowMs);
    std::vector<PowerSample> result;
    int64_t minutesFrom = std::max(fromMs, nowMs - m_settings.minuteKeepMs);
    if (toMs - fromMs > kLongestRawWindowMs) {
        readSeries(Minutes, deviceId, minutesFrom, toMs, result);
        return result;
    }
    int64_t rawFrom = std::max(fromMs, nowMs - m_settings.rawKeepMs);
    readSeries(Minutes, deviceId, minutesFrom, std::min(toMs, rawFrom - 1), result);
    readSeries(Raw, deviceId, rawFrom, toMs, result);
    return result;
}

std::optional<PowerSample> History::lastSample(int64_t deviceId, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    flushLocked(nowMs);
    for (const char* sql : { "SELECT start_ms, samples FROM open_blocks WHERE kind = 0 AND device_id = ?",
             "SELECT start_ms, samples FROM sample_blocks WHERE kind = 0 AND device_id = ? "
             "ORDER BY start_ms DESC LIMIT 1" }) {
        auto s = m_db.prepare(sql);
        s.bind(1, deviceId);
        if (!s.step())
            continue;
        auto stored = SampleBlock::decode(s.integer(0), kRawStepMs, blobOf(s, 1)).samples();
        if (!stored.empty())
            return powerOf(stored.back());
    }
    return std::nullopt;
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
