#include "net/ServiceConfiguration.h"

#include "platform/foundation/DiskWriter.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace hestio;

TEST(ServiceConfiguration, DefaultsFileValuesAndHostNames)
{
    test::TempDir dir;
    test::LogCapture logs;
    ServiceConfiguration none = ServiceConfiguration::load(dir.path());
    EXPECT_EQ(none.host, "localhost:8443");
    EXPECT_EQ(none.pin, "");
    EXPECT_EQ(none.hostName(), "localhost");

    ServiceConfiguration saved { "energy.example.org", "sha256//AAAA" };
    saved.save(dir.path(), {});
    ServiceConfiguration loaded = ServiceConfiguration::load(dir.path());
    EXPECT_EQ(loaded.host, "energy.example.org");
    EXPECT_EQ(loaded.pin, "sha256//AAAA");
    EXPECT_EQ(loaded.hostName(), "energy.example.org");
    EXPECT_EQ((ServiceConfiguration { "[::1]:9443", "" }).hostName(), "::1");

    hestio::platform::DiskWriter::shared().settle(); // the saved file is on the disk, to be damaged
    dir.write("Service.plist", "garbage");
    EXPECT_EQ(ServiceConfiguration::load(dir.path()).host, "localhost:8443") << "a damaged file gives the defaults";
}
