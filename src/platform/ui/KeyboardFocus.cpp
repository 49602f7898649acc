#include "platform/ui/KeyboardFocus.h"

#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    /// Whether touches reach `view` below `root`: it and every ancestor up
    /// to the root take them.
    bool reachable(const View& view, const View& root)
    {
        for (const View* v = &view; v; v = v->superview()) {
            if (!v->isUserInteractionEnabled())
                return false;
            if (v == &root)
                return true;
        }
        return true;
    }

    void collect(View& view, const View& root, std::vector<KeyboardFocus::Stop>& out)
    {
        if (view.isHidden())
            return;
        if (view.canBecomeFirstResponder() && reachable(view, root)) {
            if (auto visible = view.visibleRectInWindow()) {
                for (int stop = 0; stop < view.keyboardFocusStops(); ++stop) {
                    Rect rect = view.convertRectToView(view.keyboardFocusRect(stop), nullptr).intersection(*visible);
                    if (!rect.isEmpty())
                        out.push_back({ &view, stop, rect });
                }
            }
        }
        for (const auto& subview : std::vector<std::shared_ptr<View>>(view.subviews()))
            collect(*subview, root, out);
    }

    View* focusedView(Application& application)
    {
        return dynamic_cast<View*>(application.firstResponder());
    }

    /// Depth first, the first visible view below `root` that `match` accepts.
    template<typename Match> View* findVisible(View& root, const Match& match)
    {
        if (root.isHidden())
            return nullptr;
        if (match(root) && root.visibleRectInWindow())
            return &root;
        for (const auto& subview : root.subviews())
            if (auto* found = findVisible(*subview, match))
                return found;
        return nullptr;
    }

    /// The screen presented from `controller` or from a screen inside it
    /// (a device's graph, presented from its detail in the Devices tab).
    ViewController* presentedFrom(ViewController& controller)
    {
        if (auto* modal = controller.modalViewController())
            return modal;
        for (auto* child : controller.childViewControllers())
            if (auto* presented = presentedFrom(*child))
                return presented;
        return nullptr;
    }

}

View* KeyboardFocus::topScreen(Application& application)
{
    Window* window = application.keyWindow();
    if (!window)
        return nullptr;
    if (auto* alert = application.topAlert(); alert && alert->isVisible() && alert->window() == window)
        return alert;
    ViewController* top = window->topViewController();
    while (top)
        if (auto* presented = presentedFrom(*top))
            top = presented;
        else
            break;
    if (top && top->isViewLoaded()) {
        auto view = top->view();
        if (view->window() == window)
            return view.get();
    }
    return window;
}

std::vector<KeyboardFocus::Stop> KeyboardFocus::chain(Application& application)
{
    std::vector<Stop> stops;
    View* root = topScreen(application);
    if (!root)
        return stops;
    // Lists make the cells of the rows they show when laid out.
    application.keyWindow()->layoutTree();
    collect(*root, *root, stops);
    auto line = [](const Rect& r) { return std::round(r.minY() * 2); };
    std::stable_sort(stops.begin(), stops.end(), [&](const Stop& a, const Stop& b) {
        if (line(a.rect) != line(b.rect))
            return line(a.rect) < line(b.rect);
        return a.rect.minX() < b.rect.minX();
    });
    return stops;
}

bool KeyboardFocus::handle(Application& application, const KeyPress& key)
{
    switch (key.code) {
    case KeyCode::Tab:
        return moveFocus(application, key.shift() ? -1 : 1);
    case KeyCode::Digit:
        return key.control() && chooseTab(application, key.digit);
    case KeyCode::Escape:
        return escape(application);
    case KeyCode::Return:
    case KeyCode::Space:
        return activate(application, key);
    case KeyCode::Left:
    case KeyCode::Right:
    case KeyCode::Up:
    case KeyCode::Down:
        return arrow(application, key);
    }
    return false;
}

bool KeyboardFocus::moveFocus(Application& application, int direction)
{
    auto stops = chain(application);
    if (stops.empty())
        return false;
    View* focused = focusedView(application);
    auto n = static_cast<long>(stops.size());
    long start = direction > 0 ? -1 : n;
    for (long i = 0; i < n; ++i)
        if (stops[static_cast<std::size_t>(i)].view == focused
            && stops[static_cast<std::size_t>(i)].stop == focused->keyboardFocusStop())
            start = i;
    for (long step = 1; step <= n; ++step) {
        const Stop& next = stops[static_cast<std::size_t>(((start + direction * step) % n + n) % n)];
        auto keep = next.view->self();
        next.view->setKeyboardFocusStop(next.stop);
        if (next.view->becomeFirstResponder())
            return true;
    }
    return false;
}

bool KeyboardFocus::activate(Application& application, const KeyPress& key)
{
    Responder* responder = application.firstResponder();
    if (!responder)
        return false;
    // A text field keeps its keys: Return is its own, a space is typed.
    if (responder->wantsKeyboard()) {
        if (key.code != KeyCode::Return)
            return false;
        application.sendReturn();
        return true;
    }
    View* focused = focusedView(application);
    if (!focused)
        return false;
    auto keep = focused->self();
    return focused->accessibilityActivate();
}

bool KeyboardFocus::arrow(Application& application, const KeyPress& key)
{
    if (View* focused = focusedView(application)) {
        auto keep = focused->self();
        // A field whose keyboard is a picker turns the picker.
        if (auto input = focused->keyboardInputView(); input && input->keyPressed(key))
            return true;
        for (View* v = focused; v; v = v->superview())
            if (v->keyPressed(key))
                return true;
    }
    return pageBySwipe(application, key);
}

bool KeyboardFocus::escape(Application& application)
{
    if (auto* alert = application.topAlert(); alert && alert->isVisible()) {
        Button* cancel = alert->cancelButtonIndex() >= 0 ? alert->buttonAtIndex(alert->cancelButtonIndex()) : nullptr;
        if (!cancel)
            return false;
        auto keep = cancel->self();
        return cancel->accessibilityActivate();
    }
    View* root = topScreen(application);
    if (!root)
        return false;
    // Back is the back button's tap: a screen that put its own button
    // there (Cancel, say) keeps the say over leaving.
    View* back = findVisible(*root, [](const View& v) {
        auto* button = dynamic_cast<const NavigationButton*>(&v);
        return button && button->isBackButton() && button->isEnabled();
    });
    if (!back)
        return false;
    auto keep = back->self();
    return back->accessibilityActivate();
}

bool KeyboardFocus::chooseTab(Application& application, int digit)
{
    if (digit < 1 || application.topAlert())
        return false;
    View* root = topScreen(application);
    if (!root)
        return false;
    auto* bar = static_cast<TabBar*>(findVisible(*root, [](const View& v) { return dynamic_cast<const TabBar*>(&v); }));
    if (!bar || digit > static_cast<int>(bar->tabs().size()))
        return false;
    auto keep = bar->self();
    return bar->selectTabAsTapped(digit - 1);
}

bool KeyboardFocus::pageBySwipe(Application& application, const KeyPress& key)
{
    if (key.code != KeyCode::Left && key.code != KeyCode::Right)
        return false;
    View* root = topScreen(application);
    if (!root)
        return false;
    // Left goes back a page, as a swipe to the right does.
    unsigned direction = key.code == KeyCode::Left ? SwipeGestureRecognizer::Right : SwipeGestureRecognizer::Left;
    std::shared_ptr<SwipeGestureRecognizer> pager;
    findVisible(*root, [&](const View& v) {
        for (const auto& recognizer : v.gestureRecognizers()) {
            auto swipe = std::dynamic_pointer_cast<SwipeGestureRecognizer>(recognizer);
            // A recogniser of one direction pages; one of both (a list's
            // swipe to delete) does not.
            if (swipe && swipe->isEnabled() && swipe->direction() == direction) {
                pager = swipe;
                return true;
            }
        }
        return false;
    });
    if (!pager)
        return false;
    pager->recognizeWithoutTouches();
    return true;
}

double KeyboardFocus::sliderStep(double minimum, double maximum)
{
    double range = std::abs(maximum - minimum);
    if (!(range > 0) || !std::isfinite(range))
        return 0;
    double tenth = range / 10;
    double power = std::pow(10.0, std::floor(std::log10(tenth)));
    for (double nice : { 5.0, 2.0 })
        if (nice * power <= tenth * 1.000001)
            return nice * power;
    return power;
}

}
