#pragma once

#include "platform/foundation/Date.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace hestio {

/// A suggestion the user followed and the service accepted: what it said,
/// the device it was for and when, so that its effect can be shown later.
struct FollowedSuggestion {
    std::int32_t suggestionID { 0 };
    std::string text;
    /// The service's identifier of the device (empty when its list gave none).
    std::string deviceID;
    std::string deviceName;
    platform::Date followedAt;

    bool operator==(const FollowedSuggestion&) const = default;
};

/// The followed suggestions of one user, kept in a small property-list file
/// in the profile's data folder that names the user: a file naming another
/// user is not shown (one written before files named their user is taken as
/// the user's whose name it bears). Every change rewrites the file atomically;
/// the newest `capacity` records are kept. A file that cannot be read is left
/// out with one log line and replaced by the next change. Main thread only.
class FollowedSuggestionStore {
public:
    static constexpr std::size_t capacity = 50;

    FollowedSuggestionStore(std::filesystem::path file, std::string username);
    /// The store of `username` under `dataDirectory` (one file per user,
    /// named by platform::safeFileName).
    [[nodiscard]] static FollowedSuggestionStore forUser(
        const std::filesystem::path& dataDirectory, const std::string& username);

    /// Newest first. Records that cannot be read are left out.
    [[nodiscard]] std::vector<FollowedSuggestion> load() const;
    /// Adds `followed`, replacing an earlier record of the same suggestion,
    /// and drops the oldest beyond `capacity`: load() has it at once, the
    /// disk a little later (the disk writer). `done` hears on the caller's run
    /// loop whether it was kept: false, with one log line, when the file
    /// cannot be written (the old file then stays as it was).
    void record(const FollowedSuggestion& followed, std::function<void(bool kept)> done = {}) const;

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
    std::string m_username;
};

}
