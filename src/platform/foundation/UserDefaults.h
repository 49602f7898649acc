#pragma once

#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace hestio::platform {

/// Small settings by key ("username", "title", "userID"), kept in an XML
/// property list. Every change is written to the file at once (atomically),
/// so nothing is lost when the process ends without warning. A corrupt or
/// unreadable file reads as empty (with one log line). Thread-safe.
class UserDefaults {
public:
    /// The defaults of the current profile: UserDefaults.plist in its config
    /// folder. A test that moves the profile gets that profile's defaults.
    [[nodiscard]] static UserDefaults& standard();

    explicit UserDefaults(std::filesystem::path file);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

    [[nodiscard]] std::optional<PropertyListValue> objectForKey(const std::string& key) const;
    /// Text under `key`; an integer reads as its decimal text; none otherwise.
    [[nodiscard]] std::optional<std::string> stringForKey(const std::string& key) const;
    /// Integer under `key`; text reads as its leading integer ("42abc" is
    /// 42); 0 when missing or not a number.
    [[nodiscard]] std::int64_t integerForKey(const std::string& key) const;

    void setObject(PropertyListValue value, const std::string& key);
    void setInteger(std::int64_t value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    /// Writes any change a failed write left behind, then reads the file
    /// again so that changes made by another process show. True when the
    /// file and memory agree afterwards.
    [[nodiscard]] bool synchronize();

private:
    void loadIfNeeded() const;
    [[nodiscard]] bool save();

    std::filesystem::path m_file;
    mutable std::mutex m_mutex;
    mutable bool m_loaded { false };
    mutable PropertyListValue::Dictionary m_values;
    bool m_unsaved { false };
};

}
