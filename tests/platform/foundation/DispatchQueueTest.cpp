#include "platform/foundation/DispatchQueue.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using hestio::platform::DispatchQueue;

TEST(DispatchQueue, RunsTasksInOrderOnItsOwnThread)
{
    DispatchQueue queue;
    std::vector<int> order;
    std::thread::id worker;
    for (int i = 0; i < 100; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            worker = std::this_thread::get_id();
        });
    }
    queue.waitUntilIdle();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(DispatchQueue, WaitIncludesTasksQueuedByTasks)
{
    DispatchQueue queue;
    std::vector<std::string> calls;
    queue.async([&] {
        calls.push_back("outer");
        queue.async([&] { calls.push_back("inner"); });
    });
    queue.waitUntilIdle();
    EXPECT_EQ(calls, (std::vector<std::string> { "outer", "inner" }));
}

TEST(DispatchQueue, AThrowingTaskIsLoggedAndLaterTasksStillRun)
{
    hestio::test::LogCapture capture;
    DispatchQueue queue;
    bool ranAfter = false;
    queue.async([] { throw std::runtime_error("boom"); });
    queue.async([&] { ranAfter = true; });
    queue.waitUntilIdle();
    EXPECT_TRUE(ranAfter);
    EXPECT_EQ(capture.lines(), (std::vector<std::string> { "Uncaught exception on a background queue: boom" }));
}

TEST(DispatchQueue, DestructionRunsWhatIsStillQueued)
{
    int runs = 0;
    {
        DispatchQueue queue;
        for (int i = 0; i < 10; ++i)
            queue.async([&] { ++runs; });
    }
    EXPECT_EQ(runs, 10);
}
