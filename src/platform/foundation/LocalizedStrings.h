#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace hestio::platform {

/// The texts shown to the user, by key, from a strings table: one entry a
/// line, `"key" = "value";`, with `\"`, `\\`, `\n` and `\t` escapes inside
/// the quotes, blank lines and `//` comment lines. A key that the table
/// lacks stands for itself.
class LocalizedStrings {
public:
    LocalizedStrings() = default;
    explicit LocalizedStrings(std::map<std::string, std::string> table);

    /// The table of the device's language from assets/strings
    /// (<language>.strings, else en.strings), loaded on first use.
    [[nodiscard]] static const LocalizedStrings& shared();
    /// The folder shared() reads: "strings" in the assets folder.
    [[nodiscard]] static std::filesystem::path folder();

    /// Reads a table; a missing file gives an empty table, malformed lines
    /// are skipped with one log line each.
    [[nodiscard]] static LocalizedStrings load(const std::filesystem::path& file);
    [[nodiscard]] static LocalizedStrings parse(std::string_view text, const std::string& sourceName = "strings");

    /// The text for `key`, or `key` itself when the table has none.
    [[nodiscard]] std::string lookup(const std::string& key) const;
    [[nodiscard]] std::size_t size() const { return m_table.size(); }

private:
    std::map<std::string, std::string> m_table;
};

/// lookup() on the shared table.
[[nodiscard]] std::string localizedString(const std::string& key);

}
