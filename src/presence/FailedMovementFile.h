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
/// every operation holds one process-wide lock across its read and queueing
/// its rewrite; neither side can lose the other's entries. The rewrite is
/// done by the disk writer (atomically: the old file or the new one), so no
/// caller waits for the disk; a rewrite still queued is what is read.
///
/// Nothing in it is ever lost: a file that cannot be read is moved aside
/// (kept beside it with the time in its name) rather than overwritten, and an
/// entry that cannot be written stays in memory, is listed and resent like
/// the others, and goes into the file at the next write that succeeds.
class FailedMovementFile {
public:
    static std::filesystem::path path();

    /// Every entry waiting for a resend, oldest first; a posting on its way
    /// (beginPosting) is not listed.
    static std::vector<std::string> getAllFailedLocations();
    /// Appends an entry at the end.
    static void addLocationToPlist(const std::string& entry);
    /// Removes and returns the first entry; none (and no file is made) when
    /// the list is empty.
    [[nodiscard]] static std::optional<std::string> getLocationFromPlist();

    // A movement goes into the file before it is posted and leaves it once
    // the service has answered for it, so a process killed while it is on
    // its way still has it. While on its way it is not offered for a resend.

    /// Keeps `entry` before it is posted.
    static void beginPosting(const std::string& entry);
    enum class PostingOutcome {
        Answered, ///< the service took it or refused it: it leaves the file
        NotDelivered, ///< it may never have arrived: it waits for the resend
    };
    static void endPosting(const std::string& entry, PostingOutcome outcome);

    // The resend works on the first entry in place, so that a process killed
    // while the entry is on its way still has it in the file: it leaves the
    // file only once the service has taken it.

    /// The first entry, left in the file; none when the list is empty.
    [[nodiscard]] static std::optional<std::string> firstFailedLocation();
    /// Removes `entry`, the first entry when the resend took it (a posting
    /// that failed meanwhile may stand before it now); false (and nothing
    /// changes) when it is not waiting.
    [[nodiscard]] static bool removeFirstFailedLocation(const std::string& entry);
    /// Moves `entry` to the end in one rewrite (a failed resend waits behind
    /// the others); false when it is not waiting or an unreadable file
    /// stands in the way. A rewrite that then fails keeps the old order.
    static bool moveFirstFailedLocationToEnd(const std::string& entry);
};

}
