#include "platform/foundation/Decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace hestio::platform {

namespace {

    /// An unsigned integer of any size, little-endian 32-bit limbs. Only what the
    /// decimal arithmetic needs: intermediate products and scaled dividends run
    /// past 128 bits, and speed matters less here than being exact.
    class BigUInt {
    public:
        BigUInt() = default;
        explicit BigUInt(Decimal::Mantissa value)
        {
            while (value) {
                m_limbs.push_back(static_cast<std::uint32_t>(value));
                value >>= 32;
            }
        }

        bool isZero() const { return m_limbs.empty(); }
        Decimal::Mantissa toMantissa() const
        {
            Decimal::Mantissa v = 0;
            for (std::size_t i = m_limbs.size(); i-- > 0;)
                v = (v << 32) | m_limbs[i];
            return v;
        }

        void mulSmall(std::uint32_t factor)
        {
            std::uint64_t carry = 0;
            for (auto& limb : m_limbs) {
                std::uint64_t p = std::uint64_t(limb) * factor + carry;
                limb = static_cast<std::uint32_t>(p);
                carry = p >> 32;
            }
            if (carry)
                m_limbs.push_back(static_cast<std::uint32_t>(carry));
            trim();
        }
        void mulPow10(int n)
        {
            for (; n >= 9; n -= 9)
                mulSmall(1000000000u);
            static constexpr std::uint32_t small[] = { 1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000 };
            if (n > 0)
                mulSmall(small[n]);
        }
        /// Divides in place and returns the remainder.
        std::uint32_t divSmall(std::uint32_t divisor)
        {
            std::uint64_t rem = 0;
            for (std::size_t i = m_limbs.size(); i-- > 0;) {
                std::uint64_t cur = (rem << 32) | m_limbs[i];
                m_limbs[i] = static_cast<std::uint32_t>(cur / divisor);
                rem = cur % divisor;
            }
            trim();
            return static_cast<std::uint32_t>(rem);
        }

        static BigUInt multiply(const BigUInt& a, const BigUInt& b)
        {
            BigUInt r;
            if (a.isZero() || b.isZero())
                return r;
            r.m_limbs.assign(a.m_limbs.size() + b.m_limbs.size(), 0);
            for (std::size_t i = 0; i < a.m_limbs.size(); ++i) {
                std::uint64_t carry = 0;
                for (std::size_t j = 0; j < b.m_limbs.size(); ++j) {
                    std::uint64_t cur = std::uint64_t(a.m_limbs[i]) * b.m_limbs[j] + r.m_limbs[i + j] + carry;
                    r.m_limbs[i + j] = static_cast<std::uint32_t>(cur);
                    carry = cur >> 32;
                }
                r.m_limbs[i + b.m_limbs.size()] = static_cast<std::uint32_t>(carry);
            }
            r.trim();
            return r;
        }
        static BigUInt add(const BigUInt& a, const BigUInt& b)
        {
            BigUInt r;
            std::size_t n = std::max(a.m_limbs.size(), b.m_limbs.size());
            r.m_limbs.resize(n + 1, 0);
            std::uint64_t carry = 0;
            for (std::size_t i = 0; i < n; ++i) {
                std::uint64_t cur = carry + a.limb(i) + b.limb(i);
                r.m_limbs[i] = static_cast<std::uint32_t>(cur);
                carry = cur >> 32;
            }
            r.m_limbs[n] = static_cast<std::uint32_t>(carry);
            r.trim();
            return r;
        }
        /// a − b for a ≥ b.
        static BigUInt subtract(const BigUInt& a, const BigUInt& b)
        {
            BigUInt r;
            r.m_limbs.resize(a.m_limbs.size(), 0);
            std::int64_t borrow = 0;
            for (std::size_t i = 0; i < a.m_limbs.size(); ++i) {
                std::int64_t cur = std::int64_t(a.limb(i)) - b.limb(i) - borrow;
                borrow = cur < 0;
                r.m_limbs[i] = static_cast<std::uint32_t>(cur + (borrow ? (std::int64_t(1) << 32) : 0));
            }
            r.trim();
            return r;
        }
        static int compare(const BigUInt& a, const BigUInt& b)
        {
            if (a.m_limbs.size() != b.m_limbs.size())
                return a.m_limbs.size() < b.m_limbs.size() ? -1 : 1;
            for (std::size_t i = a.m_limbs.size(); i-- > 0;)
                if (a.m_limbs[i] != b.m_limbs[i])
                    return a.m_limbs[i] < b.m_limbs[i] ? -1 : 1;
            return 0;
        }
        /// Schoolbook binary long division; returns the quotient, leaves the
        /// remainder in `remainder`.
        static BigUInt divide(const BigUInt& a, const BigUInt& b, BigUInt& remainder)
        {
            BigUInt q, r;
            std::size_t bits = a.m_limbs.size() * 32;
            q.m_limbs.assign(a.m_limbs.size(), 0);
            for (std::size_t i = bits; i-- > 0;) {
                r.shiftLeftOne();
                if ((a.m_limbs[i / 32] >> (i % 32)) & 1u) {
                    if (r.m_limbs.empty())
                        r.m_limbs.push_back(0);
                    r.m_limbs[0] |= 1u;
                }
                if (compare(r, b) >= 0) {
                    r = subtract(r, b);
                    q.m_limbs[i / 32] |= 1u << (i % 32);
                }
            }
            q.trim();
            remainder = r;
            return q;
        }

        int digitCount() const
        {
            BigUInt copy = *this;
            int digits = 0;
            while (!copy.isZero()) {
                copy.divSmall(10);
                ++digits;
            }
            return digits;
        }

    private:
        std::uint32_t limb(std::size_t i) const { return i < m_limbs.size() ? m_limbs[i] : 0; }
        void trim()
        {
            while (!m_limbs.empty() && m_limbs.back() == 0)
                m_limbs.pop_back();
        }
        void shiftLeftOne()
        {
            std::uint32_t carry = 0;
            for (auto& limb : m_limbs) {
                std::uint32_t next = limb >> 31;
                limb = (limb << 1) | carry;
                carry = next;
            }
            if (carry)
                m_limbs.push_back(carry);
        }

        std::vector<std::uint32_t> m_limbs;
    };

    constexpr Decimal::Mantissa pow10(int n)
    {
        Decimal::Mantissa v = 1;
        for (int i = 0; i < n; ++i)
            v *= 10;
        return v;
    }

    const BigUInt& mantissaLimit()
    {
        static const BigUInt limit(pow10(Decimal::maxDigits));
        return limit;
    }

}

/// The one place results are rounded to 38 digits and their exponent checked.
struct DecimalArithmetic {
    /// `magnitude` × 10^exponent, with `sticky` telling whether nonzero digits
    /// were already dropped below it (from a division remainder).
    static Decimal finish(
        bool negative, BigUInt magnitude, int exponent, Decimal::Rounding rounding, bool sticky = false)
    {
        int dropped = -1; // the most significant digit dropped, -1 when none
        auto dropDigit = [&] {
            if (dropped > 0)
                sticky = true;
            dropped = static_cast<int>(magnitude.divSmall(10));
            ++exponent;
        };
        while (BigUInt::compare(magnitude, mantissaLimit()) >= 0)
            dropDigit();
        while (exponent < Decimal::minExponent && !magnitude.isZero())
            dropDigit();
        if (dropped >= 0) {
            bool roundUp = false;
            if (rounding == Decimal::Rounding::HalfAwayFromZero)
                roundUp = dropped >= 5;
            else
                roundUp = dropped > 5 || (dropped == 5 && (sticky || (magnitude.toMantissa() & 1)));
            if (roundUp) {
                magnitude = BigUInt::add(magnitude, BigUInt(1));
                if (BigUInt::compare(magnitude, mantissaLimit()) >= 0) {
                    magnitude.divSmall(10);
                    ++exponent;
                }
            }
        }
        Decimal::Mantissa m = magnitude.toMantissa();
        if (m == 0)
            return Decimal();
        while (m % 10 == 0) {
            m /= 10;
            ++exponent;
        }
        while (exponent > Decimal::maxExponent && m < pow10(Decimal::maxDigits - 1)) {
            m *= 10;
            --exponent;
        }
        if (exponent > Decimal::maxExponent)
            return Decimal::notANumber();
        if (exponent < Decimal::minExponent)
            return Decimal();
        Decimal d;
        d.m_mantissa = m;
        d.m_exponent = static_cast<std::int16_t>(exponent);
        d.m_negative = negative;
        return d;
    }

    enum class Operation { Add, Subtract };

    static Decimal combine(const Decimal& a, Operation operation, const Decimal& b, Decimal::Rounding rounding)
    {
        if (a.m_isNaN || b.m_isNaN)
            return Decimal::notANumber();
        bool bNegative = operation == Operation::Subtract ? !b.m_negative : b.m_negative;
        if (b.isZero())
            return a;
        if (a.isZero()) {
            Decimal r = b;
            r.m_negative = bNegative;
            return r;
        }
        int exponent = std::min<int>(a.m_exponent, b.m_exponent);
        BigUInt ma(a.m_mantissa), mb(b.m_mantissa);
        ma.mulPow10(a.m_exponent - exponent);
        mb.mulPow10(b.m_exponent - exponent);
        if (a.m_negative == bNegative)
            return finish(a.m_negative, BigUInt::add(ma, mb), exponent, rounding);
        int c = BigUInt::compare(ma, mb);
        if (c == 0)
            return Decimal();
        if (c > 0)
            return finish(a.m_negative, BigUInt::subtract(ma, mb), exponent, rounding);
        return finish(bNegative, BigUInt::subtract(mb, ma), exponent, rounding);
    }
};

Decimal::Decimal(long long value)
{
    m_negative = value < 0;
    unsigned long long magnitude = m_negative ? 0ull - static_cast<unsigned long long>(value) : value;
    *this = DecimalArithmetic::finish(m_negative, BigUInt(magnitude), 0, Rounding::HalfEven);
}

Decimal Decimal::fromParts(bool negative, Mantissa mantissa, int exponent)
{
    return DecimalArithmetic::finish(negative, BigUInt(mantissa), exponent, Rounding::HalfEven);
}

Decimal Decimal::notANumber()
{
    Decimal d;
    d.m_isNaN = true;
    return d;
}

Decimal Decimal::fromDouble(double value)
{
    if (!std::isfinite(value))
        return notANumber();
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    return fromString(std::string_view(buffer, result.ptr - buffer)).value_or(notANumber());
}

std::optional<Decimal> Decimal::fromString(std::string_view text)
{
    if (text == "NaN")
        return notANumber();
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    BigUInt magnitude;
    int exponent = 0;
    bool anyDigit = false, seenPoint = false;
    int keptDigits = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            // Digits past what any result can hold only matter for rounding;
            // keep a generous number of them exactly, then stop growing.
            if (keptDigits < 80) {
                keptDigits += keptDigits > 0 || c != '0';
                magnitude.mulSmall(10);
                magnitude = BigUInt::add(magnitude, BigUInt(Mantissa(c - '0')));
                if (seenPoint)
                    --exponent;
            } else if (!seenPoint) {
                ++exponent;
            }
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && text[i] == '+')
            ++i;
        int e = 0;
        auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), e);
        if (ec != std::errc())
            return std::nullopt;
        i = ptr - text.data();
        exponent += std::clamp(e, -10000, 10000);
    }
    if (i != text.size())
        return std::nullopt;
    return DecimalArithmetic::finish(negative, magnitude, exponent, Rounding::HalfEven);
}

double Decimal::toDouble() const
{
    if (m_isNaN)
        return std::nan("");
    // Correctly rounded by the standard library's parser.
    std::string digits;
    Mantissa m = m_mantissa;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m);
    std::reverse(digits.begin(), digits.end());
    std::string text = (m_negative ? "-" : "") + digits + "e" + std::to_string(m_exponent);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string Decimal::toString() const
{
    if (m_isNaN)
        return "NaN";
    std::string digits;
    Mantissa m = m_mantissa;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m);
    std::reverse(digits.begin(), digits.end());
    std::string out = m_negative && m_mantissa ? "-" : "";
    if (m_exponent >= 0)
        return out + digits + std::string(m_exponent, '0');
    int fraction = -m_exponent;
    if (static_cast<int>(digits.size()) <= fraction)
        return out + "0." + std::string(fraction - digits.size(), '0') + digits;
    return out + digits.substr(0, digits.size() - fraction) + "." + digits.substr(digits.size() - fraction);
}

Decimal Decimal::add(const Decimal& other, Rounding rounding) const
{
    return DecimalArithmetic::combine(*this, DecimalArithmetic::Operation::Add, other, rounding);
}

Decimal Decimal::subtract(const Decimal& other, Rounding rounding) const
{
    return DecimalArithmetic::combine(*this, DecimalArithmetic::Operation::Subtract, other, rounding);
}

Decimal Decimal::multiply(const Decimal& other, Rounding rounding) const
{
    if (m_isNaN || other.m_isNaN)
        return notANumber();
    BigUInt product = BigUInt::multiply(BigUInt(m_mantissa), BigUInt(other.m_mantissa));
    return DecimalArithmetic::finish(m_negative != other.m_negative, product, m_exponent + other.m_exponent, rounding);
}

Decimal Decimal::divide(const Decimal& other, Rounding rounding) const
{
    if (m_isNaN || other.m_isNaN || other.isZero())
        return notANumber();
    if (isZero())
        return Decimal();
    BigUInt dividend(m_mantissa), divisor(other.m_mantissa);
    // Scale the dividend so that the quotient carries at least one digit more
    // than fits; the remainder then only decides ties.
    int shift = std::max(0, maxDigits + 2 + divisor.digitCount() - dividend.digitCount());
    dividend.mulPow10(shift);
    BigUInt remainder;
    BigUInt quotient = BigUInt::divide(dividend, divisor, remainder);
    return DecimalArithmetic::finish(
        m_negative != other.m_negative, quotient, m_exponent - other.m_exponent - shift, rounding, !remainder.isZero());
}

Decimal Decimal::negated() const
{
    Decimal d = *this;
    if (!m_isNaN && m_mantissa != 0)
        d.m_negative = !m_negative;
    return d;
}

Decimal Decimal::abs() const
{
    Decimal d = *this;
    d.m_negative = false;
    return d;
}

Decimal Decimal::ceil() const
{
    if (m_isNaN || m_exponent >= 0)
        return *this;
    BigUInt magnitude(m_mantissa);
    BigUInt divisor(Mantissa(1));
    divisor.mulPow10(std::min(-m_exponent, 80));
    BigUInt remainder;
    BigUInt whole = BigUInt::divide(magnitude, divisor, remainder);
    if (!remainder.isZero() && !m_negative)
        whole = BigUInt::add(whole, BigUInt(Mantissa(1)));
    return DecimalArithmetic::finish(m_negative, whole, 0, Rounding::HalfEven);
}

Decimal Decimal::rounded(int fractionDigits, Rounding rounding) const
{
    if (m_isNaN || m_exponent >= -fractionDigits)
        return *this;
    int drop = -fractionDigits - m_exponent;
    BigUInt magnitude(m_mantissa);
    bool sticky = false;
    int last = 0;
    for (int i = 0; i < drop; ++i) {
        if (i > 0 && last)
            sticky = true;
        last = static_cast<int>(magnitude.divSmall(10));
    }
    bool roundUp = rounding == Rounding::HalfAwayFromZero
        ? last >= 5
        : (last > 5 || (last == 5 && (sticky || (magnitude.toMantissa() & 1))));
    if (roundUp)
        magnitude = BigUInt::add(magnitude, BigUInt(Mantissa(1)));
    return DecimalArithmetic::finish(m_negative, magnitude, -fractionDigits, rounding);
}

std::strong_ordering Decimal::compare(const Decimal& other) const
{
    if (m_isNaN || other.m_isNaN) {
        if (m_isNaN && other.m_isNaN)
            return std::strong_ordering::equal;
        return m_isNaN ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    bool negA = m_negative && m_mantissa, negB = other.m_negative && other.m_mantissa;
    if (negA != negB)
        return negA ? std::strong_ordering::less : std::strong_ordering::greater;
    if (isZero() || other.isZero()) {
        if (isZero() && other.isZero())
            return std::strong_ordering::equal;
        bool thisSmaller = isZero() ? !negB : negA;
        return thisSmaller ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    int exponent = std::min<int>(m_exponent, other.m_exponent);
    BigUInt a(m_mantissa), b(other.m_mantissa);
    a.mulPow10(m_exponent - exponent);
    b.mulPow10(other.m_exponent - exponent);
    int c = BigUInt::compare(a, b);
    if (negA)
        c = -c;
    return c < 0 ? std::strong_ordering::less : c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
}

}
