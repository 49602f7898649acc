#include "platform/foundation/Locale.h"

#include "platform/foundation/IcuBridge.h"

#include <cstdlib>
#include <mutex>

namespace hestio::platform {

namespace {

    struct CurrentLocaleState {
        std::mutex mutex;
        std::optional<Locale> fixed;
    };

    CurrentLocaleState& currentLocaleState()
    {
        static CurrentLocaleState state;
        return state;
    }

}

Locale::Locale(std::string identifier)
    : m_identifier(std::move(identifier))
{
}

std::string Locale::identifierFromPosix(std::string_view posixName)
{
    std::string_view name = posixName.substr(0, posixName.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "en_US";
    return std::string(name);
}

Locale Locale::current()
{
    auto& state = currentLocaleState();
    {
        std::lock_guard lock(state.mutex);
        if (state.fixed)
            return *state.fixed;
    }
    for (const char* variable : { "LC_ALL", "LC_TIME", "LANG" }) {
        if (const char* value = std::getenv(variable); value && *value)
            return Locale(identifierFromPosix(value));
    }
    return Locale("en_US");
}

void Locale::setCurrent(std::optional<Locale> locale)
{
    auto& state = currentLocaleState();
    std::lock_guard lock(state.mutex);
    state.fixed = std::move(locale);
}

icu::Locale icuLocale(const Locale& locale)
{
    return icu::Locale::createCanonical(locale.identifier().c_str());
}

}
