#pragma once

// The decoder's parser, shared by the files that implement it: the scanner
// (white space, tokens, errors), strings, numbers and containers. Internal
// to json/; the public face is `Decoder` in json/Decoder.h.

#include "json/Decoder.h"
#include "json/ObjectStack.h"
#include "json/ValueCache.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace json {

struct ParseState {
    unsigned options { 0 };
    detail::ValueCache cache;
};

namespace detail {

    enum class Token : std::uint8_t {
        Number,
        String,
        ObjectBegin,
        ObjectEnd,
        ArrayBegin,
        ArrayEnd,
        Colon,
        Comma,
        True,
        False,
        Null,
    };

    inline bool isValueToken(Token t)
    {
        return t == Token::Number || t == Token::String || t == Token::ObjectBegin || t == Token::ArrayBegin
            || t == Token::True || t == Token::False || t == Token::Null;
    }

    enum Accept : unsigned { AcceptValue = 1, AcceptComma = 2, AcceptEnd = 4 };

    inline constexpr const char* kUnexpectedToken
        = "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";
    inline constexpr const char* kSourceUnit = "JSONCodec";

    constexpr std::array<bool, 256> makeDigits()
    {
        std::array<bool, 256> digits {};
        for (int c = '0'; c <= '9'; ++c)
            digits[c] = true;
        return digits;
    }
    inline constexpr std::array<bool, 256> kDigit = makeDigits();

    constexpr std::uint32_t pow33(int n)
    {
        std::uint32_t result = 1;
        for (int i = 0; i < n; ++i)
            result *= 33u;
        return result;
    }

    inline std::uint64_t loadWord(const unsigned char* p)
    {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        return word;
    }

#if defined(__SSE2__)
    // The powers 33^7 down to 33^0 split into 16-bit halves for a signed
    // 16-bit multiply-add: a low half of 0x8000 or more counts 65536 short
    // there, which the high half, worth 65536 each, makes up with one more.
    struct HashPowers {
        alignas(16) std::int16_t low[8];
        alignas(16) std::int16_t high[8];
    };
    constexpr HashPowers makeHashPowers()
    {
        HashPowers powers {};
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t power = pow33(7 - i);
            const std::uint32_t low = power & 0xFFFF;
            const std::uint32_t high = ((power >> 16) + (low >= 0x8000 ? 1 : 0)) & 0xFFFF;
            powers.low[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low));
            powers.high[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(high));
        }
        return powers;
    }
    inline constexpr HashPowers kHashPowers = makeHashPowers();
#endif

    // The string hash carried over eight bytes (the word's lowest byte
    // first): h * 33^8 + byte0 * 33^7 + ... + byte7, modulo 2^32. The eight
    // products are summed in vector lanes rather than one by one.
    inline std::uint32_t hashEightBytes(std::uint32_t h, std::uint64_t word)
    {
#if defined(__SSE2__)
        const __m128i bytes = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(word)), _mm_setzero_si128());
        const __m128i low = _mm_madd_epi16(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(kHashPowers.low)));
        const __m128i high = _mm_madd_epi16(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(kHashPowers.high)));
        __m128i sum = _mm_add_epi32(low, _mm_slli_epi32(high, 16));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
        return h * pow33(8) + static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum));
#else
        for (int i = 0; i < 8; ++i)
            h = h * 33u + static_cast<std::uint32_t>((word >> (8 * i)) & 0xFF);
        return h;
#endif
    }

    // The string hash carried over the first n bytes of a word (n below 8):
    // the bytes moved to the top of the word take the powers 33^(n-1) down
    // to 33^0 there, and the bytes shifted in are zeros.
    inline std::uint32_t hashFirstBytes(std::uint32_t h, std::uint64_t word, unsigned n)
    {
        constexpr std::uint32_t kPowers[8]
            = { pow33(0), pow33(1), pow33(2), pow33(3), pow33(4), pow33(5), pow33(6), pow33(7) };
        if (n == 0)
            return h;
        return h * kPowers[n] + hashEightBytes(0, word << (8 * (8 - n)));
    }

    /// What a number's text holds, as the scan reads it: the significand's
    /// digits (integer and fraction, wrapping past 19 of them) and the
    /// exponent, for the quick conversion; the text itself for the others.
    struct NumberText {
        const unsigned char* start;
        const unsigned char* end;
        std::uint64_t magnitude;
        std::size_t digits;
        std::size_t fractionDigits;
        int exponent;
        bool exponentLarge;
        bool negative;
        bool floating;
    };

    /// One parse over a borrowed buffer: one cursor, one end, every failure
    /// through `fail`, which keeps only the first error of the parse.
    class Parser {
    public:
        Parser(ParseState& state, const char* bytes, std::size_t length, bool isMutable, ObjectStack& stack,
            char* tokenBuffer, std::size_t tokenBufferSize)
            : m_options(state.options)
            , m_cache(state.cache)
            , m_start(reinterpret_cast<const unsigned char*>(bytes))
            , m_cursor(m_start)
            , m_end(m_start + length)
            , m_isMutable(isMutable)
            , m_stack(stack)
            , m_frameBuffer(tokenBuffer)
            , m_buffer(tokenBuffer)
            , m_bufferSize(tokenBufferSize)
        {
        }
        ~Parser()
        {
            if (m_buffer != m_frameBuffer)
                std::free(m_buffer);
        }
        Parser(const Parser&) = delete;
        Parser& operator=(const Parser&) = delete;

        Value parse();
        std::optional<Error>& error() { return m_error; }

    private:
        // DecoderScanner.cpp: errors, white space and the token dispatch.
        bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
        bool failInternal(const char* format, int line);
        bool failExpected(unsigned accepted, const char* valueName, const char* endName);
        void skipWhitespace();
        bool skipLineBreak(const unsigned char*& p);
        bool nextToken();
        /// nextToken for a token known to start with a quote.
        bool takeString();
        /// nextToken for a token known to start with a digit or a minus sign.
        bool takeNumber();
        /// nextToken for a string or number right at the cursor (compact
        /// text, the usual value); `taken` is false when the byte starts
        /// neither and nothing was read. False when the token failed.
        bool takeScalar(bool& taken);
        /// Where a value is due and an array or a dictionary opens at the
        /// cursor: its token taken as the dispatch would, and the container
        /// parsed at once (null on failure, recorded); `taken` says whether
        /// one opened here.
        Object* takeContainer(bool& taken);

        // DecoderStrings.cpp.
        bool parseString();
        bool parseStringSlow(const unsigned char* resume, std::uint32_t hash);
        bool growBuffer(std::size_t needed);
        /// Copies the UTF-8 sequence at `s` to the token buffer after the full
        /// check (U+FFFD for an invalid one when lenient); false on failure.
        bool copyUtf8Sequence(const unsigned char*& s, std::size_t& out);
        /// Decodes the escape after the backslash at `s` into the token buffer.
        bool copyEscape(const unsigned char*& s, std::size_t& out);
        /// The code point of a \u escape whose four digits start at `s`, and of
        /// the low surrogate's escape after it; false on failure.
        bool readUnicodeEscape(const unsigned char*& s, std::uint32_t& codePoint);
        /// Four hex digits at `s`: 1 read, 0 input ended, -1 a bad digit (recorded).
        int readHexDigits(const unsigned char*& s, std::uint32_t& value);

        // DecoderNumbers.cpp.
        bool parseNumber();
        /// The number's text at the cursor, read up to the byte after it.
        bool scanNumber(NumberText& number);
        /// The value of a scanned number: its type and its eight value bytes.
        bool convertNumber(const NumberText& number, ValueType& type, std::uint64_t& bits);
        /// The general conversion of a number token, with its range errors.
        bool convertDouble(const unsigned char* start, const unsigned char* end, double& d);

        // DecoderContainers.cpp.
        Object* buildValue();
        Object* parseArray();
        Object* parseDictionary();
        /// Counts a level of nesting; false (recorded) past the limit.
        bool enterContainer();
        /// Ends a container's level: without a result, its pending entries
        /// from `start` are released (an array's have no keys).
        Object* leaveContainer(std::size_t start, Object* result, bool isArray);
        /// The array or dictionary of the stack's entries from `start`.
        Object* finishArray(std::size_t start);
        Object* finishDictionary(std::size_t start);
        /// The value after a key's colon (white space before it skipped).
        Object* dictionaryValue(unsigned acceptedBeforeKey);
        /// The colon after a key; false (recorded) without one.
        bool takeColon();
        /// The key at `index` of a dictionary when its text is that of the
        /// key at the same place in the dictionary before at this depth
        /// (records in an array repeat their keys): one comparison and a
        /// repeat of that key's cache hit instead of a scan and a lookup.
        /// Null when the text differs or the cache would not hit at once.
        Object* repeatedKey(std::size_t index);
        /// Remembers the key just taken at `index`, for `repeatedKey`.
        void rememberKey(std::size_t index, Object* key);
        void noteUnclosedContainer();

        unsigned m_options;
        ValueCache& m_cache;
        const unsigned char* m_start;
        const unsigned char* m_cursor;
        const unsigned char* m_end;
        std::size_t m_line { 1 };
        bool m_isMutable;
        ObjectStack& m_stack;
        std::size_t m_depth { 0 };

        // The keys of the last dictionary at each shallow depth, by place.
        static constexpr std::size_t kRememberedDepths = 16;
        static constexpr std::size_t kRememberedKeys = 16;
        struct RememberedKey {
            /// The key's text in the input, opening quote first; none when not remembered.
            const unsigned char* text;
            Object* object;
            std::uint32_t length;
            std::uint32_t hash;
            std::uint32_t slot;
        };
        RememberedKey m_rememberedKeys[kRememberedDepths][kRememberedKeys] {};

        Token m_token { Token::Null };
        const unsigned char* m_tokenStart { nullptr };
        std::size_t m_tokenLength { 0 };
        TokenValue m_value {};

        char* m_frameBuffer;
        char* m_buffer;
        std::size_t m_bufferSize;

        std::optional<Error> m_error;
    };

    // The three token readers the container loops call for every value: inline
    // there, so that a compact value costs no call before its scan.

    inline bool Parser::takeString()
    {
        m_tokenStart = m_cursor;
        if (!parseString()) {
            fail("Invalid string.");
            return fail("%s", kUnexpectedToken);
        }
        m_token = Token::String;
        m_tokenLength = static_cast<std::size_t>(m_cursor - m_tokenStart);
        return true;
    }

    inline bool Parser::takeNumber()
    {
        m_tokenStart = m_cursor;
        if (!parseNumber())
            return fail("%s", kUnexpectedToken);
        m_token = Token::Number;
        m_tokenLength = static_cast<std::size_t>(m_cursor - m_tokenStart);
        return true;
    }

    inline bool Parser::takeScalar(bool& taken)
    {
        const unsigned char c = *m_cursor;
        taken = c == '"' || c == '-' || kDigit[c];
        if (!taken)
            return true;
        return c == '"' ? takeString() : takeNumber();
    }

} // namespace detail

} // namespace json
