#include "UiTestSupport.h"

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

TEST(Button, TouchUpInsideFiresOnlyWhenTheFingerLiftsOverIt)
{
    UiFixture ui;
    auto button = Button::create(Button::Type::RoundedRect, { 20, 100, 120, 40 });
    ui.window->addSubview(button);
    int taps = 0, downs = 0;
    button->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    button->addTarget(ControlEventTouchDown, [&](Control&) { ++downs; });
    ui.fingers.tap({ 80, 120 });
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(downs, 1);
    ui.fingers.drag({ 80, 120 }, { 80, 300 }, 4, 0.2); // lifted far away
    EXPECT_EQ(taps, 1);
    button->setEnabled(false);
    ui.fingers.tap({ 80, 120 });
    EXPECT_EQ(taps, 1);
}

TEST(Button, TitlesFallBackToTheNormalState)
{
    auto button = Button::create();
    button->setTitle("Power Draw");
    button->setTitle("Pressed", ControlState::Highlighted);
    EXPECT_EQ(button->title(ControlState::Disabled), "Power Draw");
    EXPECT_EQ(button->currentTitle(), "Power Draw");
    button->setHighlighted(true);
    EXPECT_EQ(button->currentTitle(), "Pressed");
    EXPECT_EQ(button->visibleText(), "Pressed");
}

TEST(Switch, ATapFlipsItAndReportsTheChangeButSettingDoesNot)
{
    UiFixture ui;
    auto toggle = Switch::create({ 100, 100, 10, 10 });
    EXPECT_EQ(toggle->frame().size, Switch::defaultSize);
    ui.window->addSubview(toggle);
    std::vector<bool> reports;
    toggle->addTarget(ControlEventValueChanged, [&](Control& c) { reports.push_back(static_cast<Switch&>(c).isOn()); });
    toggle->setOn(true);
    EXPECT_TRUE(reports.empty());
    ui.fingers.tap({ 130, 110 });
    EXPECT_EQ(reports, (std::vector<bool> { false }));
    ui.fingers.drag({ 105, 110 }, { 175, 110 }, 4, 0.2); // slid to the right: on
    EXPECT_EQ(reports, (std::vector<bool> { false, true }));
    ui.fingers.drag({ 105, 110 }, { 175, 110 }, 4, 0.2); // already on: no report
    EXPECT_EQ(reports.size(), 2u);
}

TEST(Slider, DraggingSendsValuesAndLiftingInsideSendsTouchUp)
{
    UiFixture ui;
    auto slider = Slider::create({ 10, 100, 223, 23 });
    slider->setMinimumValue(0);
    slider->setMaximumValue(100);
    ui.window->addSubview(slider);
    std::vector<int> values;
    int stopped = -1;
    slider->addTarget(ControlEventValueChanged,
        [&](Control& c) { values.push_back(static_cast<int>(static_cast<Slider&>(c).value())); });
    slider->addTarget(
        ControlEventTouchUpInside, [&](Control& c) { stopped = static_cast<int>(static_cast<Slider&>(c).value()); });
    Point start = slider->convertToWindow({ slider->thumbCenterX(0), 11 });
    Point end = slider->convertToWindow({ slider->thumbCenterX(42.7), 11 });
    ui.fingers.drag(start, end, 5, 0.2);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), 42);
    EXPECT_EQ(stopped, 42);
    EXPECT_NEAR(slider->value(), 42.7, 1e-6);
}

TEST(Slider, ValuesAreClampedToTheRange)
{
    auto slider = Slider::create({ 0, 0, 200, 23 });
    const struct {
        double min, max, set, expected;
    } cases[] = { { 0, 100, 120, 100 }, { 0, 100, -5, 0 }, { 10, 20, 15, 15 }, { 5, 5, 7, 5 } };
    for (auto& c : cases) {
        slider->setMinimumValue(c.min);
        slider->setMaximumValue(c.max);
        slider->setValue(c.set);
        EXPECT_EQ(slider->value(), c.expected) << c.min << ".." << c.max << " set " << c.set;
    }
}

TEST(ActivityIndicator, HidesWhileStopped)
{
    UiFixture ui;
    auto spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
    ui.window->addSubview(spinner);
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    EXPECT_TRUE(ui.app.animator().hasRunningAnimations()) << "the host keeps drawing while it spins";
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    EXPECT_FALSE(ui.app.animator().hasRunningAnimations());
    spinner->setHidesWhenStopped(false);
    EXPECT_FALSE(spinner->isHidden());
}

TEST(ImageView, ShowsTheHighlightedImageWhileHighlighted)
{
    auto bulb = ImageView::create({ 0, 0, 90, 120 });
    bulb->setImageNamed("lightbulb");
    bulb->setHighlightedImageNamed("lightbulb-on");
    EXPECT_NE(bulb->image(), nullptr);
    EXPECT_NE(bulb->highlightedImage(), nullptr);
    EXPECT_EQ(bulb->dumpTree(), "ImageView (0,0,90,120) image=lightbulb\n");
    bulb->setHighlighted(true);
    EXPECT_EQ(bulb->dumpTree(), "ImageView (0,0,90,120) image=lightbulb-on highlighted\n");
}

TEST(Label, SizeToFitMeasuresTheText)
{
    auto label = Label::create({ 0, 0, 10, 10 });
    label->setText("Last updated: 12-06-12 09:41 AM");
    label->setFont(Font::boldSystemFont(13));
    label->sizeToFit();
    EXPECT_GT(label->frame().width(), 150);
    EXPECT_LT(label->frame().width(), 260);
    EXPECT_GT(label->frame().height(), 12);
    EXPECT_LT(label->frame().height(), 22);
}

namespace {

class Places : public PickerViewDataSource, public PickerViewDelegate {
public:
    std::vector<std::string> names { "Home", "Office", "Gym" };
    std::vector<int> selections;
    int numberOfComponentsInPickerView(PickerView&) override { return 1; }
    int numberOfRowsInComponent(PickerView&, int) override { return static_cast<int>(names.size()); }
    std::string titleForRow(PickerView&, int row, int) override { return names[static_cast<std::size_t>(row)]; }
    void didSelectRow(PickerView&, int row, int) override { selections.push_back(row); }
};

}

TEST(PickerView, TappingARowBelowTheMiddleSelectsIt)
{
    UiFixture ui;
    Places places;
    auto picker = PickerView::create({ 0, 264, 320, 216 });
    picker->setDataSource(&places);
    picker->setDelegate(&places);
    ui.window->addSubview(picker);
    EXPECT_EQ(picker->selectedRowInComponent(0), 0);
    EXPECT_EQ(picker->visibleText(), "Home");
    ui.fingers.tap({ 160, 264 + 108 + PickerView::rowHeight });
    EXPECT_EQ(places.selections, (std::vector<int> { 1 }));
    ui.fingers.tap({ 160, 264 + 108 + 2 * PickerView::rowHeight }); // past the end: the last row
    EXPECT_EQ(places.selections, (std::vector<int> { 1, 2 }));
    picker->selectRow(0, 0);
    EXPECT_EQ(places.selections.size(), 2u) << "selecting in code tells nobody";
}

TEST(DatePicker, ShowsAndChangesTheTimeInItsZone)
{
    UiFixture ui;
    auto picker = DatePicker::create();
    picker->setMode(DatePicker::Mode::Time);
    picker->setTimeZone(TimeZone::named("America/New_York"));
    picker->setDate(Date(1354752000)); // 2012-12-06 00:00 UTC = 19:00 the day before in New York
    EXPECT_EQ(picker->visibleText(), "7:00 PM");
    int changes = 0;
    picker->addTarget(ControlEventValueChanged, [&](Control&) { ++changes; });
    picker->userSelectTime(7, 45);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(picker->visibleText(), "7:45 AM");
    EXPECT_EQ(picker->date().timeIntervalSince1970(), 1354711500); // 2012-12-05 07:45 EST
}
