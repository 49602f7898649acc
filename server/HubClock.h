#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hestio::sim {

/// The service's clock: the machine's, moved by whole days
/// (--clock-offset-days). For tests it may instead be stepped: once stepped
/// it stands at the time given until the next step, and steps only go
/// forward, so that a test can pass a week of readings in seconds with each
/// reading arriving at a known time.
class HubClock {
public:
    explicit HubClock(int offsetDays);
    [[nodiscard]] int64_t now() const;
    /// Steps to `ms`; a time before now is ignored.
    void stepTo(int64_t ms);
    /// A step message's payload: milliseconds since 1970 in decimal; none
    /// for anything else.
    static std::optional<int64_t> parseStep(std::string_view payload);

private:
    int64_t m_offsetMs;
    std::atomic<int64_t> m_steppedMs { -1 };
};

}
