#include "json/Decoder.h"

#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/Exceptions.h"
#include "json/ObjectStack.h"
#include "json/Utf8.h"
#include "json/ValueCache.h"

#include <array>
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
        bool parseString();
        bool parseStringSlow(const unsigned char* resume, std::uint32_t hash);
        bool parseNumber();
        bool growBuffer(std::size_t needed);
        Object* buildValue();
        Object* parseArray();
        Object* parseDictionary();
        bool failExpected(unsigned accepted, const char* valueName, const char* endName);
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
            // Indentation comes in long runs of spaces: eight at a time.
            while (m_end - p >= 8) {
                std::uint64_t eight;
                std::memcpy(&eight, p, 8);
                if (eight != 0x2020202020202020ULL)
                    break;
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
            if (!parseString()) {
                fail("Invalid string.");
                return fail("%s", kUnexpectedToken);
            }
            m_token = Token::String;
            break;
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

    bool Parser::parseString()
    {
        const unsigned char* s = m_cursor + 1;
        const unsigned char* end = m_end;
        std::uint32_t h = detail::kStringHashSeed;
        for (;;) {
            // Four plain bytes at a time: h*33^4 + a*33^3 + b*33^2 + c*33 + d.
            while (end - s >= 4 && kPlainStringByte[s[0]] && kPlainStringByte[s[1]] && kPlainStringByte[s[2]]
                && kPlainStringByte[s[3]]) {
                h = h * 1185921u + s[0] * 35937u + s[1] * 1089u + s[2] * 33u + s[3];
                s += 4;
            }
            if (s >= end)
                return false; // "Invalid string." is recorded by the caller
            unsigned char c = *s;
            if (kPlainStringByte[c]) {
                h = h * 33u + c;
                ++s;
                continue;
            }
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
            unsigned char c = *s;
            if (c == '"') {
                m_value.type = ValueType::String;
                m_value.bytes = m_buffer;
                m_value.length = out;
                m_value.hash = detail::hashBytes(m_buffer, out);
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
                    const unsigned char* second = s;
                    s += 2;
                    std::uint32_t l;
                    if (int read = readHex(l); read <= 0)
                        return false;
                    if (l >= 0xDC00 && l <= 0xDFFF) {
                        codePoint = (u - 0xD800) * 0x400 + (l - 0xDC00) + 0x10000;
                    } else if (lenient) {
                        // The lone high surrogate becomes U+FFFD and the second
                        // escape is read again on its own, so its character is kept.
                        replaced = true;
                        s = second;
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
            while (s < end && kDigit[*s])
                magnitude = magnitude * 10 + (*s++ - '0');
            digits = static_cast<std::size_t>(s - first);
        } else {
            return invalid();
        }
        if (s < end && *s == '.') {
            floating = true;
            ++s;
            if (s >= end || !kDigit[*s])
                return invalid();
            while (s < end && kDigit[*s])
                ++s;
        }
        if (s < end && (*s == 'e' || *s == 'E')) {
            floating = true;
            ++s;
            if (s < end && (*s == '+' || *s == '-'))
                ++s;
            if (s >= end || !kDigit[*s])
                return invalid();
            while (s < end && kDigit[*s])
                ++s;
        }
        // A number needs a byte after it: the input cannot end inside the top-level container.
        if (s >= end)
            return invalid();
        m_cursor = s;
        const std::size_t length = static_cast<std::size_t>(s - start);
        if (!floating && negative && length == 2 && start[1] == '0')
            floating = true; // "-0" keeps its sign as a double

        auto text = [start, length]() { return std::string(reinterpret_cast<const char*>(start), length); };
        if (floating) {
            double d = 0;
            auto [ptr, ec] = std::from_chars(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(s), d);
            if (ec == std::errc::result_out_of_range) {
                std::string copy = text();
                errno = 0;
                double rounded = std::strtod(copy.c_str(), nullptr);
                return fail("The value '%s' could not be represented as a 'double' due to %s.", copy.c_str(),
                    rounded == 0.0 ? "underflow" : "overflow");
            }
            if (ec != std::errc())
                return fail("Invalid number.");
            if (ptr != reinterpret_cast<const char*>(s))
                return fail("The conversion function did not consume all of the number tokens characters.");
            m_value.type = ValueType::Double;
            m_value.d = d;
        } else if (negative) {
            // 19 digits always fit in 64 bits unsigned; more never fit in a signed integer.
            if (digits > 19 || magnitude > 9223372036854775808ULL)
                return fail("The value '%s' exceeded the minimum value that could be represented: %lld.",
                    text().c_str(), static_cast<long long>(INT64_MIN));
            m_value.type = ValueType::Signed;
            m_value.u = 0 - magnitude;
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
            m_value.type = ValueType::Unsigned;
            m_value.u = magnitude;
        }
        std::uint32_t h = detail::kStringHashSeed + static_cast<std::uint32_t>(m_value.type);
        if (m_value.type != ValueType::Double)
            h += static_cast<std::uint32_t>(m_value.u);
        // The eight value bytes, least significant first, hashed as a string
        // would be; the powers of 33 let the terms be computed side by side.
        const std::uint64_t v = m_value.u;
        m_value.hash = h * pow33(8) + static_cast<std::uint32_t>(v & 0xFF) * pow33(7)
            + static_cast<std::uint32_t>((v >> 8) & 0xFF) * pow33(6)
            + static_cast<std::uint32_t>((v >> 16) & 0xFF) * pow33(5)
            + static_cast<std::uint32_t>((v >> 24) & 0xFF) * pow33(4)
            + static_cast<std::uint32_t>((v >> 32) & 0xFF) * pow33(3)
            + static_cast<std::uint32_t>((v >> 40) & 0xFF) * pow33(2)
            + static_cast<std::uint32_t>((v >> 48) & 0xFF) * pow33(1) + static_cast<std::uint32_t>(v >> 56);
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
            if (!nextToken())
                break;
            if (isValueToken(m_token)) {
                if (!(accepted & AcceptValue)) {
                    fail("Unexpected value.");
                    break;
                }
                Object* value = buildValue();
                if (!value) {
                    fail("Internal error: Object == NULL");
                    break;
                }
                m_stack.push(value);
                accepted = AcceptComma | AcceptEnd;
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
            if (!nextToken())
                break;
            if (m_token == Token::Comma) {
                m_stack.giveBack();
                if (accepted & AcceptComma) {
                    accepted = AcceptValue;
                    continue;
                }
                fail("Unexpected ','.");
                break;
            }
            if (m_token == Token::ObjectEnd) {
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
            }
            if (m_token != Token::String) {
                failExpected(accepted, "a \"STRING\"", "a '}'");
                break;
            }
            if (!(accepted & AcceptValue)) {
                fail("Unexpected string.");
                break;
            }
            const unsigned acceptedBeforeKey = accepted;
            Object* key = m_cache.objectFor(m_value);
            m_stack.keyAt(entry) = key;
            // The key hash is the string hash the scan already computed.
            m_stack.keyHashAt(entry) = m_value.hash;
            if (!nextToken())
                break;
            if (m_token != Token::Colon) {
                fail("Expected ':'.");
                break;
            }
            if (!nextToken())
                break;
            if (!isValueToken(m_token)) {
                failExpected(acceptedBeforeKey, "a value", "a '}'");
                break;
            }
            Object* value = buildValue();
            if (!value) {
                fail("Internal error: Object == NULL.");
                break;
            }
            m_stack.objectAt(entry) = value;
            accepted = AcceptComma | AcceptEnd;
        }
        if (!result) {
            noteUnclosedContainer();
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
                return {};
            }
        }
        return parsed;
    }

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
    Parser parser(*m_parseState, bytes, length, isMutable, stack, tokenBuffer, sizeof tokenBuffer);
    Value result = parser.parse();
    if (!result && error && parser.error())
        *error = std::move(*parser.error());
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
