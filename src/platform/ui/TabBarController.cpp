#include "platform/ui/TabBarController.h"

#include "platform/ui/NavigationController.h"

namespace hestio::platform {

std::shared_ptr<TabBarController> TabBarController::create()
{
    return std::make_shared<TabBarController>();
}

TabBarController::TabBarController()
    : m_tabBar(TabBar::create())
{
    m_tabBar->setSelectAction([this](int index) { userSelected(index); });
}

TabBarController::~TabBarController()
{
    m_tabBar->setSelectAction({});
    for (auto& c : m_controllers) {
        c->tabBarItem().setChangeHandler({});
        if (auto* nav = dynamic_cast<NavigationController*>(c.get()); nav && !nav->viewControllers().empty())
            nav->viewControllers().front()->tabBarItem().setChangeHandler({});
        releaseChild(*c);
    }
}

void TabBarController::loadView()
{
    auto view = View::create({ 0, 0, 320, 460 });
    view->setBackgroundColor(Color::black());
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    Rect b = view->bounds();
    m_tabBar->setFrame({ 0, b.height() - TabBar::height, b.width(), TabBar::height });
    view->addSubview(m_tabBar);
    setView(view);
    if (auto* selected = selectedViewController()) {
        auto child = selected->view();
        child->setFrame(contentFrame());
        view->insertSubviewBelow(child, *m_tabBar);
    }
}

Rect TabBarController::contentFrame() const
{
    Rect b = viewIfLoaded() ? viewIfLoaded()->bounds() : Rect { 0, 0, 320, 460 };
    return { 0, 0, b.width(), b.height() - TabBar::height };
}

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers)
{
    auto* oldSelected = selectedViewController();
    bool visible = appearance() == Appearance::Appeared;
    for (auto& c : m_controllers) {
        c->tabBarItem().setChangeHandler({});
        if (auto* nav = dynamic_cast<NavigationController*>(c.get()); nav && !nav->viewControllers().empty())
            nav->viewControllers().front()->tabBarItem().setChangeHandler({});
    }
    auto old = std::move(m_controllers);
    m_controllers = std::move(controllers);
    for (auto& c : m_controllers) {
        adoptChild(*c);
        c->tabBarItem().setChangeHandler([this] { refreshTabs(); });
        if (auto* nav = dynamic_cast<NavigationController*>(c.get()); nav && !nav->viewControllers().empty())
            nav->viewControllers().front()->tabBarItem().setChangeHandler([this] { refreshTabs(); });
    }
    m_selected = m_controllers.empty() ? 0 : std::min(m_selected, static_cast<int>(m_controllers.size()) - 1);
    m_tabBar->setSelectedIndex(m_selected);
    refreshTabs();
    auto* newSelected = selectedViewController();
    if (isViewLoaded() && oldSelected != newSelected) {
        if (visible && oldSelected)
            oldSelected->beginAppearanceTransition(false, false);
        if (oldSelected && oldSelected->isViewLoaded())
            oldSelected->view()->removeFromSuperview();
        if (newSelected) {
            auto child = newSelected->view();
            child->setFrame(contentFrame());
            viewIfLoaded()->insertSubviewBelow(child, *m_tabBar);
            if (visible)
                newSelected->beginAppearanceTransition(true, false);
        }
        if (visible && oldSelected)
            oldSelected->endAppearanceTransition();
        if (visible && newSelected)
            newSelected->endAppearanceTransition();
        // A tab chosen while the layout is still appearing (a modal screen
        // sliding away) must still hear that it appeared.
        swapChildWhileAppearing(oldSelected, newSelected);
    }
    for (auto& c : old)
        if (std::find(m_controllers.begin(), m_controllers.end(), c) == m_controllers.end())
            releaseChild(*c);
}

void TabBarController::refreshTabs()
{
    std::vector<TabBar::Tab> tabs;
    for (auto& c : m_controllers) {
        TabBar::Tab tab;
        const TabBarItem* own = &c->tabBarItem();
        const TabBarItem* root = own;
        if (auto* nav = dynamic_cast<NavigationController*>(c.get()); nav && !nav->viewControllers().empty())
            root = &nav->viewControllers().front()->tabBarItem();
        tab.title = !own->title().empty() ? own->title() : root->title();
        tab.image = own->image() ? own->image() : root->image();
        tab.imageName = own->image() ? own->imageName() : root->imageName();
        tab.badge = own->badgeValue() ? own->badgeValue() : root->badgeValue();
        tab.enabled = own->isEnabled();
        tabs.push_back(tab);
    }
    m_tabBar->setTabs(std::move(tabs));
}

ViewController* TabBarController::selectedViewController() const
{
    if (m_selected < 0 || m_selected >= static_cast<int>(m_controllers.size()))
        return nullptr;
    return m_controllers[static_cast<std::size_t>(m_selected)].get();
}

void TabBarController::setSelectedViewController(ViewController& controller)
{
    for (std::size_t i = 0; i < m_controllers.size(); ++i)
        if (m_controllers[i].get() == &controller)
            setSelectedIndex(static_cast<int>(i));
}

void TabBarController::setSelectedIndex(int index)
{
    if (index == m_selected || index < 0 || index >= static_cast<int>(m_controllers.size()))
        return;
    auto* from = selectedViewController();
    m_selected = index;
    m_tabBar->setSelectedIndex(index);
    auto* to = selectedViewController();
    if (!isViewLoaded())
        return;
    bool visible = appearance() == Appearance::Appeared;
    auto child = to->view();
    child->setFrame(contentFrame());
    if (visible) {
        from->beginAppearanceTransition(false, false);
        to->beginAppearanceTransition(true, false);
    }
    viewIfLoaded()->insertSubviewBelow(child, *m_tabBar);
    if (from->isViewLoaded())
        from->view()->removeFromSuperview();
    if (visible) {
        from->endAppearanceTransition();
        to->endAppearanceTransition();
    }
    // A tab chosen while the layout is still appearing (a modal screen
    // sliding away) must still hear that it appeared.
    swapChildWhileAppearing(from, to);
}

void TabBarController::userSelected(int index)
{
    if (index == m_selected) {
        // A second tap on the current tab returns its stack to the root screen.
        if (auto* nav = dynamic_cast<NavigationController*>(selectedViewController()))
            nav->popToRootViewControllerAnimated(true);
        return;
    }
    setSelectedIndex(index);
    if (m_didSelect && selectedViewController())
        m_didSelect(*selectedViewController());
}

std::vector<ViewController*> TabBarController::childViewControllers() const
{
    std::vector<ViewController*> out;
    for (auto& c : m_controllers)
        out.push_back(c.get());
    return out;
}

std::vector<ViewController*> TabBarController::visibleChildren() const
{
    if (auto* selected = selectedViewController())
        return { selected };
    return {};
}

bool TabBarController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const
{
    auto* selected = selectedViewController();
    return selected ? selected->shouldAutorotateToInterfaceOrientation(o) : o == InterfaceOrientation::Portrait;
}

}
