#include "Crypto.h"

#include <gtest/gtest.h>

#include <set>

using namespace hestio::sim;

TEST(Crypto, HashedPasswordVerifiesOnlyTheSamePassword)
{
    std::string stored = hashPassword("s3cret & more", 1000);
    EXPECT_EQ(stored.rfind("pbkdf2-sha256$1000$", 0), 0u) << stored;
    EXPECT_TRUE(verifyPassword("s3cret & more", stored));
    EXPECT_FALSE(verifyPassword("s3cret & mor", stored));
    EXPECT_FALSE(verifyPassword("", stored));
}

TEST(Crypto, SaltMakesEachHashDifferent)
{
    EXPECT_NE(hashPassword("demo", 1000), hashPassword("demo", 1000));
}

TEST(Crypto, MalformedStoredHashNeverVerifies)
{
    std::string good = hashPassword("demo", 1000);
    for (const std::string& stored : { std::string(), std::string("demo"), std::string("pbkdf2-sha256$x$AAAA$AAAA"),
             std::string("pbkdf2-sha256$0$AAAA$AAAA"), std::string("md5$1000$AAAA$AAAA"),
             good.substr(0, good.size() - 4), good + "$extra" })
        EXPECT_FALSE(verifyPassword("demo", stored)) << stored;
}

TEST(Crypto, SessionTokensAre256RandomBitsInHex)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string token = newSessionToken();
        ASSERT_EQ(token.size(), 64u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(Crypto, Sha256AndBase64MatchKnownValues)
{
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("f"), "Zg==");
    EXPECT_EQ(base64("foobar"), "Zm9vYmFy");
}
