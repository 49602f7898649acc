#pragma once

#include "platform/foundation/Log.h"
#include "platform/foundation/Result.h"
#include "platform/gfx/Geometry.h"
#include "platform/host/ScreenQuery.h"
#include "platform/host/Script.h"
#include "platform/ui/Touch.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

class Device;
class View;

/// The outcome of a script run.
struct AutomationResult {
    bool passed { true };
    int stepsRun { 0 };
    /// For a failure: the step, the reason, the screenshot and the view tree.
    std::string report;
    std::optional<std::string> screenshotPath;
};

/// Runs automation steps against the live app on a device, as a person would:
/// views are found by what they show or by accessibility identifier and
/// reached with synthesised touches, so gesture recognisers and controls
/// react exactly as they do to a finger.
///
/// While it exists it keeps every log line (still written out) for
/// `expect-log`.
class AutomationDriver {
public:
    /// `failureScreenshotPath`: where the screenshot of a failed step goes.
    AutomationDriver(Device& device, std::string failureScreenshotPath);
    ~AutomationDriver();
    AutomationDriver(const AutomationDriver&) = delete;
    AutomationDriver& operator=(const AutomationDriver&) = delete;

    /// The failure screenshot goes, under the file name given to the
    /// constructor, into a new folder under the temporary directory, made
    /// only when a step fails (a passing run leaves nothing behind).
    void putFailureScreenshotInTemporaryFolder() { m_failureScreenshotInTemporaryFolder = true; }

    /// Runs the steps in order and stops at the first failure.
    [[nodiscard]] AutomationResult run(const Script& script);
    /// Runs one step; the reason when it failed.
    Status runStep(const Step& step);

    /// The most time the app is given to respond after each touch step: on
    /// the manual clock all of it passes; on the real clock time passes only
    /// until the response has played out (see `letAppRespond`).
    static constexpr double settleSeconds = 0.5;
    /// The steps of a wait-for poll, and of time passing on the real clock
    /// while the driver watches the app.
    static constexpr double pollSeconds = 0.1;
    static constexpr double frameSeconds = 1.0 / 60;
    /// How long the app must stay quiet for `wait-for-idle`, and how far
    /// ahead a timer counts as work still to come (the app's short delays,
    /// such as the half second before a finished sign-in goes, lie within
    /// it; a panel that hides itself after seconds does not).
    static constexpr double idleQuietSeconds = 0.1;
    static constexpr double idleHorizonSeconds = 0.5;

    /// What keeps the app busy now, when anything does: a request in flight
    /// (the network activity indicator shows), a background task not yet
    /// ended, a running animation (a spinning activity indicator included),
    /// work posted to the run loop, or a timer due within `horizonSeconds`.
    [[nodiscard]] std::optional<std::string> busyWith(double horizonSeconds);
    /// A view of the window (or of what is drawn over it) that moves now: an
    /// animation or a layer transition runs on it. Spinning activity
    /// indicators do not count.
    [[nodiscard]] View* movingView();

    /// Every line logged since the driver was made (from any thread).
    [[nodiscard]] std::vector<std::string> logLines() const;

private:
    struct Located {
        Point point;
        View* view { nullptr };
    };
    /// Where a finger would touch `target`, or why it cannot.
    Result<Located> locate(const StepTarget& target);
    [[nodiscard]] std::optional<ScreenQuery::Found> find(const StepTarget& target);
    [[nodiscard]] static std::string notFound(const StepTarget& target);
    Status requireFirstResponder(const char* what);
    Status pressKey(const KeyPress& key);
    Status expectFocus(const StepTarget& target);
    Status expectTextFits();
    /// The focused view as a failure message shows it.
    [[nodiscard]] std::string focusDescription();

    /// After a step that touched or typed: lets the app respond. On the
    /// manual clock `settleSeconds` pass (they cost nothing and keep runs
    /// alike); on the real clock time passes until the app is quiet over what
    /// is left of them, at most `settleSeconds`.
    void letAppRespond();
    /// Lets time pass, checking `met` at once and then every `interval`
    /// seconds, until it holds (true) or `timeout` seconds have gone (false).
    [[nodiscard]] bool pollUntil(double timeout, double interval, const std::function<bool()>& met);

    void send(const std::vector<TouchInput>& touches);
    void touch(int id, Point at, TouchPhase phase) { send({ { id, at, phase } }); }
    void tapAt(Point p);
    void dragPath(Point from, Point to, double seconds, int id = 1);
    Status tap(const Step& step);
    Status doubleTap(const Step& step);
    Status longPress(const Step& step);
    Status typeText(const Step& step);
    Status drag(const Step& step);
    Status swipe(const Step& step);
    Status pullToRefresh(const Step& step);
    Status pinch(const Step& step);
    void pinch(Point center, double scale);
    /// Whether a wait-for step waits for its target to show or to go.
    enum class Presence { Shown, Gone };
    Status waitFor(const Step& step, Presence presence);
    Status waitForAlert(const Step& step);
    Status waitForLog(const Step& step);
    Status waitForIdle(const Step& step);
    Status waitForStill(const Step& step);
    Status expectPresent(const StepTarget& target);
    Status expectAbsent(const StepTarget& target);
    Status expectAlert(const std::string& title);
    Status expectLog(const std::string& text);
    Status screenshot(const std::string& path);
    [[nodiscard]] std::string failureReport(const Step& step, const std::string& reason, AutomationResult& result);

    Device& m_device;
    std::string m_failureScreenshotPath;
    bool m_failureScreenshotInTemporaryFolder { false };
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_logLines;
    /// Which log lines have satisfied a wait-for-log (by index in
    /// m_logLines): each line satisfies one only. Touched on the script's
    /// thread alone.
    std::vector<bool> m_claimedLogLines;
    LogSink m_previousSink;
};

}
