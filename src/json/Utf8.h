#pragma once

#include <cstddef>
#include <cstdint>

namespace json::detail {

/// One UTF-8 sequence starting at a lead byte of 0x80 or more.
struct Utf8Sequence {
    enum class Result : std::uint8_t {
        Valid,
        /// Well-formed but a noncharacter (U+FDD0 to U+FDEF, or ending in
        /// FFFE or FFFF): the decoder refuses it, the serializer copies it.
        Noncharacter,
        /// Ill-formed: a lead byte or a continuation byte out of place, an
        /// overlong form, an encoded surrogate or a code point above U+10FFFF.
        Illegal,
        /// Ill-formed because the input ends inside the announced sequence.
        Exhausted,
    };
    Result result;
    /// Bytes to skip: the whole sequence when valid, else the lead byte and the
    /// continuation bytes that follow it (at most as many as it announced).
    std::uint32_t length;
    /// The code point, or U+FFFD when not valid.
    std::uint32_t codePoint;

    bool isWellFormed() const noexcept { return result == Result::Valid || result == Result::Noncharacter; }
};

Utf8Sequence decodeUtf8Sequence(const unsigned char* lead, const unsigned char* end) noexcept;

/// Surrogates, U+FDD0 to U+FDEF, code points ending in FFFE or FFFF, 0 and
/// anything above U+10FFFF are not accepted from escapes.
inline bool isInvalidEscapedCodePoint(std::uint32_t c) noexcept
{
    return c == 0 || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE
        || c > 0x10FFFF;
}

/// Writes the code point as UTF-8; returns the byte count (1 to 4).
inline std::size_t encodeUtf8(std::uint32_t c, char* out) noexcept
{
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

} // namespace json::detail
