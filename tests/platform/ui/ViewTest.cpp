#include "UiTestSupport.h"

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace hestio::platform;
using hestio::test::UiFixture;

TEST(View, SubviewsKeepTheirOrderAndLoseTheirSuperviewWhenRemoved)
{
    auto parent = View::create({ 0, 0, 100, 100 });
    auto a = View::create(), b = View::create(), c = View::create();
    parent->addSubview(a);
    parent->addSubview(b);
    parent->insertSubviewBelow(c, *b);
    ASSERT_EQ(parent->subviews().size(), 3u);
    EXPECT_EQ(parent->subviews()[0], a);
    EXPECT_EQ(parent->subviews()[1], c);
    EXPECT_EQ(parent->subviews()[2], b);
    parent->addSubview(a); // moving to the front
    EXPECT_EQ(parent->subviews().back(), a);
    c->removeFromSuperview();
    EXPECT_EQ(c->superview(), nullptr);
    EXPECT_EQ(parent->subviews().size(), 2u);
    auto other = View::create();
    other->addSubview(b); // a view has one superview
    EXPECT_EQ(b->superview(), other.get());
    EXPECT_EQ(parent->subviews().size(), 1u);
}

TEST(View, HitTestingFindsTheDeepestInteractiveVisibleView)
{
    auto root = View::create({ 0, 0, 320, 480 });
    auto panel = View::create({ 10, 10, 200, 200 });
    auto button = Button::create(Button::Type::RoundedRect, { 20, 20, 100, 40 });
    auto label = Label::create({ 20, 100, 100, 40 });
    root->addSubview(panel);
    panel->addSubview(button);
    panel->addSubview(label);

    struct Case {
        Point point;
        View* expected;
    };
    const Case cases[] = {
        { { 31, 31 }, button.get() }, // inside the button (panel offset 10)
        { { 129, 69 }, button.get() }, // last point inside
        { { 130, 70 }, panel.get() }, // far edges are outside
        { { 50, 130 }, panel.get() }, // labels do not take touches
        { { 300, 400 }, root.get() },
        { { -1, 5 }, nullptr },
    };
    for (const auto& c : cases) {
        auto hit = root->hitTest(c.point);
        EXPECT_EQ(hit.get(), c.expected) << "at " << c.point.x << "," << c.point.y << "\n" << root->dumpTree();
    }
    button->setHidden(true);
    EXPECT_EQ(root->hitTest({ 31, 31 }).get(), panel.get());
    panel->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({ 31, 31 }).get(), root.get());
}

TEST(View, CoordinatesFollowFramesBoundsOriginsAndRotations)
{
    UiFixture ui;
    auto outer = View::create({ 50, 100, 200, 200 });
    auto inner = View::create({ 10, 20, 40, 40 });
    ui.window->addSubview(outer);
    outer->addSubview(inner);
    EXPECT_EQ(inner->convertToWindow({ 1, 2 }), (Point { 61, 122 }));
    EXPECT_EQ(inner->convertFromWindow({ 61, 122 }), (Point { 1, 2 }));
    outer->setBoundsOrigin({ 0, 30 }); // scrolled by 30
    EXPECT_EQ(inner->convertToWindow({ 1, 2 }), (Point { 61, 92 }));
    inner->setTransform(AffineTransform::rotation(std::numbers::pi));
    Point p = inner->convertToWindow({ 0, 0 }); // the top-left corner turns to the bottom-right
    EXPECT_NEAR(p.x, 100, 1e-9);
    EXPECT_NEAR(p.y, 130, 1e-9);
    EXPECT_EQ(ui.window->hitTest({ 99, 129 }).get(), inner.get());
}

TEST(View, FlexibleWidthFollowsTheSuperview)
{
    auto parent = View::create({ 0, 0, 320, 100 });
    auto bar = View::create({ 10, 0, 300, 44 });
    bar->setAutoresizingMask(AutoresizingFlexibleWidth);
    auto pinnedRight = View::create({ 280, 0, 30, 30 });
    pinnedRight->setAutoresizingMask(AutoresizingFlexibleLeftMargin);
    auto fixed = View::create({ 5, 5, 10, 10 });
    parent->addSubview(bar);
    parent->addSubview(pinnedRight);
    parent->addSubview(fixed);
    parent->setFrame({ 0, 0, 480, 100 });
    EXPECT_EQ(bar->frame(), (Rect { 10, 0, 460, 44 }));
    EXPECT_EQ(pinnedRight->frame(), (Rect { 440, 0, 30, 30 }));
    EXPECT_EQ(fixed->frame(), (Rect { 5, 5, 10, 10 }));
}

TEST(View, FindsViewsByIdentifierTextAndTag)
{
    auto root = View::create({ 0, 0, 320, 480 });
    auto label = Label::create({ 0, 0, 100, 20 });
    label->setText("Power Draw");
    label->setAccessibilityIdentifier("#powerLabel");
    auto button = Button::create();
    button->setTitle("Log In");
    button->setTag(7);
    auto hidden = Label::create();
    hidden->setText("Secret");
    hidden->setHidden(true);
    root->addSubview(label);
    root->addSubview(button);
    root->addSubview(hidden);
    EXPECT_EQ(root->findByAccessibilityIdentifier("#powerLabel"), label.get());
    EXPECT_EQ(root->findByText("Power Draw"), label.get());
    EXPECT_EQ(root->findByText("Log In"), button.get());
    EXPECT_EQ(root->findByText("Secret"), nullptr);
    EXPECT_EQ(root->viewWithTag(7), button.get());
    EXPECT_EQ(root->viewWithTag(99), nullptr);
}

TEST(View, DumpsTheTreeOneViewALine)
{
    auto root = View::create({ 0, 0, 320, 480 });
    auto label = Label::create({ 10, 20, 100, 21 });
    label->setText("Hello");
    label->setAccessibilityIdentifier("greeting");
    auto box = View::create({ 0, 0, 5, 5 });
    box->setHidden(true);
    box->setTag(3);
    root->addSubview(label);
    root->addSubview(box);
    EXPECT_EQ(root->dumpTree(),
        "View (0,0,320,480)\n"
        "  Label #greeting (10,20,100,21) \"Hello\"\n"
        "  View (0,0,5,5) tag=3 hidden\n");
}

TEST(View, SettersMarkTheWindowForDisplayAndDrawingClearsIt)
{
    UiFixture ui;
    auto label = Label::create({ 0, 40, 100, 20 });
    ui.window->addSubview(label);
    auto image = ui.window->snapshot(1.0);
    ASSERT_TRUE(image);
    EXPECT_FALSE(ui.window->windowNeedsDisplay());
    label->setText("Hello");
    EXPECT_TRUE(ui.window->windowNeedsDisplay());
    EXPECT_TRUE(ui.app.needsDisplay());
    ui.window->snapshot(1.0);
    label->setText("Hello"); // unchanged: nothing to draw
    EXPECT_FALSE(ui.window->windowNeedsDisplay());
}
