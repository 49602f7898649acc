#pragma once

#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace hestio::platform {

class RunLoopLink;

/// The one thread that writes the app's files, so that no screen waits for
/// the disk: kept replies, exports, settings. Work is queued and done in the
/// order given, one piece at a time; each piece's result comes back to the
/// run loop of the thread that queued it (or, without one, is told on the
/// writer's thread).
///
/// A file is named by its path (its key). A later write of a file still
/// queued takes the earlier one's place in the queue (the earlier content is
/// never written, and both callers are told the one result); writes of
/// different files keep their order. What is queued for a file is what the
/// app reads of it (queued()): nothing reads a file older than what it last
/// wrote. A folder's removal drops the queued writes inside it and runs
/// after what is already under way, so nothing is written back into it
/// afterwards; writes queued after the removal are kept.
///
/// In a process forked from the app (which has no writer thread) the work
/// is done at once, in the caller's thread.
///
/// On a manual clock (tests, scripted runs) the clock waits for the writer
/// before each step, so the disk looks as quick as the clock; holdFlushes()
/// stops that, for tests of a slow disk. Thread-safe.
class DiskWriter {
public:
    /// Told how a piece of work ended.
    using Done = std::function<void(const Status&)>;
    /// Brings `contents` to the disk (on the writer's thread).
    using Write = std::function<Status(const std::string& contents)>;
    using Task = std::function<Status()>;

    /// The process's writer, made on first use.
    [[nodiscard]] static DiskWriter& shared();
    /// Waits for the shared writer as a manual clock does before each step:
    /// until nothing is queued or the flushes are held. Nothing when no
    /// writer was made.
    static void settleShared();

    DiskWriter();
    /// Drains the queue (for a bounded time), then stops the thread.
    ~DiskWriter();
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

    /// Queues replacing `file` with `contents` by `write`; replaceFile (its
    /// folder made private) when none is given.
    void write(std::filesystem::path file, std::string contents, Done done = {}, Write write = {});
    /// Queues deleting `file` (missing is no failure).
    void remove(std::filesystem::path file, Done done = {});
    /// Drops what is queued inside `folder`, then queues deleting it with
    /// everything in it.
    void removeFolder(std::filesystem::path folder, Done done = {});
    /// Queues `task` in order with the writes; never merged with another.
    void run(Task task, Done done = {});

    /// What is queued for `file`.
    struct Queued {
        bool removed { false };
        std::string contents;
    };
    /// The content queued for `file` (or that it is to be deleted, also with
    /// its folder); none when nothing is queued for it.
    [[nodiscard]] std::optional<Queued> queued(const std::filesystem::path& file) const;

    /// readPrivateFile() of what the app last wrote: the content queued for
    /// `file` when there is any (cut at `limit`), else the file on disk.
    [[nodiscard]] Result<std::optional<FileBytes>> read(const std::filesystem::path& file, std::size_t limit) const;

    /// Tells `done` how the last write (or deletion) queued for `file` ends,
    /// on the run loop that asks, as that write's own caller is told; when
    /// nothing is queued for it, a success, posted at once. For a caller that
    /// must show whether a change was stored, without waiting for the disk.
    void whenWritten(const std::filesystem::path& file, Done done);

    /// The usual way a file is written: `contents` replace `file`
    /// (replaceFile), its folder made first where missing.
    static Status replaceInFolder(const std::filesystem::path& file, const std::string& contents);

    /// Blocks until nothing is queued, or the flushes are held.
    void settle();
    /// Blocks until everything queued is done, at most `seconds`; false when
    /// work was left (held, or a disk slower than that).
    bool drain(double seconds);

    /// For tests of a slow disk: held, the writer starts no more work until
    /// released (what is queued stays queued and can still be merged).
    void holdFlushes();
    void releaseFlushes();
    /// For the benchmark: each piece of work takes this much longer.
    void setFlushDelayForTesting(double seconds);
    /// Called on the writer's thread as each piece of work starts, with its
    /// file (empty for a task).
    void setFlushObserverForTesting(std::function<void(const std::filesystem::path&)> observer);
    /// Pieces of work queued or under way.
    [[nodiscard]] std::size_t pendingCount() const;
    /// How often a caller of settle() or drain() had to wait for the writer.
    [[nodiscard]] std::size_t blockingWaitCount() const { return m_blockingWaits.load(); }

private:
    struct Entry {
        enum class Kind { Write, Remove, RemoveFolder, Task };
        Kind kind;
        std::filesystem::path key; ///< the file, or the folder; empty for a task
        std::string contents;
        Write write;
        Task task;
        std::vector<std::pair<std::shared_ptr<RunLoopLink>, Done>> told;
    };
    [[nodiscard]] static bool isInside(const std::filesystem::path& file, const std::filesystem::path& folder);
    [[nodiscard]] static Status perform(const Entry& entry);
    static void tell(Entry& entry, const Status& status);
    void enqueue(Entry entry);
    void work();
    bool settled() const;
    /// A forked copy of the writer has no thread: it writes at once.
    [[nodiscard]] bool inForkedChild() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Entry> m_queue;
    bool m_running { false };
    bool m_held { false };
    bool m_stopping { false };
    double m_delaySeconds { 0 };
    std::function<void(const std::filesystem::path&)> m_observer;
    std::atomic<std::size_t> m_blockingWaits { 0 };
    int m_process;
    std::unique_ptr<std::thread> m_thread;
};

/// Holds the shared writer's flushes for its lifetime (tests).
class HeldFlushes {
public:
    HeldFlushes() { DiskWriter::shared().holdFlushes(); }
    ~HeldFlushes() { DiskWriter::shared().releaseFlushes(); }
    HeldFlushes(const HeldFlushes&) = delete;
    HeldFlushes& operator=(const HeldFlushes&) = delete;
};

}
