#pragma once

#include "platform/gfx/Font.h"
#include "platform/gfx/Geometry.h"

#include <memory>
#include <string>

namespace hestio::platform {

/// One unwrapped line of text in one font, laid out once and drawn many
/// times (Context::drawText). It is laid out again when what decides its
/// shapes changes: the font as it resolves (its size and any text scaling
/// included), or the drawing's scale or rotation. It draws exactly what
/// drawing the text anew draws.
class TextLine {
public:
    TextLine(std::string text, Font font);
    ~TextLine();
    TextLine(const TextLine&) = delete;
    TextLine& operator=(const TextLine&) = delete;

    /// A line shared with other users of the same text in the same font,
    /// from a small set of lines drawn lately (so a label made again for the
    /// same text is not laid out again).
    [[nodiscard]] static std::shared_ptr<TextLine> shared(const std::string& text, const Font& font);

    [[nodiscard]] const std::string& text() const { return m_text; }
    [[nodiscard]] const Font& font() const { return m_font; }
    /// Its size, as sizeOfText() measures it.
    [[nodiscard]] Size size() const;

    /// How many times this line has been laid out for drawing (for tests).
    [[nodiscard]] int layoutCount() const { return m_layoutCount; }

private:
    friend class Context;
    struct Laid;
    std::string m_text;
    Font m_font;
    std::unique_ptr<Laid> m_laid;
    int m_layoutCount { 0 };
};

}
