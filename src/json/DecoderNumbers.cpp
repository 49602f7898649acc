// Numbers: digits a word at a time, and doubles converted from the 128-bit
// product of the significand and a power of five where that decides.
#include "json/DecoderParser.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace json::detail {

namespace {

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

} // namespace

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

// The scan and the conversion are parts of every number's path: inline in
// parseNumber, so that the value stays in registers up to its hash.
[[gnu::always_inline]] inline bool Parser::scanNumber(NumberText& number)
{
    const unsigned char* start = m_cursor;
    const unsigned char* s = start;
    const unsigned char* end = m_end;
    auto invalid = [this, &s]() {
        m_cursor = s;
        return fail("Invalid number.");
    };
    number = { start, start, 0, 0, 0, 0, false, false, false };
    if (*s == '-') {
        number.negative = true;
        ++s;
    }
    if (s >= end)
        return invalid();
    if (*s == '0') {
        ++s;
        number.digits = 1;
    } else if (kDigit[*s]) {
        const unsigned char* first = s;
        // Integer parts of one or two digits before a fraction
        // (coordinates, most readings) directly; the rest a word at a time.
        // Wrapping is harmless: more than 19 digits are recounted or refused below.
        if (end - s >= 3 && s[1] == '.') {
            number.magnitude = static_cast<std::uint64_t>(s[0] - '0');
            s += 1;
        } else if (end - s >= 3 && s[2] == '.' && kDigit[s[1]]) {
            number.magnitude = static_cast<std::uint64_t>(s[0] - '0') * 10 + static_cast<std::uint64_t>(s[1] - '0');
            s += 2;
        } else {
            s = readDigits(s, end, number.magnitude);
        }
        number.digits = static_cast<std::size_t>(s - first);
    } else {
        return invalid();
    }
    // The fraction's digits go on into the integer's (the significand),
    // and the exponent is read, for the quick conversion.
    if (s < end && *s == '.') {
        number.floating = true;
        ++s;
        if (s >= end || !kDigit[*s])
            return invalid();
        const unsigned char* first = s;
        s = readDigits(s, end, number.magnitude);
        number.fractionDigits = static_cast<std::size_t>(s - first);
    }
    if (s < end && (*s == 'e' || *s == 'E')) {
        number.floating = true;
        ++s;
        bool negativeExponent = false;
        if (s < end && (*s == '+' || *s == '-'))
            negativeExponent = *s++ == '-';
        if (s >= end || !kDigit[*s])
            return invalid();
        while (s < end && kDigit[*s]) {
            if (number.exponent < 10000)
                number.exponent = number.exponent * 10 + (*s - '0');
            else
                number.exponentLarge = true;
            ++s;
        }
        if (negativeExponent)
            number.exponent = -number.exponent;
    }
    // A number needs a byte after it: the input cannot end inside the top-level container.
    if (s >= end)
        return invalid();
    m_cursor = s;
    number.end = s;
    if (!number.floating && number.negative && s - start == 2 && start[1] == '0')
        number.floating = true; // "-0" keeps its sign as a double
    return true;
}

[[gnu::always_inline]] inline bool Parser::convertNumber(const NumberText& number, ValueType& type, std::uint64_t& bits)
{
    const unsigned char* start = number.start;
    const unsigned char* s = number.end;
    const std::size_t length = static_cast<std::size_t>(s - start);
    auto text = [start, length]() { return std::string(reinterpret_cast<const char*>(start), length); };
    if (number.floating) {
        // Leading zeros of the fraction count too: such numbers merely take the long way.
        const bool zeroInteger = start[number.negative ? 1 : 0] == '0';
        const std::size_t significant = (zeroInteger ? 0 : number.digits) + number.fractionDigits;
        double quick;
        if (!number.exponentLarge && significant <= 19
            && quickDouble(number.magnitude, number.exponent - static_cast<int>(number.fractionDigits), quick)) {
            bits = std::bit_cast<std::uint64_t>(quick) | (number.negative ? 1ULL << 63 : 0);
        } else {
            double d = 0;
            if (!convertDouble(start, s, d))
                return false; // the error is recorded
            bits = std::bit_cast<std::uint64_t>(d);
        }
        type = ValueType::Double;
    } else if (number.negative) {
        // 19 digits always fit in 64 bits unsigned; more never fit in a signed integer.
        if (number.digits > 19 || number.magnitude > 9223372036854775808ULL)
            return fail("The value '%s' exceeded the minimum value that could be represented: %lld.", text().c_str(),
                static_cast<long long>(INT64_MIN));
        type = ValueType::Signed;
        bits = 0 - number.magnitude;
    } else {
        std::uint64_t magnitude = number.magnitude;
        bool overflow = number.digits > 20;
        if (number.digits == 20) {
            // Recount with overflow checks: the running product may have wrapped.
            std::uint64_t exact = 0;
            for (const unsigned char* p = start; p < s && !overflow; ++p)
                overflow
                    = __builtin_mul_overflow(exact, 10u, &exact) || __builtin_add_overflow(exact, *p - '0', &exact);
            magnitude = exact;
        }
        if (overflow)
            return fail("The value '%s' exceeded the maximum value that could be represented: %llu.", text().c_str(),
                static_cast<unsigned long long>(UINT64_MAX));
        type = ValueType::Unsigned;
        bits = magnitude;
    }
    return true;
}

bool Parser::parseNumber()
{
    // The value is kept in registers up to the hash: going through the
    // token's union in memory would put a store and a reload on every
    // number's path.
    NumberText number;
    ValueType type {};
    std::uint64_t bits = 0;
    if (!scanNumber(number) || !convertNumber(number, type, bits))
        return false;
    std::uint32_t h = kStringHashSeed + static_cast<std::uint32_t>(type);
    if (type != ValueType::Double)
        h += static_cast<std::uint32_t>(bits);
    // The eight value bytes, least significant first, hashed as a string would be.
    m_value.type = type;
    m_value.u = bits;
    m_value.hash = hashEightBytes(h, bits);
    return true;
}

} // namespace json::detail
