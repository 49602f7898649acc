#include "platform/foundation/DateFormatter.h"

#include "platform/foundation/IcuBridge.h"

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

namespace hestio::platform {

// The ICU formatter built from the current settings, made on first use and
// dropped whenever a setting changes.
struct DateFormatter::Engine {
    std::unique_ptr<icu::SimpleDateFormat> format;
};

namespace {

    icu::DateFormat::EStyle icuStyle(DateFormatter::Style style)
    {
        switch (style) {
        case DateFormatter::Style::None:
            return icu::DateFormat::kNone;
        case DateFormatter::Style::Short:
            return icu::DateFormat::kShort;
        case DateFormatter::Style::Medium:
            return icu::DateFormat::kMedium;
        case DateFormatter::Style::Long:
            return icu::DateFormat::kLong;
        case DateFormatter::Style::Full:
            return icu::DateFormat::kFull;
        }
        return icu::DateFormat::kNone;
    }

    /// The locale's best pattern for `skeleton`; the skeleton itself when
    /// ICU has none (it is a valid pattern too, in no locale's order).
    std::string patternForTemplate(const std::string& skeleton, const Locale& locale)
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(icuLocale(locale), status));
        if (U_FAILURE(status) || !generator)
            return skeleton;
        icu::UnicodeString pattern = generator->getBestPattern(toUnicode(skeleton), status);
        if (U_FAILURE(status) || pattern.isEmpty())
            return skeleton;
        return toUtf8(pattern);
    }

}

DateFormatter::DateFormatter()
    : m_zone(TimeZone::defaultZone())
    , m_locale(Locale::current())
{
}

DateFormatter::DateFormatter(std::string pattern)
    : DateFormatter()
{
    m_pattern = std::move(pattern);
}

DateFormatter::~DateFormatter() = default;

DateFormatter::DateFormatter(const DateFormatter& other)
    : m_pattern(other.m_pattern)
    , m_template(other.m_template)
    , m_usesStyles(other.m_usesStyles)
    , m_dateStyle(other.m_dateStyle)
    , m_timeStyle(other.m_timeStyle)
    , m_zone(other.m_zone)
    , m_locale(other.m_locale)
{
}

DateFormatter& DateFormatter::operator=(const DateFormatter& other)
{
    if (this != &other) {
        m_pattern = other.m_pattern;
        m_template = other.m_template;
        m_usesStyles = other.m_usesStyles;
        m_dateStyle = other.m_dateStyle;
        m_timeStyle = other.m_timeStyle;
        m_zone = other.m_zone;
        m_locale = other.m_locale;
        invalidate();
    }
    return *this;
}

void DateFormatter::invalidate()
{
    m_engine.reset();
}

std::string DateFormatter::dateFormat() const
{
    if (!m_usesStyles)
        return m_pattern;
    icu::UnicodeString pattern;
    engine().format->toPattern(pattern);
    return toUtf8(pattern);
}

void DateFormatter::setDateFormat(std::string pattern)
{
    m_pattern = std::move(pattern);
    m_template.clear();
    m_usesStyles = false;
    m_dateStyle = m_timeStyle = Style::None;
    invalidate();
}

void DateFormatter::setDateFormatFromTemplate(std::string skeleton)
{
    m_template = std::move(skeleton);
    m_pattern = patternForTemplate(m_template, m_locale);
    m_usesStyles = false;
    m_dateStyle = m_timeStyle = Style::None;
    invalidate();
}

void DateFormatter::setDateStyle(Style style)
{
    m_dateStyle = style;
    m_usesStyles = true;
    invalidate();
}

void DateFormatter::setTimeStyle(Style style)
{
    m_timeStyle = style;
    m_usesStyles = true;
    invalidate();
}

void DateFormatter::setTimeZone(TimeZone zone)
{
    m_zone = std::move(zone);
    invalidate();
}

void DateFormatter::setLocale(Locale locale)
{
    m_locale = std::move(locale);
    if (!m_template.empty())
        m_pattern = patternForTemplate(m_template, m_locale);
    invalidate();
}

DateFormatter::Engine& DateFormatter::engine() const
{
    if (m_engine)
        return *m_engine;
    auto engine = std::make_unique<Engine>();
    icu::Locale locale = icuLocale(m_locale);
    UErrorCode status = U_ZERO_ERROR;
    if (m_usesStyles && (m_dateStyle != Style::None || m_timeStyle != Style::None)) {
        std::unique_ptr<icu::DateFormat> styled(
            icu::DateFormat::createDateTimeInstance(icuStyle(m_dateStyle), icuStyle(m_timeStyle), locale));
        if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(styled.get())) {
            styled.release();
            engine->format.reset(simple);
        }
    }
    if (!engine->format) {
        // Both styles none, as with no pattern at all, formats to empty text.
        std::string pattern = m_usesStyles ? std::string() : m_pattern;
        engine->format = std::make_unique<icu::SimpleDateFormat>(toUnicode(pattern), locale, status);
        if (U_FAILURE(status)) {
            // A malformed pattern (an unclosed quote) formats to empty text
            // rather than failing every caller.
            status = U_ZERO_ERROR;
            engine->format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(), locale, status);
        }
    }
    engine->format->setTimeZone(TimeZoneAccess::icuZone(m_zone));
    engine->format->setLenient(false);
    m_engine = std::move(engine);
    return *m_engine;
}

std::string DateFormatter::stringFromDate(Date date) const
{
    icu::UnicodeString text;
    engine().format->format(toUDate(date), text);
    return toUtf8(text);
}

std::optional<Date> DateFormatter::dateFromString(std::string_view text) const
{
    icu::UnicodeString input = toUnicode(text);
    icu::ParsePosition position(0);
    UDate parsed = engine().format->parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length() || input.isEmpty())
        return std::nullopt;
    return fromUDate(parsed);
}

}
