#include "History.h"
#include "HubClock.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

using namespace hestio::sim;

namespace {
constexpr int64_t kSecond = 1000;
/// 2026-10-24 22:00 UTC: midnight in Berlin, the day its clocks go back an hour.
constexpr int64_t kBerlinLongDayMs = 1792879200000;

struct Fixture {
    test::ScratchFolder folder;
    std::string path = folder.file("hub.db");
    std::unique_ptr<History> history = std::make_unique<History>(path, HistorySettings {});

    void reopen(HistorySettings settings = {})
    {
        history.reset();
        history = std::make_unique<History>(path, settings);
    }
};

std::vector<double> kilowattHours(const std::vector<EnergyBlock>& blocks)
{
    std::vector<double> values;
    for (const auto& block : blocks)
        values.push_back(std::round(block.kilowattHours * 1e9) / 1e9);
    return values;
}
}

TEST(History, KeepsOneRawSampleIn5SecondsAveragedAndTheCounterWithIt)
{
    Fixture f;
    // A reading a second at 1, 2, 3… W; the boundary falls between 4999 and 5000 ms.
    int64_t start = floorTo(test::kTestStartMs, History::kRawStepMs);
    for (int i = 0; i < 5; ++i)
        f.history->record(7, start + i * kSecond, 1.0 + i, 2000.0 + i);
    f.history->record(7, start + 4999, 100, std::nullopt);
    for (int i = 5; i < 10; ++i)
        f.history->record(7, start + i * kSecond, 1.0 + i, 2000.0 + i);
    f.history->record(8, start, 50, std::nullopt);
    auto samples = f.history->samples(7, start, start + 20 * kSecond, start + 10 * kSecond);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].timestampMs, start);
    // Kept to the milliwatt: (1 + 2 + 3 + 4 + 5 + 100) / 6.
    EXPECT_DOUBLE_EQ(samples[0].watts, 19.167);
    EXPECT_DOUBLE_EQ(*samples[0].meterReadingKWh, 2.004);
    EXPECT_EQ(samples[1].timestampMs, start + 5000);
    EXPECT_DOUBLE_EQ(samples[1].watts, 8);
    EXPECT_DOUBLE_EQ(*samples[1].meterReadingKWh, 2.009);
    // The window's ends are inclusive.
    EXPECT_EQ(f.history->samples(7, start + 5000, start + 5000, start + 10 * kSecond).size(), 1u);
    EXPECT_EQ(f.history->samples(7, start + 1, start + 4999, start + 10 * kSecond).size(), 0u);
    // A long window is served per minute.
    auto minutes = f.history->samples(7, start - History::kLongestRawWindowMs - 1, start + 20 * kSecond, start);
    ASSERT_EQ(minutes.size(), 1u);
    EXPECT_EQ(minutes[0].timestampMs, floorTo(start, kMinuteMs));
}

TEST(History, HourlyEnergyIsTheCountersDifferencesAcrossARestartRepeatsAndALongDay)
{
    Fixture f;
    // A reading a minute for 25 local hours, 1 Wh a minute; at 10:30 local
    // the plug restarts and counts 0.5 Wh from zero; some readings come twice,
    // one old value comes again late.
    double counter = 1000;
    std::vector<double> expected(25, 60.0);
    int64_t restartAt = kBerlinLongDayMs + 11 * kHourMs + 30 * kMinuteMs;
    for (int64_t at = kBerlinLongDayMs; at <= kBerlinLongDayMs + 25 * kHourMs; at += kMinuteMs) {
        if (at == restartAt)
            counter = 0.5;
        else if (at != kBerlinLongDayMs)
            counter += 1;
        f.history->record(3, at, 60, counter);
        if (at % (7 * kMinuteMs) == 0)
            f.history->record(3, at + kSecond, 60, counter);
        bool settled = at - kBerlinLongDayMs > 3 * kMinuteMs && (at < restartAt || at - restartAt > 3 * kMinuteMs);
        if (at % (11 * kMinuteMs) == 0 && settled)
            f.history->record(3, at + 2 * kSecond, 60, counter - 2);
    }
    expected[11] = 59.5;
    std::vector<double> kwh;
    for (double wh : expected)
        kwh.push_back(wh / 1000);
    auto blocks = f.history->hourlyEnergy(
        { 3 }, kBerlinLongDayMs, kBerlinLongDayMs + 25 * kHourMs, "Europe/Berlin", kBerlinLongDayMs + 26 * kHourMs);
    EXPECT_EQ(kilowattHours(blocks), kwh);
    EXPECT_EQ(blocks.back().fromMs, kBerlinLongDayMs + 24 * kHourMs);

    // The home's sum, with a second plug; a device not asked for is left out.
    f.history->record(4, kBerlinLongDayMs + 30 * kMinuteMs, 10, 5);
    f.history->record(4, kBerlinLongDayMs + 40 * kMinuteMs, 10, 15);
    f.history->record(9, kBerlinLongDayMs + 40 * kMinuteMs, 10, 0);
    f.history->record(9, kBerlinLongDayMs + 45 * kMinuteMs, 10, 500);
    auto home = f.history->hourlyEnergy(
        { 3, 4 }, kBerlinLongDayMs, kBerlinLongDayMs + kHourMs, "Europe/Berlin", kBerlinLongDayMs + 26 * kHourMs);
    EXPECT_EQ(kilowattHours(home), (std::vector<double> { 0.07 }));
}

TEST(History, HoursFollowTheZonesClockAndASilenceStaysWithoutEnergy)
{
    Fixture f;
    // Kolkata's hours start at half past the UTC hour.
    int64_t start = floorTo(test::kTestStartMs, kHourMs);
    for (int quarter = 0; quarter <= 4; ++quarter)
        f.history->record(1, start + quarter * History::kQuarterMs, 100, quarter * 5.0);
    EXPECT_EQ(kilowattHours(f.history->hourlyEnergy(
                  { 1 }, start - kHourMs, start + 2 * kHourMs, "Asia/Kolkata", start + 2 * kHourMs)),
        (std::vector<double> { 0.01, 0.01 }));

    // Two hours without a word, then the counter's step lands where the plug spoke again.
    f.history->record(1, start + 3 * kHourMs + 5 * kMinuteMs, 100, 320);
    auto blocks = f.history->hourlyEnergy({ 1 }, start, start + 4 * kHourMs, "UTC", start + 4 * kHourMs);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].fromMs, start + 3 * kHourMs);
    EXPECT_DOUBLE_EQ(blocks[1].kilowattHours, 0.3);
    // An hour not yet begun has no block.
    EXPECT_EQ(f.history->hourlyEnergy({ 1 }, start, start + 4 * kHourMs, "UTC", start + 3 * kHourMs - 1).size(), 1u);
}

TEST(History, SurvivesARestartAndForgetsWhatIsOlderThanKept)
{
    Fixture f;
    int64_t start = floorTo(test::kTestStartMs, kHourMs);
    f.history->record(1, start, 10, 100);
    f.history->record(1, start + kMinuteMs, 10, 101);
    f.history->flush(start + kMinuteMs);
    // Restarted: the counter carries on from what was stored, counted once.
    f.reopen();
    f.history->record(1, start + 2 * kMinuteMs, 10, 102);
    f.history->record(1, start + 2 * kMinuteMs + kSecond, 10, 102);
    EXPECT_EQ(kilowattHours(f.history->hourlyEnergy({ 1 }, start, start + kHourMs, "UTC", start + kHourMs)),
        (std::vector<double> { 0.002 }));

    HistorySettings brief;
    brief.rawKeepMs = kDayMs;
    brief.minuteKeepMs = 2 * kDayMs;
    f.reopen(brief);
    auto counts = [&](int64_t nowMs) {
        f.history->flush(nowMs);
        return std::to_string(f.history->samples(1, start, start + kHourMs, nowMs).size()) + " "
            + std::to_string(f.history->samples(1, start, start + kDayMs, nowMs).size());
    };
    EXPECT_EQ(counts(start + kDayMs), "3 3");
    // Past a day the minutes serve the short window too, then they go as well.
    EXPECT_EQ(counts(start + kDayMs + 3 * kMinuteMs), "3 3");
    EXPECT_EQ(counts(start + 2 * kDayMs + 3 * kMinuteMs), "0 0");
    // The energy stays.
    EXPECT_EQ(f.history->hourlyEnergy({ 1 }, start, start + kHourMs, "UTC", start + 3 * kDayMs).size(), 1u);
}

TEST(History, NoStepTheHubHeardOnlyInPartHasASample)
{
    Fixture f;
    int64_t start = floorTo(test::kTestStartMs, kHourMs);
    auto second = [&](int s) { return start + s * kSecond; };
    // The first connection made: nothing was lost before it.
    f.history->hearingAgain(start);
    // A reading a second; the broker lost at 3:20 and back at 4:25.
    for (int s = 0; s < 200; ++s)
        f.history->record(1, second(s), 10, std::nullopt);
    f.history->flush(second(200));
    f.history->hearingLost(second(200));
    f.history->record(1, second(230), 10, std::nullopt); // not heard: kept by no one
    f.history->hearingAgain(second(265));
    for (int s = 265; s < 600; ++s)
        f.history->record(1, second(s), 10, std::nullopt);
    auto times = [&](int64_t fromMs, int64_t toMs) {
        std::vector<int64_t> seconds;
        for (const auto& sample : f.history->samples(1, fromMs, toMs, second(600)))
            seconds.push_back((sample.timestampMs - start) / kSecond);
        return seconds;
    };
    // Per minute, as a graph's week is served: the minute of the loss and
    // that of the return have none (the first written already, and taken
    // out again), so three minutes lie between the samples around them.
    auto minutes = times(start - kDayMs, second(600));
    EXPECT_EQ(minutes, (std::vector<int64_t> { 0, 60, 120, 300, 360, 420, 480, 540 }));
    // Raw: the same for their 5 s.
    auto raw = times(second(180), second(290));
    EXPECT_EQ(raw, (std::vector<int64_t> { 180, 185, 190, 195, 270, 275, 280, 285, 290 }));
    // So it stays once written.
    f.history->flush(second(600));
    f.reopen();
    EXPECT_EQ(times(start - kDayMs, second(600)), minutes);
    EXPECT_EQ(times(second(180), second(290)), raw);
}

TEST(History, SampleBlocksKeepEverySampleInAFewBytes)
{
    int64_t start = floorTo(test::kTestStartMs, History::kRawBlockMs);
    SampleBlock block(start, History::kRawStepMs);
    std::vector<StoredSample> expected;
    for (int i = 0; i < 180; ++i) {
        StoredSample sample { start + i * History::kRawStepMs, 180'500 + (i % 3) * 10, std::nullopt };
        if (i % 2 == 0)
            sample.counterMilliWh = 1'000'000'000 + i * 250;
        block.put(sample);
        expected.push_back(sample);
    }
    EXPECT_EQ(block.samples(), expected);
    EXPECT_LE(block.bytes().size(), 180u * 4);
    // Stored, read back; one outside the block is left out.
    SampleBlock read = SampleBlock::decode(start, History::kRawStepMs, block.bytes());
    read.put(StoredSample { start - 1, 5, std::nullopt });
    EXPECT_EQ(read.samples(), expected);

    // Late, again, negative and the largest a plug may report, in any order.
    SampleBlock mixed(start, History::kRawStepMs);
    mixed.put(StoredSample { start + 50'000, toMilliwatts(1e15), toMilliWattHours(1e12) });
    mixed.put(StoredSample { start + 10'000, toMilliwatts(-3.5), std::nullopt });
    mixed.put(StoredSample { start + 12'000, 7, 0 });
    mixed.put(StoredSample { start + 50'000, toMilliwatts(-1e15), 3 });
    // 12 s falls in the step of 10 s: it replaces the sample there.
    EXPECT_EQ(mixed.samples(),
        (std::vector<StoredSample> { { start + 10'000, 7, 0 }, { start + 50'000, -1'000'000'000'000'000'000, 3 } }));
    // A damaged block reads up to the damage, never past it.
    std::string cut = mixed.bytes().substr(0, mixed.bytes().size() - 1);
    EXPECT_EQ(SampleBlock::decode(start, History::kRawStepMs, cut).samples().size(), 1u);
    EXPECT_TRUE(SampleBlock::decode(start, History::kRawStepMs, std::string(20, '\xff')).samples().empty());
}

TEST(History, ADatabaseOfTheRowPerSampleLayoutIsPackedWhenOpened)
{
    test::ScratchFolder folder;
    std::string path = folder.file("old.db");
    int64_t start = floorTo(test::kTestStartMs, kHourMs);
    {
        Database old(path);
        old.execute(R"sql(
CREATE TABLE raw_samples (device_id INTEGER NOT NULL, at_ms INTEGER NOT NULL, watts REAL NOT NULL,
    counter_wh REAL, PRIMARY KEY (device_id, at_ms)) WITHOUT ROWID;
CREATE TABLE minute_samples (device_id INTEGER NOT NULL, at_ms INTEGER NOT NULL, watts REAL NOT NULL,
    counter_wh REAL, PRIMARY KEY (device_id, at_ms)) WITHOUT ROWID;
CREATE TABLE energy_quarters (device_id INTEGER NOT NULL, quarter_ms INTEGER NOT NULL, wh REAL NOT NULL,
    PRIMARY KEY (device_id, quarter_ms)) WITHOUT ROWID;
CREATE TABLE plug_counters (device_id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, wh REAL NOT NULL);
)sql");
        // Half an hour of raw samples across two blocks, and their minutes.
        for (int64_t at = start; at < start + 30 * kMinuteMs; at += History::kRawStepMs) {
            old.prepare("INSERT INTO raw_samples VALUES (2, ?, 12.25, ?)").bind(1, at).bind(2, 100.0 + at % 7).run();
            if (at % kMinuteMs == 0)
                old.prepare("INSERT INTO minute_samples VALUES (2, ?, 12.25, NULL)").bind(1, at).run();
        }
        old.prepare("INSERT INTO energy_quarters VALUES (2, ?, 7.5)").bind(1, start).run();
        old.prepare("INSERT INTO plug_counters VALUES (2, ?, 106)").bind(1, start + 30 * kMinuteMs).run();
    }
    History history(path, HistorySettings {});
    int64_t now = start + 31 * kMinuteMs;
    auto raw = history.samples(2, start, now, now);
    ASSERT_EQ(raw.size(), 360u);
    EXPECT_EQ(raw[359].timestampMs, start + 30 * kMinuteMs - History::kRawStepMs);
    EXPECT_EQ(raw[359].watts, 12.25);
    EXPECT_DOUBLE_EQ(*raw[359].meterReadingKWh, (100.0 + raw[359].timestampMs % 7) / 1000);
    EXPECT_EQ(history.samples(2, start, start + kDayMs, now).size(), 30u);
    EXPECT_EQ(kilowattHours(history.hourlyEnergy({ 2 }, start, now, "UTC", now)), (std::vector<double> { 0.0075 }));
    // The counter carries on from the stored one.
    history.record(2, now, 12.25, 107);
    EXPECT_EQ(kilowattHours(history.hourlyEnergy({ 2 }, start, now, "UTC", now)), (std::vector<double> { 0.0085 }));
    Database check(path);
    EXPECT_FALSE(check.prepare("SELECT 1 FROM sqlite_master WHERE name = 'raw_samples'").step());
}

TEST(HubClock, StandsWhereSteppedAndStepsOnlyForward)
{
    HubClock clock(2);
    int64_t ahead = clock.now()
        - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
    EXPECT_NEAR(static_cast<double>(ahead), 2.0 * kDayMs, 5000.0);
    int64_t step = clock.now() + kHourMs;
    clock.stepTo(step);
    EXPECT_EQ(clock.now(), step);
    clock.stepTo(step - 1);
    EXPECT_EQ(clock.now(), step);
    for (auto [text, value] : std::vector<std::pair<std::string, std::optional<int64_t>>> {
             { "1796225400000", 1796225400000 }, { "0", 0 }, { "-1", std::nullopt }, { "12x", std::nullopt },
             { "", std::nullopt }, { "253402300800000", std::nullopt } })
        EXPECT_EQ(HubClock::parseStep(text), value) << text;
}
