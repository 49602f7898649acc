#pragma once

#include <filesystem>

namespace hestio::platform {

/// Where the app keeps its files. By default the XDG folders of the user
/// ($XDG_CONFIG_HOME/hestio, $XDG_DATA_HOME/hestio and its Documents folder,
/// $XDG_CACHE_HOME/hestio);
/// with $HESTIO_PROFILE (which the --profile flag sets) everything lives in
/// that one folder, so tests and demos run apart from the user's own data.
class Profile {
public:
    /// From $HESTIO_PROFILE when set, the XDG folders otherwise. Read on each
    /// call, so a test that points $HESTIO_PROFILE elsewhere is followed.
    [[nodiscard]] static Profile current();
    /// Everything under `root`: root/config, root/data, root/Documents,
    /// root/cache.
    [[nodiscard]] static Profile inFolder(const std::filesystem::path& root);
    [[nodiscard]] static Profile fromXdg();

    /// Settings (user defaults).
    [[nodiscard]] const std::filesystem::path& configDirectory() const { return m_config; }
    /// Files the app keeps for itself (credential file store, regions).
    [[nodiscard]] const std::filesystem::path& dataDirectory() const { return m_data; }
    /// The app's documents directory.
    [[nodiscard]] const std::filesystem::path& documentsDirectory() const { return m_documents; }

    /// Copies of the service's last replies, shown while it cannot be
    /// reached; anything here may be deleted at any time. Not made by
    /// createDirectories(): whoever writes into it makes it.
    [[nodiscard]] const std::filesystem::path& cacheDirectory() const { return m_cache; }

    /// Makes the three folders where missing, readable by their owner only
    /// (0700), as is any parent folder made for them; the three are set so
    /// even when they existed. False, with one log line, when one cannot be made.
    [[nodiscard]] bool createDirectories() const;

    bool operator==(const Profile&) const = default;

private:
    std::filesystem::path m_config;
    std::filesystem::path m_data;
    std::filesystem::path m_documents;
    std::filesystem::path m_cache;
};

}
