#include "platform/ui/Theme.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace hestio::platform::theme {

namespace {

    std::string stemOf(const std::string& name)
    {
        for (const char* suffix : { ".png", ".svg" }) {
            std::string s(suffix);
            if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
                return name.substr(0, name.size() - s.size());
        }
        return name;
    }

    std::string findFile(const std::string& stem, const char* extension)
    {
        std::string base = assetsDirectory();
        for (const std::string& dir : { base + "/images/", base + "/" }) {
            std::string path = dir + stem + extension;
            if (std::filesystem::exists(path))
                return path;
        }
        return {};
    }

    std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

}

Color lighter(Color c, double amount)
{
    return { c.red + (1 - c.red) * amount, c.green + (1 - c.green) * amount, c.blue + (1 - c.blue) * amount, c.alpha };
}

Color darker(Color c, double amount)
{
    return { c.red * (1 - amount), c.green * (1 - amount), c.blue * (1 - amount), c.alpha };
}

void fillGloss(Context& context, const Rect& rect, Color tint, double cornerRadius)
{
    ContextStateSaver saver(context);
    context.beginPath();
    if (cornerRadius > 0)
        context.addRoundedRect(rect, cornerRadius);
    else
        context.addRect(rect);
    context.clip();
    Gradient gloss { { { 0, lighter(tint, 0.35) }, { 0.5, lighter(tint, 0.08) }, { 0.5001, tint },
        { 1, darker(tint, 0.08) } } };
    context.drawLinearGradient(gloss, { rect.x(), rect.minY() }, { rect.x(), rect.maxY() });
    context.fillRect({ rect.x(), rect.minY(), rect.width(), 1 }, Color::white(1, 0.35));
}

void fillPinstripes(Context& context, const Rect& rect)
{
    context.fillRect(rect, groupedBackground);
    Color stripe = Color::hex(0xcbd2d8);
    for (double x = std::floor(rect.minX() / 7) * 7 + 4; x < rect.maxX(); x += 7)
        context.fillRect({ x, rect.minY(), 3, rect.height() }, stripe);
}

void drawChevron(Context& context, Point c, Color color, double height, double lineWidth)
{
    ContextStateSaver saver(context);
    double half = height / 2;
    context.beginPath();
    context.moveTo({ c.x - half / 2, c.y - half });
    context.lineTo({ c.x + half / 2, c.y });
    context.lineTo({ c.x - half / 2, c.y + half });
    context.setStrokeColor(color);
    context.setLineWidth(lineWidth);
    context.setLineCap(LineCap::Square);
    context.setLineJoin(LineJoin::Miter);
    context.stroke();
}

void drawBadge(Context& context, Point center, const std::string& text)
{
    Font font = Font::boldSystemFont(13);
    Size size = sizeOfText(text, font);
    double height = 20;
    double width = std::max(height, size.width + 12);
    Rect r { center.x - width / 2, center.y - height / 2, width, height };
    ContextStateSaver saver(context);
    context.beginPath();
    context.addRoundedRect(r.insetBy(-1.5, -1.5), height / 2 + 1.5);
    context.setFillColor(Color::whiteColor());
    context.fill();
    fillRoundedGradient(context, r, height / 2, Color::hex(0xf0524f), Color::hex(0xc4100e));
    context.drawText(text, { center.x - size.width / 2, center.y - size.height / 2 }, font, Color::whiteColor());
}

void fillRoundedGradient(Context& context, const Rect& rect, double radius, Color top, Color bottom)
{
    context.beginPath();
    context.addRoundedRect(rect, radius);
    context.fillPathWithLinearGradient(
        Gradient::between(top, bottom), { rect.x(), rect.minY() }, { rect.x(), rect.maxY() });
}

void drawFocusRing(Context& context, const Rect& rect)
{
    ContextStateSaver saver(context);
    context.beginPath();
    context.addRoundedRect(rect.insetBy(-1.5, -1.5), 6);
    context.setStrokeColor(focusRing.withAlpha(0.9));
    context.setLineWidth(3);
    context.stroke();
    context.beginPath();
    context.addRoundedRect(rect.insetBy(0.5, 0.5), 4.5);
    context.setStrokeColor(Color::white(1, 0.8));
    context.setLineWidth(1);
    context.stroke();
}

std::shared_ptr<const Image> imageNamed(const std::string& name)
{
    static std::map<std::string, std::shared_ptr<const Image>> cache;
    if (auto it = cache.find(name); it != cache.end())
        return it->second;
    auto image = Image::named(name);
    if (image)
        cache[name] = image;
    return image;
}

std::shared_ptr<const Image> tintedImageNamed(const std::string& name, Color color)
{
    static std::map<std::string, std::shared_ptr<const Image>> cache;
    std::string stem = stemOf(name);
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", static_cast<int>(std::lround(color.red * 255)),
        static_cast<int>(std::lround(color.green * 255)), static_cast<int>(std::lround(color.blue * 255)));
    std::string key = stem + hex;
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    auto path = findFile(stem, ".svg");
    if (path.empty())
        return imageNamed(name);
    std::string svg = readFile(path);
    for (std::size_t at = svg.find("currentColor"); at != std::string::npos; at = svg.find("currentColor", at))
        svg.replace(at, 12, hex);
    auto image = Image::fromSvgAsset(svg);
    if (image)
        cache[key] = image;
    return image;
}

}
