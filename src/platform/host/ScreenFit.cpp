#include "platform/host/ScreenFit.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

ScreenFit::ScreenFit(Size points, Size window)
    : m_points(points)
{
    if (!(points.width > 0 && points.height > 0) || !(window.width > 0 && window.height > 0)) {
        m_scale = 1;
        m_viewport = { 0, 0, std::max(0.0, window.width), std::max(0.0, window.height) };
        return;
    }
    double scale = std::min(window.width / points.width, window.height / points.height);
    double width = std::min(window.width, std::round(points.width * scale));
    double height = std::min(window.height, std::round(points.height * scale));
    m_scale = width / points.width;
    m_viewport = { std::floor((window.width - width) / 2), std::floor((window.height - height) / 2), width, height };
}

Point ScreenFit::pointAt(Point inWindow) const
{
    if (m_viewport.isEmpty())
        return inWindow;
    return { (inWindow.x - m_viewport.x()) * m_points.width / m_viewport.width(),
        (inWindow.y - m_viewport.y()) * m_points.height / m_viewport.height() };
}

double ScreenFit::fitScale(Size points, Size usable)
{
    if (!(points.width > 0 && points.height > 0))
        return 1;
    double room = std::min((usable.width - frameWidth) / points.width, (usable.height - frameHeight) / points.height);
    if (!std::isfinite(room))
        return 1;
    double stepped = std::floor(room * 4 + 1e-9) / 4;
    if (stepped >= 0.5)
        return stepped;
    return std::max(room, smallestScale);
}

Point ScreenFit::placement(Size size, Rect usable)
{
    double x = usable.x() + std::max(0.0, std::floor((usable.width() - size.width) / 2));
    // Most of the frame's room goes above, where the title bar is; what is
    // left over is shared evenly.
    double free = usable.height() - size.height;
    double top = std::clamp(free, 0.0, titleBarHeight);
    double y = usable.y() + top + std::max(0.0, std::floor((free - frameHeight) / 2));
    return { x, y };
}

bool ScreenFit::fits(Size size, Size points, Size usable)
{
    double smallest = smallestScale - 1e-9;
    return size.width + frameWidth <= usable.width && size.height + frameHeight <= usable.height
        && size.width >= points.width * smallest && size.height >= points.height * smallest;
}

}
