#pragma once

#include "model/ScheduledAlarm.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/RunLoop.h"
#include "session/Session.h"

#include <memory>
#include <optional>
#include <vector>

namespace hestio {

/// Runs the leave-home check at the leave times of the household's
/// schedules while the app runs. The schedule list hands over its schedules
/// whenever they change; signing out forgets them. Main thread only.
class LeaveTimeWatcher final : public std::enable_shared_from_this<LeaveTimeWatcher> {
public:
    /// The longest wait between two looks at the clock: a wall clock that
    /// jumps (the phone asleep, the time set) is noticed within this.
    static constexpr double longestWait = 60;
    /// A leave time noticed later than this (the machine slept through it)
    /// is skipped: the household left long ago, and a notice now would
    /// only puzzle. Longer than `longestWait`, so that a clock that jumps
    /// just past a leave time still runs the check.
    static constexpr double latestCheck = 600;

    [[nodiscard]] static std::shared_ptr<LeaveTimeWatcher> create(std::shared_ptr<Session> session);
    explicit LeaveTimeWatcher(std::shared_ptr<Session> session);
    ~LeaveTimeWatcher();

    /// Watches these schedules from now on.
    void watch(const std::vector<std::shared_ptr<ScheduledAlarm>>& schedules);
    /// Signed out: nothing is watched.
    void stop();
    /// The leave time waited for; none when none is.
    [[nodiscard]] std::optional<platform::Date> nextLeaveTime() const { return m_next; }

private:
    void arm();
    void wake();

    std::shared_ptr<Session> m_session;
    std::vector<std::shared_ptr<ScheduledAlarm>> m_schedules;
    std::optional<platform::Date> m_next;
    platform::TimerHandle m_timer;
};

}
