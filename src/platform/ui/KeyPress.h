#pragma once

#include <optional>
#include <string>

namespace hestio::platform {

/// The keys the app answers outside typing: focus moves, activation, arrows,
/// Escape and the tab shortcuts. Typed text still arrives as text.
enum class KeyCode { Tab, Return, Space, Escape, Left, Right, Up, Down, Digit };

enum KeyModifier : unsigned { KeyModifierNone = 0, KeyModifierShift = 1 << 0, KeyModifierControl = 1 << 1 };

/// One key pressed, with the modifiers held.
struct KeyPress {
    KeyCode code { KeyCode::Tab };
    unsigned modifiers { KeyModifierNone };
    /// The digit of a KeyCode::Digit (0 to 9).
    int digit { 0 };

    [[nodiscard]] bool shift() const { return (modifiers & KeyModifierShift) != 0; }
    [[nodiscard]] bool control() const { return (modifiers & KeyModifierControl) != 0; }
    [[nodiscard]] bool isArrow() const
    {
        return code == KeyCode::Left || code == KeyCode::Right || code == KeyCode::Up || code == KeyCode::Down;
    }
    bool operator==(const KeyPress&) const = default;

    /// "Tab", "Shift+Tab", "Ctrl+3": the names the automation language uses.
    [[nodiscard]] std::string name() const;
    /// The key a name stands for (letter case aside); none for a name it does
    /// not know, or a digit without Ctrl (that is typing).
    [[nodiscard]] static std::optional<KeyPress> named(const std::string& name);
};

}
