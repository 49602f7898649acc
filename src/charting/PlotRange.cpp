#include "charting/PlotRange.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

namespace {

    bool withinLargest(double value)
    {
        return std::abs(value) <= PlotRange::largestMagnitude;
    }

    double clampToLargest(double value)
    {
        return std::clamp(value, -PlotRange::largestMagnitude, PlotRange::largestMagnitude);
    }

}

PlotRange::PlotRange(Decimal location, Decimal length)
{
    setLocationValue(location);
    setLengthValue(length);
}

PlotRange PlotRange::fromDoubles(double location, double length)
{
    if (std::isnan(location) || std::isnan(length))
        return PlotRange(Decimal::fromDouble(location), Decimal::fromDouble(length));
    const double end = location + length;
    if (withinLargest(location) && withinLargest(end))
        return PlotRange(Decimal::fromDouble(location), Decimal::fromDouble(length));
    // An infinite location and a length running back over it have no end:
    // the range reaches as far as the length points.
    return spanningDoubles(location, std::isnan(end) ? length : end);
}

PlotRange PlotRange::spanningDoubles(double from, double to)
{
    if (std::isnan(from) || std::isnan(to))
        return PlotRange(Decimal::fromDouble(from), Decimal::fromDouble(to) - Decimal::fromDouble(from));
    const Decimal location = Decimal::fromDouble(clampToLargest(from));
    return PlotRange(location, Decimal::fromDouble(clampToLargest(to)) - location);
}

void PlotRange::setLocationValue(const Decimal& location)
{
    if (location == m_location)
        return;
    m_location = location;
    m_locationDouble = location.toDouble();
}

void PlotRange::setLengthValue(const Decimal& length)
{
    if (length == m_length)
        return;
    m_length = length;
    m_lengthDouble = length.toDouble();
}

Decimal PlotRange::minLimit() const
{
    return m_length >= Decimal(0) ? m_location : m_location + m_length;
}

double PlotRange::minLimitDouble() const
{
    // A NaN length is not negative: the location is the limit.
    return m_lengthDouble < 0 ? m_locationDouble + m_lengthDouble : m_locationDouble;
}

Decimal PlotRange::maxLimit() const
{
    return m_length > Decimal(0) ? m_location + m_length : m_location;
}

double PlotRange::maxLimitDouble() const
{
    return m_lengthDouble > 0 ? m_locationDouble + m_lengthDouble : m_locationDouble;
}

bool PlotRange::contains(const Decimal& value) const
{
    return minLimit() <= value && value <= maxLimit();
}

bool PlotRange::containsDouble(double value) const
{
    return minLimitDouble() <= value && value <= maxLimitDouble();
}

bool PlotRange::isEqualToRange(const PlotRange& other) const
{
    return m_location == other.m_location && m_length == other.m_length;
}

RangeComparison PlotRange::compareToDecimal(const Decimal& value) const
{
    if (contains(value))
        return RangeComparison::Inside;
    return value < minLimit() ? RangeComparison::Below : RangeComparison::Above;
}

RangeComparison PlotRange::compareToDouble(double value) const
{
    if (minLimitDouble() > value)
        return RangeComparison::Below;
    if (maxLimitDouble() < value)
        return RangeComparison::Above;
    return RangeComparison::Inside;
}

std::string PlotRange::description() const
{
    return "<PlotRange {" + m_location.toString() + ", " + m_length.toString() + "}>";
}

void MutablePlotRange::unionPlotRange(const std::optional<PlotRange>& other)
{
    if (!other)
        return;
    Decimal lo = std::min(minLimit(), other->minLimit());
    Decimal hi = std::max(maxLimit(), other->maxLimit());
    if (length() >= Decimal(0)) {
        setLocation(lo);
        setLength(hi - lo);
    } else {
        setLocation(hi);
        setLength(lo - hi);
    }
}

void MutablePlotRange::intersectionPlotRange(const std::optional<PlotRange>& other)
{
    if (!other)
        return;
    Decimal lo = std::max(minLimit(), other->minLimit());
    Decimal hi = std::min(maxLimit(), other->maxLimit());
    if (hi >= lo) {
        if (length() >= Decimal(0)) {
            setLocation(lo);
            setLength(hi - lo);
        } else {
            setLocation(hi);
            setLength(lo - hi);
        }
    } else {
        setLength(Decimal(0));
    }
}

void MutablePlotRange::expandRangeByFactor(const Decimal& factor)
{
    Decimal newLength = length() * factor;
    setLocation(location() + (length() - newLength) / Decimal(2));
    setLength(newLength);
}

void MutablePlotRange::shiftLocationToFitInRange(const PlotRange& other)
{
    switch (other.compareToDecimal(location())) {
    case RangeComparison::Above:
        setLocation(other.maxLimit());
        break;
    case RangeComparison::Below:
        setLocation(other.minLimit());
        break;
    case RangeComparison::Inside:
        break;
    }
}

void MutablePlotRange::shiftEndToFitInRange(const PlotRange& other)
{
    switch (other.compareToDecimal(end())) {
    case RangeComparison::Above:
        setLocation(other.maxLimit() - length());
        break;
    case RangeComparison::Below:
        setLocation(other.minLimit() - length());
        break;
    case RangeComparison::Inside:
        break;
    }
}

}
