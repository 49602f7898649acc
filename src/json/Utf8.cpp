#include "json/Utf8.h"

namespace json::detail {

Utf8Sequence decodeUtf8Sequence(const unsigned char* lead, const unsigned char* end) noexcept
{
    const unsigned char b0 = lead[0];
    // Trailing byte count: the 1 bits after the top bit of the lead byte.
    std::uint32_t n = 0;
    for (unsigned bit = 0x40; bit && (b0 & bit); bit >>= 1)
        ++n;
    const auto available = static_cast<std::size_t>(end - lead);

    bool wellFormed = n >= 1 && n < 4 && n + 1 <= available && b0 >= 0xC2 && b0 <= 0xF4;
    if (wellFormed) {
        const unsigned char b1 = lead[1];
        unsigned char low = 0x80, high = 0xBF;
        if (b0 == 0xE0)
            low = 0xA0;
        else if (b0 == 0xED)
            high = 0x9F;
        else if (b0 == 0xF0)
            low = 0x90;
        else if (b0 == 0xF4)
            high = 0x8F;
        wellFormed = b1 >= low && b1 <= high;
        for (std::uint32_t i = 2; wellFormed && i <= n; ++i)
            wellFormed = lead[i] >= 0x80 && lead[i] <= 0xBF;
    }
    if (wellFormed) {
        std::uint32_t c;
        if (n == 1)
            c = ((b0 & 0x1Fu) << 6) | (lead[1] & 0x3Fu);
        else if (n == 2)
            c = ((b0 & 0x0Fu) << 12) | ((lead[1] & 0x3Fu) << 6) | (lead[2] & 0x3Fu);
        else
            c = ((b0 & 0x07u) << 18) | ((lead[1] & 0x3Fu) << 12) | ((lead[2] & 0x3Fu) << 6) | (lead[3] & 0x3Fu);
        // The byte ranges above leave out surrogates and anything past U+10FFFF.
        if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return { Utf8Sequence::Result::Noncharacter, n + 1, 0xFFFD };
        return { Utf8Sequence::Result::Valid, n + 1, c };
    }

    std::uint32_t skipped = 1;
    while (skipped <= n && skipped < available && lead[skipped] >= 0x80 && lead[skipped] <= 0xBF)
        ++skipped;
    const bool runsPastEnd = n + 1 > available;
    const bool stoppedAtEndOrLimit = skipped == available || skipped == n + 1;
    if (runsPastEnd && stoppedAtEndOrLimit)
        return { Utf8Sequence::Result::Exhausted, skipped, 0xFFFD };
    return { Utf8Sequence::Result::Illegal, skipped, 0xFFFD };
}

} // namespace json::detail
