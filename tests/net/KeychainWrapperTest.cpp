#include "net/KeychainWrapper.h"

#include "platform/keychain/InMemoryKeychain.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::InMemoryKeychain;
using Call = InMemoryKeychain::Call;
namespace status = platform::keychain_status;

namespace {

struct KeychainWrapperTest : ::testing::Test {
    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
    std::optional<KeychainError> error;
    void SetUp() override { KeychainWrapper::setStore(keychain); }
    void TearDown() override { KeychainWrapper::setStore(nullptr); }
    void stored(const std::string& key, const std::string& value)
    {
        ASSERT_EQ(keychain->add({ key, "kivora", "kivora", value, true }), status::success);
        keychain->clearCalls();
    }
};

}

TEST_F(KeychainWrapperTest, MissingArgumentsGiveMinus2000AndEmptyTextsCountAsPresent)
{
    EXPECT_FALSE(KeychainWrapper::getValueForKey(std::nullopt, "kivora", &error));
    EXPECT_EQ(error, KeychainError { -2000 });
    EXPECT_FALSE(KeychainWrapper::storeKey("k", std::nullopt, "kivora", true, &error));
    EXPECT_EQ(error, KeychainError { -2000 });
    EXPECT_FALSE(KeychainWrapper::deleteItemForKey("k", std::nullopt, &error));
    EXPECT_EQ(error, KeychainError { -2000 });
    EXPECT_TRUE(keychain->calls().empty());

    EXPECT_TRUE(KeychainWrapper::storeKey("", "", "", true, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(KeychainWrapper::getValueForKey("", "", &error), "");
}

TEST_F(KeychainWrapperTest, GetOfAKeyNeverStoredIsNothingWithoutError)
{
    error = KeychainError { 7 };
    EXPECT_FALSE(KeychainWrapper::getValueForKey("pushtoken", "kivora", &error));
    EXPECT_FALSE(error) << "the error is cleared on entry and not-found is no error";
}

TEST_F(KeychainWrapperTest, GetReportsUnreadableAndVanishedItemsAsMinus1999)
{
    stored("demo", "pw");
    keychain->setDataUnreadable(true);
    EXPECT_FALSE(KeychainWrapper::getValueForKey("demo", "kivora", &error));
    EXPECT_EQ(error, KeychainError { -1999 });

    keychain->setDataUnreadable(false);
    keychain->failNext(Call::CopyData, status::itemNotFound);
    EXPECT_FALSE(KeychainWrapper::getValueForKey("demo", "kivora", &error));
    EXPECT_EQ(error, KeychainError { -1999 });

    keychain->failNext(Call::CopyData, status::interactionNotAllowed);
    EXPECT_FALSE(KeychainWrapper::getValueForKey("demo", "kivora", &error));
    EXPECT_EQ(error, KeychainError { status::interactionNotAllowed });

    keychain->failNext(Call::CopyAttributes, status::authFailed);
    EXPECT_FALSE(KeychainWrapper::getValueForKey("demo", "kivora", &error));
    EXPECT_EQ(error, KeychainError { status::authFailed });
}

TEST_F(KeychainWrapperTest, StoreAddsUpdatesOrLeavesAlone)
{
    EXPECT_TRUE(KeychainWrapper::storeKey("dëmo", "pässwörd ✓", "kivora", false, &error));
    EXPECT_EQ(KeychainWrapper::getValueForKey("dëmo", "kivora"), "pässwörd ✓") << "UTF-8 round trip";
    auto items = keychain->items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].label, "kivora");
    EXPECT_TRUE(items[0].accessibleAlways);

    keychain->clearCalls();
    EXPECT_TRUE(KeychainWrapper::storeKey("dëmo", "pässwörd ✓", "kivora", true, &error));
    EXPECT_EQ(keychain->calls(), (std::vector<Call> { Call::CopyAttributes, Call::CopyData }))
        << "an unchanged value makes no call beyond the lookups";

    EXPECT_TRUE(KeychainWrapper::storeKey("dëmo", "new", "kivora", false, &error));
    EXPECT_EQ(KeychainWrapper::getValueForKey("dëmo", "kivora"), "pässwörd ✓") << "update-existing false keeps it";

    EXPECT_TRUE(KeychainWrapper::storeKey("dëmo", "new", "kivora", true, &error));
    EXPECT_EQ(KeychainWrapper::getValueForKey("dëmo", "kivora"), "new");
}

TEST_F(KeychainWrapperTest, StoreReplacesAnUnreadableItemAndReportsFailures)
{
    stored("demo", "old");
    keychain->failNext(Call::CopyData, status::itemNotFound);
    EXPECT_TRUE(KeychainWrapper::storeKey("demo", "fresh", "kivora", false, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(keychain->calls(), (std::vector<Call> { Call::CopyAttributes, Call::CopyData, Call::Remove, Call::Add }));
    EXPECT_EQ(KeychainWrapper::getValueForKey("demo", "kivora"), "fresh");

    keychain->failNext(Call::CopyData, status::itemNotFound);
    keychain->failNext(Call::Remove, status::io);
    EXPECT_FALSE(KeychainWrapper::storeKey("demo", "x", "kivora", true, &error));
    EXPECT_EQ(error, KeychainError { status::io }) << "a failed delete of the unreadable item is reported";

    keychain->failNext(Call::CopyAttributes, status::interactionNotAllowed);
    EXPECT_FALSE(KeychainWrapper::storeKey("demo", "x", "kivora", true, &error));
    EXPECT_EQ(error, KeychainError { status::interactionNotAllowed });

    keychain->failNext(Call::Update, status::io);
    EXPECT_FALSE(KeychainWrapper::storeKey("demo", "x", "kivora", true, &error));
    EXPECT_EQ(error, KeychainError { status::io });

    keychain->failNext(Call::Add, status::duplicateItem);
    EXPECT_FALSE(KeychainWrapper::storeKey("other", "x", "kivora", true, &error));
    EXPECT_EQ(error, KeychainError { status::duplicateItem });
}

TEST_F(KeychainWrapperTest, DeleteOfAMissingKeyFailsWithItemNotFound)
{
    EXPECT_FALSE(KeychainWrapper::deleteItemForKey("nobody", "kivora", &error));
    EXPECT_EQ(error, KeychainError { -25300 });
    stored("demo", "pw");
    EXPECT_TRUE(KeychainWrapper::deleteItemForKey("demo", "kivora", &error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(KeychainWrapper::getValueForKey("demo", "kivora"));
}
