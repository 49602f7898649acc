#pragma once

#include "platform/foundation/Log.h"
#include "platform/foundation/Result.h"
#include "platform/gfx/Geometry.h"
#include "platform/host/ScreenQuery.h"
#include "platform/host/Script.h"
#include "platform/ui/Touch.h"

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

    /// How long the app is given to respond after each touch step (a person
    /// is never faster), and the steps of a wait-for poll.
    static constexpr double settleSeconds = 0.5;
    static constexpr double pollSeconds = 0.1;

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

    void send(const std::vector<TouchInput>& touches);
    void touch(int id, Point at, TouchPhase phase) { send({ { id, at, phase } }); }
    void tapAt(Point p);
    void dragPath(Point from, Point to, double seconds, int id = 1);
    Status swipe(const Step& step);
    Status pullToRefresh(const Step& step);
    void pinch(Point center, double scale);
    Status waitFor(const Step& step);
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
    LogSink m_previousSink;
};

}
