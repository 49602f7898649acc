// Every family's reading of broker messages: the first line is the topic, the
// rest the payload. Each parser must take any bytes without crashing, and
// whatever it reports must be usable as it is: names shown to people, numbers
// stored as readings.
#include "DeviceMapping.h"
#include "FormData.h"
#include "PlugMessages.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

void checkReports(const std::vector<PlugReport>& reports, std::string_view input)
{
    for (const auto& report : reports) {
        if (report.key.empty() && report.unit.empty())
            failCheck("a report names no plug", input);
        if (report.key.empty() && (report.watts || report.energyWh || report.relayOn || report.showsPlug))
            failCheck("a reading without a plug", input);
        if (report.name.size() > kMaxPlugNameBytes || !isValidUtf8(report.name))
            failCheck("a name unfit to show", report.name);
        for (char c : report.name) {
            if (static_cast<unsigned char>(c) < 0x20)
                failCheck("a control character in a name", report.name);
        }
        if (report.watts && !std::isfinite(*report.watts))
            failCheck("a power that is not a number", input);
        if (report.energyWh && !(*report.energyWh >= 0 && std::isfinite(*report.energyWh)))
            failCheck("a counter that is negative or not a number", input);
        if (report.command && report.command->topic.find_first_of("+#") != std::string::npos)
            failCheck("a command topic with a wildcard", report.command->topic);
        // Moved topics are subscribed to: no wildcards, nothing the broker refuses.
        for (const auto& [moved, usual] : report.movedTopics) {
            if (moved.find_first_of("+#") != std::string::npos || !isValidUtf8(moved) || moved.empty())
                failCheck("a moved topic unfit to subscribe to", moved);
        }
    }
}

const std::vector<MappedDevice>& mapping()
{
    static const std::vector<MappedDevice> devices = *parseDeviceMapping(R"({"devices":[
        {"id":"a","power":{"topic":"m/a","key":"ENERGY.Power"},"energy":{"topic":"m/a","key":"e","unit":"kWh"},
         "state":{"topic":"m/a/s"},"availability":{"topic":"m/a/av","key":"state"}},
        {"id":"b","power":{"topic":"m/b"},"state":{"topic":"m/b","key":"on","on":"true","off":"false"}}]})");
    return devices;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t newline = input.find('\n');
    std::string_view topic = input.substr(0, newline);
    std::string_view payload = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    checkReports(parseJsonRpcMessage(topic, payload), input);
    checkReports(parseCommandLineMessage(topic, payload), input);
    // The bridge's devices carry over from one input to the next, as on a broker.
    static std::map<std::string, BridgeDevice> bridgeDevices;
    checkReports(parseBridgeMessage("z", bridgeDevices, topic, payload), input);
    if (bridgeDevices.size() > 2000)
        failCheck("more bridge devices kept than allowed", input);
    for (const auto& device : mapping()) {
        if (auto report = parseMappedMessage(device, topic, payload))
            checkReports({ *report }, input);
    }
    return 0;
}
