#include "platform/foundation/NewFiles.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using hestio::platform::FileWriteFailure;
using hestio::platform::NewFile;
using hestio::platform::writeNewFiles;
using hestio::test::TempDir;

namespace {

std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// Files may grow to `bytes` only while it lives: a write beyond fails with
/// EFBIG, as one fails on a full disk with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous {};
    void (*m_previousHandler)(int);
};

}

TEST(NewFiles, WritesEveryFileWholeUnderTheStemInAFolderItMakes)
{
    TempDir dir;
    auto folder = dir.path() / "Documents" / "Hestio";
    auto result = writeNewFiles(folder, "home-energy-2026-11-30", { { ".csv", "time\r\n" }, { ".png", "\x89PNG" } });
    ASSERT_TRUE(result.succeeded());
    EXPECT_EQ(result.paths,
        (std::vector<std::filesystem::path> {
            folder / "home-energy-2026-11-30.csv", folder / "home-energy-2026-11-30.png" }));
    EXPECT_EQ(dir.read("Documents/Hestio/home-energy-2026-11-30.csv"), "time\r\n");
    EXPECT_EQ(dir.read("Documents/Hestio/home-energy-2026-11-30.png"), "\x89PNG");
    // No hidden file is left behind.
    EXPECT_EQ(
        namesIn(folder), (std::vector<std::string> { "home-energy-2026-11-30.csv", "home-energy-2026-11-30.png" }));
    // The household's data: the owner's only, in a folder only the owner
    // can open; the folders above it keep their usual permissions.
    using std::filesystem::perms;
    for (const auto& path : result.paths)
        EXPECT_EQ(std::filesystem::status(path).permissions(), perms::owner_read | perms::owner_write);
    EXPECT_EQ(std::filesystem::status(folder).permissions(), perms::owner_all);
    mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(folder.parent_path()).permissions(), static_cast<perms>(0777 & ~mask));
}

TEST(NewFiles, NeverReplacesAFileAndKeepsTheSetUnderOneStem)
{
    struct Case {
        const char* what;
        std::vector<std::string> existing;
        const char* stem;
    };
    const Case cases[] = {
        { "nothing there", {}, "day" },
        { "the CSV there", { "day.csv" }, "day (2)" },
        { "only the PNG there", { "day.png" }, "day (2)" },
        { "both, and the second PNG", { "day.csv", "day.png", "day (2).png" }, "day (3)" },
        { "a folder of that name", { "day.csv/inside" }, "day (2)" },
        { "other days do not matter", { "day-1.csv", "daytime.png" }, "day" },
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& name : c.existing)
            dir.write("out/" + name, "old " + name);
        auto result = writeNewFiles(dir / "out", "day", { { ".csv", "new csv" }, { ".png", "new png" } });
        ASSERT_TRUE(result.succeeded()) << c.what;
        EXPECT_EQ(result.paths[0], dir / "out" / (std::string(c.stem) + ".csv")) << c.what;
        EXPECT_EQ(result.paths[1], dir / "out" / (std::string(c.stem) + ".png")) << c.what;
        EXPECT_EQ(dir.read("out/" + std::string(c.stem) + ".csv"), "new csv") << c.what;
        for (const auto& name : c.existing)
            EXPECT_EQ(dir.read("out/" + name), "old " + name) << c.what << ": " << name << " was changed";
    }
}

TEST(NewFiles, AFileWhereTheFolderShouldBeIsAClearFailureAndNothingIsWritten)
{
    for (const char* folder : { "Hestio", "Documents/Hestio" }) {
        TempDir dir;
        auto inTheWay = dir.write(std::filesystem::path(folder).begin()->string(), "a file");
        auto result = writeNewFiles(dir / folder, "day", { { ".csv", "x" } });
        ASSERT_FALSE(result.succeeded()) << folder;
        EXPECT_EQ(result.failure->step, FileWriteFailure::Step::CreateFolder) << folder;
        EXPECT_EQ(result.failure->path, dir / folder) << folder;
        EXPECT_TRUE(result.failure->error == ENOTDIR || result.failure->error == EEXIST) << result.failure->error;
        EXPECT_TRUE(result.paths.empty());
        EXPECT_EQ(dir.read(inTheWay.filename().string()), "a file");
    }
}

TEST(NewFiles, AWriteThatFailsLeavesNoFileBehindNorAHalfOne)
{
    TempDir dir;
    dir.write("out/day.csv", "kept");
    std::string large(64 * 1024, 'x');
    {
        FileSizeLimit limit(16 * 1024);
        // The CSV fits, the PNG does not: neither may appear.
        auto result = writeNewFiles(dir / "out", "day", { { ".csv", "small" }, { ".png", large } });
        ASSERT_FALSE(result.succeeded());
        EXPECT_EQ(result.failure->step, FileWriteFailure::Step::Write);
        EXPECT_EQ(result.failure->error, EFBIG);
        EXPECT_EQ(result.failure->path, dir / "out" / "day.png");
    }
    EXPECT_EQ(namesIn(dir / "out"), (std::vector<std::string> { "day.csv" }));
    EXPECT_EQ(dir.read("out/day.csv"), "kept");
}

TEST(NewFiles, AFolderWithoutWritePermissionIsAClearFailure)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    TempDir dir;
    std::filesystem::create_directories(dir / "locked");
    std::filesystem::permissions(
        dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    auto result = writeNewFiles(dir / "locked", "day", { { ".csv", "x" } });
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
    ASSERT_FALSE(result.succeeded());
    EXPECT_EQ(result.failure->step, FileWriteFailure::Step::Write);
    EXPECT_EQ(result.failure->error, EACCES);
    EXPECT_TRUE(namesIn(dir / "locked").empty());
}

TEST(NewFiles, NumbersStemsFromTheSecond)
{
    EXPECT_EQ(hestio::platform::numberedStem("day", 1), "day");
    EXPECT_EQ(hestio::platform::numberedStem("day", 2), "day (2)");
    EXPECT_EQ(hestio::platform::numberedStem("day", 10), "day (10)");
    TempDir dir;
    auto result = writeNewFiles(dir.path(), "day", {});
    EXPECT_TRUE(result.succeeded());
    EXPECT_TRUE(result.paths.empty());
}
