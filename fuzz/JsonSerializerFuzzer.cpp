// Serializes strings made of arbitrary bytes, as values and as keys: a
// write either fails with the conversion error, exactly when some string
// is not well-formed UTF-8, or gives text that decodes back to the same
// strings (noncharacters and NUL, which the decoder refuses, read back as
// U+FFFD under the lenient option).
#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/JSON.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

struct Utf8Check {
    bool wellFormed = true;
    bool hasNoncharacter = false;
};

// An independent reading of the well-formed UTF-8 table.
Utf8Check check(std::string_view text)
{
    Utf8Check result;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = s + text.size();
    while (s < end) {
        const unsigned char b = *s;
        if (b < 0x80) {
            ++s;
            continue;
        }
        int n = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
        if (n < 0 || end - s <= n) {
            result.wellFormed = false;
            return result;
        }
        unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        std::uint32_t c = b & (n == 1 ? 0x1F : n == 2 ? 0x0F : 0x07);
        for (int i = 1; i <= n; ++i) {
            const unsigned char t = s[i];
            if (t < (i == 1 ? low : 0x80) || t > (i == 1 ? high : 0xBF)) {
                result.wellFormed = false;
                return result;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            result.hasNoncharacter = true;
        s += n + 1;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Strings separated by 0xFF bytes (never part of UTF-8); the first byte chooses the options.
    if (size == 0)
        return 0;
    const unsigned options = data[0]
        & (json::SerializeOptionPretty | json::SerializeOptionEscapeNonAscii | json::SerializeOptionEscapeSlash);
    std::vector<std::string> strings;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    for (;;) {
        const auto cut = rest.find('\xFF');
        strings.emplace_back(rest.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    bool wellFormed = true, hasNoncharacter = false, hasNul = false;
    std::vector<json::Value> values;
    for (const auto& s : strings) {
        Utf8Check c = check(s);
        wellFormed = wellFormed && c.wellFormed;
        hasNoncharacter = hasNoncharacter || c.hasNoncharacter;
        hasNul = hasNul || s.find('\0') != std::string::npos;
        values.push_back(json::Value::string(s));
    }
    // What strict decoding refuses (noncharacters, and NUL written as
    // \u0000) reads back as U+FFFD under the lenient option.
    const bool readsBackReplaced = hasNoncharacter || hasNul;
    json::Value array = json::Value::array(values);
    json::Value dictionary = json::Value::mutableDictionary();
    for (std::size_t i = 0; i < values.size(); ++i)
        dictionary.asDictionary()->setObject(json::Value(static_cast<int>(i)), values[i]); // object, key

    for (const json::Value& value : { array, dictionary }) {
        json::Error error;
        auto text = json::JSONDataWithOptions(value, options, &error);
        const bool escaping = options & json::SerializeOptionEscapeNonAscii;
        // Escaping refuses noncharacters too, as the decoder would.
        const bool shouldWrite = wellFormed && !(escaping && hasNoncharacter);
        if (text.has_value() != shouldWrite)
            failCheck(shouldWrite ? "well-formed strings did not serialize" : "ill-formed strings serialized",
                text ? std::string_view(*text) : std::string_view(error.description));
        if (!text) {
            const char* expected = escaping ? "Error converting UTF8."
                                            : "An error occurred converting the contents of a NSString to UTF8.";
            if (error.description != expected)
                failCheck("the wrong error", error.description);
            continue;
        }
        json::Value back = json::objectFromJSONDataWithParseOptions(
            *text, readsBackReplaced ? json::ParseOptionLenientUnicode : json::ParseOptionStrict, &error);
        if (!back)
            failCheck("serialized text did not decode", error.description);
        if (!readsBackReplaced && !(back == value))
            failCheck("the strings changed on a round trip", *text);
    }
    return 0;
}
