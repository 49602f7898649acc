#include "json/JSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

using json::Error;
using json::Value;

namespace {

std::string write(const Value& value, unsigned options = 0)
{
    Error error;
    auto text = json::JSONStringWithOptions(value, options, &error);
    EXPECT_TRUE(text) << error.description;
    return text.value_or("");
}

std::string failure(const Value& value, unsigned options = 0)
{
    Error error;
    auto text = json::JSONDataWithOptions(value, options, &error);
    EXPECT_FALSE(text) << *text;
    EXPECT_EQ(error.domain, "JCErrorDomain");
    EXPECT_EQ(error.code, -1);
    EXPECT_FALSE(error.atIndex);
    return error.description;
}

class Delegate : public json::FormatterDelegate {
public:
    json::Formatter methodForSelector(const char* selector) override
    {
        if (std::string(selector) != "format:")
            return {};
        return [](const Value& value) { return Value("delegated " + value.className()); };
    }
};

} // namespace

TEST(Serializer, WritesReplyObjects)
{
    Value reply = Value::mutableDictionary();
    reply.asDictionary()->setObject(true, "success");
    Value list = Value::mutableArray({ 1, -2.5, "a\"b", Value::null() });
    reply.asDictionary()->setObject(list, "list");
    EXPECT_EQ(write(reply, json::SerializeOptionPretty),
        "{\n  \"list\": [\n    1,\n    -2.5,\n    \"a\\\"b\",\n    null\n  ],\n  \"success\": true\n}");
    EXPECT_EQ(json::objectFromJSONData(write(reply)), reply);
}

TEST(Serializer, EmptyContainersAndPrettyLayout)
{
    EXPECT_EQ(write(Value::array()), "[]");
    EXPECT_EQ(write(Value::dictionary()), "{}");
    EXPECT_EQ(write(Value::array(), json::SerializeOptionPretty), "[\n  \n]");
    EXPECT_EQ(write(Value::dictionary(), json::SerializeOptionPretty), "{\n  \n}");
    Value nested = json::objectFromJSONData("{\"b\":{\"d\":[],\"c\":[1,[2]]},\"a\":false}");
    EXPECT_EQ(write(nested, json::SerializeOptionPretty),
        "{\n  \"a\": false,\n  \"b\": {\n    \"c\": [\n      1,\n      [\n        2\n      ]\n    ],\n"
        "    \"d\": [\n      \n    ]\n  }\n}");
}

TEST(Serializer, CompactDictionariesFollowTheirSlotOrder)
{
    Value value = json::objectFromJSONData("{\"one\":1,\"two\":2,\"three\":3,\"four\":4}");
    std::string expected = "{";
    for (const auto& entry : *value.asDictionary()) {
        if (expected.size() > 1)
            expected += ",";
        expected += "\"" + std::string(entry.key.stringValue()) + "\":" + std::to_string(entry.object.integerValue());
    }
    EXPECT_EQ(write(value), expected + "}");
}

TEST(Serializer, NumbersAtTheirLimits)
{
    Value value = Value::array({ 0.1, Value::integer(INT64_MIN), Value::unsignedInteger(UINT64_MAX),
        Value::integer(INT64_MAX), 0, -0.0, 1e300, 5e-324, 100.0, true, false });
    EXPECT_EQ(write(value),
        "[0.10000000000000001,-9223372036854775808,18446744073709551615,9223372036854775807,0,-0,1.0000000000000001e+"
        "300,"
        "4.9406564584124654e-324,100,true,false]");
    const std::string finite = "Floating point values must be finite.  JSON does not support NaN or Infinity.";
    EXPECT_EQ(failure(Value::array({ std::nan("") })), finite);
    EXPECT_EQ(failure(Value::array({ std::numeric_limits<double>::infinity() })), finite);
    EXPECT_EQ(failure(Value::array({ -std::numeric_limits<double>::infinity() })), finite);
}

TEST(Serializer, EscapesStrings)
{
    Value value = Value::array({ "\t\x01\"\\/\b\f\n\r\x1f" });
    EXPECT_EQ(write(value), "[\"\\t\\u0001\\\"\\\\/\\b\\f\\n\\r\\u001f\"]");
    EXPECT_EQ(write(value, json::SerializeOptionEscapeSlash), "[\"\\t\\u0001\\\"\\\\\\/\\b\\f\\n\\r\\u001f\"]");

    Value unicode = Value::array({ "\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x82\xAC" });
    EXPECT_EQ(write(unicode), "[\"\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x82\xAC\"]");
    EXPECT_EQ(write(unicode, json::SerializeOptionEscapeNonAscii), "[\"\\u00e9 \\ud83d\\ude00 \\u20ac\"]");

    EXPECT_EQ(failure(Value::array({ "\xEF\xBF\xBE" }), json::SerializeOptionEscapeNonAscii), "Error converting UTF8.");
    EXPECT_EQ(write(Value::array({ "\xEF\xBF\xBE" })), "[\"\xEF\xBF\xBE\"]");
    // Bytes that are not UTF-8 at all are refused rather than written as invalid text.
    EXPECT_EQ(failure(Value::array({ "a\xFF" })), "An error occurred converting the contents of a NSString to UTF8.");
    EXPECT_EQ(failure(Value::array({ "\xC3" }), json::SerializeOptionEscapeNonAscii), "Error converting UTF8.");
}

TEST(Serializer, CopiesOnlyWellFormedUtf8)
{
    const std::string conversionError = "An error occurred converting the contents of a NSString to UTF8.";
    struct Case {
        std::string bytes;
        bool wellFormed;
    };
    for (const Case& c : std::vector<Case> {
             // The edges of each well-formed range, noncharacters included.
             { "\xC2\x80", true },
             { "\xDF\xBF", true },
             { "\xE0\xA0\x80", true },
             { "\xED\x9F\xBF", true }, // U+D7FF, the last before the surrogates
             { "\xEE\x80\x80", true }, // U+E000, the first after them
             { "\xEF\xB7\x90", true }, // U+FDD0
             { "\xEF\xBF\xBF", true }, // U+FFFF
             { "\xF0\x90\x80\x80", true },
             { "\xF4\x8F\xBF\xBF", true }, // U+10FFFF
             // Encoded surrogates, high and low, alone and as a pair.
             { "\xED\xA0\x80", false },
             { "\xED\xBF\xBF", false },
             { "\xED\xA0\xBD\xED\xB8\x80", false },
             // Above U+10FFFF, and the lead bytes that can only start such.
             { "\xF4\x90\x80\x80", false },
             { "\xF5\x80\x80\x80", false },
             { "\xF6\x80\x80\x80", false },
             { "\xF7\xBF\xBF\xBF", false },
             { "\xF8\x88\x80\x80\x80", false },
             // Overlong forms, stray and truncated bytes.
             { "\xC0\x80", false },
             { "\xC1\xBF", false },
             { "\xE0\x9F\xBF", false },
             { "\xF0\x8F\xBF\xBF", false },
             { "\x80", false },
             { "\xE2\x82", false },
             { "\xE2\x82z", false },
         }) {
        const std::string text = "a" + c.bytes + "z";
        SCOPED_TRACE("bytes of " + text);
        Value value = Value::array({ text });
        if (c.wellFormed) {
            std::string written = write(value);
            EXPECT_EQ(written, "[\"" + text + "\"]");
            // What we write, our own strict decoder reads back, noncharacters aside
            // (the decoder refuses those).
            Value back = json::objectFromJSONDataWithParseOptions(written, json::ParseOptionLenientUnicode);
            EXPECT_TRUE(back);
        } else {
            EXPECT_EQ(failure(value), conversionError);
            EXPECT_EQ(failure(value, json::SerializeOptionEscapeNonAscii), "Error converting UTF8.");
            // A bad string as a dictionary key fails the same way.
            EXPECT_EQ(failure(Value::dictionary({ { text, 1 } })), conversionError);
        }
    }
}

TEST(Serializer, EscapesAndCharactersAtEveryPlaceOfAWord)
{
    // Strings are copied eight bytes at a time up to the first byte that needs
    // a look, and runs of two- and three-byte characters are copied without
    // the full check: each byte or character here stands at every place of
    // strings around one and two words long, also last, and cut short.
    struct Case {
        std::string bytes;
        std::string escaped; // empty: the write fails
        std::string escapedSlash;
    };
    const std::vector<Case> cases {
        { "\"", "\\\"", "\\\"" },
        { "\\", "\\\\", "\\\\" },
        { "/", "/", "\\/" },
        { "\n", "\\n", "\\n" },
        { "\x1f", "\\u001f", "\\u001f" },
        { " ", " ", " " },
        { "\x7f", "\x7f", "\x7f" },
        { "\xC2\x80", "\xC2\x80", "\xC2\x80" },
        { "\xDF\xBF\xE0\xA0\x80", "\xDF\xBF\xE0\xA0\x80", "\xDF\xBF\xE0\xA0\x80" },
        { "\xED\x9F\xBF\xE2\x82\xAC\xEF\xBF\xBF", "\xED\x9F\xBF\xE2\x82\xAC\xEF\xBF\xBF",
            "\xED\x9F\xBF\xE2\x82\xAC\xEF\xBF\xBF" },
        { "\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xF0\x9F\x98\x80" },
        { "\xC3\xA9\xC1\xBF", "", "" },
        { "\xE0\x9F\xBF", "", "" },
        { "\xED\xA0\x80", "", "" },
        { "\xE2\x82\xAC\xE2\x82", "", "" },
        { "\xC3\xA9\xC3", "", "" },
        { "\xE2\x82\xAC\x80", "", "" },
    };
    for (const Case& c : cases) {
        for (std::size_t length : { 1u, 7u, 8u, 9u, 15u, 16u, 17u }) {
            for (std::size_t place = 0; place <= length; ++place) {
                std::string text = std::string(place, 'a') + c.bytes + std::string(length - place, 'b');
                SCOPED_TRACE("bytes of " + text);
                Value value = Value::array({ text });
                if (c.escaped.empty()) {
                    EXPECT_EQ(failure(value), "An error occurred converting the contents of a NSString to UTF8.");
                    continue;
                }
                std::string before(place, 'a'), after(length - place, 'b');
                EXPECT_EQ(write(value), "[\"" + before + c.escaped + after + "\"]");
                EXPECT_EQ(
                    write(value, json::SerializeOptionEscapeSlash), "[\"" + before + c.escapedSlash + after + "\"]");
            }
        }
    }
}

TEST(Serializer, RepeatedObjectsGiveIdenticalText)
{
    Value shared = Value("na\xC3\xAFve \"quoted\"");
    Value value = Value::array({ shared, shared, Value::dictionary({ { shared, shared } }) });
    std::string once = "\"na\xC3\xAFve \\\"quoted\\\"\"";
    EXPECT_EQ(write(value), "[" + once + "," + once + ",{" + once + ":" + once + "}]");
}

TEST(Serializer, StringEntryPoints)
{
    Value text("a/b");
    EXPECT_EQ(json::JSONString(text), "\"a/b\"");
    EXPECT_EQ(json::JSONData(text), "\"a/b\"");
    EXPECT_EQ(
        json::JSONStringWithOptions(text, json::SerializeOptionEscapeSlash, json::Quotes::Excluded, nullptr), "a\\/b");
    EXPECT_EQ(json::JSONDataWithOptions(text, 0, json::Quotes::Included, nullptr), "\"a/b\"");
    Error error;
    EXPECT_FALSE(json::JSONDataWithOptions(Value(5), 0, json::Quotes::Included, &error));
    EXPECT_EQ(error.description, "Unable to serialize object class JCNumber, expected a NSString.");
    EXPECT_FALSE(json::JSONDataWithOptions(Value(5), 0, &error));
    EXPECT_EQ(error.description, "Unable to serialize object class JCNumber, expected a NSArray or NSDictionary.");
    EXPECT_FALSE(json::JSONString(Value(true)));
}

TEST(Serializer, KeysMustBeStrings)
{
    Value value = Value::mutableDictionary();
    value.asDictionary()->setObject("x", 1);
    EXPECT_EQ(failure(value), "Key must be a string object.");
    EXPECT_EQ(failure(value, json::SerializeOptionPretty), "Key must be a string object.");
}

TEST(Serializer, UnsupportedObjectsGoThroughTheFormatter)
{
    Value widget = Value::opaque("Widget", std::make_shared<int>(7));
    Value value = Value::array({ widget, 1, widget });
    EXPECT_EQ(failure(value), "Unable to serialize object class Widget.");

    int calls = 0;
    json::Formatter toText;
    toText = [&calls](const Value&) {
        ++calls;
        return Value("widget");
    };
    EXPECT_EQ(json::JSONStringWithOptions(value, 0, toText, nullptr), "[\"widget\",1,\"widget\"]");
    EXPECT_EQ(calls, 1) << "the second occurrence re-uses the text written for the first";

    json::Formatter toNothing = [](const Value&) { return Value(); };
    Error error;
    EXPECT_FALSE(json::JSONDataWithOptions(value, 0, toNothing, &error));
    EXPECT_EQ(error.description, "Unable to serialize object class Widget.");

    json::Formatter toGadget = [](const Value&) { return Value::opaque("Gadget"); };
    EXPECT_FALSE(json::JSONDataWithOptions(value, 0, toGadget, &error));
    EXPECT_EQ(error.description,
        "Unable to serialize object class Gadget that was returned by the unsupported class formatter.  Original "
        "object class was Widget.");

    json::Formatter toList = [](const Value&) { return Value::array({ "a", Value::dictionary({ { "k", 2 } }) }); };
    EXPECT_EQ(json::JSONStringWithOptions(value, 0, toList, nullptr), "[[\"a\",{\"k\":2}],1,[\"a\",{\"k\":2}]]");

    Delegate delegate;
    EXPECT_EQ(json::JSONStringWithOptions(value, 0, &delegate, "format:", nullptr),
        "[\"delegated Widget\",1,\"delegated Widget\"]");
}

TEST(Serializer, DelegateMisuseRaisesBeforeWriting)
{
    Delegate delegate;
    Value value = Value::array({ 1 });
    try {
        static_cast<void>(json::JSONDataWithOptions(value, 0, &delegate, nullptr)); // raises
        FAIL();
    } catch (const json::InvalidArgumentException& e) {
        EXPECT_STREQ(e.what(), "The delegate argument is not NULL, but the selector argument is NULL.");
    }
    try {
        static_cast<void>(json::JSONStringWithOptions(value, 0, &delegate, "other:")); // raises
        FAIL();
    } catch (const json::InvalidArgumentException& e) {
        EXPECT_STREQ(e.what(),
            "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
    }
}

TEST(Serializer, RoundTripsDecodedDocuments)
{
    const char* documents[] = {
        "{\"success\":true,\"data\":[{\"id\":\"d1\",\"power\":12.25,\"on\":false,\"tags\":[]},null,-7,"
        "18446744073709551615,-9223372036854775808,1e-7,\"\\u0000\"]}",
        "[\"\\ud83d\\ude00\\u00e9\\n\",{\"\":{\"\":[[[]]]}},0.30000000000000004,-0,1.7976931348623157e308]",
    };
    for (const char* text : documents) {
        SCOPED_TRACE(text);
        Value first = json::objectFromJSONDataWithParseOptions(text, json::ParseOptionLenientUnicode);
        ASSERT_TRUE(first);
        for (unsigned options : { 0u, 1u, 2u, 16u, 19u }) {
            auto written = json::JSONDataWithOptions(first, options);
            ASSERT_TRUE(written);
            Value second = json::objectFromJSONData(*written);
            EXPECT_EQ(first, second) << *written;
        }
    }
}

TEST(Serializer, LargeOutputsLeaveTheFirstBuffer)
{
    Value list = Value::mutableArray();
    std::string expected = "[";
    for (int i = 0; i < 20000; ++i) {
        list.asArray()->addObject(Value("item " + std::to_string(i)));
        expected += (i ? ",\"item " : "\"item ") + std::to_string(i) + "\"";
    }
    EXPECT_EQ(write(list), expected + "]");
    std::string longText(100000, 'x');
    longText[500] = '\n';
    EXPECT_EQ(write(Value::array({ longText })).size(), longText.size() + 5);
}

TEST(Serializer, EncodesInsideAFormatterAndAfterLargeOutputs)
{
    // The thread keeps its last output buffer for the next encode, up to
    // 1 MB: an output past that, one at the limit and encodes nested in a
    // formatter each write into a buffer of their own.
    auto row = [](std::size_t bytes) { return Value::array({ std::string(bytes - 4, 'r') }); };
    for (std::size_t bytes :
        { (std::size_t(1) << 20) + 1, std::size_t(1) << 20, std::size_t(300000), std::size_t(5) }) {
        EXPECT_EQ(write(row(bytes)).size(), bytes);
        EXPECT_EQ(write(Value::array({ "small" })), "[\"small\"]");
    }
    Value inner = Value::array({ std::string(200000, 'i') });
    Value widget = Value::opaque("Widget");
    json::Formatter nested = [&inner](const Value&) { return Value(*json::JSONString(inner)); };
    Value outer = Value::array({ std::string(100000, 'o'), widget, "end" });
    auto text = json::JSONStringWithOptions(outer, 0, nested, nullptr);
    ASSERT_TRUE(text);
    std::string innerText = "\"" + std::string(200000, 'i') + "\"";
    std::string escapedInner = "[\\\"" + std::string(200000, 'i') + "\\\"]";
    EXPECT_EQ(*text, "[\"" + std::string(100000, 'o') + "\",\"" + escapedInner + "\",\"end\"]");
    EXPECT_EQ(json::JSONString(inner), "[" + innerText + "]");
}

TEST(Serializer, EncodesInDestructorsAtAThreadsExit)
{
    // An object of the thread made before its first encode is destroyed after
    // the thread's kept buffer: its encode then keeps nothing.
    struct EncodesAtExit {
        std::string* out = nullptr;
        ~EncodesAtExit()
        {
            if (out)
                *out = json::JSONString(Value::array({ std::string(5000, 'x') })).value_or("failed");
        }
    };
    std::string atExit;
    std::thread thread([&atExit] {
        thread_local EncodesAtExit last;
        last.out = &atExit;
        EXPECT_EQ(json::JSONString(Value::array({ "first" })), "[\"first\"]");
    });
    thread.join();
    EXPECT_EQ(atExit, "[\"" + std::string(5000, 'x') + "\"]");
}

TEST(Serializer, ClassMethodChecksTheResultTypeAndClearsAnEarlierError)
{
    Error error;
    error.description = "earlier";
    EXPECT_EQ(json::Serializer::serializeObject(
                  Value::array({ 1 }), 0, json::EncodeOptionResultData, {}, nullptr, nullptr, &error),
        "[1]");
    EXPECT_EQ(error.description, "");
    EXPECT_FALSE(json::Serializer::serializeObject(
        Value::array({ 1 }), 0, json::EncodeOptionCollectionObj, {}, nullptr, nullptr, &error));
    EXPECT_EQ(error.description, "Unknown encode as type.");
}
