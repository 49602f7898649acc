#include "json/DoubleText.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace json::detail {

namespace {

    constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                   "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                   "8081828384858687888990919293949596979899";

    constexpr std::uint64_t kPowersOfTen[] = { 1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL,
        10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
        100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL, 1000000000000000000ULL,
        10000000000000000000ULL };

    // 10^n for n up to 22 in 128 bits: 10^22 < 2^74, so times a 53-bit significand it stays below 2^127.
    constexpr unsigned __int128 powerOfTen128(int n)
    {
        unsigned __int128 p = 1;
        for (int i = 0; i < n; ++i)
            p *= 10;
        return p;
    }
    constexpr unsigned __int128 kWidePowersOfTen[] = { powerOfTen128(0), powerOfTen128(1), powerOfTen128(2),
        powerOfTen128(3), powerOfTen128(4), powerOfTen128(5), powerOfTen128(6), powerOfTen128(7), powerOfTen128(8),
        powerOfTen128(9), powerOfTen128(10), powerOfTen128(11), powerOfTen128(12), powerOfTen128(13), powerOfTen128(14),
        powerOfTen128(15), powerOfTen128(16), powerOfTen128(17), powerOfTen128(18), powerOfTen128(19),
        powerOfTen128(20), powerOfTen128(21), powerOfTen128(22) };

    constexpr std::uint64_t kLowest17Digits = 10000000000000000ULL; // 10^16
    constexpr std::uint64_t kPast17Digits = 100000000000000000ULL; // 10^17

    // The 17 digits of `digits` (10^16 <= digits < 10^17), most significant first.
    void seventeenDigits(std::uint64_t digits, char* out) noexcept
    {
        out[0] = static_cast<char>('0' + digits / kLowest17Digits);
        digits %= kLowest17Digits;
        for (int i = 15; i > 0; i -= 2) {
            std::memcpy(out + i, kDigitPairs + 2 * (digits % 100), 2);
            digits /= 100;
        }
    }

    // The text "%.17g" makes of the rounded digits (17 of them) with decimal exponent x.
    char* layOut(bool negative, std::uint64_t rounded, int x, char* out) noexcept
    {
        char digits[17];
        seventeenDigits(rounded, digits);
        int significant = 17;
        while (significant > 1 && digits[significant - 1] == '0')
            --significant;
        if (negative)
            *out++ = '-';
        if (x >= -4 && x < 17) {
            if (x >= 0) {
                std::memcpy(out, digits, static_cast<std::size_t>(x) + 1);
                out += x + 1;
                if (significant > x + 1) {
                    *out++ = '.';
                    const auto fraction = static_cast<std::size_t>(significant - x - 1);
                    std::memcpy(out, digits + x + 1, fraction);
                    out += fraction;
                }
            } else {
                *out++ = '0';
                *out++ = '.';
                for (int i = -1; i > x; --i)
                    *out++ = '0';
                std::memcpy(out, digits, static_cast<std::size_t>(significant));
                out += significant;
            }
            return out;
        }
        *out++ = digits[0];
        if (significant > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, static_cast<std::size_t>(significant - 1));
            out += significant - 1;
        }
        *out++ = 'e';
        *out++ = x < 0 ? '-' : '+';
        unsigned exponent = static_cast<unsigned>(x < 0 ? -x : x);
        if (exponent >= 100) {
            *out++ = static_cast<char>('0' + exponent / 100);
            exponent %= 100;
        }
        std::memcpy(out, kDigitPairs + 2 * exponent, 2);
        return out + 2;
    }

} // namespace

char* writeDouble17(double value, char* out) noexcept
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t m = bits & ((1ULL << 52) - 1);
    if (biased == 0 && m == 0) {
        if (negative)
            *out++ = '-';
        *out++ = '0';
        return out;
    }
    // value = m * 2^-k with m the full significand.
    int k;
    if (biased == 0) {
        k = 1074;
    } else {
        m |= 1ULL << 52;
        k = 1075 - biased;
    }

    if (k <= 0) {
        // An integer: exact in 64 bits up to 2^64.
        if (k < -11)
            return std::to_chars(out, out + 32, value, std::chars_format::general, 17).ptr;
        const std::uint64_t n = m << -k;
        int count = 1;
        while (count < 20 && n >= kPowersOfTen[count])
            ++count;
        if (count <= 17)
            return layOut(negative, n * kPowersOfTen[17 - count], count - 1, out);
        const std::uint64_t scale = kPowersOfTen[count - 17];
        std::uint64_t rounded = n / scale;
        const std::uint64_t rest = n % scale;
        const std::uint64_t half = scale / 2;
        if (rest > half || (rest == half && (rounded & 1)))
            ++rounded;
        int x = count - 1;
        if (rounded == kPast17Digits) {
            rounded = kLowest17Digits;
            ++x;
        }
        return layOut(negative, rounded, x, out);
    }

    // A fraction: the 17 digits are m * 10^s / 2^k rounded, with s = 16 - x
    // and x the decimal exponent. The product stays within 128 bits for
    // s <= 22 (x >= -6); smaller magnitudes take the library's conversion.
    const int leadingBit = 63 - __builtin_clzll(m) - k; // floor(log2(value))
    int x = (leadingBit * 1233) >> 12; // floor(leadingBit * log10(2)), or one less than x
    if (x < -6 || k > 120)
        return std::to_chars(out, out + 32, value, std::chars_format::general, 17).ptr;
    int s = 16 - x;
    unsigned __int128 product = static_cast<unsigned __int128>(m) * kWidePowersOfTen[s];
    std::uint64_t rounded = static_cast<std::uint64_t>(product >> k);
    if (rounded >= kPast17Digits) {
        // The estimate was one short: one digit fewer after the point.
        ++x;
        --s;
        product = static_cast<unsigned __int128>(m) * kWidePowersOfTen[s];
        rounded = static_cast<std::uint64_t>(product >> k);
    }
    const unsigned __int128 rest = product & ((static_cast<unsigned __int128>(1) << k) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (k - 1);
    if (rest > half || (rest == half && (rounded & 1)))
        ++rounded;
    if (rounded == kPast17Digits) {
        rounded = kLowest17Digits;
        ++x;
    }
    return layOut(negative, rounded, x, out);
}

} // namespace json::detail
