#include "platform/ui/KeyPress.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace hestio::platform {

namespace {

    struct KeyName {
        const char* name;
        KeyCode code;
    };

    constexpr std::array keyNames {
        KeyName { "Tab", KeyCode::Tab },
        KeyName { "Return", KeyCode::Return },
        KeyName { "Space", KeyCode::Space },
        KeyName { "Escape", KeyCode::Escape },
        KeyName { "Left", KeyCode::Left },
        KeyName { "Right", KeyCode::Right },
        KeyName { "Up", KeyCode::Up },
        KeyName { "Down", KeyCode::Down },
    };

    std::string lowered(std::string text)
    {
        std::transform(
            text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

}

std::string KeyPress::name() const
{
    std::string out;
    if (control())
        out += "Ctrl+";
    if (shift())
        out += "Shift+";
    if (code == KeyCode::Digit)
        return out + std::to_string(digit);
    for (const auto& key : keyNames)
        if (key.code == code)
            return out + key.name;
    return out + "?";
}

std::optional<KeyPress> KeyPress::named(const std::string& name)
{
    KeyPress key;
    std::string rest = lowered(name);
    while (true) {
        if (rest.rfind("shift+", 0) == 0 && !key.shift()) {
            key.modifiers |= KeyModifierShift;
            rest.erase(0, 6);
        } else if (rest.rfind("ctrl+", 0) == 0 && !key.control()) {
            key.modifiers |= KeyModifierControl;
            rest.erase(0, 5);
        } else {
            break;
        }
    }
    if (rest.size() == 1 && std::isdigit(static_cast<unsigned char>(rest[0]))) {
        if (!key.control())
            return std::nullopt;
        key.code = KeyCode::Digit;
        key.digit = rest[0] - '0';
        return key;
    }
    for (const auto& known : keyNames) {
        if (rest == lowered(known.name)) {
            key.code = known.code;
            return key;
        }
    }
    return std::nullopt;
}

}
