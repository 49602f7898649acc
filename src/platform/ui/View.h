#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/KeyPress.h"
#include "platform/ui/Layer.h"
#include "platform/ui/Responder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

struct AccessibleInfo;
class Context;
class GestureRecognizer;
class ViewController;
class Window;

/// How a view follows its superview's size changes.
enum Autoresizing : unsigned {
    AutoresizingNone = 0,
    AutoresizingFlexibleLeftMargin = 1 << 0,
    AutoresizingFlexibleWidth = 1 << 1,
    AutoresizingFlexibleRightMargin = 1 << 2,
    AutoresizingFlexibleTopMargin = 1 << 3,
    AutoresizingFlexibleHeight = 1 << 4,
    AutoresizingFlexibleBottomMargin = 1 << 5,
};

/// A rectangle of the retained view tree, in points. Every property a screen
/// sets is plain state a test can read back; drawing goes through gfx.
///
/// A view owns its subviews; its superview pointer is non-owning and cleared
/// when the superview lets go of it. Views are always made through create()
/// (or std::make_shared of a subclass), never on the stack.
class View : public Responder {
public:
    [[nodiscard]] static std::shared_ptr<View> create(Rect frame = {});
    explicit View(Rect frame = {});
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    template<class T = View> std::shared_ptr<T> self() { return std::static_pointer_cast<T>(shared_from_this()); }

    // Geometry. frame and alpha are animatable inside animation blocks.
    Rect frame() const { return m_frame; }
    void setFrame(const Rect& frame);
    Rect bounds() const { return { m_boundsOrigin, m_frame.size }; }
    Point boundsOrigin() const { return m_boundsOrigin; }
    void setBoundsOrigin(Point origin);
    Point center() const { return m_frame.center(); }
    void setCenter(Point center);
    AffineTransform transform() const { return m_layer.transform(); }
    void setTransform(const AffineTransform& t) { m_layer.setTransform(t); }
    Layer& layer() { return m_layer; }
    const Layer& layer() const { return m_layer; }

    // Appearance
    double alpha() const { return m_alpha; }
    void setAlpha(double alpha);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    Color backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(Color color);
    bool clipsToBounds() const { return m_clipsToBounds; }
    void setClipsToBounds(bool clips);
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque) { m_opaque = opaque; }

    // Identity
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    const std::string& accessibilityIdentifier() const { return m_accessibilityIdentifier; }
    void setAccessibilityIdentifier(std::string id) { m_accessibilityIdentifier = std::move(id); }
    const std::string& accessibilityLabel() const { return m_accessibilityLabel; }
    void setAccessibilityLabel(std::string label) { m_accessibilityLabel = std::move(label); }
    /// What assistive technology reads after the name (a graph's summary).
    const std::string& accessibilityHint() const { return m_accessibilityHint; }
    void setAccessibilityHint(std::string hint) { m_accessibilityHint = std::move(hint); }
    /// Lets a view say more to assistive technology than the toolkit's
    /// mapping (Accessible.h) gives it, e.g. a graph that is an image.
    virtual void describeAccessibility(AccessibleInfo&) const { }
    /// Sets the value this view gave in describeAccessibility, as a person
    /// adjusting it would; false when it has none.
    virtual bool adjustAccessibleValue(double) { return false; }
    /// The class description automation and screens match on.
    virtual std::string className() const { return "View"; }
    /// The text a person would read on this view (label text, button title…).
    virtual std::string visibleText() const { return {}; }

    // Interaction
    bool isUserInteractionEnabled() const { return m_userInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled) { m_userInteractionEnabled = enabled; }
    bool isMultipleTouchEnabled() const { return m_multipleTouchEnabled; }
    void setMultipleTouchEnabled(bool enabled) { m_multipleTouchEnabled = enabled; }
    bool isExclusiveTouch() const { return m_exclusiveTouch; }
    void setExclusiveTouch(bool exclusive) { m_exclusiveTouch = exclusive; }

    // Autoresizing
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }
    bool autoresizesSubviews() const { return m_autoresizesSubviews; }
    void setAutoresizesSubviews(bool on) { m_autoresizesSubviews = on; }

    // The tree
    View* superview() const { return m_superview; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    void addSubview(std::shared_ptr<View> view);
    void insertSubview(std::shared_ptr<View> view, std::size_t index);
    void insertSubviewBelow(std::shared_ptr<View> view, const View& sibling);
    void insertSubviewAbove(std::shared_ptr<View> view, const View& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const View& view);
    void sendSubviewToBack(const View& view);
    bool isDescendantOf(const View& ancestor) const;
    /// The window at the root of this view's tree, if it is in one.
    virtual Window* window() const;

    // Finding views (depth first, this view included)
    View* viewWithTag(int tag);
    View* findByAccessibilityIdentifier(const std::string& id);
    /// The first visible view whose visibleText() or accessibility label is `text`.
    virtual View* findByText(const std::string& text);
    virtual std::vector<View*> findAll(const std::function<bool(const View&)>& predicate);
    /// Whether this view and every ancestor are shown.
    bool isVisibleOnScreen() const;
    /// The part of the view a person can see, in window coordinates: none
    /// when it or an ancestor is hidden or transparent, or when it lies
    /// outside the window or is clipped away.
    [[nodiscard]] std::optional<Rect> visibleRectInWindow() const;

    // Keyboard focus. Tab walks the visible views that can become first
    // responder; the first responder is the focused view.
    /// The stops the view offers to Tab (a tab bar: one a tab).
    virtual int keyboardFocusStops() const { return 1; }
    /// The stop that has the focus while this view is first responder.
    int keyboardFocusStop() const { return m_keyboardFocusStop; }
    void setKeyboardFocusStop(int stop);
    /// Where the focus ring of a stop goes, in the view's coordinates.
    virtual Rect keyboardFocusRect(int /*stop*/) const { return bounds(); }
    /// A key pressed while this view (or a view inside it) has the focus;
    /// true when the view used it.
    virtual bool keyPressed(const KeyPress&) { return false; }
    /// Does what a tap on the view (on its focused stop) does; false when a
    /// tap would do nothing.
    virtual bool accessibilityActivate() { return false; }

    /// Makes the first responder inside this view (or the view itself) resign.
    bool endEditing(bool force = true);

    // Layout
    void setNeedsLayout();
    void layoutIfNeeded();
    bool needsLayout() const { return m_needsLayout; }
    virtual void layoutSubviews() { }
    [[nodiscard]] virtual Size sizeThatFits(Size size) const;
    void sizeToFit();

    // Display
    void setNeedsDisplay();
    bool needsDisplay() const { return m_needsDisplay; }
    /// Draws this view and its subviews into `context`, whose origin is this
    /// view's superview's coordinate origin.
    void drawHierarchy(Context& context, double inheritedAlpha = 1.0);

    // Coordinates and hit testing
    virtual bool pointInside(Point point) const;
    /// The deepest interactive view under `point` (in this view's coordinates).
    virtual std::shared_ptr<View> hitTest(Point point);
    /// Converts between this view's coordinates and `other`'s (nullptr: window).
    [[nodiscard]] Point convertPointToView(Point point, const View* other) const;
    [[nodiscard]] Point convertPointFromView(Point point, const View* other) const;
    [[nodiscard]] Rect convertRectToView(const Rect& rect, const View* other) const;
    [[nodiscard]] Point convertToWindow(Point point) const;
    [[nodiscard]] Point convertFromWindow(Point point) const;

    // Gesture recognisers
    void addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer);
    void removeGestureRecognizer(const GestureRecognizer& recognizer);
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return m_gestureRecognizers; }

    // What is drawn while an animation runs (the model values otherwise).
    Rect presentationFrame() const;
    double presentationAlpha() const;
    AffineTransform presentationTransform() const;
    Point presentationBoundsOrigin() const;

    /// The controller whose view this is (non-owning; set by the controller).
    ViewController* viewController() const { return m_viewController; }
    Responder* nextResponder() const override { return m_superview; }

    /// An indented text picture of the tree below this view, one view a line,
    /// for failure messages.
    std::string dumpTree() const;

protected:
    /// Draws the view's own content within `rect` (its bounds), after the
    /// background colour and before the subviews.
    virtual void draw(Context& context, const Rect& rect);
    /// Fills the background colour; `local` is the view's rectangle at (0, 0).
    virtual void drawBackground(Context& context, const Rect& local, Color color);
    virtual void didMoveToSuperview() { }
    virtual void didMoveToWindow() { }
    virtual void didAddSubview(View&) { }
    virtual void willRemoveSubview(View&) { }
    virtual void frameSizeDidChange(Size) { }
    /// Extra " key=value" pieces for dumpTree().
    virtual std::string describeProperties() const { return {}; }
    /// Directly stores a frame without animation or autoresizing (for
    /// subclasses laying out during animations).
    void storeFrame(const Rect& frame) { m_frame = frame; }

private:
    friend class ViewController;
    friend class Window;
    friend class Animator;
    friend class Layer;
    void setSuperview(View* superview);
    void notifyMovedToWindow();
    void resizeSubviews(Size oldSize);
    void markWindowNeedsDisplay();
    void dumpInto(std::string& out, int depth) const;

    Rect m_frame;
    Point m_boundsOrigin;
    Layer m_layer { *this };
    double m_alpha { 1 };
    bool m_hidden { false };
    Color m_backgroundColor { Color::clear() };
    bool m_clipsToBounds { false };
    bool m_opaque { false };
    int m_tag { 0 };
    std::string m_accessibilityIdentifier;
    std::string m_accessibilityLabel;
    std::string m_accessibilityHint;
    bool m_userInteractionEnabled { true };
    bool m_multipleTouchEnabled { false };
    bool m_exclusiveTouch { false };
    unsigned m_autoresizingMask { AutoresizingNone };
    bool m_autoresizesSubviews { true };
    View* m_superview { nullptr };
    std::vector<std::shared_ptr<View>> m_subviews;
    std::vector<std::shared_ptr<GestureRecognizer>> m_gestureRecognizers;
    bool m_needsLayout { true };
    bool m_needsDisplay { true };
    ViewController* m_viewController { nullptr };
    int m_keyboardFocusStop { 0 };
};

}
