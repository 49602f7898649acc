#include "UiTestSupport.h"

#include "platform/ui/Accessible.h"
#include "platform/ui/Button.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio::platform;
using hestio::test::UiFixture;

TEST(TapGestureRecognizer, ADoubleTapNeedsTwoQuickNearbyTaps)
{
    UiFixture ui;
    auto bar = View::create({ 0, 20, 320, 44 });
    ui.window->addSubview(bar);
    int doubles = 0;
    auto recognizer = TapGestureRecognizer::create(
        [&](GestureRecognizer& r) {
            if (r.state() == GestureRecognizer::Recognized)
                ++doubles;
        },
        2);
    bar->addGestureRecognizer(recognizer);
    ui.fingers.tap({ 160, 40 });
    EXPECT_EQ(doubles, 0);
    ui.loop.advance(1.0);
    ui.fingers.tap({ 160, 40 }, 2);
    EXPECT_EQ(doubles, 1);
    ui.fingers.tap({ 160, 40 });
    ui.loop.advance(1.0); // too slow for a double tap
    ui.fingers.tap({ 160, 40 });
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(recognizer->recognitionCount(), 1);
}

TEST(TapGestureRecognizer, TheSecondTapIsNotDeliveredToTheButtonUnderneath)
{
    UiFixture ui;
    auto bar = View::create({ 0, 20, 320, 44 });
    auto button = Button::create(Button::Type::Custom, { 5, 7, 60, 30 });
    bar->addSubview(button);
    ui.window->addSubview(bar);
    int taps = 0, doubles = 0;
    button->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    bar->addGestureRecognizer(TapGestureRecognizer::create([&](GestureRecognizer&) { ++doubles; }, 2));
    ui.fingers.tap({ 30, 40 }, 2);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(taps, 1);
}

TEST(TapGestureRecognizer, PressesThroughTheAccessibilityBusAreNeverAMultipleTap)
{
    UiFixture ui;
    auto bar = View::create({ 0, 20, 320, 44 });
    auto button = Button::create(Button::Type::Custom, { 280, 7, 40, 30 });
    bar->addSubview(button);
    ui.window->addSubview(bar);
    int taps = 0, doubles = 0;
    button->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    bar->addGestureRecognizer(TapGestureRecognizer::create([&](GestureRecognizer&) { ++doubles; }, 2));
    const Point spot { 300, 42 };

    // "+" then "Save" at the same spot, 0.1 s apart: two presses.
    EXPECT_TRUE(performAccessibleAction(ui.app, { button.get() }));
    ui.loop.advance(0.1);
    EXPECT_TRUE(performAccessibleAction(ui.app, { button.get() }));
    EXPECT_EQ(taps, 2);
    EXPECT_EQ(doubles, 0);
    // Nor does a press count with a finger's tap, before or after it.
    ui.loop.advance(0.1);
    ui.fingers.tap(spot);
    EXPECT_TRUE(performAccessibleAction(ui.app, { button.get() }));
    ui.loop.advance(0.1);
    ui.fingers.tap(spot);
    EXPECT_EQ(doubles, 0);

    // Two taps of a finger 0.1 s apart still are a double tap.
    ui.settle();
    ui.fingers.tap(spot);
    ui.loop.advance(0.1);
    ui.fingers.tap(spot);
    EXPECT_EQ(doubles, 1);
    // And the press of the bar itself taps twice, as its double tap wants.
    ui.settle();
    EXPECT_TRUE(performAccessibleAction(ui.app, { bar.get() }));
    EXPECT_EQ(doubles, 2);
}

TEST(SwipeGestureRecognizer, RecognisesOnlyItsDirections)
{
    UiFixture ui;
    auto graph = View::create({ 0, 20, 320, 400 });
    ui.window->addSubview(graph);
    std::vector<std::string> moves;
    auto right = SwipeGestureRecognizer::create(
        SwipeGestureRecognizer::Right, [&](GestureRecognizer&) { moves.push_back("back"); });
    auto left = SwipeGestureRecognizer::create(
        SwipeGestureRecognizer::Left, [&](GestureRecognizer&) { moves.push_back("forward"); });
    graph->addGestureRecognizer(right);
    graph->addGestureRecognizer(left);
    ui.fingers.swipe({ 100, 200 }, 1, 0);
    ui.fingers.swipe({ 250, 200 }, -1, 0);
    ui.fingers.swipe({ 160, 100 }, 0, 1); // vertical: neither
    ui.fingers.drag({ 100, 200 }, { 130, 200 }, 3, 0.1); // too short
    ui.fingers.drag({ 100, 200 }, { 170, 270 }, 4, 0.1); // too slanted
    EXPECT_EQ(moves, (std::vector<std::string> { "back", "forward" }));
}

TEST(GestureRecognizer, AttachingAndDetachingIsCountedPerView)
{
    auto hosting = View::create({ 0, 0, 320, 400 });
    auto pinch = PinchGestureRecognizer::create();
    auto left = SwipeGestureRecognizer::create(SwipeGestureRecognizer::Left);
    hosting->addGestureRecognizer(pinch);
    EXPECT_EQ(hosting->gestureRecognizers().size(), 1u);
    hosting->addGestureRecognizer(left);
    hosting->addGestureRecognizer(left); // twice is once
    EXPECT_EQ(hosting->gestureRecognizers().size(), 2u);
    EXPECT_EQ(left->view(), hosting.get());
    hosting->removeGestureRecognizer(*left);
    EXPECT_EQ(hosting->gestureRecognizers().size(), 1u);
    EXPECT_EQ(left->view(), nullptr);
    auto other = View::create();
    other->addGestureRecognizer(pinch); // moving it detaches it from the first view
    EXPECT_TRUE(hosting->gestureRecognizers().empty());
}

TEST(GestureRecognizer, OneDetachedWhileItsTouchGoesOnRecognisesAgainOnceReattached)
{
    // A graph that stops paging while it loads: its swipes detach themselves
    // as they are recognised, half-way through the stroke, and come back later.
    UiFixture ui;
    auto graph = View::create({ 0, 20, 320, 400 });
    ui.window->addSubview(graph);
    int backs = 0;
    std::shared_ptr<SwipeGestureRecognizer> right;
    right = SwipeGestureRecognizer::create(SwipeGestureRecognizer::Right, [&](GestureRecognizer& r) {
        if (r.state() != GestureRecognizer::Recognized)
            return;
        ++backs;
        graph->removeGestureRecognizer(*right);
    });
    graph->addGestureRecognizer(right);
    for (int stroke = 1; stroke <= 3; ++stroke) {
        ui.fingers.drag({ 60, 200 }, { 260, 200 }, 10, 0.15);
        EXPECT_EQ(backs, stroke);
        EXPECT_EQ(right->view(), nullptr);
        EXPECT_EQ(right->state(), GestureRecognizer::State::Possible) << "after stroke " << stroke;
        graph->addGestureRecognizer(right);
    }
}

TEST(PinchGestureRecognizer, ReportsTheScaleWhichTheReceiverMayReset)
{
    UiFixture ui;
    auto hosting = View::create({ 0, 20, 320, 400 });
    ui.window->addSubview(hosting);
    std::vector<double> applied;
    Point location;
    auto pinch = PinchGestureRecognizer::create([&](GestureRecognizer& r) {
        auto& p = static_cast<PinchGestureRecognizer&>(r);
        if (p.state() == GestureRecognizer::State::Began || p.state() == GestureRecognizer::State::Changed) {
            applied.push_back(p.scale());
            location = p.locationInView(hosting.get());
            p.setScale(1);
        }
    });
    hosting->addGestureRecognizer(pinch);
    ui.fingers.pinch({ 160, 220 }, 100, 200, 4);
    ASSERT_EQ(applied.size(), 4u);
    double total = 1;
    for (double s : applied)
        total *= s;
    EXPECT_NEAR(total, 2.0, 1e-9);
    EXPECT_EQ(location, (Point { 160, 200 }));
    EXPECT_EQ(pinch->recognitionCount(), 1);
}
