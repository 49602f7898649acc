#include "charting/TextLayer.h"

#include <cmath>

namespace hestio::chart {

TextLayer::TextLayer(std::string text, std::shared_ptr<const TextStyle> style)
    : m_text(std::move(text))
{
    setTextStyle(style ? std::move(style) : TextStyle::textStyle());
}

void TextLayer::setTextStyle(std::shared_ptr<const TextStyle> style)
{
    if (!style)
        return;
    m_textStyle = std::move(style);
    m_line = m_text.empty() ? nullptr : platform::TextLine::shared(m_text, m_textStyle->font());
    m_textSize = m_line ? m_line->size() : platform::Size {};
    updateFrame();
}

void TextLayer::setRotation(double radians)
{
    m_rotation = radians;
    updateFrame();
}

void TextLayer::place(platform::Point anchorPoint, platform::Point position)
{
    m_anchorPoint = anchorPoint;
    m_position = position;
    updateFrame();
}

platform::Size TextLayer::rotatedSize() const
{
    double c = std::abs(std::cos(m_rotation)), s = std::abs(std::sin(m_rotation));
    return { m_textSize.width * c + m_textSize.height * s, m_textSize.width * s + m_textSize.height * c };
}

void TextLayer::updateFrame()
{
    // The anchor is a point of the unrotated text; find where the rotation
    // about the centre puts it inside the rotated bounding box.
    platform::Size size = rotatedSize();
    double vx = (m_anchorPoint.x - 0.5) * m_textSize.width, vy = (m_anchorPoint.y - 0.5) * m_textSize.height;
    double c = std::cos(m_rotation), s = std::sin(m_rotation);
    double x = m_position.x - (size.width / 2 + vx * c - vy * s);
    double y = m_position.y - (size.height / 2 + vx * s + vy * c);
    double scale = contentsScale() > 0 ? contentsScale() : 1;
    x = std::round(x * scale) / scale;
    y = std::round(y * scale) / scale;
    setFrame({ x, y, size.width, size.height });
}

void TextLayer::renderAsVectorInContext(platform::Context& context)
{
    if (!m_line)
        return;
    platform::Size size = rotatedSize();
    // Rotate about the centre of the frame, then draw the text in a y-down
    // space of its own so it comes out upright.
    context.translate(size.width / 2, size.height / 2);
    context.rotate(m_rotation);
    context.translate(-m_textSize.width / 2, m_textSize.height / 2);
    context.scaleBy(1, -1);
    context.drawText(*m_line, platform::Point { 0, 0 }, m_textStyle->color().toPlatform());
}

}
