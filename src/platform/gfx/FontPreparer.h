#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"

#include <deque>
#include <functional>
#include <vector>

namespace hestio::platform {

/// Prepares the fonts a screen will draw before it is first shown, one font
/// at a time on the run loop, so that the frame first showing them does not
/// match their faces, work out their metrics and load their glyphs all at
/// once (a graph's first drawing did that for all of its axes' fonts and
/// took three times a usual frame). Each step is a few milliseconds, small
/// enough to go between frames unnoticed.
class FontPreparer {
public:
    using Prepare = std::function<void(const Font&, double scale)>;
    /// How long after being asked the first font is prepared (the screen
    /// that asked has settled by then), and the time between two fonts.
    static constexpr double firstDelay = 0.5;
    static constexpr double step = 0.05;

    /// `prepare` does the work for one font (prepareFont, or a test's).
    explicit FontPreparer(Prepare prepare);
    FontPreparer();
    /// Cancels what is still queued.
    ~FontPreparer();
    FontPreparer(const FontPreparer&) = delete;
    FontPreparer& operator=(const FontPreparer&) = delete;

    /// Queues `fonts` at `scale`, leaving out those prepared or queued at
    /// that scale already, on the current run loop.
    void prepare(const std::vector<Font>& fonts, double scale);
    [[nodiscard]] std::size_t pendingCount() const { return m_pending.size(); }

private:
    struct Request {
        Font font;
        double scale;
        bool operator==(const Request&) const = default;
    };
    void prepareNext();

    Prepare m_prepare;
    std::deque<Request> m_pending;
    std::vector<Request> m_done;
    TimerHandle m_timer;
};

}
