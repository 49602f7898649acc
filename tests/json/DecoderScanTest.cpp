// The decoder reads strings and numbers a word at a time and converts most
// doubles without the general conversion; these cases pin the results to the
// byte-at-a-time reading and to the correctly rounded conversion.
#include "json/JSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using json::Decoder;
using json::Error;
using json::Kind;
using json::Value;

namespace {

Value decode(std::string_view text)
{
    Error error;
    Value value = json::objectFromJSONDataWithParseOptions(text, 0, &error);
    EXPECT_TRUE(value) << text << ": " << error.description;
    return value;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Decodes the texts as one array and compares every element with strtod.
void expectNearest(const std::vector<std::string>& texts)
{
    std::string document = "[";
    for (const auto& text : texts)
        document += (document.size() > 1 ? "," : "") + text;
    document += "]";
    Value value = decode(document);
    ASSERT_EQ(value.count(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const double expected = std::strtod(texts[i].c_str(), nullptr);
        EXPECT_EQ(value[i].kind(), Kind::Double) << texts[i];
        EXPECT_TRUE(sameBits(value[i].doubleValue(), expected))
            << texts[i] << ": got " << value[i].doubleValue() << ", want " << expected;
    }
}

} // namespace

TEST(DecoderScan, DoublesAreTheNearestRepresentableValue)
{
    expectNearest({
        "0.1",
        "0.30000000000000004",
        "55.100000000000001",
        "-65.613616999999977",
        "1.5",
        "-0.0",
        "0.0",
        "1e22",
        "1e23",
        "1E-27",
        "9.999999999999999e26",
        "1e28",
        "1e-28",
        // Half-way between two doubles: ties go to the even significand.
        "9007199254740993.0",
        "9007199254740995.0",
        "9007199254740993e0",
        "4503599627370497.5",
        // Just above and just below the half-way point between 1 and the next double.
        "1.000000000000000111",
        "1.000000000000000110",
        // Nineteen and twenty significant digits; leading zeros in the fraction.
        "9999999999999999999.0",
        "18446744073709551615.0",
        "12345678901234567890.5",
        "0.0000000000000000012345",
        "0.1234567890123456789",
        // The ends of the range and beyond the quick conversion's exponents.
        "1.7976931348623157e308",
        "2.2250738585072014e-308",
        "4.9e-324",
        "123.456e-300",
        "8.98846567431158e307",
    });

    // A deterministic spread: shortest and 17-digit forms of many doubles, and digit strings with exponents.
    std::vector<std::string> texts;
    std::uint64_t state = 88172645463325252ULL;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    char text[64];
    for (int i = 0; i < 6000; ++i) {
        switch (i % 3) {
        case 0: {
            double x = std::ldexp(static_cast<double>(next() >> 11), static_cast<int>(next() % 120) - 100);
            std::snprintf(text, sizeof text, "%.*g", 15 + static_cast<int>(next() % 3), x);
            break;
        }
        case 1: {
            double x = static_cast<double>(next() % 1000000) / 10.0;
            std::snprintf(text, sizeof text, "%.17g", x);
            break;
        }
        default: {
            std::string digits = std::to_string(next() % 10000000000000000000ULL);
            int exponent = static_cast<int>(next() % 61) - 30;
            std::snprintf(text, sizeof text, "%s%s.%se%d", next() % 2 ? "-" : "", digits.substr(0, 1).c_str(),
                digits.size() > 1 ? digits.substr(1).c_str() : "0", exponent);
            break;
        }
        }
        if (!std::strpbrk(text, ".e"))
            std::strcat(text, ".0");
        texts.push_back(text);
    }
    expectNearest(texts);
}

TEST(DecoderScan, NumbersSplitAcrossWordsKeepTheirDigits)
{
    // Every length from 1 to 19 digits, as integers and with fractions, and
    // each one last in the buffer where only the closing bracket follows.
    std::string digits = "1234567890123456789";
    for (std::size_t n = 1; n <= digits.size(); ++n) {
        const std::string integer = digits.substr(0, n);
        SCOPED_TRACE(integer);
        Value value = decode("[" + integer + "," + integer + "." + integer + "]");
        ASSERT_EQ(value.count(), 2u);
        EXPECT_EQ(value[0].kind(), Kind::Integer);
        EXPECT_EQ(value[0].integerValue(), std::strtoll(integer.c_str(), nullptr, 10));
        const std::string fraction = integer + "." + integer;
        EXPECT_TRUE(sameBits(value[1].doubleValue(), std::strtod(fraction.c_str(), nullptr)));
    }
    Value negative = decode("[-12345678901234567]");
    EXPECT_EQ(negative[0].integerValue(), -12345678901234567LL);
}

TEST(DecoderScan, StringsEndAndHashAlikeAtEveryPositionInAWord)
{
    for (std::size_t n = 0; n <= 24; ++n) {
        std::string key(n, 'k');
        for (std::size_t i = 0; i < n; ++i)
            key[i] = static_cast<char>('a' + i % 26);
        SCOPED_TRACE("key of " + std::to_string(n) + " bytes");
        // Lookups hash the key byte by byte; the decoder hashed it a word at a time.
        Value plain = decode("{\"" + key + "\":1}");
        EXPECT_EQ(plain[key].integerValue(), 1);
        // An escape, a two-byte and a three-byte character after the plain run.
        Value mixed = decode("{\"" + key + "\\n\":2,\"" + key + "\xC3\xA9\":3,\"" + key + "\xE2\x82\xAC\":4}");
        EXPECT_EQ(mixed[key + "\n"].integerValue(), 2);
        EXPECT_EQ(mixed[key + "\xC3\xA9"].integerValue(), 3);
        EXPECT_EQ(mixed[key + "\xE2\x82\xAC"].integerValue(), 4);
        // Runs of two- and three-byte characters between plain text, and a
        // run that the end of the buffer cuts off.
        const std::string run = "\xC3\xA9\xE3\x81\x82\xDF\xBF\xEC\xBF\xBF";
        Value runs = decode("{\"" + run + key + "<\":5,\">" + key + run + "\":6,\"" + key + run + key + "\":7}");
        EXPECT_EQ(runs[run + key + "<"].integerValue(), 5);
        EXPECT_EQ(runs[">" + key + run].integerValue(), 6);
        EXPECT_EQ(runs[key + run + key].integerValue(), 7);
        for (const char* cut : { "\xE3\x81", "\xE3", "\xC3" }) {
            Error refused;
            EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"" + key + run + cut, 0, &refused)) << cut;
            EXPECT_EQ(refused.description, "End of buffer reached while parsing UTF8 in \"\" string.") << cut;
        }
        // Characters just outside the quickly accepted ranges still get the full check.
        Value wide = decode("[\"" + key + "\xE3\x81\x82\xEC\xBF\xBF\xED\x9F\xBF\xE0\xA0\x80\xDF\xBF\"]");
        EXPECT_EQ(wide[0].stringValue(), key + "\xE3\x81\x82\xEC\xBF\xBF\xED\x9F\xBF\xE0\xA0\x80\xDF\xBF");
        for (const char* bad : { "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEC\x80", "\xC2\x41", "\xE0\x9F\xBF" }) {
            Error refused;
            EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"" + key + bad + "\"]", 0, &refused)) << bad;
            EXPECT_EQ(refused.description, "Illegal UTF8 sequence found in \"\" string.") << bad;
        }
        // A control byte is refused wherever it falls, reported at the string's start.
        Error error;
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"" + key + "\t\"]", 0, &error));
        EXPECT_EQ(error.description, "Invalid character < 0x20 found in string: 0x09.");
        EXPECT_EQ(error.atIndex, 1u);
        // A string cut off by the end of the buffer.
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"" + key, 0, &error));
        EXPECT_EQ(error.description, "Invalid string.");
    }
}

TEST(DecoderScan, TextAfterAnEscapeIsCopiedAndHashedAsTheFastScanWould)
{
    // After an escape the string is copied into the token buffer, also a
    // word at a time; lookups hash the unescaped key byte by byte.
    const std::string wide = "\xE3\x81\x82\xEC\xBF\xBF\xED\x9F\xBF\xE0\xA0\x80\xDF\xBF\xF0\x9F\x98\x80";
    for (std::size_t n = 0; n <= 24; ++n) {
        std::string run(n, 'k');
        for (std::size_t i = 0; i < n; ++i)
            run[i] = static_cast<char>('a' + i % 26);
        SCOPED_TRACE("run of " + std::to_string(n) + " bytes");
        Value value = decode(
            "{\"\\n" + run + "\xC3\xA9" + run + wide + run + "\\t\":1,\"x\\/" + run + "\":[\"\\\"" + run + "\"]}");
        EXPECT_EQ(value["\n" + run + "\xC3\xA9" + run + wide + run + "\t"].integerValue(), 1);
        EXPECT_EQ(value["x/" + run][0].stringValue(), "\"" + run);
        for (const char* bad : { "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEC\x80", "\xC2\x41", "\xE0\x9F\xBF" }) {
            Error refused;
            EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"\\n" + run + bad + "\"]", 0, &refused)) << bad;
            EXPECT_EQ(refused.description, "Illegal UTF8 sequence found in \"\" string.") << bad;
            Value lenient = json::objectFromJSONDataWithParseOptions(
                "[\"\\n" + run + bad + "\"]", json::ParseOptionLenientUnicode, &refused);
            ASSERT_TRUE(lenient) << bad;
            EXPECT_EQ(lenient[0].stringValue().substr(0, n + 4), "\n" + run + "\xEF\xBF\xBD") << bad;
        }
        Error error;
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"\\n" + run + "\x01\"]", 0, &error));
        EXPECT_EQ(error.description, "Invalid character < 0x20 found in string: 0x01.");
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[\"\\n" + run, 0, &error));
        EXPECT_EQ(error.description, "Invalid string.");
    }
    // Longer than the token buffer in the parse call's frame.
    std::string longText = "\\u00e9";
    std::string expected = "\xC3\xA9";
    for (int i = 0; i < 500; ++i) {
        longText += "word \xE3\x81\x82 ";
        expected += "word \xE3\x81\x82 ";
    }
    Value value = decode("{\"" + longText + "\":[\"" + longText + "\"]}");
    EXPECT_EQ(value[expected][0].stringValue(), expected);
}

TEST(DecoderScan, ObjectsEvictedFromTheCacheInTheSameDecodeStayAlive)
{
    // Three thousand distinct numbers and strings overflow the cache's
    // slots, so many are evicted by values made later in the same decode;
    // each is then met again and every element must still read back.
    std::string document = "[";
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 3000; ++i)
            document += std::to_string(i * 7919) + ",\"s" + std::to_string(i) + "\"," + std::to_string(i) + ".25,";
    document.back() = ']';
    Decoder decoder;
    Value first = decoder.objectWithData(document);
    ASSERT_EQ(first.count(), 18000u);
    // The last value cached is shared with the next decode, and outlives the decoder.
    Value last = decoder.objectWithData("[2999.25]");
    EXPECT_TRUE(last[0].isSameObject(first[17999]));
    Value second = decoder.objectWithData(document);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 3000; ++i) {
            const std::size_t at = static_cast<std::size_t>(pass * 9000 + i * 3);
            for (const Value* value : { &first, &second }) {
                ASSERT_EQ((*value)[at].integerValue(), i * 7919) << at;
                ASSERT_EQ((*value)[at + 1].stringValue(), "s" + std::to_string(i)) << at;
                ASSERT_EQ((*value)[at + 2].doubleValue(), i + 0.25) << at;
            }
        }
    }
    decoder.cleanUp();
    first = Value();
    EXPECT_EQ(last[0].doubleValue(), 2999.25);
    EXPECT_EQ(second[17999].doubleValue(), 2999.25);
}

TEST(DecoderScan, DigitRunsEndAtTheFirstByteThatIsNoDigit)
{
    // Runs of every length inside a word, ended by each byte that can follow
    // a number, and by the bytes just beside the digits in ASCII.
    const std::string digits = "98765432109876543";
    for (std::size_t n = 1; n <= digits.size(); ++n) {
        const std::string run = digits.substr(0, n);
        SCOPED_TRACE(run);
        Value value = decode("[" + run + ",0." + run + "1, " + run + "e1 ," + run + ".5E-3\t,-" + run + "]");
        ASSERT_EQ(value.count(), 5u);
        EXPECT_EQ(value[0].unsignedValue(), std::strtoull(run.c_str(), nullptr, 10));
        const std::string doubles[] = { "0." + run + "1", run + "e1", run + ".5E-3" };
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(sameBits(value[i + 1].doubleValue(), std::strtod(doubles[i].c_str(), nullptr))) << doubles[i];
        EXPECT_EQ(value[4].integerValue(), -std::strtoll(run.c_str(), nullptr, 10));
        for (const char* after : { ":", "/", "\xFA", "\xFF", "a" }) {
            Error error;
            const std::string text = "[" + run + after + "1234567]";
            EXPECT_FALSE(json::objectFromJSONDataWithParseOptions(text, 0, &error)) << text;
        }
    }
}
