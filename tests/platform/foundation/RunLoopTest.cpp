#include "platform/foundation/RunLoop.h"

#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using hestio::platform::ManualClock;
using hestio::platform::RunLoop;
using hestio::platform::TimerHandle;
using hestio::test::TestRunLoop;

namespace {

struct Recorder {
    std::vector<std::string> events;
    RunLoop::Task note(std::string name)
    {
        return [this, name] { events.push_back(name); };
    }
};

}

TEST(RunLoop, PostedTasksRunInPostingOrderOnlyWhenTheLoopRuns)
{
    TestRunLoop test;
    Recorder recorder;
    test.loop().post(recorder.note("a"));
    test.loop().post(recorder.note("b"));
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_TRUE(test.loop().hasPostedTasks());
    test.runPending();
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "a", "b" }));
    EXPECT_FALSE(test.loop().hasPostedTasks());
}

TEST(RunLoop, DelayedCallsRunInDueOrderWithTiesInPostingOrder)
{
    TestRunLoop test;
    Recorder recorder;
    auto& loop = test.loop();
    loop.postDelayed(2.0, recorder.note("2.0"));
    loop.postDelayed(0.5, recorder.note("0.5 first"));
    loop.postDelayed(5 * 60, recorder.note("5 min"));
    loop.postDelayed(0.5, recorder.note("0.5 second"));
    loop.postDelayed(0.1, recorder.note("0.1"));

    test.advance(0.09);
    EXPECT_TRUE(recorder.events.empty());
    test.advance(0.01);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "0.1" }));
    test.advance(2.0);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "0.1", "0.5 first", "0.5 second", "2.0" }));
    EXPECT_EQ(loop.pendingTimerCount(), 1u);
    test.advance(300);
    EXPECT_EQ(recorder.events.back(), "5 min");
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(RunLoop, EachTaskSeesTheClockAtItsOwnDueTime)
{
    TestRunLoop test;
    std::vector<double> seen;
    double start = test.clock().monotonicSeconds();
    for (double delay : { 3.0, 1.0, 2.0 })
        test.loop().postDelayed(delay, [&] { seen.push_back(test.clock().monotonicSeconds() - start); });
    test.advance(10);
    EXPECT_EQ(seen, (std::vector<double> { 1.0, 2.0, 3.0 }));
    EXPECT_DOUBLE_EQ(test.clock().monotonicSeconds() - start, 10.0);
    EXPECT_DOUBLE_EQ(test.now().timeIntervalSince1970(), 1354752000.0 + 10);
}

TEST(RunLoop, WorkAddedWhileAdvancingRunsIfItFallsDueInTheSameAdvance)
{
    TestRunLoop test;
    Recorder recorder;
    auto& loop = test.loop();
    loop.postDelayed(1.0, [&] {
        recorder.events.push_back("outer at 1");
        loop.post(recorder.note("posted from outer"));
        loop.postDelayed(0.5, recorder.note("chained at 1.5"));
        loop.postDelayed(5.0, recorder.note("chained at 6"));
    });
    loop.postDelayed(1.5, recorder.note("planned at 1.5"));
    loop.postDelayed(2.0, recorder.note("planned at 2"));

    test.advance(3);
    EXPECT_EQ(recorder.events,
        (std::vector<std::string> {
            "outer at 1", "posted from outer", "planned at 1.5", "chained at 1.5", "planned at 2" }));
    test.advance(3);
    EXPECT_EQ(recorder.events.back(), "chained at 6");
}

TEST(RunLoop, ZeroAndNegativeDelaysRunOnTheNextPassAfterEarlierPosts)
{
    TestRunLoop test;
    Recorder recorder;
    test.loop().post(recorder.note("posted"));
    test.loop().postDelayed(0, recorder.note("zero"));
    test.loop().postDelayed(-4, recorder.note("negative"));
    test.runPending();
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "posted", "zero", "negative" }));
}

TEST(RunLoop, CancelledHandleNeverRunsAndReportsInactive)
{
    TestRunLoop test;
    Recorder recorder;
    TimerHandle kept = test.loop().postDelayed(1, recorder.note("kept"));
    TimerHandle cancelled = test.loop().postDelayed(1, recorder.note("cancelled"));
    TimerHandle copy = cancelled;
    EXPECT_TRUE(copy.isActive());
    cancelled.cancel();
    EXPECT_FALSE(copy.isActive());
    test.advance(2);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "kept" }));
    EXPECT_FALSE(kept.isActive()) << "a one-shot call is done once it ran";
    kept.cancel(); // cancelling after the fact is harmless
    TimerHandle empty;
    empty.cancel();
    EXPECT_FALSE(empty.isActive());
}

TEST(RunLoop, DroppingEveryHandleDoesNotCancel)
{
    TestRunLoop test;
    int runs = 0;
    test.loop().postDelayed(1, [&] { ++runs; });
    test.advance(1);
    EXPECT_EQ(runs, 1);
}

// A closure often captures the object that keeps the timer's handle (an
// animation keeps the call that ends it); the loop must let go of the closure
// once the call can no longer run, or the two keep each other alive forever.
TEST(RunLoop, ACallThatCanNoLongerRunReleasesItsClosure)
{
    struct Owner {
        TimerHandle timer;
    };
    auto schedule = [](RunLoop& loop, const void* target = nullptr) {
        auto owner = std::make_shared<Owner>();
        owner->timer = loop.postDelayed(
            1, [owner] {}, target);
        return std::weak_ptr<Owner>(owner);
    };
    TestRunLoop test;
    int target = 0;
    auto fired = schedule(test.loop());
    auto cancelled = schedule(test.loop());
    auto cancelledByTarget = schedule(test.loop(), &target);
    auto pending = schedule(test.loop());
    EXPECT_FALSE(fired.expired()) << "a pending call keeps its captures";

    cancelled.lock()->timer.cancel();
    EXPECT_TRUE(cancelled.expired()) << "cancelled";
    test.loop().cancelDelayed(&target);
    EXPECT_TRUE(cancelledByTarget.expired()) << "cancelled by target";

    // The last call is still pending when the loop goes away.
    {
        ManualClock clock;
        RunLoop loop(clock);
        pending = schedule(loop);
        EXPECT_FALSE(pending.expired());
    }
    EXPECT_TRUE(pending.expired()) << "pending when its loop was destroyed";

    test.advance(1);
    EXPECT_TRUE(fired.expired()) << "fired once";
}

TEST(RunLoop, ARepeatingTimerKeepsItsClosureUntilCancelled)
{
    TestRunLoop test;
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    TimerHandle timer = test.loop().scheduleRepeating(1, [captured] { ++*captured; });
    captured.reset();
    test.advance(3);
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(*watch.lock(), 3);
    timer.cancel();
    EXPECT_TRUE(watch.expired());
}

TEST(RunLoop, CancelDelayedRemovesOnlyTheTargetsPendingCalls)
{
    TestRunLoop test;
    Recorder recorder;
    int infoPanel = 0;
    int pullHeader = 0;
    auto& loop = test.loop();
    TimerHandle panelTimer = loop.postDelayed(0.5, recorder.note("panel hide"), &infoPanel);
    loop.scheduleRepeating(1, recorder.note("panel tick"), &infoPanel);
    loop.postDelayed(0.5, recorder.note("header"), &pullHeader);
    loop.postDelayed(0.5, recorder.note("untargeted"));

    loop.cancelDelayed(&infoPanel);
    loop.cancelDelayed(nullptr); // untargeted calls are not a group
    EXPECT_FALSE(panelTimer.isActive());
    test.advance(3);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "header", "untargeted" }));

    // The target can schedule again afterwards.
    loop.postDelayed(0.5, recorder.note("panel again"), &infoPanel);
    test.advance(1);
    EXPECT_EQ(recorder.events.back(), "panel again");
}

TEST(RunLoop, CancelDelayedFromInsideATaskStopsLaterCallsOfTheSameAdvance)
{
    TestRunLoop test;
    Recorder recorder;
    int target = 0;
    test.loop().postDelayed(1, [&] {
        recorder.events.push_back("canceller");
        test.loop().cancelDelayed(&target);
    });
    test.loop().postDelayed(1, recorder.note("same instant, later"), &target);
    test.loop().postDelayed(2, recorder.note("later"), &target);
    test.advance(5);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "canceller" }));
}

TEST(RunLoop, RepeatingTimerFiresAtEveryIntervalUntilCancelled)
{
    TestRunLoop test;
    std::vector<double> firings;
    double start = test.clock().monotonicSeconds();
    TimerHandle timer
        = test.loop().scheduleRepeating(2.0, [&] { firings.push_back(test.clock().monotonicSeconds() - start); });
    test.advance(7);
    EXPECT_EQ(firings, (std::vector<double> { 2, 4, 6 }));
    EXPECT_TRUE(timer.isActive());
    timer.cancel();
    test.advance(10);
    EXPECT_EQ(firings.size(), 3u);
    EXPECT_EQ(test.loop().pendingTimerCount(), 0u);
}

TEST(RunLoop, RepeatingTimerCanCancelItselfFromItsTask)
{
    TestRunLoop test;
    int firings = 0;
    TimerHandle timer;
    timer = test.loop().scheduleRepeating(1, [&] {
        if (++firings == 3)
            timer.cancel();
    });
    test.advance(10);
    EXPECT_EQ(firings, 3);
    EXPECT_FALSE(timer.isActive());
}

TEST(RunLoop, RepeatingTimerInterleavesWithDelayedCallsByTime)
{
    TestRunLoop test;
    Recorder recorder;
    test.loop().scheduleRepeating(1, recorder.note("tick"));
    test.loop().postDelayed(1.5, recorder.note("delayed"));
    test.loop().postDelayed(2, recorder.note("tie"));
    test.advance(2);
    // At 2 s the delayed call was posted before the timer re-armed, so it wins the tie.
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "tick", "delayed", "tie", "tick" }));
}

TEST(RunLoop, AdvanceRunsDueWorkAcrossEveryLoopOnTheClockInOrder)
{
    ManualClock clock;
    RunLoop first(clock);
    RunLoop second(clock);
    Recorder recorder;
    std::vector<RunLoop*> currentDuringTask;
    first.postDelayed(2, recorder.note("first at 2"));
    second.postDelayed(1, [&] {
        recorder.events.push_back("second at 1");
        currentDuringTask.push_back(RunLoop::currentIfAny());
    });
    second.postDelayed(2, recorder.note("second at 2"));
    first.postDelayed(1, [&] {
        recorder.events.push_back("first at 1");
        currentDuringTask.push_back(RunLoop::currentIfAny());
    });
    clock.advance(2);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "second at 1", "first at 1", "first at 2", "second at 2" }));
    EXPECT_EQ(currentDuringTask, (std::vector<RunLoop*> { &second, &first }));
}

TEST(RunLoop, SetNowMovesWallTimeButNotTimers)
{
    TestRunLoop test;
    int runs = 0;
    test.loop().postDelayed(60, [&] { ++runs; });
    test.clock().setNow(hestio::platform::Date(2000000000.0));
    test.runPending();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(test.now().timeIntervalSince1970(), 2000000000.0);
    test.advance(60);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(test.now().timeIntervalSince1970(), 2000000060.0);
}

TEST(RunLoop, RunDueTasksLeavesWorkQueuedByItsTasksForTheNextPass)
{
    TestRunLoop test;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        test.loop().post(again);
    };
    test.loop().post(again);
    EXPECT_TRUE(test.loop().runDueTasks());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(test.loop().runDueTasks());
    EXPECT_EQ(runs, 2);
}

TEST(RunLoop, ReportsTheNextTimer)
{
    TestRunLoop test;
    EXPECT_FALSE(test.loop().secondsUntilNextTimer());
    test.loop().postDelayed(5, [] {});
    test.loop().postDelayed(3, [] {});
    EXPECT_DOUBLE_EQ(*test.loop().secondsUntilNextTimer(), 3);
    test.advance(1);
    EXPECT_DOUBLE_EQ(*test.loop().secondsUntilNextTimer(), 2);
    EXPECT_DOUBLE_EQ(*test.loop().nextTimerDueTime(), test.clock().monotonicSeconds() + 2);
}

TEST(RunLoop, TestRunLoopIsCurrentForItsScope)
{
    EXPECT_EQ(RunLoop::currentIfAny(), nullptr);
    {
        TestRunLoop test;
        EXPECT_EQ(&RunLoop::current(), &test.loop());
    }
    EXPECT_EQ(RunLoop::currentIfAny(), nullptr);
}

TEST(RunLoop, RealLoopRunsPostsFromAnotherThreadAndStops)
{
    RunLoop loop(hestio::platform::SystemClock::shared());
    std::vector<int> seen;
    std::thread poster([&] {
        loop.post([&] { seen.push_back(1); });
        loop.post([&] { loop.stop(); });
    });
    loop.run();
    poster.join();
    EXPECT_EQ(seen, (std::vector<int> { 1 }));
}

TEST(RunLoopDeathTest, CurrentWithoutALoopStopsWithAMessage)
{
    EXPECT_DEATH(static_cast<void>(RunLoop::current()), "without a current run loop");
}

TEST(RunLoop, KeepAliveHoldsUntilCancelledOrTheLoopGoes)
{
    TestRunLoop test;
    auto object = std::make_shared<int>(1);
    std::weak_ptr<int> watch = object;
    TimerHandle hold = test.loop().keepAlive(std::move(object));
    EXPECT_TRUE(hold.isActive());
    EXPECT_EQ(test.loop().pendingTimerCount(), 0u) << "nothing to run";
    EXPECT_FALSE(test.loop().nextTimerDueTime());
    test.advance(100);
    EXPECT_FALSE(watch.expired());
    hold.cancel();
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(hold.isActive());
    hold.cancel(); // twice is harmless

    // An object released with its loop may keep another on the same loop
    // from its destructor; that one goes too.
    struct KeepsMoreWhenDestroyed {
        RunLoop& loop;
        std::shared_ptr<int> next;
        ~KeepsMoreWhenDestroyed() { loop.keepAlive(std::move(next)); }
    };
    std::weak_ptr<int> watchNext;
    {
        ManualClock clock;
        RunLoop loop(clock);
        auto next = std::make_shared<int>(2);
        watchNext = next;
        loop.keepAlive(std::make_shared<KeepsMoreWhenDestroyed>(KeepsMoreWhenDestroyed { loop, std::move(next) }));
    }
    EXPECT_TRUE(watchNext.expired());
}

TEST(RunLoop, ALinkPostsWhileTheLoopLivesAndDropsAfter)
{
    std::shared_ptr<hestio::platform::RunLoopLink> link;
    auto task = std::make_shared<int>(0);
    std::weak_ptr<int> watch = task;
    {
        ManualClock clock;
        RunLoop loop(clock);
        link = loop.link();
        std::thread poster([&] { EXPECT_TRUE(link->post([task] { ++*task; })); });
        poster.join();
        EXPECT_TRUE(loop.runDueTasks());
        EXPECT_EQ(*task, 1);
    }
    // A thread that outlived the loop: its post is dropped with its closure.
    std::thread late(
        [link, task = std::move(task)]() mutable { EXPECT_FALSE(link->post([task = std::move(task)] { ++*task; })); });
    late.join();
    EXPECT_TRUE(watch.expired());
}
