#include "FormData.h"

#include <gtest/gtest.h>

using hestio::sim::FormData;
using hestio::sim::isValidUtf8;
using hestio::sim::percentDecode;
using hestio::sim::percentEncode;
using hestio::sim::toValidUtf8;

TEST(FormData, DecodesPercentEscapesAndPlus)
{
    struct Case {
        const char* encoded;
        const char* decoded;
    };
    const Case cases[] = {
        { "a%26b", "a&b" },
        { "x%3Dy", "x=y" },
        { "1%2B1", "1+1" },
        { "two+words", "two words" },
        { "two%20words", "two words" },
        { "K%C3%BCche",
            "K\xC3\xBC"
            "che" },
        { "%E2%82%AC5",
            "\xE2\x82\xAC"
            "5" },
        { "%7e%7E", "~~" },
        { "", "" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(percentDecode(c.encoded), c.decoded) << c.encoded;
    }
}

TEST(FormData, KeepsAPercentSignThatStartsNoEscape)
{
    struct Case {
        const char* encoded;
        const char* decoded;
    };
    const Case cases[] = {
        { "%", "%" },
        { "%2", "%2" },
        { "80%", "80%" },
        { "%G1", "%G1" },
        { "%1G", "%1G" },
        { "a%%20", "a% " },
        { "100%25", "100%" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(percentDecode(c.encoded), c.decoded) << c.encoded;
}

TEST(FormData, EncodingRoundTripsEveryByte)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(percentDecode(percentEncode(all)), all);
    EXPECT_EQ(percentEncode("a b&c=d+e"), "a%20b%26c%3Dd%2Be");
}

TEST(FormData, SplitsPairsAndKeepsSpecialCharactersInsideValues)
{
    FormData form;
    ASSERT_TRUE(form.add(
        "name=" + percentEncode("Tom & Jerry") + "&password=" + percentEncode("p=a+s s") + "&title=Caf%C3%A9"));
    EXPECT_EQ(form.get("name"), "Tom & Jerry");
    EXPECT_EQ(form.get("password"), "p=a+s s");
    EXPECT_EQ(form.get("title"), "Caf\xC3\xA9");
    EXPECT_FALSE(form.get("missing"));
}

TEST(FormData, SkipsEmptyPairsAndKeepsEmptyValues)
{
    FormData form;
    // The battery graph's parameters begin with "&", so its query has an empty pair.
    ASSERT_TRUE(form.add("token=T&&from=1&to=2&&token=T"));
    EXPECT_EQ(form.size(), 3u);
    EXPECT_EQ(form.get("from"), "1");

    FormData flags;
    ASSERT_TRUE(flags.add("repeatDays=&bare"));
    EXPECT_EQ(flags.get("repeatDays"), "");
    EXPECT_EQ(flags.get("bare"), "");
}

TEST(FormData, AcceptsRepeatedParametersOnlyWhenTheyAgree)
{
    FormData same;
    EXPECT_TRUE(same.add("count=5&token=abc&count=5"));
    EXPECT_EQ(same.get("count"), "5");

    FormData acrossQueryAndBody;
    EXPECT_TRUE(acrossQueryAndBody.add("device_id=1"));
    auto added = acrossQueryAndBody.add("device_id=2&token=other");
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().message(), "parameter device_id is given more than once with different values");
}

TEST(FormData, TheLastTokenCounts)
{
    FormData get;
    EXPECT_TRUE(get.add("token=abc&count=5&token=abc"));
    EXPECT_EQ(get.get("token"), "abc");

    FormData resent; // a movement from the failed-movement file: its old token, then the current one
    EXPECT_TRUE(resent.add("action=LEFT&title=Home&token=OLD&token=NEW"));
    EXPECT_EQ(resent.get("token"), "NEW");
}

TEST(FormData, RefusesMalformedInput)
{
    struct Case {
        std::string text;
        std::string error;
    };
    std::string many;
    for (size_t i = 0; i <= FormData::kMaxParameters; ++i)
        many += "p" + std::to_string(i) + "=1&";
    const Case cases[] = {
        { "a=%FF%FE", "parameter is not valid UTF-8" },
        { "=value", "parameter without a name" },
        { many, "too many parameters" },
    };
    for (const auto& c : cases) {
        FormData form;
        auto added = form.add(c.text);
        ASSERT_FALSE(added) << c.text;
        EXPECT_EQ(added.error().message(), c.error) << c.text;
    }
}

TEST(FormData, ValidatesUtf8)
{
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\x8C"));
    for (const char* bad : { "\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF" })
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

TEST(FormData, InvalidUtf8IsMadeValidByteByByte)
{
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(toValidUtf8(""), "");
    EXPECT_EQ(toValidUtf8("caf\xC3\xA9 \xF0\x9F\x94\x8C"), "caf\xC3\xA9 \xF0\x9F\x94\x8C");
    EXPECT_EQ(toValidUtf8("a\xFF"
                          "b"),
        "a" + replacement + "b");
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), replacement + replacement) << "an overlong form is two bad bytes";
    EXPECT_EQ(toValidUtf8("\xE2\x82"), replacement + replacement) << "a cut sequence at the end";
    EXPECT_EQ(toValidUtf8("\xE2\x82x"), replacement + replacement + "x");
    for (const char* bad : { "\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80" })
        EXPECT_TRUE(isValidUtf8(toValidUtf8(bad))) << bad;
}
