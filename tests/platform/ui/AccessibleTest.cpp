#include "UiTestSupport.h"

#include "platform/ui/Accessible.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
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

#include <gtest/gtest.h>

#include <functional>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

constexpr unsigned shown = AccessibleShowing | AccessibleVisible;
constexpr unsigned usable = AccessibleEnabled | AccessibleSensitive;

struct Case {
    const char* what;
    /// Puts the view in `root` (a view filling the window) and returns the node to read.
    std::function<AccessibleNode(UiFixture&, View& root)> make;
    AccessibleRole role;
    std::string name;
    unsigned states;
    unsigned interfaces;
    std::string description {};
    std::string text {};
};

template<class T> T& place(View& root, std::shared_ptr<T> view, Rect frame = { 10, 40, 200, 30 })
{
    view->setFrame(frame);
    root.addSubview(view);
    return *view;
}

std::shared_ptr<TableViewCell> rowNamed(View& root, const std::string& text)
{
    auto cell = TableViewCell::create(TableViewCellStyle::Value1, "row");
    cell->textLabel()->setText(text);
    place(root, cell, { 0, 100, 320, 44 });
    cell->layoutIfNeeded();
    return cell;
}

}

TEST(Accessible, MapsEachKindOfViewToItsRoleNameAndStates)
{
    const Case cases[] = {
        { "titled button",
            [](UiFixture&, View& root) {
                auto& b = place(root, Button::create());
                b.setTitle("Save");
                return AccessibleNode { &b };
            },
            AccessibleRole::PushButton, "Save", shown | usable | AccessibleFocusable, AccessibleHasAction },
        { "icon button: its label, not its title",
            [](UiFixture&, View& root) {
                auto& b = place(root, Button::create(Button::Type::ContactAdd));
                b.setTitle("+");
                b.setAccessibilityLabel("Add Place");
                return AccessibleNode { &b };
            },
            AccessibleRole::PushButton, "Add Place", shown | usable | AccessibleFocusable, AccessibleHasAction },
        { "disabled button",
            [](UiFixture&, View& root) {
                auto& b = place(root, Button::create());
                b.setTitle("Save");
                b.setEnabled(false);
                return AccessibleNode { &b };
            },
            AccessibleRole::PushButton, "Save", shown | AccessibleFocusable, AccessibleHasAction },
        { "switch named by its row, on",
            [](UiFixture&, View& root) {
                auto cell = rowNamed(root, "Heater");
                auto toggle = Switch::create();
                toggle->setOn(true);
                cell->setAccessoryView(toggle);
                cell->layoutIfNeeded();
                return AccessibleNode { toggle.get() };
            },
            AccessibleRole::ToggleButton, "Heater",
            shown | usable | AccessibleFocusable | AccessibleCheckable | AccessibleChecked, AccessibleHasAction },
        { "slider",
            [](UiFixture&, View& root) {
                auto& s = place(root, Slider::create());
                s.setMaximumValue(100);
                s.setValue(40);
                s.setAccessibilityLabel("Brightness");
                return AccessibleNode { &s };
            },
            AccessibleRole::Slider, "Brightness", shown | usable | AccessibleFocusable, AccessibleHasValue },
        { "field named by its placeholder",
            [](UiFixture&, View& root) {
                auto& f = place(root, TextField::create());
                f.setPlaceholder("Username");
                f.setText("demo");
                return AccessibleNode { &f };
            },
            AccessibleRole::Entry, "Username",
            shown | usable | AccessibleFocusable | AccessibleEditable | AccessibleSingleLine,
            AccessibleHasAction | AccessibleHasText | AccessibleHasEditableText, "", "demo" },
        { "password field, being edited: bullets only",
            [](UiFixture&, View& root) {
                auto& f = place(root, TextField::create());
                f.setPlaceholder("Password");
                f.setSecureTextEntry(true);
                f.setText("pw");
                f.becomeFirstResponder();
                return AccessibleNode { &f };
            },
            AccessibleRole::PasswordText, "Password",
            shown | usable | AccessibleFocusable | AccessibleFocused | AccessibleEditable | AccessibleSingleLine,
            AccessibleHasAction | AccessibleHasText | AccessibleHasEditableText, "", "••" },
        { "label",
            [](UiFixture&, View& root) {
                auto& l = place(root, Label::create());
                l.setText("Power now");
                return AccessibleNode { &l };
            },
            AccessibleRole::Label, "Power now", shown | usable, AccessibleHasText, "", "Power now" },
        { "selected row, its other texts read after its name",
            [](UiFixture&, View& root) {
                auto cell = rowNamed(root, "Heater");
                cell->detailTextLabel()->setText("1200 W");
                cell->setSelected(true);
                return AccessibleNode { cell.get() };
            },
            AccessibleRole::ListItem, "Heater",
            shown | usable | AccessibleFocusable | AccessibleSelectable | AccessibleSelected, AccessibleHasAction,
            "1200 W" },
        { "list: how far it is scrolled is its value",
            [](UiFixture&, View& root) {
                return AccessibleNode { &place(root, TableView::create({ 0, 20, 320, 200 })) };
            },
            AccessibleRole::List, "", shown | usable, AccessibleHasValue },
        { "date picker: it reads as the date it shows",
            [](UiFixture&, View& root) {
                auto& picker = place(root, DatePicker::create(), { 0, 200, 320, 216 });
                picker.setMode(DatePicker::Mode::Time);
                picker.setDate(Date::fromMilliseconds(1354752000000.0 + 9.5 * 3600 * 1000));
                return AccessibleNode { &picker };
            },
            AccessibleRole::SpinButton, "9:30 AM", shown | usable | AccessibleFocusable, AccessibleHasText, "",
            "9:30 AM" },
        { "picker without a label: it reads as its choice",
            [](UiFixture&, View& root) {
                static struct Choices : PickerViewDataSource, PickerViewDelegate {
                    int numberOfComponentsInPickerView(PickerView&) override { return 1; }
                    int numberOfRowsInComponent(PickerView&, int) override { return 2; }
                    std::string titleForRow(PickerView&, int row, int) override { return row ? "Work" : "Home"; }
                } choices;
                auto& picker = place(root, PickerView::create(), { 0, 200, 320, 216 });
                picker.setDataSource(&choices);
                picker.setDelegate(&choices);
                return AccessibleNode { &picker };
            },
            AccessibleRole::ComboBox, "Home", shown | usable | AccessibleFocusable, AccessibleHasText, "", "Home" },
        { "text view",
            [](UiFixture&, View& root) {
                auto& text = place(root, TextView::create(), { 10, 100, 300, 100 });
                text.setText("Two posts failed.");
                return AccessibleNode { &text };
            },
            AccessibleRole::Label, "Two posts failed.", shown | usable, AccessibleHasText, "", "Two posts failed." },
        { "title bar with a double tap: the tap is its action",
            [](UiFixture&, View& root) {
                auto& bar = place(root, NavigationBar::create(), { 0, 20, 320, 44 });
                bar.titleLabel().setText("Schedule");
                bar.addGestureRecognizer(TapGestureRecognizer::create([](GestureRecognizer&) {}, 2));
                return AccessibleNode { &bar };
            },
            AccessibleRole::ToolBar, "Schedule", shown | usable, AccessibleHasAction },
        { "tab bar",
            [](UiFixture&, View& root) {
                auto& bar = place(root, TabBar::create(), { 0, 411, 320, 49 });
                bar.setTabs({ { "Home" }, { "Devices" } });
                return AccessibleNode { &bar };
            },
            AccessibleRole::PageTabList, "", shown | usable, AccessibleHasSelection },
        { "the selected tab, with its badge",
            [](UiFixture&, View& root) {
                auto& bar = place(root, TabBar::create(), { 0, 411, 320, 49 });
                TabBar::Tab devices { "Devices" };
                devices.badge = "3";
                bar.setTabs({ { "Home" }, devices });
                bar.setSelectedIndex(1);
                return AccessibleNode { &bar, 1 };
            },
            AccessibleRole::PageTab, "Devices",
            shown | usable | AccessibleFocusable | AccessibleSelectable | AccessibleSelected, AccessibleHasAction,
            "3" },
        { "alert",
            [](UiFixture& ui, View&) {
                auto alert = AlertView::create("Error", "Please enter your password.", nullptr, "OK");
                alert->show();
                ui.settle();
                return AccessibleNode { alert.get() };
            },
            AccessibleRole::Alert, "Error", shown | usable | AccessibleModal, 0, "Please enter your password." },
        { "navigation bar",
            [](UiFixture&, View& root) {
                auto& bar = place(root, NavigationBar::create(), { 0, 20, 320, 44 });
                bar.titleLabel().setText("Devices");
                return AccessibleNode { &bar };
            },
            AccessibleRole::ToolBar, "Devices", shown | usable, 0 },
        { "activity indicator while it spins",
            [](UiFixture&, View& root) {
                auto& spinner = place(root, ActivityIndicatorView::create(), { 100, 100, 20, 20 });
                spinner.startAnimating();
                return AccessibleNode { &spinner };
            },
            AccessibleRole::ProgressBar, "Loading", shown | usable | AccessibleBusy, 0 },
        { "image with its description",
            [](UiFixture&, View& root) {
                auto& image = place(root, ImageView::create(), { 0, 100, 320, 200 });
                image.setAccessibilityLabel("Power Draw");
                image.setAccessibilityHint("Monday: 2.4 kWh");
                return AccessibleNode { &image };
            },
            AccessibleRole::Image, "Power Draw", shown | usable, AccessibleHasImage, "Monday: 2.4 kWh" },
        { "plain view: a panel that groups",
            [](UiFixture&, View& root) { return AccessibleNode { &place(root, View::create()) }; },
            AccessibleRole::Panel, "", shown | usable, 0 },
        { "window", [](UiFixture& ui, View&) { return AccessibleNode { ui.window.get() }; }, AccessibleRole::Frame,
            "Hestio", shown | usable | AccessibleActive, 0 },
        { "a view scrolled out of the window: neither showing nor a child",
            [](UiFixture&, View& root) {
                auto& b = place(root, Button::create(), { 10, 600, 100, 30 });
                b.setTitle("Far");
                return AccessibleNode { &b };
            },
            AccessibleRole::PushButton, "Far", AccessibleVisible | usable | AccessibleFocusable, AccessibleHasAction },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UiFixture ui;
        auto root = View::create({ 0, 20, 320, 460 });
        ui.window->addSubview(root);
        AccessibleNode node = c.make(ui, *root);
        AccessibleInfo info = accessibleInfo(ui.app, node);
        EXPECT_EQ(info.role, c.role);
        EXPECT_EQ(info.name, c.name);
        EXPECT_EQ(info.states, c.states);
        EXPECT_EQ(info.interfaces, c.interfaces);
        EXPECT_EQ(info.description, c.description);
        EXPECT_EQ(info.text, c.text);
        auto parent = accessibleParent(ui.app, node);
        ASSERT_TRUE(parent.has_value());
        auto siblings = accessibleChildren(ui.app, *parent);
        bool listed = std::find(siblings.begin(), siblings.end(), node) != siblings.end();
        EXPECT_EQ(listed, (c.states & AccessibleShowing) != 0);
    }
}

TEST(Accessible, TrackerTellsWhatChangedSinceLastTime)
{
    using Kind = AccessibleEvent::Kind;
    UiFixture ui;
    auto toggle = Switch::create();
    toggle->setFrame({ 200, 100, 79, 27 });
    ui.window->addSubview(toggle);
    auto field = TextField::create();
    field->setFrame({ 10, 40, 200, 30 });
    ui.window->addSubview(field);
    AccessibleTracker tracker(ui.app);
    EXPECT_TRUE(tracker.update().empty()) << "the first look only remembers";
    EXPECT_TRUE(tracker.update().empty()) << "nothing changed";

    auto describe = [](const std::vector<AccessibleEvent>& events) {
        std::vector<std::string> out;
        for (const auto& e : events) {
            std::string line = std::to_string(static_cast<int>(e.kind));
            if (e.kind == Kind::StateChanged)
                line += " state " + std::to_string(e.state) + (e.on ? " on" : " off");
            if (e.kind == Kind::ChildAdded || e.kind == Kind::ChildRemoved)
                line += " child " + std::to_string(e.index);
            if (!e.newText.empty())
                line += " \"" + e.newText + "\"";
            out.push_back(line);
        }
        return out;
    };
    auto state = [](Kind kind, AccessibleState s, bool on) {
        return std::to_string(static_cast<int>(kind)) + " state " + std::to_string(s) + (on ? " on" : " off");
    };

    toggle->setOn(true);
    EXPECT_EQ(
        describe(tracker.update()), std::vector<std::string>({ state(Kind::StateChanged, AccessibleChecked, true) }));

    // Hidden behind a spinner while its request is out, then back: the
    // node stays, and its turning off meanwhile is told.
    toggle->setHidden(true);
    toggle->setOn(false);
    auto hidden = tracker.update();
    EXPECT_TRUE(tracker.released().empty());
    EXPECT_TRUE(tracker.isKnown({ toggle.get() }));
    EXPECT_TRUE(std::any_of(hidden.begin(), hidden.end(), [&](const AccessibleEvent& e) {
        return e.kind == Kind::StateChanged && e.state == AccessibleChecked && !e.on;
    }));
    toggle->setHidden(false);
    auto back = tracker.update();
    EXPECT_TRUE(std::any_of(back.begin(), back.end(), [&](const AccessibleEvent& e) {
        return e.kind == Kind::StateChanged && e.state == AccessibleShowing && e.on;
    }));

    field->becomeFirstResponder();
    auto focused = tracker.update();
    ASSERT_FALSE(focused.empty());
    EXPECT_TRUE(std::any_of(focused.begin(), focused.end(),
        [&](const AccessibleEvent& e) { return e.kind == Kind::Focus && e.node == AccessibleNode { field.get() }; }));

    ui.app.sendText("hi");
    auto typed = tracker.update();
    auto text = std::find_if(
        typed.begin(), typed.end(), [](const AccessibleEvent& e) { return e.kind == Kind::TextChanged; });
    ASSERT_NE(text, typed.end());
    EXPECT_EQ(text->oldText, "");
    EXPECT_EQ(text->newText, "hi");
    field->resignFirstResponder();
    static_cast<void>(tracker.update());

    auto alert = AlertView::create("Error", "Please enter your password.", nullptr, "OK");
    alert->show();
    ui.settle();
    auto shownAlert = tracker.update();
    EXPECT_TRUE(std::any_of(shownAlert.begin(), shownAlert.end(), [](const AccessibleEvent& e) {
        return e.kind == Kind::Announcement && e.newText == "Error. Please enter your password.";
    }));
    EXPECT_TRUE(std::any_of(shownAlert.begin(), shownAlert.end(), [&](const AccessibleEvent& e) {
        return e.kind == Kind::ChildAdded && e.node == AccessibleNode { ui.window.get() };
    }));

    alert->clickButtonAtIndex(0);
    ui.settle();
    auto gone = tracker.update();
    EXPECT_TRUE(std::any_of(gone.begin(), gone.end(), [&](const AccessibleEvent& e) {
        return e.kind == Kind::ChildRemoved && e.node == AccessibleNode { ui.window.get() };
    }));
    EXPECT_FALSE(tracker.released().empty()) << "the alert's nodes are let go";
}

TEST(Accessible, ActionsDoWhatATapDoes)
{
    UiFixture ui;
    auto button = Button::create();
    button->setTitle("Sign In");
    button->setFrame({ 10, 200, 300, 44 });
    ui.window->addSubview(button);
    int taps = 0;
    button->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    auto toggle = Switch::create();
    toggle->setFrame({ 200, 100, 79, 27 });
    ui.window->addSubview(toggle);
    std::vector<bool> reported;
    toggle->addTarget(
        ControlEventValueChanged, [&](Control& c) { reported.push_back(static_cast<Switch&>(c).isOn()); });
    auto field = TextField::create();
    field->setFrame({ 10, 40, 200, 30 });
    field->setText("old");
    ui.window->addSubview(field);
    std::vector<std::string> edits;
    field->addTarget(
        ControlEventEditingChanged, [&](Control& c) { edits.push_back(static_cast<TextField&>(c).text()); });

    EXPECT_TRUE(performAccessibleAction(ui.app, { button.get() }));
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(performAccessibleAction(ui.app, { toggle.get() }));
    EXPECT_EQ(reported, std::vector<bool>({ true }));
    // A title bar that opens a screen on a double tap gets its double tap.
    auto bar = NavigationBar::create();
    bar->setFrame({ 0, 20, 320, 44 });
    ui.window->addSubview(bar);
    int doubleTaps = 0;
    bar->addGestureRecognizer(TapGestureRecognizer::create([&](GestureRecognizer&) { ++doubleTaps; }, 2));
    EXPECT_TRUE(performAccessibleAction(ui.app, { bar.get() }));
    ui.settle();
    EXPECT_EQ(doubleTaps, 1);

    EXPECT_TRUE(setAccessibleText(ui.app, { field.get() }, "demo"));
    EXPECT_EQ(field->text(), "demo");
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_EQ(edits.back(), "demo") << "typed, so the field's targets hear of it";

    // The keyboard now covers the lower half: a finger there would press a
    // key, but the button still does what its tap does.
    auto low = Button::create();
    low->setTitle("Low");
    low->setFrame({ 10, 430, 300, 40 });
    ui.window->addSubview(low);
    ui.settle();
    int lowTaps = 0;
    low->addTarget(ControlEventTouchUpInside, [&](Control&) { ++lowTaps; });
    EXPECT_TRUE(performAccessibleAction(ui.app, { low.get() }));
    EXPECT_EQ(lowTaps, 1);
    EXPECT_EQ(field->text(), "demo") << "no key was pressed";
    low->setHidden(true);
    EXPECT_FALSE(performAccessibleAction(ui.app, { low.get() }));
}

TEST(Accessible, AListScrollsAsAValueFromItsTopToItsEnd)
{
    struct Rows : TableViewDataSource {
        int numberOfRowsInSection(TableView&, int) override { return 20; }
        std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath path) override
        {
            auto cell = TableViewCell::create(TableViewCellStyle::Default, "");
            cell->textLabel()->setText("Row " + std::to_string(path.row));
            return cell;
        }
    } rows;
    UiFixture ui;
    auto table = TableView::create({ 0, 20, 320, 440 });
    table->setDataSource(&rows);
    ui.window->addSubview(table);
    ui.window->layoutTree();
    AccessibleNode node { table.get() };
    const double end = 20 * 44 - 440;
    EXPECT_EQ(accessibleInfo(ui.app, node).value, (AccessibleValue { 0, 0, end, 440 }));
    struct Case {
        double asked, reached;
    };
    for (Case c : { Case { end, end }, Case { end + 1, end }, Case { 100, 100 }, Case { -1, 0 } }) {
        EXPECT_TRUE(setAccessibleValue(node, c.asked));
        ui.window->layoutTree();
        EXPECT_EQ(table->contentOffset().y, c.reached) << c.asked;
        EXPECT_EQ(accessibleInfo(ui.app, node).value->current, c.reached) << c.asked;
    }
    auto children = accessibleChildren(ui.app, node);
    EXPECT_TRUE(std::any_of(children.begin(), children.end(), [&](const AccessibleNode& child) {
        return accessibleInfo(ui.app, child).name == "Row 0";
    })) << "the rows at the top are shown again";
}
