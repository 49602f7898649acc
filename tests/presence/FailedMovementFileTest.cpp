#include "presence/FailedMovementFile.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/PropertyList.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace hestio;

namespace {

struct FailedMovementFileTest : ::testing::Test {
    test::TempDir profile;
    test::ScopedEnvironment environment { "HESTIO_PROFILE", profile.path().c_str() };
    test::LogCapture logs;

    /// Waits for the disk writer: what was queued is on the disk (or failed).
    static void written() { platform::DiskWriter::shared().settle(); }
};

}

TEST_F(FailedMovementFileTest, MissingFileIsAnEmptyListAndIsNotCreatedByATake)
{
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty());
    EXPECT_FALSE(FailedMovementFile::getLocationFromPlist());
    EXPECT_FALSE(std::filesystem::exists(FailedMovementFile::path()));
    EXPECT_EQ(FailedMovementFile::path().filename(), "failedLocationPosts.plist");
}

TEST_F(FailedMovementFileTest, EntriesLeaveInOrderAndAReAddGoesToTheEnd)
{
    FailedMovementFile::addLocationToPlist("A");
    FailedMovementFile::addLocationToPlist("B");
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "A", "B" }));
    EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), "A");
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "B" }));
    FailedMovementFile::addLocationToPlist("A");
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "B", "A" }));

    // The file is the XML property list other tools read.
    auto stored = platform::readPropertyList(FailedMovementFile::path());
    ASSERT_TRUE(stored);
    const auto* locations = stored->find("locations");
    ASSERT_TRUE(locations && locations->asArray());
    EXPECT_EQ(locations->asArray()->size(), 2u);
    EXPECT_EQ(logs.lines().front(), "location data: {\n}") << "the dictionary is logged before the change";
    EXPECT_EQ(logs.lines()[1], "location data: {\n    locations =     (\n        \"A\"\n    );\n}");
}

namespace {

std::string contentsOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// On the manual clock, so the kept copies' names are known.
struct FailedMovementFileOnTheClockTest : FailedMovementFileTest {
    test::TestRunLoop loop { platform::Date(1354752000.0 + 3600 * 10 + 60 * 15 + 7) }; // 2012-12-06 10:15:07 UTC
    std::filesystem::path folder = FailedMovementFile::path().parent_path();
};

}

TEST_F(FailedMovementFileOnTheClockTest, AnUnreadableFileIsKeptAsideWithTheTimeInItsNameNotOverwritten)
{
    const std::string cut = "<?xml version=\"1.0\"?><plist><dict><key>locations</key><array><string>cut sh";
    writeFile(FailedMovementFile::path(), cut);
    FailedMovementFile::addLocationToPlist("action=LEFT&title=Home&token=T");
    loop.runPending(); // the clock waits for the disk writer

    EXPECT_EQ(filesIn(folder),
        (std::vector<std::string> {
            "failedLocationPosts-unreadable-20121206-101507.plist", "failedLocationPosts.plist" }));
    EXPECT_EQ(contentsOf(folder / "failedLocationPosts-unreadable-20121206-101507.plist"), cut) << "kept byte for byte";
    EXPECT_EQ(
        FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "action=LEFT&title=Home&token=T" }));
    EXPECT_TRUE(logs.contains("The failed-movement file cannot be read (it is not a property list); it is kept as "
        + (folder / "failedLocationPosts-unreadable-20121206-101507.plist").string()));

    // Damaged again within the same second: a second copy, the first untouched.
    writeFile(FailedMovementFile::path(), "garbage");
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "failedLocationPosts-unreadable-20121206-101507-2.plist"));
    EXPECT_EQ(contentsOf(folder / "failedLocationPosts-unreadable-20121206-101507.plist"), cut);
}

TEST_F(FailedMovementFileOnTheClockTest, AFileOfAnotherShapeIsKeptAsideAndItsTextsCarriedOver)
{
    struct Case {
        const char* what;
        platform::PropertyListValue value;
        std::vector<std::string> carried;
        const char* problem;
    };
    using Array = platform::PropertyListValue::Array;
    using Dictionary = platform::PropertyListValue::Dictionary;
    Case cases[] = {
        { "a list at the top", platform::PropertyListValue(Array { "a=1" }), {}, "its top level is not a dictionary" },
        { "locations not a list", platform::PropertyListValue(Dictionary { { "locations", "a=1" } }), {},
            "\"locations\" is not a list" },
        { "a number among the texts",
            platform::PropertyListValue(Dictionary { { "locations", Array { "a=1", 7, "a=2" } } }), { "a=1", "a=2" },
            "an entry of \"locations\" is not a text" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loop.runPending(); // the last case's write is done
        std::filesystem::remove_all(folder);
        writeFile(FailedMovementFile::path(), platform::propertyListToXml(c.value));
        std::string original = contentsOf(FailedMovementFile::path());
        logs.clear();
        FailedMovementFile::addLocationToPlist("new");
        std::vector<std::string> expected = c.carried;
        expected.push_back("new");
        EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), expected);
        EXPECT_EQ(contentsOf(folder / "failedLocationPosts-unreadable-20121206-101507.plist"), original);
        EXPECT_TRUE(logs.contains(std::string("The failed-movement file cannot be read (") + c.problem + ")"));
    }
}

TEST_F(FailedMovementFileTest, AMovementThatCannotBeWrittenStaysInMemoryAndIsWrittenAtTheNextChance)
{
    FailedMovementFile::addLocationToPlist("a=1");
    written();
    std::filesystem::path folder = FailedMovementFile::path().parent_path();
    std::filesystem::path saved = folder.string() + ".saved";
    std::filesystem::rename(folder, saved);
    writeFile(folder.string(), ""); // the documents folder is a file: nothing can be written there

    FailedMovementFile::addLocationToPlist("a=2");
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=2" }))
        << "read from the queue while it is written";
    written();
    EXPECT_TRUE(logs.contains("A failed movement could not be written to the file; it is kept until the next chance"));
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=2" }))
        << "listed (and offered to the resend) while it waits";
    EXPECT_EQ(FailedMovementFile::firstFailedLocation(), "a=2");

    std::filesystem::remove(folder);
    std::filesystem::rename(saved, folder);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=1", "a=2" }));
    FailedMovementFile::addLocationToPlist("a=3");
    written();
    auto stored = platform::readPropertyList(FailedMovementFile::path());
    ASSERT_TRUE(stored);
    const auto* locations = stored->find("locations");
    ASSERT_TRUE(locations && locations->asArray());
    EXPECT_EQ(locations->asArray()->size(), 3u) << "the waiting one went into the file with the next";

    // Taken while it still waits in memory: it leaves memory, and is not
    // handed out a second time.
    std::filesystem::rename(folder, saved);
    writeFile(folder.string(), "");
    FailedMovementFile::addLocationToPlist("a=4");
    written();
    EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), "a=4");
    written();
    EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), std::nullopt);
    written();
    std::filesystem::remove(folder);
    std::filesystem::rename(saved, folder);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=1", "a=2", "a=3" }));
}

TEST_F(FailedMovementFileTest, AMovementOnItsWayIsInTheFileButNotOfferedForResendUntilItFails)
{
    FailedMovementFile::addLocationToPlist("old");
    FailedMovementFile::beginPosting("arrived");
    FailedMovementFile::beginPosting("left");
    auto raw = platform::readPropertyList(FailedMovementFile::path());
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->find("locations")->asArray()->size(), 3u) << "a process killed now still has both";
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "old" }));
    EXPECT_TRUE(FailedMovementFile::removeFirstFailedLocation("old"));
    EXPECT_EQ(FailedMovementFile::firstFailedLocation(), std::nullopt) << "the resend leaves them alone";
    EXPECT_FALSE(FailedMovementFile::removeFirstFailedLocation("arrived"));

    // Answered in reverse order: the refused or taken one leaves, the lost
    // one waits for the resend.
    FailedMovementFile::endPosting("left", FailedMovementFile::PostingOutcome::Answered);
    FailedMovementFile::endPosting("arrived", FailedMovementFile::PostingOutcome::NotDelivered);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "arrived" }));
    // An entry the resend took leaves wherever it stands: a posting that
    // failed meanwhile may have come before it.
    FailedMovementFile::beginPosting("again");
    FailedMovementFile::addLocationToPlist("late");
    ASSERT_EQ(FailedMovementFile::firstFailedLocation(), "arrived");
    FailedMovementFile::beginPosting("arrived2");
    FailedMovementFile::endPosting("again", FailedMovementFile::PostingOutcome::NotDelivered);
    EXPECT_TRUE(FailedMovementFile::removeFirstFailedLocation("late"));
    EXPECT_FALSE(FailedMovementFile::removeFirstFailedLocation("late"));
    EXPECT_FALSE(FailedMovementFile::removeFirstFailedLocation("arrived2")) << "on its way";
    FailedMovementFile::endPosting("arrived2", FailedMovementFile::PostingOutcome::Answered);
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "arrived", "again" }));
    EXPECT_TRUE(FailedMovementFile::moveFirstFailedLocationToEnd("arrived"));
    EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), "again");
    EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), "arrived");
    EXPECT_EQ(platform::readPropertyList(FailedMovementFile::path())->find("locations")->asArray()->size(), 0u);
}

TEST_F(FailedMovementFileTest, ConcurrentAddsAndTakesLoseNothing)
{
    for (int i = 0; i < 20; ++i)
        FailedMovementFile::addLocationToPlist("old" + std::to_string(i));
    std::vector<std::string> taken;
    std::thread resend([&] {
        while (auto entry = FailedMovementFile::getLocationFromPlist())
            taken.push_back(*entry);
    });
    for (int i = 0; i < 20; ++i)
        FailedMovementFile::addLocationToPlist("new" + std::to_string(i));
    resend.join();
    auto left = FailedMovementFile::getAllFailedLocations();
    std::size_t total = taken.size() + left.size();
    EXPECT_EQ(total, 40u) << "every entry was either taken once or is still there";
    std::set<std::string> seen(taken.begin(), taken.end());
    seen.insert(left.begin(), left.end());
    EXPECT_EQ(seen.size(), 40u);
    for (std::size_t i = 0; i + 1 < taken.size() && taken[i + 1].rfind("old", 0) == 0; ++i)
        EXPECT_EQ(taken[i], "old" + std::to_string(i)) << "oldest first";
}

TEST_F(FailedMovementFileTest, TheLoggedEntriesKeepTheirTokensOutOfTheLog)
{
    FailedMovementFile::addLocationToPlist("action=LEFT&title=Home&token=0123abcd");
    FailedMovementFile::addLocationToPlist("action=ARRIVED&title=Home&token=4567ef01");
    ASSERT_EQ(logs.lines().size(), 2u);
    EXPECT_EQ(logs.lines()[1],
        "location data: {\n    locations =     (\n        \"action=LEFT&title=Home&token=<redacted>\"\n    );\n}");
    EXPECT_FALSE(logs.contains("0123abcd"));
    // The file itself keeps the entries whole, for the resend.
    EXPECT_EQ(FailedMovementFile::getAllFailedLocations(),
        (std::vector<std::string> {
            "action=LEFT&title=Home&token=0123abcd", "action=ARRIVED&title=Home&token=4567ef01" }));
}

TEST_F(FailedMovementFileTest, WhileTheDiskIsStuckMovementsComeAndGoAndTheFileGetsTheLastListOnce)
{
    FailedMovementFile::addLocationToPlist("a=1");
    written();
    {
        platform::HeldFlushes stuck;
        FailedMovementFile::beginPosting("a=2");
        FailedMovementFile::addLocationToPlist("a=3");
        EXPECT_EQ(FailedMovementFile::getLocationFromPlist(), "a=1");
        FailedMovementFile::endPosting("a=2", FailedMovementFile::PostingOutcome::NotDelivered);
        EXPECT_EQ(FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "a=2", "a=3" }))
            << "read from the queue";
        EXPECT_EQ(platform::DiskWriter::shared().pendingCount(), 1u) << "one rewrite waits, the latest";
        auto onDisk = platform::parsePropertyList(contentsOf(FailedMovementFile::path()));
        ASSERT_TRUE(onDisk);
        EXPECT_EQ(onDisk->find("locations")->asArray()->size(), 1u) << "the disk still has the old file";
    }
    written();
    auto onDisk = platform::parsePropertyList(contentsOf(FailedMovementFile::path()));
    ASSERT_TRUE(onDisk);
    const auto& locations = *onDisk->find("locations")->asArray();
    ASSERT_EQ(locations.size(), 2u);
    EXPECT_EQ(*locations[0].asString(), "a=2");
    EXPECT_EQ(*locations[1].asString(), "a=3");
}
