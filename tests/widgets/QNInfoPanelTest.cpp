#include "widgets/QNInfoPanel.h"

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace hestio::platform;

namespace {

struct QNInfoPanelTest : ::testing::Test {
    test::TestRunLoop loop;
    Application application;
    std::shared_ptr<View> host = View::create({ 0, 0, 320, 460 });
};

}

TEST_F(QNInfoPanelTest, PanelWithoutSubtitleHasTheFixedLayout)
{
    auto panel = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Information, "Saved", std::nullopt);
    EXPECT_EQ(panel->frame(), (Rect { 0, 0, 320, 50 }));
    EXPECT_EQ(panel->thumbImage().frame(), (Rect { 15, 5, 35, 35 }));
    EXPECT_EQ(panel->titleLabel().frame(), (Rect { 57, 12, 240, 21 }));
    EXPECT_TRUE(panel->detailLabel().isHidden());
    EXPECT_EQ(panel->titleLabel().text(), "Saved");
    EXPECT_EQ(panel->superview(), host.get());
    ASSERT_TRUE(panel->layer().lastTransition());
    const Transition& entry = *panel->layer().lastTransition();
    EXPECT_EQ(entry.type, Transition::Type::Push);
    EXPECT_EQ(entry.subtype, Transition::Subtype::FromBottom);
    EXPECT_EQ(entry.duration, 0.25);
}

TEST_F(QNInfoPanelTest, ErrorPanelLookAndHeightFromItsSubtitle)
{
    auto panel = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Error, "Network Failure!",
        "Problem connecting to the network. Check your internet connection and try again later!", 3.0);
    EXPECT_EQ(panel->detailLabel().font().family, "Helvetica Neue");
    EXPECT_EQ(panel->detailLabel().font().size, 14);
    EXPECT_EQ(panel->detailLabel().textColor(), (Color::rgb(1.0, 0.651, 0.651)));
    EXPECT_EQ(panel->titleLabel().font(), Font::boldSystemFont(14));
    double expected = std::max(panel->thumbImage().frame().maxY(), panel->detailLabel().frame().maxY()) + 10;
    EXPECT_EQ(panel->frame().height(), expected);
    EXPECT_GT(panel->detailLabel().frame().height(), 21) << "a long subtitle wraps onto more lines";
}

TEST_F(QNInfoPanelTest, HidesAfterItsIntervalOrAtOnceWhenTouched)
{
    auto panel = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Error, "A", std::nullopt, 3.0);
    loop.advance(2.99);
    EXPECT_EQ(panel->frame().y(), 0);
    loop.advance(0.01);
    EXPECT_EQ(panel->frame(), (Rect { 0, -50, 320, 50 }));
    EXPECT_EQ(panel->superview(), host.get());
    loop.advance(0.25);
    EXPECT_FALSE(panel->superview());

    auto touched = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Error, "B", std::nullopt, 3.0);
    loop.advance(1);
    touched->touchesBegan({}, {});
    EXPECT_EQ(touched->frame().y(), -50);
    double hidingBegan = touched->layer().lastTransition()->beginTime;
    loop.advance(5);
    EXPECT_FALSE(touched->superview());
    EXPECT_EQ(touched->layer().lastTransition()->beginTime, hidingBegan) << "the 3-second timer no longer acts";

    for (double never : { 0.0, -1.0 }) {
        auto kept = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Information, "C", std::nullopt, never);
        loop.advance(60);
        EXPECT_EQ(kept->superview(), host.get()) << never;
        kept->removeFromSuperview();
    }
}

TEST_F(QNInfoPanelTest, InAWindowItSitsBelowTheStatusBar)
{
    auto window = Window::create();
    auto shown = QNInfoPanel::showPanelInWindow(*window, QNInfoPanel::Error, "A", std::nullopt);
    EXPECT_EQ(shown->frame().y(), 20);
    application.setStatusBarHidden(true);
    auto hiddenBar = QNInfoPanel::showPanelInWindow(*window, QNInfoPanel::Error, "B", std::nullopt);
    EXPECT_EQ(hiddenBar->frame().y(), 0);
}

TEST_F(QNInfoPanelTest, TellsItsOwnerWhenDestroyed)
{
    bool finished = false;
    {
        auto panel = QNInfoPanel::showPanelInView(*host, QNInfoPanel::Information, "A", std::nullopt, 1);
        panel->onFinished = [&] { finished = true; };
    }
    EXPECT_FALSE(finished) << "the superview owns it while shown";
    loop.advance(1.25);
    EXPECT_TRUE(finished);
}
