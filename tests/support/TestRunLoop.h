#pragma once

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"

namespace hestio::test {

/// A manual clock and a run loop on it, made the thread's current loop for
/// the scope's lifetime. Time moves only through advance().
class TestRunLoop {
public:
    explicit TestRunLoop(platform::Date start = platform::Date(1354752000.0)); // 2012-12-06 00:00:00 UTC
    TestRunLoop(const TestRunLoop&) = delete;
    TestRunLoop& operator=(const TestRunLoop&) = delete;

    /// Moves time forward, running everything that falls due on the way.
    void advance(double seconds) { m_clock.advance(seconds); }
    /// Runs what is due now (posted tasks included) without moving time.
    void runPending() { m_clock.runPending(); }

    platform::ManualClock& clock() { return m_clock; }
    platform::RunLoop& loop() { return m_loop; }
    platform::Date now() const { return m_clock.now(); }

private:
    platform::ManualClock m_clock;
    platform::RunLoop m_loop { m_clock };
    platform::CurrentRunLoopScope m_scope { m_loop };
};

}
