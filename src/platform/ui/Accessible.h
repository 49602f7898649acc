#pragma once

#include "platform/gfx/Geometry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

class Application;
class View;

/// What a view is to assistive technology (a screen reader reads the role
/// before the name). The desktop bridge turns these into its own roles.
enum class AccessibleRole {
    Application,
    Frame,
    Panel,
    PushButton,
    ToggleButton,
    Slider,
    SpinButton,
    ComboBox,
    Label,
    Entry,
    PasswordText,
    List,
    ListItem,
    PageTabList,
    PageTab,
    Alert,
    ToolBar,
    Image,
    ProgressBar,
};

enum AccessibleState : unsigned {
    AccessibleEnabled = 1u << 0,
    AccessibleSensitive = 1u << 1,
    AccessibleFocusable = 1u << 2,
    AccessibleFocused = 1u << 3,
    AccessibleCheckable = 1u << 4,
    AccessibleChecked = 1u << 5,
    AccessibleSelectable = 1u << 6,
    AccessibleSelected = 1u << 7,
    AccessibleShowing = 1u << 8,
    AccessibleVisible = 1u << 9,
    AccessibleModal = 1u << 10,
    AccessibleEditable = 1u << 11,
    AccessibleSingleLine = 1u << 12,
    AccessibleBusy = 1u << 13,
    AccessibleActive = 1u << 14,
};

/// What else a node answers besides its name and place in the tree.
enum AccessibleInterface : unsigned {
    AccessibleHasAction = 1u << 0,
    AccessibleHasText = 1u << 1,
    AccessibleHasEditableText = 1u << 2,
    AccessibleHasValue = 1u << 3,
    AccessibleHasSelection = 1u << 4,
    AccessibleHasImage = 1u << 5,
};

struct AccessibleValue {
    double current { 0 };
    double minimum { 0 };
    double maximum { 1 };
    double step { 0 };
    bool operator==(const AccessibleValue&) const = default;
};

/// Everything a screen reader can read of one node, as plain data.
struct AccessibleInfo {
    AccessibleRole role { AccessibleRole::Panel };
    std::string name;
    std::string description;
    unsigned states { 0 };
    unsigned interfaces { 0 };
    /// The text of the Text interface (a label's, a field's; bullets for a
    /// password).
    std::string text;
    /// The Action interface's one action ("click", "toggle", "activate").
    std::string action;
    std::optional<AccessibleValue> value;
    bool operator==(const AccessibleInfo&) const = default;
};

/// One node of the accessible tree: the application (no view), a view, or
/// a part a view draws itself (a tab of a tab bar: `part` is its index).
struct AccessibleNode {
    View* view { nullptr };
    int part { -1 };
    bool isApplication() const { return view == nullptr; }
    bool operator==(const AccessibleNode&) const = default;
    auto operator<=>(const AccessibleNode&) const = default;
};

/// The role, name, states and interfaces of a node, read from the view's
/// own state (the accessibility label first, else the visible text).
[[nodiscard]] AccessibleInfo accessibleInfo(Application& application, const AccessibleNode& node);
/// The node's children a person can see, in drawing order (overlays such as
/// alerts after the window's content). A button's or a field's own labels
/// are not children: they are its name.
[[nodiscard]] std::vector<AccessibleNode> accessibleChildren(Application& application, const AccessibleNode& node);
[[nodiscard]] std::optional<AccessibleNode> accessibleParent(Application& application, const AccessibleNode& node);
/// The part of the node a person can see, in window coordinates; none when
/// it is hidden, transparent, outside its window or clipped away.
[[nodiscard]] std::optional<Rect> accessibleRect(const AccessibleNode& node);
/// The part of `view` a person can see, in window coordinates.
[[nodiscard]] std::optional<Rect> visibleRectInWindow(const View& view);

/// Does what a tap on the node does: a tap at the centre of its visible part
/// when that reaches it; a control covered by the keyboard still gets its
/// tap's actions. False when nothing can be done (hidden, covered row).
bool performAccessibleAction(Application& application, const AccessibleNode& node);
/// Types `text` into a field as the keyboard would: the field starts
/// editing, its text is deleted key by key, then the new text is typed.
bool setAccessibleText(Application& application, const AccessibleNode& node, const std::string& text);
/// Moves a slider (or whatever adjusts) as a finger would, reporting the change.
bool setAccessibleValue(const AccessibleNode& node, double value);
/// Chooses child `index` of a node with selection (a tab), as a tap does.
bool selectAccessibleChild(Application& application, const AccessibleNode& node, int index);
/// Makes the node the first responder, when it can take focus.
bool focusAccessible(const AccessibleNode& node);

/// A change a screen reader hears about.
struct AccessibleEvent {
    enum class Kind {
        ChildAdded,
        ChildRemoved,
        NameChanged,
        DescriptionChanged,
        TextChanged,
        StateChanged,
        ValueChanged,
        Focus,
        Announcement
    };
    Kind kind;
    AccessibleNode node;
    /// ChildAdded/ChildRemoved: the child and its index (in the new list
    /// when added, in the old one when removed).
    AccessibleNode child {};
    int index { -1 };
    /// StateChanged: the state and whether it is now set.
    AccessibleState state { AccessibleEnabled };
    bool on { false };
    /// TextChanged: before and after; Announcement: what is announced.
    std::string oldText {};
    std::string newText {};
};

/// Remembers the tree as it was told last and, on update(), says what
/// changed since: the bridge emits these as the desktop's events. A node
/// whose view is hidden but still in a window is kept (its states change);
/// nodes whose views died or left their window are listed by released() so
/// their objects can go too.
class AccessibleTracker {
public:
    explicit AccessibleTracker(Application& application);

    [[nodiscard]] std::vector<AccessibleEvent> update();
    /// Whether `node` is in the tree as last seen and its view alive.
    [[nodiscard]] bool isKnown(const AccessibleNode& node) const;
    /// The nodes that left the tree in the last update.
    [[nodiscard]] const std::vector<AccessibleNode>& released() const { return m_released; }

private:
    struct Entry {
        std::weak_ptr<View> view;
        AccessibleInfo info;
        std::vector<AccessibleNode> children;
    };
    void visit(const AccessibleNode& node, std::map<AccessibleNode, Entry>& now);
    void compare(const AccessibleNode& node, const Entry& before, const Entry& after,
        std::vector<AccessibleEvent>& events) const;

    Application& m_application;
    std::map<AccessibleNode, Entry> m_entries;
    std::vector<AccessibleNode> m_released;
    bool m_first { true };
};

}
