#include "platform/foundation/PrivateFiles.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace hestio::platform;
using hestio::test::TempDir;

namespace {

unsigned modeOf(const std::filesystem::path& path)
{
    struct stat status { };
    if (::lstat(path.c_str(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

}

TEST(PrivateFiles, ANameBecomesOneSafeFileNameCutWithAHashPastTheLimit)
{
    const struct {
        std::string name;
        std::string file;
    } cases[] = {
        { "demo", "demo" },
        { "a-b_C9", "a-b_C9" },
        { "..", "%2E%2E" },
        { "a/b", "a%2Fb" },
        { "", "%" },
        { "Zoë", "Zo%C3%AB" },
        { "%2E", "%252E" },
        { " ", "%20" },
        { std::string(longestFileNameStem, 'x'), std::string(longestFileNameStem, 'x') },
    };
    for (const auto& c : cases)
        EXPECT_EQ(safeFileName(c.name), c.file) << c.name;

    // One byte past the limit: cut there, and a hash keeps it apart from
    // every other name cut the same way.
    std::string past(longestFileNameStem + 1, 'x');
    std::string cut = safeFileName(past);
    EXPECT_EQ(cut.substr(0, longestFileNameStem), std::string(longestFileNameStem, 'x'));
    EXPECT_EQ(cut.size(), longestFileNameStem + 17);
    EXPECT_NE(cut, safeFileName(past + "x"));
    // Escapes count: 60 "é" are 240 escaped bytes.
    std::string accents;
    for (int i = 0; i < 60; ++i)
        accents += "é";
    EXPECT_EQ(safeFileName(accents).size(), longestFileNameStem + 17);
    EXPECT_LT(safeFileName(std::string(10000, '/')).size() + std::string(".plist").size(), 255u);
}

TEST(PrivateFiles, FoldersAreMadeOwnerOnlyAndAnExistingOneIsTightenedOnlyWhenAsked)
{
    TempDir dir;
    mode_t umask = ::umask(0);
    ASSERT_TRUE(makePrivateFolder(dir / "a/b/c", ExistingFolder::Keep));
    ::umask(umask);
    EXPECT_EQ(modeOf(dir / "a/b/c"), 0700u) << "whatever the umask";

    std::filesystem::create_directory(dir / "open");
    ::chmod((dir / "open").c_str(), 0755);
    ASSERT_TRUE(makePrivateFolder(dir / "open", ExistingFolder::Keep));
    EXPECT_EQ(modeOf(dir / "open"), 0755u) << "the user's own choice stays";
    ASSERT_TRUE(makePrivateFolder(dir / "open", ExistingFolder::Tighten));
    EXPECT_EQ(modeOf(dir / "open"), 0700u);

    dir.write("file", "in the way");
    Status blocked = makePrivateFolder(dir / "file", ExistingFolder::Tighten);
    ASSERT_FALSE(blocked);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(dir.read("file"), "in the way");
}

TEST(PrivateFiles, AReplacedFileIsOwnerOnlyAndALinkPlantedAtItsNameIsReplacedNotFollowed)
{
    TempDir dir;
    auto victim = dir.write("victim", "untouched");
    std::filesystem::create_symlink(victim, dir / "secret");
    mode_t umask = ::umask(0);
    ASSERT_TRUE(replaceFile(dir / "secret", "new"));
    ::umask(umask);
    EXPECT_EQ(dir.read("victim"), "untouched");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "secret"));
    EXPECT_EQ(dir.read("secret"), "new");
    EXPECT_EQ(modeOf(dir / "secret"), 0600u);
}

TEST(PrivateFiles, ReadingRefusesPipesAndLinksWithoutBlockingAndStopsAtTheLimit)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    auto pipe = readPrivateFile(dir / "pipe", 100);
    ASSERT_FALSE(pipe) << "a pipe nobody writes to would block for ever";
    EXPECT_EQ(pipe.error().message(), "it is not a regular file");

    auto target = dir.write("target", "secret");
    std::filesystem::create_symlink(target, dir / "link");
    auto link = readPrivateFile(dir / "link", 100);
    ASSERT_FALSE(link);
    EXPECT_EQ(link.error().message(), "it is a symbolic link");

    auto missing = readPrivateFile(dir / "missing", 100);
    ASSERT_TRUE(missing);
    EXPECT_FALSE(*missing);

    // A planted 300 MB file (sparse: it takes no room) is read to the limit only.
    {
        auto large = dir / "large";
        dir.write("large", "header\n");
        std::filesystem::resize_file(large, 300u * 1024 * 1024);
    }
    auto large = readPrivateFile(dir / "large", 7);
    ASSERT_TRUE(large && *large);
    EXPECT_EQ((*large)->bytes, "header\n");
    EXPECT_EQ((*large)->size, 300u * 1024 * 1024);

    auto whole = readPrivateFile(dir / "target", 6);
    ASSERT_TRUE(whole && *whole);
    EXPECT_EQ((*whole)->bytes, "secret");
    EXPECT_EQ((*whole)->size, 6u) << "at the limit: all of it";
}
