#pragma once

#include "platform/foundation/Date.h"

#include <functional>
#include <mutex>
#include <vector>

namespace hestio::platform {

class RunLoop;

/// Where time comes from. Wall time is what dates are made of; monotonic time
/// drives timers and animations and never goes backwards.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual Date now() const = 0;
    [[nodiscard]] virtual double monotonicSeconds() const = 0;
    [[nodiscard]] virtual bool isManual() const { return false; }
};

/// The real clock of the machine.
class SystemClock final : public Clock {
public:
    [[nodiscard]] static SystemClock& shared();
    [[nodiscard]] Date now() const override;
    [[nodiscard]] double monotonicSeconds() const override;
};

/// Another clock's wall time moved by a fixed number of seconds (a run
/// that should see the days ahead); its monotonic time is the other's. The
/// other clock must outlive it.
class OffsetClock final : public Clock {
public:
    OffsetClock(const Clock& base, double offsetSeconds)
        : m_base(base)
        , m_offsetSeconds(offsetSeconds)
    {
    }
    [[nodiscard]] Date now() const override { return m_base.now().addingTimeInterval(m_offsetSeconds); }
    [[nodiscard]] double monotonicSeconds() const override { return m_base.monotonicSeconds(); }
    [[nodiscard]] double offsetSeconds() const { return m_offsetSeconds; }

private:
    const Clock& m_base;
    double m_offsetSeconds;
};

/// A clock that moves only when told to. advance() walks through time in
/// steps, stopping at each due timer of every run loop attached to it and
/// running it there, in due-time order (ties in posting order), so tests of
/// every delay run without sleeping. A call due within a tenth of a
/// microsecond of the target counts as due, so 0.09 s and then 0.01 s reach
/// a call due after 0.1 s. The clock must outlive the loops made on it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Date start = Date(1354752000.0)); // 2012-12-06 00:00:00 UTC
    [[nodiscard]] Date now() const override;
    [[nodiscard]] double monotonicSeconds() const override;
    [[nodiscard]] bool isManual() const override { return true; }

    /// Moves time forward by `seconds` (>= 0), running every task that falls
    /// due on the way, then every task posted for "now".
    void advance(double seconds);
    /// Runs what is due now without moving time.
    void runPending() { advance(0); }
    /// Sets wall time without running anything (monotonic time is unchanged).
    void setNow(Date date);

    // Run loops attach themselves when constructed on this clock.
    void attach(RunLoop& loop);
    void detach(RunLoop& loop);

private:
    double m_wallOffset { 0 };
    double m_monotonic { 0 };
    std::vector<RunLoop*> m_loops;
};

}
