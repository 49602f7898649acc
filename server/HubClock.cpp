#include "HubClock.h"

#include <charconv>
#include <chrono>

namespace hestio::sim {

HubClock::HubClock(int offsetDays)
    : m_offsetMs(static_cast<int64_t>(offsetDays) * 86'400'000)
{
}

int64_t HubClock::now() const
{
    int64_t stepped = m_steppedMs.load();
    if (stepped >= 0)
        return stepped;
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() + m_offsetMs;
}

void HubClock::stepTo(int64_t ms)
{
    int64_t current = now();
    if (ms >= current)
        m_steppedMs = ms;
}

std::optional<int64_t> HubClock::parseStep(std::string_view payload)
{
    int64_t ms = 0;
    auto [end, error] = std::from_chars(payload.data(), payload.data() + payload.size(), ms);
    if (error != std::errc() || end != payload.data() + payload.size() || ms < 0 || ms > 253402300799999)
        return std::nullopt;
    return ms;
}

}
