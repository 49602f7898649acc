#include "UiTestSupport.h"

#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::JournalingController;
using hestio::test::UiFixture;
using Journal = std::vector<std::string>;

namespace {

std::string joined(const Journal& journal)
{
    std::string out;
    for (auto& line : journal)
        out += line + "\n";
    return out;
}

}

TEST(ViewController, LoadsItsViewOnceOnFirstUse)
{
    Journal journal;
    auto screen = std::make_shared<JournalingController>("A", journal);
    EXPECT_FALSE(screen->isViewLoaded());
    auto view = screen->view();
    EXPECT_EQ(screen->view(), view);
    EXPECT_EQ(journal, (Journal { "A.viewDidLoad" }));
    EXPECT_EQ(view->viewController(), screen.get());
}

TEST(ViewController, PushAndPopCallTheLifeCycleInThePlatformsOrder)
{
    UiFixture ui;
    Journal journal;
    auto root = std::make_shared<JournalingController>("Root", journal);
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    EXPECT_EQ(journal, (Journal { "Root.viewDidLoad", "Root.viewWillAppear", "Root.viewDidAppear" }));

    journal.clear();
    auto detail = std::make_shared<JournalingController>("Detail", journal);
    nav->pushViewController(detail, true);
    EXPECT_EQ(joined(journal), "Detail.viewDidLoad\nRoot.viewWillDisappear\nDetail.viewWillAppear\n");
    ui.loop.advance(NavigationController::transitionDuration);
    EXPECT_EQ(joined(journal),
        "Detail.viewDidLoad\nRoot.viewWillDisappear\nDetail.viewWillAppear\n"
        "Root.viewDidDisappear\nDetail.viewDidAppear\n");
    EXPECT_EQ(detail->navigationController(), nav.get());
    EXPECT_EQ(nav->navigationBar().backItem(), &root->navigationItem());

    journal.clear();
    auto popped = nav->popViewControllerAnimated(false);
    EXPECT_EQ(popped, detail);
    EXPECT_EQ(joined(journal),
        "Detail.viewWillDisappear\nRoot.viewWillAppear\nDetail.viewDidDisappear\nRoot.viewDidAppear\n");
    EXPECT_EQ(nav->topViewController(), root.get());
    EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr); // the root stays
}

TEST(ViewController, TabSwitchesTellOnlyTheTwoTabs)
{
    UiFixture ui;
    Journal journal;
    auto a = std::make_shared<JournalingController>("A", journal);
    auto b = std::make_shared<JournalingController>("B", journal);
    auto c = std::make_shared<JournalingController>("C", journal);
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ NavigationController::create(a), NavigationController::create(b), c });
    ui.window->setRootViewController(tabs);
    EXPECT_EQ(journal, (Journal { "A.viewDidLoad", "A.viewWillAppear", "A.viewDidAppear" }));
    journal.clear();
    tabs->setSelectedIndex(2);
    EXPECT_EQ(
        joined(journal), "C.viewDidLoad\nA.viewWillDisappear\nC.viewWillAppear\nA.viewDidDisappear\nC.viewDidAppear\n");
    journal.clear();
    tabs->setSelectedIndex(2);
    tabs->setSelectedIndex(7);
    EXPECT_TRUE(journal.empty()) << joined(journal);
    EXPECT_EQ(c->tabBarController(), tabs.get());
}

TEST(ViewController, ModalPresentationCoversTheWholeTabLayoutAndDismissalUncoversIt)
{
    UiFixture ui;
    Journal journal;
    auto home = std::make_shared<JournalingController>("Home", journal);
    auto nav = NavigationController::create(home);
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ nav });
    ui.window->setRootViewController(tabs);
    journal.clear();

    auto login = std::make_shared<JournalingController>("Login", journal);
    tabs->presentModalViewController(login, true);
    EXPECT_EQ(joined(journal), "Login.viewDidLoad\nHome.viewWillDisappear\nLogin.viewWillAppear\n");
    ui.loop.advance(ViewController::modalTransitionDuration);
    EXPECT_EQ(journal.size(), 5u);
    EXPECT_EQ(journal[3], "Home.viewDidDisappear");
    EXPECT_EQ(journal[4], "Login.viewDidAppear");
    EXPECT_EQ(tabs->modalViewController(), login.get());
    EXPECT_EQ(login->presentingViewController(), tabs.get());
    EXPECT_EQ(ui.window->topViewController(), login.get());
    EXPECT_EQ(login->view()->frame(), (Rect { 0, 20, 320, 460 }));

    journal.clear();
    login->dismissModalViewControllerAnimated(true); // the presented screen asks its presenter
    EXPECT_EQ(joined(journal), "Login.viewWillDisappear\nHome.viewWillAppear\n");
    EXPECT_EQ(tabs->modalViewController(), nullptr); // the model is final at once
    ui.loop.advance(ViewController::modalTransitionDuration);
    EXPECT_EQ(
        joined(journal), "Login.viewWillDisappear\nHome.viewWillAppear\nLogin.viewDidDisappear\nHome.viewDidAppear\n");
    EXPECT_EQ(login->view()->window(), nullptr);
}

TEST(ViewController, ATabChosenWhileAModalScreenSlidesAwayAppearsWithTheLayout)
{
    UiFixture ui;
    Journal journal;
    auto a = std::make_shared<JournalingController>("A", journal);
    auto b = std::make_shared<JournalingController>("B", journal);
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ NavigationController::create(a), NavigationController::create(b) });
    ui.window->setRootViewController(tabs);
    auto login = std::make_shared<JournalingController>("Login", journal);
    tabs->presentModalViewController(login, false);
    journal.clear();

    login->dismissModalViewControllerAnimated(true);
    tabs->setSelectedIndex(1); // mid-slide
    EXPECT_EQ(joined(journal),
        "Login.viewWillDisappear\nA.viewWillAppear\nB.viewDidLoad\nA.viewWillDisappear\nA.viewDidDisappear\n"
        "B.viewWillAppear\n");
    journal.clear();
    ui.loop.advance(ViewController::modalTransitionDuration);
    EXPECT_EQ(joined(journal), "Login.viewDidDisappear\nB.viewDidAppear\n");
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(a->isVisible());

    journal.clear();
    tabs->setSelectedIndex(0); // and afterwards tabs switch as usual
    EXPECT_EQ(joined(journal), "B.viewWillDisappear\nA.viewWillAppear\nB.viewDidDisappear\nA.viewDidAppear\n");
}

TEST(ViewController, MemoryWarningsUnloadOnlyViewsOffScreen)
{
    UiFixture ui;
    Journal journal;
    auto root = std::make_shared<JournalingController>("Root", journal);
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    auto detail = std::make_shared<JournalingController>("Detail", journal);
    nav->pushViewController(detail, false);
    journal.clear();
    ui.app.simulateMemoryWarning();
    EXPECT_EQ(journal, (Journal { "Root.viewDidUnload" }));
    EXPECT_FALSE(root->isViewLoaded());
    EXPECT_TRUE(detail->isViewLoaded());
    journal.clear();
    nav->popViewControllerAnimated(false);
    // The view comes back before the screen hears it will appear.
    EXPECT_EQ(joined(journal),
        "Root.viewDidLoad\nDetail.viewWillDisappear\nRoot.viewWillAppear\nDetail.viewDidDisappear\nRoot."
        "viewDidAppear\n");
}

TEST(ViewController, NavigationBarShowsTitlesButtonsAndABackButton)
{
    UiFixture ui;
    Journal journal;
    auto root = std::make_shared<JournalingController>("Root", journal);
    root->setTitle("Devices");
    int edits = 0;
    root->navigationItem().setLeftBarButtonItem(
        BarButtonItem::create("Edit", BarButtonItem::Style::Bordered, [&] { ++edits; }));
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    auto& bar = nav->navigationBar();
    EXPECT_EQ(bar.titleLabel().text(), "Devices");
    ASSERT_NE(bar.leftButton(), nullptr);
    EXPECT_EQ(bar.leftButton()->className(), "UINavigationButton");
    EXPECT_EQ(bar.leftButton()->currentTitle(), "Edit");
    root->navigationItem().leftBarButtonItem()->setTitle("Done");
    EXPECT_EQ(bar.leftButton()->currentTitle(), "Done");

    ui.window->layoutTree();
    Rect left = bar.leftButton()->frame();
    ui.fingers.tap(bar.convertToWindow(left.center()));
    EXPECT_EQ(edits, 1);

    auto detail = std::make_shared<JournalingController>("Detail", journal);
    detail->setTitle("Lamp");
    root->navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    nav->pushViewController(detail, false);
    ASSERT_NE(bar.leftButton(), nullptr);
    EXPECT_TRUE(bar.leftButton()->isBackButton());
    EXPECT_EQ(bar.leftButton()->currentTitle(), "Back");
    ui.window->layoutTree();
    ui.fingers.tap(bar.convertToWindow(bar.leftButton()->frame().center()));
    ui.settle();
    EXPECT_EQ(nav->topViewController(), root.get());
}
