#include "platform/gfx/Font.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace hestio::platform {

namespace {
    double s_textScale = 1;
}

void setTextScale(double scale)
{
    s_textScale = std::isfinite(scale) ? std::clamp(scale, minimumTextScale, maximumTextScale) : 1.0;
}

double textScale()
{
    return s_textScale;
}

Font Font::named(const std::string& name, double size)
{
    Font font { name, size, FontWeight::Regular, FontSlant::Upright };
    auto dash = name.rfind('-');
    if (dash != std::string::npos) {
        struct Style {
            std::string_view suffix;
            FontWeight weight;
            FontSlant slant;
        };
        static constexpr std::array styles {
            Style { "Bold", FontWeight::Bold, FontSlant::Upright },
            Style { "Medium", FontWeight::Regular, FontSlant::Upright },
            Style { "Light", FontWeight::Regular, FontSlant::Upright },
            Style { "Roman", FontWeight::Regular, FontSlant::Upright },
            Style { "Regular", FontWeight::Regular, FontSlant::Upright },
            Style { "Italic", FontWeight::Regular, FontSlant::Italic },
            Style { "Oblique", FontWeight::Regular, FontSlant::Italic },
            Style { "BoldItalic", FontWeight::Bold, FontSlant::Italic },
            Style { "BoldOblique", FontWeight::Bold, FontSlant::Italic },
        };
        std::string_view suffix = std::string_view(name).substr(dash + 1);
        for (const auto& style : styles) {
            if (suffix == style.suffix) {
                font.family = name.substr(0, dash);
                font.weight = style.weight;
                font.slant = style.slant;
                break;
            }
        }
    }
    // PostScript-style names run the words together.
    if (font.family == "HelveticaNeue")
        font.family = "Helvetica Neue";
    return font;
}

}
