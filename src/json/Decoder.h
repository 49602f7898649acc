#pragma once

#include "json/Error.h"
#include "json/Value.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace json {

/// Parse options, combined with `|`. Strict (0) is what the application uses.
enum ParseOptionFlags : unsigned {
    ParseOptionStrict = 0,
    ParseOptionAllowComments = 1,
    ParseOptionUnicodeLineBreaks = 2,
    ParseOptionLenientUnicode = 4,
    ParseOptionAllowTrailingText = 8,
    ParseOptionValidFlags = 15,
};

/// Containers nested deeper than this are refused with an error, so that a
/// hostile document cannot exhaust the call stack.
constexpr std::size_t kMaximumNestingDepth = 1024;

struct ParseState;

/// Decodes UTF-8 JSON text whose top level is an array or an object. A decoder
/// keeps a cache of the strings and numbers it made, so a string or number met
/// again (in this reply or a later one) is the same object, until
/// `clearCache`. One decoder belongs to one thread at a time.
class Decoder {
public:
    /// Raises `InvalidArgumentException` "Invalid parse options." above 15.
    explicit Decoder(unsigned parseOptions = ParseOptionStrict);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    static std::unique_ptr<Decoder> decoder() { return decoderWithParseOptions(ParseOptionStrict); }
    static std::unique_ptr<Decoder> decoderWithParseOptions(unsigned parseOptions);

    unsigned parseOptions() const noexcept;
    void clearCache() noexcept;
    /// Frees the parse state and cache; decoding afterwards raises
    /// `InternalInconsistencyException` "parseState is NULL.". Harmless twice.
    void cleanUp() noexcept;

    /// The top-level value, or a handle holding nothing on failure with the
    /// first error stored through `error` (left untouched on success).
    Value objectWithUTF8String(const char* bytes, std::size_t length, Error* error = nullptr);
    Value objectWithData(std::string_view data, Error* error = nullptr);
    Value mutableObjectWithUTF8String(const char* bytes, std::size_t length, Error* error = nullptr);
    Value mutableObjectWithData(std::string_view data, Error* error = nullptr);
    Value parseUTF8String(const char* bytes, std::size_t length, Error* error = nullptr)
    {
        return objectWithUTF8String(bytes, length, error);
    }
    Value parseJSONData(std::string_view data, Error* error = nullptr) { return objectWithData(data, error); }

private:
    friend class DecodeOnce;
    Value decode(const char* bytes, std::size_t length, bool isMutable, Error* error);

    std::unique_ptr<ParseState> m_parseState;
    /// Made for a single call: its cache is given up as the decode ends.
    bool m_usedOnce { false };
};

/// Gives back to the system the memory decoders keep for their next large
/// decodes (empty arena chunks, mapped blocks, this thread's stack block);
/// the bytes given back. Memory that decoded values still use stays. The
/// same happens by itself once decoders have taken and given back no memory
/// for a second (the stack block of each thread excepted).
std::size_t releaseIdleDecoderMemory() noexcept;

// Per-call forms: each makes its own decoder, so no cache survives the call.
// The data forms raise "The jsonData argument is NULL." for a default-made view.
Value objectFromJSONData(std::string_view data);
Value objectFromJSONDataWithParseOptions(std::string_view data, unsigned parseOptions, Error* error = nullptr);
Value mutableObjectFromJSONData(std::string_view data);
Value mutableObjectFromJSONDataWithParseOptions(std::string_view data, unsigned parseOptions, Error* error = nullptr);

Value objectFromJSONString(std::string_view string);
Value objectFromJSONStringWithParseOptions(std::string_view string, unsigned parseOptions, Error* error = nullptr);
Value mutableObjectFromJSONString(std::string_view string);
Value mutableObjectFromJSONStringWithParseOptions(
    std::string_view string, unsigned parseOptions, Error* error = nullptr);

} // namespace json
