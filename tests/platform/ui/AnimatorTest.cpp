#include "UiTestSupport.h"
#include "support/UiObservers.h"

#include "platform/gfx/Image.h"
#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace hestio::platform;
using hestio::test::UiFixture;

TEST(Animator, TheModelIsFinalAtOnceAndTheDrawingCatchesUp)
{
    UiFixture ui;
    auto view = View::create({ 0, 100, 100, 40 });
    ui.window->addSubview(view);
    bool finished = false;
    AnimationOptions options;
    options.duration = 0.25;
    options.curve = AnimationCurve::Linear;
    Animator::animate(
        options,
        [&] {
            view->setFrame({ 0, 10, 100, 40 });
            view->setAlpha(0.5);
        },
        [&](bool done) { finished = done; });
    EXPECT_EQ(view->frame().y(), 10);
    EXPECT_EQ(view->alpha(), 0.5);
    EXPECT_EQ(view->presentationFrame().y(), 100);
    ui.loop.advance(0.125);
    EXPECT_NEAR(view->presentationFrame().y(), 55, 1e-9);
    EXPECT_NEAR(view->presentationAlpha(), 0.75, 1e-9);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(ui.app.needsDisplay());
    ui.loop.advance(0.125);
    EXPECT_TRUE(finished);
    EXPECT_EQ(view->presentationFrame(), (Rect { 0, 10, 100, 40 }));
    EXPECT_EQ(view->presentationAlpha(), 0.5);
    EXPECT_FALSE(ui.app.animator().hasRunningAnimations());
}

TEST(Animator, AnObserverIsToldOfEachAnimationWithDurationAndDelay)
{
    UiFixture ui;
    auto field = View::create({ 20, 200, 280, 31 });
    ui.window->addSubview(field);
    auto& animator = ui.app.animator();
    std::vector<AnimationLogEntry> told;
    animator.setCommitObserver([&](const AnimationLogEntry& entry) { told.push_back(entry); });
    animator.beginAnimations("Move Up");
    animator.setAnimationDuration(0.25);
    field->setFrame(field->frame().offsetBy(0, -90));
    animator.commitAnimations();
    animator.beginAnimations("Light bulb");
    animator.setAnimationDelay(0.5);
    animator.setAnimationBeginsFromCurrentState(true);
    animator.commitAnimations();
    Animator::animate(0.3, [] {});
    EXPECT_EQ(told,
        (std::vector<AnimationLogEntry> {
            { "Move Up", 0.25, 0 }, { "Light bulb", Animator::defaultDuration, 0.5 }, { "", 0.3, 0 } }));
    EXPECT_EQ(field->frame().y(), 110);

    // The tests' log passes reports on to the observer it replaced, and puts
    // it back when it goes.
    {
        hestio::test::AnimationLog outer;
        {
            hestio::test::AnimationLog inner;
            Animator::animate(0.1, [] {});
            EXPECT_EQ(inner.entries(), (std::vector<AnimationLogEntry> { { "", 0.1, 0 } }));
        }
        Animator::animate(0.2, [] {});
        EXPECT_EQ(outer.entries(), (std::vector<AnimationLogEntry> { { "", 0.1, 0 }, { "", 0.2, 0 } }));
    }
    EXPECT_EQ(told.size(), 5u) << "the replaced observer heard them too";
    Animator::animate(0.3, [] {});
    EXPECT_EQ(told.size(), 6u) << "and is back";
    animator.setCommitObserver(nullptr);
    Animator::animate(0.4, [] {});
    EXPECT_EQ(told.size(), 6u) << "none is told once it is taken off";
}

TEST(Animator, ADelayedAnimationHoldsItsStartValueUntilItBegins)
{
    UiFixture ui;
    auto view = View::create({ 0, 0, 10, 10 });
    ui.window->addSubview(view);
    int stops = 0;
    auto& animator = ui.app.animator();
    animator.beginAnimations("anim");
    animator.setAnimationDelay(0.5);
    animator.setAnimationDuration(0.2);
    animator.setAnimationDidStop([&](bool) { ++stops; });
    view->setAlpha(0);
    animator.commitAnimations();
    ui.loop.advance(0.4);
    EXPECT_EQ(view->presentationAlpha(), 1);
    ui.loop.advance(0.2);
    EXPECT_EQ(stops, 0);
    EXPECT_LT(view->presentationAlpha(), 1);
    ui.loop.advance(0.1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(view->presentationAlpha(), 0);
}

TEST(Animator, BeginningFromTheCurrentStateContinuesFromWhatIsDrawn)
{
    UiFixture ui;
    auto view = View::create({ 0, 0, 10, 10 });
    ui.window->addSubview(view);
    AnimationOptions linear { 1.0, 0, AnimationCurve::Linear, false };
    bool firstFinished = true;
    Animator::animate(
        linear,
        [&] {
            view->setFrame({ 100, 0, 10, 10 });
        },
        [&](bool done) { firstFinished = done; });
    ui.loop.advance(0.5);
    AnimationOptions fromHere { 1.0, 0, AnimationCurve::Linear, true };
    Animator::animate(fromHere, [&] { view->setFrame({ 0, 0, 10, 10 }); });
    EXPECT_NEAR(view->presentationFrame().x(), 50, 1e-9);
    ui.loop.advance(0.5);
    EXPECT_NEAR(view->presentationFrame().x(), 25, 1e-9);
    EXPECT_FALSE(firstFinished) << "the interrupted animation reports it did not finish";
    ui.loop.advance(0.5);
    EXPECT_EQ(view->presentationFrame().x(), 0);
}

TEST(Animator, RotationsTurnTheShortWayAndEndExactly)
{
    UiFixture ui;
    auto arrow = View::create({ 12, 4, 27, 44 });
    ui.window->addSubview(arrow);
    Animator::animate(0.2, [&] { arrow->setTransform(AffineTransform::rotation(std::numbers::pi)); });
    ui.loop.advance(0.1);
    AffineTransform mid = arrow->presentationTransform();
    EXPECT_NEAR(std::atan2(mid.b, mid.a), std::numbers::pi / 2, 1e-9);
    ui.loop.advance(0.1);
    EXPECT_EQ(arrow->presentationTransform(), AffineTransform::rotation(std::numbers::pi));
}

TEST(Animator, ScrollInsetsAnimateToo)
{
    UiFixture ui;
    auto scroll = ScrollView::create({ 0, 0, 320, 400 });
    ui.window->addSubview(scroll);
    Animator::animate({ 0.3, 0, AnimationCurve::Linear, false }, [&] { scroll->setContentInset({ 52, 0, 0, 0 }); });
    EXPECT_EQ(scroll->contentInset().top, 52);
    ui.loop.advance(0.15);
    EXPECT_NEAR(scroll->presentationContentInset().top, 26, 1e-9);
    ui.loop.advance(0.15);
    EXPECT_EQ(scroll->presentationContentInset().top, 52);
}

TEST(Animator, AScreenshotMidwayShowsTheInBetweenState)
{
    UiFixture ui;
    auto block = View::create({ 0, 100, 20, 20 });
    block->setBackgroundColor(Color::rgb(1, 0, 0));
    ui.window->setBackgroundColor(Color::whiteColor());
    ui.window->addSubview(block);
    Animator::animate({ 1.0, 0, AnimationCurve::Linear, false }, [&] { block->setFrame({ 200, 100, 20, 20 }); });
    ui.loop.advance(0.5);
    auto shot = ui.window->snapshot(1.0);
    EXPECT_EQ(shot->pixelAt(110, 110), Color::rgb(1, 0, 0)) << "halfway across";
    EXPECT_EQ(shot->pixelAt(10, 110), Color::whiteColor());
    EXPECT_EQ(shot->pixelAt(210, 110), Color::whiteColor());
}

TEST(Layer, TheLastTransitionAddedRunsAndSlidesTheViewIn)
{
    UiFixture ui;
    auto panel = View::create({ 0, 20, 320, 50 });
    ui.window->addSubview(panel);
    Transition push;
    push.type = Transition::Type::Push;
    push.subtype = Transition::Subtype::FromBottom;
    push.duration = 0.25;
    panel->layer().addTransition(push);
    ASSERT_TRUE(panel->layer().lastTransition());
    EXPECT_EQ(panel->layer().lastTransition()->subtype, Transition::Subtype::FromBottom);
    EXPECT_TRUE(ui.app.needsDisplay());
    EXPECT_NE(panel->layer().runningTransition(ui.app.animator().now()), nullptr);
    ui.loop.advance(0.25);
    EXPECT_EQ(panel->layer().runningTransition(ui.app.animator().now()), nullptr);
    ASSERT_TRUE(panel->layer().lastTransition()) << "an ended transition is still the last";

    // A transition added while one runs takes its place.
    panel->layer().addTransition(push);
    ui.loop.advance(0.1);
    push.subtype = Transition::Subtype::FromTop;
    panel->layer().addTransition(push);
    const Transition* running = panel->layer().runningTransition(ui.app.animator().now());
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(running->subtype, Transition::Subtype::FromTop);
    EXPECT_EQ(running->beginTime, ui.app.animator().now());
}
