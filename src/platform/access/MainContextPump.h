#pragma once

#include <glib.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace hestio::platform {

class RunLoop;
class RunLoopLink;

/// Dispatches a GLib main context on the run loop's thread, so that what its
/// sources call (the accessibility bridge's requests) runs there, between
/// the loop's other work. A thread of its own only waits on the context's
/// file descriptors and timeout, and posts to the loop when one is due; it
/// never touches the context.
class MainContextPump {
public:
    /// Owns the context (acquired for the calling thread, the loop's) until destroyed.
    MainContextPump(GMainContext* context, RunLoop& loop);
    ~MainContextPump();
    MainContextPump(const MainContextPump&) = delete;
    MainContextPump& operator=(const MainContextPump&) = delete;

    /// Dispatches what is ready now and waits again with the context's new
    /// sources; called after the loop's thread used the context (sent a
    /// message), since the waiting thread cannot know of that.
    void dispatchSoon();

private:
    struct Watch;
    void cycle();
    std::function<void()> cycleTask();
    void waitForSources(int timeoutMs);

    GMainContext* m_context;
    std::shared_ptr<RunLoopLink> m_link;
    std::shared_ptr<Watch> m_watch;
    std::thread m_thread;
    bool m_dispatchPosted { false };
    bool m_prepared { false };
    int m_priority { 0 };
    std::vector<GPollFD> m_fds;
};

}
