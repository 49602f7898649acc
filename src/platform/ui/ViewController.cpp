#include "platform/ui/ViewController.h"

#include "platform/ui/Animator.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"

namespace hestio::platform {

ViewController::ViewController() = default;

ViewController::~ViewController()
{
    if (m_view && m_view->m_viewController == this)
        m_view->m_viewController = nullptr;
}

std::shared_ptr<View> ViewController::view()
{
    if (!m_view) {
        loadView();
        if (!m_view)
            setView(View::create({ 0, 0, 320, 460 }));
        viewDidLoad();
    }
    return m_view;
}

void ViewController::setView(std::shared_ptr<View> view)
{
    if (m_view && m_view->m_viewController == this)
        m_view->m_viewController = nullptr;
    m_view = std::move(view);
    if (m_view)
        m_view->m_viewController = this;
}

void ViewController::loadView()
{
    auto view = View::create({ 0, 0, 320, 460 });
    view->setBackgroundColor(Color::whiteColor());
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    setView(view);
}

void ViewController::didReceiveMemoryWarning()
{
    if (!m_view || m_view->window() || m_appearance != Appearance::Disappeared)
        return;
    setView(nullptr);
    viewDidUnload();
}

void ViewController::setTitle(std::string title)
{
    m_title = title;
    m_navigationItem.setTitle(title);
    m_tabBarItem.setTitle(std::move(title));
}

NavigationController* ViewController::navigationController() const
{
    for (auto* c = m_parent; c; c = c->m_parent)
        if (auto* nav = dynamic_cast<NavigationController*>(c))
            return nav;
    return nullptr;
}

TabBarController* ViewController::tabBarController() const
{
    for (auto* c = m_parent; c; c = c->m_parent)
        if (auto* tabs = dynamic_cast<TabBarController*>(c))
            return tabs;
    return nullptr;
}

Window* ViewController::hostWindow() const
{
    if (m_view && m_view->window())
        return m_view->window();
    return Application::shared().keyWindow();
}

ViewController* ViewController::rootAncestor()
{
    ViewController* c = this;
    while (c->m_parent)
        c = c->m_parent;
    return c;
}

void ViewController::presentModalViewController(std::shared_ptr<ViewController> controller, bool animated)
{
    if (!controller)
        return;
    ViewController* presenter = this;
    while (presenter->m_modal)
        presenter = presenter->m_modal.get();
    ViewController* covered = presenter->rootAncestor();
    presenter->m_modal = controller;
    controller->m_presenting = presenter;
    controller->m_coveredByModal = covered;

    Window* window = covered->hostWindow();
    auto view = controller->view();
    Rect target = window ? window->contentFrame() : (covered->m_view ? covered->m_view->frame() : view->frame());
    if (window)
        window->addSubview(view);
    bool visible = covered->appearance() == Appearance::Appeared || covered->appearance() == Appearance::Appearing;
    if (visible) {
        covered->beginAppearanceTransition(false, animated);
        controller->beginAppearanceTransition(true, animated);
    }
    std::weak_ptr<ViewController> weakCovered = covered->weak_from_this();
    auto finish = [weakCovered, controller, visible] {
        auto c = weakCovered.lock();
        if (c && c->m_view && controller->m_presenting)
            c->m_view->setHidden(true);
        if (visible) {
            if (c)
                c->endAppearanceTransition();
            controller->endAppearanceTransition();
        }
    };
    if (animated && window) {
        Animator::performWithoutAnimation([&] { view->setFrame(target.offsetBy(0, target.height())); });
        Animator::animate(
            modalTransitionDuration, [&] { view->setFrame(target); }, [finish](bool) { finish(); });
    } else {
        view->setFrame(target);
        finish();
    }
}

void ViewController::dismissModalViewControllerAnimated(bool animated)
{
    if (!m_modal) {
        if (m_presenting)
            m_presenting->dismissModalViewControllerAnimated(animated);
        return;
    }
    auto dismissed = m_modal;
    // Screens presented above the dismissed one go with it, at once.
    if (dismissed->m_modal)
        dismissed->dismissModalViewControllerAnimated(false);
    m_modal.reset();
    dismissed->m_presenting = nullptr;
    ViewController* covered = dismissed->m_coveredByModal;
    dismissed->m_coveredByModal = nullptr;
    if (covered && covered->m_view)
        covered->m_view->setHidden(false);
    bool visible = dismissed->appearance() == Appearance::Appeared || dismissed->appearance() == Appearance::Appearing;
    if (visible) {
        dismissed->beginAppearanceTransition(false, animated);
        if (covered)
            covered->beginAppearanceTransition(true, animated);
    }
    std::weak_ptr<ViewController> weakCovered = covered ? covered->weak_from_this() : std::weak_ptr<ViewController> {};
    auto finish = [dismissed, weakCovered, visible] {
        if (dismissed->m_view && !dismissed->m_presenting)
            dismissed->m_view->removeFromSuperview();
        if (visible) {
            dismissed->endAppearanceTransition();
            if (auto c = weakCovered.lock())
                c->endAppearanceTransition();
        }
    };
    auto view = dismissed->viewIfLoaded();
    if (animated && view && view->window()) {
        Rect end = view->frame().offsetBy(0, view->frame().height());
        Animator::animate(
            modalTransitionDuration, [&] { view->setFrame(end); }, [finish](bool) { finish(); });
    } else {
        finish();
    }
}

void ViewController::setEditing(bool editing, bool)
{
    m_editing = editing;
}

void ViewController::rotate(InterfaceOrientation to, double duration)
{
    std::vector<ViewController*> all;
    std::function<void(ViewController*)> collect = [&](ViewController* c) {
        all.push_back(c);
        for (auto* child : c->visibleChildren())
            collect(child);
    };
    collect(this);
    InterfaceOrientation from = m_orientation;
    for (auto* c : all)
        c->willRotateToInterfaceOrientation(to, duration);
    for (auto* c : all) {
        c->m_orientation = to;
        if (c->m_view)
            c->m_view->setNeedsLayout();
    }
    for (auto* c : all)
        c->willAnimateRotationToInterfaceOrientation(to, duration);
    for (auto* c : all)
        c->didRotateFromInterfaceOrientation(from);
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated)
{
    if (appearing) {
        if (m_appearance == Appearance::Appeared || m_appearance == Appearance::Appearing)
            return;
        m_appearance = Appearance::Appearing;
        view();
        m_appearAnimated = animated;
        viewWillAppear(animated);
    } else {
        if (m_appearance == Appearance::Disappeared || m_appearance == Appearance::Disappearing)
            return;
        m_appearance = Appearance::Disappearing;
        m_appearAnimated = animated;
        viewWillDisappear(animated);
    }
    m_transitionChildren = visibleChildren();
    for (auto* child : m_transitionChildren)
        child->beginAppearanceTransition(appearing, animated);
}

void ViewController::swapChildWhileAppearing(ViewController* from, ViewController* to)
{
    if (m_appearance != Appearance::Appearing)
        return;
    if (from) {
        from->beginAppearanceTransition(false, false);
        from->endAppearanceTransition();
        std::erase(m_transitionChildren, from);
    }
    if (to) {
        to->beginAppearanceTransition(true, m_appearAnimated);
        m_transitionChildren.push_back(to);
    }
}

void ViewController::endAppearanceTransition()
{
    if (m_appearance == Appearance::Appearing) {
        m_appearance = Appearance::Appeared;
        viewDidAppear(m_appearAnimated);
    } else if (m_appearance == Appearance::Disappearing) {
        m_appearance = Appearance::Disappeared;
        viewDidDisappear(m_appearAnimated);
    } else {
        return;
    }
    auto children = std::move(m_transitionChildren);
    m_transitionChildren.clear();
    for (auto* child : children)
        child->endAppearanceTransition();
}

}
