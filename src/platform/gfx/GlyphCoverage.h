#pragma once

#include "platform/gfx/Font.h"

#include <string>

namespace hestio::platform {

/// How many characters of `utf8` no installed font has a glyph for (each
/// would be drawn as a box); 0 when every script and emoji in it shows.
[[nodiscard]] int missingGlyphCount(const std::string& utf8, const Font& font);

}
