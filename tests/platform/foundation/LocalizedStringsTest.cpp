#include "platform/foundation/LocalizedStrings.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using hestio::platform::LocalizedStrings;
using hestio::test::LogCapture;

TEST(LocalizedStrings, ReadsEntriesWithEscapesAndFallsBackToTheKey)
{
    LogCapture capture;
    auto table = LocalizedStrings::parse("// a comment\n"
                                         "\n"
                                         "\"OK\" = \"Okay\";\n"
                                         "  \"Quote\"=\"say \\\"hi\\\"\" ;  // trailing comment\n"
                                         "\"Lines\" = \"one\\ntwo\\ttab \\\\ slash\";\r\n"
                                         "\"Caf\u00e9\" = \"Caf\u00e9 \u2013 open\";\n"
                                         "\"OK\" = \"Later wins\";");
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(table.size(), 4u);
    EXPECT_EQ(table.lookup("OK"), "Later wins");
    EXPECT_EQ(table.lookup("Quote"), "say \"hi\"");
    EXPECT_EQ(table.lookup("Lines"), "one\ntwo\ttab \\ slash");
    EXPECT_EQ(table.lookup("Caf\u00e9"), "Caf\u00e9 \u2013 open");
    EXPECT_EQ(table.lookup("Network Failure!"), "Network Failure!");
    EXPECT_EQ(table.lookup(""), "");
}

TEST(LocalizedStrings, MalformedLinesAreSkippedWithTheirLineNumber)
{
    LogCapture capture;
    auto table = LocalizedStrings::parse("\"good\" = \"yes\";\n"
                                         "\"no semicolon\" = \"x\"\n"
                                         "unquoted = \"x\";\n"
                                         "\"unterminated = \"x\";\n"
                                         "\"bad escape\" = \"\\q\";\n"
                                         "\"extra\" = \"x\"; junk\n"
                                         "\"also good\" = \"yes\";",
        "en.strings");
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.lookup("also good"), "yes");
    EXPECT_EQ(capture.lines(),
        (std::vector<std::string> {
            "en.strings:2: not a \"key\" = \"value\"; line, skipped",
            "en.strings:3: not a \"key\" = \"value\"; line, skipped",
            "en.strings:4: not a \"key\" = \"value\"; line, skipped",
            "en.strings:5: not a \"key\" = \"value\"; line, skipped",
            "en.strings:6: not a \"key\" = \"value\"; line, skipped",
        }));
}

TEST(LocalizedStrings, SharedTableComesFromTheAssets)
{
    hestio::test::TempDir dir;
    EXPECT_EQ(LocalizedStrings::load(dir / "missing.strings").size(), 0u);
    // The shipped table parses cleanly.
    LogCapture capture;
    auto shipped = LocalizedStrings::load(std::filesystem::path(HESTIO_SOURCE_DIR) / "assets/strings/en.strings");
    EXPECT_GT(shipped.size(), 0u);
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(hestio::platform::localizedString("OK"), "OK");
    EXPECT_EQ(hestio::platform::localizedString("No such key"), "No such key");
}

TEST(LocalizedStrings, TablesAreReadFromTheAssetsFolderWhateverTheWorkingDirectory)
{
    const char* given = std::getenv("HESTIO_ASSETS");
    std::string saved = given ? given : "";
    setenv("HESTIO_ASSETS", "/somewhere/assets", 1);
    EXPECT_EQ(LocalizedStrings::folder(), std::filesystem::path("/somewhere/assets/strings"));
    unsetenv("HESTIO_ASSETS");
    // Not "assets/strings" relative to wherever the program was started.
    EXPECT_EQ(LocalizedStrings::folder(), std::filesystem::path(HESTIO_SOURCE_DIR) / "assets" / "strings");
    EXPECT_TRUE(std::filesystem::is_regular_file(LocalizedStrings::folder() / "en.strings"));
    if (given)
        setenv("HESTIO_ASSETS", saved.c_str(), 1);
}
