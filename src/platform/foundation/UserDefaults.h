#pragma once

#include "platform/foundation/PropertyList.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace hestio::platform {

/// Small settings by key ("username", "title", "userID"), kept in an XML
/// property list. Every change is queued at once on the disk writer (which
/// writes it atomically and drains at the process's end). A corrupt or
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

    /// Writes again what a failed write left behind and tells `done`, on the
    /// run loop that asks, whether the file then holds what memory holds
    /// (true: stored); the values are then read from the file again at the
    /// next read, so that changes made by another process show. Waits for
    /// nothing: a settings screen shows the change as being stored until
    /// it hears.
    void synchronize(std::function<void(bool stored)> done = {});

private:
    void loadIfNeeded() const;
    [[nodiscard]] bool save();

    std::filesystem::path m_file;
    mutable std::mutex m_mutex;
    mutable bool m_loaded { false };
    mutable PropertyListValue::Dictionary m_values;
    /// Set on the writer's thread when a write of the file failed.
    std::shared_ptr<std::atomic<bool>> m_writeFailed = std::make_shared<std::atomic<bool>>(false);
    /// Set when a synchronize() found the file stored: the next read takes
    /// the file's values (another process may have changed them).
    std::shared_ptr<std::atomic<bool>> m_reread = std::make_shared<std::atomic<bool>>(false);
};

}
