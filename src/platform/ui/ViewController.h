#pragma once

#include "platform/ui/Application.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"

#include <memory>
#include <string>
#include <vector>

namespace hestio::platform {

class NavigationController;
class TabBarController;

/// A screen: owns its view (made lazily by loadView, then viewDidLoad), gets
/// the appearance callbacks in the platform's order, and presents other
/// screens modally. Always owned by std::shared_ptr.
///
/// Order on a push: pushed viewDidLoad, top viewWillDisappear, pushed
/// viewWillAppear, (transition), top viewDidDisappear, pushed viewDidAppear.
/// Pops, tab switches and modal presentation and dismissal follow the same
/// will/will/did/did shape.
class ViewController : public std::enable_shared_from_this<ViewController> {
public:
    ViewController();
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    /// The view, loaded on first use.
    std::shared_ptr<View> view();
    View* viewIfLoaded() const { return m_view.get(); }
    bool isViewLoaded() const { return m_view != nullptr; }
    void setView(std::shared_ptr<View> view);

    // Life cycle hooks
    virtual void loadView();
    virtual void viewDidLoad() { }
    virtual void viewWillAppear(bool) { }
    virtual void viewDidAppear(bool) { }
    virtual void viewWillDisappear(bool) { }
    virtual void viewDidDisappear(bool) { }
    virtual void viewDidUnload() { }
    /// Releases the view when it is not in a window, then viewDidUnload.
    virtual void didReceiveMemoryWarning();

    const std::string& title() const { return m_title; }
    /// Also the navigation item's and tab bar item's title.
    void setTitle(std::string title);
    NavigationItem& navigationItem() { return m_navigationItem; }
    TabBarItem& tabBarItem() { return m_tabBarItem; }

    // Containment (non-owning back references)
    ViewController* parentViewController() const { return m_parent; }
    NavigationController* navigationController() const;
    TabBarController* tabBarController() const;

    // Modal presentation
    void presentModalViewController(std::shared_ptr<ViewController> controller, bool animated);
    /// On the presenter: dismisses what it presented. On the presented
    /// screen: asks its presenter to dismiss it.
    void dismissModalViewControllerAnimated(bool animated);
    ViewController* modalViewController() const { return m_modal.get(); }
    ViewController* presentingViewController() const { return m_presenting; }
    static constexpr double modalTransitionDuration = 0.3;

    // Editing
    bool isEditing() const { return m_editing; }
    virtual void setEditing(bool editing, bool animated);

    // Rotation
    InterfaceOrientation interfaceOrientation() const { return m_orientation; }
    virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const
    {
        return o == InterfaceOrientation::Portrait;
    }
    virtual void willRotateToInterfaceOrientation(InterfaceOrientation, double) { }
    virtual void willAnimateRotationToInterfaceOrientation(InterfaceOrientation, double) { }
    virtual void didRotateFromInterfaceOrientation(InterfaceOrientation) { }
    /// Runs the three rotation callbacks here and in the visible children.
    void rotate(InterfaceOrientation to, double duration);

    /// Every child controller (all tabs, the whole navigation stack).
    virtual std::vector<ViewController*> childViewControllers() const { return {}; }

    // Appearance, driven by windows and containers.
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    Appearance appearance() const { return m_appearance; }
    bool isVisible() const { return m_appearance == Appearance::Appeared; }
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();

protected:
    /// The children that appear and disappear with this controller.
    virtual std::vector<ViewController*> visibleChildren() const { return {}; }
    virtual bool childrenAllowRotation(InterfaceOrientation) const { return true; }
    void adoptChild(ViewController& child) { child.m_parent = this; }
    void releaseChild(ViewController& child)
    {
        if (child.m_parent == this)
            child.m_parent = nullptr;
    }
    Window* hostWindow() const;
    /// The screen whose view a modal screen covers.
    ViewController* rootAncestor();
    /// A container that swaps its shown child while it is itself appearing:
    /// `from` leaves at once and `to` joins the transition in progress.
    void swapChildWhileAppearing(ViewController* from, ViewController* to);

private:
    friend class Window;
    friend class NavigationController;
    friend class TabBarController;
    void finishDismissal(std::shared_ptr<ViewController> dismissed, ViewController* covered, bool animated);

    std::shared_ptr<View> m_view;
    std::string m_title;
    NavigationItem m_navigationItem;
    TabBarItem m_tabBarItem;
    ViewController* m_parent { nullptr };
    std::shared_ptr<ViewController> m_modal;
    ViewController* m_presenting { nullptr };
    ViewController* m_coveredByModal { nullptr };
    bool m_editing { false };
    InterfaceOrientation m_orientation { InterfaceOrientation::Portrait };
    Appearance m_appearance { Appearance::Disappeared };
    bool m_appearAnimated { false };
    std::vector<ViewController*> m_transitionChildren;
};

}
