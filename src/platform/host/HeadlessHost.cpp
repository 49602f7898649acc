#include "platform/host/HeadlessHost.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace hestio::platform {

HeadlessHost::HeadlessHost(Application& application, RunLoop& loop)
    : m_application(application)
    , m_loop(loop)
{
}

void HeadlessHost::pass(double seconds)
{
    if (auto* manual = dynamic_cast<ManualClock*>(&m_loop.clock())) {
        manual->advance(std::max(0.0, seconds));
        return;
    }
    if (seconds <= 0) {
        settle();
        return;
    }
    auto timer = m_loop.postDelayed(
        seconds, [this] { m_loop.stop(); }, this);
    m_loop.run();
    timer.cancel();
}

void HeadlessHost::settle()
{
    if (auto* manual = dynamic_cast<ManualClock*>(&m_loop.clock())) {
        manual->runPending();
        return;
    }
    CurrentRunLoopScope scope(m_loop);
    // A task that keeps posting itself must not hold the script up forever.
    for (int round = 0; round < 100 && m_loop.runDueTasks(); ++round) { }
}

void HeadlessHost::stop()
{
    m_loop.stop();
}

}
