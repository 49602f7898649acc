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

    // The resend works on the first entry in place, so that a process killed
    // while the entry is on its way still has it in the file: it leaves the
    // file only once the service has taken it.

    /// The first entry, left in the file; none when the list is empty.
    static std::optional<std::string> firstFailedLocation();
    /// Removes the first entry when it is `entry`; false (and nothing
    /// changes) otherwise or when the file cannot be written.
    static bool removeFirstFailedLocation(const std::string& entry);
    /// Moves the first entry, when it is `entry`, to the end in one rewrite
    /// (a failed resend waits behind the others); false otherwise.
    static bool moveFirstFailedLocationToEnd(const std::string& entry);
};

}
