#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// A language and region for formatting, by identifier ("en_US", "de_DE").
class Locale {
public:
    explicit Locale(std::string identifier);

    /// The device's locale: the one fixed by setCurrent(), otherwise from
    /// $LC_ALL, $LC_TIME or $LANG (first set wins). The C and POSIX locales,
    /// and an empty environment, read as "en_US".
    [[nodiscard]] static Locale current();
    /// Fixes the device's locale (tests); none goes back to the environment.
    static void setCurrent(std::optional<Locale> locale);
    /// "de_DE.UTF-8@euro" → "de_DE"; "C", "POSIX", "C.UTF-8" and "" → "en_US".
    [[nodiscard]] static std::string identifierFromPosix(std::string_view posixName);

    [[nodiscard]] const std::string& identifier() const { return m_identifier; }
    bool operator==(const Locale&) const = default;

private:
    std::string m_identifier;
};

}
