#include "Household.h"
#include "PowerModel.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace hestio::sim;
using hestio::sim::test::Answer;
using hestio::sim::test::deviceNamed;
using hestio::sim::test::ServiceHarness;

namespace {
// Midnight in New York on the test's day, and the same a week before.
constexpr int64_t kMidnight = 1796187600000;

std::string window(int64_t from, int64_t to)
{
    return "from=" + std::to_string(from) + "&to=" + std::to_string(to);
}
}

TEST(ServiceDevices, DeviceListCarriesEveryKeyTheClientReads)
{
    ServiceHarness sim;
    sim.signIn();
    Answer answer = sim.get("/api/device", "action=true");
    ASSERT_TRUE(answer.success());
    const json::Value& devices = answer.body["devices"];
    ASSERT_GE(devices.count(), 11u);
    ASSERT_LE(devices.count(), 15u);
    std::set<std::string> rooms;
    int unplugged = 0;
    int silent = 0;
    int withoutStatus = 0;
    for (size_t i = 0; i < devices.count(); ++i) {
        const json::Value& d = devices[i];
        SCOPED_TRACE(std::string(d["name"].stringValue()));
        EXPECT_TRUE(d["id"].isNumber());
        EXPECT_TRUE(d["name"].isString());
        rooms.insert(std::string(d["location"].stringValue()));
        if (!d["currentStatus"]) {
            // The printer's meter never reported: listed without a status.
            ++withoutStatus;
            EXPECT_EQ(d["id"].integerValue(), kSilentPrinterId);
            EXPECT_TRUE(d["meterPluggedIn"].boolValue());
            continue;
        }
        EXPECT_TRUE(d["currentStatus"]["timestamp"].isNumber());
        EXPECT_TRUE(d["currentStatus"]["powerDraw"].isNumber());
        EXPECT_TRUE(d["meterPluggedIn"].isBoolean());
        EXPECT_TRUE(d["meterSupplyingPower"].isBoolean());
        EXPECT_EQ(d["onOff"]["device_id"].integerValue(), d["id"].integerValue());
        EXPECT_EQ(d["onOff"]["id"].integerValue(), d["id"].integerValue() * 10 + 1);
        const json::Value& actions = d["possibleActions"];
        ASSERT_GE(actions.count(), 1u);
        EXPECT_EQ(actions[0]["type"].integerValue(), 0);
        for (size_t a = 1; a < actions.count(); ++a) {
            EXPECT_EQ(actions[a]["type"].integerValue(), 1);
            EXPECT_EQ(actions[a]["values"][0]["name"].stringValue(), "Lowest");
            EXPECT_EQ(actions[a]["values"][1]["name"].stringValue(), "Highest");
            EXPECT_LT(actions[a]["values"][0]["value"].integerValue(), actions[a]["values"][1]["value"].integerValue());
        }
        EXPECT_FALSE(d["suggestions"]) << "action=true leaves suggestions out";
        unplugged += !d["meterPluggedIn"].boolValue();
        int64_t age = sim.time.now() - d["currentStatus"]["timestamp"].integerValue();
        if (age >= 5 * 60'000) {
            ++silent;
            EXPECT_EQ(age, 3 * kHourMs);
        }
    }
    EXPECT_EQ(rooms.size(), 5u);
    EXPECT_EQ(unplugged, 1);
    EXPECT_EQ(silent, 1);
    EXPECT_EQ(withoutStatus, 1);
    // Dimmable lamps offer a brightness from Lowest 0 to Highest 100.
    json::Value lamp = deviceNamed(answer.body, "Living Room Lamp");
    EXPECT_EQ(lamp["possibleActions"][1]["name"].stringValue(), "Brightness");
    EXPECT_EQ(lamp["possibleActions"][1]["values"][1]["value"].integerValue(), 100);
}

TEST(ServiceDevices, SwitchingChangesTheStateAtOnceAndTheLaterSamples)
{
    ServiceHarness sim;
    sim.signIn();
    json::Value fridge = deviceNamed(sim.get("/api/device", "action=true").body, "Fridge");
    ASSERT_TRUE(fridge["meterSupplyingPower"].boolValue());
    ASSERT_GT(fridge["currentStatus"]["powerDraw"].doubleValue(), 0);

    int64_t switchedAt = sim.time.now();
    // The client's on/off request goes to "/api/action?" with an empty query.
    ASSERT_TRUE(
        sim.raw("POST", "/api/action", "", "device_id=101&act_id=1011&act_value=0&token=" + sim.token).success());
    fridge = deviceNamed(sim.get("/api/device", "action=true").body, "Fridge");
    EXPECT_FALSE(fridge["meterSupplyingPower"].boolValue());
    EXPECT_EQ(fridge["currentStatus"]["powerDraw"].doubleValue(), 0.0);

    sim.time.advance(30 * kMinuteMs);
    Answer statuses = sim.get("/api/status",
        "device_id=101&ascending=true&" + window(switchedAt - kHourMs, sim.time.now())
            + "&filter=true&rounding=1&scale=RAW");
    const json::Value& samples = statuses.body["statuses"];
    ASSERT_EQ(samples.count(), 91u);
    for (size_t i = 0; i < samples.count(); ++i) {
        int64_t t = samples[i]["timestamp"].integerValue();
        if (t >= switchedAt)
            EXPECT_EQ(samples[i]["powerDraw"].doubleValue(), 0.0) << t;
        else
            EXPECT_GT(samples[i]["powerDraw"].doubleValue(), 0.0) << t;
    }
    ASSERT_TRUE(sim.post("/api/action", "device_id=101&act_id=1011&act_value=1").success());
    EXPECT_TRUE(deviceNamed(sim.get("/api/device", "action=true").body, "Fridge")["meterSupplyingPower"].boolValue());
}

TEST(ServiceDevices, ActionsAreCheckedAgainstTheDevice)
{
    ServiceHarness sim;
    sim.signIn();
    Answer devices = sim.get("/api/device", "action=true");
    std::string unplugged;
    for (size_t i = 0; i < devices.body["devices"].count(); ++i) {
        if (!devices.body["devices"][i]["meterPluggedIn"].boolValue())
            unplugged = std::to_string(devices.body["devices"][i]["id"].integerValue());
    }
    ASSERT_FALSE(unplugged.empty());
    struct Case {
        std::string parameters;
        int status;
    };
    const Case cases[] = {
        { "device_id=104&act_id=1042&act_value=35", 200 },
        { "device_id=104&act_id=1042&act_value=101", 400 },
        { "device_id=104&act_id=1042&act_value=-1", 400 },
        { "device_id=104&act_id=1042&act_value=4.5", 400 },
        { "device_id=104&act_id=1041&act_value=2", 400 },
        { "device_id=104&act_id=1052&act_value=1", 404 },
        { "device_id=101&act_id=1012&act_value=1", 404 },
        { "device_id=999&act_id=9991&act_value=1", 404 },
        { "device_id=abc&act_id=1&act_value=1", 400 },
        { "device_id=104&act_id=1042", 400 },
        { "device_id=" + unplugged + "&act_id=" + unplugged + "1&act_value=1", 409 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim.post("/api/action", c.parameters).status, c.status) << c.parameters;
    json::Value lamp = deviceNamed(sim.get("/api/device", "action=true").body, "Living Room Lamp");
    EXPECT_EQ(lamp["possibleActions"][1]["values"][2]["value"].integerValue(), 35);
}

TEST(ServiceDevices, RenamingAndMovingAreKept)
{
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(sim.post("/api/device", "device_id=105&location=" + percentEncode("Den & Study") + "&name=").success());
    Answer devices = sim.get("/api/device", "action=true");
    bool found = false;
    for (size_t i = 0; i < devices.body["devices"].count(); ++i) {
        const json::Value& d = devices.body["devices"][i];
        if (d["id"].integerValue() == 105) {
            found = true;
            EXPECT_EQ(d["name"].stringValue(), "");
            EXPECT_EQ(d["location"].stringValue(), "Den & Study");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(
        sim.post("/api/device", "device_id=105&location=&name=TV").error(), "parameter location must not be empty");
    EXPECT_EQ(sim.post("/api/device", "device_id=105&name=TV").error(), "missing parameter location");
    EXPECT_EQ(sim.post("/api/device", "device_id=999&location=Den&name=TV").status, 404);
}

TEST(ServiceDevices, SuggestionsComeFromUsageAndCanBeAnswered)
{
    ServiceHarness sim;
    sim.signIn();
    Answer answer = sim.get("/api/device", "suggestion=true");
    ASSERT_TRUE(answer.success());
    const json::Value& devices = answer.body["devices"];
    int64_t heaterSuggestion = 0;
    int64_t tvSuggestion = 0;
    size_t total = 0;
    for (size_t i = 0; i < devices.count(); ++i) {
        const json::Value& d = devices[i];
        EXPECT_TRUE(d["name"].isString());
        EXPECT_TRUE(d["location"].isString());
        EXPECT_FALSE(d["possibleActions"]) << "suggestion=true leaves actions out";
        const json::Value& suggestions = d["suggestions"];
        ASSERT_TRUE(suggestions.isArray());
        total += suggestions.count();
        for (size_t s = 0; s < suggestions.count(); ++s) {
            EXPECT_TRUE(suggestions[s]["name"].isString());
            EXPECT_TRUE(suggestions[s]["id"].isNumber());
            EXPECT_TRUE(suggestions[s]["action"]);
            EXPECT_EQ(suggestions[s]["state"].stringValue(), "NEW");
            if (d["name"].stringValue() == "Heater")
                heaterSuggestion = suggestions[s]["id"].integerValue();
            if (d["name"].stringValue() == "TV")
                tvSuggestion = suggestions[s]["id"].integerValue();
        }
    }
    // Seed 1 sets the heater to 22, and the TV idles on standby most of the day.
    ASSERT_EQ(heaterSuggestion, 1083);
    ASSERT_EQ(tvSuggestion, 1051);
    ASSERT_GE(total, 3u);

    // Following the heater's suggestion turns it down to 20.
    ASSERT_TRUE(sim.post("/api/suggestion", "sug_id=1083&state=FOLLOWED").success());
    json::Value heater = deviceNamed(sim.get("/api/device", "action=true").body, "Heater");
    EXPECT_EQ(heater["possibleActions"][1]["values"][2]["value"].integerValue(), 20);
    // Ignoring the TV's changes nothing but the list.
    ASSERT_TRUE(sim.post("/api/suggestion", "sug_id=1051&state=IGNORED").success());
    EXPECT_TRUE(deviceNamed(sim.get("/api/device", "action=true").body, "TV")["meterSupplyingPower"].boolValue());

    Answer after = sim.get("/api/device", "suggestion=true");
    size_t remaining = 0;
    for (size_t i = 0; i < after.body["devices"].count(); ++i)
        remaining += after.body["devices"][i]["suggestions"].count();
    EXPECT_EQ(remaining, total - 2);

    EXPECT_EQ(sim.post("/api/suggestion", "sug_id=1051&state=FOLLOWED").status, 409);
    EXPECT_EQ(sim.post("/api/suggestion", "sug_id=7&state=FOLLOWED").status, 404);
    EXPECT_EQ(
        sim.post("/api/suggestion", "sug_id=1051&state=LIKED").error(), "parameter state must be FOLLOWED or IGNORED");
}

TEST(ServiceDevices, AWeekOfStatusesIsServedRawAndInOrder)
{
    ServiceHarness sim;
    sim.signIn();
    std::string params = "device_id=101&ascending=true&" + window(kMidnight - 7 * kDayMs, kMidnight - 1)
        + "&filter=true&rounding=1&scale=RAW";
    Answer week = sim.get("/api/status", params);
    const json::Value& samples = week.body["statuses"];
    ASSERT_EQ(samples.count(), 10'080u);
    for (size_t i = 1; i < samples.count(); ++i)
        ASSERT_EQ(samples[i]["timestamp"].integerValue() - samples[i - 1]["timestamp"].integerValue(), kMinuteMs);
    // rounding=1: one decimal at most.
    for (size_t i = 0; i < 50; ++i) {
        double w = samples[i]["powerDraw"].doubleValue();
        EXPECT_NEAR(w * 10, std::round(w * 10), 1e-6) << w;
    }
    // Same question, same answer.
    Answer again = sim.get("/api/status", params);
    EXPECT_TRUE(again.body["statuses"] == samples);

    Answer descending
        = sim.get("/api/status", "device_id=101&ascending=false&" + window(kMidnight, kMidnight + 10 * kMinuteMs));
    ASSERT_EQ(descending.body["statuses"].count(), 11u);
    EXPECT_EQ(descending.body["statuses"][0]["timestamp"].integerValue(), kMidnight + 10 * kMinuteMs);

    // Nothing is reported from the future.
    Answer future
        = sim.get("/api/status", "device_id=101&" + window(sim.time.now() + kMinuteMs, sim.time.now() + kHourMs));
    EXPECT_EQ(future.body["statuses"].count(), 0u);

    struct Case {
        std::string parameters;
        std::string error;
    };
    const Case cases[] = {
        { "device_id=101&" + window(5, 4), "parameter to must not be before from" },
        { "device_id=101&" + window(0, 36 * kDayMs), "the window from from to to is longer than 35 days" },
        { "device_id=101&from=1", "missing parameter to" },
        { "device_id=101&" + window(0, 1) + "&scale=HOURLY", "parameter scale must be RAW" },
        { "device_id=101&" + window(0, 1) + "&rounding=9", "parameter rounding must lie between 0 and 6" },
        { "device_id=101&" + window(0, 1) + "&ascending=yes", "parameter ascending must be true or false" },
        { "device_id=101&from=1.5&to=2", "parameter from must be a whole number" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim.get("/api/status", c.parameters).error(), c.error) << c.parameters;
}

TEST(ServiceDevices, TheDemoMetersFaultsShowInTheirReplies)
{
    ServiceHarness sim;
    sim.signIn();
    // The Heater yesterday (midnight to midnight in New York): nothing
    // between 18:20 and 19:00, and the meter's register back at zero at 21:15.
    const int64_t yesterday = kMidnight - kDayMs;
    Answer day = sim.get("/api/status",
        "device_id=108&ascending=true&" + window(yesterday, kMidnight - 1) + "&filter=true&rounding=1&scale=RAW");
    const json::Value& samples = day.body["statuses"];
    ASSERT_EQ(samples.count(), 1440u - 39u);
    std::vector<std::pair<int64_t, int64_t>> steps; // (from minute of the day, length in minutes) longer than one
    std::vector<int64_t> backwards; // minutes of the day where the reading went down
    for (size_t i = 1; i < samples.count(); ++i) {
        int64_t before = samples[i - 1]["timestamp"].integerValue();
        int64_t at = samples[i]["timestamp"].integerValue();
        if (at - before != kMinuteMs)
            steps.emplace_back((before - yesterday) / kMinuteMs, (at - before) / kMinuteMs);
        ASSERT_TRUE(samples[i]["meterReading"].isNumber()) << at;
        if (samples[i]["meterReading"].doubleValue() < samples[i - 1]["meterReading"].doubleValue())
            backwards.push_back((at - yesterday) / kMinuteMs);
    }
    EXPECT_EQ(steps, (std::vector<std::pair<int64_t, int64_t>> { { 18 * 60 + 20, 40 } }));
    EXPECT_EQ(backwards, (std::vector<int64_t> { 21 * 60 + 15 }));
    int64_t resetIndex = 21 * 60 + 15 - 39;
    EXPECT_EQ(samples[static_cast<size_t>(resetIndex)]["meterReading"].doubleValue(), 0.0);

    // The printer is listed but sends nothing, and cannot be switched.
    Answer printer = sim.get("/api/status", "device_id=115&" + window(yesterday, sim.time.now()));
    EXPECT_EQ(printer.body["statuses"].count(), 0u);
    Answer hours = sim.get("/api/energyconsumption", "device_id=115&" + window(yesterday, sim.time.now()));
    EXPECT_EQ(hours.body["energyConsumptions"].count(), 0u);
    Answer refused = sim.post("/api/action", "device_id=115&act_id=1151&act_value=0");
    EXPECT_EQ(refused.status, 409);
    EXPECT_EQ(refused.error(), "the meter of Printer does not answer");
}

TEST(ServiceDevices, HourlyEnergyAddsUpTheSamplesAndBatteryMeansTheHome)
{
    ServiceHarness sim;
    sim.signIn();
    std::string span = window(kMidnight, sim.time.now());
    Answer fridge = sim.get("/api/energyconsumption", "device_id=101&" + span + "&block=CLOCK_HOUR");
    const json::Value& hours = fridge.body["energyConsumptions"];
    ASSERT_EQ(hours.count(), 11u); // 00:00 to 10:00 local, the last hour half over
    Answer samples
        = sim.get("/api/status", "device_id=101&" + window(kMidnight, kMidnight + kHourMs - 1) + "&rounding=6");
    double wattMinutes = 0;
    for (size_t i = 0; i < samples.body["statuses"].count(); ++i)
        wattMinutes += samples.body["statuses"][i]["powerDraw"].doubleValue();
    EXPECT_EQ(hours[0]["from"].integerValue(), kMidnight);
    EXPECT_NEAR(hours[0]["energyConsumed"].doubleValue(), wattMinutes / 60000.0, 1e-5);
    for (size_t i = 0; i < hours.count(); ++i)
        EXPECT_EQ(hours[i]["from"].integerValue(), kMidnight + static_cast<int64_t>(i) * kHourMs);

    Answer home = sim.get("/api/energyconsumption", "device_id=battery&" + span + "&block=CLOCK_HOUR");
    const json::Value& homeHours = home.body["energyConsumptions"];
    ASSERT_EQ(homeHours.count(), hours.count());
    double devicesTotal = 0;
    Answer list = sim.get("/api/device", "action=true");
    for (size_t d = 0; d < list.body["devices"].count(); ++d) {
        std::string id = std::to_string(list.body["devices"][d]["id"].integerValue());
        devicesTotal += sim.get("/api/energyconsumption", "device_id=" + id + "&" + span)
                            .body["energyConsumptions"][7]["energyConsumed"]
                            .doubleValue();
    }
    EXPECT_NEAR(homeHours[7]["energyConsumed"].doubleValue(), devicesTotal, 1e-4);
    EXPECT_GT(homeHours[7]["energyConsumed"].doubleValue(), 0.1); // the kettle boils at 07:05

    EXPECT_EQ(sim.get("/api/energyconsumption", "device_id=101&" + span + "&block=DAY").status, 400);
    EXPECT_EQ(sim.get("/api/energyconsumption", "device_id=lamp&" + span).status, 400);
    EXPECT_EQ(sim.get("/api/energyconsumption", "device_id=998&" + span).status, 404);
}

TEST(ServiceDevices, BatteryGivesTheLatestOrAWindow)
{
    ServiceHarness sim;
    sim.signIn();
    Answer latest = sim.get("/api/battery", "count=1");
    ASSERT_EQ(latest.body["statuses"].count(), 1u);
    const json::Value& status = latest.body["statuses"][0];
    EXPECT_EQ(status["timestamp"].integerValue(), floorTo(sim.time.now(), kMinuteMs));
    EXPECT_GE(status["percentage"].doubleValue(), 0.0);
    EXPECT_LE(status["percentage"].doubleValue(), 100.0);
    EXPECT_TRUE(status["voltage"].isNumber());
    EXPECT_TRUE(status["isCharging"].boolValue()); // 10:30 in New York

    Answer five = sim.get("/api/battery", "count=5");
    ASSERT_EQ(five.body["statuses"].count(), 5u);
    EXPECT_GT(
        five.body["statuses"][0]["timestamp"].integerValue(), five.body["statuses"][4]["timestamp"].integerValue());

    // The battery graph's parameters begin with "&".
    Answer week = sim.get(
        "/api/battery", "&" + window(kMidnight - 7 * kDayMs, kMidnight - 1) + "&filter=true&scale=RAW&rounding=1");
    ASSERT_EQ(week.body["statuses"].count(), 10'080u);
    EXPECT_LT(
        week.body["statuses"][0]["timestamp"].integerValue(), week.body["statuses"][1]["timestamp"].integerValue());

    EXPECT_EQ(sim.get("/api/battery").error(), "give either count or from and to");
    EXPECT_EQ(sim.get("/api/battery", "count=0").status, 400);
    EXPECT_EQ(sim.get("/api/battery", "count=10081").status, 400);
    EXPECT_EQ(sim.get("/api/battery", "count=2&" + window(0, 1)).status, 400);
}

TEST(ServiceDevices, ASuggestionShownAMomentAgoCanStillBeAnsweredOnceItIsNoLongerCalledFor)
{
    ServiceHarness sim;
    sim.signIn();
    auto listed = [&](int64_t id) {
        json::Value devices = sim.get("/api/device", "suggestion=true").body["devices"];
        for (size_t i = 0; i < devices.count(); ++i)
            for (size_t s = 0; s < devices[i]["suggestions"].count(); ++s)
                if (devices[i]["suggestions"][s]["id"].integerValue() == id)
                    return true;
        return false;
    };
    // The TV's standby suggestion goes once the TV is switched off (as
    // following another of its suggestions would), and its answer still counts.
    ASSERT_TRUE(listed(1051));
    ASSERT_TRUE(sim.post("/api/action", "device_id=105&act_id=1051&act_value=0").success());
    ASSERT_FALSE(listed(1051));
    EXPECT_TRUE(sim.post("/api/suggestion", "sug_id=1051&state=IGNORED").success());
    EXPECT_EQ(sim.post("/api/suggestion", "sug_id=1051&state=IGNORED").status, 409);

    // Ids that never stand for a suggestion of that device are still refused.
    for (const char* id : { "1053", "1054", "1050", "1059", "10510", "0" }) {
        Answer refused = sim.post("/api/suggestion", std::string("sug_id=") + id + "&state=IGNORED");
        EXPECT_EQ(refused.status, 404) << id;
        EXPECT_EQ(refused.error(), std::string("no suggestion has id ") + id) << id;
    }
}
