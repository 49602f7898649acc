#pragma once

#include "platform/foundation/Decimal.h"

#include <optional>
#include <string>

namespace hestio::chart {

using platform::Decimal;

/// The data coordinates.
enum class Coordinate { X = 0, Y = 1 };

/// Where a value lies against a range.
enum class RangeComparison { Below = 0, Inside = 1, Above = 2 };

/// A location and a signed length, held as exact decimals with double
/// mirrors for drawing. A negative length runs from the location downward.
/// Immutable to its users; MutablePlotRange adds the setters.
class PlotRange {
public:
    /// The farthest from zero a range made from doubles reaches. Decimals
    /// hold nothing past about 1e165, and a range from -largestMagnitude to
    /// +largestMagnitude still needs a length they hold.
    static constexpr double largestMagnitude = 1e164;

    PlotRange() = default; ///< (0, 0)
    PlotRange(Decimal location, Decimal length);
    /// The range from `location` over `length`, held exactly as decimals
    /// when it lies within ±largestMagnitude. A range reaching further (a
    /// value past the decimals, or an infinite one) is cut back to that,
    /// rather than becoming not-a-number; a NaN stays not-a-number.
    [[nodiscard]] static PlotRange fromDoubles(double location, double length);
    /// The range from `from` to `to` (downward when `to` is below), cut
    /// back to ±largestMagnitude the same way.
    [[nodiscard]] static PlotRange spanningDoubles(double from, double to);

    const Decimal& location() const { return m_location; }
    const Decimal& length() const { return m_length; }
    double locationDouble() const { return m_locationDouble; }
    double lengthDouble() const { return m_lengthDouble; }

    [[nodiscard]] Decimal end() const { return m_location + m_length; }
    [[nodiscard]] double endDouble() const { return m_locationDouble + m_lengthDouble; }
    [[nodiscard]] Decimal minLimit() const;
    [[nodiscard]] double minLimitDouble() const;
    [[nodiscard]] Decimal maxLimit() const;
    [[nodiscard]] double maxLimitDouble() const;
    [[nodiscard]] Decimal midPoint() const { return m_location + m_length / Decimal(2); }
    [[nodiscard]] double midPointDouble() const { return m_locationDouble + 0.5 * m_lengthDouble; }

    [[nodiscard]] bool contains(const Decimal& value) const;
    /// False for NaN.
    [[nodiscard]] bool containsDouble(double value) const;
    [[nodiscard]] bool isEqualToRange(const PlotRange& other) const;
    [[nodiscard]] RangeComparison compareToDecimal(const Decimal& value) const;
    [[nodiscard]] RangeComparison compareToDouble(double value) const;

    /// "<PlotRange {location, length}>".
    [[nodiscard]] std::string description() const;

    bool operator==(const PlotRange& other) const { return isEqualToRange(other); }

protected:
    void setLocationValue(const Decimal& location);
    void setLengthValue(const Decimal& length);

private:
    Decimal m_location;
    Decimal m_length;
    double m_locationDouble { 0 };
    double m_lengthDouble { 0 };
};

/// A plot range whose location and length can be set. Setting a value equal
/// to the current one changes nothing.
class MutablePlotRange : public PlotRange {
public:
    MutablePlotRange() = default;
    MutablePlotRange(Decimal location, Decimal length)
        : PlotRange(std::move(location), std::move(length))
    {
    }
    explicit MutablePlotRange(const PlotRange& range)
        : PlotRange(range)
    {
    }

    void setLocation(const Decimal& location) { setLocationValue(location); }
    void setLength(const Decimal& length) { setLengthValue(length); }

    /// Grows to cover `other` too, keeping this range's direction.
    void unionPlotRange(const std::optional<PlotRange>& other);
    /// Shrinks to the overlap; without one only the length becomes 0.
    void intersectionPlotRange(const std::optional<PlotRange>& other);
    /// Scales the length by `factor` about the mid-point.
    void expandRangeByFactor(const Decimal& factor);
    /// Moves the location into `other` when it lies outside.
    void shiftLocationToFitInRange(const PlotRange& other);
    /// Moves the range so that its end lies inside `other`.
    void shiftEndToFitInRange(const PlotRange& other);
};

}
