#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/KeyPress.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hestio::platform {

/// What an automation step does. One line of a script is one step.
enum class StepKind {
    Tap,
    DoubleTap,
    LongPress,
    Type,
    Return,
    Backspace,
    Key,
    Swipe,
    Drag,
    PullToRefresh,
    Pinch,
    Wait,
    WaitFor,
    WaitForNot,
    WaitForAlert,
    WaitForLog,
    WaitForIdle,
    WaitForStill,
    Expect,
    ExpectNot,
    ExpectFocus,
    ExpectTextFits,
    ExpectAlert,
    ExpectLog,
    Screenshot,
    Location,
    Background,
    Foreground,
    Push,
};

/// Where a touch lands: on the view showing a text, on the view carrying an
/// accessibility identifier, or at a point of the window (in points).
struct StepTarget {
    enum class Kind { None, Text, Identifier, Point };
    Kind kind { Kind::None };
    std::string name; ///< the text or the identifier
    Point point;

    [[nodiscard]] bool isNone() const { return kind == Kind::None; }
    /// As a script would write it: "Text", #id or X Y.
    [[nodiscard]] std::string describe() const;
};

enum class SwipeDirection { Left, Right, Up, Down };

/// One parsed step. Only the fields its kind uses are set.
struct Step {
    StepKind kind { StepKind::Wait };
    int line { 0 };
    std::string source; ///< the line as written, trimmed, for messages
    StepTarget target;
    std::string text; ///< typed text, expected text or log line, alert title, file name, payload
    SwipeDirection direction { SwipeDirection::Left };
    Point from; ///< drag start
    Point to; ///< drag end; pinch centre
    double seconds { 0 }; ///< wait, drag duration, the timeout of the wait-for steps
    double scale { 1 }; ///< pinch
    double latitude { 0 };
    double longitude { 0 };
    KeyPress key; ///< the key of a key step
};

struct ScriptError {
    int line { 0 };
    std::string message;
    /// "line 3: …"
    [[nodiscard]] std::string describe() const;
};

/// A parsed script, or the first error in it. Parsing never throws, whatever
/// bytes it is given.
struct Script {
    std::vector<Step> steps;
    std::optional<ScriptError> error;

    [[nodiscard]] static Script parse(std::string_view text);
};

/// The step keyword of a kind ("double-tap").
[[nodiscard]] const char* stepKeyword(StepKind kind);

/// Default durations of synthesised gestures, in seconds.
inline constexpr double defaultDragSeconds = 0.5;
inline constexpr double defaultWaitForTimeout = 5.0;

}
