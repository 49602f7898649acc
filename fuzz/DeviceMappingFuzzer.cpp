// The household's mapping file: any bytes are read or refused with a reason,
// and every device it yields can be subscribed to and switched safely.
#include "DeviceMapping.h"
#include "FormData.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto mapping = parseDeviceMapping(text);
    if (!mapping) {
        if (mapping.error().message().empty() || !isValidUtf8(mapping.error().message()))
            failCheck("a refusal without a readable reason", text);
        return 0;
    }
    if (mapping->size() > kMaxMappedDevices)
        failCheck("more devices than allowed", text);
    for (const auto& device : *mapping) {
        if (device.id.empty() || device.name.empty() || !isValidUtf8(device.name))
            failCheck("a device without a usable id or name", text);
        if (!device.power && !device.state)
            failCheck("a device with neither power nor state", text);
        for (const auto& topic : mappedTopics(device)) {
            if (topic.empty() || topic.find_first_of("+#") != std::string::npos)
                failCheck("a topic one cannot subscribe to exactly", topic);
            // Its own text as a payload on each of its topics.
            if (auto report = parseMappedMessage(device, topic, text); report && report->key != "map:" + device.id)
                failCheck("a report for another device", text);
        }
        if (device.command && device.command->onPayload == device.command->offPayload)
            failCheck("a command whose on and off are the same", text);
    }
    return 0;
}
