#include "net/ReplyCache.h"

#include "platform/foundation/DiskWriter.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hestio;
using hestio::test::LogCapture;
using hestio::test::TempDir;
using platform::Date;

namespace {

const Date kTenThirtyTwo = Date::fromMilliseconds(1'765'103'520'000);

std::string fileText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void writeText(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

/// Waits until what was queued is on the disk.
void onDisk()
{
    platform::DiskWriter::shared().settle();
}

std::vector<std::string> filesIn(const std::filesystem::path& folder)
{
    onDisk();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}

TEST(ReplyCache, KeepsTheLastReplyOfEachKeyWithItsTime)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    EXPECT_FALSE(cache.load("devices")) << "nothing kept yet";
    ASSERT_TRUE(cache.store("devices", R"({"success":true,"devices":[]})", kTenThirtyTwo));
    ASSERT_TRUE(cache.store("devices", R"({"success":true,"devices":[1]})", kTenThirtyTwo.addingTimeInterval(60)));
    ASSERT_TRUE(cache.store("activities", "", kTenThirtyTwo));

    auto devices = cache.load("devices");
    ASSERT_TRUE(devices);
    EXPECT_EQ(devices->body, R"({"success":true,"devices":[1]})");
    EXPECT_EQ(devices->fetchedAt, kTenThirtyTwo.addingTimeInterval(60));
    ASSERT_TRUE(cache.load("activities"));
    EXPECT_EQ(cache.load("activities")->body, "");
    EXPECT_EQ(cache.folder(), dir / "demo");
    EXPECT_EQ(filesIn(cache.folder()), (std::vector<std::string> { "activities.reply", "devices.reply" }));
}

TEST(ReplyCache, UserNamesAndKeysBecomeSafeFileNames)
{
    TempDir dir;
    ReplyCache cache(dir / "cache", "../escape");
    ASSERT_TRUE(cache.store("../../x", "{}", kTenThirtyTwo));
    EXPECT_EQ(filesIn(dir / "cache"), std::vector<std::string> { "%2E%2E%2Fescape" });
    EXPECT_EQ(filesIn(cache.folder()), std::vector<std::string> { "%2E%2E%2F%2E%2E%2Fx.reply" });
    EXPECT_EQ(cache.owner(), "%2E%2E%2Fescape");
}

TEST(ReplyCache, AProcessKilledBetweenWriteAndRenameLeavesTheOldReply)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    ASSERT_TRUE(cache.store("devices", R"({"old":true})", kTenThirtyTwo));
    onDisk();

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ReplyCache dying(dir.path(), "demo");
        dying.setBeforeRenameForTesting([] { ::_exit(9); });
        // The forked process has no writer thread: the write is done at once.
        (void)dying.store("devices", R"({"new":true})", kTenThirtyTwo.addingTimeInterval(60));
        ::_exit(0); // not reached: the hook ends the process first
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 9) << "the child died between the write and the rename";
    EXPECT_EQ(filesIn(cache.folder()).size(), 2u) << "the old reply and the orphaned temporary file";

    ReplyCache next(dir.path(), "demo");
    auto kept = next.load("devices");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, R"({"old":true})");
    EXPECT_EQ(kept->fetchedAt, kTenThirtyTwo);
    ASSERT_TRUE(next.store("suggestions", "{}", kTenThirtyTwo));
    EXPECT_EQ(filesIn(next.folder()), (std::vector<std::string> { "devices.reply", "suggestions.reply" }))
        << "the next run sweeps the orphan away";
}

TEST(ReplyCache, ADamagedFileIsLoggedDeletedAndReplacedByTheNextReply)
{
    const std::string body = R"({"success":true,"devices":[{"id":"1"}]})";
    TempDir good;
    ReplyCache reference(good.path(), "demo");
    ASSERT_TRUE(reference.store("devices", body, kTenThirtyTwo));
    onDisk();
    const std::string whole = fileText(reference.folder() / "devices.reply");
    const std::size_t headerLength = whole.find('\n') + 1;
    std::string flipped = whole;
    flipped.back() = '}' == flipped.back() ? ']' : '}';
    std::string otherFormat = whole;
    otherFormat.replace(whole.find(" 2 "), 3, " 3 ");
    // The first format named no owner: such a reply is shown to nobody.
    std::string firstFormat = whole;
    firstFormat.replace(whole.find(" 2 "), 3, " 1 ");
    firstFormat.erase(firstFormat.find(" demo\n"), 5);
    std::string otherOwner = whole;
    otherOwner.replace(whole.find(" demo\n"), 5, " sam");

    const struct {
        const char* what;
        std::string contents;
        const char* reason;
    } cases[] = {
        { "empty", "", "its header is cut short" },
        { "header only, cut", whole.substr(0, headerLength - 5), "its header is cut short" },
        { "body cut short", whole.substr(0, whole.size() - 3), "bytes" },
        { "body one byte longer", whole + " ", "bytes" },
        { "one byte changed", flipped, "its checksum does not match" },
        { "another format", otherFormat, "format 3 is not known" },
        { "the first format", firstFormat, "format 1 is not known" },
        { "another user's", otherOwner, "it belongs to another user" },
        { "a header line too long", std::string(400, 'x') + "\n" + body, "its header is cut short" },
        { "not ours", "<html>\n" + body, "not a cached reply" },
        { "garbage", std::string(3000, '\x01'), "its header is cut short" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ReplyCache cache(dir.path(), "demo");
        std::filesystem::create_directories(cache.folder());
        writeText(cache.folder() / "devices.reply", c.contents);
        LogCapture capture;
        auto loaded = cache.load("devices");
        EXPECT_FALSE(loaded);
        ASSERT_EQ(capture.lines().size(), 1u);
        EXPECT_TRUE(capture.contains("Ignoring the damaged cached reply")) << capture.lines()[0];
        EXPECT_TRUE(capture.contains(c.reason)) << capture.lines()[0];
        onDisk();
        EXPECT_FALSE(std::filesystem::exists(cache.folder() / "devices.reply"));

        ASSERT_TRUE(cache.store("devices", body, kTenThirtyTwo));
        ASSERT_TRUE(cache.load("devices"));
        EXPECT_EQ(cache.load("devices")->body, body);
    }
}

TEST(ReplyCache, AReplyAtTheEntryLimitIsKeptOneByteMoreIsNotAndDropsTheOlderCopy)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    const std::string atLimit(ReplyCache::maxEntryBytes, 'a');
    ASSERT_TRUE(cache.store("battery", atLimit, kTenThirtyTwo));
    ASSERT_TRUE(cache.load("battery"));
    EXPECT_EQ(cache.load("battery")->body.size(), ReplyCache::maxEntryBytes);

    EXPECT_FALSE(cache.store("battery", atLimit + "b", kTenThirtyTwo.addingTimeInterval(60)));
    EXPECT_FALSE(cache.load("battery")) << "no older reply stands in for the one that was too large";

    // A body handed over is kept the same way, and its file is the same.
    ASSERT_TRUE(cache.store("copied", atLimit, kTenThirtyTwo));
    ASSERT_TRUE(cache.storeOwned("handed", std::string(atLimit), kTenThirtyTwo));
    ASSERT_TRUE(cache.load("handed"));
    EXPECT_EQ(cache.load("handed")->body, atLimit) << "read back while queued";
    onDisk();
    EXPECT_EQ(fileText(cache.folder() / "handed.reply"), fileText(cache.folder() / "copied.reply"));
    ASSERT_TRUE(cache.storeOwned("handed", "{}", kTenThirtyTwo));
    EXPECT_FALSE(cache.storeOwned("handed", atLimit + "b", kTenThirtyTwo.addingTimeInterval(60)));
    EXPECT_FALSE(cache.load("handed")) << "the older copy goes here too";
}

TEST(ReplyCache, BeyondTheTotalTheOldestGraphWeeksGoFirstThenTheOldestLists)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    const std::string mebibyte(1024 * 1024, 'x');
    // Three lists of 3 MiB, then graph weeks of 1 MiB until the total is
    // reached: 9 + 7 = 16 MiB of bodies plus headers, just over the limit
    // once the seventh week comes.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(cache.store(
            "list" + std::to_string(i), mebibyte + mebibyte + mebibyte, kTenThirtyTwo.addingTimeInterval(i)));
    for (int week = 0; week < 6; ++week)
        ASSERT_TRUE(
            cache.store("graph-week" + std::to_string(week), mebibyte, kTenThirtyTwo.addingTimeInterval(100 - week)));
    onDisk();
    EXPECT_LE(cache.totalBytes(), ReplyCache::maxTotalBytes);
    EXPECT_EQ(filesIn(cache.folder()).size(), 9u) << "15 MiB and headers fit";

    ASSERT_TRUE(cache.store("graph-week6", mebibyte, kTenThirtyTwo.addingTimeInterval(200)));
    onDisk();
    EXPECT_LE(cache.totalBytes(), ReplyCache::maxTotalBytes);
    EXPECT_FALSE(cache.load("graph-week5")) << "the week fetched longest ago goes";
    for (const char* kept : { "graph-week0", "graph-week4", "graph-week6", "list0", "list1", "list2" })
        EXPECT_TRUE(cache.load(kept)) << kept;

    // A list that no graph week can make room for pushes out the oldest list
    // once the weeks are gone, never itself.
    ASSERT_TRUE(
        cache.store("list3", std::string(ReplyCache::maxEntryBytes, 'y'), kTenThirtyTwo.addingTimeInterval(300)));
    ASSERT_TRUE(
        cache.store("list4", std::string(ReplyCache::maxEntryBytes, 'z'), kTenThirtyTwo.addingTimeInterval(400)));
    onDisk();
    EXPECT_LE(cache.totalBytes(), ReplyCache::maxTotalBytes);
    EXPECT_TRUE(cache.load("list4"));
    EXPECT_TRUE(cache.load("list3"));
    EXPECT_FALSE(cache.load("graph-week6")) << "every week went before any list";
    EXPECT_FALSE(cache.load("list0")) << "then the oldest list";
    EXPECT_TRUE(cache.load("list2"));
}

TEST(ReplyCache, RemoveAllDeletesOnlyThatUsersFolder)
{
    TempDir dir;
    ReplyCache demo(dir.path(), "demo");
    ReplyCache other(dir.path(), "other");
    ASSERT_TRUE(demo.store("devices", "{}", kTenThirtyTwo));
    ASSERT_TRUE(other.store("devices", "{}", kTenThirtyTwo));
    std::vector<platform::Status> removed;
    for (int time = 0; time < 2; ++time) {
        demo.removeAll([&](const platform::Status& status) { removed.push_back(status); });
        onDisk();
    }
    EXPECT_FALSE(std::filesystem::exists(demo.folder()));
    EXPECT_TRUE(other.load("devices"));
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_TRUE(removed[1]) << "nothing left to delete is no failure";
}

namespace {

unsigned modeOf(const std::filesystem::path& path)
{
    struct stat status { };
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

}

TEST(ReplyCache, FoldersAndRepliesAreTheOwnersOnlyAndAnOpenRootIsClosed)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "cache");
    ::chmod((dir / "cache").c_str(), 0755); // as an earlier version made it
    mode_t umask = ::umask(022);
    ReplyCache cache(dir / "cache", "demo");
    ASSERT_TRUE(cache.store("devices", "{}", kTenThirtyTwo));
    onDisk();
    ::umask(umask);
    EXPECT_EQ(modeOf(dir / "cache"), 0700u);
    EXPECT_EQ(modeOf(cache.folder()), 0700u);
    EXPECT_EQ(modeOf(cache.folder() / "devices.reply"), 0600u);
}

TEST(ReplyCache, APipeALinkOrAHugeFileAtAKeyIsRefusedWithoutBlockingAndForeignNamesAreLeftAlone)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    ASSERT_TRUE(cache.store("devices", "{}", kTenThirtyTwo));
    onDisk();
    auto secret = dir.write("secret", "not a reply");
    ASSERT_EQ(::mkfifo((cache.folder() / "schedules.reply").c_str(), 0600), 0);
    std::filesystem::create_symlink(secret, cache.folder() / "activities.reply");
    // 300 MB that take no room: read whole, they would take seconds and the memory.
    writeText(cache.folder() / "graph-huge.reply", "hestio-reply 2 0 1 0000000000000000 demo\n");
    std::filesystem::resize_file(cache.folder() / "graph-huge.reply", 300u * 1024 * 1024);
    writeText(cache.folder() / "notes.txt", "someone else's");

    LogCapture capture;
    // The eviction reads every header: the pipe must not block it, nor the
    // huge file be read whole; it is over the total, so it goes.
    ASSERT_TRUE(cache.store("suggestions", "{}", kTenThirtyTwo));
    onDisk();
    EXPECT_FALSE(std::filesystem::exists(cache.folder() / "graph-huge.reply"));
    EXPECT_TRUE(cache.load("suggestions"));

    const struct {
        const char* key;
        const char* reason;
    } cases[] = {
        { "schedules", "it is not a regular file" },
        { "activities", "it is a symbolic link" },
    };
    for (const auto& c : cases) {
        auto loaded = cache.load(c.key);
        EXPECT_FALSE(loaded) << c.key;
        EXPECT_TRUE(capture.contains(c.reason)) << c.key;
    }
    EXPECT_EQ(fileText(secret), "not a reply") << "the link's target is untouched";
    EXPECT_EQ(filesIn(cache.folder()), (std::vector<std::string> { "devices.reply", "notes.txt", "suggestions.reply" }))
        << "what failed its checks is gone; a name that is not ours stays";
    onDisk();
    EXPECT_EQ(cache.totalBytes(), fileText(cache.folder() / "devices.reply").size() * 2) << "only replies count";

    // A huge file at a key that is loaded is refused by its size alone.
    writeText(cache.folder() / "devices.reply", "hestio-reply 2 0 1 0000000000000000 demo\n");
    std::filesystem::resize_file(cache.folder() / "devices.reply", 300u * 1024 * 1024);
    EXPECT_FALSE(cache.load("devices"));
    EXPECT_TRUE(capture.contains("it is larger than any reply kept"));
}

TEST(ReplyCache, AWriteTheDiskRefusesIsReportedAndLeavesTheOlderCopyLoadable)
{
    TempDir dir;
    const std::string older = R"({"success":true,"devices":["older"]})";
    ASSERT_TRUE(ReplyCache(dir.path(), "demo").store("devices", older, kTenThirtyTwo));
    onDisk();

    // In a child: files may not grow past 4 KiB, and going past is an error
    // (EFBIG), not the end of the process, as on a full disk.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit { 4096, 4096 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ReplyCache cache(dir.path(), "demo");
        platform::Status stored;
        if (!cache.store("devices", std::string(64 * 1024, 'n'), kTenThirtyTwo,
                [&](const platform::Status& status) { stored = status; }))
            ::_exit(2);
        ::_exit(!stored && stored.error().message().find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the refused write was reported with its reason";

    ReplyCache cache(dir.path(), "demo");
    EXPECT_EQ(filesIn(cache.folder()), std::vector<std::string> { "devices.reply" }) << "no part of the new one";
    auto kept = cache.load("devices");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, older);
    EXPECT_EQ(kept->fetchedAt, kTenThirtyTwo);
}
