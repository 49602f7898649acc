#include "presence/FailedMovementFile.h"

#include "platform/foundation/PropertyList.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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

TEST_F(FailedMovementFileTest, DamagedFileReadsAsEmptyAndIsReplacedWhole)
{
    std::filesystem::create_directories(FailedMovementFile::path().parent_path());
    {
        std::ofstream out(FailedMovementFile::path());
        out << "<?xml version=\"1.0\"?><plist><dict><key>locations</key><array><string>cut sh";
    }
    EXPECT_TRUE(FailedMovementFile::getAllFailedLocations().empty());
    FailedMovementFile::addLocationToPlist("action=LEFT&title=Home&token=T");
    EXPECT_EQ(
        FailedMovementFile::getAllFailedLocations(), (std::vector<std::string> { "action=LEFT&title=Home&token=T" }));
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
