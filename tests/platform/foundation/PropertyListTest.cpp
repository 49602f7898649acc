#include "platform/foundation/PropertyList.h"

#include "platform/foundation/DiskWriter.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sys/stat.h>

#include <plist/plist.h>

using hestio::platform::Date;
using hestio::platform::PropertyListValue;
using hestio::test::LogCapture;
using hestio::test::TempDir;

namespace {

PropertyListValue sample()
{
    PropertyListValue::Dictionary dictionary;
    dictionary["locations"] = PropertyListValue::Array { "lat=52.1&lon=4.3&token=abc", "second \"entry\" <&>" };
    dictionary["count"] = 42;
    dictionary["negative"] = std::int64_t(-5);
    dictionary["largest"] = std::numeric_limits<std::int64_t>::max();
    dictionary["smallest"] = std::numeric_limits<std::int64_t>::min();
    dictionary["ratio"] = 0.1;
    dictionary["tiny"] = 1e-300;
    dictionary["flag"] = true;
    dictionary["off"] = false;
    dictionary["when"] = Date(1351219767.0);
    dictionary["bytes"] = PropertyListValue::Data { 0, 1, 2, 254, 255 };
    dictionary["empty text"] = "";
    dictionary["key <with> & markup"] = "value";
    dictionary["unicode"] = "Caf\u00e9 \u2013 \u65e5\u672c";
    dictionary["nested"] = PropertyListValue::Dictionary { { "inner", PropertyListValue::Array {} } };
    return PropertyListValue(std::move(dictionary));
}

}

TEST(PropertyList, EveryKindOfValueSurvivesARoundTripThroughXml)
{
    PropertyListValue original = sample();
    std::string xml = hestio::platform::propertyListToXml(original);
    EXPECT_NE(xml.find("<?xml"), std::string::npos);
    EXPECT_NE(xml.find("<string>second \"entry\" &lt;&amp;&gt;</string>"), std::string::npos) << xml;
    auto parsed = hestio::platform::parsePropertyList(xml);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, original) << xml;

    const auto* locations = parsed->find("locations");
    ASSERT_TRUE(locations && locations->asArray());
    EXPECT_EQ(*locations->asArray()->at(1).asString(), "second \"entry\" <&>");
    EXPECT_EQ(parsed->find("negative")->asInteger(), -5);
    EXPECT_EQ(parsed->find("when")->asDate(), Date(1351219767.0));
    EXPECT_EQ(parsed->find("missing"), nullptr);
    EXPECT_EQ(parsed->find("count")->find("x"), nullptr);
}

TEST(PropertyList, ReadsTheXmlOfTheFailedMovementFile)
{
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>locations</key>
	<array>
		<string>A</string>
		<string>B</string>
	</array>
</dict>
</plist>
)";
    auto parsed = hestio::platform::parsePropertyList(xml);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed,
        PropertyListValue(PropertyListValue::Dictionary { { "locations", PropertyListValue::Array { "A", "B" } } }));
}

TEST(PropertyList, ReadsBinaryPropertyLists)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "title", plist_new_string("Home"));
    plist_dict_set_item(root, "userID", plist_new_uint(7));
    char* binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    std::string bytes(binary, length);
    plist_to_bin_free(binary);
    plist_free(root);

    auto parsed = hestio::platform::parsePropertyList(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed->find("title")->asString(), "Home");
    EXPECT_EQ(parsed->find("userID")->asInteger(), 7);
}

TEST(PropertyList, RejectsWhatIsNotAPropertyList)
{
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    const char* notAList = "the file is not a property list";
    const Case cases[] = {
        { "empty", "", "the file is empty" },
        { "text", "just some text", notAList },
        { "json", R"({"locations": ["A"]})", notAList },
        { "truncated", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>b", notAList },
        { "binary header only", "bplist00", notAList },
        { "zero bytes", std::string(16, '\0'), notAList },
    };
    for (const Case& c : cases) {
        auto parsed = hestio::platform::parsePropertyList(c.bytes);
        ASSERT_FALSE(parsed) << c.name;
        EXPECT_EQ(parsed.error().message(), c.reason) << c.name;
    }
}

TEST(PropertyList, MissingFileReadsAsNothingWithoutALogLine)
{
    TempDir dir;
    LogCapture capture;
    EXPECT_FALSE(hestio::platform::readPropertyList(dir / "absent.plist"));
    EXPECT_TRUE(hestio::platform::readPropertyListDictionary(dir / "absent.plist").empty());
    EXPECT_TRUE(capture.lines().empty());
}

TEST(PropertyList, CorruptOrUnreadableFilesReadAsEmptyWithOneLogLine)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::function<std::filesystem::path()> make;
    };
    const Case cases[] = {
        { "garbage", [&] { return dir.write("garbage.plist", "\x01\x02 not xml"); } },
        { "empty", [&] { return dir.write("empty.plist", ""); } },
        { "half written", [&] { return dir.write("half.plist", "<?xml version=\"1.0\"?><plist><dict><key>x"); } },
        { "array at top",
            [&] { return dir.write("array.plist", "<plist><array><string>A</string></array></plist>"); } },
        { "a folder",
            [&] {
                std::filesystem::create_directories(dir / "folder.plist");
                return dir / "folder.plist";
            } },
    };
    for (const Case& c : cases) {
        auto file = c.make();
        LogCapture capture;
        EXPECT_TRUE(hestio::platform::readPropertyListDictionary(file).empty()) << c.name;
        ASSERT_EQ(capture.lines().size(), 1u) << c.name;
        EXPECT_TRUE(capture.contains("Could not read property list " + file.string() + ": ")) << capture.lines()[0];
    }
}

TEST(PropertyList, WriteReplacesTheFileAtomicallyAndLeavesNoTemporaryFile)
{
    TempDir dir;
    auto file = dir / "config" / "failedLocationPosts.plist"; // the folder does not exist yet
    PropertyListValue first(PropertyListValue::Dictionary { { "locations", PropertyListValue::Array { "A" } } });
    ASSERT_TRUE(hestio::platform::writePropertyList(file, first));
    EXPECT_EQ(hestio::platform::readPropertyList(file), first);
    hestio::platform::DiskWriter::shared().settle();

    // A reader that opened the old file keeps seeing all of it: the new
    // contents arrive as a new file, not by rewriting the old one in place.
    std::ifstream oldReader(file, std::ios::binary);
    struct stat before { };
    ::stat(file.c_str(), &before);

    PropertyListValue second = sample();
    ASSERT_TRUE(hestio::platform::writePropertyList(file, second));
    EXPECT_EQ(hestio::platform::readPropertyList(file), second);
    hestio::platform::DiskWriter::shared().settle();
    std::string oldContents((std::istreambuf_iterator<char>(oldReader)), std::istreambuf_iterator<char>());
    auto old = hestio::platform::parsePropertyList(oldContents);
    ASSERT_TRUE(old);
    EXPECT_EQ(*old, first);
    struct stat after { };
    ::stat(file.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, (std::vector<std::string> { "failedLocationPosts.plist" }));
}

TEST(PropertyList, FailedWriteKeepsTheOldStateAndSaysSo)
{
    TempDir dir;
    // A folder where the file should be: the final rename cannot replace it.
    std::filesystem::create_directories(dir / "blocked.plist" / "inside");
    // Queued at once; the failure is told when the writer comes to it.
    auto written = [](const std::filesystem::path& file) {
        std::optional<bool> told;
        EXPECT_TRUE(hestio::platform::writePropertyList(file, sample(), [&](bool ok) { told = ok; }));
        hestio::platform::DiskWriter::shared().settle();
        return told;
    };
    {
        LogCapture capture;
        EXPECT_EQ(written(dir / "blocked.plist"), false);
        ASSERT_EQ(capture.lines().size(), 1u);
        EXPECT_TRUE(capture.contains("Could not write property list " + (dir / "blocked.plist").string()));
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "blocked.plist" / "inside"));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "the temporary file was removed";

    // A plain file where a folder should be.
    dir.write("notafolder", "x");
    LogCapture capture;
    EXPECT_EQ(written(dir / "notafolder" / "file.plist"), false);
    EXPECT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(dir.read("notafolder"), "x");
}

TEST(PropertyList, RefusesNestingBeyondAnyRealFile)
{
    std::string deep;
    for (int i = 0; i < 300; ++i)
        deep += "<array>";
    for (int i = 0; i < 300; ++i)
        deep += "</array>";
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">" + deep + "</plist>";
    EXPECT_FALSE(hestio::platform::parsePropertyList(xml));
}
