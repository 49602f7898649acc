#include "json/Decoder.h"

#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/Exceptions.h"
#include "json/ObjectMemory.h"
#include "json/ObjectStack.h"
#include "json/Utf8.h"
#include "json/ValueCache.h"

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace json {

struct ParseState {
    unsigned options { 0 };
    detail::ValueCache cache;
};

namespace {

    using detail::Object;
    using detail::TokenValue;
    using detail::ValueType;

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

    bool isValueToken(Token t)
    {
        return t == Token::Number || t == Token::String || t == Token::ObjectBegin || t == Token::ArrayBegin
            || t == Token::True || t == Token::False || t == Token::Null;
    }

    enum Accept : unsigned { AcceptValue = 1, AcceptComma = 2, AcceptEnd = 4 };

    constexpr const char* kUnexpectedToken
        = "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";
    constexpr const char* kSourceUnit = "JSONCodec";

    // Bytes that a string's fast scan copies and hashes without a second look.
    constexpr std::array<bool, 256> makePlainStringBytes()
    {
        std::array<bool, 256> plain {};
        for (int c = 0x20; c < 0x80; ++c)
            plain[c] = c != '"' && c != '\\';
        return plain;
    }
    constexpr std::array<bool, 256> kPlainStringByte = makePlainStringBytes();

    constexpr std::array<bool, 256> makeDigits()
    {
        std::array<bool, 256> digits {};
        for (int c = '0'; c <= '9'; ++c)
            digits[c] = true;
        return digits;
    }
    constexpr std::array<bool, 256> kDigit = makeDigits();

    constexpr std::uint32_t pow33(int n)
    {
        std::uint32_t result = 1;
        for (int i = 0; i < n; ++i)
            result *= 33u;
        return result;
    }

    std::uint64_t loadWord(const unsigned char* p)
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
    constexpr HashPowers kHashPowers = makeHashPowers();
#endif

    inline std::uint32_t hashEightBytes(std::uint32_t h, std::uint64_t word);

    // The string hash of unescaped text, eight bytes at a time.
    inline std::uint32_t hashText(const char* bytes, std::size_t length)
    {
        std::uint32_t h = detail::kStringHashSeed;
        std::size_t i = 0;
        for (; i + 8 <= length; i += 8)
            h = hashEightBytes(h, loadWord(reinterpret_cast<const unsigned char*>(bytes + i)));
        for (; i < length; ++i)
            h = h * 33u + static_cast<unsigned char>(bytes[i]);
        return h;
    }

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

    constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

    // The value of eight digit bytes (first byte most significant), in three multiplications.
    std::uint32_t eightDigitValue(std::uint64_t word)
    {
        word -= 0x3030303030303030ULL;
        word = word * 10 + (word >> 8);
        word = (((word & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32)))
                   + (((word >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32))))
            >> 32;
        return static_cast<std::uint32_t>(word);
    }

    // Marks the bytes of a word of string text that the plain scan must stop
    // at: a quote, a backslash, a control byte or a byte of a multi-byte
    // sequence. The lowest marked byte is always exact (borrows only run upwards).
    std::uint64_t specialStringBytes(std::uint64_t word)
    {
        auto zeroByte = [](std::uint64_t v) { return (v - kEveryByte) & ~v & kHighBits; };
        const std::uint64_t control = (word - 0x20 * kEveryByte) & ~word & kHighBits;
        return control | zeroByte(word ^ ('"' * kEveryByte)) | zeroByte(word ^ ('\\' * kEveryByte))
            | (word & kHighBits);
    }

    // 5^q for q from -27 to 27 in 128 bits, the leading bit set: exact for
    // q >= 0, rounded up for q < 0 (floor(2^(127 + bits of 5^-q) / 5^-q) + 1).
    constexpr int kSmallestPower = -27;
    constexpr int kLargestPower = 27;
    constexpr std::uint64_t kPowersOfFive[][2] = {
        { 0x9e74d1b791e07e48ULL, 0x775ea264cf55347eULL }, // 5^-27
        { 0xc612062576589ddaULL, 0x95364afe032a819eULL }, // 5^-26
        { 0xf79687aed3eec551ULL, 0x3a83ddbd83f52205ULL }, // 5^-25
        { 0x9abe14cd44753b52ULL, 0xc4926a9672793543ULL }, // 5^-24
        { 0xc16d9a0095928a27ULL, 0x75b7053c0f178294ULL }, // 5^-23
        { 0xf1c90080baf72cb1ULL, 0x5324c68b12dd6339ULL }, // 5^-22
        { 0x971da05074da7beeULL, 0xd3f6fc16ebca5e04ULL }, // 5^-21
        { 0xbce5086492111aeaULL, 0x88f4bb1ca6bcf585ULL }, // 5^-20
        { 0xec1e4a7db69561a5ULL, 0x2b31e9e3d06c32e6ULL }, // 5^-19
        { 0x9392ee8e921d5d07ULL, 0x3aff322e62439fd0ULL }, // 5^-18
        { 0xb877aa3236a4b449ULL, 0x09befeb9fad487c3ULL }, // 5^-17
        { 0xe69594bec44de15bULL, 0x4c2ebe687989a9b4ULL }, // 5^-16
        { 0x901d7cf73ab0acd9ULL, 0x0f9d37014bf60a11ULL }, // 5^-15
        { 0xb424dc35095cd80fULL, 0x538484c19ef38c95ULL }, // 5^-14
        { 0xe12e13424bb40e13ULL, 0x2865a5f206b06fbaULL }, // 5^-13
        { 0x8cbccc096f5088cbULL, 0xf93f87b7442e45d4ULL }, // 5^-12
        { 0xafebff0bcb24aafeULL, 0xf78f69a51539d749ULL }, // 5^-11
        { 0xdbe6fecebdedd5beULL, 0xb573440e5a884d1cULL }, // 5^-10
        { 0x89705f4136b4a597ULL, 0x31680a88f8953031ULL }, // 5^-9
        { 0xabcc77118461cefcULL, 0xfdc20d2b36ba7c3eULL }, // 5^-8
        { 0xd6bf94d5e57a42bcULL, 0x3d32907604691b4dULL }, // 5^-7
        { 0x8637bd05af6c69b5ULL, 0xa63f9a49c2c1b110ULL }, // 5^-6
        { 0xa7c5ac471b478423ULL, 0x0fcf80dc33721d54ULL }, // 5^-5
        { 0xd1b71758e219652bULL, 0xd3c36113404ea4a9ULL }, // 5^-4
        { 0x83126e978d4fdf3bULL, 0x645a1cac083126eaULL }, // 5^-3
        { 0xa3d70a3d70a3d70aULL, 0x3d70a3d70a3d70a4ULL }, // 5^-2
        { 0xccccccccccccccccULL, 0xcccccccccccccccdULL }, // 5^-1
        { 0x8000000000000000ULL, 0x0000000000000000ULL }, // 5^0
        { 0xa000000000000000ULL, 0x0000000000000000ULL }, // 5^1
        { 0xc800000000000000ULL, 0x0000000000000000ULL }, // 5^2
        { 0xfa00000000000000ULL, 0x0000000000000000ULL }, // 5^3
        { 0x9c40000000000000ULL, 0x0000000000000000ULL }, // 5^4
        { 0xc350000000000000ULL, 0x0000000000000000ULL }, // 5^5
        { 0xf424000000000000ULL, 0x0000000000000000ULL }, // 5^6
        { 0x9896800000000000ULL, 0x0000000000000000ULL }, // 5^7
        { 0xbebc200000000000ULL, 0x0000000000000000ULL }, // 5^8
        { 0xee6b280000000000ULL, 0x0000000000000000ULL }, // 5^9
        { 0x9502f90000000000ULL, 0x0000000000000000ULL }, // 5^10
        { 0xba43b74000000000ULL, 0x0000000000000000ULL }, // 5^11
        { 0xe8d4a51000000000ULL, 0x0000000000000000ULL }, // 5^12
        { 0x9184e72a00000000ULL, 0x0000000000000000ULL }, // 5^13
        { 0xb5e620f480000000ULL, 0x0000000000000000ULL }, // 5^14
        { 0xe35fa931a0000000ULL, 0x0000000000000000ULL }, // 5^15
        { 0x8e1bc9bf04000000ULL, 0x0000000000000000ULL }, // 5^16
        { 0xb1a2bc2ec5000000ULL, 0x0000000000000000ULL }, // 5^17
        { 0xde0b6b3a76400000ULL, 0x0000000000000000ULL }, // 5^18
        { 0x8ac7230489e80000ULL, 0x0000000000000000ULL }, // 5^19
        { 0xad78ebc5ac620000ULL, 0x0000000000000000ULL }, // 5^20
        { 0xd8d726b7177a8000ULL, 0x0000000000000000ULL }, // 5^21
        { 0x878678326eac9000ULL, 0x0000000000000000ULL }, // 5^22
        { 0xa968163f0a57b400ULL, 0x0000000000000000ULL }, // 5^23
        { 0xd3c21bcecceda100ULL, 0x0000000000000000ULL }, // 5^24
        { 0x84595161401484a0ULL, 0x0000000000000000ULL }, // 5^25
        { 0xa56fa5b99019a5c8ULL, 0x0000000000000000ULL }, // 5^26
        { 0xcecb8f27f4200f3aULL, 0x0000000000000000ULL }, // 5^27
    };

    constexpr double kExactPowersOfTen[] = { 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13,
        1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };

    constexpr std::uint64_t kDecimalScale[] = { 1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL,
        10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
        100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL, 1000000000000000000ULL,
        10000000000000000000ULL };

    // Reads a run of digits from s into value (value * 10 + digit for each,
    // wrapping as that would) and returns the end of the run: eight digits at
    // a time, then the rest of the run in one step from the word it ends in.
    [[gnu::always_inline]] inline const unsigned char* readDigits(
        const unsigned char* s, const unsigned char* end, std::uint64_t& value)
    {
        while (end - s >= 8) {
            const std::uint64_t word = loadWord(s);
            // Bytes that are not digits, marked by a non-zero byte; the
            // lowest mark is exact (a carry only runs upwards from a byte
            // that is not a digit itself).
            const std::uint64_t other = ((word & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL)
                | (((word + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL);
            if (other) {
                const unsigned n = static_cast<unsigned>(__builtin_ctzll(other)) / 8;
                if (n) {
                    // The n digits as the last of eight, behind leading zeros.
                    const std::uint64_t padded = (word << (8 * (8 - n))) | (0x3030303030303030ULL >> (8 * n));
                    value = value * kDecimalScale[n] + eightDigitValue(padded);
                }
                return s + n;
            }
            value = value * 100000000ULL + eightDigitValue(word);
            s += 8;
        }
        while (s < end && kDigit[*s])
            value = value * 10 + (*s++ - '0');
        return s;
    }

    // The double nearest to w * 10^q (w non-zero, q within the table),
    // rounded half to even, from the product of w and 5^q truncated to 128
    // bits; false when the product cannot decide (the general conversion then does).
    bool nearestDouble(std::uint64_t w, int q, double& d)
    {
        const int lz = __builtin_clzll(w);
        w <<= lz;
        const std::uint64_t* power = kPowersOfFive[q - kSmallestPower];
        __uint128_t first = static_cast<__uint128_t>(w) * power[0];
        std::uint64_t high = static_cast<std::uint64_t>(first >> 64);
        std::uint64_t low = static_cast<std::uint64_t>(first);
        if ((high & 0x1FF) == 0x1FF) {
            const __uint128_t second = static_cast<__uint128_t>(w) * power[1];
            const auto secondHigh = static_cast<std::uint64_t>(second >> 64);
            low += secondHigh;
            if (secondHigh > low)
                ++high;
        }
        if (low == ~0ULL)
            return false;
        const unsigned upper = static_cast<unsigned>(high >> 63);
        std::uint64_t mantissa = high >> (upper + 9);
        // floor(q * log2(10)) + 63, the binary exponent of the product's leading bit, biased.
        int power2 = ((((152170 + 65536) * q) >> 16) + 63) + static_cast<int>(upper) - lz + 1023;
        if (power2 <= 0)
            return false;
        // Exactly half-way between two doubles (only when 5^q is exact and small): round to even.
        if (low <= 1 && q >= -4 && q <= 23 && (mantissa & 3) == 1 && (mantissa << (upper + 9)) == high)
            mantissa &= ~1ULL;
        mantissa += mantissa & 1;
        mantissa >>= 1;
        if (mantissa >= (2ULL << 52)) {
            mantissa = 1ULL << 52;
            ++power2;
        }
        mantissa &= ~(1ULL << 52);
        if (power2 >= 0x7FF)
            return false;
        const std::uint64_t bits = mantissa | static_cast<std::uint64_t>(power2) << 52;
        std::memcpy(&d, &bits, sizeof d);
        return true;
    }

    // The decimal number significand * 10^scale (the significand's digits are
    // those of the text, integer and fraction, at most 19 of them), correctly
    // rounded, without going through the text again: exactly in double
    // arithmetic when the significand and the power of ten are both exact
    // doubles, else from the 128-bit product above. False leaves the number
    // to the general conversion.
    bool quickDouble(std::uint64_t significand, int scale, double& d)
    {
        if (scale < kSmallestPower || scale > kLargestPower)
            return false;
        if (significand == 0) {
            d = 0.0;
            return true;
        }
        if (significand <= (1ULL << 53) && scale >= -22 && scale <= 22) {
            const auto exact = static_cast<double>(significand);
            d = scale < 0 ? exact / kExactPowersOfTen[-scale] : exact * kExactPowersOfTen[scale];
            return true;
        }
        return nearestDouble(significand, scale, d);
    }

    int hexValue(unsigned char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    /// One parse over a borrowed buffer: one cursor, one end, every failure
    /// through `fail`, which keeps only the first error of the parse.
    class Parser {
    public:
        Parser(ParseState& state, const char* bytes, std::size_t length, bool isMutable, detail::ObjectStack& stack,
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

        Value parse();
        std::optional<Error>& error() { return m_error; }

    private:
        bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
        bool failInternal(const char* format, int line);
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
        bool parseString();
        bool parseStringSlow(const unsigned char* resume, std::uint32_t hash);
        bool parseNumber();
        /// The general conversion of a number token, with its range errors.
        bool convertDouble(const unsigned char* start, const unsigned char* end, double& d);
        bool growBuffer(std::size_t needed);
        Object* buildValue();
        Object* parseArray();
        Object* parseDictionary();
        bool failExpected(unsigned accepted, const char* valueName, const char* endName);
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
        detail::ValueCache& m_cache;
        const unsigned char* m_start;
        const unsigned char* m_cursor;
        const unsigned char* m_end;
        std::size_t m_line { 1 };
        bool m_isMutable;
        detail::ObjectStack& m_stack;
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

    bool Parser::fail(const char* format, ...)
    {
        if (m_error)
            return false;
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        Error error;
        error.description = text;
        error.atIndex = static_cast<std::uint64_t>(m_cursor - m_start);
        error.lineNumber = m_line;
        m_error = std::move(error);
        return false;
    }

    bool Parser::failInternal(const char* format, int line)
    {
        return fail(format, kSourceUnit, static_cast<long>(line));
    }

    bool Parser::skipLineBreak(const unsigned char*& p)
    {
        unsigned char c = *p;
        if (c == '\n') {
            ++p;
            return true;
        }
        if (c == '\r') {
            ++p;
            if (p < m_end && *p == '\n')
                ++p;
            return true;
        }
        if (m_options & ParseOptionUnicodeLineBreaks) {
            if (c == 0xC2 && m_end - p >= 2 && p[1] == 0x85) {
                p += 2;
                return true;
            }
            if (c == 0xE2 && m_end - p >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
                p += 3;
                return true;
            }
        }
        return false;
    }

    void Parser::skipWhitespace()
    {
        const unsigned char* p = m_cursor;
        while (p < m_end) {
            // Indentation comes in runs of spaces: eight at a time, and the
            // first byte that is no space found in the word it lies in.
            while (m_end - p >= 8) {
                const std::uint64_t other = loadWord(p) ^ 0x2020202020202020ULL;
                if (other) {
                    p += static_cast<unsigned>(__builtin_ctzll(other)) / 8;
                    break;
                }
                p += 8;
            }
            while (p < m_end && (*p == ' ' || *p == '\t'))
                ++p;
            if (p >= m_end)
                break;
            unsigned char c = *p;
            if (c > ' ' && c != '/' && c < 0xC2)
                break;
            if (skipLineBreak(p)) {
                ++m_line;
                continue;
            }
            if (c == '/' && (m_options & ParseOptionAllowComments) && p + 1 < m_end) {
                if (p[1] == '/') {
                    p += 2;
                    while (p < m_end) {
                        if (skipLineBreak(p)) {
                            ++m_line;
                            break;
                        }
                        ++p;
                    }
                    continue;
                }
                if (p[1] == '*') {
                    // The search starts at the opening star, so "/*/" is a whole comment.
                    ++p;
                    bool closed = false;
                    while (p < m_end) {
                        if (*p == '*' && p + 1 < m_end && p[1] == '/') {
                            p += 2;
                            closed = true;
                            break;
                        }
                        if (skipLineBreak(p))
                            ++m_line;
                        else
                            ++p;
                    }
                    if (!closed)
                        p = m_end;
                    continue;
                }
            }
            break;
        }
        m_cursor = p;
    }

    bool Parser::nextToken()
    {
        // Compact text has no white space between tokens: look before calling.
        if (m_cursor >= m_end || *m_cursor <= ' ' || *m_cursor == '/' || *m_cursor >= 0xC2)
            skipWhitespace();
        if (m_cursor >= m_end)
            return fail("%s", kUnexpectedToken);
        m_tokenStart = m_cursor;
        const std::size_t remaining = static_cast<std::size_t>(m_end - m_cursor);
        switch (*m_cursor) {
        case '"':
            return takeString();
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            if (!parseNumber())
                return fail("%s", kUnexpectedToken);
            m_token = Token::Number;
            break;
        case '{':
            m_token = Token::ObjectBegin;
            ++m_cursor;
            break;
        case '}':
            m_token = Token::ObjectEnd;
            ++m_cursor;
            break;
        case '[':
            m_token = Token::ArrayBegin;
            ++m_cursor;
            break;
        case ']':
            m_token = Token::ArrayEnd;
            ++m_cursor;
            break;
        case ':':
            m_token = Token::Colon;
            ++m_cursor;
            break;
        case ',':
            m_token = Token::Comma;
            ++m_cursor;
            break;
        case 't':
            if (remaining < 5 || std::memcmp(m_cursor, "true", 4) != 0)
                return fail("%s", kUnexpectedToken);
            m_token = Token::True;
            m_cursor += 4;
            break;
        case 'n':
            if (remaining < 5 || std::memcmp(m_cursor, "null", 4) != 0)
                return fail("%s", kUnexpectedToken);
            m_token = Token::Null;
            m_cursor += 4;
            break;
        case 'f':
            if (remaining < 6 || std::memcmp(m_cursor, "false", 5) != 0)
                return fail("%s", kUnexpectedToken);
            m_token = Token::False;
            m_cursor += 5;
            break;
        default:
            return fail("%s", kUnexpectedToken);
        }
        m_tokenLength = static_cast<std::size_t>(m_cursor - m_tokenStart);
        return true;
    }

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

    bool Parser::parseString()
    {
        const unsigned char* s = m_cursor + 1;
        const unsigned char* end = m_end;
        std::uint32_t h = detail::kStringHashSeed;
        static_assert(std::endian::native == std::endian::little, "the word scan reads the first byte lowest");
        for (;;) {
            // Eight bytes at a time: h*33^8 + a*33^7 + ... + h; up to the first special byte.
            if (end - s >= 8) {
                const std::uint64_t word = loadWord(s);
                const std::uint64_t special = specialStringBytes(word);
                if (!special) {
                    h = hashEightBytes(h, word);
                    s += 8;
                    continue;
                }
                const unsigned plain = static_cast<unsigned>(__builtin_ctzll(special)) / 8;
                for (unsigned i = 0; i < plain; ++i)
                    h = h * 33u + s[i];
                s += plain;
            } else {
                while (s < end && kPlainStringByte[*s])
                    h = h * 33u + *s++;
                if (s >= end)
                    return false; // "Invalid string." is recorded by the caller
            }
            const unsigned char c = *s;
            if (c == '"') {
                m_value.type = ValueType::String;
                m_value.bytes = reinterpret_cast<const char*>(m_cursor + 1);
                m_value.length = static_cast<std::size_t>(s - (m_cursor + 1));
                m_value.hash = h;
                m_cursor = s + 1;
                return true;
            }
            if (c == '\\')
                return parseStringSlow(s, h);
            if (c < 0x20)
                return fail("Invalid character < 0x20 found in string: 0x%2.2x.", c);
            // Two-byte characters, and three-byte ones from U+1000 to U+CFFF,
            // are valid with any continuation bytes: no surrogates or
            // noncharacters lie there. The rest take the full check.
            if (c <= 0xDF && c >= 0xC2 && end - s >= 2 && (s[1] & 0xC0) == 0x80) {
                h = h * 1089u + c * 33u + s[1];
                s += 2;
                continue;
            }
            if (c >= 0xE1 && c <= 0xEC && end - s >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
                h = h * 35937u + c * 1089u + s[1] * 33u + s[2];
                s += 3;
                continue;
            }
            detail::Utf8Sequence sequence = detail::decodeUtf8Sequence(s, end);
            if (sequence.result != detail::Utf8Sequence::Result::Valid)
                return parseStringSlow(s, h);
            for (std::uint32_t i = 0; i < sequence.length; ++i)
                h = h * 33u + s[i];
            s += sequence.length;
        }
    }

    bool Parser::growBuffer(std::size_t needed)
    {
        if (needed <= m_bufferSize)
            return true;
        std::size_t size = (needed + 1024 + 4095) / 4096 * 4096;
        size = std::max(size, m_bufferSize * 2);
        char* grown = static_cast<char*>(m_buffer == m_frameBuffer ? std::malloc(size) : std::realloc(m_buffer, size));
        if (!grown)
            return failInternal("Internal error: Unable to resize temporary buffer. %s line #%ld", __LINE__);
        if (m_buffer == m_frameBuffer)
            std::memcpy(grown, m_frameBuffer, m_bufferSize);
        m_buffer = grown;
        m_bufferSize = size;
        return true;
    }

    bool Parser::parseStringSlow(const unsigned char* s, std::uint32_t)
    {
        const bool lenient = m_options & ParseOptionLenientUnicode;
        const unsigned char* end = m_end;
        const unsigned char* first = m_cursor + 1;
        std::size_t out = static_cast<std::size_t>(s - first);
        if (!growBuffer(out + 16))
            return false;
        std::memcpy(m_buffer, first, out);
        auto append = [this, &out](const char* bytes, std::size_t n) {
            std::memcpy(m_buffer + out, bytes, n);
            out += n;
        };
        auto readHex = [this, &s, end](std::uint32_t& value) -> int {
            // 1 read, 0 input ended, -1 a bad digit (recorded)
            value = 0;
            for (int i = 0; i < 4; ++i) {
                if (s >= end)
                    return 0;
                int digit = hexValue(*s);
                if (digit < 0) {
                    fail("Unexpected character found in \\u Unicode escape sequence.  Found '%c', expected "
                         "[0-9a-fA-F].",
                        *s);
                    return -1;
                }
                value = value * 16 + static_cast<std::uint32_t>(digit);
                ++s;
            }
            return 1;
        };
        static constexpr char kReplacement[] = "\xEF\xBF\xBD";

        for (;;) {
            if (!growBuffer(out + 16))
                return false;
            if (s >= end)
                return false;
            // Plain text as the fast scan takes it: eight bytes at a time (the
            // buffer has room for the whole word), and the common two- and
            // three-byte characters without the full check.
            if (end - s >= 8) {
                const std::uint64_t word = loadWord(s);
                std::memcpy(m_buffer + out, &word, 8);
                const std::uint64_t special = specialStringBytes(word);
                const unsigned plain = special ? static_cast<unsigned>(__builtin_ctzll(special)) / 8 : 8;
                out += plain;
                s += plain;
                if (plain == 8)
                    continue;
            }
            unsigned char c = *s;
            if (c == '"') {
                m_value.type = ValueType::String;
                m_value.bytes = m_buffer;
                m_value.length = out;
                m_value.hash = hashText(m_buffer, out);
                m_cursor = s + 1;
                return true;
            }
            if (c < 0x20)
                return fail("Invalid character < 0x20 found in string: 0x%2.2x.", c);
            if (c < 0x80 && c != '\\') {
                m_buffer[out++] = static_cast<char>(c);
                ++s;
                continue;
            }
            if (c <= 0xDF && c >= 0xC2 && end - s >= 2 && (s[1] & 0xC0) == 0x80) {
                append(reinterpret_cast<const char*>(s), 2);
                s += 2;
                continue;
            }
            if (c >= 0xE1 && c <= 0xEC && end - s >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
                append(reinterpret_cast<const char*>(s), 3);
                s += 3;
                continue;
            }
            if (c >= 0x80) {
                detail::Utf8Sequence sequence = detail::decodeUtf8Sequence(s, end);
                if (sequence.result == detail::Utf8Sequence::Result::Valid) {
                    append(reinterpret_cast<const char*>(s), sequence.length);
                } else if (sequence.result == detail::Utf8Sequence::Result::Exhausted) {
                    return fail("End of buffer reached while parsing UTF8 in \"\" string.");
                } else if (!lenient) {
                    return fail("Illegal UTF8 sequence found in \"\" string.");
                } else {
                    append(kReplacement, 3);
                }
                s += sequence.length;
                continue;
            }
            // An escape.
            ++s;
            if (s >= end)
                return false;
            char simple = 0;
            switch (*s) {
            case '"':
                simple = '"';
                break;
            case '\\':
                simple = '\\';
                break;
            case '/':
                simple = '/';
                break;
            case 'b':
                simple = '\b';
                break;
            case 'f':
                simple = '\f';
                break;
            case 'n':
                simple = '\n';
                break;
            case 'r':
                simple = '\r';
                break;
            case 't':
                simple = '\t';
                break;
            case 'u':
                break;
            default:
                return fail("Invalid escape sequence found in \"\" string.");
            }
            if (simple) {
                m_buffer[out++] = simple;
                ++s;
                continue;
            }
            ++s;
            std::uint32_t u;
            if (int read = readHex(u); read <= 0)
                return false;
            std::uint32_t codePoint = u;
            bool replaced = false;
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (s + 1 < end && s[0] == '\\' && s[1] == 'u') {
                    s += 2;
                    std::uint32_t l;
                    if (int read = readHex(l); read <= 0)
                        return false;
                    if (l >= 0xDC00 && l <= 0xDFFF) {
                        codePoint = (u - 0xD800) * 0x400 + (l - 0xDC00) + 0x10000;
                    } else if (lenient) {
                        // A high surrogate and the escape after it that is no low
                        // surrogate make one U+FFFD together: the second escape is
                        // consumed with it, as a broken pair.
                        replaced = true;
                    } else {
                        return fail("Illegal \\u Unicode escape sequence.");
                    }
                } else if (lenient) {
                    replaced = true;
                } else {
                    if (s >= end)
                        return false;
                    return fail("Required a second \\u Unicode escape sequence following a surrogate \\u Unicode "
                                "escape sequence.");
                }
            } else if (u >= 0xDC00 && u <= 0xDFFF) {
                if (!lenient)
                    return fail("Illegal \\u Unicode escape sequence.");
                replaced = true;
            }
            if (!replaced && detail::isInvalidEscapedCodePoint(codePoint)) {
                if (!lenient)
                    return fail("Illegal \\u Unicode escape sequence.");
                replaced = true;
            }
            if (replaced)
                codePoint = 0xFFFD;
            out += detail::encodeUtf8(codePoint, m_buffer + out);
        }
    }

    bool Parser::convertDouble(const unsigned char* start, const unsigned char* end, double& d)
    {
        const char* first = reinterpret_cast<const char*>(start);
        const char* last = reinterpret_cast<const char*>(end);
        auto [ptr, ec] = std::from_chars(first, last, d);
        if (ec == std::errc::result_out_of_range) {
            std::string copy(first, last);
            errno = 0;
            double rounded = std::strtod(copy.c_str(), nullptr);
            return fail("The value '%s' could not be represented as a 'double' due to %s.", copy.c_str(),
                rounded == 0.0 ? "underflow" : "overflow");
        }
        if (ec != std::errc())
            return fail("Invalid number.");
        if (ptr != last)
            return fail("The conversion function did not consume all of the number tokens characters.");
        return true;
    }

    bool Parser::parseNumber()
    {
        const unsigned char* start = m_cursor;
        const unsigned char* s = start;
        const unsigned char* end = m_end;
        bool negative = false;
        bool floating = false;
        auto invalid = [this, &s]() {
            m_cursor = s;
            return fail("Invalid number.");
        };
        if (*s == '-') {
            negative = true;
            ++s;
        }
        if (s >= end)
            return invalid();
        std::uint64_t magnitude = 0;
        std::size_t digits = 0;
        if (*s == '0') {
            ++s;
            digits = 1;
        } else if (kDigit[*s]) {
            const unsigned char* first = s;
            // Integer parts of one or two digits before a fraction
            // (coordinates, most readings) directly; the rest a word at a time.
            // Wrapping is harmless: more than 19 digits are recounted or refused below.
            if (end - s >= 3 && s[1] == '.') {
                magnitude = static_cast<std::uint64_t>(s[0] - '0');
                s += 1;
            } else if (end - s >= 3 && s[2] == '.' && kDigit[s[1]]) {
                magnitude = static_cast<std::uint64_t>(s[0] - '0') * 10 + static_cast<std::uint64_t>(s[1] - '0');
                s += 2;
            } else {
                s = readDigits(s, end, magnitude);
            }
            digits = static_cast<std::size_t>(s - first);
        } else {
            return invalid();
        }
        // The fraction's digits go on into the integer's (the significand),
        // and the exponent is read, for the quick conversion.
        std::size_t fractionDigits = 0;
        int exponent = 0;
        bool exponentLarge = false;
        if (s < end && *s == '.') {
            floating = true;
            ++s;
            if (s >= end || !kDigit[*s])
                return invalid();
            const unsigned char* first = s;
            s = readDigits(s, end, magnitude);
            fractionDigits = static_cast<std::size_t>(s - first);
        }
        if (s < end && (*s == 'e' || *s == 'E')) {
            floating = true;
            ++s;
            bool negativeExponent = false;
            if (s < end && (*s == '+' || *s == '-'))
                negativeExponent = *s++ == '-';
            if (s >= end || !kDigit[*s])
                return invalid();
            while (s < end && kDigit[*s]) {
                if (exponent < 10000)
                    exponent = exponent * 10 + (*s - '0');
                else
                    exponentLarge = true;
                ++s;
            }
            if (negativeExponent)
                exponent = -exponent;
        }
        // A number needs a byte after it: the input cannot end inside the top-level container.
        if (s >= end)
            return invalid();
        m_cursor = s;
        const std::size_t length = static_cast<std::size_t>(s - start);
        if (!floating && negative && length == 2 && start[1] == '0')
            floating = true; // "-0" keeps its sign as a double

        auto text = [start, length]() { return std::string(reinterpret_cast<const char*>(start), length); };
        // The value is kept in registers up to the hash: going through the
        // token's union in memory would put a store and a reload on every
        // number's path.
        ValueType type;
        std::uint64_t bits;
        if (floating) {
            // Leading zeros of the fraction count too: such numbers merely take the long way.
            const bool zeroInteger = start[negative ? 1 : 0] == '0';
            const std::size_t significant = (zeroInteger ? 0 : digits) + fractionDigits;
            double quick;
            if (!exponentLarge && significant <= 19
                && quickDouble(magnitude, exponent - static_cast<int>(fractionDigits), quick)) {
                bits = std::bit_cast<std::uint64_t>(quick) | (negative ? 1ULL << 63 : 0);
            } else {
                double d = 0;
                if (!convertDouble(start, s, d))
                    return false; // the error is recorded
                bits = std::bit_cast<std::uint64_t>(d);
            }
            type = ValueType::Double;
        } else if (negative) {
            // 19 digits always fit in 64 bits unsigned; more never fit in a signed integer.
            if (digits > 19 || magnitude > 9223372036854775808ULL)
                return fail("The value '%s' exceeded the minimum value that could be represented: %lld.",
                    text().c_str(), static_cast<long long>(INT64_MIN));
            type = ValueType::Signed;
            bits = 0 - magnitude;
        } else {
            bool overflow = digits > 20;
            if (digits == 20) {
                // Recount with overflow checks: the running product may have wrapped.
                std::uint64_t exact = 0;
                for (const unsigned char* p = start; p < s && !overflow; ++p)
                    overflow
                        = __builtin_mul_overflow(exact, 10u, &exact) || __builtin_add_overflow(exact, *p - '0', &exact);
                magnitude = exact;
            }
            if (overflow)
                return fail("The value '%s' exceeded the maximum value that could be represented: %llu.",
                    text().c_str(), static_cast<unsigned long long>(UINT64_MAX));
            type = ValueType::Unsigned;
            bits = magnitude;
        }
        std::uint32_t h = detail::kStringHashSeed + static_cast<std::uint32_t>(type);
        if (type != ValueType::Double)
            h += static_cast<std::uint32_t>(bits);
        // The eight value bytes, least significant first, hashed as a string would be.
        m_value.type = type;
        m_value.u = bits;
        m_value.hash = hashEightBytes(h, bits);
        return true;
    }

    Object* Parser::buildValue()
    {
        switch (m_token) {
        case Token::String:
        case Token::Number:
            return m_cache.objectFor(m_value);
        case Token::True:
            return &detail::trueConstant;
        case Token::False:
            return &detail::falseConstant;
        case Token::Null:
            return &detail::nullConstant;
        case Token::ArrayBegin:
            return parseArray();
        case Token::ObjectBegin:
            return parseDictionary();
        default:
            failInternal("Internal error: Unknown token type. %s line #%ld", __LINE__);
            return nullptr;
        }
    }

    bool Parser::failExpected(unsigned accepted, const char* valueName, const char* endName)
    {
        const char* names[3];
        int n = 0;
        if (accepted & AcceptValue)
            names[n++] = valueName;
        if (accepted & AcceptComma)
            names[n++] = "a comma";
        if (accepted & AcceptEnd)
            names[n++] = endName;
        const int length = static_cast<int>(m_tokenLength);
        const char* token = reinterpret_cast<const char*>(m_tokenStart);
        if (n == 1)
            return fail("Expected %s, not '%*.*s'", names[0], length, length, token);
        return fail("Expected %s or %s, not '%*.*s'", names[0], names[1], length, length, token);
    }

    inline Object* Parser::repeatedKey(std::size_t index)
    {
        if (m_depth >= kRememberedDepths || index >= kRememberedKeys)
            return nullptr;
        const RememberedKey& remembered = m_rememberedKeys[m_depth][index];
        // Once the decode has released anything, a remembered object may be gone.
        if (!remembered.text || !m_cache.isDeferring())
            return nullptr;
        const std::size_t n = remembered.length + 2;
        if (static_cast<std::size_t>(m_end - m_cursor) < n
            || !detail::sameBytes(
                reinterpret_cast<const char*>(m_cursor), reinterpret_cast<const char*>(remembered.text), n))
            return nullptr;
        Object* key = m_cache.repeatFirstProbeHit(remembered.slot, remembered.object);
        if (!key)
            return nullptr;
        m_tokenStart = m_cursor;
        m_token = Token::String;
        m_tokenLength = n;
        m_value.type = ValueType::String;
        m_value.bytes = reinterpret_cast<const char*>(m_cursor + 1);
        m_value.length = remembered.length;
        m_value.hash = remembered.hash;
        m_cursor += n;
        return key;
    }

    inline void Parser::rememberKey(std::size_t index, Object* key)
    {
        if (m_depth >= kRememberedDepths || index >= kRememberedKeys)
            return;
        RememberedKey& remembered = m_rememberedKeys[m_depth][index];
        // Only a key read in place (no escapes) and found or put at its first slot.
        const bool inPlace
            = m_value.bytes == reinterpret_cast<const char*>(m_tokenStart + 1) && m_tokenLength == m_value.length + 2;
        const std::uint32_t slot = m_cache.lastSlot();
        if (inPlace && slot == (m_value.hash & (detail::ValueCache::kSlots - 1)))
            remembered = { m_tokenStart, key, static_cast<std::uint32_t>(m_value.length), m_value.hash, slot };
        else
            remembered.text = nullptr;
    }

    // A container still open when the input ends yields none. Reporting the end
    // of the input here keeps the message about the truncation rather than an
    // internal "Object == NULL" from the enclosing container.
    void Parser::noteUnclosedContainer()
    {
        if (!m_error && m_cursor >= m_end)
            fail("Reached the end of the buffer.");
    }

    Object* Parser::parseArray()
    {
        if (++m_depth > kMaximumNestingDepth) {
            fail("Nesting of arrays and objects is deeper than the limit of %zu.", kMaximumNestingDepth);
            --m_depth;
            return nullptr;
        }
        const std::size_t start = m_stack.index();
        unsigned accepted = AcceptValue | AcceptEnd;
        Object* result = nullptr;
        bool stopped = false;
        while (!stopped && m_cursor < m_end) {
            if (!m_stack.ensureRoom()) {
                fail("Internal error: [array] objectsIndex > %zu, resize failed? %s line %ld", m_stack.count() - 4,
                    kSourceUnit, static_cast<long>(__LINE__));
                break;
            }
            // A string or number where a value is due, with no white space
            // before it, skips the token dispatch.
            bool scalar = false;
            if (!((accepted & AcceptValue) ? takeScalar(scalar) : true) || (!scalar && !nextToken()))
                break;
            if (scalar || isValueToken(m_token)) {
                if (!(accepted & AcceptValue)) {
                    fail("Unexpected value.");
                    break;
                }
                Object* value = scalar ? m_cache.objectFor(m_value) : buildValue();
                if (!value) {
                    fail("Internal error: Object == NULL");
                    break;
                }
                m_stack.push(value);
                accepted = AcceptComma | AcceptEnd;
                // Compact text puts the comma or the closing bracket right
                // after the value: take it here, as the loop would below.
                if (m_cursor < m_end && *m_cursor == ',') {
                    ++m_cursor;
                    accepted = AcceptValue;
                } else if (m_cursor < m_end && *m_cursor == ']' && m_stack.ensureRoom()) {
                    m_tokenStart = m_cursor++;
                    m_token = Token::ArrayEnd;
                    m_tokenLength = 1;
                    result = Array::create(m_stack.objectsFrom(start), m_stack.index() - start, m_isMutable).leak();
                    m_stack.handOver(start);
                    break;
                }
                continue;
            }
            switch (m_token) {
            case Token::ArrayEnd:
                if (accepted & AcceptEnd) {
                    result = Array::create(m_stack.objectsFrom(start), m_stack.index() - start, m_isMutable).leak();
                    m_stack.handOver(start);
                } else {
                    fail("Unexpected ']'.");
                }
                stopped = true;
                break;
            case Token::Comma:
                if (accepted & AcceptComma) {
                    accepted = AcceptValue;
                } else {
                    fail("Unexpected ','.");
                    stopped = true;
                }
                break;
            default:
                failExpected(accepted, "a value", "a ']'");
                stopped = true;
                break;
            }
        }
        if (!result) {
            noteUnclosedContainer();
            m_cache.settle();
            m_stack.releaseRange(start);
        }
        --m_depth;
        return result;
    }

    Object* Parser::parseDictionary()
    {
        if (++m_depth > kMaximumNestingDepth) {
            fail("Nesting of arrays and objects is deeper than the limit of %zu.", kMaximumNestingDepth);
            --m_depth;
            return nullptr;
        }
        const std::size_t start = m_stack.index();
        unsigned accepted = AcceptValue | AcceptEnd;
        Object* result = nullptr;
        bool stopped = false;
        while (!stopped && m_cursor < m_end) {
            if (!m_stack.ensureRoom()) {
                fail("Internal error: [dictionary] objectsIndex > %zu, resize failed? %s line #%ld",
                    m_stack.count() - 4, kSourceUnit, static_cast<long>(__LINE__));
                break;
            }
            const std::size_t entry = m_stack.reserveEntry();
            const std::size_t keyIndex = entry - start;
            // Indented text: the white space the key's token would skip first.
            if (m_cursor < m_end && *m_cursor <= ' ')
                skipWhitespace();
            Object* key = (accepted & AcceptValue) ? repeatedKey(keyIndex) : nullptr;
            // Keys are the usual token here: no need to go through the dispatch.
            if (!key && !(m_cursor < m_end && *m_cursor == '"' ? takeString() : nextToken()))
                break;
            if (key) {
                // The key of the dictionary before, taken whole.
            } else if (m_token == Token::Comma) {
                m_stack.giveBack();
                if (accepted & AcceptComma) {
                    accepted = AcceptValue;
                    continue;
                }
                fail("Unexpected ','.");
                break;
            } else if (m_token == Token::ObjectEnd) {
                m_stack.giveBack();
                if (accepted & AcceptEnd) {
                    const std::size_t n = m_stack.index() - start;
                    result = Dictionary::create(m_stack.keysFrom(start), m_stack.keyHashesFrom(start),
                        m_stack.objectsFrom(start), n, m_isMutable)
                                 .leak();
                    m_stack.handOver(start);
                } else {
                    fail("Unexpected '}'.");
                }
                break;
            } else if (m_token != Token::String) {
                failExpected(accepted, "a \"STRING\"", "a '}'");
                break;
            } else if (!(accepted & AcceptValue)) {
                fail("Unexpected string.");
                break;
            } else {
                key = m_cache.objectFor(m_value);
                rememberKey(keyIndex, key);
            }
            const unsigned acceptedBeforeKey = accepted;
            m_stack.keyAt(entry) = key;
            // The key hash is the string hash the scan already computed.
            m_stack.keyHashAt(entry) = m_value.hash;
            // The colon mostly follows the key at once.
            if (m_cursor < m_end && *m_cursor == ':') {
                ++m_cursor;
            } else {
                if (!nextToken())
                    break;
                if (m_token != Token::Colon) {
                    fail("Expected ':'.");
                    break;
                }
            }
            if (m_cursor < m_end && *m_cursor == ' ')
                skipWhitespace(); // "key": value
            bool scalar = false;
            if (!(m_cursor < m_end ? takeScalar(scalar) : true) || (!scalar && !nextToken()))
                break;
            if (!scalar && !isValueToken(m_token)) {
                failExpected(acceptedBeforeKey, "a value", "a '}'");
                break;
            }
            Object* value = scalar ? m_cache.objectFor(m_value) : buildValue();
            if (!value) {
                fail("Internal error: Object == NULL.");
                break;
            }
            m_stack.objectAt(entry) = value;
            accepted = AcceptComma | AcceptEnd;
            if (m_cursor < m_end && *m_cursor == ',') {
                ++m_cursor;
                accepted = AcceptValue;
            } else if (m_cursor < m_end && *m_cursor == '}' && m_stack.ensureRoom()) {
                // The closing brace right after the value, as the loop would take it.
                m_tokenStart = m_cursor++;
                m_token = Token::ObjectEnd;
                m_tokenLength = 1;
                result = Dictionary::create(m_stack.keysFrom(start), m_stack.keyHashesFrom(start),
                    m_stack.objectsFrom(start), m_stack.index() - start, m_isMutable)
                             .leak();
                m_stack.handOver(start);
                break;
            }
        }
        if (!result) {
            noteUnclosedContainer();
            m_cache.settle();
            m_stack.releaseRange(start);
        }
        --m_depth;
        return result;
    }

    Value Parser::parse()
    {
        Value parsed;
        if (m_cursor < m_end && nextToken()) {
            if (m_token == Token::ArrayBegin)
                parsed = Value::adopt(parseArray());
            else if (m_token == Token::ObjectBegin)
                parsed = Value::adopt(parseDictionary());
            else
                fail("Expected either '[' or '{'.");
        }
        if (!parsed) {
            if (m_cursor >= m_end)
                fail("Reached the end of the buffer.");
            fail("Unable to parse JSON.");
            return {};
        }
        if (m_cursor < m_end) {
            skipWhitespace();
            if (m_cursor < m_end && !(m_options & ParseOptionAllowTrailingText)) {
                fail("A valid JSON object was parsed but there were additional non-white-space characters "
                     "remaining.");
                m_cache.settle();
                return {};
            }
        }
        return parsed;
    }

} // namespace

namespace {

    class CacheDecodeScope {
    public:
        CacheDecodeScope(detail::ValueCache& cache, bool keepObjects) noexcept
            : m_cache(cache)
            , m_keepObjects(keepObjects)
        {
            m_cache.beginDecode();
        }
        ~CacheDecodeScope() { m_cache.endDecode(m_keepObjects); }
        CacheDecodeScope(const CacheDecodeScope&) = delete;
        CacheDecodeScope& operator=(const CacheDecodeScope&) = delete;

    private:
        detail::ValueCache& m_cache;
        bool m_keepObjects;
    };

} // namespace

Decoder::Decoder(unsigned parseOptions)
{
    if (parseOptions > ParseOptionValidFlags)
        throw InvalidArgumentException("Invalid parse options.");
    m_parseState = std::make_unique<ParseState>();
    m_parseState->options = parseOptions;
}

Decoder::~Decoder() = default;

std::unique_ptr<Decoder> Decoder::decoderWithParseOptions(unsigned parseOptions)
{
    return std::make_unique<Decoder>(parseOptions);
}

unsigned Decoder::parseOptions() const noexcept
{
    return m_parseState ? m_parseState->options : 0;
}

void Decoder::clearCache() noexcept
{
    if (m_parseState)
        m_parseState->cache.clear();
}

void Decoder::cleanUp() noexcept
{
    m_parseState.reset();
}

Value Decoder::decode(const char* bytes, std::size_t length, bool isMutable, Error* error)
{
    if (!m_parseState)
        throw InternalInconsistencyException("parseState is NULL.");
    if (!bytes)
        throw InvalidArgumentException("The string argument is NULL.");
    // Bookkeeping lives in this frame; ordinary replies never touch the heap for it.
    detail::Object* objects[detail::ObjectStack::kFrameEntries];
    detail::Object* keys[detail::ObjectStack::kFrameEntries];
    std::uint32_t keyHashes[detail::ObjectStack::kFrameEntries];
    char tokenBuffer[2048];
    detail::ObjectStack stack(objects, keys, keyHashes, detail::ObjectStack::kFrameEntries);
    // Declared before the result: the last slab is sealed before the result leaves.
    std::optional<detail::DecodeArena> arena;
    if (length >= detail::DecodeArena::kMinimumInput)
        arena.emplace();
    Value result;
    {
        // Ends the decode with exact counts before anything leaves, even when an
        // allocation throws (the stack, declared earlier, then releases its values).
        CacheDecodeScope cacheScope(m_parseState->cache, !m_usedOnce);
        Parser parser(*m_parseState, bytes, length, isMutable, stack, tokenBuffer, sizeof tokenBuffer);
        result = parser.parse();
        if (!result && error && parser.error())
            *error = std::move(*parser.error());
    }
    // A decoder used once keeps nothing in its cache, so an immutable tree
    // it made holds only objects of its own and can be released whole.
    if (arena && m_usedOnce && !isMutable)
        arena->keepWhole(result.object());
    return result;
}

Value Decoder::objectWithUTF8String(const char* bytes, std::size_t length, Error* error)
{
    return decode(bytes, length, false, error);
}

Value Decoder::objectWithData(std::string_view data, Error* error)
{
    if (!data.data())
        throw InvalidArgumentException("The jsonData argument is NULL.");
    return decode(data.data(), data.size(), false, error);
}

Value Decoder::mutableObjectWithUTF8String(const char* bytes, std::size_t length, Error* error)
{
    return decode(bytes, length, true, error);
}

Value Decoder::mutableObjectWithData(std::string_view data, Error* error)
{
    if (!data.data())
        throw InvalidArgumentException("The jsonData argument is NULL.");
    return decode(data.data(), data.size(), true, error);
}

} // namespace json
