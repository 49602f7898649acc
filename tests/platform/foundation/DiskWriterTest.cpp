#include "platform/foundation/DiskWriter.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <mutex>
#include <thread>

using hestio::platform::DiskWriter;
using hestio::platform::Status;
using hestio::test::TempDir;
using hestio::test::TestRunLoop;
namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

/// A writer whose flushes are recorded, in the order they start.
struct RecordedWriter {
    DiskWriter writer;
    std::mutex mutex;
    std::vector<fs::path> flushed;

    RecordedWriter()
    {
        writer.setFlushObserverForTesting([this](const fs::path& key) {
            std::lock_guard lock(mutex);
            flushed.push_back(key);
        });
    }
    std::vector<fs::path> order()
    {
        writer.settle();
        std::lock_guard lock(mutex);
        return flushed;
    }
};

}

TEST(DiskWriter, ALaterWriteOfAQueuedFileTakesItsPlaceAndOtherFilesKeepTheirOrder)
{
    TempDir dir;
    RecordedWriter recorded;
    DiskWriter& writer = recorded.writer;
    std::vector<std::string> told;
    auto tell = [&](std::string what) {
        return [&told, what](const Status& status) { told.push_back(what + (status ? " ok" : " failed")); };
    };
    writer.holdFlushes();
    writer.write(dir / "a", "a1", tell("a1"));
    writer.write(dir / "b", "b1", tell("b1"));
    writer.run([] { return Status(); }, tell("task"));
    writer.write(dir / "c", "c1", tell("c1"));
    writer.write(dir / "a", "a2", tell("a2"));
    writer.write(dir / "c", "c2", tell("c2"));
    EXPECT_EQ(writer.pendingCount(), 4u) << "a, b, the task and c";
    writer.releaseFlushes();
    EXPECT_EQ(recorded.order(), (std::vector<fs::path> { dir / "a", dir / "b", fs::path(), dir / "c" }));
    EXPECT_EQ(fileText(dir / "a"), "a2") << "the earlier content is never written";
    EXPECT_EQ(fileText(dir / "b"), "b1");
    EXPECT_EQ(fileText(dir / "c"), "c2");
    // Without a run loop the callers are told on the writer's thread, each
    // caller of a merged write with its one result.
    EXPECT_EQ(told, (std::vector<std::string> { "a1 ok", "a2 ok", "b1 ok", "task ok", "c1 ok", "c2 ok" }));
}

TEST(DiskWriter, WhatIsQueuedIsWhatIsReadUntilItIsOnTheDisk)
{
    TempDir dir;
    auto file = dir.write("settings", "old");
    DiskWriter writer;
    writer.holdFlushes();
    EXPECT_FALSE(writer.queued(file));
    EXPECT_EQ((*writer.read(file, 100))->bytes, "old");

    writer.write(file, "newer and longer");
    ASSERT_TRUE(writer.queued(file));
    EXPECT_EQ(writer.queued(file)->contents, "newer and longer");
    auto cut = writer.read(file, 5);
    ASSERT_TRUE(cut && *cut);
    EXPECT_EQ((*cut)->bytes, "newer") << "cut at the limit";
    EXPECT_EQ((*cut)->size, 16u) << "with the whole size, as from the disk";
    EXPECT_EQ(fileText(file), "old") << "held: nothing written yet";

    writer.remove(file);
    EXPECT_TRUE(writer.queued(file)->removed);
    EXPECT_FALSE(*writer.read(file, 100)) << "a queued deletion reads as no file";
    writer.write(file, "back");
    EXPECT_EQ((*writer.read(file, 100))->bytes, "back");
    EXPECT_EQ(writer.pendingCount(), 1u) << "one entry for the file all along";

    writer.releaseFlushes();
    writer.settle();
    EXPECT_FALSE(writer.queued(file));
    EXPECT_EQ(fileText(file), "back");
}

TEST(DiskWriter, AFolderRemovalDropsItsQueuedWritesRunsAfterTheOneUnderWayAndKeepsLaterOnes)
{
    TempDir dir;
    RecordedWriter recorded;
    DiskWriter& writer = recorded.writer;
    fs::path user = dir / "cache" / "demo";
    // The first write is under way, stopped at its start.
    std::promise<void> started, go;
    std::shared_future<void> goFuture = go.get_future().share();
    writer.write(user / "devices.reply", "in flight", {}, [&](const std::string& contents) {
        started.set_value();
        goFuture.wait();
        return DiskWriter::replaceInFolder(user / "devices.reply", contents);
    });
    started.get_future().wait();
    writer.holdFlushes();
    writer.write(user / "schedules.reply", "dropped");
    writer.write(dir / "cache" / "other" / "devices.reply", "another user's");
    std::vector<std::string> told;
    writer.removeFolder(user, [&](const Status& status) { told.push_back(status ? "removed" : "failed"); });
    EXPECT_TRUE(writer.queued(user / "schedules.reply")->removed) << "read as gone at once";
    EXPECT_TRUE(writer.queued(user / "devices.reply")->removed) << "also the one being written";
    // The same user signs in again: this write is kept.
    writer.write(user / "devices.reply", "after the logout");
    EXPECT_EQ(writer.queued(user / "devices.reply")->contents, "after the logout");
    EXPECT_EQ(writer.pendingCount(), 4u) << "the write under way, the other user's, the removal, the new write";

    go.set_value();
    writer.releaseFlushes();
    EXPECT_EQ(recorded.order(),
        (std::vector<fs::path> {
            user / "devices.reply", dir / "cache" / "other" / "devices.reply", user, user / "devices.reply" }));
    EXPECT_EQ(told, std::vector<std::string> { "removed" });
    EXPECT_FALSE(fs::exists(user / "schedules.reply")) << "the dropped write never reached the disk";
    EXPECT_EQ(fileText(user / "devices.reply"), "after the logout");
    EXPECT_EQ(fileText(dir / "cache" / "other" / "devices.reply"), "another user's");
}

TEST(DiskWriter, AFailedWriteIsToldOnTheRunLoopThatAskedAndTheOldFileStays)
{
    TestRunLoop loop;
    TempDir dir;
    auto blocker = dir.write("not-a-folder", "a file");
    auto kept = dir.write("kept", "old");
    DiskWriter writer;
    std::vector<std::string> told;
    std::thread::id toldOn;
    writer.write(blocker / "settings.plist", "never", [&](const Status& status) {
        told.push_back(status ? "ok" : status.error().message());
        toldOn = std::this_thread::get_id();
    });
    // A write whose rename fails: a folder stands at the file's name.
    fs::create_directory(dir / "taken");
    writer.write(dir / "taken", "never", [&](const Status& status) { told.push_back(status ? "ok" : "refused"); });
    writer.write(kept, "new");
    writer.settle();
    EXPECT_TRUE(told.empty()) << "only through the run loop";
    loop.runPending();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find("not-a-folder"), std::string::npos) << told[0];
    EXPECT_EQ(told[1], "refused");
    EXPECT_EQ(toldOn, std::this_thread::get_id());
    EXPECT_EQ(fileText(kept), "new") << "a failure does not stop the queue";
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".taken.tmp-"), std::string::npos) << "no temporary left";
}

TEST(DiskWriter, WhenWrittenTellsHowTheLastQueuedWriteOfTheFileEndedAlsoOneUnderWay)
{
    TestRunLoop loop;
    TempDir dir;
    DiskWriter writer;
    std::vector<std::string> told;
    auto tell = [&](std::string what) {
        return [&told, what](const Status& status) { told.push_back(what + (status ? " ok" : " failed")); };
    };
    writer.whenWritten(dir / "never-written", tell("nothing queued"));
    EXPECT_TRUE(told.empty()) << "only through the run loop";
    loop.runPending();
    EXPECT_EQ(told, (std::vector<std::string> { "nothing queued ok" }));

    told.clear();
    fs::create_directory(dir / "taken");
    writer.holdFlushes();
    writer.write(dir / "a", "1");
    writer.whenWritten(dir / "a", tell("a"));
    writer.write(dir / "a", "2"); // takes the first one's place
    writer.write(dir / "taken", "never");
    writer.whenWritten(dir / "taken", tell("taken"));
    loop.runPending();
    EXPECT_TRUE(told.empty()) << "nothing before the disk answers";
    writer.releaseFlushes();
    writer.settle();
    loop.runPending();
    EXPECT_EQ(told, (std::vector<std::string> { "a ok", "taken failed" }));
    EXPECT_EQ(fileText(dir / "a"), "2");

    // Asked while the write is under way: told as it ends, not before.
    told.clear();
    writer.setFlushObserverForTesting([&](const fs::path& file) { writer.whenWritten(file, tell("under way")); });
    writer.write(dir / "b", "1");
    writer.settle();
    writer.setFlushObserverForTesting({});
    loop.runPending();
    EXPECT_EQ(told, (std::vector<std::string> { "under way ok" }));
}

TEST(DiskWriter, TheEndDrainsTheQueueForABoundedTime)
{
    TempDir dir;
    {
        DiskWriter writer;
        writer.holdFlushes();
        for (int i = 0; i < 20; ++i)
            writer.write(dir / ("reply" + std::to_string(i)), "body " + std::to_string(i));
        EXPECT_FALSE(writer.drain(0.01)) << "held: the wait gives up";
        EXPECT_EQ(writer.pendingCount(), 20u);
        // Leaving the scope ends the writer: it releases and drains first.
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(fileText(dir / ("reply" + std::to_string(i))), "body " + std::to_string(i));

    DiskWriter writer;
    writer.write(dir / "last", "written");
    EXPECT_TRUE(writer.drain(60));
    EXPECT_EQ(fileText(dir / "last"), "written");
}

TEST(DiskWriter, AManualClockWaitsForTheSharedWriterUnlessItIsHeld)
{
    TestRunLoop loop;
    TempDir dir;
    DiskWriter& writer = DiskWriter::shared();
    bool told = false;
    writer.write(dir / "quick", "at once", [&](const Status&) { told = true; });
    loop.runPending();
    EXPECT_TRUE(told) << "the disk is as quick as the manual clock";
    EXPECT_EQ(fileText(dir / "quick"), "at once");

    std::size_t waits = writer.blockingWaitCount();
    {
        hestio::platform::HeldFlushes held;
        told = false;
        writer.write(dir / "slow", "later", [&](const Status&) { told = true; });
        loop.advance(5);
        EXPECT_FALSE(told);
        EXPECT_FALSE(fs::exists(dir / "slow"));
        EXPECT_EQ(writer.blockingWaitCount(), waits) << "the clock did not wait for a held writer";
    }
    loop.runPending();
    EXPECT_TRUE(told);
    EXPECT_EQ(fileText(dir / "slow"), "later");
}
