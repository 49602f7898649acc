#include "schedule/LeaveTimeWatcher.h"

#include "model/LeaveTimes.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "session/LeaveHomeChecker.h"

#include <algorithm>
#include <cmath>

namespace hestio {

using namespace platform;

std::shared_ptr<LeaveTimeWatcher> LeaveTimeWatcher::create(std::shared_ptr<Session> session)
{
    auto watcher = std::make_shared<LeaveTimeWatcher>(std::move(session));
    std::weak_ptr<LeaveTimeWatcher> weak = watcher;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(watcher.get(), "UserLoggedOut", [weak](const auto&) {
        if (auto self = weak.lock())
            self->stop();
    });
    return watcher;
}

LeaveTimeWatcher::LeaveTimeWatcher(std::shared_ptr<Session> session)
    : m_session(std::move(session))
{
}

LeaveTimeWatcher::~LeaveTimeWatcher()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_timer.cancel();
}

void LeaveTimeWatcher::watch(const std::vector<std::shared_ptr<ScheduledAlarm>>& schedules)
{
    m_schedules.clear();
    std::copy_if(schedules.begin(), schedules.end(), std::back_inserter(m_schedules), [](const auto& s) { return s; });
    m_next = LeaveTimes::next(m_schedules, RunLoop::current().clock().now(), m_session->householdTimeZone());
    arm();
}

void LeaveTimeWatcher::stop()
{
    m_schedules.clear();
    m_next.reset();
    m_timer.cancel();
}

void LeaveTimeWatcher::arm()
{
    m_timer.cancel();
    if (!m_next)
        return;
    double wait = std::clamp(m_next->timeIntervalSince(RunLoop::current().clock().now()), 0.0, longestWait);
    std::weak_ptr<LeaveTimeWatcher> weak = weak_from_this();
    m_timer = RunLoop::current().postDelayed(wait, [weak] {
        if (auto self = weak.lock())
            self->wake();
    });
}

void LeaveTimeWatcher::wake()
{
    Date now = RunLoop::current().clock().now();
    if (m_next && now >= *m_next) {
        double late = now.timeIntervalSince(*m_next);
        if (late > latestCheck) {
            hestio::log(hestio::format(
                "Leave time of a schedule missed by %.0f minutes (the clock jumped or the machine slept): not checked",
                std::floor(late / 60)));
        } else {
            hestio::log("Leave time of a schedule: checking what is on at home");
            m_session->leaveHomeChecker()->check();
        }
        m_next = LeaveTimes::next(m_schedules, now, m_session->householdTimeZone());
    }
    arm();
}

}
