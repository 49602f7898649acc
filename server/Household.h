#pragma once

#include "Store.h"

#include <cstdint>
#include <string>

namespace hestio::sim {

/// The people of the demo household; their passwords equal their names.
constexpr const char* kAdministratorName = "demo";
constexpr const char* kMemberName = "sam";
constexpr const char* kHouseholdName = "Demo Home";

/// Makes the demo household in an empty store, all of it chosen by `seed`:
/// its time zone, 10 to 14 devices in five rooms with their initial states,
/// one meter that is unplugged and one that stopped reporting three hours
/// before `nowMs`. Records the seed and the creation time in the store.
/// With `atLeastDevices` above the demo's count, more devices of the
/// catalogue's kinds follow ("Fridge 2", "Kettle 2"…, switched on) until
/// there are that many. A non-empty `zone` replaces the seed's time zone.
void seedDemoHousehold(Store& store, uint64_t seed, int64_t nowMs, int passwordIterations, int atLeastDevices = 0,
    const std::string& zone = {});

/// The zone name the seed gives the household.
[[nodiscard]] std::string timeZoneForSeed(uint64_t seed);

/// The zone's offset from UTC in minutes at `atMs`: with daylight saving time
/// when `withDaylightSaving`, else its standard offset. 0 for an unknown zone.
[[nodiscard]] int zoneOffsetMinutes(const std::string& zone, int64_t atMs, bool withDaylightSaving);

}
