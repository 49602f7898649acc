// Strings: the plain scan a word at a time, and the slow path that unescapes
// into the token buffer.
#include "json/DecoderParser.h"
#include "json/Utf8.h"

#include <algorithm>
#include <bit>

namespace json::detail {

namespace {

    // Bytes that a string's fast scan copies and hashes without a second look.
    constexpr std::array<bool, 256> makePlainStringBytes()
    {
        std::array<bool, 256> plain {};
        for (int c = 0x20; c < 0x80; ++c)
            plain[c] = c != '"' && c != '\\';
        return plain;
    }
    constexpr std::array<bool, 256> kPlainStringByte = makePlainStringBytes();

    // The string hash of unescaped text, eight bytes at a time.
    inline std::uint32_t hashText(const char* bytes, std::size_t length)
    {
        std::uint32_t h = kStringHashSeed;
        std::size_t i = 0;
        for (; i + 8 <= length; i += 8)
            h = hashEightBytes(h, loadWord(reinterpret_cast<const unsigned char*>(bytes + i)));
        for (; i < length; ++i)
            h = h * 33u + static_cast<unsigned char>(bytes[i]);
        return h;
    }

    constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

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

} // namespace

bool Parser::parseString()
{
    const unsigned char* s = m_cursor + 1;
    const unsigned char* end = m_end;
    std::uint32_t h = kStringHashSeed;
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
            h = hashFirstBytes(h, word, plain);
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
        // noncharacters lie there. A run of them (text in most scripts) is
        // taken here without the word test; the rest take the full check.
        const unsigned char* run = s;
        while (s < end) {
            const unsigned char b = *s;
            if (b <= 0xDF && b >= 0xC2 && end - s >= 2 && (s[1] & 0xC0) == 0x80) {
                h = h * 1089u + b * 33u + s[1];
                s += 2;
                continue;
            }
            if (b >= 0xE1 && b <= 0xEC && end - s >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
                h = h * 35937u + b * 1089u + s[1] * 33u + s[2];
                s += 3;
                continue;
            }
            break;
        }
        if (s != run)
            continue;
        Utf8Sequence sequence = decodeUtf8Sequence(s, end);
        if (sequence.result != Utf8Sequence::Result::Valid)
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
    const unsigned char* end = m_end;
    const unsigned char* first = m_cursor + 1;
    std::size_t out = static_cast<std::size_t>(s - first);
    if (!growBuffer(out + 16))
        return false;
    std::memcpy(m_buffer, first, out);
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
            std::memcpy(m_buffer + out, s, 2);
            out += 2;
            s += 2;
            continue;
        }
        if (c >= 0xE1 && c <= 0xEC && end - s >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
            std::memcpy(m_buffer + out, s, 3);
            out += 3;
            s += 3;
            continue;
        }
        if (!(c >= 0x80 ? copyUtf8Sequence(s, out) : copyEscape(s, out)))
            return false;
    }
}

bool Parser::copyUtf8Sequence(const unsigned char*& s, std::size_t& out)
{
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    Utf8Sequence sequence = decodeUtf8Sequence(s, m_end);
    if (sequence.result == Utf8Sequence::Result::Valid) {
        std::memcpy(m_buffer + out, s, sequence.length);
        out += sequence.length;
    } else if (sequence.result == Utf8Sequence::Result::Exhausted) {
        return fail("End of buffer reached while parsing UTF8 in \"\" string.");
    } else if (!(m_options & ParseOptionLenientUnicode)) {
        return fail("Illegal UTF8 sequence found in \"\" string.");
    } else {
        std::memcpy(m_buffer + out, kReplacement, 3);
        out += 3;
    }
    s += sequence.length;
    return true;
}

bool Parser::copyEscape(const unsigned char*& s, std::size_t& out)
{
    ++s;
    if (s >= m_end)
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
        return true;
    }
    ++s;
    std::uint32_t codePoint;
    if (!readUnicodeEscape(s, codePoint))
        return false;
    out += encodeUtf8(codePoint, m_buffer + out);
    return true;
}

bool Parser::readUnicodeEscape(const unsigned char*& s, std::uint32_t& codePoint)
{
    const bool lenient = m_options & ParseOptionLenientUnicode;
    const unsigned char* end = m_end;
    std::uint32_t u;
    if (int read = readHexDigits(s, u); read <= 0)
        return false;
    codePoint = u;
    bool replaced = false;
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (s + 1 < end && s[0] == '\\' && s[1] == 'u') {
            s += 2;
            std::uint32_t l;
            if (int read = readHexDigits(s, l); read <= 0)
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
    if (!replaced && isInvalidEscapedCodePoint(codePoint)) {
        if (!lenient)
            return fail("Illegal \\u Unicode escape sequence.");
        replaced = true;
    }
    if (replaced)
        codePoint = 0xFFFD;
    return true;
}

int Parser::readHexDigits(const unsigned char*& s, std::uint32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (s >= m_end)
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
}

} // namespace json::detail
