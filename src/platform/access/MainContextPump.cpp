#include "platform/access/MainContextPump.h"

#include "platform/foundation/RunLoop.h"

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace hestio::platform {

/// What the loop's thread hands the waiting thread: the descriptors and the
/// timeout of the context's last query, under a generation number.
struct MainContextPump::Watch {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<GPollFD> fds;
    int timeoutMs { -1 };
    unsigned generation { 0 };
    bool stopping { false };
    /// Written when a new generation is handed over or on stopping, so
    /// that a wait on the old descriptors ends.
    int wake[2] { -1, -1 };

    void poke()
    {
        char byte = 1;
        [[maybe_unused]] auto written = write(wake[1], &byte, 1);
    }
};

MainContextPump::MainContextPump(GMainContext* context, RunLoop& loop)
    : m_context(g_main_context_ref(context))
    , m_link(loop.link())
    , m_watch(std::make_shared<Watch>())
{
    g_main_context_acquire(m_context);
    if (pipe2(m_watch->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_watch->wake[0] = m_watch->wake[1] = -1;
    m_thread = std::thread([watch = m_watch, link = m_link, task = cycleTask()] {
        unsigned seen = 0;
        bool polling = false;
        std::vector<GPollFD> fds;
        int timeout = -1;
        while (true) {
            {
                std::unique_lock lock(watch->mutex);
                if (!polling)
                    watch->changed.wait(lock, [&] { return watch->stopping || watch->generation != seen; });
                if (watch->stopping)
                    return;
                if (watch->generation != seen) {
                    seen = watch->generation;
                    fds = watch->fds;
                    fds.push_back({ watch->wake[0], G_IO_IN, 0 });
                    timeout = watch->timeoutMs;
                    polling = true;
                }
            }
            for (auto& fd : fds)
                fd.revents = 0;
            g_poll(fds.data(), static_cast<guint>(fds.size()), timeout);
            if (fds.back().revents) {
                char drained[64];
                while (read(watch->wake[0], drained, sizeof drained) > 0) { }
                continue;
            }
            polling = false;
            link->post(task);
        }
    });
    dispatchSoon();
}

MainContextPump::~MainContextPump()
{
    {
        std::lock_guard lock(m_watch->mutex);
        m_watch->stopping = true;
    }
    m_watch->changed.notify_all();
    m_watch->poke();
    m_thread.join();
    for (int fd : m_watch->wake)
        if (fd >= 0)
            close(fd);
    g_main_context_release(m_context);
    g_main_context_unref(m_context);
}

void MainContextPump::dispatchSoon()
{
    if (m_dispatchPosted)
        return;
    m_dispatchPosted = true;
    m_link->post(cycleTask());
}

std::function<void()> MainContextPump::cycleTask()
{
    // Posted work can outlive the pump; it does nothing once the pump stopped.
    std::weak_ptr<Watch> weak = m_watch;
    return [this, weak] {
        if (auto alive = weak.lock(); alive && !alive->stopping)
            cycle();
    };
}

void MainContextPump::cycle()
{
    m_dispatchPosted = false;
    // A few rounds while sources are ready at once; then the loop's other
    // work gets its turn before the next.
    for (int round = 0; round < 8; ++round) {
        if (m_prepared) {
            g_poll(m_fds.data(), static_cast<guint>(m_fds.size()), 0);
            bool ready = g_main_context_check(m_context, m_priority, m_fds.data(), static_cast<gint>(m_fds.size()));
            m_prepared = false;
            if (ready)
                g_main_context_dispatch(m_context);
        }
        g_main_context_prepare(m_context, &m_priority);
        gint timeout = -1;
        m_fds.resize(8);
        gint count;
        while ((count = g_main_context_query(
                    m_context, m_priority, &timeout, m_fds.data(), static_cast<gint>(m_fds.size())))
            > static_cast<gint>(m_fds.size()))
            m_fds.resize(static_cast<std::size_t>(count));
        m_fds.resize(static_cast<std::size_t>(count));
        m_prepared = true;
        if (timeout != 0) {
            waitForSources(timeout);
            return;
        }
    }
    dispatchSoon();
}

void MainContextPump::waitForSources(int timeoutMs)
{
    {
        std::lock_guard lock(m_watch->mutex);
        m_watch->fds = m_fds;
        m_watch->timeoutMs = timeoutMs;
        ++m_watch->generation;
    }
    m_watch->changed.notify_all();
    m_watch->poke();
}

}
