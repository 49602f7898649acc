#include "charting/AxisLabel.h"

#include "charting/Exception.h"

#include <cmath>
#include <numbers>

namespace hestio::chart {

AxisLabel::AxisLabel(std::string text, std::shared_ptr<const TextStyle> style)
    : m_contentLayer(TextLayer::create(std::move(text), std::move(style)))
{
}

AxisLabel::AxisLabel(std::shared_ptr<TextLayer> contentLayer)
    : m_contentLayer(std::move(contentLayer))
{
}

std::uint32_t AxisLabel::hash() const
{
    double v = std::abs(tickLocation.toDouble());
    if (std::isnan(v))
        return 0;
    return static_cast<std::uint32_t>(std::fmod(v, 4294967295.0));
}

void AxisLabel::positionRelativeToViewPoint(platform::Point point, Coordinate coordinate, Sign direction)
{
    if (!m_contentLayer)
        return;
    if (coordinate != Coordinate::X && coordinate != Coordinate::Y)
        throw InvalidArgumentException("Invalid coordinate in positionRelativeToViewPoint:forCoordinate:inDirection:");
    if (direction != Sign::Negative && direction != Sign::None && direction != Sign::Positive)
        throw InvalidArgumentException("Invalid direction in positionRelativeToViewPoint:forCoordinate:inDirection:");
    m_contentLayer->setRotation(rotation);
    platform::Size size = m_contentLayer->rotatedSize();
    double& moved = coordinate == Coordinate::X ? point.x : point.y;
    moved += direction == Sign::Positive ? offset : -offset;
    if (coordinate == Coordinate::Y) {
        if (alignment == Alignment::Left)
            point.x += size.width / 2;
        else if (alignment == Alignment::Right)
            point.x -= size.width / 2;
    } else {
        if (alignment == Alignment::Top)
            point.y -= size.height / 2;
        else if (alignment == Alignment::Bottom)
            point.y += size.height / 2;
    }
    constexpr double pi = std::numbers::pi;
    double base = direction == Sign::Positive ? (coordinate == Coordinate::X ? pi : 3 * pi / 2)
                                              : (coordinate == Coordinate::X ? 2 * pi : pi / 2);
    double theta = base - rotation;
    double x = std::cos(theta), y = std::sin(theta);
    double ax, ay;
    if (std::abs(x) > std::abs(y)) {
        ax = x < 0 ? -1 : 1;
        ay = y / std::abs(x);
    } else {
        ay = y < 0 ? -1 : 1;
        ax = x / std::abs(y);
    }
    m_contentLayer->place({ (ax + 1) / 2, (ay + 1) / 2 }, point);
}

}
