#pragma once

#include <string>

namespace hestio::platform {

enum class FontWeight { Regular, Bold };
enum class FontSlant { Upright, Italic };

/// A font request. Families are the phone's names ("Helvetica",
/// "Helvetica-Bold", "Helvetica Neue", the system font); fontconfig maps them
/// to installed, metric-compatible faces. Sizes are in points.
struct Font {
    std::string family { "Helvetica" };
    double size { 17 };
    FontWeight weight { FontWeight::Regular };
    FontSlant slant { FontSlant::Upright };

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
