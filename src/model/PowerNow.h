#pragma once

#include "model/Device.h"
#include "platform/foundation/Date.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace hestio {

/// The household's draw at one moment, from the device list: the sum of what
/// the meters last reported, how many meters report nothing usable, and the
/// devices drawing most. Plain arithmetic on the devices given; no clock of
/// its own.
class PowerNow {
public:
    /// How many of the devices drawing most are kept.
    static constexpr std::size_t topCount = 3;

    struct Draw {
        std::shared_ptr<Device> device;
        double watts { 0 };
    };

    /// The draw of `devices` at `now`. A meter counts as reporting when
    /// MeterReading, the rule the device list shows, accepts its reading.
    [[nodiscard]] static PowerNow of(const std::vector<std::shared_ptr<Device>>& devices, platform::Date now);

    double totalWatts { 0 };
    int metersReporting { 0 };
    int metersNotReporting { 0 };
    /// The newest of the readings summed, never later than `now` (a meter's
    /// clock may run ahead); none when no meter reports.
    std::optional<platform::Date> readingTime;
    /// The devices drawing most, most first: at most `topCount`, each drawing
    /// more than 0 W. Equal draws go by name, then identifier.
    std::vector<Draw> top;
};

}
