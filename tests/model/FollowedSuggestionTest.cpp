#include "model/FollowedSuggestion.h"
#include "model/Suggestion.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/PrivateFiles.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"
#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace hestio;
using platform::Date;

namespace {

FollowedSuggestion followed(std::int32_t id, double at)
{
    return FollowedSuggestion { id, "Switch it off " + std::to_string(id), "10" + std::to_string(id % 10),
        "Lamp " + std::to_string(id), Date(at) };
}

struct FollowedSuggestionStoreTest : ::testing::Test {
    test::TestRunLoop loop;
    test::TempDir folder;
    test::LogCapture logs;
    FollowedSuggestionStore store = FollowedSuggestionStore::forUser(folder.path(), "demo");

    /// Whether `into` kept `record`, as told on the loop; none when untold.
    std::optional<bool> kept(const FollowedSuggestionStore& into, const FollowedSuggestion& record)
    {
        std::optional<bool> told;
        into.record(record, [&](bool written) { told = written; });
        EXPECT_FALSE(told) << "told on the loop, never within the call";
        loop.runPending();
        return told;
    }
};

}

TEST_F(FollowedSuggestionStoreTest, KeepsRecordsNewestFirstAcrossReads)
{
    EXPECT_TRUE(store.load().empty()) << "no file yet";
    EXPECT_TRUE(logs.lines().empty()) << "a missing file is no fault";
    ASSERT_EQ(kept(store, followed(1083, 1792036800.5)), true);
    ASSERT_EQ(kept(store, followed(1051, 1792040400)), true);
    auto again = FollowedSuggestionStore::forUser(folder.path(), "demo").load();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0], followed(1051, 1792040400));
    EXPECT_EQ(again[1], followed(1083, 1792036800.5)) << "the time to the fraction";
    EXPECT_TRUE(FollowedSuggestionStore::forUser(folder.path(), "sam").load().empty()) << "kept per user";

    // Following the same suggestion again keeps the later time only.
    ASSERT_EQ(kept(store, followed(1083, 1792100000)), true);
    auto replaced = store.load();
    ASSERT_EQ(replaced.size(), 2u);
    EXPECT_EQ(replaced[0], followed(1083, 1792100000));
    EXPECT_EQ(replaced[1].suggestionID, 1051);
}

TEST_F(FollowedSuggestionStoreTest, KeepsTheNewestFiftyOnly)
{
    for (int i = 0; i < static_cast<int>(FollowedSuggestionStore::capacity); ++i)
        ASSERT_EQ(kept(store, followed(i, 1000.0 + i)), true);
    EXPECT_EQ(store.load().size(), FollowedSuggestionStore::capacity);
    EXPECT_EQ(store.load().back().suggestionID, 0) << "exactly at the limit nothing goes";
    ASSERT_EQ(kept(store, followed(50, 1050)), true);
    auto records = store.load();
    ASSERT_EQ(records.size(), FollowedSuggestionStore::capacity);
    EXPECT_EQ(records.front().suggestionID, 50);
    EXPECT_EQ(records.back().suggestionID, 1) << "one past it the oldest goes";
}

TEST_F(FollowedSuggestionStoreTest, UserNamesMakePlainFileNamesInOneFolderAnyLength)
{
    struct Case {
        std::string username;
        std::string fileName;
    };
    std::string longName(300, 'x');
    for (const Case& c :
        { Case { "demo", "demo.plist" }, Case { "../../etc/passwd", "%2E%2E%2F%2E%2E%2Fetc%2Fpasswd.plist" },
            Case { "", "%.plist" }, Case { longName, platform::safeFileName(longName) + ".plist" } }) {
        auto file = FollowedSuggestionStore::forUser(folder.path(), c.username).file();
        EXPECT_EQ(file, folder.path() / "FollowedSuggestions" / c.fileName) << c.username;
    }
    // A name longer than a file name may be is kept too.
    auto sneaky = FollowedSuggestionStore::forUser(folder.path(), "../x");
    ASSERT_EQ(kept(sneaky, followed(1, 1)), true);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "FollowedSuggestions" / "%2E%2E%2Fx.plist"));
    auto long_ = FollowedSuggestionStore::forUser(folder.path(), longName);
    ASSERT_EQ(kept(long_, followed(2, 2)), true);
    EXPECT_EQ(long_.load().size(), 1u);
}

TEST_F(FollowedSuggestionStoreTest, RecordsAreShownOnlyToTheUserTheFileNames)
{
    ASSERT_EQ(kept(store, followed(1083, 1792036800)), true);
    EXPECT_NE(folder.read("FollowedSuggestions/demo.plist").find("<key>user</key>\n\t<string>demo</string>"),
        std::string::npos)
        << folder.read("FollowedSuggestions/demo.plist");
    // The file of demo under sam's name (copied, or two names that meet).
    std::filesystem::copy_file(folder / "FollowedSuggestions/demo.plist", folder / "FollowedSuggestions/sam.plist");
    auto sam = FollowedSuggestionStore::forUser(folder.path(), "sam");
    EXPECT_TRUE(sam.load().empty());
    EXPECT_TRUE(logs.contains("belong to another user"));
    ASSERT_EQ(kept(sam, followed(7, 1792036900)), true);
    ASSERT_EQ(sam.load().size(), 1u) << "sam's own list starts afresh, without demo's";
    EXPECT_EQ(sam.load()[0].suggestionID, 7);

    // A file from before the files named their user is its name's user's.
    folder.write("FollowedSuggestions/anna.plist", R"(<plist version="1.0"><dict><key>followed</key><array>
<dict><key>suggestionID</key><integer>7</integer><key>text</key><string>t</string><key>deviceID</key><string>107</string><key>deviceName</key><string>TV</string><key>followedAt</key><real>1792036800</real></dict>
</array></dict></plist>)");
    EXPECT_EQ(FollowedSuggestionStore::forUser(folder.path(), "anna").load().size(), 1u);
}

TEST_F(FollowedSuggestionStoreTest, AnUnreadableFileIsLeftOutWithOneLogLineAndReplaced)
{
    const std::string valid = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>followed</key><array>
<dict><key>suggestionID</key><integer>7</integer><key>text</key><string>t</string><key>deviceID</key><string>107</string><key>deviceName</key><string>TV</string><key>followedAt</key><real>1792036800</real></dict>
<dict><key>suggestionID</key><string>8</string></dict>
<dict><key>suggestionID</key><integer>4294967296</integer><key>text</key><string>t</string><key>deviceID</key><string>1</string><key>deviceName</key><string>x</string><key>followedAt</key><real>1</real></dict>
<string>stray</string>
</array></dict></plist>)";
    struct Case {
        const char* what;
        std::string contents;
        std::size_t kept;
    };
    const Case cases[] = {
        { "not a property list", "<plist><dict><key>followed", 0 },
        { "binary junk", std::string("\0\1\2\3bplist", 10), 0 },
        { "another top level", R"(<plist version="1.0"><array/></plist>)", 0 },
        { "no list", R"(<plist version="1.0"><dict><key>followed</key><string>x</string></dict></plist>)", 0 },
        { "some records unreadable", valid, 1 },
    };
    for (const auto& c : cases) {
        logs.clear();
        folder.write("FollowedSuggestions/demo.plist", c.contents);
        auto records = store.load();
        EXPECT_EQ(records.size(), c.kept) << c.what;
        EXPECT_EQ(logs.lines().size(), 1u) << c.what;
        // The next follow writes a sound file again, with what could be read.
        ASSERT_EQ(kept(store, followed(1083, 1792100000)), true) << c.what;
        logs.clear();
        EXPECT_EQ(store.load().size(), c.kept + 1) << c.what;
        EXPECT_TRUE(logs.lines().empty()) << c.what;
    }
}

TEST_F(FollowedSuggestionStoreTest, AFileThatCannotBeWrittenIsReported)
{
    // A plain file where the folder should be: no one, root included, can
    // make the list's file there.
    folder.write("FollowedSuggestions", "in the way");
    EXPECT_EQ(kept(store, followed(1, 1)), false) << "nothing claimed kept";
    EXPECT_TRUE(logs.contains("Could not write property list"));
    EXPECT_TRUE(store.load().empty());
    EXPECT_EQ(folder.read("FollowedSuggestions"), "in the way");
}

TEST_F(FollowedSuggestionStoreTest, FollowsWhileTheDiskIsStuckBuildOnEachOtherAndLandInOneWrite)
{
    ASSERT_EQ(kept(store, followed(1, 1)), true);
    std::vector<bool> told;
    {
        platform::HeldFlushes stuck;
        store.record(followed(2, 2), [&](bool written) { told.push_back(written); });
        store.record(followed(3, 3), [&](bool written) { told.push_back(written); });
        loop.advance(60);
        EXPECT_TRUE(told.empty()) << "the tap does not wait for the disk, nor is told before it answers";
        ASSERT_EQ(store.load().size(), 3u) << "the second follow built on the first, read from the queue";
        EXPECT_EQ(platform::DiskWriter::shared().pendingCount(), 1u) << "one write for both";
    }
    loop.runPending();
    EXPECT_EQ(told, (std::vector<bool> { true, true }));
    platform::DiskWriter::shared().settle();
    auto onDisk = FollowedSuggestionStore::forUser(folder.path(), "demo").load();
    ASSERT_EQ(onDisk.size(), 3u);
    EXPECT_EQ(onDisk[0], followed(3, 3));
    EXPECT_EQ(onDisk[2], followed(1, 1));
}

TEST(Suggestion, KeepsTheIdentifierOfItsDevice)
{
    auto parse = [](const std::string& text) { return json::Decoder().parseUTF8String(text.data(), text.size()); };
    auto suggestion = parse(R"({"name":"Switch off","id":1051})");
    EXPECT_EQ(Suggestion::fromJSON(parse(R"({"id":105,"name":"TV","location":"Den"})"), suggestion)->deviceID, "105");
    EXPECT_EQ(Suggestion::fromJSON(parse(R"({"id":"tv-1","name":"TV"})"), suggestion)->deviceID, "tv-1");
    EXPECT_EQ(Suggestion::fromJSON(parse(R"({"name":"TV"})"), suggestion)->deviceID, "");
}
