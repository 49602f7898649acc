#pragma once

#include <string>
#include <string_view>

namespace hestio {

enum class FormatCharacters { Keep, Drop };

/// A name that came from the service (a device's, a place's) made fit to be
/// shown on one line and to be written to the log. Control characters (C0 and
/// C1, line breaks and tabs among them) and the line and paragraph separators
/// become spaces; bidirectional embeddings, overrides, isolates and marks are
/// dropped, so a name cannot turn the text around it; bytes that are not
/// UTF-8 become U+FFFD. With `FormatCharacters::Drop` every other format
/// character (zero-width space and joiners, soft hyphen, byte-order mark)
/// goes too, as for file names. Everything else is kept as it is.
[[nodiscard]] std::string safeName(std::string_view name, FormatCharacters format = FormatCharacters::Keep);

/// `safeName`, or "Unnamed" when nothing is left to show.
[[nodiscard]] std::string shownName(std::string_view name);

}
