#include "net/ReplyCache.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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

std::vector<std::string> filesIn(const std::filesystem::path& folder)
{
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
    const struct {
        std::string name;
        std::string folder;
    } cases[] = {
        { "demo", "demo" }, { "..", "%2E%2E" }, { "../../etc", "%2E%2E%2F%2E%2E%2Fetc" }, { "a/b", "a%2Fb" },
        { "", "%" }, { "Zoë", "Zo%C3%AB" }, { "%2E", "%252E" }, // the escape itself is escaped: no two names meet
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyCache::folderNameFor(c.name), c.folder) << c.name;

    std::string longName(300, 'x');
    std::string otherLongName = longName + "y";
    EXPECT_LE(ReplyCache::folderNameFor(longName).size(), 200u);
    EXPECT_NE(ReplyCache::folderNameFor(longName), ReplyCache::folderNameFor(otherLongName));

    TempDir dir;
    ReplyCache cache(dir / "cache", "../escape");
    ASSERT_TRUE(cache.store("../../x", "{}", kTenThirtyTwo));
    EXPECT_EQ(filesIn(dir / "cache"), std::vector<std::string> { "%2E%2E%2Fescape" });
    EXPECT_EQ(filesIn(cache.folder()), std::vector<std::string> { "%2E%2E%2F%2E%2E%2Fx.reply" });
}

TEST(ReplyCache, AProcessKilledBetweenWriteAndRenameLeavesTheOldReply)
{
    TempDir dir;
    ReplyCache cache(dir.path(), "demo");
    ASSERT_TRUE(cache.store("devices", R"({"old":true})", kTenThirtyTwo));

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ReplyCache dying(dir.path(), "demo");
        dying.setBeforeRenameForTesting([] { ::_exit(9); });
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
    const std::string whole = fileText(reference.folder() / "devices.reply");
    const std::size_t headerLength = whole.find('\n') + 1;
    std::string flipped = whole;
    flipped.back() = '}' == flipped.back() ? ']' : '}';
    std::string otherFormat = whole;
    otherFormat.replace(whole.find(" 1 "), 3, " 2 ");

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
        { "another format", otherFormat, "format 2 is not known" },
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
    EXPECT_LE(cache.totalBytes(), ReplyCache::maxTotalBytes);
    EXPECT_EQ(filesIn(cache.folder()).size(), 9u) << "15 MiB and headers fit";

    ASSERT_TRUE(cache.store("graph-week6", mebibyte, kTenThirtyTwo.addingTimeInterval(200)));
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
    ASSERT_TRUE(demo.removeAll());
    EXPECT_FALSE(std::filesystem::exists(demo.folder()));
    EXPECT_TRUE(other.load("devices"));
    EXPECT_TRUE(demo.removeAll()) << "nothing left to delete is no failure";
}
