#include "platform/ui/Accessible.h"

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    constexpr unsigned shownAndVisible = AccessibleShowing | AccessibleVisible;
    constexpr unsigned usableStates = AccessibleEnabled | AccessibleSensitive;

    /// Views whose subviews only draw what the view itself says (a button's
    /// title label, a field's text): they are leaves of the tree.
    bool isLeaf(const View& view)
    {
        return dynamic_cast<const Control*>(&view) || dynamic_cast<const Label*>(&view)
            || dynamic_cast<const TextView*>(&view) || dynamic_cast<const ImageView*>(&view)
            || dynamic_cast<const ActivityIndicatorView*>(&view) || dynamic_cast<const PickerView*>(&view)
            || dynamic_cast<const TabBar*>(&view);
    }

    /// The non-empty label texts inside `view`, in drawing order, not
    /// those of controls (a button's title is its own name).
    void collectLabelTexts(const View& view, std::vector<std::string>& out)
    {
        for (const auto& sub : view.subviews()) {
            if (sub->isHidden() || sub->alpha() <= 0.01 || dynamic_cast<const Control*>(sub.get()))
                continue;
            if (auto* label = dynamic_cast<const Label*>(sub.get())) {
                if (!label->text().empty())
                    out.push_back(label->text());
                continue;
            }
            collectLabelTexts(*sub, out);
        }
    }

    /// The first of them: the name of a row that has no label of its own.
    std::string firstLabelText(const View& view)
    {
        std::vector<std::string> texts;
        collectLabelTexts(view, texts);
        return texts.empty() ? std::string {} : texts.front();
    }

    /// The controls shown inside `view`, in drawing order.
    std::vector<const Control*> controlsIn(const View& view)
    {
        std::vector<const Control*> out;
        for (const auto& sub : view.subviews()) {
            if (sub->isHidden() || sub->alpha() <= 0.01)
                continue;
            if (auto* control = dynamic_cast<const Control*>(sub.get()))
                out.push_back(control);
            else
                for (const Control* inner : controlsIn(*sub))
                    out.push_back(inner);
        }
        return out;
    }

    /// A switch or slider without a label of its own is named by its row.
    std::string nameFromRow(const View& view)
    {
        for (const View* v = view.superview(); v; v = v->superview())
            if (auto* cell = dynamic_cast<const TableViewCell*>(v)) {
                if (!cell->accessibilityLabel().empty())
                    return cell->accessibilityLabel();
                if (cell->textLabel() && !cell->textLabel()->text().empty())
                    return cell->textLabel()->text();
                return firstLabelText(*cell);
            }
        return {};
    }

    unsigned controlStates(const Control& control)
    {
        unsigned states = AccessibleFocusable;
        if (control.isEnabled())
            states |= usableStates;
        return states;
    }

    void describeControl(Application& application, const Control& control, AccessibleInfo& info)
    {
        info.states |= controlStates(control);
        info.interfaces |= AccessibleHasAction;
        info.action = "click";
        if (auto* field = dynamic_cast<const TextField*>(&control)) {
            info.role = field->isSecureTextEntry() ? AccessibleRole::PasswordText : AccessibleRole::Entry;
            info.name = field->accessibilityLabel().empty() ? field->placeholder() : field->accessibilityLabel();
            info.text = field->isSecureTextEntry() ? field->visibleText() : field->text();
            if (field->text().empty())
                info.text.clear();
            info.states |= AccessibleEditable | AccessibleSingleLine;
            info.interfaces |= AccessibleHasText | AccessibleHasEditableText;
            info.action = "activate";
        } else if (auto* toggle = dynamic_cast<const Switch*>(&control)) {
            info.role = AccessibleRole::ToggleButton;
            info.states |= AccessibleCheckable | (toggle->isOn() ? AccessibleChecked : 0u);
            info.action = "toggle";
        } else if (auto* slider = dynamic_cast<const Slider*>(&control)) {
            info.role = AccessibleRole::Slider;
            double span = slider->maximumValue() - slider->minimumValue();
            info.value = AccessibleValue { slider->value(), slider->minimumValue(), slider->maximumValue(), span / 20 };
            info.interfaces = (info.interfaces & ~AccessibleHasAction) | AccessibleHasValue;
            info.action.clear();
        } else if (auto* date = dynamic_cast<const DatePicker*>(&control)) {
            info.role = AccessibleRole::SpinButton;
            info.text = date->visibleText();
            info.interfaces = AccessibleHasText;
            info.action.clear();
        } else {
            info.role = AccessibleRole::PushButton;
            if (control.isSelected())
                info.states |= AccessibleSelected;
        }
        if (info.name.empty() && info.role != AccessibleRole::Entry && info.role != AccessibleRole::PasswordText)
            info.name = control.visibleText();
        if (info.name.empty() || info.role == AccessibleRole::ToggleButton || info.role == AccessibleRole::Slider)
            if (control.accessibilityLabel().empty())
                info.name = nameFromRow(control);
        if (control.isFirstResponder())
            info.states |= AccessibleFocused;
        static_cast<void>(application);
    }

    void describeCell(const TableViewCell& cell, AccessibleInfo& info)
    {
        info.role = AccessibleRole::ListItem;
        info.states |= usableStates | AccessibleFocusable | AccessibleSelectable;
        if (cell.isSelected() || cell.isHighlighted())
            info.states |= AccessibleSelected;
        if (info.name.empty() && cell.textLabel())
            info.name = cell.textLabel()->text();
        if (info.name.empty())
            info.name = firstLabelText(cell);
        // A row of nothing but buttons (the graph buttons) reads as them.
        if (info.name.empty())
            for (const Control* control : controlsIn(cell)) {
                std::string named
                    = control->accessibilityLabel().empty() ? control->visibleText() : control->accessibilityLabel();
                if (!named.empty())
                    info.name += (info.name.empty() ? "" : ", ") + named;
            }
        // What else the row shows ("Power now": its figure and time) is
        // read after its name.
        if (info.description.empty()) {
            std::vector<std::string> texts;
            collectLabelTexts(cell, texts);
            for (const auto& text : texts)
                if (text != info.name)
                    info.description += (info.description.empty() ? "" : ", ") + text;
        }
        if (cell.selectionStyle() != TableViewCellSelectionStyle::None
            || cell.accessoryType() == TableViewCellAccessoryType::DisclosureIndicator) {
            info.interfaces |= AccessibleHasAction;
            info.action = "activate";
        }
    }

    /// The role and what goes with it for the views that are not controls.
    void describeView(const View& view, AccessibleInfo& info)
    {
        if (auto* label = dynamic_cast<const Label*>(&view)) {
            info.role = AccessibleRole::Label;
            info.text = label->text();
            info.interfaces |= AccessibleHasText;
        } else if (auto* textView = dynamic_cast<const TextView*>(&view)) {
            info.role = AccessibleRole::Label;
            info.text = textView->visibleText();
            info.interfaces |= AccessibleHasText;
        } else if (auto* cell = dynamic_cast<const TableViewCell*>(&view)) {
            describeCell(*cell, info);
        } else if (dynamic_cast<const TableView*>(&view)) {
            info.role = AccessibleRole::List;
        } else if (auto* bar = dynamic_cast<const TabBar*>(&view)) {
            info.role = AccessibleRole::PageTabList;
            info.interfaces |= AccessibleHasSelection;
            static_cast<void>(bar);
        } else if (auto* alert = dynamic_cast<const AlertView*>(&view)) {
            info.role = AccessibleRole::Alert;
            info.name = alert->title();
            info.description = alert->message();
            info.states |= AccessibleModal;
        } else if (auto* navigation = dynamic_cast<const NavigationBar*>(&view)) {
            info.role = AccessibleRole::ToolBar;
            if (info.name.empty())
                info.name = const_cast<NavigationBar*>(navigation)->titleLabel().text();
        } else if (auto* spinner = dynamic_cast<const ActivityIndicatorView*>(&view)) {
            info.role = AccessibleRole::ProgressBar;
            if (spinner->isAnimating())
                info.states |= AccessibleBusy;
            if (info.name.empty())
                info.name = "Loading";
        } else if (auto* image = dynamic_cast<const ImageView*>(&view)) {
            info.role = AccessibleRole::Image;
            info.interfaces |= AccessibleHasImage;
            static_cast<void>(image);
        } else if (auto* picker = dynamic_cast<const PickerView*>(&view)) {
            info.role = AccessibleRole::ComboBox;
            info.text = picker->visibleText();
            // Without a label of its own a picker reads as what it shows.
            if (info.name.empty())
                info.name = info.text;
            info.states |= usableStates | AccessibleFocusable;
            info.interfaces |= AccessibleHasText;
        } else if (dynamic_cast<const Window*>(&view)) {
            info.role = AccessibleRole::Frame;
            if (info.name.empty())
                info.name = "Hestio";
            info.states |= AccessibleActive;
        }
        if (info.name.empty() && info.role == AccessibleRole::Label)
            info.name = info.text;
    }

    AccessibleInfo describeTab(const TabBar& bar, int index)
    {
        AccessibleInfo info;
        const TabBar::Tab& tab = bar.tabs()[static_cast<std::size_t>(index)];
        info.role = AccessibleRole::PageTab;
        info.name = tab.title;
        if (tab.badge && !tab.badge->empty())
            info.description = *tab.badge;
        info.states = shownAndVisible | AccessibleFocusable | AccessibleSelectable;
        if (tab.enabled)
            info.states |= usableStates;
        if (index == bar.selectedIndex())
            info.states |= AccessibleSelected;
        info.interfaces = AccessibleHasAction;
        info.action = "click";
        return info;
    }

    /// Whether the view is drawn (visible) and can be seen now (showing).
    unsigned shownStates(const View& view)
    {
        unsigned states = 0;
        if (view.isVisibleOnScreen())
            states |= AccessibleVisible;
        if (visibleRectInWindow(view))
            states |= AccessibleShowing;
        return states;
    }

    /// The taps the view's own tap recognisers ask for (two: a double tap),
    /// 0 without one: a screen reader's action on it taps that often.
    int tapsWanted(const View& view)
    {
        int taps = 0;
        for (const auto& recognizer : view.gestureRecognizers())
            if (auto tap = std::dynamic_pointer_cast<TapGestureRecognizer>(recognizer); tap && tap->isEnabled())
                taps = std::max(taps, tap->numberOfTapsRequired());
        return taps;
    }

    /// Whether touches reach the view: none do inside a view that takes none.
    bool reachable(const View& view)
    {
        for (const View* v = &view; v; v = v->superview())
            if (!v->isUserInteractionEnabled())
                return false;
        return true;
    }

}

std::optional<Rect> visibleRectInWindow(const View& view)
{
    // Only a view in a window is on screen.
    if (!view.window())
        return std::nullopt;
    return view.visibleRectInWindow();
}

AccessibleInfo accessibleInfo(Application& application, const AccessibleNode& node)
{
    AccessibleInfo info;
    if (node.isApplication()) {
        info.role = AccessibleRole::Application;
        info.name = "Hestio";
        return info;
    }
    const View& view = *node.view;
    if (auto* bar = dynamic_cast<const TabBar*>(&view); bar && node.part >= 0)
        return describeTab(*bar, node.part);
    info.name = view.accessibilityLabel();
    info.description = view.accessibilityHint();
    info.states = shownStates(view);
    if (auto* control = dynamic_cast<const Control*>(&view)) {
        describeControl(application, *control, info);
        if (!reachable(view))
            info.states &= ~usableStates;
    } else {
        // Text and pictures are never greyed out; only controls are.
        info.states |= usableStates;
        describeView(view, info);
        // What a tap on it does (a title bar's double tap) is its action.
        if (!(info.interfaces & AccessibleHasAction) && tapsWanted(view) > 0) {
            info.interfaces |= AccessibleHasAction;
            info.action = "activate";
        }
    }
    view.describeAccessibility(info);
    return info;
}

std::vector<AccessibleNode> accessibleChildren(Application& application, const AccessibleNode& node)
{
    std::vector<AccessibleNode> children;
    if (node.isApplication()) {
        for (Window* window : application.windows())
            if (window->isVisibleOnScreen())
                children.push_back({ window, -1 });
        return children;
    }
    View& view = *node.view;
    if (node.part >= 0)
        return children;
    if (auto* bar = dynamic_cast<TabBar*>(&view)) {
        for (int i = 0; i < static_cast<int>(bar->tabs().size()); ++i)
            children.push_back({ bar, i });
        return children;
    }
    if (isLeaf(view))
        return children;
    auto add = [&](const std::shared_ptr<View>& sub) {
        if (visibleRectInWindow(*sub))
            children.push_back({ sub.get(), -1 });
    };
    for (const auto& sub : view.subviews())
        add(sub);
    if (auto* window = dynamic_cast<Window*>(&view))
        for (const auto& overlay : window->overlays())
            add(overlay);
    return children;
}

std::optional<AccessibleNode> accessibleParent(Application& application, const AccessibleNode& node)
{
    if (node.isApplication())
        return std::nullopt;
    if (node.part >= 0)
        return AccessibleNode { node.view, -1 };
    if (dynamic_cast<Window*>(node.view))
        return AccessibleNode {};
    static_cast<void>(application);
    if (View* superview = node.view->superview())
        return AccessibleNode { superview, -1 };
    return std::nullopt;
}

std::optional<Rect> accessibleRect(const AccessibleNode& node)
{
    if (node.isApplication())
        return std::nullopt;
    auto visible = visibleRectInWindow(*node.view);
    if (!visible || node.part < 0)
        return visible;
    auto* bar = dynamic_cast<TabBar*>(node.view);
    Rect tab = bar->convertRectToView(bar->rectForTab(node.part), nullptr).intersection(*visible);
    if (tab.isEmpty())
        return std::nullopt;
    return tab;
}

bool performAccessibleAction(Application& application, const AccessibleNode& node)
{
    auto rect = accessibleRect(node);
    Window* window = node.view ? node.view->window() : nullptr;
    if (!rect || !window)
        return false;
    Point center = rect->center();
    auto hit = window->hitTest(center);
    if (hit && (hit.get() == node.view || hit->isDescendantOf(*node.view) || node.view->isDescendantOf(*hit))) {
        // One activation: its taps make the view's own multiple tap, and
        // count with no other press's (nor a finger's).
        TapGestureRecognizer::AccessibleActivation activation;
        TouchSynthesizer fingers(application);
        for (int tap = 0; tap < std::max(1, tapsWanted(*node.view)); ++tap)
            fingers.tap(center);
        return true;
    }
    // Something on top (the on-screen keyboard) would take a finger there.
    // A control still does what its tap does; other views cannot be reached.
    auto* control = dynamic_cast<Control*>(node.view);
    if (!control || !control->isEnabled() || !control->isUserInteractionEnabled())
        return false;
    control->sendActionsForControlEvents(ControlEventTouchDown);
    if (auto* toggle = dynamic_cast<Switch*>(control)) {
        toggle->setOn(!toggle->isOn(), true);
        toggle->sendActionsForControlEvents(ControlEventValueChanged);
    }
    control->sendActionsForControlEvents(ControlEventTouchUpInside);
    return true;
}

bool setAccessibleText(Application& application, const AccessibleNode& node, const std::string& text)
{
    auto* field = dynamic_cast<TextField*>(node.view);
    if (!field || !field->isEnabled() || (!field->isFirstResponder() && !field->becomeFirstResponder()))
        return false;
    // Backspace deletes one character (a whole UTF-8 sequence) at a time.
    for (std::size_t guard = field->text().size(); !field->text().empty() && guard > 0; --guard)
        application.sendBackspace();
    if (!text.empty())
        application.sendText(text);
    return field->text() == text;
}

bool setAccessibleValue(const AccessibleNode& node, double value)
{
    if (auto* slider = dynamic_cast<Slider*>(node.view); slider && slider->isEnabled()) {
        double before = slider->value();
        slider->setValue(value);
        if (slider->value() != before)
            slider->sendActionsForControlEvents(ControlEventValueChanged);
        slider->sendActionsForControlEvents(ControlEventTouchUpInside);
        return true;
    }
    return node.view && node.view->adjustAccessibleValue(value);
}

bool selectAccessibleChild(Application& application, const AccessibleNode& node, int index)
{
    auto* bar = dynamic_cast<TabBar*>(node.view);
    if (!bar || index < 0 || index >= static_cast<int>(bar->tabs().size()))
        return false;
    return performAccessibleAction(application, { bar, index });
}

bool focusAccessible(const AccessibleNode& node)
{
    return node.view && node.part < 0 && node.view->becomeFirstResponder();
}

}
