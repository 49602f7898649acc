#pragma once

#include "platform/ui/View.h"

#include <map>
#include <memory>

namespace hestio::platform {

class GestureRecognizer;
class Image;
class ViewController;

/// The root of a view tree on screen: holds the root view controller and the
/// screens presented over it, tracks the fingers on it, and draws the whole
/// picture (status bar, content, dimmed alerts, keyboard) into a gfx context.
class Window : public View {
public:
    /// A window the size of the screen.
    [[nodiscard]] static std::shared_ptr<Window> create();
    [[nodiscard]] static std::shared_ptr<Window> create(Rect frame);
    explicit Window(Rect frame);
    ~Window() override;

    std::string className() const override { return "Window"; }
    Window* window() const override { return const_cast<Window*>(this); }

    void makeKeyAndVisible();
    bool isKeyWindow() const;

    ViewController* rootViewController() const { return m_rootViewController.get(); }
    /// Installs the controller's view below the status bar and makes it appear
    /// (when the window is visible).
    void setRootViewController(std::shared_ptr<ViewController> controller);
    /// The frame content gets: the window below the status bar.
    Rect contentFrame() const;
    /// The controller on top: the last modal screen, else the root.
    ViewController* topViewController() const;

    // Views drawn above everything and hit-tested first (alerts, keyboard, banners).
    void addOverlay(std::shared_ptr<View> view);
    void removeOverlay(const View& view);
    const std::vector<std::shared_ptr<View>>& overlays() const { return m_overlays; }

    /// Delivers touches: hit testing, gesture recognisers, then the views.
    void sendEvent(const TouchEvent& event);
    std::size_t activeTouchCount() const { return m_touches.size(); }

    std::shared_ptr<View> hitTest(Point point) override;
    /// Searches the overlays (alerts, keyboard, banners) first, then the content.
    View* findByText(const std::string& text) override;
    std::vector<View*> findAll(const std::function<bool(const View&)>& predicate) override;

    /// Draws the window as it looks now (animations at their current point).
    void drawWindow(Context& context);
    /// A raster picture of the window at the screen's scale.
    std::shared_ptr<Image> snapshot(double scale = 2.0);
    /// The same, drawn in the last picture's pixels when nothing else holds
    /// it and its size still fits (Image::reuseOrCreate): for frame after frame.
    std::shared_ptr<Image> snapshot(double scale, std::shared_ptr<Image> last);
    bool windowNeedsDisplay() const { return m_windowNeedsDisplay; }
    /// Marks the window for drawing and tells the application its screen changed.
    void setWindowNeedsDisplay();

    /// Lays out the tree, then resizes to the new screen size (rotation).
    void layoutTree();

private:
    friend class ViewController;
    void drawStatusBar(Context& context);
    /// The ring around the focused view, after a key press.
    void drawFocusRing(Context& context);
    void deliver(TouchPhase phase, const TouchSet& touches, const Event& event);
    /// Hands each recogniser the touches it tracks; one that recognises
    /// and cancels touches in views cancels them there.
    void deliverToRecognizers(TouchPhase phase, const TouchSet& touches, const Event& event);
    /// Cancels in their views the touches `recognizer` tracks or was just
    /// handed (`handedOver`).
    void cancelTouchesInViews(GestureRecognizer& recognizer, const TouchSet& handedOver, const Event& event);
    /// Hands each view the touches that landed on it and are not cancelled.
    void deliverToViews(TouchPhase phase, const TouchSet& touches, const Event& event);

    std::shared_ptr<ViewController> m_rootViewController;
    std::vector<std::shared_ptr<View>> m_overlays;
    struct TrackedTouch {
        std::shared_ptr<Touch> touch;
        std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    };
    std::map<int, TrackedTouch> m_touches;
    bool m_windowNeedsDisplay { true };
    bool m_visible { false };
    struct LastTap {
        Point location;
        double timestamp { -10 };
        int count { 0 };
    } m_lastTap;
};

}
