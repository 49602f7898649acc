#pragma once

#include "platform/ui/NavigationBar.h"
#include "platform/ui/ViewController.h"

namespace hestio::platform {

/// A stack of screens under a navigation bar. Pushing slides the new screen
/// in from the right (0.35 s when animated); popping slides it back out.
/// The bar can be a subclass chosen by the app (pass it in).
class NavigationController : public ViewController {
public:
    static constexpr double transitionDuration = 0.35;
    [[nodiscard]] static std::shared_ptr<NavigationController> create(
        std::shared_ptr<ViewController> root, std::shared_ptr<NavigationBar> bar = nullptr);
    explicit NavigationController(std::shared_ptr<NavigationBar> bar = nullptr);
    ~NavigationController() override;

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_stack; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated = false);
    ViewController* topViewController() const { return m_stack.empty() ? nullptr : m_stack.back().get(); }
    /// The top screen, or what it presents modally.
    ViewController* visibleViewController() const;

    void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
    std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToViewController(ViewController& controller, bool animated);

    NavigationBar& navigationBar() { return *m_bar; }
    bool isNavigationBarHidden() const { return m_barHidden; }
    void setNavigationBarHidden(bool hidden, bool animated = false);

    void loadView() override;
    std::vector<ViewController*> childViewControllers() const override;
    bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const override;

protected:
    std::vector<ViewController*> visibleChildren() const override;

private:
    Rect contentFrame() const;
    void install(ViewController& controller);
    void transition(std::shared_ptr<ViewController> from, std::shared_ptr<ViewController> to, bool animated,
        bool forward, std::vector<std::shared_ptr<ViewController>> released);

    std::shared_ptr<NavigationBar> m_bar;
    std::vector<std::shared_ptr<ViewController>> m_stack;
    bool m_barHidden { false };
};

}
