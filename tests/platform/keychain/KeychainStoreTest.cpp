#include "platform/foundation/DiskWriter.h"
#include "platform/keychain/FileKeychain.h"
#include "platform/keychain/InMemoryKeychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using namespace hestio::platform;
namespace status = hestio::platform::keychain_status;

namespace {

KeychainItem item(std::string account, std::string data, std::string service = "kivora")
{
    return { account, service, service, data, true };
}

KeychainQuery query(std::string account, std::string service = "kivora")
{
    return { account, service, std::nullopt };
}

std::filesystem::path scratchFile(const char* name)
{
    auto dir = std::filesystem::temp_directory_path() / ("hestio-keychain-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto path = dir / name;
    std::filesystem::remove(path);
    return path;
}

}

TEST(ItemTable, AddLooksUpUpdatesAndRemovesByAccountAndService)
{
    InMemoryKeychain store;
    EXPECT_EQ(store.add(item("demo", "secret")), status::success);
    EXPECT_EQ(store.add(item("demo", "other")), status::duplicateItem);
    EXPECT_EQ(store.add(item("demo", "x", "elsewhere")), status::success);

    KeychainItem attributes;
    EXPECT_EQ(store.copyAttributes(query("demo"), &attributes), status::success);
    EXPECT_EQ(attributes.account, "demo");
    EXPECT_EQ(attributes.label, "kivora");
    EXPECT_TRUE(attributes.data.empty()) << "an attribute lookup carries no secret";

    std::optional<std::string> data;
    EXPECT_EQ(store.copyData(query("demo"), &data), status::success);
    EXPECT_EQ(data, "secret");

    EXPECT_EQ(store.update({ "demo", "kivora", "kivora" }, "changed"), status::success);
    EXPECT_EQ(store.copyData(query("demo"), &data), status::success);
    EXPECT_EQ(data, "changed");
    EXPECT_EQ(store.update({ "demo", "kivora", "wrong label" }, "x"), status::itemNotFound);

    EXPECT_EQ(store.remove(query("demo")), status::success);
    EXPECT_EQ(store.remove(query("demo")), status::itemNotFound);
    EXPECT_EQ(store.copyData(query("demo"), &data), status::itemNotFound);
    EXPECT_EQ(store.copyData(query("demo", "elsewhere"), &data), status::success) << "other services are untouched";
}

TEST(InMemoryKeychain, InjectedFailuresAndCallLog)
{
    using Call = InMemoryKeychain::Call;
    InMemoryKeychain store;
    ASSERT_EQ(store.add(item("a", "1")), status::success);
    store.clearCalls();
    store.failNext(Call::CopyData, status::interactionNotAllowed);
    std::optional<std::string> data;
    EXPECT_EQ(store.copyData(query("a"), &data), status::interactionNotAllowed);
    EXPECT_EQ(store.copyData(query("a"), &data), status::success) << "failNext fails only once";

    store.failAlways(Call::Add, status::io);
    EXPECT_EQ(store.add(item("b", "2")), status::io);
    EXPECT_EQ(store.add(item("b", "2")), status::io);
    store.failAlways(Call::Add, status::success);
    EXPECT_EQ(store.add(item("b", "2")), status::success);

    store.setDataUnreadable(true);
    data = "stale";
    EXPECT_EQ(store.copyData(query("a"), &data), status::success);
    EXPECT_FALSE(data.has_value()) << "success without data";

    std::vector<Call> expected { Call::CopyData, Call::CopyData, Call::Add, Call::Add, Call::Add, Call::CopyData };
    EXPECT_EQ(store.calls(), expected);
}

TEST(FileKeychain, PersistsPrivatelyAndRoundTripsAnyBytes)
{
    auto path = scratchFile("round-trip");
    const std::string awkward = std::string("pässwörd with spaces\n and \0 nul", 31);
    {
        FileKeychain store(path.string());
        ASSERT_EQ(store.add(item("dëmo user", awkward)), status::success);
        ASSERT_EQ(store.add(item("", "")), status::success) << "empty texts are values too";
    }
    DiskWriter::shared().settle(); // written on the disk writer
    struct stat info { };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    FileKeychain reopened(path.string());
    std::optional<std::string> data;
    ASSERT_EQ(reopened.copyData(query("dëmo user"), &data), status::success);
    EXPECT_EQ(data, awkward);
    ASSERT_EQ(reopened.copyData(query(""), &data), status::success);
    EXPECT_EQ(data, "");
    EXPECT_EQ(reopened.remove(query("dëmo user")), status::success);
    EXPECT_EQ(FileKeychain(path.string()).items().size(), 1u);
}

TEST(FileKeychain, ALinkPlantedAtTheOldTemporaryNameIsNeverFollowed)
{
    auto path = scratchFile("planted");
    auto victim = scratchFile("victim");
    {
        std::ofstream(victim) << "precious";
    }
    // The name the store used to write through, and the file itself.
    std::filesystem::remove(path.string() + ".tmp");
    std::filesystem::create_symlink(victim, path.string() + ".tmp");
    FileKeychain store(path.string());
    ASSERT_EQ(store.add(item("demo", "secret")), status::success);
    std::ifstream in(victim);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious");
    EXPECT_EQ(FileKeychain(path.string()).items().size(), 1u);
    EXPECT_FALSE(std::filesystem::is_symlink(path));
}

TEST(FileKeychain, DamagedFileReadsAsEmptyOrSkipsBadLines)
{
    auto path = scratchFile("damaged");
    {
        std::ofstream out(path);
        out << "not a credential file\n";
    }
    EXPECT_TRUE(FileKeychain(path.string()).items().empty());

    {
        std::ofstream out(path);
        out << "hestio-keychain 1\n"
            << "ZGVtbw== a2l2b3Jh a2l2b3Jh c2VjcmV0 1\n" // demo / kivora / secret
            << "garbage line\n"
            << "!!!! a2l2b3Jh a2l2b3Jh c2VjcmV0 1\n";
    }
    FileKeychain store(path.string());
    ASSERT_EQ(store.items().size(), 1u);
    std::optional<std::string> data;
    ASSERT_EQ(store.copyData(query("demo"), &data), status::success);
    EXPECT_EQ(data, "secret");
}
