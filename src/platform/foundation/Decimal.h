#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// An exact decimal number: a sign, an unsigned mantissa of at most 38
/// significant digits and a power-of-ten exponent, or not-a-number.
/// Decimal fractions (0.1, 0.25, 21600) are held exactly; results with more
/// digits than fit are rounded to 38 digits.
///
/// Not-a-number propagates through arithmetic. For ordering it sorts below
/// every number and equals itself, so that ranges and sets of decimals stay
/// well-behaved.
class Decimal {
public:
    using Mantissa = unsigned __int128;
    static constexpr int maxDigits = 38;
    static constexpr int minExponent = -128;
    static constexpr int maxExponent = 127;

    enum class Rounding {
        HalfEven, ///< ties go to the even last digit (banker's rounding)
        HalfAwayFromZero, ///< ties go away from zero
    };

    constexpr Decimal() = default;
    /// Whole numbers convert implicitly: `Decimal(21600)`.
    Decimal(long long value);
    Decimal(int value)
        : Decimal(static_cast<long long>(value))
    {
    }
    /// mantissa × 10^exponent, rounded half to even when the mantissa has more
    /// than 38 digits; an exponent out of range gives not-a-number (too large)
    /// or zero (too small).
    [[nodiscard]] static Decimal fromParts(bool negative, Mantissa mantissa, int exponent);
    [[nodiscard]] static Decimal notANumber();
    /// The shortest decimal that converts back to the same double; a NaN or
    /// infinite double gives not-a-number.
    [[nodiscard]] static Decimal fromDouble(double value);
    /// Plain or scientific notation ("-12.5", "1e-3", ".5"); "NaN" gives
    /// not-a-number. None for anything else.
    [[nodiscard]] static std::optional<Decimal> fromString(std::string_view text);

    [[nodiscard]] bool isNaN() const { return m_isNaN; }
    [[nodiscard]] bool isZero() const { return !m_isNaN && m_mantissa == 0; }
    [[nodiscard]] bool isNegative() const { return m_negative; }
    [[nodiscard]] Mantissa mantissa() const { return m_mantissa; }
    [[nodiscard]] int exponent() const { return m_exponent; }

    /// The nearest double.
    [[nodiscard]] double toDouble() const;
    /// Plain notation without exponent or trailing zeros ("0.25", "-3",
    /// "86400"); "NaN" for not-a-number.
    [[nodiscard]] std::string toString() const;

    [[nodiscard]] Decimal add(const Decimal& other, Rounding rounding = Rounding::HalfEven) const;
    [[nodiscard]] Decimal subtract(const Decimal& other, Rounding rounding = Rounding::HalfEven) const;
    [[nodiscard]] Decimal multiply(const Decimal& other, Rounding rounding = Rounding::HalfEven) const;
    /// Division by zero gives not-a-number.
    [[nodiscard]] Decimal divide(const Decimal& other, Rounding rounding = Rounding::HalfEven) const;
    [[nodiscard]] Decimal negated() const;
    [[nodiscard]] Decimal abs() const;
    /// The smallest whole number not below this one.
    [[nodiscard]] Decimal ceil() const;
    /// Rounded to `fractionDigits` digits after the point.
    [[nodiscard]] Decimal rounded(int fractionDigits, Rounding rounding = Rounding::HalfEven) const;

    Decimal operator+(const Decimal& o) const { return add(o); }
    Decimal operator-(const Decimal& o) const { return subtract(o); }
    Decimal operator*(const Decimal& o) const { return multiply(o); }
    Decimal operator/(const Decimal& o) const { return divide(o); }
    Decimal operator-() const { return negated(); }
    Decimal& operator+=(const Decimal& o) { return *this = add(o); }
    Decimal& operator-=(const Decimal& o) { return *this = subtract(o); }

    /// By value, whatever the representation (2.50 equals 2.5).
    [[nodiscard]] std::strong_ordering compare(const Decimal& other) const;
    std::strong_ordering operator<=>(const Decimal& other) const { return compare(other); }
    bool operator==(const Decimal& other) const { return compare(other) == 0; }

private:
    Mantissa m_mantissa { 0 };
    std::int16_t m_exponent { 0 };
    bool m_negative { false };
    bool m_isNaN { false };

    friend struct DecimalArithmetic;
};

}
