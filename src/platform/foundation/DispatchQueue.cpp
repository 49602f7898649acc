#include "platform/foundation/DispatchQueue.h"

#include "platform/foundation/Log.h"

#include <exception>

namespace hestio::platform {

DispatchQueue& DispatchQueue::global()
{
    static DispatchQueue queue;
    return queue;
}

DispatchQueue::DispatchQueue()
    : m_thread([this] { work(); })
{
}

DispatchQueue::~DispatchQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DispatchQueue::async(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void DispatchQueue::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_tasks.empty() && !m_running; });
}

void DispatchQueue::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty())
            return; // stopping, and nothing left to run
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_running = true;
        lock.unlock();
        // An exception must not end the thread silently and take every later
        // task with it: it is logged and the queue goes on.
        try {
            if (task)
                task();
        } catch (const std::exception& error) {
            log(std::string("Uncaught exception on a background queue: ") + error.what());
        } catch (...) {
            log("Uncaught exception on a background queue");
        }
        task = nullptr;
        lock.lock();
        m_running = false;
        if (m_tasks.empty())
            m_idle.notify_all();
    }
}

}
