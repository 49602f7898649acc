// Decodes arbitrary bytes under every option combination; whatever decodes
// must serialize, and the text must decode again to an equal value.
#include "json/JSON.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

void roundTrip(const json::Value& value, unsigned serializeOptions)
{
    json::Error error;
    auto text = json::JSONDataWithOptions(value, serializeOptions, &error);
    if (!text)
        failCheck("a decoded value did not serialize", error.description);
    json::Value again = json::objectFromJSONDataWithParseOptions(*text, json::ParseOptionStrict, &error);
    if (!again)
        failCheck("serialized text did not decode", error.description);
    if (!(again == value))
        failCheck("the value changed on a round trip", *text);
}

// The first element or value of a container, or nothing.
json::Value firstPart(const json::Value& value)
{
    if (const json::Array* array = value.asArray())
        return array->count() ? array->at(0) : json::Value();
    if (const json::Dictionary* dictionary = value.asDictionary())
        for (const auto& entry : *dictionary)
            return entry.object;
    return {};
}

// A decoder made for one call, whose tree may be released whole: the same
// value as a kept decoder's, and a part kept past the root's release stays whole.
void decodeOnce(std::string_view input, unsigned options, const json::Value& expected)
{
    json::Error error;
    json::Value value = json::objectFromJSONDataWithParseOptions(input, options, &error);
    if (!value || !(value == expected))
        failCheck("a decode for one call differed", input);
    value = json::objectFromJSONDataWithParseOptions(input, options, &error);
    json::Value part = firstPart(value);
    const json::Value expectedPart = firstPart(expected);
    value = json::Value();
    if (part.isNone() != expectedPart.isNone() || (part && !(part == expectedPart)))
        failCheck("a part kept past its tree changed", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    json::Decoder shared(json::ParseOptionStrict);
    for (unsigned options = 0; options <= json::ParseOptionValidFlags; ++options) {
        json::Decoder decoder(options);
        json::Error error;
        json::Value value = decoder.objectWithData(input, &error);
        if (!value) {
            if (error.description.empty() || !error.atIndex || *error.atIndex > size || !error.lineNumber
                || *error.lineNumber == 0)
                failCheck("a failure without a proper error", error.description);
            continue;
        }
        // The cache must hand back equal values when the same text is decoded again.
        json::Value repeated = decoder.mutableObjectWithData(input, &error);
        if (!repeated || !(repeated == value))
            failCheck("a second decode differed", input);
        decodeOnce(input, options, value);
        if (options == json::ParseOptionStrict) {
            roundTrip(value, json::SerializeOptionNone);
            roundTrip(value, json::SerializeOptionPretty);
            roundTrip(repeated, json::SerializeOptionEscapeNonAscii | json::SerializeOptionEscapeSlash);
        } else {
            roundTrip(value, json::SerializeOptionEscapeNonAscii);
        }
    }
    // A decoder used for many documents keeps working after failures.
    shared.objectWithData(input);
    shared.objectWithData("{\"a\":[1,2.5,\"x\"]}");
    return 0;
}
