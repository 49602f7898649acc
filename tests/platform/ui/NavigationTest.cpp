#include "UiTestSupport.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

/// A bar that takes its tint each time before it draws, as an app's own bar class may.
class GreenBar : public NavigationBar {
public:
    int draws = 0;

protected:
    void draw(Context& context, const Rect& rect) override
    {
        ++draws;
        setTintColor(Color::rgb(0.098, 0.6, 0.25));
        NavigationBar::draw(context, rect);
    }
};

std::shared_ptr<ViewController> screen(const std::string& title)
{
    auto c = std::make_shared<ViewController>();
    c->setTitle(title);
    return c;
}

}

TEST(NavigationController, PoppingToTheRootReleasesEveryScreenAbove)
{
    UiFixture ui;
    auto root = screen("Home");
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    auto account = screen("Account");
    auto other = screen("demo2");
    nav->pushViewController(account, false);
    nav->pushViewController(other, false);
    nav->pushViewController(other, false); // already on the stack
    EXPECT_EQ(nav->viewControllers().size(), 3u);
    auto popped = nav->popToRootViewControllerAnimated(true);
    EXPECT_EQ(popped.size(), 2u);
    EXPECT_EQ(nav->topViewController(), root.get());
    EXPECT_EQ(nav->navigationBar().items().size(), 1u);
    ui.settle();
    EXPECT_EQ(account->navigationController(), nullptr);
    EXPECT_EQ(other->view()->window(), nullptr);
    EXPECT_EQ(root->view()->window(), ui.window.get());
}

TEST(NavigationController, TheBackButtonShowsThePreviousTitleOrBack)
{
    UiFixture ui;
    auto root = screen("Devices");
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    nav->pushViewController(screen("Lamp"), false);
    EXPECT_EQ(nav->navigationBar().leftButton()->currentTitle(), "Devices");
    auto untitled = std::make_shared<ViewController>();
    nav->setViewControllers({ untitled, screen("Detail") });
    EXPECT_EQ(nav->navigationBar().leftButton()->currentTitle(), "Back");
    nav->topViewController()->navigationItem().setHidesBackButton(true);
    EXPECT_EQ(nav->navigationBar().leftButton(), nullptr);
}

TEST(NavigationController, ScreensFindTheBarButtonsByClassAndTintThem)
{
    UiFixture ui;
    auto root = screen("Devices");
    auto edit = BarButtonItem::create("Edit", BarButtonItem::Style::Bordered);
    root->navigationItem().setLeftBarButtonItem(edit);
    root->navigationItem().setRightBarButtonItem(BarButtonItem::createSystem(BarButtonItem::SystemItem::Add));
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    auto buttons = nav->navigationBar().findAll([](const View& v) { return v.className() == "UINavigationButton"; });
    ASSERT_EQ(buttons.size(), 2u);
    Color done = Color::rgb(0.082, 0.45, 0.197);
    for (auto* b : buttons)
        static_cast<Button*>(b)->setTintColor(done);
    edit->setTintColor(done);
    EXPECT_EQ(edit->tintColor(), done);
    EXPECT_EQ(nav->navigationBar().rightButton()->currentTitle(), "+");
    EXPECT_EQ(nav->navigationBar().leftButton()->tintColor(), done);
}

TEST(NavigationController, AnAppsBarClassSetsItsTintBeforeDrawing)
{
    UiFixture ui;
    auto bar = std::make_shared<GreenBar>();
    auto nav = NavigationController::create(screen("Devices"), bar);
    ui.window->setRootViewController(nav);
    auto shot = ui.window->snapshot(1.0);
    EXPECT_GE(bar->draws, 1);
    EXPECT_EQ(bar->tintColor(), Color::rgb(0.098, 0.6, 0.25));
    Color pixel = shot->pixelAt(80, 20 + 40);
    EXPECT_GT(pixel.green, pixel.red + 0.2) << "a green bar";
}

TEST(TabBarController, TabsShowTheRootScreensTitleImageAndBadges)
{
    UiFixture ui;
    auto advice = screen("Suggestions");
    advice->tabBarItem().setImageNamed("adviceTabIcon");
    auto nav = NavigationController::create(advice);
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ nav, NavigationController::create(screen("Home")) });
    ui.window->setRootViewController(tabs);
    const auto& shown = tabs->tabBar().tabs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Suggestions");
    EXPECT_NE(shown[0].image, nullptr);
    EXPECT_FALSE(shown[0].badge);
    nav->tabBarItem().setBadgeValue("6");
    EXPECT_EQ(tabs->tabBar().tabs()[0].badge, std::optional<std::string>("6"));
    nav->tabBarItem().setBadgeValue(std::nullopt);
    EXPECT_FALSE(tabs->tabBar().tabs()[0].badge);
    advice->setTitle("Advice");
    EXPECT_EQ(tabs->tabBar().tabs()[0].title, "Advice");
}

TEST(TabBarController, TappingTabsSelectsThemAndASecondTapReturnsToTheRoot)
{
    UiFixture ui;
    auto schedule = screen("Schedule");
    auto nav = NavigationController::create(schedule);
    auto tabs = TabBarController::create();
    tabs->setViewControllers({ NavigationController::create(screen("Home")), nav });
    std::vector<ViewController*> selected;
    tabs->setDidSelectAction([&](ViewController& c) { selected.push_back(&c); });
    ui.window->setRootViewController(tabs);
    ui.window->layoutTree();
    auto tabCenter = [&](int i) { return tabs->tabBar().convertToWindow(tabs->tabBar().rectForTab(i).center()); };
    ui.fingers.tap(tabCenter(1));
    EXPECT_EQ(tabs->selectedIndex(), 1);
    EXPECT_EQ(selected, (std::vector<ViewController*> { nav.get() }));
    nav->pushViewController(screen("Movements"), false);
    ui.fingers.tap(tabCenter(1));
    ui.settle();
    EXPECT_EQ(nav->topViewController(), schedule.get());
    EXPECT_EQ(selected.size(), 1u);
}

TEST(NavigationBar, ALongTitleUsesTheRoomBetweenTheButtonsAndShrinksBeforeItIsCut)
{
    UiFixture ui;
    auto root = screen("Devices");
    auto nav = NavigationController::create(root);
    ui.window->setRootViewController(nav);
    NavigationBar& bar = nav->navigationBar();
    Label& title = bar.titleLabel();

    // A short title stays centred on the bar at full size.
    nav->pushViewController(screen("Lamp"), false);
    bar.layoutSubviews();
    EXPECT_DOUBLE_EQ(title.font().size, 20);
    EXPECT_NEAR(title.frame().midX(), bar.bounds().midX(), 0.5);

    // A long one beside a back button: off centre, smaller, never over the button.
    nav->popViewControllerAnimated(false);
    nav->pushViewController(screen("Home Energy Consumption"), false);
    bar.layoutSubviews();
    double left = bar.leftButton()->frame().maxX();
    EXPECT_GE(title.frame().minX(), left);
    EXPECT_LE(title.frame().maxX(), bar.bounds().width() - 5);
    EXPECT_LT(title.font().size, 20);
    EXPECT_GE(title.font().size, 15);
    EXPECT_LE(sizeOfText(title.text(), title.font()).width, title.frame().width() + 0.01);

    // Back to a short title: full size and centred again.
    nav->popViewControllerAnimated(false);
    nav->pushViewController(screen("Fan"), false);
    bar.layoutSubviews();
    EXPECT_DOUBLE_EQ(title.font().size, 20);
    EXPECT_NEAR(title.frame().midX(), bar.bounds().midX(), 0.5);
}
