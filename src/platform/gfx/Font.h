#pragma once

#include <string>

namespace hestio::platform {

enum class FontWeight { Regular, Bold };
enum class FontSlant { Upright, Italic };

/// How much larger than asked every font is drawn and measured: the
/// desktop's text scaling for people who need larger text (1: as asked).
/// Set once at start-up, before the first screen is laid out.
inline constexpr double minimumTextScale = 0.5;
inline constexpr double maximumTextScale = 3.0;
/// Clamped to the range above; anything not a finite number is 1.
void setTextScale(double scale);
[[nodiscard]] double textScale();

/// A font request. Families are the phone's names ("Helvetica",
/// "Helvetica-Bold", "Helvetica Neue", the system font); fontconfig maps them
/// to installed, metric-compatible faces. Sizes are in points, times the
/// text scale unless the font is fixed.
struct Font {
    std::string family { "Helvetica" };
    double size { 17 };
    FontWeight weight { FontWeight::Regular };
    FontSlant slant { FontSlant::Upright };
    /// Fixed fonts keep their size whatever the text scale: the phone's own
    /// furniture drawn in boxes of fixed size (status bar, tab bar titles,
    /// the on-screen keyboard's keys).
    bool fixed { false };

    /// The size text is drawn and measured at: `size`, times the text scale
    /// unless fixed.
    [[nodiscard]] double scaledSize() const { return fixed ? size : size * textScale(); }
    /// This font at its size whatever the text scale.
    [[nodiscard]] Font fixedSize() const
    {
        Font font = *this;
        font.fixed = true;
        return font;
    }

    [[nodiscard]] static Font systemFont(double size)
    {
        return { "System", size, FontWeight::Regular, FontSlant::Upright };
    }
    [[nodiscard]] static Font boldSystemFont(double size)
    {
        return { "System", size, FontWeight::Bold, FontSlant::Upright };
    }
    [[nodiscard]] static Font italicSystemFont(double size)
    {
        return { "System", size, FontWeight::Regular, FontSlant::Italic };
    }
    /// "Helvetica-Bold" style names are split into family and weight.
    [[nodiscard]] static Font named(const std::string& name, double size);

    bool operator==(const Font&) const = default;
};

/// The installed family `font` is drawn with ("Nimbus Sans" for
/// "Helvetica"); for tests and diagnostics.
[[nodiscard]] std::string resolvedFontFamily(const Font& font);

enum class TextAlignment { Left, Center, Right };
enum class LineBreakMode { WordWrap, CharacterWrap, Clip, TruncateHead, TruncateTail, TruncateMiddle };

/// How a block of text is laid out within a width.
struct TextStyle {
    Font font;
    TextAlignment alignment { TextAlignment::Left };
    LineBreakMode lineBreakMode { LineBreakMode::TruncateTail };
    int numberOfLines { 1 }; ///< 0: as many as needed
};

}
