#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Profile.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

using hestio::platform::DiskWriter;
using hestio::platform::HeldFlushes;
using hestio::platform::Profile;
using hestio::platform::PropertyListValue;
using hestio::platform::UserDefaults;
using hestio::test::LogCapture;
using hestio::test::ScopedEnvironment;
using hestio::test::TempDir;
using hestio::test::TestRunLoop;

TEST(UserDefaults, StringsAndIntegersPersistAcrossInstances)
{
    TempDir dir;
    auto file = dir / "config" / "UserDefaults.plist";
    {
        UserDefaults defaults(file);
        EXPECT_FALSE(defaults.stringForKey("username"));
        EXPECT_EQ(defaults.integerForKey("userID"), 0);
        defaults.setObject("demo", "username");
        defaults.setObject("Home", "title");
        defaults.setInteger(1234567890123, "userID");
        EXPECT_EQ(defaults.stringForKey("username"), "demo");
    }
    UserDefaults reopened(file);
    EXPECT_EQ(reopened.stringForKey("username"), "demo");
    EXPECT_EQ(reopened.stringForKey("title"), "Home");
    EXPECT_EQ(reopened.integerForKey("userID"), 1234567890123);
    auto onDisk = hestio::platform::readPropertyListDictionary(file);
    EXPECT_EQ(onDisk.size(), 3u);
    EXPECT_EQ(*onDisk.at("username").asString(), "demo");
}

TEST(UserDefaults, RemoveForgetsTheKeyOnDisk)
{
    TempDir dir;
    auto file = dir / "UserDefaults.plist";
    UserDefaults defaults(file);
    defaults.setObject("demo", "username");
    defaults.setObject("Home", "title");
    defaults.removeObjectForKey("username");
    defaults.removeObjectForKey("never set");
    EXPECT_FALSE(defaults.stringForKey("username"));
    UserDefaults reopened(file);
    EXPECT_FALSE(reopened.stringForKey("username"));
    EXPECT_EQ(reopened.stringForKey("title"), "Home");
}

TEST(UserDefaults, ConvertsBetweenTextAndIntegersLikeTheCallersExpect)
{
    TempDir dir;
    UserDefaults defaults(dir / "UserDefaults.plist");
    struct Case {
        PropertyListValue stored;
        std::optional<std::string> asString;
        std::int64_t asInteger;
    };
    const Case cases[] = {
        { "42", "42", 42 },
        { " -7 apples", " -7 apples", -7 },
        { "+3", "+3", 3 },
        { "apples", "apples", 0 },
        { "", "", 0 },
        { 42, "42", 42 },
        { 2.9, std::nullopt, 2 },
        { true, std::nullopt, 1 },
        { PropertyListValue::Array { "x" }, std::nullopt, 0 },
    };
    for (const Case& c : cases) {
        defaults.setObject(c.stored, "key");
        EXPECT_EQ(defaults.stringForKey("key"), c.asString) << hestio::platform::propertyListToXml(c.stored);
        EXPECT_EQ(defaults.integerForKey("key"), c.asInteger) << hestio::platform::propertyListToXml(c.stored);
    }
}

TEST(UserDefaults, CorruptFileReadsAsEmptyWithOneLogLineAndIsThenReplaced)
{
    TempDir dir;
    auto file = dir.write("UserDefaults.plist", "<?xml version=\"1.0\"?><plist><dict><key>username</key><str");
    LogCapture capture;
    UserDefaults defaults(file);
    EXPECT_FALSE(defaults.stringForKey("username"));
    EXPECT_FALSE(defaults.stringForKey("title"));
    EXPECT_EQ(capture.lines().size(), 1u);
    defaults.setObject("demo", "username");
    EXPECT_EQ(UserDefaults(file).stringForKey("username"), "demo");
    EXPECT_EQ(capture.lines().size(), 1u);
}

TEST(UserDefaults, SynchronizeToldOnTheLoopPicksUpChangesFromElsewhereAndRetriesFailedWrites)
{
    TestRunLoop loop;
    // What synchronize() tells, once the loop has run; none before.
    auto synchronized = [&](UserDefaults& defaults) {
        std::optional<bool> told;
        defaults.synchronize([&](bool stored) { told = stored; });
        EXPECT_FALSE(told) << "told on the loop, never within the call";
        loop.runPending();
        return told;
    };
    TempDir dir;
    auto file = dir / "UserDefaults.plist";
    UserDefaults first(file);
    UserDefaults second(file);
    first.setObject("demo", "username");
    EXPECT_EQ(second.stringForKey("username"), "demo"); // read on first use
    first.setObject("other", "username");
    EXPECT_EQ(second.stringForKey("username"), "demo"); // kept in memory
    EXPECT_EQ(synchronized(second), true);
    EXPECT_EQ(second.stringForKey("username"), "other");

    {
        // A disk that does not answer: the caller is told nothing, and does
        // not wait, until it does.
        HeldFlushes stuck;
        std::optional<bool> told;
        first.setObject("third", "username");
        first.synchronize([&](bool stored) { told = stored; });
        loop.advance(60);
        EXPECT_FALSE(told);
        EXPECT_EQ(UserDefaults(file).stringForKey("username"), "third") << "read from the queue";
        DiskWriter::shared().releaseFlushes();
        loop.runPending();
        EXPECT_EQ(told, true);
    }

    // A write that fails keeps the value in memory, says so, and is retried.
    TempDir blocked;
    std::filesystem::create_directories(blocked / "UserDefaults.plist");
    UserDefaults stuck(blocked / "UserDefaults.plist");
    {
        LogCapture capture;
        stuck.setObject("demo", "username");
        EXPECT_EQ(stuck.stringForKey("username"), "demo");
        EXPECT_EQ(synchronized(stuck), false);
        EXPECT_EQ(stuck.stringForKey("username"), "demo") << "not read over by the file";
        EXPECT_GE(capture.lines().size(), 2u);
    }
    std::filesystem::remove_all(blocked / "UserDefaults.plist");
    EXPECT_EQ(synchronized(stuck), true);
    EXPECT_EQ(UserDefaults(blocked / "UserDefaults.plist").stringForKey("username"), "demo");
}

TEST(UserDefaults, StandardDefaultsLiveInTheCurrentProfile)
{
    TempDir first;
    TempDir second;
    {
        ScopedEnvironment profile("HESTIO_PROFILE", first.path().c_str());
        UserDefaults::standard().setObject("demo", "username");
        EXPECT_EQ(UserDefaults::standard().file(), first / "config" / "UserDefaults.plist");
        hestio::platform::DiskWriter::shared().settle();
        EXPECT_TRUE(std::filesystem::exists(first / "config" / "UserDefaults.plist"));
    }
    ScopedEnvironment profile("HESTIO_PROFILE", second.path().c_str());
    EXPECT_FALSE(UserDefaults::standard().stringForKey("username"));
}

TEST(Profile, OneFolderOrTheXdgFolders)
{
    TempDir dir;
    {
        ScopedEnvironment profile("HESTIO_PROFILE", dir.path().c_str());
        Profile current = Profile::current();
        EXPECT_EQ(current.configDirectory(), dir / "config");
        EXPECT_EQ(current.dataDirectory(), dir / "data");
        EXPECT_EQ(current.documentsDirectory(), dir / "Documents");
        EXPECT_EQ(current.cacheDirectory(), dir / "cache");
        EXPECT_TRUE(current.createDirectories());
        EXPECT_TRUE(std::filesystem::is_directory(dir / "Documents"));
    }
    ScopedEnvironment noProfile("HESTIO_PROFILE", nullptr);
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "/xdg/config");
        ScopedEnvironment data("XDG_DATA_HOME", "relative/is/ignored");
        Profile current = Profile::current();
        EXPECT_EQ(current.configDirectory(), "/xdg/config/hestio");
        EXPECT_EQ(current.dataDirectory(), "/home/someone/.local/share/hestio");
        EXPECT_EQ(current.documentsDirectory(), "/home/someone/.local/share/hestio/Documents");
        EXPECT_EQ(current.cacheDirectory(), "/home/someone/.cache/hestio");
    }
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(Profile::current().configDirectory(), "/home/someone/.config/hestio");
    ScopedEnvironment cache("XDG_CACHE_HOME", "/xdg/cache");
    EXPECT_EQ(Profile::current().cacheDirectory(), "/xdg/cache/hestio");
}

TEST(Profile, RelativeProfileFolderIsMadeAbsoluteAndUncreatableFoldersAreReported)
{
    Profile relative = Profile::inFolder("demo-profile");
    EXPECT_TRUE(relative.configDirectory().is_absolute());
    TempDir dir;
    dir.write("file", "x");
    LogCapture capture;
    EXPECT_FALSE(Profile::inFolder(dir / "file").createDirectories());
    EXPECT_EQ(capture.lines().size(), 1u);
}

TEST(Profile, FoldersItMakesAreForTheOwnerOnly)
{
    TempDir dir;
    auto permissionsOf = [](const std::filesystem::path& path) {
        return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
    };
    std::filesystem::permissions(dir.path(),
        std::filesystem::perms::owner_all | std::filesystem::perms::group_read | std::filesystem::perms::group_exec
            | std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const auto before = permissionsOf(dir.path());
    ASSERT_TRUE(Profile::inFolder(dir / "made" / "profile").createDirectories());
    for (const char* made :
        { "made", "made/profile", "made/profile/config", "made/profile/data", "made/profile/Documents" })
        EXPECT_EQ(permissionsOf(dir / made), std::filesystem::perms::owner_all) << made;
    EXPECT_EQ(permissionsOf(dir.path()), before) << "a folder that was there is left as it was";

    // A Documents folder left readable by everyone is made private again.
    std::filesystem::permissions(dir / "made" / "profile" / "Documents", std::filesystem::perms::all);
    ASSERT_TRUE(Profile::inFolder(dir / "made" / "profile").createDirectories());
    EXPECT_EQ(permissionsOf(dir / "made" / "profile" / "Documents"), std::filesystem::perms::owner_all);
}
