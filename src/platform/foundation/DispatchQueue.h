#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hestio::platform {

/// A background queue: tasks run one after another, in the order given, on
/// the queue's own thread. The app uses one, for work that must not block
/// the run loop (resending undelivered movements with blocking requests).
class DispatchQueue {
public:
    using Task = std::function<void()>;

    /// The process-wide background queue of default priority.
    [[nodiscard]] static DispatchQueue& global();

    DispatchQueue();
    /// Runs what is still queued, then stops the thread.
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    /// Queues `task`; returns at once. Thread-safe.
    void async(Task task);
    /// Blocks until every task queued so far, and any they queued, has run.
    /// Tests use it instead of sleeping. Must not be called from a task.
    void waitUntilIdle();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task> m_tasks;
    bool m_running { false };
    bool m_stopping { false };
    std::thread m_thread;
};

}
