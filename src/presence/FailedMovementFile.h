#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

/// Movement postings that could not be delivered, waiting to be sent again:
/// "failedLocationPosts.plist" in the documents directory, an XML property
/// list {"locations": [parameter texts]} in the order they failed.
///
/// The main thread adds to it while the background resend takes from it, so
/// every operation holds one process-wide lock across its read and its
/// atomic rewrite; neither side can lose the other's entries.
class FailedMovementFile {
public:
    static std::filesystem::path path();

    /// Every entry, oldest first; empty for a missing or unreadable file.
    static std::vector<std::string> getAllFailedLocations();
    /// Appends an entry at the end.
    static void addLocationToPlist(const std::string& entry);
    /// Removes and returns the first entry; none (and no file is made) when
    /// the list is empty.
    static std::optional<std::string> getLocationFromPlist();
};

}
