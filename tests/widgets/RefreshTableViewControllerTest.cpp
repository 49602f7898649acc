#include "widgets/BaseTabViewController.h"

#include "platform/ui/Animator.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace hestio;
using namespace platform;

namespace {

struct CountingList : BaseTabViewController {
    int refreshes { 0 };
    bool useBaseRefresh { false };
    void refresh() override
    {
        ++refreshes;
        if (useBaseRefresh)
            BaseTabViewController::refresh();
    }
};

struct RefreshTableViewControllerTest : ::testing::Test {
    test::TestRunLoop loop;
    Application application;
    std::shared_ptr<CountingList> list = std::make_shared<CountingList>();

    RefreshTableViewControllerTest() { list->view(); }

    /// One drag of the list to `y` and its release.
    void pullTo(double y)
    {
        TableView& table = list->tableView();
        list->scrollViewWillBeginDragging(table);
        table.setContentOffset({ 0, y });
        list->scrollViewDidEndDragging(table, true);
    }
    double arrowAngle() const
    {
        AffineTransform t = list->refreshArrow()->transform();
        return std::atan2(t.b, t.a);
    }
};

TEST_F(RefreshTableViewControllerTest, PullPastTheThresholdStartsOneRefresh)
{
    struct Case {
        double y;
        int refreshes;
    };
    for (Case c : { Case { -40, 0 }, Case { -52, 1 }, Case { -60, 1 } }) {
        auto fresh = std::make_shared<CountingList>();
        list = fresh;
        list->view();
        pullTo(c.y);
        EXPECT_EQ(list->refreshes, c.refreshes) << "pulled to " << c.y;
        EXPECT_EQ(list->isLoading(), c.refreshes == 1) << "pulled to " << c.y;
        EXPECT_FALSE(list->isDragging());
        Animator::current().finishAll();
        if (c.refreshes == 0)
            EXPECT_EQ(list->refreshLabel()->text(), "Pull down to refresh...") << "pulled to " << c.y;
        else
            EXPECT_EQ(list->refreshLabel()->text(), "Loading...") << "pulled to " << c.y;
    }
}

TEST_F(RefreshTableViewControllerTest, LabelAndArrowTurnOnlyBeyondTheThreshold)
{
    TableView& table = list->tableView();
    list->scrollViewWillBeginDragging(table);
    table.setContentOffset({ 0, -52 });
    EXPECT_EQ(list->refreshLabel()->text(), "Pull down to refresh...");
    table.setContentOffset({ 0, -53 });
    EXPECT_EQ(list->refreshLabel()->text(), "Release to refresh...");
    EXPECT_NEAR(std::fabs(arrowAngle()), M_PI, 1e-9);
    table.setContentOffset({ 0, -30 });
    EXPECT_EQ(list->refreshLabel()->text(), "Pull down to refresh...");
    EXPECT_NEAR(arrowAngle(), 0, 1e-9);
}

TEST_F(RefreshTableViewControllerTest, WhileLoadingDragsAreIgnoredAndTheInsetFollowsTheOffset)
{
    pullTo(-60);
    Animator::current().finishAll();
    TableView& table = list->tableView();
    EXPECT_EQ(table.contentInset().top, 52);
    EXPECT_TRUE(list->refreshArrow()->isHidden());
    EXPECT_TRUE(list->refreshSpinner()->isAnimating());

    pullTo(-80); // a second pull during loading starts nothing
    EXPECT_EQ(list->refreshes, 1);
    EXPECT_FALSE(list->isDragging());

    table.setContentOffset({ 0, 10 });
    EXPECT_EQ(table.contentInset().top, 0);
    table.setContentOffset({ 0, -30 });
    EXPECT_EQ(table.contentInset().top, 30);
    table.setContentOffset({ 0, -70 });
    EXPECT_EQ(table.contentInset().top, 30);
}

TEST_F(RefreshTableViewControllerTest, BaseRefreshReturnsToIdleAfterTwoSecondsAndTheAnimation)
{
    EXPECT_EQ(list->timestamp()->text(), "");
    list->useBaseRefresh = true;
    pullTo(-60);
    loop.advance(1.9);
    EXPECT_TRUE(list->isLoading());
    loop.advance(0.2);
    EXPECT_FALSE(list->isLoading());
    EXPECT_EQ(list->refreshLabel()->text(), "Loading...");
    loop.advance(0.31);
    EXPECT_EQ(list->refreshLabel()->text(), "Pull down to refresh...");
    EXPECT_FALSE(list->refreshArrow()->isHidden());
    EXPECT_FALSE(list->refreshSpinner()->isAnimating());
    EXPECT_EQ(list->tableView().contentInset().top, 0);
    EXPECT_EQ(list->timestamp()->text(), "Last updated: 12-06-12 12:00 AM");
}

TEST_F(RefreshTableViewControllerTest, AFailedLoadEndsLikeAnyOtherButKeepsTheLastUpdatedTime)
{
    pullTo(-60);
    list->stopLoading();
    loop.advance(0.31);
    const std::string shown = "Last updated: 12-06-12 12:00 AM";
    EXPECT_EQ(list->timestamp()->text(), shown);

    loop.advance(3600);
    pullTo(-60);
    ASSERT_TRUE(list->isLoading());
    list->stopLoadingAfterFailure();
    EXPECT_FALSE(list->isLoading());
    loop.advance(0.31);
    EXPECT_EQ(list->refreshLabel()->text(), "Pull down to refresh...");
    EXPECT_FALSE(list->refreshSpinner()->isAnimating());
    EXPECT_EQ(list->tableView().contentInset().top, 0);
    EXPECT_EQ(list->timestamp()->text(), shown) << "still the time of the load that succeeded";
}

TEST_F(RefreshTableViewControllerTest, TheHeaderScrollsAwayWhenLoadingEndsUnlessTheListWasScrolledDown)
{
    for (double scrolledTo : { -52.0, -30.0, 0.0, 120.0 }) {
        list = std::make_shared<CountingList>();
        list->view();
        list->useBaseRefresh = true;
        pullTo(-60);
        TableView& table = list->tableView();
        table.setContentOffset({ 0, scrolledTo }); // where the list rests while loading
        loop.advance(2.5);
        EXPECT_FALSE(list->isLoading()) << "resting at " << scrolledTo;
        EXPECT_EQ(table.contentInset().top, 0) << "resting at " << scrolledTo;
        EXPECT_EQ(table.contentOffset().y, std::max(scrolledTo, 0.0)) << "resting at " << scrolledTo;
    }
}

TEST_F(RefreshTableViewControllerTest, HeaderFramesFollowTheOrientation)
{
    auto check = [&](InterfaceOrientation orientation, double width) {
        list->willAnimateRotationToInterfaceOrientation(orientation, 0.3);
        EXPECT_EQ(list->refreshHeaderView()->frame(), Rect(0, -52, width, 52)) << static_cast<int>(orientation);
        EXPECT_EQ(list->refreshLabel()->frame(), Rect(0, 0, width, 26)) << static_cast<int>(orientation);
        EXPECT_EQ(list->timestamp()->frame(), Rect(0, 26, width, 26)) << static_cast<int>(orientation);
        EXPECT_EQ(list->refreshArrow()->frame(), Rect(12, 4, 27, 44)) << static_cast<int>(orientation);
        EXPECT_EQ(list->refreshSpinner()->frame(), Rect(16, 16, 20, 20)) << static_cast<int>(orientation);
    };
    check(InterfaceOrientation::Portrait, 320);
    check(InterfaceOrientation::LandscapeLeft, 480);
    check(InterfaceOrientation::PortraitUpsideDown, 480);
    check(InterfaceOrientation::Portrait, 320);
}

TEST_F(RefreshTableViewControllerTest, LastRefreshedDateIsSetByItsFirstReadingOnly)
{
    Date first = list->lastRefreshedDate();
    EXPECT_EQ(first, loop.now());
    EXPECT_EQ(list->timestamp()->text(), "") << "nothing has been downloaded yet";
    loop.advance(300);
    EXPECT_EQ(list->lastRefreshedDate(), first);
    EXPECT_FALSE(list->lastRefreshIsStale()); // exactly five minutes
    loop.advance(1);
    EXPECT_TRUE(list->lastRefreshIsStale());
    list->clearLastRefreshedDate();
    EXPECT_EQ(list->lastRefreshedDate(), loop.now());
}

}
