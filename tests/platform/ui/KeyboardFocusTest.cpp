#include "UiTestSupport.h"

#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/KeyboardFocus.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Slider.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {

KeyPress press(const std::string& name)
{
    auto key = KeyPress::named(name);
    EXPECT_TRUE(key) << name;
    return key.value_or(KeyPress {});
}

/// A list of 30 rows, the third one not highlighted, that notes the rows picked.
class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<int> picked;
    int numberOfRowsInSection(TableView&, int) override { return 30; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCellWithIdentifier("row");
        if (!cell)
            cell = TableViewCell::create(TableViewCellStyle::Default, "row");
        cell->textLabel()->setText("Row " + std::to_string(path.row));
        cell->setAccessibilityIdentifier("row" + std::to_string(path.row));
        cell->setSelectionStyle(path.row == 2 ? TableViewCellSelectionStyle::None : TableViewCellSelectionStyle::Blue);
        return cell;
    }
    void didSelectRowAtIndexPath(TableView&, IndexPath path) override { picked.push_back(path.row); }
};

/// Tabs "One", "Two", "Three"; the first a navigation stack whose screen has
/// a field, a button, a disabled and a hidden button, a switch, a slider, a
/// swipe-paged pad and a list.
struct KeyboardFixture : hestio::test::UiFixture {
    std::shared_ptr<TabBarController> tabs = std::make_shared<TabBarController>();
    std::shared_ptr<NavigationController> navigation = std::make_shared<NavigationController>();
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
    std::shared_ptr<TextField> field = TextField::create({ 10, 10, 300, 30 });
    std::shared_ptr<Button> button = Button::create(Button::Type::RoundedRect, { 10, 50, 90, 30 });
    std::shared_ptr<Button> disabled = Button::create(Button::Type::RoundedRect, { 110, 50, 90, 30 });
    std::shared_ptr<Button> hidden = Button::create(Button::Type::RoundedRect, { 210, 50, 90, 30 });
    std::shared_ptr<Switch> toggle = Switch::create({ 220, 90, 79, 27 });
    std::shared_ptr<Slider> slider = Slider::create({ 10, 90, 200, 23 });
    std::shared_ptr<View> pad = View::create({ 10, 120, 300, 20 });
    std::shared_ptr<TableView> table = TableView::create({ 0, 150, 320, 160 });
    Rows rows;
    std::vector<std::string> taps;
    int daysBack = 0, daysOn = 0;

    KeyboardFixture()
    {
        auto& root = *screen->view();
        field->setAccessibilityIdentifier("field");
        button->setTitle("Go");
        button->addTarget(ControlEventTouchUpInside, [this](Control&) { taps.push_back("Go"); });
        disabled->setTitle("Off");
        disabled->setEnabled(false);
        hidden->setTitle("Hidden");
        hidden->setHidden(true);
        toggle->setAccessibilityIdentifier("switch");
        slider->setAccessibilityIdentifier("slider");
        slider->setMaximumValue(24);
        slider->addTarget(ControlEventValueChanged, [this](Control&) { taps.push_back("changed"); });
        slider->addTarget(ControlEventTouchUpInside, [this](Control&) { taps.push_back("let go"); });
        pad->addGestureRecognizer(
            SwipeGestureRecognizer::create(SwipeGestureRecognizer::Right, [this](auto&) { ++daysBack; }));
        pad->addGestureRecognizer(
            SwipeGestureRecognizer::create(SwipeGestureRecognizer::Left, [this](auto&) { ++daysOn; }));
        table->setDataSource(&rows);
        table->setDelegate(&rows);
        table->setAccessibilityIdentifier("list");
        for (auto view :
            std::vector<std::shared_ptr<View>> { field, button, disabled, hidden, toggle, slider, pad, table })
            root.addSubview(view);
        screen->setTitle("Screen");
        navigation->setViewControllers({ screen });
        navigation->setTitle("One");
        auto two = std::make_shared<ViewController>();
        two->setTitle("Two");
        auto three = std::make_shared<ViewController>();
        three->setTitle("Three");
        tabs->setViewControllers({ navigation, two, three });
        window->setRootViewController(tabs);
        settle();
    }

    bool key(const std::string& name)
    {
        bool handled = app.sendKey(press(name));
        settle();
        return handled;
    }

    /// The focused view as the walk lists it: identifier, title or tab.
    std::string focused()
    {
        auto* view = dynamic_cast<View*>(app.firstResponder());
        if (!view)
            return "none";
        if (auto* bar = dynamic_cast<TabBar*>(view))
            return "tab " + bar->tabs()[static_cast<std::size_t>(bar->keyboardFocusStop())].title;
        return view->accessibilityIdentifier().empty() ? view->visibleText() : view->accessibilityIdentifier();
    }

    /// Tab from nothing focused until the focus comes back to the first stop.
    std::vector<std::string> walk(const std::string& name = "Tab")
    {
        std::vector<std::string> seen;
        for (int i = 0; i < 40; ++i) {
            key(name);
            if (!seen.empty() && focused() == seen.front())
                break;
            seen.push_back(focused());
        }
        return seen;
    }
};

}

TEST(KeyPress, NamesAndTheirKeys)
{
    for (const char* name : { "Tab", "Shift+Tab", "Return", "Space", "Escape", "Left", "Right", "Up", "Down", "Ctrl+1",
             "Ctrl+5", "Ctrl+Shift+Tab" })
        EXPECT_EQ(press(name).name(), name);
    EXPECT_EQ(KeyPress::named("shift+tab")->name(), "Shift+Tab") << "letter case does not matter";
    for (const char* unknown : { "", "1", "Ctrl+", "Ctrl+10", "Tabs", "Alt+Tab", "Shift+Shift+Tab" })
        EXPECT_FALSE(KeyPress::named(unknown)) << unknown;
}

TEST(KeyboardFocus, SliderStepsFitTheRange)
{
    struct Case {
        double minimum, maximum, step;
    };
    for (const Case& c : { Case { 0, 1, 0.1 }, Case { 0, 24, 2 }, Case { 0, 100, 10 }, Case { 10, 40, 2 },
             Case { -5, 5, 1 }, Case { 0, 3000, 200 }, Case { 5, 5, 0 } })
        EXPECT_NEAR(KeyboardFocus::sliderStep(c.minimum, c.maximum), c.step, 1e-12) << c.minimum << ".." << c.maximum;
}

TEST(KeyboardFocus, TabWalksTheVisibleEnabledControlsInReadingOrderAndWraps)
{
    KeyboardFixture f;
    EXPECT_EQ(f.walk(),
        (std::vector<std::string> {
            "field", "Go", "slider", "switch", "row0", "row1", "row2", "row3", "tab One", "tab Two", "tab Three" }))
        << "the disabled and the hidden button and the rows below the list's edge are skipped; a row without highlight "
           "is a stop";
    f.app.touchBegan();
    EXPECT_EQ(f.walk("Shift+Tab"),
        (std::vector<std::string> {
            "tab Three", "tab Two", "tab One", "row3", "row2", "row1", "row0", "switch", "slider", "Go", "field" }));
}

TEST(KeyboardFocus, ReturnAndSpaceDoWhatATapDoes)
{
    KeyboardFixture f;
    f.key("Tab");
    ASSERT_EQ(f.focused(), "field");
    EXPECT_TRUE(f.field->isEditing()) << "a focused field edits";
    EXPECT_FALSE(f.key("Space")) << "a field's space is typed text, not a key";
    f.key("Tab");
    EXPECT_TRUE(f.key("Space"));
    EXPECT_TRUE(f.key("Return"));
    EXPECT_EQ(f.taps, (std::vector<std::string> { "Go", "Go" }));
    f.key("Tab");
    f.key("Tab");
    ASSERT_EQ(f.focused(), "switch");
    f.key("Space");
    EXPECT_TRUE(f.toggle->isOn());
    f.key("Tab");
    f.key("Tab");
    ASSERT_EQ(f.focused(), "row1");
    f.key("Return");
    EXPECT_EQ(f.rows.picked, std::vector<int> { 1 });
    EXPECT_EQ(f.table->indexPathForSelectedRow(), (IndexPath { 0, 1 }));
    for (int i = 0; i < 4; ++i)
        f.key("Tab");
    ASSERT_EQ(f.focused(), "tab Two");
    f.key("Space");
    EXPECT_EQ(f.tabs->selectedIndex(), 1);
}

TEST(KeyboardFocus, ArrowsMoveASliderAStepAndStopAtItsEnds)
{
    KeyboardFixture f;
    f.slider->becomeFirstResponder();
    f.slider->setValue(23);
    EXPECT_TRUE(f.key("Right"));
    EXPECT_EQ(f.slider->value(), 24) << "a step of 2 reaches the maximum";
    EXPECT_EQ(f.taps, (std::vector<std::string> { "changed", "let go" }));
    EXPECT_TRUE(f.key("Up")) << "the key is the slider's even at the end";
    EXPECT_EQ(f.slider->value(), 24);
    EXPECT_EQ(f.taps.size(), 2u) << "one step past the end sends nothing";
    f.key("Left");
    EXPECT_EQ(f.slider->value(), 22);
    f.slider->setValue(1);
    f.key("Down");
    EXPECT_EQ(f.slider->value(), 0);
    f.taps.clear();
    f.key("Left");
    EXPECT_EQ(f.slider->value(), 0);
    EXPECT_TRUE(f.taps.empty());
    EXPECT_FALSE(f.key("Return")) << "a tap would jump the thumb: Return leaves it";
    EXPECT_EQ(f.slider->value(), 0);
}

TEST(KeyboardFocus, UpAndDownMoveAlongTheRowsAndScrollThemIntoView)
{
    KeyboardFixture f;
    f.table->cellForRowAtIndexPath({ 0, 1 })->becomeFirstResponder();
    f.key("Down");
    EXPECT_EQ(f.focused(), "row2");
    f.key("Up");
    EXPECT_EQ(f.focused(), "row1");
    for (int i = 0; i < 28; ++i)
        f.key("Down");
    EXPECT_EQ(f.focused(), "row29");
    EXPECT_GT(f.table->contentOffset().y, 29 * 44.0 - 160) << "the last row is scrolled into view";
    EXPECT_TRUE(f.key("Down"));
    EXPECT_EQ(f.focused(), "row29") << "past the last row nothing moves";
    f.key("Return");
    EXPECT_EQ(f.rows.picked, std::vector<int> { 29 });
}

TEST(KeyboardFocus, LeftAndRightPageWhatSwipesPageWhenTheFocusDoesNotUseThem)
{
    KeyboardFixture f;
    EXPECT_TRUE(f.key("Left"));
    EXPECT_TRUE(f.key("Left"));
    EXPECT_TRUE(f.key("Right"));
    EXPECT_EQ(f.daysBack, 2);
    EXPECT_EQ(f.daysOn, 1);
    f.slider->becomeFirstResponder();
    f.key("Left");
    EXPECT_EQ(f.daysBack, 2) << "a focused slider keeps its arrows";
    f.pad->setHidden(true);
    f.app.touchBegan();
    EXPECT_FALSE(f.key("Left")) << "a hidden pager does not page";
}

TEST(KeyboardFocus, EscapeGoesBackOneScreenAndClosesAnAlertThroughItsCancelButton)
{
    KeyboardFixture f;
    EXPECT_FALSE(f.key("Escape")) << "the first screen has no back button";
    auto second = std::make_shared<ViewController>();
    second->setTitle("Second");
    f.navigation->pushViewController(second, true);
    f.settle();
    std::vector<int> clicked;
    auto alert = AlertView::create("Sure?", "", nullptr, "Cancel", { "OK" });
    alert->onButtonClicked = [&](int index) { clicked.push_back(index); };
    alert->show();
    f.settle();
    EXPECT_TRUE(f.key("Escape"));
    EXPECT_EQ(clicked, std::vector<int> { 0 });
    EXPECT_EQ(f.app.topAlert(), nullptr);
    EXPECT_EQ(f.navigation->viewControllers().size(), 2u) << "the alert took the Escape";
    EXPECT_TRUE(f.key("Escape"));
    EXPECT_EQ(f.navigation->viewControllers().size(), 1u);

    auto noCancel = AlertView::create("Note", "", nullptr, std::nullopt, { "OK" });
    noCancel->show();
    f.settle();
    EXPECT_FALSE(f.key("Escape")) << "an alert without a cancel button stays";
    EXPECT_EQ(f.app.topAlert(), noCancel.get());
}

TEST(KeyboardFocus, AnAlertTakesTheFocusChainToItsFieldsAndButtons)
{
    KeyboardFixture f;
    f.key("Tab");
    auto alert = AlertView::create("Rename", "\n\n", nullptr, "Cancel", { "Save" });
    auto name = TextField::create({ 12, 50, 260, 30 });
    name->setAccessibilityIdentifier("alertField");
    alert->addSubview(name);
    alert->show();
    f.settle();
    EXPECT_EQ(f.walk(), (std::vector<std::string> { "alertField", "Cancel", "Save" }));
    EXPECT_FALSE(f.key("Ctrl+2")) << "the tabs wait behind an alert";
    EXPECT_EQ(f.tabs->selectedIndex(), 0);
}

TEST(KeyboardFocus, CtrlAndADigitChooseThatTab)
{
    KeyboardFixture f;
    EXPECT_TRUE(f.key("Ctrl+3"));
    EXPECT_EQ(f.tabs->selectedIndex(), 2);
    EXPECT_TRUE(f.key("Ctrl+1"));
    EXPECT_EQ(f.tabs->selectedIndex(), 0);
    EXPECT_FALSE(f.key("Ctrl+4")) << "there are three tabs";
    EXPECT_FALSE(f.key("Ctrl+0"));
    EXPECT_EQ(f.tabs->selectedIndex(), 0);
}

TEST(KeyboardFocus, TheRingShowsOnlyAfterAKeyAndGoesWithATouch)
{
    KeyboardFixture f;
    auto plain = f.window->snapshot(1);
    f.field->becomeFirstResponder();
    f.settle();
    EXPECT_FALSE(f.app.isFocusRingVisible()) << "focus from a touch or the app shows no ring";
    f.key("Tab");
    ASSERT_EQ(f.focused(), "Go");
    EXPECT_TRUE(f.app.isFocusRingVisible());
    auto ringed = f.window->snapshot(1);
    Point corner = f.button->convertToWindow({ -1, 15 });
    auto red
        = [&](const Image& image) { return image.pixelAt(static_cast<int>(corner.x), static_cast<int>(corner.y)).red; };
    EXPECT_NE(red(*ringed), red(*plain)) << "the ring is drawn just outside the button";
    f.fingers.tap({ 160, 190 });
    f.settle();
    EXPECT_FALSE(f.app.isFocusRingVisible());
    EXPECT_EQ(f.app.firstResponder(), nullptr) << "a touch takes the focus from a control that takes no text";
    EXPECT_EQ(red(*f.window->snapshot(1)), red(*plain));
}

TEST(KeyboardFocus, AScreenPresentedFromInsideATabTakesTheChain)
{
    KeyboardFixture f;
    auto graph = std::make_shared<ViewController>();
    auto done = Button::create(Button::Type::RoundedRect, { 10, 10, 90, 30 });
    done->setTitle("Done");
    graph->view()->addSubview(done);
    f.screen->presentModalViewController(graph, false);
    f.settle();
    EXPECT_EQ(f.walk(), std::vector<std::string> { "Done" }) << "not the tabs hidden under it";
}
