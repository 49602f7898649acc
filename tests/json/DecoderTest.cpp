#include "json/JSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using json::Decoder;
using json::Error;
using json::Kind;
using json::Value;

namespace {

struct Failure {
    std::string input;
    std::string description;
    std::uint64_t index;
    std::uint64_t line;
    unsigned options = 0;
};

void expectFailures(const std::vector<Failure>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE("input: " + c.input);
        Error error;
        Value value = json::objectFromJSONDataWithParseOptions(c.input, c.options, &error);
        EXPECT_FALSE(value);
        EXPECT_EQ(error.description, c.description);
        EXPECT_EQ(error.domain, "JCErrorDomain");
        EXPECT_EQ(error.code, -1);
        EXPECT_EQ(error.atIndex, c.index);
        EXPECT_EQ(error.lineNumber, c.line);
    }
}

Value decode(std::string_view text, unsigned options = 0)
{
    Error error;
    Value value = json::objectFromJSONDataWithParseOptions(text, options, &error);
    EXPECT_TRUE(value) << text << ": " << error.description;
    return value;
}

const std::string kUnexpectedToken
    = "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

} // namespace

TEST(Decoder, DecodesEmptyAndNestedContainers)
{
    Value object = decode("{}");
    ASSERT_TRUE(object.isDictionary());
    EXPECT_EQ(object.count(), 0u);
    EXPECT_TRUE(decode("[]").isArray());
    Value nested = decode("{\"a\":[]}");
    EXPECT_TRUE(nested["a"].isArray());
    EXPECT_EQ(nested["a"].count(), 0u);
}

TEST(Decoder, ReportsStructuralErrorsWithIndexAndLine)
{
    expectFailures({
        { "", "Reached the end of the buffer.", 0, 1 },
        { "   ", kUnexpectedToken, 3, 1 },
        { "\"a\"", "Expected either '[' or '{'.", 3, 1 },
        { "1 ", "Expected either '[' or '{'.", 1, 1 },
        { "true ", "Expected either '[' or '{'.", 4, 1 },
        { "[1] x", "A valid JSON object was parsed but there were additional non-white-space characters remaining.", 4,
            1 },
        { "[1,]", "Unexpected ']'.", 4, 1 },
        { "[,1]", "Unexpected ','.", 2, 1 },
        { "{\"a\":1,}", "Unexpected '}'.", 8, 1 },
        { "{1:2}", "Expected a \"STRING\" or a '}', not '1'", 2, 1 },
        { "{\"a\" 1}", "Expected ':'.", 6, 1 },
        { "{\"a\":1 \"b\":2}", "Unexpected string.", 10, 1 },
        { "{\"a\":1 2}", "Expected a comma or a '}', not '2'", 8, 1 },
        { "{\"a\":}", "Expected a value or a '}', not '}'", 6, 1 },
        { "{\"a\":1,\"b\":]", "Expected a value, not ']'", 12, 1 },
        { "[:", "Expected a value or a ']', not ':'", 2, 1 },
        { "[1:", "Expected a comma or a ']', not ':'", 3, 1 },
        { "[1,}", "Expected a value, not '}'", 4, 1 },
        { "[01]", "Unexpected value.", 3, 1 },
        { "[1 2]", "Unexpected value.", 4, 1 },
        { "[-]", "Invalid number.", 2, 1 },
        { "[1.]", "Invalid number.", 3, 1 },
        { "[1e]", "Invalid number.", 3, 1 },
        { "[1e+]", "Invalid number.", 4, 1 },
        { "[1", "Invalid number.", 2, 1 },
        { "[1,", "Reached the end of the buffer.", 3, 1 },
        { "[1, ", kUnexpectedToken, 4, 1 },
        { "[[1,", "Reached the end of the buffer.", 4, 1 },
        { "{\"a\":[", "Reached the end of the buffer.", 6, 1 },
        { "[tru]", kUnexpectedToken, 1, 1 },
        { "[truex]", kUnexpectedToken, 5, 1 },
        { "[nul", kUnexpectedToken, 1, 1 },
        { "[fals", kUnexpectedToken, 1, 1 },
        { "[\x0c]", kUnexpectedToken, 1, 1 },
        { "\n\r\n\r[1,]", "Unexpected ']'.", 8, 4 },
        { "[1,\n2,\n]", "Unexpected ']'.", 8, 3 },
    });
}

TEST(Decoder, LiteralsNeedTheirFullTextInsideTheBuffer)
{
    Value value = decode("[true,false,null]");
    ASSERT_EQ(value.count(), 3u);
    EXPECT_TRUE(value[0].isSameObject(Value(true)));
    EXPECT_TRUE(value[1].isSameObject(Value(false)));
    EXPECT_TRUE(value[2].isSameObject(Value::null()));
    // The literal must have a byte after it, which a valid document always has.
    expectFailures({ { "[true", kUnexpectedToken, 1, 1 }, { "[false", kUnexpectedToken, 1, 1 },
        { "[null", kUnexpectedToken, 1, 1 } });
}

TEST(Decoder, NumbersKeepTheirRangeAndKind)
{
    Value value = decode("[0,-0,-1,1.5,1e2,9223372036854775807,9223372036854775808,18446744073709551615,"
                         "-9223372036854775808,4.9e-324,-0.0]");
    ASSERT_EQ(value.count(), 11u);
    EXPECT_EQ(value[0].kind(), Kind::Integer);
    EXPECT_EQ(value[1].kind(), Kind::Double);
    EXPECT_TRUE(std::signbit(value[1].doubleValue()));
    EXPECT_EQ(value[2].integerValue(), -1);
    EXPECT_EQ(value[3].doubleValue(), 1.5);
    EXPECT_EQ(value[4].kind(), Kind::Double);
    EXPECT_EQ(value[5].kind(), Kind::Integer);
    EXPECT_EQ(value[5].integerValue(), INT64_MAX);
    EXPECT_EQ(value[6].kind(), Kind::Unsigned);
    EXPECT_EQ(value[6].unsignedValue(), 9223372036854775808ULL);
    EXPECT_EQ(value[7].kind(), Kind::Unsigned);
    EXPECT_EQ(value[7].unsignedValue(), UINT64_MAX);
    EXPECT_EQ(value[8].integerValue(), INT64_MIN);
    // A subnormal double is representable and decodes.
    EXPECT_EQ(value[9].doubleValue(), 4.9e-324);
    EXPECT_TRUE(std::signbit(value[10].doubleValue()));

    expectFailures({
        { "[18446744073709551616]",
            "The value '18446744073709551616' exceeded the maximum value that could be represented: "
            "18446744073709551615.",
            21, 1 },
        { "[99999999999999999999]",
            "The value '99999999999999999999' exceeded the maximum value that could be represented: "
            "18446744073709551615.",
            21, 1 },
        { "[-9223372036854775809]",
            "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
            "-9223372036854775808.",
            21, 1 },
        { "[1e999]", "The value '1e999' could not be represented as a 'double' due to overflow.", 6, 1 },
        { "[-1e999]", "The value '-1e999' could not be represented as a 'double' due to overflow.", 7, 1 },
        { "[1e-999]", "The value '1e-999' could not be represented as a 'double' due to underflow.", 7, 1 },
    });
}

TEST(Decoder, StringsUnescapeAndValidateUtf8)
{
    Value value = decode("[\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\",\"\\u00e9\",\"\xC3\xA9\",\"\\ud83d\\ude00\",\"\"]");
    ASSERT_EQ(value.count(), 5u);
    EXPECT_EQ(value[0].stringValue(), "a\"\\/\b\f\n\r\t");
    EXPECT_EQ(value[1].stringValue(), "\xC3\xA9");
    EXPECT_TRUE(value[1].isSameObject(value[2])) << "escaped and raw forms share one cached object";
    EXPECT_EQ(value[3].stringValue(), "\xF0\x9F\x98\x80");
    EXPECT_TRUE(value[4].isSameObject(Value::emptyString()));

    expectFailures({
        { "[\"a\tb\"]", "Invalid character < 0x20 found in string: 0x09.", 1, 1 },
        { "[\"\\ud83d\"]",
            "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\ud83d\\u0041\"]", "Illegal \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\ude00\"]", "Illegal \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\u0000\"]", "Illegal \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\ufffe\"]", "Illegal \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\ufdd0\"]", "Illegal \\u Unicode escape sequence.", 1, 1 },
        { "[\"\\u12g4\"]",
            "Unexpected character found in \\u Unicode escape sequence.  Found 'g', expected [0-9a-fA-F].", 1, 1 },
        { "[\"\\x\"]", "Invalid escape sequence found in \"\" string.", 1, 1 },
        { "[\"a\xC0\x80\"]", "Illegal UTF8 sequence found in \"\" string.", 1, 1 },
        { "[\"\xED\xA0\x80\"]", "Illegal UTF8 sequence found in \"\" string.", 1, 1 },
        { "[\"\xEF\xBF\xBE\"]", "Illegal UTF8 sequence found in \"\" string.", 1, 1 },
        { "[\"\xE2\x82", "End of buffer reached while parsing UTF8 in \"\" string.", 1, 1 },
        { "[\"abc", "Invalid string.", 1, 1 },
        { "[\"abc\\", "Invalid string.", 1, 1 },
        { "[\"\\u12", "Invalid string.", 1, 1 },
    });
}

TEST(Decoder, LenientUnicodeReplacesWhatStrictRefuses)
{
    const unsigned lenient = json::ParseOptionLenientUnicode;
    struct Case {
        std::string input;
        std::string expected;
    };
    for (const Case& c : std::vector<Case> {
             { "[\"\\ud83d\"]", "\xEF\xBF\xBD" },
             { "[\"\\u0000\"]", "\xEF\xBF\xBD" },
             { "[\"\\ude00x\"]", "\xEF\xBF\xBDx" },
             { "[\"\\ud83dx\"]", "\xEF\xBF\xBDx" },
             // A high surrogate and an escape after it that is no low
             // surrogate are one broken pair: one U+FFFD, the escape consumed.
             { "[\"\\ud83d\\u0041\"]", "\xEF\xBF\xBD" },
             { "[\"\\uD800\\u0041B\"]",
                 "\xEF\xBF\xBD"
                 "B" },
             { "[\"\\ud83d\\ud83d\\ude00\"]", "\xEF\xBF\xBD\xEF\xBF\xBD" },
             { "[\"\\udbff\\udffd\\ud800\\udc00\"]", "\xF4\x8F\xBF\xBD\xF0\x90\x80\x80" },
             { "[\"a\xC0\x80z\"]", "a\xEF\xBF\xBDz" },
             { "[\"\xC0\"]", "\xEF\xBF\xBD" },
             { "[\"\xE2\x82z\"]", "\xEF\xBF\xBDz" },
             { "[\"\xFF\xFE\"]", "\xEF\xBF\xBD\xEF\xBF\xBD" },
         }) {
        SCOPED_TRACE("input: " + c.input);
        Value value = decode(c.input, lenient);
        ASSERT_TRUE(value);
        EXPECT_EQ(value[0].stringValue(), c.expected);
    }
    // Truncation at the end of the input fails whatever the options.
    expectFailures({ { "[\"\xE2\x82", "End of buffer reached while parsing UTF8 in \"\" string.", 1, 1, lenient } });
}

TEST(Decoder, CommentsAndLineBreaksFollowTheOptions)
{
    const unsigned comments = json::ParseOptionAllowComments;
    EXPECT_TRUE(decode("[1, /* x */ 2]", comments));
    EXPECT_TRUE(decode("[1, // x\n2]", comments));
    EXPECT_TRUE(decode("[1 /*/, 2]", comments) == Value::array({ 1, 2 })) << "/*/ is a complete comment";
    expectFailures({
        { "[1, /* x */ 2]", kUnexpectedToken, 4, 1 },
        { "[1, /* a\nb\r\nc */ ]", "Unexpected ']'.", 18, 3, comments },
        { "[1, // x\n ]", "Unexpected ']'.", 11, 2, comments },
    });
    EXPECT_TRUE(decode("[1] // end", comments));
    EXPECT_TRUE(decode("[1] /* unclosed", comments));

    const unsigned breaks = json::ParseOptionUnicodeLineBreaks;
    expectFailures({
        { "[1,\xE2\x80\xA8\xC2\x85\xE2\x80\xA9]", "Unexpected ']'.", 12, 4, breaks },
        { "[1,\xE2\x80\xA8]", kUnexpectedToken, 3, 1 },
    });
}

TEST(Decoder, IndentationEndsWhereTheGeneralWhiteSpaceRulesTakeOver)
{
    // A line break and a run of spaces are skipped a word at a time; what
    // follows the run (a token, a tab, another break, a comment, a Unicode
    // line break) is read as before, and lines are counted across it.
    struct Follow {
        std::string text;
        unsigned options;
        std::uint64_t lines;
    };
    const unsigned comments = json::ParseOptionAllowComments;
    const unsigned breaks = json::ParseOptionUnicodeLineBreaks;
    for (std::size_t n : { 0u, 1u, 7u, 8u, 9u, 16u, 17u }) {
        const std::string spaces(n, ' ');
        for (const Follow& follow : std::vector<Follow> { { "", 0, 0 }, { "\t", 0, 0 }, { "\r\n" + spaces, 0, 1 },
                 { "\n", 0, 1 }, { "/* c */ ", comments, 0 }, { "// c\n", comments, 1 }, { "\xC2\x85", breaks, 1 } }) {
            const std::string head = "[1,\n" + spaces + follow.text + "2";
            SCOPED_TRACE(head);
            EXPECT_EQ(decode(head + "\n" + spaces + "]", follow.options), Value::array({ 1, 2 }));
            const std::string broken = head + ",\n" + spaces + "]";
            expectFailures({ { broken, "Unexpected ']'.", broken.size(), 3 + follow.lines, follow.options } });
        }
        expectFailures({ { "[1,\n" + spaces + "/ 2]", kUnexpectedToken, 4 + n, 2 },
            { "[1,\n" + spaces + "\xC2\x85 2]", kUnexpectedToken, 4 + n, 2 } });
    }
}

TEST(Decoder, TrailingTextIsAllowedOnlyWithTheOption)
{
    EXPECT_TRUE(decode("[1]   \n"));
    Value value = decode("[1] x", json::ParseOptionAllowTrailingText);
    EXPECT_EQ(value[0].integerValue(), 1);
}

TEST(Decoder, LaterDuplicateKeysReplaceEarlierOnes)
{
    Value value = decode("{\"a\":1,\"a\":2}");
    ASSERT_EQ(value.count(), 1u);
    EXPECT_EQ(value["a"].integerValue(), 2);
}

TEST(Decoder, CacheSharesObjectsUntilCleared)
{
    Decoder decoder;
    Value first = decoder.objectWithData("{\"name\":\"kitchen\",\"watts\":1200}");
    Value second = decoder.objectWithData("[\"kitchen\",1200,\"name\"]");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first["name"].isSameObject(second[0]));
    EXPECT_TRUE(first["watts"].isSameObject(second[1]));
    EXPECT_TRUE(first.asDictionary()->allKeys()[0].isSameObject(second[2]) || first.count() == 2);
    decoder.clearCache();
    Value third = decoder.objectWithData("[\"kitchen\"]");
    EXPECT_FALSE(third[0].isSameObject(first["name"]));
    EXPECT_EQ(third[0], first["name"]);

    // Per-call decoding keeps no cache between calls.
    Value a = json::objectFromJSONData("[\"x\"]");
    Value b = json::objectFromJSONData("[\"x\"]");
    EXPECT_FALSE(a[0].isSameObject(b[0]));
}

TEST(Decoder, SameNumbersOfDifferentKindsStayDistinctInTheCache)
{
    Value value = decode("[1,1.0,1,-0,0]");
    EXPECT_TRUE(value[0].isSameObject(value[2]));
    EXPECT_EQ(value[1].kind(), Kind::Double);
    EXPECT_EQ(value[3].kind(), Kind::Double);
    EXPECT_EQ(value[4].kind(), Kind::Integer);
}

TEST(Decoder, LongArraysAndManyPendingValuesMoveTheStackToTheHeap)
{
    for (int n : { 1020, 1021, 5000 }) {
        std::string text = "[";
        for (int i = 0; i < n; ++i)
            text += (i ? "," : "") + std::to_string(i);
        text += "]";
        Value value = decode(text);
        ASSERT_EQ(value.count(), static_cast<std::size_t>(n));
        EXPECT_EQ(value[n - 1].integerValue(), n - 1);
    }
    // Values pending across several open containers.
    std::string nested = "[";
    for (int i = 0; i < 700; ++i)
        nested += std::to_string(i) + ",";
    nested += "{";
    for (int i = 0; i < 700; ++i)
        nested += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i);
    nested += "}]";
    Value value = decode(nested);
    ASSERT_EQ(value.count(), 701u);
    EXPECT_EQ(value[700].count(), 700u);
    EXPECT_EQ(value[700]["k699"].integerValue(), 699);
}

TEST(Decoder, MillionElementContainersDecodeWhole)
{
    // Far past every growth of the stack: each element lands where it belongs.
    constexpr int n = 1'000'000;
    std::string text = "[";
    std::string object = "{";
    for (int i = 0; i < n; ++i) {
        const std::string number = std::to_string(i);
        text += (i ? "," : "") + number;
        object += (i ? ",\"" : "\"") + number + "\":" + number;
    }
    text += "]";
    object += "}";
    Value array = decode(text);
    ASSERT_EQ(array.count(), static_cast<std::size_t>(n));
    for (int i : { 0, 1019, 1020, 2047, 2048, 65535, 65536, 524288, n - 1 })
        EXPECT_EQ(array[static_cast<std::size_t>(i)].integerValue(), i) << "element " << i;
    long long sum = 0;
    for (std::size_t i = 0; i < array.count(); ++i)
        sum += array[i].integerValue();
    EXPECT_EQ(sum, static_cast<long long>(n) * (n - 1) / 2);

    Value dictionary = decode(object);
    ASSERT_EQ(dictionary.count(), static_cast<std::size_t>(n));
    for (int i : { 0, 2048, 65536, n - 1 })
        EXPECT_EQ(dictionary[std::to_string(i)].integerValue(), i) << "key " << i;
    // The same text cut off before its closing bracket still fails cleanly.
    text.back() = ',';
    Error error;
    EXPECT_FALSE(json::objectFromJSONDataWithParseOptions(text, 0, &error));
    EXPECT_EQ(error.description, "Reached the end of the buffer.");
}

TEST(Decoder, RefusesNestingBeyondTheLimit)
{
    std::string ok(json::kMaximumNestingDepth, '[');
    ok += std::string(json::kMaximumNestingDepth, ']');
    EXPECT_TRUE(decode(ok));

    for (std::size_t depth : { json::kMaximumNestingDepth + 1, std::size_t(100000) }) {
        std::string deep(depth, '[');
        deep += std::string(depth, ']');
        Error error;
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions(deep, 0, &error));
        EXPECT_EQ(error.description, "Nesting of arrays and objects is deeper than the limit of 1024.");
        EXPECT_EQ(error.atIndex, 1025u);
    }
    std::string objects;
    for (int i = 0; i < 2000; ++i)
        objects += "{\"a\":";
    Error error;
    EXPECT_FALSE(json::objectFromJSONDataWithParseOptions(objects, 0, &error));
    EXPECT_EQ(error.description, "Nesting of arrays and objects is deeper than the limit of 1024.");
}

TEST(Decoder, MutableEntryPointsMakeEveryContainerMutable)
{
    Value value = json::mutableObjectFromJSONData("{\"a\":[1,{\"b\":2}]}");
    ASSERT_TRUE(value);
    EXPECT_TRUE(value.asDictionary()->isMutable());
    EXPECT_TRUE(value["a"].asArray()->isMutable());
    EXPECT_TRUE(value["a"][1].asDictionary()->isMutable());
    EXPECT_FALSE(json::objectFromJSONData("[[1]]")[0].asArray()->isMutable());

    Value fromString = json::mutableObjectFromJSONString("[1]");
    EXPECT_TRUE(fromString.asArray()->isMutable());
    EXPECT_EQ(json::objectFromJSONString("{\"a\":\"b\"}")["a"].stringValue(), "b");
}

TEST(Decoder, MisuseRaisesNamedExceptions)
{
    try {
        Decoder decoder(16);
        FAIL();
    } catch (const json::InvalidArgumentException& e) {
        EXPECT_STREQ(e.name(), "NSInvalidArgumentException");
        EXPECT_STREQ(e.what(), "Invalid parse options.");
    }
    Decoder decoder(15);
    EXPECT_THROW(
        {
            try {
                decoder.objectWithUTF8String(nullptr, 3);
            } catch (const json::InvalidArgumentException& e) {
                EXPECT_STREQ(e.what(), "The string argument is NULL.");
                throw;
            }
        },
        json::InvalidArgumentException);
    EXPECT_THROW(
        {
            try {
                decoder.objectWithData(std::string_view());
            } catch (const json::InvalidArgumentException& e) {
                EXPECT_STREQ(e.what(), "The jsonData argument is NULL.");
                throw;
            }
        },
        json::InvalidArgumentException);
    decoder.cleanUp();
    decoder.cleanUp();
    EXPECT_THROW(
        {
            try {
                decoder.objectWithData("[]");
            } catch (const json::InternalInconsistencyException& e) {
                EXPECT_STREQ(e.name(), "NSInternalInconsistencyException");
                EXPECT_STREQ(e.what(), "parseState is NULL.");
                throw;
            }
        },
        json::InternalInconsistencyException);
}

TEST(Decoder, ErrorIsLeftUntouchedOnSuccessAndDecoderStaysUsable)
{
    Decoder decoder;
    Error error;
    error.description = "earlier";
    EXPECT_TRUE(decoder.objectWithData("[1]", &error));
    EXPECT_EQ(error.description, "earlier");
    EXPECT_FALSE(decoder.objectWithData("[1,]", &error));
    EXPECT_EQ(error.description, "Unexpected ']'.");
    EXPECT_TRUE(decoder.objectWithData("[\"again\"]"));
}

TEST(Decoder, FailureAfterAFinishedDictionaryReleasesEachValueOnce)
{
    // The dictionary's key entries on the stack belong to it once it is made;
    // the enclosing array's failure must not release them again.
    Decoder decoder;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(decoder.objectWithData("[{\"a\":\"x\"},1,]"));
        EXPECT_FALSE(decoder.objectWithData("{\"k\":[{\"a\":\"x\"} on]}"));
    }
    Value value = decoder.objectWithData("[{\"a\":\"x\"},\"a\"]");
    ASSERT_TRUE(value);
    EXPECT_EQ(value[1].stringValue(), "a");
    EXPECT_EQ(value[0]["a"].stringValue(), "x");
}
