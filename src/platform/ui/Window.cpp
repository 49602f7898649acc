#include "platform/ui/Window.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Theme.h"
#include "platform/ui/ViewController.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>

namespace hestio::platform {

std::shared_ptr<Window> Window::create()
{
    Size s = Application::shared().screenSize();
    return create({ 0, 0, s.width, s.height });
}

std::shared_ptr<Window> Window::create(Rect frame)
{
    return std::make_shared<Window>(frame);
}

Window::Window(Rect frame)
    : View(frame)
{
    setBackgroundColor(Color::black());
    Application::shared().registerWindow(*this);
}

Window::~Window()
{
    if (auto* app = Application::currentIfAny())
        app->unregisterWindow(*this);
}

void Window::makeKeyAndVisible()
{
    Application::shared().makeKey(*this);
    m_visible = true;
    if (m_rootViewController && m_rootViewController->appearance() == ViewController::Appearance::Disappeared) {
        m_rootViewController->beginAppearanceTransition(true, false);
        m_rootViewController->endAppearanceTransition();
    }
    setWindowNeedsDisplay();
}

bool Window::isKeyWindow() const
{
    return Application::shared().keyWindow() == this;
}

Rect Window::contentFrame() const
{
    Rect b { 0, 0, frame().width(), frame().height() };
    if (Application::shared().isStatusBarHidden())
        return b;
    double h = Application::statusBarHeight;
    return { 0, h, b.width(), b.height() - h };
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller)
{
    if (controller == m_rootViewController)
        return;
    if (auto old = m_rootViewController) {
        if (m_visible)
            old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded())
            old->view()->removeFromSuperview();
        if (m_visible)
            old->endAppearanceTransition();
    }
    m_rootViewController = std::move(controller);
    if (!m_rootViewController)
        return;
    auto view = m_rootViewController->view();
    view->setFrame(contentFrame());
    insertSubview(view, 0);
    if (m_visible) {
        m_rootViewController->beginAppearanceTransition(true, false);
        m_rootViewController->endAppearanceTransition();
    }
}

ViewController* Window::topViewController() const
{
    ViewController* c = m_rootViewController.get();
    while (c && c->modalViewController())
        c = c->modalViewController();
    return c;
}

void Window::setWindowNeedsDisplay()
{
    m_windowNeedsDisplay = true;
    if (auto* application = Application::currentIfAny())
        application->screenDidChange();
}

void Window::addOverlay(std::shared_ptr<View> view)
{
    if (!view)
        return;
    removeOverlay(*view);
    m_overlays.push_back(view);
    // Overlays hang off the window so that window() and coordinates work, but
    // they are kept out of the ordinary subviews and drawn last.
    view->removeFromSuperview();
    view->setSuperview(this);
    view->notifyMovedToWindow();
    setWindowNeedsDisplay();
}

void Window::removeOverlay(const View& view)
{
    auto it = std::find_if(m_overlays.begin(), m_overlays.end(), [&](auto& v) { return v.get() == &view; });
    if (it == m_overlays.end())
        return;
    auto keep = *it;
    m_overlays.erase(it);
    keep->setSuperview(nullptr);
    keep->notifyMovedToWindow();
    setWindowNeedsDisplay();
}

std::shared_ptr<View> Window::hitTest(Point point)
{
    for (auto it = m_overlays.rbegin(); it != m_overlays.rend(); ++it) {
        auto& overlay = *it;
        Point local { point.x - overlay->frame().x() + overlay->boundsOrigin().x,
            point.y - overlay->frame().y() + overlay->boundsOrigin().y };
        if (auto hit = overlay->hitTest(local))
            return hit;
    }
    return View::hitTest(point);
}

View* Window::findByText(const std::string& text)
{
    for (auto it = m_overlays.rbegin(); it != m_overlays.rend(); ++it)
        if (auto* found = (*it)->findByText(text))
            return found;
    return View::findByText(text);
}

std::vector<View*> Window::findAll(const std::function<bool(const View&)>& predicate)
{
    std::vector<View*> out;
    for (auto it = m_overlays.rbegin(); it != m_overlays.rend(); ++it) {
        auto found = (*it)->findAll(predicate);
        out.insert(out.end(), found.begin(), found.end());
    }
    auto content = View::findAll(predicate);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

void Window::sendEvent(const TouchEvent& input)
{
    Event event;
    event.timestamp = input.timestamp;
    std::map<TouchPhase, TouchSet> byPhase;
    for (const auto& in : input.touches) {
        if (in.phase == TouchPhase::Began) {
            if (m_touches.count(in.identifier))
                continue;
            Application::shared().touchBegan();
            auto touch = std::make_shared<Touch>();
            touch->identifier = in.identifier;
            touch->phase = TouchPhase::Began;
            touch->timestamp = input.timestamp;
            touch->locationInWindow = touch->previousLocationInWindow = touch->startLocationInWindow = in.location;
            double dx = in.location.x - m_lastTap.location.x, dy = in.location.y - m_lastTap.location.y;
            bool near = std::hypot(dx, dy) < 30 && input.timestamp - m_lastTap.timestamp < 0.35;
            touch->tapCount = near ? m_lastTap.count + 1 : 1;
            auto hit = hitTest(in.location);
            touch->view = hit;
            TrackedTouch tracked { touch, {} };
            for (View* v = hit.get(); v; v = v->superview())
                for (auto& r : v->gestureRecognizers())
                    if (r->isEnabled())
                        tracked.recognizers.push_back(r);
            m_touches[in.identifier] = tracked;
            byPhase[TouchPhase::Began].push_back(touch);
        } else {
            auto it = m_touches.find(in.identifier);
            if (it == m_touches.end())
                continue;
            auto& touch = it->second.touch;
            touch->previousLocationInWindow = touch->locationInWindow;
            touch->locationInWindow = in.location;
            touch->phase = in.phase;
            touch->timestamp = input.timestamp;
            byPhase[in.phase].push_back(touch);
            if (in.phase == TouchPhase::Ended) {
                double dx = in.location.x - touch->startLocationInWindow.x;
                double dy = in.location.y - touch->startLocationInWindow.y;
                if (std::hypot(dx, dy) < 10)
                    m_lastTap = { in.location, input.timestamp, touch->tapCount };
            }
        }
    }
    for (auto& [id, tracked] : m_touches)
        event.allTouches.push_back(tracked.touch);

    for (TouchPhase phase : { TouchPhase::Began, TouchPhase::Moved, TouchPhase::Ended, TouchPhase::Cancelled })
        if (auto it = byPhase.find(phase); it != byPhase.end())
            deliver(phase, it->second, event);

    std::vector<std::shared_ptr<GestureRecognizer>> finished;
    for (auto it = m_touches.begin(); it != m_touches.end();) {
        auto phase = it->second.touch->phase;
        if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
            for (auto& r : it->second.recognizers)
                finished.push_back(r);
            it = m_touches.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& r : finished)
        r->resetIfFinished();
}

namespace {

    void handTouchesTo(GestureRecognizer& recognizer, TouchPhase phase, const TouchSet& set, const Event& event)
    {
        switch (phase) {
        case TouchPhase::Began:
            recognizer.handleTouchesBegan(set, event);
            break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary:
            recognizer.handleTouchesMoved(set, event);
            break;
        case TouchPhase::Ended:
            recognizer.handleTouchesEnded(set, event);
            break;
        case TouchPhase::Cancelled:
            recognizer.handleTouchesCancelled(set, event);
            break;
        }
    }

    void handTouchesTo(View& view, TouchPhase phase, const TouchSet& set, const Event& event)
    {
        switch (phase) {
        case TouchPhase::Began:
            for (auto& t : set)
                t->deliveredToView = true;
            view.touchesBegan(set, event);
            break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary:
            view.touchesMoved(set, event);
            break;
        case TouchPhase::Ended:
            view.touchesEnded(set, event);
            break;
        case TouchPhase::Cancelled:
            view.touchesCancelled(set, event);
            break;
        }
    }

    /// Adds `touch` to the set of `key`'s group, making the group on first sight.
    template<typename Key>
    void addToGroup(std::vector<std::pair<Key, TouchSet>>& groups, const Key& key, const std::shared_ptr<Touch>& touch)
    {
        auto it = std::find_if(groups.begin(), groups.end(), [&](auto& p) { return p.first == key; });
        if (it == groups.end())
            groups.push_back({ key, { touch } });
        else
            it->second.push_back(touch);
    }

}

void Window::deliver(TouchPhase phase, const TouchSet& touches, const Event& event)
{
    // Gesture recognisers see the touches first.
    deliverToRecognizers(phase, touches, event);
    // Then the views, grouped by the view each touch landed on.
    deliverToViews(phase, touches, event);
}

void Window::deliverToRecognizers(TouchPhase phase, const TouchSet& touches, const Event& event)
{
    std::vector<std::pair<std::shared_ptr<GestureRecognizer>, TouchSet>> perRecognizer;
    for (auto& touch : touches) {
        auto& tracked = m_touches[touch->identifier];
        for (auto& r : tracked.recognizers)
            addToGroup(perRecognizer, r, touch);
    }
    for (auto& [recognizer, set] : perRecognizer) {
        if (!recognizer->view() || !recognizer->isEnabled())
            continue;
        handTouchesTo(*recognizer, phase, set, event);
        auto state = recognizer->state();
        bool recognized = state == GestureRecognizer::State::Began || state == GestureRecognizer::State::Changed
            || state == GestureRecognizer::State::Ended;
        if (recognized && recognizer->cancelsTouchesInView())
            cancelTouchesInViews(*recognizer, set, event);
    }
}

void Window::cancelTouchesInViews(GestureRecognizer& recognizer, const TouchSet& handedOver, const Event& event)
{
    for (auto& [id, tracked] : m_touches) {
        auto& touch = tracked.touch;
        // The touches just handed over count too: a recogniser lets go
        // of the touches that ended as it recognised.
        bool wasHandedOver = std::find(handedOver.begin(), handedOver.end(), touch) != handedOver.end();
        if ((!wasHandedOver && !recognizer.isTracking(*touch)) || touch->cancelledForView)
            continue;
        touch->cancelledForView = true;
        if (touch->deliveredToView) {
            if (auto view = touch->view.lock())
                view->touchesCancelled({ touch }, event);
        }
    }
}

void Window::deliverToViews(TouchPhase phase, const TouchSet& touches, const Event& event)
{
    std::vector<std::pair<std::shared_ptr<View>, TouchSet>> perView;
    for (auto& touch : touches) {
        if (touch->cancelledForView)
            continue;
        auto view = touch->view.lock();
        if (!view)
            continue;
        addToGroup(perView, view, touch);
    }
    for (auto& [view, set] : perView)
        handTouchesTo(*view, phase, set, event);
}

void Window::layoutTree()
{
    layoutIfNeeded();
    for (auto& overlay : std::vector<std::shared_ptr<View>>(m_overlays))
        overlay->layoutIfNeeded();
}

void Window::drawWindow(Context& context)
{
    layoutTree();
    drawHierarchy(context);
    if (!Application::shared().isStatusBarHidden())
        drawStatusBar(context);
    for (auto& overlay : std::vector<std::shared_ptr<View>>(m_overlays))
        overlay->drawHierarchy(context);
    if (Application::shared().isFocusRingVisible())
        drawFocusRing(context);
    m_windowNeedsDisplay = false;
}

void Window::drawFocusRing(Context& context)
{
    auto* focused = dynamic_cast<View*>(Application::shared().firstResponder());
    if (!focused || focused->window() != this)
        return;
    auto visible = focused->visibleRectInWindow();
    if (!visible)
        return;
    Rect ring = focused->convertRectToView(focused->keyboardFocusRect(focused->keyboardFocusStop()), nullptr);
    // A ring around a row scrolled half out of its list shows only the part
    // on screen, with room for the stroke inside the clip.
    ring = ring.intersection(visible->insetBy(-3, -3));
    if (!ring.isEmpty())
        theme::drawFocusRing(context, ring);
}

void Window::drawStatusBar(Context& context)
{
    Rect bar { 0, 0, frame().width(), Application::statusBarHeight };
    ContextStateSaver saver(context);
    context.clipToRect(bar);
    context.drawLinearGradient(
        Gradient::between(Color::white(0.22), Color::white(0.05)), { 0, 0 }, { 0, bar.height() });
    Font font = Font::boldSystemFont(12).fixedSize();
    // Signal bars and the carrier's name.
    for (int i = 0; i < 5; ++i) {
        double h = 3 + i * 2;
        context.fillRect({ 5.0 + i * 4, 15 - h, 3, h }, Color::whiteColor());
    }
    context.drawText("Hestio", { 28, 3 }, font, Color::whiteColor());
    if (Application::shared().isNetworkActivityIndicatorVisible()) {
        for (int i = 0; i < 8; ++i) {
            double a = i * 3.14159265 / 4;
            context.beginPath();
            context.moveTo({ 80 + 3 * std::cos(a), 10 + 3 * std::sin(a) });
            context.lineTo({ 80 + 6 * std::cos(a), 10 + 6 * std::sin(a) });
            context.setStrokeColor(Color::white(1, 0.3 + 0.7 * i / 8));
            context.setLineWidth(1.5);
            context.stroke();
        }
    }
    // The time, from the run loop's clock.
    double seconds = 0;
    if (auto* loop = RunLoop::currentIfAny())
        seconds = loop->clock().now().timeIntervalSince1970();
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm {};
    localtime_r(&t, &tm);
    char text[16];
    int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    std::snprintf(text, sizeof text, "%d:%02d %s", hour, tm.tm_min, tm.tm_hour < 12 ? "AM" : "PM");
    Size size = sizeOfText(text, font);
    context.drawText(
        text, { (bar.width() - size.width) / 2, (bar.height() - size.height) / 2 }, font, Color::whiteColor());
    // The battery.
    Rect battery { bar.width() - 32, 5, 24, 11 };
    context.strokeRect(battery.insetBy(0.5, 0.5), Color::whiteColor(), 1);
    context.fillRect({ battery.maxX(), 8, 2, 5 }, Color::whiteColor());
    context.fillRect({ battery.x() + 2, battery.y() + 2, 16, battery.height() - 4 }, Color::whiteColor());
}

std::shared_ptr<Image> Window::snapshot(double scale)
{
    return snapshot(scale, nullptr);
}

std::shared_ptr<Image> Window::snapshot(double scale, std::shared_ptr<Image> last)
{
    auto image = Image::reuseOrCreate(std::move(last), frame().size, scale);
    auto context = Context::forImage(*image);
    drawWindow(*context);
    return image;
}

}
