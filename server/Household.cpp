#include "Household.h"

#include "Crypto.h"
#include "PowerModel.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace hestio::sim {

namespace {
    struct CatalogEntry {
        const char* name;
        const char* room;
        const char* kind;
        bool always;
    };

    // Device identifiers are 101 + the position here, whatever the seed picks.
    constexpr std::array<CatalogEntry, 14> kCatalog { {
        { "Fridge", "Kitchen", "fridge", true },
        { "Kettle", "Kitchen", "kettle", true },
        { "Dishwasher", "Kitchen", "dishwasher", false },
        { "Living Room Lamp", "Living Room", "lamp", true },
        { "TV", "Living Room", "tv", true },
        { "Router", "Office", "router", true },
        { "Bedside Lamp", "Bedroom", "lamp", true },
        { "Heater", "Bedroom", "heater", true },
        { "Desktop Computer", "Office", "computer", true },
        { "Desk Lamp", "Office", "lamp", false },
        { "Washing Machine", "Garage", "washer", true },
        { "EV Charger", "Garage", "ev-charger", true },
        { "Freezer", "Garage", "freezer", false },
        { "Floor Lamp", "Living Room", "lamp", false },
    } };

    // Listed, but its meter never sent anything; its identifier follows the catalogue's.
    constexpr CatalogEntry kSilentPrinter { "Printer", "Office", "printer", true };
    constexpr size_t kHeater = 7;

    constexpr std::array<const char*, 6> kZones { "America/New_York", "America/Chicago", "America/Denver",
        "America/Los_Angeles", "Europe/London", "Europe/Berlin" };

    uint64_t scramble(uint64_t x)
    {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ull;
        return x ^ (x >> 33);
    }
}

std::string timeZoneForSeed(uint64_t seed)
{
    return kZones[(seed + kZones.size() - 1) % kZones.size()];
}

int zoneOffsetMinutes(const std::string& zone, int64_t atMs, bool withDaylightSaving)
{
    std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
    icu::UnicodeString id;
    tz->getID(id);
    if (id == icu::UnicodeString("Etc/Unknown"))
        return 0;
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    tz->getOffset(static_cast<UDate>(atMs), false, raw, dst, status);
    if (U_FAILURE(status))
        return 0;
    return (raw + (withDaylightSaving ? dst : 0)) / 60000;
}

int64_t localWallTimeMs(const std::string& zone, int64_t dayOfMs, int dayOffset, int hour, int minute)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar calendar(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)), status);
    calendar.setTime(static_cast<UDate>(dayOfMs), status);
    calendar.add(UCAL_DATE, dayOffset, status);
    calendar.set(UCAL_HOUR_OF_DAY, hour);
    calendar.set(UCAL_MINUTE, minute);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    UDate at = calendar.getTime(status);
    return U_FAILURE(status) ? dayOfMs : static_cast<int64_t>(at);
}

namespace {

    /// The household being seeded, as its devices need it.
    struct SeededHousehold {
        int64_t id;
        std::string zone;
        int64_t createdMs;
        int64_t installedMs;
    };

    /// Which catalog entries the household has: those always there and a
    /// seed-chosen number of the optional ones.
    std::vector<bool> chooseDevices(uint64_t seed)
    {
        // Which optional devices the household has, and how many (10 to 14, and the printer).
        std::vector<size_t> optional;
        for (size_t i = 0; i < kCatalog.size(); ++i) {
            if (!kCatalog[i].always)
                optional.push_back(i);
        }
        std::sort(optional.begin(), optional.end(),
            [&](size_t a, size_t b) { return scramble(seed * 31 + a) < scramble(seed * 31 + b); });
        size_t extra = scramble(seed) % (optional.size() + 1);
        std::vector<bool> present(kCatalog.size());
        for (size_t i = 0; i < kCatalog.size(); ++i)
            present[i] = kCatalog[i].always;
        for (size_t i = 0; i < extra; ++i)
            present[optional[i]] = true;
        return present;
    }

    void addCatalogDevices(Store& store, uint64_t seed, const SeededHousehold& seeded, const std::vector<bool>& present)
    {
        const int64_t household = seeded.id;
        const std::string& householdZone = seeded.zone;
        const int64_t createdMs = seeded.createdMs;
        const int64_t installedMs = seeded.installedMs;
        const size_t unplugged = scramble(seed + 1) % 2 == 0 ? 8 : 6; // Desktop Computer or Bedside Lamp
        const size_t stopped = scramble(seed + 2) % 2 == 0 ? 5 : 1; // Router or Kettle
        constexpr size_t leftOn = 3; // Living Room Lamp

        for (size_t i = 0; i < kCatalog.size(); ++i) {
            if (!present[i])
                continue;
            const auto& entry = kCatalog[i];
            DeviceRow device;
            device.id = static_cast<int64_t>(101 + i);
            device.householdId = household;
            device.name = entry.name;
            device.room = entry.room;
            device.kind = entry.kind;
            device.meterPluggedIn = i != unplugged;
            device.leftOn = i == leftOn;
            if (i == stopped)
                device.reportsUntilMs = createdMs - 3 * kHourMs;
            device.registerStartsMs = { installedMs };
            if (i == kHeater) {
                // Yesterday in the household's own time: the meter went offline
                // for 40 minutes in the evening, and later restarted its register.
                device.outages = { MeterOutage {
                    localWallTimeMs(householdZone, createdMs, -1, kOutageStart.hour, kOutageStart.minute),
                    localWallTimeMs(householdZone, createdMs, -1, kOutageEnd.hour, kOutageEnd.minute) } };
                device.registerStartsMs.push_back(
                    localWallTimeMs(householdZone, createdMs, -1, kRegisterReset.hour, kRegisterReset.minute));
            }
            store.addDevice(device);

            int level = 0;
            if (const RangeAction* range = rangeActionOf(entry.kind)) {
                level = range->initial;
                if (std::string_view(entry.kind) == "heater")
                    level = range->initial + static_cast<int>(seed % 3);
            }
            // The initial state holds from the beginning of time, so history
            // before the first start is simulated too.
            store.addChange(device.id, StateChange { INT64_MIN, true, level });
        }
    }

    void addSilentPrinter(Store& store, int64_t household, int64_t installedMs)
    {
        DeviceRow printer;
        printer.id = kSilentPrinterId;
        printer.householdId = household;
        printer.name = kSilentPrinter.name;
        printer.room = kSilentPrinter.room;
        printer.kind = kSilentPrinter.kind;
        printer.outages = { MeterOutage { INT64_MIN, INT64_MAX } };
        printer.registerStartsMs = { installedMs };
        store.addDevice(printer);
        store.addChange(printer.id, StateChange { INT64_MIN, true, 0 });
    }

    /// More of the same kinds, numbered, after every identifier the demo uses.
    void addExtraDevices(
        Store& store, int64_t household, int64_t installedMs, const std::vector<bool>& present, int atLeastDevices)
    {
        int count = static_cast<int>(std::count(present.begin(), present.end(), true)) + 1;
        for (int extraIndex = 0; count < atLeastDevices; ++extraIndex, ++count) {
            const auto& entry = kCatalog[static_cast<size_t>(extraIndex) % kCatalog.size()];
            DeviceRow device;
            device.id = kSilentPrinterId + 1 + extraIndex;
            device.householdId = household;
            device.name
                = std::string(entry.name) + " " + std::to_string(2 + extraIndex / static_cast<int>(kCatalog.size()));
            device.room = entry.room;
            device.kind = entry.kind;
            device.meterPluggedIn = true;
            device.registerStartsMs = { installedMs };
            store.addDevice(device);
            const RangeAction* range = rangeActionOf(entry.kind);
            store.addChange(device.id, StateChange { INT64_MIN, true, range ? range->initial : 0 });
        }
    }

}

void seedDemoHousehold(
    Store& store, uint64_t seed, int64_t nowMs, int passwordIterations, int atLeastDevices, const std::string& zone)
{
    store.beginSeeding();
    int64_t createdMs = floorTo(nowMs, kMinuteMs);
    const std::string householdZone = zone.empty() ? timeZoneForSeed(seed) : zone;
    int64_t household = store.addHousehold(kHouseholdName, householdZone);
    // Every meter was installed a while before the household came to the
    // service, its energy register starting from zero then.
    const int64_t installedMs = createdMs - kMeterAgeMs;
    store.addUser(household, kAdministratorName, "Admin", hashPassword(kAdministratorName, passwordIterations));
    store.addUser(household, kMemberName, "Member", hashPassword(kMemberName, passwordIterations));

    std::vector<bool> present = chooseDevices(seed);
    addCatalogDevices(store, seed, SeededHousehold { household, householdZone, createdMs, installedMs }, present);
    addSilentPrinter(store, household, installedMs);
    addExtraDevices(store, household, installedMs, present, atLeastDevices);
    store.setMeta("seed", std::to_string(seed));
    store.setMeta("created_ms", std::to_string(createdMs));
    store.endSeeding();
}
}
