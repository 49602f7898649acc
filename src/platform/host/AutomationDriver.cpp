#include "platform/host/AutomationDriver.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/host/Device.h"
#include "platform/host/ScreenQuery.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/DrawnText.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace hestio::platform {

namespace {

    std::string quoted(const std::string& text)
    {
        return StepTarget { StepTarget::Kind::Text, text, {} }.describe();
    }

    std::string formatPoint(Point p)
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "(%g, %g)", p.x, p.y);
        return buf;
    }

    /// Sums of seconds on a clock are rounded: a timer set for exactly a
    /// horizon lies within it, and a remainder this small is no time left
    /// (passing it might not move the clock at all).
    constexpr double timeSlack = 1e-6;

    std::string formatSeconds(double seconds)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g s", seconds);
        return buf;
    }

    Point lerp(Point a, Point b, double t)
    {
        return { a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t };
    }

    /// How far a synthesised swipe travels and how long it takes: well past
    /// the recognisers' distance and speed thresholds.
    constexpr double swipeDistance = 120;
    constexpr double swipeSeconds = 0.15;
    constexpr double pullDistance = 200;
    constexpr double pullSeconds = 0.8;
    constexpr double longPressSeconds = 1.0;
    constexpr double tapHoldSeconds = 0.05;
    constexpr double doubleTapGapSeconds = 0.1;
    constexpr double pinchStartSpread = 50;
    constexpr double pinchSeconds = 0.3;

}

AutomationDriver::AutomationDriver(Device& device, std::string failureScreenshotPath)
    : m_device(device)
    , m_failureScreenshotPath(std::move(failureScreenshotPath))
{
    auto previous = std::make_shared<LogSink>();
    m_previousSink = setLogSink([this, previous](std::string_view line) {
        {
            std::lock_guard lock(m_logMutex);
            m_logLines.emplace_back(line);
        }
        if (*previous)
            (*previous)(line);
        else
            std::cerr << line << '\n';
    });
    *previous = m_previousSink;
}

AutomationDriver::~AutomationDriver()
{
    setLogSink(m_previousSink);
}

std::vector<std::string> AutomationDriver::logLines() const
{
    std::lock_guard lock(m_logMutex);
    return m_logLines;
}

AutomationResult AutomationDriver::run(const Script& script)
{
    AutomationResult result;
    if (script.error) {
        result.passed = false;
        result.report = script.error->describe();
        return result;
    }
    m_device.settle();
    for (const Step& step : script.steps) {
        Status done = runStep(step);
        ++result.stepsRun;
        if (!done) {
            result.passed = false;
            result.report = failureReport(step, done.error().message(), result);
            return result;
        }
    }
    return result;
}

std::string AutomationDriver::failureReport(const Step& step, const std::string& reason, AutomationResult& result)
{
    std::string report = "line " + std::to_string(step.line) + ": " + step.source + "\n  failed: " + reason + "\n";
    if (auto image = m_device.screenshot()) {
        std::string path = m_failureScreenshotPath;
        if (m_failureScreenshotInTemporaryFolder) {
            std::error_code ignored;
            auto pattern = (std::filesystem::temp_directory_path(ignored) / "hestio-failure-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                path = (std::filesystem::path(pattern) / std::filesystem::path(path).filename()).string();
        }
        std::error_code ignored;
        auto parent = std::filesystem::path(path).parent_path();
        if (!parent.empty())
            std::filesystem::create_directories(parent, ignored);
        if (image->writePng(path)) {
            result.screenshotPath = path;
            report += "  screenshot: " + path + "\n";
        } else {
            report += "  screenshot: could not write " + path + "\n";
        }
    }
    if (Window* window = m_device.keyWindow()) {
        report += "view tree:\n" + window->dumpTree();
        for (const auto& overlay : window->overlays())
            report += "overlay:\n" + overlay->dumpTree();
    } else {
        report += "the app has no window\n";
    }
    return report;
}

Status AutomationDriver::runStep(const Step& step)
{
    Application& app = m_device.application();
    if (!m_device.keyWindow())
        return Error("the app has no window");
    switch (step.kind) {
    case StepKind::Tap:
        return tap(step);
    case StepKind::DoubleTap:
        return doubleTap(step);
    case StepKind::LongPress:
        return longPress(step);
    case StepKind::Type:
        return typeText(step);
    case StepKind::Return:
        if (auto editing = requireFirstResponder("return"); !editing)
            return editing;
        app.sendReturn();
        letAppRespond();
        return {};
    case StepKind::Backspace:
        if (auto editing = requireFirstResponder("backspace"); !editing)
            return editing;
        app.sendBackspace();
        letAppRespond();
        return {};
    case StepKind::Key:
        return pressKey(step.key);
    case StepKind::Swipe:
        return swipe(step);
    case StepKind::Drag:
        return drag(step);
    case StepKind::PullToRefresh:
        return pullToRefresh(step);
    case StepKind::Pinch:
        return pinch(step);
    case StepKind::Wait:
        m_device.pass(step.seconds);
        return {};
    case StepKind::WaitFor:
        return waitFor(step, Presence::Shown);
    case StepKind::WaitForNot:
        return waitFor(step, Presence::Gone);
    case StepKind::WaitForAlert:
        return waitForAlert(step);
    case StepKind::WaitForLog:
        return waitForLog(step);
    case StepKind::WaitForIdle:
        return waitForIdle(step);
    case StepKind::WaitForStill:
        return waitForStill(step);
    case StepKind::Expect:
        return expectPresent(step.target);
    case StepKind::ExpectNot:
        return expectAbsent(step.target);
    case StepKind::ExpectFocus:
        return expectFocus(step.target);
    case StepKind::ExpectTextFits:
        return expectTextFits();
    case StepKind::ExpectAlert:
        return expectAlert(step.text);
    case StepKind::ExpectLog:
        return expectLog(step.text);
    case StepKind::Screenshot:
        return screenshot(step.text);
    case StepKind::Location:
        PositionSource::shared().moveTo({ step.latitude, step.longitude }, m_device.clock().now());
        m_device.settle();
        return {};
    case StepKind::Background:
        app.enterBackground();
        m_device.settle();
        return {};
    case StepKind::Foreground:
        app.enterForeground();
        m_device.settle();
        return {};
    case StepKind::Push:
        app.deliverRemoteNotification(step.text);
        letAppRespond();
        return {};
    }
    return Error("unknown step");
}

Status AutomationDriver::tap(const Step& step)
{
    auto at = locate(step.target);
    if (!at)
        return at.error();
    tapAt(at->point);
    letAppRespond();
    return {};
}

Status AutomationDriver::doubleTap(const Step& step)
{
    auto at = locate(step.target);
    if (!at)
        return at.error();
    tapAt(at->point);
    m_device.pass(doubleTapGapSeconds);
    tapAt(at->point);
    letAppRespond();
    return {};
}

Status AutomationDriver::longPress(const Step& step)
{
    auto at = locate(step.target);
    if (!at)
        return at.error();
    touch(1, at->point, TouchPhase::Began);
    m_device.pass(longPressSeconds);
    touch(1, at->point, TouchPhase::Ended);
    letAppRespond();
    return {};
}

Status AutomationDriver::typeText(const Step& step)
{
    Application& app = m_device.application();
    if (auto editing = requireFirstResponder("type"); !editing)
        return editing;
    // A newline in the text is the return key, as on a keyboard.
    std::size_t start = 0;
    while (start <= step.text.size()) {
        auto newline = step.text.find('\n', start);
        std::string piece = step.text.substr(start, newline == std::string::npos ? std::string::npos : newline - start);
        if (!piece.empty())
            app.sendText(piece);
        m_device.settle();
        if (newline == std::string::npos)
            break;
        app.sendReturn();
        m_device.settle();
        start = newline + 1;
    }
    letAppRespond();
    return {};
}

Status AutomationDriver::drag(const Step& step)
{
    Rect screen = m_device.keyWindow()->bounds();
    for (Point p : { step.from, step.to })
        if (!screen.contains(p))
            return Error("the drag point " + formatPoint(p) + " is outside the window");
    dragPath(step.from, step.to, step.seconds);
    letAppRespond();
    return {};
}

Status AutomationDriver::pinch(const Step& step)
{
    if (!m_device.keyWindow()->bounds().contains(step.to))
        return Error("the pinch centre " + formatPoint(step.to) + " is outside the window");
    pinch(step.to, step.scale);
    letAppRespond();
    return {};
}

Result<AutomationDriver::Located> AutomationDriver::locate(const StepTarget& target)
{
    Window* window = m_device.keyWindow();
    Located out;
    if (target.kind == StepTarget::Kind::Point || target.kind == StepTarget::Kind::None) {
        out.point = target.kind == StepTarget::Kind::None ? window->bounds().center() : target.point;
        if (!window->bounds().contains(out.point))
            return Error(formatPoint(out.point) + " is outside the window");
        return out;
    }
    auto found = find(target);
    if (!found)
        return Error(notFound(target));
    out.view = found->view;
    out.point = found->rect.center();
    // A finger lands on whatever is on top there: a view under the keyboard
    // or an alert cannot be touched, and the step says so rather than
    // touching something else.
    if (auto hit = window->hitTest(out.point)) {
        bool related
            = hit.get() == found->view || found->view->isDescendantOf(*hit) || hit->isDescendantOf(*found->view);
        if (!related)
            return Error(target.describe() + " is covered by " + ScreenQuery(m_device.application()).describe(*hit));
    }
    return out;
}

std::optional<ScreenQuery::Found> AutomationDriver::find(const StepTarget& target)
{
    ScreenQuery query(m_device.application());
    return target.kind == StepTarget::Kind::Identifier ? query.findIdentifier(target.name)
                                                       : query.findText(target.name);
}

std::string AutomationDriver::notFound(const StepTarget& target)
{
    if (target.kind == StepTarget::Kind::Identifier)
        return "no visible view has the accessibility identifier " + target.describe();
    return "no visible view shows " + target.describe();
}

Status AutomationDriver::pressKey(const KeyPress& key)
{
    Application& app = m_device.application();
    Responder* responder = app.firstResponder();
    // In a field a space is typed, as the keyboard's text.
    if (key.code == KeyCode::Space && !key.modifiers && responder && responder->wantsKeyboard())
        app.sendText(" ");
    else if (!app.sendKey(key))
        return Error(key.name() + " did nothing here (the focus is on " + focusDescription() + ")");
    letAppRespond();
    return {};
}

std::string AutomationDriver::focusDescription()
{
    auto* focused = dynamic_cast<View*>(m_device.application().firstResponder());
    if (!focused)
        return "nothing";
    std::string out = ScreenQuery(m_device.application()).describe(*focused);
    if (focused->keyboardFocusStops() > 1)
        out += ", stop " + std::to_string(focused->keyboardFocusStop() + 1);
    return out;
}

Status AutomationDriver::expectFocus(const StepTarget& target)
{
    auto* focused = dynamic_cast<View*>(m_device.application().firstResponder());
    if (focused) {
        if (target.kind == StepTarget::Kind::Identifier && focused->accessibilityIdentifier() == target.name)
            return {};
        if (target.kind == StepTarget::Kind::Text) {
            std::string shown = focused->visibleText();
            // A tab bar's focus is on one of its tabs.
            if (auto* bar = dynamic_cast<TabBar*>(focused)) {
                int stop = bar->keyboardFocusStop();
                if (stop >= 0 && stop < static_cast<int>(bar->tabs().size()))
                    shown = bar->tabs()[static_cast<std::size_t>(stop)].title;
            }
            if (shown == target.name || focused->accessibilityLabel() == target.name)
                return {};
            // A row shows its text in labels of its own.
            auto labels = focused->findAll([&](const View& view) {
                auto* label = dynamic_cast<const Label*>(&view);
                return label && label->text() == target.name && label->isVisibleOnScreen();
            });
            if (!labels.empty())
                return {};
        }
    }
    return Error("expected the focus on " + target.describe() + ", but it is on " + focusDescription());
}

Status AutomationDriver::expectTextFits()
{
    ScreenQuery query(m_device.application());
    auto size = [](Size s) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%gx%g", std::ceil(s.width * 10) / 10, std::ceil(s.height * 10) / 10);
        return std::string(buffer);
    };
    // Every text on screen: labels, button titles, tabs, the navigation
    // bar's title and buttons, picker wheels, fields, alerts and graph labels.
    std::vector<std::string> cut;
    m_device.keyWindow()->findAll([&](const View& view) {
        auto texts = drawnTextsOf(view);
        if (texts.empty() || !query.visibleRect(view))
            return false;
        for (const DrawnText& text : texts)
            if (!text.fits)
                cut.push_back(query.describe(view) + ": \"" + text.text + "\" needs " + size(text.needed) + ", has "
                    + size(text.room.size));
        return false;
    });
    if (cut.empty())
        return {};
    std::string list;
    for (const auto& line : cut)
        list += "\n    " + line;
    return Error(std::to_string(cut.size()) + (cut.size() == 1 ? " text is" : " texts are")
        + " not shown whole (cut off, shortened with an ellipsis or clipped):" + list);
}

Status AutomationDriver::requireFirstResponder(const char* what)
{
    auto* responder = m_device.application().firstResponder();
    if (responder && responder->wantsKeyboard())
        return {};
    return Error(std::string(what) + ": no field is being edited (tap one first)");
}

void AutomationDriver::send(const std::vector<TouchInput>& touches)
{
    TouchEvent event;
    event.timestamp = m_device.clock().monotonicSeconds();
    event.touches = touches;
    m_device.application().sendEvent(event);
    m_device.settle();
}

void AutomationDriver::tapAt(Point p)
{
    touch(1, p, TouchPhase::Began);
    m_device.pass(tapHoldSeconds);
    touch(1, p, TouchPhase::Ended);
}

void AutomationDriver::dragPath(Point from, Point to, double seconds, int id)
{
    int moves = std::clamp(static_cast<int>(std::lround(seconds * 60)), 2, 120);
    touch(id, from, TouchPhase::Began);
    for (int i = 1; i <= moves; ++i) {
        m_device.pass(seconds / moves);
        touch(id, lerp(from, to, static_cast<double>(i) / moves), TouchPhase::Moved);
    }
    touch(id, to, TouchPhase::Ended);
}

Status AutomationDriver::swipe(const Step& step)
{
    auto at = locate(step.target);
    if (!at)
        return at.error();
    Rect screen = m_device.keyWindow()->bounds().insetBy(1, 1);
    Point end = at->point;
    switch (step.direction) {
    case SwipeDirection::Left:
        end.x -= swipeDistance;
        break;
    case SwipeDirection::Right:
        end.x += swipeDistance;
        break;
    case SwipeDirection::Up:
        end.y -= swipeDistance;
        break;
    case SwipeDirection::Down:
        end.y += swipeDistance;
        break;
    }
    end.x = std::clamp(end.x, screen.minX(), screen.maxX() - 1);
    end.y = std::clamp(end.y, screen.minY(), screen.maxY() - 1);
    dragPath(at->point, end, swipeSeconds);
    letAppRespond();
    return {};
}

Status AutomationDriver::pullToRefresh(const Step& step)
{
    ScreenQuery query(m_device.application());
    ScrollView* scrollView = nullptr;
    if (!step.target.isNone()) {
        auto at = locate(step.target);
        if (!at)
            return at.error();
        for (View* v = at->view; v && !scrollView; v = v->superview())
            scrollView = dynamic_cast<ScrollView*>(v);
        if (!scrollView)
            return Error(step.target.describe() + " is not in a scrolling list");
    } else {
        // The largest list on screen, as a thumb would find it.
        double bestArea = 0;
        auto all = m_device.keyWindow()->findAll([](const View& v) { return dynamic_cast<const ScrollView*>(&v); });
        for (View* v : all)
            if (auto rect = query.visibleRect(*v); rect && rect->width() * rect->height() > bestArea) {
                bestArea = rect->width() * rect->height();
                scrollView = static_cast<ScrollView*>(v);
            }
        if (!scrollView)
            return Error("no scrolling list is on screen");
    }
    Rect visible = *query.visibleRect(*scrollView);
    Point from { visible.midX(), visible.minY() + 10 };
    Point to { from.x, std::min(from.y + pullDistance, m_device.keyWindow()->bounds().maxY() - 1) };
    dragPath(from, to, pullSeconds);
    letAppRespond();
    return {};
}

void AutomationDriver::pinch(Point center, double scale)
{
    double startSpread = scale < 1 ? pinchStartSpread * 2 : pinchStartSpread;
    auto fingers = [&](double spread, TouchPhase phase) {
        return std::vector<TouchInput> { { 1, { center.x - spread, center.y }, phase },
            { 2, { center.x + spread, center.y }, phase } };
    };
    int moves = 10;
    send(fingers(startSpread, TouchPhase::Began));
    for (int i = 1; i <= moves; ++i) {
        m_device.pass(pinchSeconds / moves);
        double spread = startSpread * (1 + (scale - 1) * i / moves);
        send(fingers(spread, TouchPhase::Moved));
    }
    send(fingers(startSpread * scale, TouchPhase::Ended));
}

std::optional<std::string> AutomationDriver::busyWith(double horizonSeconds)
{
    Application& app = m_device.application();
    if (app.isNetworkActivityIndicatorVisible())
        return std::string("a request is in flight (the network activity indicator shows)");
    if (app.openBackgroundTaskCount() > 0)
        return std::string("a background task is running");
    if (app.animator().hasRunningAnimations())
        return std::string("an animation is running");
    RunLoop& loop = m_device.runLoop();
    if (loop.hasPostedTasks())
        return std::string("work is posted to the run loop");
    if (auto next = loop.secondsUntilNextTimer(); next && *next <= horizonSeconds + timeSlack)
        return "a timer is due in " + formatSeconds(std::max(0.0, *next));
    return std::nullopt;
}

View* AutomationDriver::movingView()
{
    Animator& animator = m_device.application().animator();
    double now = animator.now();
    auto moving = [&](const View& view) { return animator.isAnimating(view) || view.layer().runningTransition(now); };
    auto found = m_device.keyWindow()->findAll(moving);
    return found.empty() ? nullptr : found.front();
}

void AutomationDriver::letAppRespond()
{
    if (m_device.clock().isManual()) {
        m_device.pass(settleSeconds);
        return;
    }
    Clock& clock = m_device.clock();
    double start = clock.monotonicSeconds();
    for (;;) {
        m_device.settle();
        double left = settleSeconds - (clock.monotonicSeconds() - start);
        if (left <= timeSlack || !busyWith(left))
            return;
        m_device.pass(std::min(frameSeconds, left));
    }
}

bool AutomationDriver::pollUntil(double timeout, double interval, const std::function<bool()>& met)
{
    Clock& clock = m_device.clock();
    double start = clock.monotonicSeconds();
    for (;;) {
        m_device.settle();
        if (met())
            return true;
        double waited = clock.monotonicSeconds() - start;
        if (waited >= timeout - timeSlack)
            return false;
        m_device.pass(std::min(interval, timeout - waited));
    }
}

Status AutomationDriver::waitFor(const Step& step, Presence presence)
{
    const bool shown = presence == Presence::Shown;
    if (pollUntil(step.seconds, pollSeconds, [&] { return find(step.target).has_value() == shown; }))
        return {};
    if (shown)
        return Error(step.target.describe() + " did not appear within " + formatSeconds(step.seconds));
    auto found = find(step.target);
    return Error(step.target.describe() + " was still on screen after " + formatSeconds(step.seconds)
        + (found ? ": " + ScreenQuery(m_device.application()).describe(*found->view) : std::string()));
}

Status AutomationDriver::waitForAlert(const Step& step)
{
    auto showing = [&] {
        for (const auto& alert : m_device.application().visibleAlerts())
            if (alert->title() == step.text)
                return true;
        return false;
    };
    if (pollUntil(step.seconds, pollSeconds, showing))
        return {};
    std::string shown;
    for (const auto& alert : m_device.application().visibleAlerts())
        shown += (shown.empty() ? "" : ", ") + quoted(alert->title());
    return Error("no alert " + quoted(step.text) + " showed within " + formatSeconds(step.seconds)
        + (shown.empty() ? std::string() : " (showing: " + shown + ")"));
}

Status AutomationDriver::waitForLog(const Step& step)
{
    auto claim = [&] {
        auto lines = logLines();
        m_claimedLogLines.resize(lines.size(), false);
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!m_claimedLogLines[i] && lines[i].find(step.text) != std::string::npos) {
                m_claimedLogLines[i] = true;
                return true;
            }
        return false;
    };
    if (pollUntil(step.seconds, pollSeconds, claim))
        return {};
    auto lines = logLines();
    std::size_t earlier = 0;
    for (std::size_t i = 0; i < lines.size() && i < m_claimedLogLines.size(); ++i)
        if (m_claimedLogLines[i] && lines[i].find(step.text) != std::string::npos)
            ++earlier;
    std::string reason = "no new log line contained " + quoted(step.text) + " within " + formatSeconds(step.seconds);
    if (earlier > 0)
        reason += " (" + std::to_string(earlier) + " earlier such line" + (earlier == 1 ? " was" : "s were")
            + " taken by earlier waits)";
    return Error(std::move(reason));
}

Status AutomationDriver::waitForIdle(const Step& step)
{
    Clock& clock = m_device.clock();
    std::optional<double> quietSince;
    std::string lastBusy;
    auto idle = [&] {
        if (auto busy = busyWith(idleHorizonSeconds)) {
            lastBusy = *busy;
            quietSince.reset();
            return false;
        }
        double now = clock.monotonicSeconds();
        if (!quietSince)
            quietSince = now;
        return now - *quietSince >= idleQuietSeconds;
    };
    if (pollUntil(step.seconds, frameSeconds * 2, idle))
        return {};
    if (quietSince)
        return Error("the app had been quiet for only " + formatSeconds(clock.monotonicSeconds() - *quietSince)
            + " after " + formatSeconds(step.seconds)
            + (lastBusy.empty() ? std::string() : "; before that " + lastBusy));
    return Error("the app was still busy after " + formatSeconds(step.seconds) + ": " + lastBusy);
}

Status AutomationDriver::waitForStill(const Step& step)
{
    // Two looks a few frames apart, so that an animation started by the
    // completion of the one before is seen.
    int stillLooks = 0;
    auto still = [&] {
        bool moving = movingView() || m_device.runLoop().hasPostedTasks();
        stillLooks = moving ? 0 : stillLooks + 1;
        return stillLooks >= 2;
    };
    if (pollUntil(step.seconds, frameSeconds * 3, still))
        return {};
    if (View* view = movingView())
        return Error(ScreenQuery(m_device.application()).describe(*view) + " was still moving after "
            + formatSeconds(step.seconds));
    return Error("the screen was still changing after " + formatSeconds(step.seconds));
}

Status AutomationDriver::expectPresent(const StepTarget& target)
{
    m_device.settle();
    if (!find(target))
        return Error(notFound(target));
    return {};
}

Status AutomationDriver::expectAbsent(const StepTarget& target)
{
    m_device.settle();
    if (auto found = find(target))
        return Error(
            target.describe() + " is on screen: " + ScreenQuery(m_device.application()).describe(*found->view));
    return {};
}

Status AutomationDriver::expectAlert(const std::string& title)
{
    m_device.settle();
    const auto& alerts = m_device.application().visibleAlerts();
    std::string shown;
    for (const auto& alert : alerts) {
        if (alert->title() == title)
            return {};
        shown += (shown.empty() ? "" : ", ") + quoted(alert->title());
    }
    if (shown.empty())
        return Error("no alert is showing (expected " + quoted(title) + ")");
    return Error("the alert showing is " + shown + ", not " + quoted(title));
}

Status AutomationDriver::expectLog(const std::string& text)
{
    m_device.settle();
    auto lines = logLines();
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos)
            return {};
    std::string reason = "no log line contains " + quoted(text);
    if (lines.empty())
        return Error(reason + " (nothing was logged)");
    reason += "; the last lines were:";
    std::size_t from = lines.size() > 5 ? lines.size() - 5 : 0;
    for (std::size_t i = from; i < lines.size(); ++i)
        reason += "\n    " + lines[i];
    return Error(std::move(reason));
}

Status AutomationDriver::screenshot(const std::string& path)
{
    m_device.settle();
    auto image = m_device.screenshot();
    if (!image)
        return Error("the app has no window to take a picture of");
    std::error_code ignored;
    auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ignored);
    if (!image->writePng(path))
        return Error("could not write " + path);
    // What the picture shows as text, for checks that compare texts.
    std::string tree;
    if (Window* window = m_device.keyWindow()) {
        tree = window->dumpTree();
        for (const auto& overlay : window->overlays())
            tree += overlay->dumpTree();
    }
    std::filesystem::path treePath = std::filesystem::path(path).replace_extension(".txt");
    std::ofstream out(treePath, std::ios::binary | std::ios::trunc);
    out << tree;
    if (!out)
        return Error("could not write " + treePath.string());
    return {};
}

}
