#include "PlugMessages.h"
#include "DeviceMapping.h"

#include <gtest/gtest.h>

using namespace hestio::sim;

namespace {
/// One report's readings as text, so a table can state them in one line:
/// key|unit|watts|Wh|relay|online|stamp|shows ("-" for a missing field).
std::string summary(const PlugReport& r)
{
    auto number = [](const std::optional<double>& v) {
        if (!v)
            return std::string("-");
        char text[32];
        std::snprintf(text, sizeof text, "%g", *v);
        return std::string(text);
    };
    auto flag = [](const std::optional<bool>& v) { return v ? (*v ? std::string("1") : std::string("0")) : "-"; };
    return r.key + "|" + r.unit + "|" + number(r.watts) + "|" + number(r.energyWh) + "|" + flag(r.relayOn) + "|"
        + flag(r.online) + "|" + (r.stampedMs ? std::to_string(*r.stampedMs) : "-") + "|" + (r.showsPlug ? "y" : "n");
}

std::string summaries(const std::vector<PlugReport>& reports)
{
    std::string text;
    for (const auto& r : reports)
        text += (text.empty() ? "" : " ; ") + summary(r);
    return text;
}

struct Case {
    const char* topic;
    std::string payload;
    const char* expected;
};
}

TEST(PlugMessages, JsonRpcFamilyReadsStatusNotificationsAndAvailability)
{
    const Case cases[] = {
        { "plugs-a8/status/switch:0",
            R"({"id":0,"output":true,"apower":45.5,"voltage":231,"aenergy":{"total":1234.5,"by_minute":[1,2]}})",
            "rpc:plugs-a8:0|rpc:plugs-a8|45.5|1234.5|1|-|-|y" },
        { "plugs-a8/status/switch:1", R"({"output":false,"apower":-1.5})",
            "rpc:plugs-a8:1|rpc:plugs-a8|-1.5|-|0|-|-|y" },
        { "plugs-a8/status/switch:16", R"({"output":false})", "" },
        { "plugs-a8/status/switch:x", R"({"output":false})", "" },
        { "plugs-a8/status/sys", R"({"output":false})", "" },
        // A counter alone still counts; a negative counter is no counter.
        { "p/status/switch:0", R"({"aenergy":{"total":5}})", "rpc:p:0|rpc:p|-|5|-|-|-|n" },
        { "p/status/switch:0", R"({"aenergy":{"total":-5},"apower":"12"})", "" },
        { "p/online", "true", "|rpc:p|-|-|-|1|-|n" },
        { "p/online", "false", "|rpc:p|-|-|-|0|-|n" },
        { "p/online", "yes", "" },
        { "p/events/rpc",
            R"({"src":"p","method":"NotifyStatus","params":{"ts":1733560000.12,"switch:0":{"output":false}}})",
            "rpc:p:0|rpc:p|-|-|0|-|1733560000120|y" },
        { "p/events/rpc", R"({"method":"NotifyEvent","params":{"switch:0":{"output":false}}})", "" },
        { "+/status/switch:0", R"({"output":true})", "" },
        { "a/b/status/switch:0", R"({"output":true})", "" },
        { "p/status/switch:0", "{\"output\":true,\"apower\":1e400}", "" },
        { "p/status/switch:0", "not json", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaries(parseJsonRpcMessage(c.topic, c.payload)), c.expected) << c.topic << " " << c.payload;

    auto reports = parseJsonRpcMessage("kitchen/status/switch:1", R"({"output":true})");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].name, "kitchen 1");
    EXPECT_EQ(reports[0].command, (PlugCommand { "kitchen/command/switch:1", "on", "off" }));
}

TEST(PlugMessages, CommandLineFamilyReadsTelemetryStateAndDiscovery)
{
    const Case cases[] = {
        { "tele/kitchen_plug/SENSOR",
            R"({"Time":"2026-12-07T10:15:00","ENERGY":{"Total":12.345,"Today":0.2,"Power":45,"Voltage":231}})",
            "cmd:kitchen_plug|cmd:kitchen_plug|45|12345|-|-|-|y" },
        { "tele/k/SENSOR", R"({"ENERGY":{"Total":1,"Power":[7,8]}})", "cmd:k|cmd:k|7|1000|-|-|-|y" },
        { "tele/k/SENSOR", R"({"AM2301":{"Temperature":20}})", "" },
        { "tele/k/STATE", R"({"POWER":"ON","Wifi":{}})", "cmd:k|cmd:k|-|-|1|-|-|n" },
        { "tele/k/STATE", R"({"POWER1":"OFF"})", "cmd:k|cmd:k|-|-|0|-|-|n" },
        { "stat/k/POWER", "OFF", "cmd:k|cmd:k|-|-|0|-|-|n" },
        { "stat/k/POWER", "MAYBE", "" },
        { "stat/k/RESULT", R"({"POWER":"ON"})", "cmd:k|cmd:k|-|-|1|-|-|n" },
        { "stat/k/RESULT", R"({"Dimmer":20})", "" },
        { "tele/k/LWT", "Online", "|cmd:k|-|-|-|1|-|n" },
        { "tele/k/LWT", "Offline", "|cmd:k|-|-|-|0|-|n" },
        { "tele/k/LWT", "offline", "" },
        { "cmnd/k/POWER", "ON", "" },
        { "tele/a/b/SENSOR", R"({"ENERGY":{"Power":1}})", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaries(parseCommandLineMessage(c.topic, c.payload)), c.expected) << c.topic << " " << c.payload;

    auto found = parseCommandLineMessage("tasmota/discovery/A8032AB12C34/config",
        R"({"t":"kitchen_plug","dn":"Device","fn":["Kettle\u0007 plug",null],"ft":"%prefix%/%topic%/",)"
        R"("tp":["cmnd","stat","tele"],"rl":[1,0]})");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(summary(found[0]), "cmd:kitchen_plug|cmd:kitchen_plug|-|-|-|-|-|y");
    EXPECT_EQ(found[0].name, "Kettle  plug");
    EXPECT_EQ(found[0].command, (PlugCommand { "cmnd/kitchen_plug/POWER", "ON", "OFF" }));

    // A custom full topic moves the command topic; no friendly name falls back to dn.
    found = parseCommandLineMessage("tasmota/discovery/X/config",
        R"({"t":"p2","dn":"Desk","fn":[null],"ft":"%topic%/%prefix%/","tp":["c","s","t"],"rl":[0]})");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Desk");
    EXPECT_EQ(found[0].command->topic, "p2/c/POWER");
    EXPECT_FALSE(found[0].showsPlug);
    EXPECT_TRUE(parseCommandLineMessage("tasmota/discovery/X/config", R"({"t":"a/b","rl":[1]})").empty());
}

TEST(PlugMessages, BridgeListNamesDevicesThatMeterOrSwitchAndMatchesNamesWithSlashes)
{
    std::string list = R"([
        {"friendly_name":"Coordinator","ieee_address":"0x00","type":"Coordinator","definition":null},
        {"friendly_name":"living/tv plug","ieee_address":"0x01","type":"Router","definition":{"exposes":[
            {"type":"switch","features":[{"type":"binary","name":"state","property":"state",
                                           "value_on":"ON","value_off":"OFF"}]},
            {"type":"numeric","name":"power","property":"power","unit":"W"},
            {"type":"numeric","name":"energy","property":"energy","unit":"kWh"}]}},
        {"friendly_name":"door","ieee_address":"0x02","type":"EndDevice","definition":{"exposes":[
            {"type":"binary","name":"contact","property":"contact"}]}},
        {"friendly_name":"lamp","ieee_address":"0x03","type":"Router","definition":{"exposes":[
            {"type":"switch","features":[{"type":"binary","property":"state","value_on":"1","value_off":"0"}]}]}}
    ])";
    std::map<std::string, BridgeDevice> devices;
    auto made = parseBridgeMessage("zigbee2mqtt", devices, "zigbee2mqtt/bridge/devices", list);
    EXPECT_EQ(summaries(made), "zb:0x01|zb:0x01|-|-|-|-|-|y ; zb:0x03|zb:0x03|-|-|-|-|-|y");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(devices["living/tv plug"].hasPower);
    EXPECT_FALSE(devices["lamp"].hasPower);
    EXPECT_EQ(
        made[0].command, (PlugCommand { "zigbee2mqtt/living/tv plug/set", R"({"state":"ON"})", R"({"state":"OFF"})" }));
    EXPECT_EQ(made[1].command->offPayload, R"({"state":"0"})");

    const Case cases[] = {
        { "zigbee2mqtt/living/tv plug", R"({"state":"ON","power":45.2,"energy":12.34,"linkquality":120})",
            "zb:0x01|zb:0x01|45.2|12340|1|-|-|n" },
        { "zigbee2mqtt/lamp", R"({"state":"0"})", "zb:0x03|zb:0x03|-|-|0|-|-|n" },
        { "zigbee2mqtt/lamp", R"({"state":"OFF"})", "" },
        { "zigbee2mqtt/living/tv plug/availability", R"({"state":"offline"})", "|zb:0x01|-|-|-|0|-|n" },
        { "zigbee2mqtt/living/tv plug/availability", "online", "|zb:0x01|-|-|-|1|-|n" },
        { "zigbee2mqtt/living/tv plug/availability", "gone", "" },
        { "zigbee2mqtt/door", R"({"contact":true})", "" },
        { "zigbee2mqtt/unknown", R"({"state":"ON","power":1})", "" },
        { "zigbee2mqtt/living/tv plug/set", R"({"state":"ON"})", "" },
        { "zigbee2mqttx/lamp", R"({"state":"1"})", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaries(parseBridgeMessage("zigbee2mqtt", devices, c.topic, c.payload)), c.expected) << c.topic;

    // A list that is not one leaves the known devices as they were.
    EXPECT_TRUE(parseBridgeMessage("zigbee2mqtt", devices, "zigbee2mqtt/bridge/devices", "{}").empty());
    EXPECT_EQ(devices.size(), 2u);
}

TEST(PlugMessages, OversizedPayloadsAreIgnoredUnreadAtTheirLimit)
{
    std::string padding(kMaxPayloadBytes, ' ');
    std::string fits = R"({"output":true})";
    fits += std::string(kMaxPayloadBytes - fits.size(), ' ');
    EXPECT_EQ(parseJsonRpcMessage("p/status/switch:0", fits).size(), 1u);
    EXPECT_TRUE(parseJsonRpcMessage("p/status/switch:0", fits + " ").empty());
    EXPECT_TRUE(parseCommandLineMessage("stat/k/RESULT", R"({"POWER":"ON"})" + padding).empty());
}

TEST(PlugMessages, NamesAreCleanedOfControlsAndInvalidBytesAndCutAtACharacter)
{
    EXPECT_EQ(cleanPlugName("  <b>Lamp</b>\n\t ", "x"), "<b>Lamp</b>");
    EXPECT_EQ(cleanPlugName("A\xff\xfe"
                            "B",
                  "x"),
        "A\xef\xbf\xbd\xef\xbf\xbd"
        "B");
    EXPECT_EQ(cleanPlugName("\xc2\x85", "fallback"), "fallback");
    EXPECT_EQ(cleanPlugName("", "fallback"), "fallback");
    std::string accents;
    for (int i = 0; i < 40; ++i)
        accents += "\xc3\xa9"; // 80 bytes of é
    EXPECT_EQ(cleanPlugName(accents, "x").size(), kMaxPlugNameBytes);
    EXPECT_EQ(cleanPlugName(std::string(kMaxPlugNameBytes, 'a') + "b", "x"), std::string(kMaxPlugNameBytes, 'a'));
}

TEST(PlugMessages, TopicFiltersMatchAsTheBrokerMatches)
{
    struct Match {
        const char* filter;
        const char* topic;
        bool matches;
    };
    const Match cases[] = { { "a/+/c", "a/b/c", true }, { "a/+/c", "a/b/d", false }, { "a/#", "a", true },
        { "a/#", "a/b/c", true }, { "+/online", "p/online", true }, { "+/online", "a/b/online", false },
        { "a/b", "a/b/c", false }, { "a/b/c", "a/b", false }, { "#", "x/y", true } };
    for (const auto& c : cases)
        EXPECT_EQ(topicMatches(c.filter, c.topic), c.matches) << c.filter << " " << c.topic;
}

TEST(DeviceMapping, ReadsDevicesAndTheirMessages)
{
    auto mapping = parseDeviceMapping(R"({"devices":[
        {"id":"boiler","name":"Boiler","power":{"topic":"home/boiler","key":"ENERGY.Power"},
         "energy":{"topic":"home/boiler","key":"ENERGY.Total","unit":"kWh"},
         "state":{"topic":"home/boiler/relay","on":"1","off":"0"},
         "availability":{"topic":"home/boiler/status"},
         "command":{"topic":"home/boiler/set","on":"1","off":"0"}},
        {"id":"pump","power":{"topic":"pump/w"}}]})");
    ASSERT_TRUE(mapping) << mapping.error().message();
    ASSERT_EQ(mapping->size(), 2u);
    const MappedDevice& boiler = (*mapping)[0];
    EXPECT_EQ(
        mappedTopics(boiler), (std::vector<std::string> { "home/boiler", "home/boiler/relay", "home/boiler/status" }));
    EXPECT_EQ(boiler.command, (PlugCommand { "home/boiler/set", "1", "0" }));
    EXPECT_EQ((*mapping)[1].name, "pump");

    struct MappedCase {
        const MappedDevice& device;
        const char* topic;
        const char* payload;
        const char* expected;
    };
    const MappedCase cases[] = {
        { boiler, "home/boiler", R"({"ENERGY":{"Power":2000,"Total":1.5}})",
            "map:boiler|map:boiler|2000|1500|-|-|-|y" },
        { boiler, "home/boiler/relay", "1", "map:boiler|map:boiler|-|-|1|-|-|y" },
        { boiler, "home/boiler/relay", "2", "" },
        { boiler, "home/boiler/status", "offline", "map:boiler|map:boiler|-|-|-|0|-|n" },
        { boiler, "home/other", "1", "" },
        { (*mapping)[1], "pump/w", "35.5", "map:pump|map:pump|35.5|-|-|-|-|y" },
        { (*mapping)[1], "pump/w", "\"35.5\"", "" },
    };
    for (const auto& c : cases) {
        auto report = parseMappedMessage(c.device, c.topic, c.payload);
        EXPECT_EQ(report ? summary(*report) : "", c.expected) << c.topic << " " << c.payload;
    }
}

TEST(DeviceMapping, RefusesAFileWithAClearReason)
{
    const std::pair<const char*, const char*> cases[] = {
        { "[]", "the mapping file must be a JSON object with an array \"devices\"" },
        { R"({"devices":[{"id":"a b","power":{"topic":"t"}}]})",
            "mapping device 1 needs an id of 1 to 64 letters, digits, '_', '-' or '.'" },
        { R"({"devices":[{"id":"a"}]})", "mapping device 1 (a) needs power or state" },
        { R"({"devices":[{"id":"a","power":{"topic":"t/#"}}]})",
            "mapping device 1 (a) power needs a topic without wildcards and an optional text key" },
        { R"({"devices":[{"id":"a","power":{"topic":"t"},"energy":{"topic":"e","unit":"J"}}]})",
            "mapping device 1 (a) energy unit must be Wh or kWh" },
        { R"({"devices":[{"id":"a","state":{"topic":"t","on":"x","off":"x"}}]})",
            "mapping device 1 (a) needs two different short texts for on and off, and for online and offline" },
        { R"({"devices":[{"id":"a","power":{"topic":"t"},"command":{"topic":"c","on":"1","off":"1"}}]})",
            "mapping device 1 (a) command needs a topic without wildcards and two different payloads on and off" },
        { R"({"devices":[{"id":"a","power":{"topic":"t"}},{"id":"a","power":{"topic":"u"}}]})",
            "mapping device 2 repeats the id a" },
    };
    for (const auto& [text, reason] : cases) {
        auto mapping = parseDeviceMapping(text);
        ASSERT_FALSE(mapping) << text;
        EXPECT_EQ(mapping.error().message(), reason);
    }
    auto listOf = [](size_t count) {
        std::string text = R"({"devices":[)";
        for (size_t i = 0; i < count; ++i)
            text += (i ? "," : "") + std::string(R"({"id":"d)") + std::to_string(i) + R"(","power":{"topic":"t"}})";
        return text + "]}";
    };
    EXPECT_EQ(parseDeviceMapping(listOf(kMaxMappedDevices))->size(), kMaxMappedDevices);
    EXPECT_EQ(parseDeviceMapping(listOf(kMaxMappedDevices + 1)).error().message(),
        "the mapping file lists more than 1000 devices");
}
