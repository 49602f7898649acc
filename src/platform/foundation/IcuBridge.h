#pragma once

// Internal to the foundation library: the ICU objects behind our value types.

#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

#include <string>
#include <string_view>

#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace hestio::platform {

struct TimeZoneAccess {
    [[nodiscard]] static const icu::TimeZone& icuZone(const TimeZone& zone);
};

[[nodiscard]] icu::Locale icuLocale(const Locale& locale);

[[nodiscard]] inline icu::UnicodeString toUnicode(std::string_view text)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

[[nodiscard]] inline std::string toUtf8(const icu::UnicodeString& text)
{
    std::string result;
    text.toUTF8String(result);
    return result;
}

/// ICU measures time in milliseconds since 1970.
[[nodiscard]] inline UDate toUDate(Date date)
{
    return date.timeIntervalSince1970() * 1000.0;
}

[[nodiscard]] inline Date fromUDate(UDate milliseconds)
{
    return Date(milliseconds / 1000.0);
}

}
