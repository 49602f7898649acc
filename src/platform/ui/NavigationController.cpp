#include "platform/ui/NavigationController.h"

#include "platform/ui/Animator.h"

#include <algorithm>

namespace hestio::platform {

std::shared_ptr<NavigationController> NavigationController::create(
    std::shared_ptr<ViewController> root, std::shared_ptr<NavigationBar> bar)
{
    auto nav = std::make_shared<NavigationController>(std::move(bar));
    if (root)
        nav->pushViewController(std::move(root), false);
    return nav;
}

NavigationController::NavigationController(std::shared_ptr<NavigationBar> bar)
    : m_bar(bar ? std::move(bar) : NavigationBar::create())
{
    m_bar->setAccessibilityIdentifier("navigationBar");
    m_bar->setBackAction([this] { popViewControllerAnimated(true); });
}

NavigationController::~NavigationController()
{
    m_bar->setBackAction({});
    m_bar->setItems({});
    for (auto& c : m_stack)
        releaseChild(*c);
}

void NavigationController::loadView()
{
    auto view = View::create({ 0, 0, 320, 460 });
    view->setBackgroundColor(Color::whiteColor());
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    view->setClipsToBounds(true);
    m_bar->setFrame({ 0, 0, view->frame().width(), NavigationBar::height });
    m_bar->setHidden(m_barHidden);
    view->addSubview(m_bar);
    setView(view);
    if (auto* top = topViewController())
        install(*top);
}

Rect NavigationController::contentFrame() const
{
    Rect b = viewIfLoaded() ? viewIfLoaded()->bounds() : Rect { 0, 0, 320, 460 };
    double top = m_barHidden ? 0 : NavigationBar::height;
    return { 0, top, b.width(), b.height() - top };
}

void NavigationController::install(ViewController& controller)
{
    auto view = controller.view();
    view->setFrame(contentFrame());
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    viewIfLoaded()->insertSubviewBelow(view, *m_bar);
}

ViewController* NavigationController::visibleViewController() const
{
    auto* top = topViewController();
    if (top && top->modalViewController())
        return top->modalViewController();
    return top;
}

std::vector<ViewController*> NavigationController::childViewControllers() const
{
    std::vector<ViewController*> out;
    for (auto& c : m_stack)
        out.push_back(c.get());
    return out;
}

std::vector<ViewController*> NavigationController::visibleChildren() const
{
    if (auto* top = topViewController())
        return { top };
    return {};
}

bool NavigationController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const
{
    auto* top = topViewController();
    return top ? top->shouldAutorotateToInterfaceOrientation(o) : o == InterfaceOrientation::Portrait;
}

void NavigationController::setNavigationBarHidden(bool hidden, bool)
{
    if (hidden == m_barHidden)
        return;
    m_barHidden = hidden;
    m_bar->setHidden(hidden);
    if (auto* top = topViewController(); top && top->isViewLoaded() && isViewLoaded())
        top->view()->setFrame(contentFrame());
}

void NavigationController::transition(std::shared_ptr<ViewController> from, std::shared_ptr<ViewController> to,
    bool animated, bool forward, std::vector<std::shared_ptr<ViewController>> released)
{
    if (!isViewLoaded()) {
        for (auto& r : released)
            releaseChild(*r);
        return;
    }
    if (to)
        install(*to);
    bool visible = appearance() == Appearance::Appeared;
    if (visible) {
        if (from)
            from->beginAppearanceTransition(false, animated);
        if (to)
            to->beginAppearanceTransition(true, animated);
    }
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    auto finish = [weakSelf, from, to, visible, released] {
        auto self = std::static_pointer_cast<NavigationController>(weakSelf.lock());
        if (from && from->isViewLoaded() && (!self || self->topViewController() != from.get()))
            from->view()->removeFromSuperview();
        if (visible) {
            if (from)
                from->endAppearanceTransition();
            if (to)
                to->endAppearanceTransition();
        }
        if (self)
            for (auto& r : released)
                if (std::find(self->m_stack.begin(), self->m_stack.end(), r) == self->m_stack.end())
                    self->releaseChild(*r);
    };
    if (animated && from && to && from->isViewLoaded()) {
        Rect frame = contentFrame();
        double w = frame.width();
        auto fromView = from->view();
        auto toView = to->view();
        Animator::performWithoutAnimation([&] { toView->setFrame(frame.offsetBy(forward ? w : -w, 0)); });
        if (!forward)
            viewIfLoaded()->insertSubviewBelow(toView, *fromView);
        Animator::animate(
            transitionDuration,
            [&] {
                toView->setFrame(frame);
                fromView->setFrame(frame.offsetBy(forward ? -w : w, 0));
            },
            [finish, fromView, frame](bool) {
                Animator::performWithoutAnimation([&] { fromView->setFrame(frame); });
                finish();
            });
    } else {
        finish();
    }
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller, bool animated)
{
    if (!controller || std::find(m_stack.begin(), m_stack.end(), controller) != m_stack.end())
        return;
    std::shared_ptr<ViewController> from = m_stack.empty() ? nullptr : m_stack.back();
    m_stack.push_back(controller);
    adoptChild(*controller);
    m_bar->pushItem(controller->navigationItem(), animated);
    transition(from, controller, animated, true, {});
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated)
{
    if (m_stack.size() <= 1)
        return nullptr;
    auto popped = m_stack.back();
    m_stack.pop_back();
    m_bar->popItem(animated);
    transition(popped, m_stack.back(), animated, false, { popped });
    return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(
    ViewController& controller, bool animated)
{
    auto it = std::find_if(m_stack.begin(), m_stack.end(), [&](auto& c) { return c.get() == &controller; });
    if (it == m_stack.end() || it + 1 == m_stack.end())
        return {};
    std::vector<std::shared_ptr<ViewController>> popped(it + 1, m_stack.end());
    auto top = m_stack.back();
    m_stack.erase(it + 1, m_stack.end());
    std::vector<NavigationItem*> items;
    for (auto& c : m_stack)
        items.push_back(&c->navigationItem());
    m_bar->setItems(items);
    transition(top, m_stack.back(), animated, false, popped);
    return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewControllerAnimated(bool animated)
{
    if (m_stack.empty())
        return {};
    return popToViewController(*m_stack.front(), animated);
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated)
{
    auto from = m_stack.empty() ? nullptr : m_stack.back();
    auto old = m_stack;
    m_stack = std::move(controllers);
    std::vector<NavigationItem*> items;
    for (auto& c : m_stack) {
        adoptChild(*c);
        items.push_back(&c->navigationItem());
    }
    m_bar->setItems(items);
    auto to = m_stack.empty() ? nullptr : m_stack.back();
    std::vector<std::shared_ptr<ViewController>> released;
    for (auto& c : old)
        if (std::find(m_stack.begin(), m_stack.end(), c) == m_stack.end())
            released.push_back(c);
    if (from == to) {
        for (auto& r : released)
            releaseChild(*r);
        return;
    }
    transition(from, to, animated, true, released);
}

}
