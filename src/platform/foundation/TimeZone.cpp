#include "platform/foundation/TimeZone.h"

#include "platform/foundation/IcuBridge.h"
#include "platform/foundation/Log.h"

#include <cstdlib>
#include <mutex>

#include <unicode/simpletz.h>

namespace hestio::platform {

struct TimeZone::Rules {
    std::string name;
    std::unique_ptr<icu::TimeZone> zone;
};

namespace {

    struct DefaultZoneState {
        std::mutex mutex;
        std::optional<TimeZone> fixed;
        // The zone last derived from the environment and the $TZ it came from,
        // so that a changed $TZ is noticed without re-reading the database each time.
        std::optional<TimeZone> fromEnvironment;
        std::optional<std::string> environmentTZ;
    };

    DefaultZoneState& defaultZoneState()
    {
        static DefaultZoneState state;
        return state;
    }

}

const icu::TimeZone& TimeZoneAccess::icuZone(const TimeZone& zone)
{
    return *zone.m_rules->zone;
}

std::optional<TimeZone> TimeZone::named(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(name)));
    // ICU does not fail on an unknown name: it hands back a GMT zone called
    // "Etc/Unknown", which would silently put every time in the wrong place.
    if (!zone)
        return std::nullopt;
    icu::UnicodeString id;
    zone->getID(id);
    if (id == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID))
        return std::nullopt;
    auto rules = std::make_shared<Rules>();
    rules->name = std::string(name);
    rules->zone = std::move(zone);
    return TimeZone(std::move(rules));
}

TimeZone TimeZone::forSecondsFromGMT(int seconds)
{
    // Offsets beyond a day are not zones; clamp rather than fail.
    constexpr int limit = 18 * 3600;
    seconds = std::max(-limit, std::min(limit, seconds));
    std::string name = "GMT";
    if (seconds != 0) {
        int magnitude = seconds < 0 ? -seconds : seconds;
        name += format("%c%02d%02d", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
    }
    auto rules = std::make_shared<Rules>();
    rules->name = name;
    rules->zone = std::make_unique<icu::SimpleTimeZone>(seconds * 1000, toUnicode(name));
    return TimeZone(std::move(rules));
}

TimeZone TimeZone::forHourOffsetText(std::string_view text)
{
    // Read like a leading integer: optional blanks and sign, then digits; the
    // rest (a fraction, junk) is ignored.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int hours = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        hours = hours * 10 + (text[i] - '0');
        if (hours > 18)
            break;
    }
    return forSecondsFromGMT((negative ? -hours : hours) * 3600);
}

TimeZone TimeZone::gmt()
{
    return forSecondsFromGMT(0);
}

TimeZone TimeZone::defaultZone()
{
    auto& state = defaultZoneState();
    std::lock_guard lock(state.mutex);
    if (state.fixed)
        return *state.fixed;

    const char* tz = std::getenv("TZ");
    std::optional<std::string> environmentTZ = tz ? std::optional<std::string>(tz) : std::nullopt;
    if (state.fromEnvironment && state.environmentTZ == environmentTZ)
        return *state.fromEnvironment;

    std::optional<TimeZone> zone;
    if (environmentTZ && !environmentTZ->empty()) {
        std::string_view name = *environmentTZ;
        if (name.front() == ':')
            name.remove_prefix(1);
        zone = named(name);
        if (!zone)
            log("Unknown time zone \"" + *environmentTZ + "\" in TZ; using GMT");
    } else {
        std::unique_ptr<icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
        icu::UnicodeString id;
        if (host)
            host->getID(id);
        zone = named(toUtf8(id));
    }
    state.fromEnvironment = zone ? *zone : gmt();
    state.environmentTZ = environmentTZ;
    return *state.fromEnvironment;
}

void TimeZone::setDefaultZone(std::optional<TimeZone> zone)
{
    auto& state = defaultZoneState();
    std::lock_guard lock(state.mutex);
    state.fixed = std::move(zone);
}

const std::string& TimeZone::name() const
{
    return m_rules->name;
}

int TimeZone::secondsFromGMT(Date date) const
{
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    m_rules->zone->getOffset(toUDate(date), false, raw, dst, status);
    if (U_FAILURE(status))
        return 0;
    return (raw + dst) / 1000;
}

bool TimeZone::isDaylightSavingTime(Date date) const
{
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    m_rules->zone->getOffset(toUDate(date), false, raw, dst, status);
    return U_SUCCESS(status) && dst != 0;
}

}
