#include "PowerModel.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace hestio::sim;

namespace {
DeviceRow makeDevice(int64_t id, const std::string& kind)
{
    DeviceRow device;
    device.id = id;
    device.name = kind;
    device.room = "Room";
    device.kind = kind;
    return device;
}

const int64_t kMidnightNewYork = 1796187600000; // 2026-12-02 00:00 at UTC-5
}

TEST(PowerModel, AWeekHasOneSamplePerMinuteInOrder)
{
    PowerModel model(1, -300);
    DeviceRow fridge = makeDevice(101, "fridge");
    StateTimeline timeline({ StateChange { INT64_MIN, true, 0 } });
    int64_t from = kMidnightNewYork - 7 * kDayMs;
    auto samples = model.samples(fridge, timeline, from, kMidnightNewYork - 1, kMidnightNewYork);
    ASSERT_EQ(samples.size(), 10'080u);
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(samples[i].timestampMs, from + static_cast<int64_t>(i) * kMinuteMs) << i;
}

TEST(PowerModel, SamplesStopAtNowAndWhereTheMeterWentSilent)
{
    PowerModel model(1, -300);
    StateTimeline timeline({});
    DeviceRow router = makeDevice(106, "router");
    auto upToNow = model.samples(
        router, timeline, kMidnightNewYork, kMidnightNewYork + kDayMs, kMidnightNewYork + 90 * kMinuteMs + 59'999);
    ASSERT_EQ(upToNow.size(), 91u);
    EXPECT_EQ(upToNow.back().timestampMs, kMidnightNewYork + 90 * kMinuteMs);

    router.reportsUntilMs = kMidnightNewYork + 30 * kMinuteMs;
    auto silent
        = model.samples(router, timeline, kMidnightNewYork, kMidnightNewYork + kDayMs, kMidnightNewYork + kDayMs);
    ASSERT_EQ(silent.size(), 31u);
    auto last = model.current(router, timeline, kMidnightNewYork + 5 * kHourMs);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->timestampMs, kMidnightNewYork + 30 * kMinuteMs);
    EXPECT_GT(last->watts, 10.0);

    // A window that starts mid-minute begins at the next whole minute; an
    // inverted one is empty.
    EXPECT_EQ(
        model.samples(router, timeline, kMidnightNewYork + 1, kMidnightNewYork + kMinuteMs, kMidnightNewYork + kDayMs)
            .size(),
        1u);
    EXPECT_TRUE(
        model.samples(router, timeline, kMidnightNewYork + kMinuteMs, kMidnightNewYork, kMidnightNewYork + kDayMs)
            .empty());
}

TEST(PowerModel, AnOutageLeavesOutItsMinutesAndItsHoursOfEnergy)
{
    PowerModel model(1, -300);
    StateTimeline timeline({});
    DeviceRow router = makeDevice(106, "router");
    // Nothing between 01:20 and 02:00, and again between 03:59 and 05:00.
    router.outages = { MeterOutage { kMidnightNewYork + 80 * kMinuteMs, kMidnightNewYork + 2 * kHourMs },
        MeterOutage { kMidnightNewYork + 4 * kHourMs - kMinuteMs, kMidnightNewYork + 5 * kHourMs } };
    auto samples = model.samples(
        router, timeline, kMidnightNewYork, kMidnightNewYork + 6 * kHourMs - 1, kMidnightNewYork + kDayMs);
    ASSERT_EQ(samples.size(), 6u * 60 - 39 - 60);
    for (size_t i = 1; i < samples.size(); ++i) {
        int64_t step = samples[i].timestampMs - samples[i - 1].timestampMs;
        int64_t at = samples[i - 1].timestampMs - kMidnightNewYork;
        if (at == 80 * kMinuteMs)
            EXPECT_EQ(step, 40 * kMinuteMs) << "01:20 is followed by 02:00";
        else if (at == 3 * kHourMs + 59 * kMinuteMs)
            EXPECT_EQ(step, 61 * kMinuteMs) << "03:59 is followed by 05:00";
        else
            EXPECT_EQ(step, kMinuteMs) << at;
    }
    // The hour without any sample has no block; the hour with 21 samples has one.
    auto hours = model.hourlyEnergy(
        { router }, {}, kMidnightNewYork, kMidnightNewYork + 6 * kHourMs, kMidnightNewYork + kDayMs);
    std::vector<int64_t> starts;
    for (const auto& block : hours)
        starts.push_back((block.fromMs - kMidnightNewYork) / kHourMs);
    EXPECT_EQ(starts, (std::vector<int64_t> { 0, 1, 2, 3, 5 }));
    EXPECT_NEAR(hours[1].kilowattHours, 21 * 11.0 / 60000.0, 21 * 11.0 * 0.03 / 60000.0);

    // Within an outage the latest sample is the one before it; a meter that
    // never reported has none.
    auto during = model.current(router, timeline, kMidnightNewYork + 90 * kMinuteMs);
    ASSERT_TRUE(during);
    EXPECT_EQ(during->timestampMs, kMidnightNewYork + 80 * kMinuteMs);
    DeviceRow printer = makeDevice(115, "printer");
    printer.outages = { MeterOutage { INT64_MIN, INT64_MAX } };
    EXPECT_FALSE(model.current(printer, timeline, kMidnightNewYork));
    EXPECT_TRUE(
        model.samples(printer, timeline, kMidnightNewYork - kDayMs, kMidnightNewYork, kMidnightNewYork).empty());
    EXPECT_TRUE(
        model.hourlyEnergy({ printer }, {}, kMidnightNewYork - kDayMs, kMidnightNewYork, kMidnightNewYork).empty());
}

TEST(PowerModel, TheMeterReadingCountsFromTheRegistersLatestStart)
{
    PowerModel model(1, -300);
    StateTimeline timeline({});
    DeviceRow router = makeDevice(106, "router");
    const int64_t installed = kMidnightNewYork - 2 * kDayMs + 30'000; // mid-minute: counts from the next minute
    const int64_t reset = kMidnightNewYork + 3 * kHourMs;
    router.registerStartsMs = { installed, reset };
    // The meter measures while it cannot send: an outage does not stop the count.
    router.outages = { MeterOutage { kMidnightNewYork + kHourMs, kMidnightNewYork + 2 * kHourMs } };

    auto samples = model.samples(
        router, timeline, installed - 2 * kMinuteMs, kMidnightNewYork + 4 * kHourMs, kMidnightNewYork + kDayMs);
    model.addMeterReadings(router, timeline, samples);
    double sum = 0;
    int64_t counted = ceilTo(installed, kMinuteMs);
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.timestampMs);
        if (sample.timestampMs < installed) {
            EXPECT_FALSE(sample.meterReadingKWh) << "not installed yet";
            continue;
        }
        if (sample.timestampMs == reset) {
            sum = 0;
            counted = reset;
        }
        for (; counted < sample.timestampMs; counted += kMinuteMs)
            sum += model.watts(router, timeline.at(counted), counted) / 60000.0;
        ASSERT_TRUE(sample.meterReadingKWh);
        EXPECT_NEAR(*sample.meterReadingKWh, sum, 1e-9);
    }
    // Just before the reset the register holds two days and three hours of an
    // 11 W router; at the reset it goes back to zero.
    auto at = [&](int64_t t) {
        return *std::find_if(samples.begin(), samples.end(), [&](const auto& s) {
            return s.timestampMs == t;
        })->meterReadingKWh;
    };
    EXPECT_NEAR(at(reset - kMinuteMs), 11.0 * 51 / 1000.0, 0.03 * 11.0 * 51 / 1000.0);
    EXPECT_EQ(at(reset), 0.0);
    EXPECT_NEAR(at(reset + kHourMs), 11.0 / 1000.0, 0.03 * 11.0 / 1000.0);
}

TEST(PowerModel, SwitchingOffZeroesLaterSamplesOnly)
{
    PowerModel model(1, -300);
    DeviceRow fridge = makeDevice(101, "fridge");
    int64_t off = kMidnightNewYork + 60 * kMinuteMs;
    StateTimeline timeline({ StateChange { INT64_MIN, true, 0 }, StateChange { off, false, 0 } });
    auto samples
        = model.samples(fridge, timeline, kMidnightNewYork, kMidnightNewYork + 2 * kHourMs, kMidnightNewYork + kDayMs);
    for (const auto& sample : samples) {
        if (sample.timestampMs < off)
            EXPECT_GT(sample.watts, 0.0) << sample.timestampMs;
        else
            EXPECT_EQ(sample.watts, 0.0) << sample.timestampMs;
    }
    EXPECT_EQ(model.current(fridge, timeline, off + 1)->watts, 0.0);

    fridge.meterPluggedIn = false;
    EXPECT_EQ(model.current(fridge, StateTimeline({}), off - 1)->watts, 0.0);
}

TEST(PowerModel, RangeLevelScalesTheDraw)
{
    PowerModel model(1, -300);
    DeviceRow lamp = makeDevice(104, "lamp");
    int64_t evening = kMidnightNewYork + 20 * kHourMs;
    double bright = model.watts(lamp, StateChange { 0, true, 100 }, evening);
    double dim = model.watts(lamp, StateChange { 0, true, 20 }, evening);
    EXPECT_GT(bright, dim * 2);
    EXPECT_EQ(model.watts(lamp, StateChange { 0, true, 0 }, evening), 0.0);
    // Unless left on, a lamp is dark at noon.
    EXPECT_EQ(model.watts(lamp, StateChange { 0, true, 100 }, kMidnightNewYork + 12 * kHourMs), 0.0);
    lamp.leftOn = true;
    EXPECT_GT(model.watts(lamp, StateChange { 0, true, 100 }, kMidnightNewYork + 12 * kHourMs), 0.0);
}

TEST(PowerModel, HourlyEnergyIsTheIntegralOfTheSamples)
{
    PowerModel model(7, -300);
    std::vector<DeviceRow> devices { makeDevice(101, "fridge"), makeDevice(108, "heater"), makeDevice(102, "kettle") };
    std::map<int64_t, StateTimeline> timelines;
    timelines.emplace(108, StateTimeline({ StateChange { INT64_MIN, true, 24 } }));
    int64_t now = kMidnightNewYork + 19 * kHourMs + 30 * kMinuteMs;
    auto blocks = model.hourlyEnergy(devices, timelines, kMidnightNewYork, now, now);
    ASSERT_EQ(blocks.size(), 20u); // 00:00 to 19:00, the last hour half over
    static const StateTimeline none({});
    for (const auto& block : blocks) {
        double wattMinutes = 0;
        for (const auto& device : devices) {
            auto found = timelines.find(device.id);
            for (const auto& s : model.samples(device, found == timelines.end() ? none : found->second, block.fromMs,
                     block.fromMs + kHourMs - 1, now))
                wattMinutes += s.watts;
        }
        EXPECT_NEAR(block.kilowattHours, wattMinutes / 60000.0, 1e-9) << block.fromMs;
        EXPECT_EQ((block.fromMs - kMidnightNewYork) % kHourMs, 0);
    }
    // The kettle boils at 07:05 for three minutes: 2.2 kW for 3 minutes is 0.11 kWh on top.
    EXPECT_GT(blocks[7].kilowattHours, 0.1);
}

TEST(PowerModel, HoursFollowTheLocalClockOfHalfHourZones)
{
    PowerModel model(1, 330); // UTC+5:30
    auto blocks = model.hourlyEnergy({ makeDevice(101, "fridge") }, {}, 0, 3 * kHourMs, 3 * kHourMs);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].fromMs, 30 * kMinuteMs);
}

TEST(PowerModel, BatteryChargesByDayAndDischargesByNight)
{
    PowerModel model(1, -300);
    auto morning = model.battery(kMidnightNewYork + 9 * kHourMs + 5 * kMinuteMs);
    auto afternoon = model.battery(kMidnightNewYork + 15 * kHourMs + 55 * kMinuteMs);
    auto night = model.battery(kMidnightNewYork + 23 * kHourMs);
    EXPECT_TRUE(morning.charging);
    EXPECT_TRUE(afternoon.charging);
    EXPECT_FALSE(night.charging);
    EXPECT_GT(afternoon.percentage, morning.percentage + 40);
    EXPECT_LT(night.percentage, afternoon.percentage);
    for (int64_t t = kMidnightNewYork; t < kMidnightNewYork + 2 * kDayMs; t += 7 * kMinuteMs) {
        auto r = model.battery(t);
        ASSERT_GE(r.percentage, 0.0);
        ASSERT_LE(r.percentage, 100.0);
        ASSERT_GT(r.voltage, 47.0);
        ASSERT_LT(r.voltage, 54.0);
    }
    auto readings
        = model.batteryReadings(kMidnightNewYork, kMidnightNewYork + kHourMs, kMidnightNewYork + 10 * kMinuteMs + 5);
    EXPECT_EQ(readings.size(), 11u);
}

TEST(PowerModel, SameSeedSameAnswersOtherSeedOtherNoise)
{
    DeviceRow tv = makeDevice(105, "tv");
    StateTimeline timeline({});
    auto a = PowerModel(3, -300).samples(
        tv, timeline, kMidnightNewYork, kMidnightNewYork + kDayMs, kMidnightNewYork + kDayMs);
    auto b = PowerModel(3, -300).samples(
        tv, timeline, kMidnightNewYork, kMidnightNewYork + kDayMs, kMidnightNewYork + kDayMs);
    auto c = PowerModel(4, -300).samples(
        tv, timeline, kMidnightNewYork, kMidnightNewYork + kDayMs, kMidnightNewYork + kDayMs);
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].watts, b[i].watts);
        differing += a[i].watts != c[i].watts;
    }
    EXPECT_GT(differing, 1000);
}

TEST(PowerModel, TimelineGivesTheStateInForce)
{
    StateTimeline timeline(
        { StateChange { 100, true, 5 }, StateChange { 200, false, 5 }, StateChange { 200, true, 9 } });
    EXPECT_EQ(timeline.at(50).level, 5); // before the first change: the initial state
    EXPECT_FALSE(timeline.at(199).level != 5);
    EXPECT_TRUE(timeline.at(200).switchedOn); // the later of two changes at one instant wins
    EXPECT_EQ(timeline.at(200).level, 9);
    EXPECT_TRUE(StateTimeline({}).at(1).switchedOn);
}
