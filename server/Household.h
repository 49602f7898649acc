#pragma once

#include "Store.h"

#include <cstdint>
#include <string>

namespace hestio::sim {

/// The people of the demo household; their passwords equal their names.
constexpr const char* kAdministratorName = "demo";
constexpr const char* kMemberName = "sam";
constexpr const char* kHouseholdName = "Demo Home";

/// A time of day on the household's clock.
struct WallTime {
    int hour;
    int minute;
};

/// The demo's meter faults, on the day before the household was made, in its
/// own time: after its sample at 18:20 the Heater's meter sent nothing until
/// 19:00 (40 minutes without a sample), and its energy register started
/// again from zero at 21:15.
constexpr WallTime kOutageStart { 18, 20 };
constexpr WallTime kOutageEnd { 19, 0 };
constexpr WallTime kRegisterReset { 21, 15 };
/// How long before the household was made its meters were installed (their
/// registers count from then).
constexpr int64_t kMeterAgeMs = 30 * 86'400'000LL;
/// The printer listed in the office whose meter never reported.
constexpr int64_t kSilentPrinterId = 115;

/// Makes the demo household in an empty store, all of it chosen by `seed`:
/// its time zone, 11 to 15 devices in five rooms with their initial states,
/// one meter that is unplugged, one that stopped reporting three hours
/// before `nowMs`, one that never reported (the printer), and the Heater's
/// faults above. Records the seed and the creation time in the store.
/// With `atLeastDevices` above the demo's count, more devices of the
/// catalogue's kinds follow ("Fridge 2", "Kettle 2"…, switched on) until
/// there are that many. A non-empty `zone` replaces the seed's time zone.
void seedDemoHousehold(Store& store, uint64_t seed, int64_t nowMs, int passwordIterations, int atLeastDevices = 0,
    const std::string& zone = {});

/// The instant at `hour`:`minute` on the calendar day `dayOffset` days after
/// the one `dayOfMs` falls on, in `zone` (a skipped wall time moves forward).
int64_t localWallTimeMs(const std::string& zone, int64_t dayOfMs, int dayOffset, int hour, int minute);

/// The zone name the seed gives the household.
[[nodiscard]] std::string timeZoneForSeed(uint64_t seed);

/// The zone's offset from UTC in minutes at `atMs`: with daylight saving time
/// when `withDaylightSaving`, else its standard offset. 0 for an unknown zone.
[[nodiscard]] int zoneOffsetMinutes(const std::string& zone, int64_t atMs, bool withDaylightSaving);

}
