#include "platform/foundation/Log.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using hestio::test::LogCapture;

TEST(Log, CapturesPlainLinesExactlyAsGiven)
{
    LogCapture capture;
    hestio::log("Login failed");
    hestio::logf("%s: %d devices", "Kitchen", 3);
    hestio::log("");
    EXPECT_EQ(capture.lines(), (std::vector<std::string> { "Login failed", "Kitchen: 3 devices", "" }));
    EXPECT_TRUE(capture.contains("3 devices"));
    EXPECT_FALSE(capture.contains("4 devices"));
}

TEST(Log, NestedCapturesRestoreTheOuterOne)
{
    LogCapture outer;
    {
        LogCapture inner;
        hestio::log("inner");
        EXPECT_EQ(inner.lines().size(), 1u);
    }
    hestio::log("outer");
    EXPECT_EQ(outer.lines(), (std::vector<std::string> { "outer" }));
}

TEST(Log, FormatHandlesLongResults)
{
    std::string long_text(1000, 'x');
    EXPECT_EQ(hestio::format("%s|%d", long_text.c_str(), 42), long_text + "|42");
    EXPECT_EQ(hestio::format("%.2f", 1.005), "1.00");
    EXPECT_EQ(hestio::format("plain"), "plain");
}

TEST(Log, WritesToStandardErrorWithoutASink)
{
    testing::internal::CaptureStderr();
    hestio::log("to stderr");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
}
