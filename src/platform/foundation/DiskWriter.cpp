#include "platform/foundation/DiskWriter.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <unistd.h>

namespace hestio::platform {

namespace {

    namespace fs = std::filesystem;

    /// The shared writer once made, for the manual clock's waits.
    std::atomic<DiskWriter*> g_made { nullptr };

    /// How long the process's end waits for the queue at most.
    constexpr double exitDrainSeconds = 5;

}

Status DiskWriter::replaceInFolder(const fs::path& file, const std::string& contents)
{
    if (file.has_parent_path()) {
        if (Status made = makePrivateFolder(file.parent_path(), ExistingFolder::Keep); !made)
            return made;
    }
    return replaceFile(file, contents);
}

DiskWriter& DiskWriter::shared()
{
    static DiskWriter writer;
    g_made.store(&writer);
    return writer;
}

void DiskWriter::settleShared()
{
    if (DiskWriter* writer = g_made.load())
        writer->settle();
}

DiskWriter::DiskWriter()
    : m_process(::getpid())
    , m_thread(std::make_unique<std::thread>([this] { work(); }))
{
}

DiskWriter::~DiskWriter()
{
    DiskWriter* self = this;
    g_made.compare_exchange_strong(self, nullptr);
    if (inForkedChild()) {
        // The thread is the parent's; the child did its writes itself.
        static_cast<void>(m_thread.release());
        return;
    }
    releaseFlushes();
    if (!drain(exitDrainSeconds))
        log("The disk writer stops with " + std::to_string(pendingCount()) + " writes not done");
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        // What is left is not written: the process is ending.
        if (m_running)
            m_queue.erase(m_queue.begin() + 1, m_queue.end());
        else
            m_queue.clear();
    }
    m_wake.notify_all();
    m_thread->join();
}

bool DiskWriter::inForkedChild() const
{
    return ::getpid() != m_process;
}

bool DiskWriter::isInside(const fs::path& file, const fs::path& folder)
{
    auto [inFolder, inFile] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
    return inFolder == folder.end() && inFile != file.end();
}

void DiskWriter::write(fs::path file, std::string contents, Done done, Write write)
{
    if (!write)
        write = [file](const std::string& bytes) { return replaceInFolder(file, bytes); };
    Entry entry { Entry::Kind::Write, std::move(file), std::move(contents), std::move(write), {}, {} };
    if (done)
        entry.told.emplace_back(nullptr, std::move(done));
    enqueue(std::move(entry));
}

void DiskWriter::remove(fs::path file, Done done)
{
    Entry entry { Entry::Kind::Remove, std::move(file), {}, {}, {}, {} };
    if (done)
        entry.told.emplace_back(nullptr, std::move(done));
    enqueue(std::move(entry));
}

void DiskWriter::removeFolder(fs::path folder, Done done)
{
    Entry entry { Entry::Kind::RemoveFolder, std::move(folder), {}, {}, {}, {} };
    if (done)
        entry.told.emplace_back(nullptr, std::move(done));
    enqueue(std::move(entry));
}

void DiskWriter::run(Task task, Done done)
{
    Entry entry { Entry::Kind::Task, {}, {}, {}, std::move(task), {} };
    if (done)
        entry.told.emplace_back(nullptr, std::move(done));
    enqueue(std::move(entry));
}

void DiskWriter::enqueue(Entry entry)
{
    // The answer goes back to the loop of the thread that asked.
    RunLoop* loop = RunLoop::currentIfAny();
    for (auto& told : entry.told)
        told.first = loop ? loop->link() : nullptr;
    if (inForkedChild()) {
        // A forked process has no writer thread: it writes at once.
        Status status = perform(entry);
        tell(entry, status);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        // The entry under way (the front, while running) is left alone.
        auto waiting = m_queue.begin() + (m_running ? 1 : 0);
        bool isFile = entry.kind == Entry::Kind::Write || entry.kind == Entry::Kind::Remove;
        auto sameFile = [&](const Entry& queued) {
            return (queued.kind == Entry::Kind::Write || queued.kind == Entry::Kind::Remove) && queued.key == entry.key;
        };
        if (auto earlier = isFile ? std::find_if(waiting, m_queue.end(), sameFile) : m_queue.end();
            earlier != m_queue.end()) {
            // Takes the earlier write's place; its caller hears how this ends.
            entry.told.insert(entry.told.begin(), std::make_move_iterator(earlier->told.begin()),
                std::make_move_iterator(earlier->told.end()));
            *earlier = std::move(entry);
        } else {
            if (entry.kind == Entry::Kind::RemoveFolder) {
                // A logged-out user's replies are not written any more.
                m_queue.erase(std::remove_if(waiting, m_queue.end(),
                                  [&](const Entry& queued) {
                                      return (queued.kind == Entry::Kind::Write || queued.kind == Entry::Kind::Remove)
                                          && isInside(queued.key, entry.key);
                                  }),
                    m_queue.end());
            }
            m_queue.push_back(std::move(entry));
        }
    }
    m_wake.notify_one();
}

void DiskWriter::whenWritten(const fs::path& file, Done done)
{
    RunLoop* loop = RunLoop::currentIfAny();
    std::shared_ptr<RunLoopLink> link = loop ? loop->link() : nullptr;
    {
        std::lock_guard lock(m_mutex);
        // The last entry for the file, also the one under way: the writer
        // tells what joins it until it leaves the queue.
        auto last = std::find_if(m_queue.rbegin(), m_queue.rend(), [&](const Entry& entry) {
            return (entry.kind == Entry::Kind::Write || entry.kind == Entry::Kind::Remove) && entry.key == file;
        });
        if (last != m_queue.rend()) {
            last->told.emplace_back(std::move(link), std::move(done));
            return;
        }
    }
    // Nothing queued for it: what was written of it is on the disk.
    if (link)
        link->post([done = std::move(done)] { done(Status()); });
    else
        done(Status());
}

std::optional<DiskWriter::Queued> DiskWriter::queued(const fs::path& file) const
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_queue.rbegin(); it != m_queue.rend(); ++it) {
        switch (it->kind) {
        case Entry::Kind::Write:
            if (it->key == file)
                return Queued { false, it->contents };
            break;
        case Entry::Kind::Remove:
            if (it->key == file)
                return Queued { true, {} };
            break;
        case Entry::Kind::RemoveFolder:
            if (isInside(file, it->key))
                return Queued { true, {} };
            break;
        case Entry::Kind::Task:
            break;
        }
    }
    return std::nullopt;
}

Result<std::optional<FileBytes>> DiskWriter::read(const fs::path& file, std::size_t limit) const
{
    std::optional<Queued> waiting = queued(file);
    if (!waiting)
        return readPrivateFile(file, limit);
    if (waiting->removed)
        return std::optional<FileBytes>();
    std::size_t size = waiting->contents.size();
    waiting->contents.resize(std::min(size, limit));
    return std::optional(FileBytes { std::move(waiting->contents), size });
}

Status DiskWriter::perform(const Entry& entry)
{
    try {
        switch (entry.kind) {
        case Entry::Kind::Write:
            return entry.write(entry.contents);
        case Entry::Kind::Remove:
        case Entry::Kind::RemoveFolder: {
            std::error_code code;
            if (entry.kind == Entry::Kind::Remove)
                fs::remove(entry.key, code);
            else
                fs::remove_all(entry.key, code);
            if (code)
                return Error("cannot delete " + entry.key.string() + ": " + code.message());
            return {};
        }
        case Entry::Kind::Task:
            return entry.task ? entry.task() : Status();
        }
    } catch (const std::exception& error) {
        return Error(std::string("failed: ") + error.what());
    } catch (...) {
        return Error("failed");
    }
    return {};
}

void DiskWriter::tell(Entry& entry, const Status& status)
{
    for (auto& [link, done] : entry.told) {
        if (!link) {
            done(status);
        } else if (!link->post([done = std::move(done), status] { done(status); })) {
            // The loop that asked is gone; a failure is still not kept quiet.
            if (!status)
                log("A write finished after its run loop ended: " + status.error().message());
        }
    }
    entry.told.clear();
}

void DiskWriter::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_queue.empty() && !m_held); });
        if (m_queue.empty())
            return; // stopping, and nothing left to do
        m_running = true;
        double delay = m_delaySeconds;
        auto observer = m_observer;
        // The entry stays at the front while it is written: a read until
        // then gets its content, and nothing merges into it.
        Entry& entry = m_queue.front();
        lock.unlock();
        if (observer)
            observer(entry.key);
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        Status status = perform(entry);
        lock.lock();
        // Told outside the lock; whoever joined meanwhile (whenWritten) is
        // told too, before the entry leaves the queue.
        while (!entry.told.empty()) {
            Entry telling { entry.kind, {}, {}, {}, {}, std::move(entry.told) };
            entry.told.clear();
            lock.unlock();
            tell(telling, status);
            lock.lock();
        }
        m_queue.pop_front();
        m_running = false;
        m_idle.notify_all();
    }
}

bool DiskWriter::settled() const
{
    return !m_running && (m_queue.empty() || m_held);
}

void DiskWriter::settle()
{
    std::unique_lock lock(m_mutex);
    if (settled())
        return;
    ++m_blockingWaits;
    m_idle.wait(lock, [this] { return settled(); });
}

bool DiskWriter::drain(double seconds)
{
    std::unique_lock lock(m_mutex);
    auto done = [this] { return !m_running && m_queue.empty(); };
    if (done())
        return true;
    ++m_blockingWaits;
    return m_idle.wait_for(lock, std::chrono::duration<double>(seconds), done);
}

void DiskWriter::holdFlushes()
{
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void DiskWriter::releaseFlushes()
{
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_wake.notify_all();
}

void DiskWriter::setFlushDelayForTesting(double seconds)
{
    std::lock_guard lock(m_mutex);
    m_delaySeconds = seconds;
}

void DiskWriter::setFlushObserverForTesting(std::function<void(const fs::path&)> observer)
{
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

std::size_t DiskWriter::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

}
