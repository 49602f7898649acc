#include "platform/foundation/RunLoop.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace hestio::platform {

namespace {

    thread_local RunLoop* t_currentLoop = nullptr;

    // A repeating timer with a zero or negative interval would fire forever
    // within one pass; a millisecond is the shortest period we honour.
    constexpr double minimumIntervalSeconds = 0.001;

}

struct TimerHandle::State {
    RunLoop::Task task;
    std::shared_ptr<void> keptAlive; // what keepAlive() holds, instead of a task
    bool isKeepAlive { false };
    const void* target { nullptr };
    double intervalSeconds { 0 }; // 0 for a one-shot call
    RunLoop* loop { nullptr }; // null once the timer is no longer pending
    double due { 0 };
    std::uint64_t sequence { 0 };
};

void TimerHandle::cancel()
{
    if (m_state && m_state->loop)
        m_state->loop->cancelTimer(*m_state);
}

bool TimerHandle::isActive() const
{
    return m_state && m_state->loop;
}

RunLoop::RunLoop(Clock& clock)
    : m_clock(clock)
    , m_link(std::make_shared<RunLoopLink>(*this))
{
    if (clock.isManual())
        static_cast<ManualClock&>(clock).attach(*this);
}

RunLoop::~RunLoop()
{
    m_link->loopDestroyed();
    if (m_clock.isManual())
        static_cast<ManualClock&>(m_clock).detach(*this);
    // Closures of calls that will never run are released here, with the
    // loop's bookkeeping already consistent: a closure often holds the very
    // object whose handle holds the timer, and would otherwise keep both alive.
    {
        // What goes now is destroyed on this loop, as it would have been
        // during the loop's life: destructors may cancel their calls on it.
        CurrentRunLoopScope scope(*this);
        releaseEverything();
    }
    if (t_currentLoop == this)
        t_currentLoop = nullptr;
}

void RunLoop::releaseEverything()
{
    // What is released may schedule or keep more on this loop from its
    // destructor; that goes too.
    while (!m_timers.empty() || !m_keptAlive.empty()) {
        std::vector<Task> unrun;
        std::vector<std::shared_ptr<void>> kept;
        for (auto& [key, state] : m_timers) {
            state->loop = nullptr;
            unrun.push_back(std::move(state->task));
        }
        for (auto& [sequence, state] : m_keptAlive) {
            state->loop = nullptr;
            kept.push_back(std::move(state->keptAlive));
        }
        m_timers.clear();
        m_keptAlive.clear();
    }
}

RunLoop& RunLoop::current()
{
    // A programming error in every build: going on would dereference null.
    if (!t_currentLoop) {
        hestio::log("RunLoop::current() called on a thread without a current run loop");
        std::abort();
    }
    return *t_currentLoop;
}

RunLoop* RunLoop::currentIfAny()
{
    return t_currentLoop;
}

std::uint64_t RunLoop::nextSequence()
{
    static std::atomic<std::uint64_t> sequence { 0 };
    return ++sequence;
}

void RunLoop::post(Task task)
{
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(m_postMutex);
        m_posted.push_back({ nextSequence(), std::move(task) });
        wakeUp = m_wakeUp;
    }
    m_postCondition.notify_one();
    if (wakeUp)
        wakeUp();
}

bool RunLoopLink::post(RunLoop::Task task)
{
    // Held while posting, so the loop cannot be destroyed half-way.
    std::lock_guard lock(m_mutex);
    if (!m_loop)
        return false;
    m_loop->post(std::move(task));
    return true;
}

void RunLoopLink::loopDestroyed()
{
    std::lock_guard lock(m_mutex);
    m_loop = nullptr;
}

TimerHandle RunLoop::postDelayed(double delaySeconds, Task task, const void* target)
{
    return schedule(delaySeconds, 0, std::move(task), target);
}

TimerHandle RunLoop::scheduleRepeating(double intervalSeconds, Task task, const void* target)
{
    double interval = std::max(intervalSeconds, minimumIntervalSeconds);
    return schedule(interval, interval, std::move(task), target);
}

TimerHandle RunLoop::schedule(double delaySeconds, double intervalSeconds, Task task, const void* target)
{
    auto state = std::make_shared<TimerHandle::State>();
    state->task = std::move(task);
    state->target = target;
    state->intervalSeconds = intervalSeconds;
    // A negative or not-a-number delay means "as soon as possible".
    double delay = delaySeconds > 0 ? delaySeconds : 0.0;
    insertTimer(state, m_clock.monotonicSeconds() + delay);
    return TimerHandle(state);
}

void RunLoop::insertTimer(const std::shared_ptr<TimerHandle::State>& state, double due)
{
    state->loop = this;
    state->due = due;
    state->sequence = nextSequence();
    m_timers.emplace(TimerKey { due, state->sequence }, state);
}

void RunLoop::removeTimer(TimerHandle::State& state)
{
    m_timers.erase(TimerKey { state.due, state.sequence });
    state.loop = nullptr;
}

TimerHandle RunLoop::keepAlive(std::shared_ptr<void> object)
{
    auto state = std::make_shared<TimerHandle::State>();
    state->keptAlive = std::move(object);
    state->isKeepAlive = true;
    state->loop = this;
    state->sequence = nextSequence();
    m_keptAlive.emplace(state->sequence, state);
    return TimerHandle(state);
}

void RunLoop::cancelTimer(TimerHandle::State& state)
{
    if (state.isKeepAlive) {
        m_keptAlive.erase(state.sequence);
        state.loop = nullptr;
        std::shared_ptr<void> released = std::move(state.keptAlive);
        return;
    }
    removeTimer(state);
    // A cancelled call never runs, so its closure (and whatever it captured)
    // goes now rather than when the last handle does. Destroyed after the
    // timer left the map, in case its captures cancel other timers.
    Task released = std::move(state.task);
}

void RunLoop::cancelDelayed(const void* target)
{
    if (!target)
        return;
    // Released after the loop below: a closure's captures may cancel timers.
    std::vector<Task> released;
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->second->target == target) {
            it->second->loop = nullptr;
            released.push_back(std::move(it->second->task));
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

std::optional<std::uint64_t> RunLoop::frontPostedSequence() const
{
    std::lock_guard lock(m_postMutex);
    if (m_posted.empty())
        return std::nullopt;
    return m_posted.front().sequence;
}

bool RunLoop::runOnePostedTask()
{
    Task task;
    {
        std::lock_guard lock(m_postMutex);
        if (m_posted.empty())
            return false;
        task = std::move(m_posted.front().task);
        m_posted.pop_front();
    }
    if (task)
        task();
    return true;
}

std::optional<RunLoop::TimerKey> RunLoop::firstTimerKey() const
{
    if (m_timers.empty())
        return std::nullopt;
    return m_timers.begin()->first;
}

bool RunLoop::runOneDueTimer(double monotonicNow)
{
    if (m_timers.empty() || m_timers.begin()->first.due > monotonicNow)
        return false;
    runTimer(m_timers.begin()->second, monotonicNow);
    return true;
}

void RunLoop::runTimer(std::shared_ptr<TimerHandle::State> state, double monotonicNow)
{
    removeTimer(*state);
    if (state->intervalSeconds > 0) {
        // Rescheduled before running so that the task may cancel its own
        // timer. A loop that fell behind skips the missed firings instead of
        // running them in a burst.
        double next = state->due + state->intervalSeconds;
        if (next <= monotonicNow)
            next = state->due
                + state->intervalSeconds * (std::floor((monotonicNow - state->due) / state->intervalSeconds) + 1);
        insertTimer(state, next);
    }
    // A repeating timer runs a copy: the task may cancel or reschedule the
    // timer that holds it. A one-shot call takes its closure out, so a fired
    // call holds nothing alive for the handles that outlast it (an animation
    // keeps the handle of the call that ends it, and that call captures the
    // animation).
    Task task = state->intervalSeconds > 0 ? state->task : std::move(state->task);
    if (task)
        task();
}

bool RunLoop::runDueTasks()
{
    CurrentRunLoopScope scope(*this);
    bool ranAnything = false;
    // Only what was waiting when the pass began runs now; work queued by
    // those tasks waits for the next pass, so a task that re-posts itself
    // cannot starve the host.
    std::size_t postedCount;
    {
        std::lock_guard lock(m_postMutex);
        postedCount = m_posted.size();
    }
    for (std::size_t i = 0; i < postedCount && runOnePostedTask(); ++i)
        ranAnything = true;

    double now = m_clock.monotonicSeconds();
    std::uint64_t lastSequence = nextSequence();
    for (;;) {
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
            [&](const auto& entry) { return entry.first.due > now || entry.first.sequence < lastSequence; });
        if (it == m_timers.end() || it->first.due > now)
            break;
        runTimer(it->second, now);
        ranAnything = true;
    }
    return ranAnything;
}

std::optional<double> RunLoop::nextTimerDueTime() const
{
    if (m_timers.empty())
        return std::nullopt;
    return m_timers.begin()->first.due;
}

std::optional<double> RunLoop::secondsUntilNextTimer() const
{
    auto due = nextTimerDueTime();
    if (!due)
        return std::nullopt;
    return std::max(0.0, *due - m_clock.monotonicSeconds());
}

bool RunLoop::hasPostedTasks() const
{
    std::lock_guard lock(m_postMutex);
    return !m_posted.empty();
}

void RunLoop::run()
{
    assert(!m_clock.isManual() && "a loop on a manual clock is driven by ManualClock::advance()");
    CurrentRunLoopScope scope(*this);
    {
        std::lock_guard lock(m_postMutex);
        m_stopped = false;
    }
    for (;;) {
        runDueTasks();
        std::unique_lock lock(m_postMutex);
        if (m_stopped)
            return;
        if (!m_posted.empty())
            continue;
        auto wait = secondsUntilNextTimer();
        auto ready = [this] { return m_stopped || !m_posted.empty(); };
        if (wait)
            m_postCondition.wait_for(lock, std::chrono::duration<double>(std::min(*wait, 3600.0)), ready);
        else
            m_postCondition.wait(lock, ready);
    }
}

void RunLoop::stop()
{
    {
        std::lock_guard lock(m_postMutex);
        m_stopped = true;
    }
    m_postCondition.notify_all();
}

void RunLoop::setWakeUpHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_postMutex);
    m_wakeUp = std::move(handler);
}

CurrentRunLoopScope::CurrentRunLoopScope(RunLoop& loop)
    : m_previous(t_currentLoop)
{
    t_currentLoop = &loop;
}

CurrentRunLoopScope::~CurrentRunLoopScope()
{
    t_currentLoop = m_previous;
}

}
