#include "platform/ui/LargerText.h"

#include "platform/gfx/Context.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

double heightForText(double height)
{
    double scale = textScale();
    return scale == 1 ? height : std::ceil(height * scale);
}

double widthForText(const std::string& text, const Font& font, double width)
{
    return std::max(width, std::ceil(sizeOfText(text, font).width));
}

ButtonTitleLayout layOutButtonTitle(const std::string& title, const Font& font, Size room)
{
    Size line = sizeOfText(title, font);
    if (line.width <= room.width + 0.5 || room.width <= 0)
        return { 1, line };
    TextStyle wrapped { font, TextAlignment::Center, LineBreakMode::WordWrap, 0 };
    auto metrics = measureText(title, wrapped, room.width);
    // Wrapped only where every line shows: else one line, cut as before.
    if (metrics.lineCount < 2 || metrics.size.height > room.height + 2.5)
        return { 1, line };
    return { 0, metrics.size };
}

double buttonHeightForTitle(const std::string& title, const Font& font, double width, double height, double padding)
{
    double grown = heightForText(height);
    Size line = sizeOfText(title, font);
    if (title.empty() || line.width <= width - 2 * padding + 0.5)
        return grown;
    TextStyle wrapped { font, TextAlignment::Center, LineBreakMode::WordWrap, 0 };
    auto metrics = measureText(title, wrapped, std::max(1.0, width - 2 * padding));
    // One line's padding above and below the lines.
    double around = std::max(0.0, grown - line.height);
    return std::max(grown, std::ceil(metrics.size.height + around));
}

}
