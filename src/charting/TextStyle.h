#pragma once

#include "charting/Color.h"
#include "platform/gfx/Font.h"

#include <memory>
#include <string>

namespace hestio::chart {

/// How label and title text looks. Shared as std::shared_ptr<const TextStyle>.
class TextStyle {
public:
    TextStyle() = default;
    [[nodiscard]] static std::shared_ptr<const TextStyle> textStyle() { return std::make_shared<TextStyle>(); }

    const std::string& fontName() const { return m_fontName; }
    double fontSize() const { return m_fontSize; }
    Color color() const { return m_color; }
    platform::TextAlignment textAlignment() const { return m_textAlignment; }
    platform::Font font() const { return platform::Font::named(m_fontName, m_fontSize); }

    bool operator==(const TextStyle&) const = default;

protected:
    std::string m_fontName { "Helvetica" };
    double m_fontSize { 12.0 };
    Color m_color { Color::blackColor() };
    platform::TextAlignment m_textAlignment { platform::TextAlignment::Left };
};

class MutableTextStyle : public TextStyle {
public:
    MutableTextStyle() = default;
    explicit MutableTextStyle(const TextStyle& other)
        : TextStyle(other)
    {
    }
    void setFontName(std::string name) { m_fontName = std::move(name); }
    void setFontSize(double size) { m_fontSize = size; }
    void setColor(Color color) { m_color = color; }
    void setTextAlignment(platform::TextAlignment alignment) { m_textAlignment = alignment; }
};

}
