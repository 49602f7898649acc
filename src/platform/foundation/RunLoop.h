#pragma once

#include "platform/foundation/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace hestio::platform {

/// A handle to one delayed call or repeating timer. Copies share the timer;
/// dropping every handle does not cancel it, cancel() does. The call's
/// closure is released once it can no longer run (fired once, cancelled, or
/// its loop destroyed), so a handle kept by what the closure captures makes
/// no reference cycle.
class TimerHandle {
public:
    TimerHandle() = default;
    void cancel();
    [[nodiscard]] bool isActive() const;

private:
    friend class RunLoop;
    struct State;
    explicit TimerHandle(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
    }
    std::shared_ptr<State> m_state;
};

class RunLoopLink;

/// The event loop of one thread. Everything the application does runs here:
/// posted tasks, delayed calls, timers; the host adds input and drawing.
///
/// post() may be called from any thread (the network thread posts its
/// completions); everything else belongs to the loop's own thread.
class RunLoop {
public:
    using Task = std::function<void()>;

    explicit RunLoop(Clock& clock);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    /// The loop of the calling thread, set by a CurrentRunLoopScope (or by
    /// run()). Asserts when there is none.
    [[nodiscard]] static RunLoop& current();
    [[nodiscard]] static RunLoop* currentIfAny();

    [[nodiscard]] Clock& clock() const { return m_clock; }

    /// Runs `task` on this loop as soon as possible, after the tasks posted
    /// before it. Thread-safe.
    void post(Task task);
    /// A way for a thread that may outlive this loop to post to it: once the
    /// loop is destroyed, what it posts is dropped instead.
    [[nodiscard]] std::shared_ptr<RunLoopLink> link() const { return m_link; }

    /// Runs `task` once after `delaySeconds`. `target`, when given, groups
    /// the calls made on behalf of one object so they can be cancelled together.
    TimerHandle postDelayed(double delaySeconds, Task task, const void* target = nullptr);
    /// Runs `task` every `intervalSeconds` until cancelled.
    TimerHandle scheduleRepeating(double intervalSeconds, Task task, const void* target = nullptr);
    /// Cancels every pending delayed call and timer aimed at `target`.
    void cancelDelayed(const void* target);
    /// Keeps `object` alive until the handle is cancelled or this loop is
    /// destroyed, for work whose answer comes through this loop (an exchange
    /// keeps its delegate so): once the loop is gone no answer can come, and
    /// the object goes with it rather than staying in a cycle forever. Not a
    /// timer: nothing runs, and it counts in no pending work.
    TimerHandle keepAlive(std::shared_ptr<void> object);

    /// Runs posted tasks and every timer due by the clock's time; returns true
    /// when anything ran.
    bool runDueTasks();
    /// Seconds until the earliest pending timer, none when there is none.
    [[nodiscard]] std::optional<double> secondsUntilNextTimer() const;
    /// The monotonic time of the earliest pending timer.
    [[nodiscard]] std::optional<double> nextTimerDueTime() const;
    [[nodiscard]] bool hasPostedTasks() const;
    /// Delayed calls and timers still waiting to run.
    [[nodiscard]] std::size_t pendingTimerCount() const { return m_timers.size(); }

    /// Blocks running tasks and timers until stop(); only for the real clock.
    void run();
    void stop();

    /// Called (from any thread) when a post() should wake a host that is
    /// waiting for input, e.g. by pushing an event into its queue.
    void setWakeUpHandler(std::function<void()> handler);

private:
    friend class ManualClock;
    friend class TimerHandle;

    struct PostedTask {
        std::uint64_t sequence;
        Task task;
    };
    struct TimerKey {
        double due;
        std::uint64_t sequence;
        auto operator<=>(const TimerKey&) const = default;
    };

    /// Sequence numbers are shared by every loop so that ties between loops
    /// on one manual clock also resolve in posting order.
    [[nodiscard]] static std::uint64_t nextSequence();

    TimerHandle schedule(double delaySeconds, double intervalSeconds, Task task, const void* target);
    void insertTimer(const std::shared_ptr<TimerHandle::State>& state, double due);
    void removeTimer(TimerHandle::State& state);
    void cancelTimer(TimerHandle::State& state);
    void releaseEverything();
    // The earliest posted task's sequence, if any (thread-safe).
    [[nodiscard]] std::optional<std::uint64_t> frontPostedSequence() const;
    bool runOnePostedTask();
    [[nodiscard]] std::optional<TimerKey> firstTimerKey() const;
    bool runOneDueTimer(double monotonicNow);
    void runTimer(std::shared_ptr<TimerHandle::State> state, double monotonicNow);

    Clock& m_clock;
    mutable std::mutex m_postMutex;
    std::condition_variable m_postCondition;
    std::deque<PostedTask> m_posted;
    std::function<void()> m_wakeUp;

    std::map<TimerKey, std::shared_ptr<TimerHandle::State>> m_timers;
    std::map<std::uint64_t, std::shared_ptr<TimerHandle::State>> m_keptAlive;
    bool m_stopped { false };
    std::shared_ptr<RunLoopLink> m_link;
};

/// Posts to a run loop while it lives (see RunLoop::link).
class RunLoopLink {
public:
    explicit RunLoopLink(RunLoop& loop)
        : m_loop(&loop)
    {
    }
    /// False, and `task` dropped, when the loop is gone. Thread-safe.
    bool post(RunLoop::Task task);

private:
    friend class RunLoop;
    void loopDestroyed();

    std::mutex m_mutex;
    RunLoop* m_loop;
};

/// Makes a loop the calling thread's current one for the scope's lifetime.
class CurrentRunLoopScope {
public:
    explicit CurrentRunLoopScope(RunLoop& loop);
    ~CurrentRunLoopScope();
    CurrentRunLoopScope(const CurrentRunLoopScope&) = delete;
    CurrentRunLoopScope& operator=(const CurrentRunLoopScope&) = delete;

private:
    RunLoop* m_previous;
};

}
