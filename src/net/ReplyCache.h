#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hestio {

/// A reply body kept from an earlier download, with the moment it came.
struct CachedReply {
    std::string body;
    platform::Date fetchedAt;
};

/// The last successful reply of each list and graph week of one user, kept
/// in that user's own folder so the screens can show them at once at launch
/// and while the service cannot be reached.
///
/// Each reply is one file "<key>.reply": a header line with the format, the
/// moment the reply came, the body's length, a checksum and the user it
/// belongs to, then the body. A file is written on the disk writer
/// (platform::DiskWriter), to a temporary name in the same folder, flushed
/// to the disk and then renamed over the old one, so a crash leaves the old
/// reply or the new one, never a mix; until then load() gives the reply
/// queued. A file that is
/// cut short, damaged, of another user or no regular file fails its checks:
/// it is logged, deleted and taken as absent. The folders are the owner's
/// only (0700), the files too (0600); names that are not "<key>.reply" are
/// left alone.
///
/// Bounded: a reply larger than maxEntryBytes is not kept (the older copy
/// of that key goes too: the cache holds the last reply or none), and once
/// the folder holds more than maxTotalBytes the oldest graph weeks go first,
/// then the oldest of the rest. Main thread only; the files are written on
/// the disk writer's.
class ReplyCache {
public:
    /// A device list of a large household or a week of raw power samples
    /// (one a minute, 10,080 of them) is well under a megabyte; four leave
    /// room for the largest household the service allows.
    static constexpr std::size_t maxEntryBytes = 4 * 1024 * 1024;
    /// The six lists and about a dozen graph weeks.
    static constexpr std::size_t maxTotalBytes = 16 * 1024 * 1024;

    /// The cache of `user` under `cacheRoot`: the folder
    /// cacheRoot/folderNameFor(user). Nothing is touched on disk yet.
    ReplyCache(const std::filesystem::path& cacheRoot, std::string_view user);

    /// The user name as one safe file name (platform::safeFileName).
    [[nodiscard]] static std::string folderNameFor(std::string_view name);
    /// The user the replies belong to, as written in each reply's header.
    [[nodiscard]] const std::string& owner() const { return m_owner; }

    [[nodiscard]] const std::filesystem::path& folder() const { return m_folder; }

    /// Told how a write on the disk writer ended, on the caller's run loop.
    using Done = std::function<void(const platform::Status&)>;

    /// Keeps `body` as the reply of `key`, replacing the one kept before:
    /// queued on the disk writer, so load() gives it at once. A reply larger
    /// than maxEntryBytes is an error at once. A reply that cannot be written
    /// (a full disk) is logged ("Could not keep the reply of <key>: …") and
    /// told to `done`, and the older copy stays as it was.
    platform::Status store(std::string_view key, std::string_view body, platform::Date fetchedAt, Done done = {});
    /// As store(), with the body handed over: the header is put in front of it
    /// in place, and no second copy of a large reply is made on its way to
    /// the disk.
    platform::Status storeOwned(std::string_view key, std::string&& body, platform::Date fetchedAt, Done done = {});
    /// The reply kept for `key`; an error when there is none or it is
    /// damaged (then logged and deleted).
    [[nodiscard]] platform::Result<CachedReply> load(std::string_view key) const;
    /// Deletes the user's folder with everything in it, after what the disk
    /// writer is writing now; the user's writes still queued are dropped.
    /// Returns at once.
    void removeAll(Done done = {});

    /// Bytes of all replies kept now.
    [[nodiscard]] std::size_t totalBytes() const;

    /// For the crash tests only: runs between writing the temporary file and
    /// renaming it into place.
    void setBeforeRenameForTesting(std::function<void()> hook) { m_beforeRename = std::move(hook); }

private:
    [[nodiscard]] std::filesystem::path fileFor(std::string_view key) const;
    /// Too large to keep: the older copy goes (an error); none otherwise.
    [[nodiscard]] std::optional<platform::Error> refuseLarger(const std::filesystem::path& file, std::size_t size);
    /// Queues `contents` (header and body) to be written as `file`.
    void queueWrite(std::string_view key, const std::filesystem::path& file, std::string contents, Done done);
    static void removeStrayTemporaries(const std::filesystem::path& folder);
    static void evictBeyondTotal(const std::filesystem::path& folder, const std::filesystem::path& keep);

    std::filesystem::path m_root;
    std::filesystem::path m_folder;
    std::string m_owner;
    std::function<void()> m_beforeRename;
    /// Temporary files left by a process killed between writing and
    /// renaming are swept once per cache object (once a run), on the
    /// writer's thread: this process removes its own when a write fails.
    std::shared_ptr<std::atomic<bool>> m_swept = std::make_shared<std::atomic<bool>>(false);
};

}
