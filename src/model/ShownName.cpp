#include "model/ShownName.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace hestio {

namespace {

    bool isBidirectionalControl(UChar32 c)
    {
        return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E)
            || (c >= 0x2066 && c <= 0x2069);
    }

    bool breaksTheLine(UChar32 c)
    {
        return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
    }

}

std::string safeName(std::string_view name, FormatCharacters format)
{
    std::string safe;
    safe.reserve(name.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    auto length = static_cast<int32_t>(name.size());
    for (int32_t i = 0; i < length;) {
        int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            safe += "\xEF\xBF\xBD";
            continue;
        }
        if (breaksTheLine(c)) {
            safe += ' ';
            continue;
        }
        if (isBidirectionalControl(c) || (format == FormatCharacters::Drop && u_charType(c) == U_FORMAT_CHAR))
            continue;
        safe.append(name.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
    return safe;
}

std::string shownName(std::string_view name)
{
    std::string safe = safeName(name);
    return safe.find_first_not_of(' ') == std::string::npos ? "Unnamed" : safe;
}

}
