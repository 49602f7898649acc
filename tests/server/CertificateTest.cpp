#include "Certificate.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace hestio::sim;

TEST(Certificate, IsMadeOnceAndKeepsItsPin)
{
    test::ScratchFolder folder;
    TlsIdentity first = loadOrCreateIdentity(folder.path());
    EXPECT_TRUE(first.createdNow);
    EXPECT_EQ(first.pin.size(), 44u); // base64 of 32 bytes
    EXPECT_EQ(first.pin.back(), '=');

    TlsIdentity again = loadOrCreateIdentity(folder.path());
    EXPECT_FALSE(again.createdNow);
    EXPECT_EQ(again.pin, first.pin);
    EXPECT_EQ(publicKeyPin(again.certificate), first.pin);

    struct stat info { };
    ASSERT_EQ(stat(first.privateKey.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(Certificate, EachFolderGetsItsOwnKey)
{
    test::ScratchFolder a;
    test::ScratchFolder b;
    EXPECT_NE(loadOrCreateIdentity(a.path()).pin, loadOrCreateIdentity(b.path()).pin);
}

TEST(Certificate, UnreadableCertificateIsAnError)
{
    test::ScratchFolder folder;
    std::FILE* file = std::fopen(folder.file("bad.pem").c_str(), "w");
    std::fputs("not a certificate", file);
    std::fclose(file);
    EXPECT_THROW(publicKeyPin(folder.path() / "bad.pem"), std::runtime_error);
    EXPECT_THROW(publicKeyPin(folder.path() / "missing.pem"), std::runtime_error);
}
