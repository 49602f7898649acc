#include "platform/foundation/Clock.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <cassert>
#include <chrono>

namespace hestio::platform {

SystemClock& SystemClock::shared()
{
    static SystemClock clock;
    return clock;
}

Date SystemClock::now() const
{
    auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date(std::chrono::duration<double>(sinceEpoch).count());
}

double SystemClock::monotonicSeconds() const
{
    auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceStart).count();
}

ManualClock::ManualClock(Date start)
    : m_wallOffset(start.timeIntervalSince1970())
{
}

Date ManualClock::now() const
{
    return Date(m_wallOffset + m_monotonic);
}

double ManualClock::monotonicSeconds() const
{
    return m_monotonic;
}

void ManualClock::setNow(Date date)
{
    m_wallOffset = date.timeIntervalSince1970() - m_monotonic;
}

void ManualClock::attach(RunLoop& loop)
{
    if (std::find(m_loops.begin(), m_loops.end(), &loop) == m_loops.end())
        m_loops.push_back(&loop);
}

void ManualClock::detach(RunLoop& loop)
{
    std::erase(m_loops, &loop);
}

void ManualClock::advance(double seconds)
{
    assert(seconds >= 0 && "time only moves forward");
    double target = m_monotonic + std::max(seconds, 0.0);
    // Steps such as 0.09 + 0.01 land a rounding error short of 0.1; a call
    // due within a tenth of a microsecond of the target counts as due.
    double reach = target + 1e-7;

    // Each step runs the single earliest piece of work of all attached loops:
    // posted tasks count as due now, timers at their due time, and ties go to
    // whichever was posted first. Work added by a task joins the same race,
    // so a delayed call scheduled on the way runs if it falls due by `target`.
    for (;;) {
        // The writer's answers are posted before the next step is chosen:
        // on this clock the disk is as quick as time (unless a test holds it).
        DiskWriter::settleShared();
        enum class Work { PostedTask, Timer };
        RunLoop* chosen = nullptr;
        Work chosenWork = Work::PostedTask;
        double chosenDue = 0;
        std::uint64_t chosenSequence = 0;
        auto consider = [&](RunLoop* loop, double due, std::uint64_t sequence, Work work) {
            if (chosen && (due > chosenDue || (due == chosenDue && sequence > chosenSequence)))
                return;
            chosen = loop;
            chosenDue = due;
            chosenSequence = sequence;
            chosenWork = work;
        };
        for (RunLoop* loop : m_loops) {
            if (auto sequence = loop->frontPostedSequence())
                consider(loop, m_monotonic, *sequence, Work::PostedTask);
            if (auto key = loop->firstTimerKey(); key && key->due <= reach)
                consider(loop, std::max(key->due, m_monotonic), key->sequence, Work::Timer);
        }
        if (!chosen)
            break;

        m_monotonic = std::max(m_monotonic, chosenDue);
        CurrentRunLoopScope scope(*chosen);
        if (chosenWork == Work::Timer)
            chosen->runOneDueTimer(m_monotonic);
        else
            chosen->runOnePostedTask();
    }
    m_monotonic = std::max(m_monotonic, target);
}

}
