#include "UiTestSupport.h"

#include "platform/gfx/Context.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/DrawnText.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

struct ScaleFor {
    explicit ScaleFor(double scale) { setTextScale(scale); }
    ~ScaleFor() { setTextScale(1); }
};

bool fits(const View& view)
{
    auto texts = drawnTextsOf(view);
    return !texts.empty() && std::all_of(texts.begin(), texts.end(), [](const DrawnText& t) { return t.fits; });
}

class Hours : public PickerViewDataSource, public PickerViewDelegate {
public:
    explicit Hours(std::string widest)
        : m_widest(std::move(widest))
    {
    }
    int numberOfComponentsInPickerView(PickerView&) override { return 1; }
    int numberOfRowsInComponent(PickerView&, int) override { return 24; }
    std::string titleForRow(PickerView&, int row, int) override { return row == 12 ? m_widest : "10 PM"; }

private:
    std::string m_widest;
};

}

TEST(LargerText, RowsAndLinesGrowWithTheTextAndStayAsTheyWereAtOne)
{
    for (auto [scale, row, odd] : { std::tuple { 1.0, 44.0, 24.5 }, { 1.5, 66.0, 37.0 }, { 2.0, 88.0, 49.0 } }) {
        ScaleFor larger(scale);
        EXPECT_EQ(heightForText(44), row) << scale;
        EXPECT_EQ(heightForText(24.5), odd) << scale << ": whole points, except at 1";
        Font font = Font::systemFont(17);
        double one = std::ceil(sizeOfText("Heater", font).width);
        EXPECT_EQ(widthForText("Heater", font, 10), one) << scale;
        EXPECT_EQ(widthForText("Heater", font, 500), 500) << scale;
    }
}

TEST(LargerText, AButtonIsAsTallAsItsWrappedTitleNeedsAndItsTitleShowsWhole)
{
    // The device detail's graph button: 135 points wide, 40 high at scale 1.
    Font font = Font::boldSystemFont(15);
    double previous = 0;
    for (double scale : { 1.0, 1.5, 2.0 }) {
        ScaleFor larger(scale);
        double height = buttonHeightForTitle("Energy Used", font, 135, 40);
        auto button = Button::create(Button::Type::RoundedRect, { 0, 0, 135, height });
        button->setTitle("Energy Used");
        EXPECT_TRUE(fits(*button)) << scale << ": " << height;
        if (scale == 1) {
            EXPECT_EQ(height, 40) << "one line as ever";
            EXPECT_EQ(layOutButtonTitle("Energy Used", font, { 135, 40 }).numberOfLines, 1);
        } else {
            EXPECT_GT(height, heightForText(40)) << scale << ": two lines need more than a grown line";
            EXPECT_EQ(layOutButtonTitle("Energy Used", font, { 135, height }).numberOfLines, 0) << scale;
            // At its height for scale 1 the button is too low to wrap: cut.
            button->setFrame({ 0, 0, 135, 40 });
            EXPECT_FALSE(fits(*button)) << scale;
        }
        EXPECT_GT(height, previous);
        previous = height;
    }
    // A title that fits keeps its grown height; padding narrows the room.
    ScaleFor larger(1.5);
    EXPECT_EQ(buttonHeightForTitle("Done", font, 135, 40), 60);
    EXPECT_EQ(buttonHeightForTitle("", font, 135, 40), 60);
    EXPECT_GT(buttonHeightForTitle("Done", font, 60, 40, 10), 60);
}

TEST(LargerText, EveryKindOfTextSaysWhetherItShowsWholeAndInWhatRoom)
{
    UiFixture ui;
    ScaleFor larger(1.5);
    struct Case {
        const char* what;
        std::function<std::shared_ptr<View>()> make;
        bool fits;
    };
    std::vector<Case> cases {
        { "a label one line wide",
            [] {
                auto label = Label::create({ 0, 0, 300, 30 });
                label->setText("Heater");
                return label;
            },
            true },
        { "a label too low",
            [] {
                auto label = Label::create({ 0, 0, 300, 20 });
                label->setText("Heater");
                return label;
            },
            false },
        { "a button's title beside its image",
            [] {
                auto button = Button::create(Button::Type::Custom, { 0, 0, 120, 44 });
                button->setTitle("Heater");
                return button;
            },
            true },
        { "a navigation back button after its arrow",
            [] {
                auto item = BarButtonItem::create("Suggestions", BarButtonItem::Style::Bordered);
                return std::make_shared<NavigationButton>(item, true);
            },
            false },
        { "a field's placeholder",
            [] {
                auto field = TextField::create({ 0, 0, 140, 33 });
                field->setPlaceholder("per kWh");
                return field;
            },
            true },
        { "a field too low for its placeholder",
            [] {
                auto field = TextField::create({ 0, 0, 140, 22 });
                field->setPlaceholder("per kWh");
                return field;
            },
            false },
        { "the tab bar's fixed titles",
            [] {
                auto bar = TabBar::create();
                bar->setTabs({ { "Suggestions" }, { "Home" }, { "Devices" }, { "Schedule" }, { "Log" } });
                return bar;
            },
            true },
    };
    for (const auto& c : cases) {
        auto view = c.make();
        auto texts = drawnTextsOf(*view);
        ASSERT_EQ(texts.size(), 1U + (dynamic_cast<TabBar*>(view.get()) ? 4 : 0)) << c.what;
        EXPECT_EQ(fits(*view), c.fits) << c.what << ": needs " << texts[0].needed.width << "x" << texts[0].needed.height
                                       << ", has " << texts[0].room.width() << "x" << texts[0].room.height();
    }

    // A wheel's rows: a line as tall as the larger text, a title wider than
    // its wheel is cut.
    for (auto [widest, whole] :
        { std::pair { "12 AM", true }, { "Twelve o'clock midnight, the day's start", false } }) {
        Hours hours(widest);
        auto picker = PickerView::create();
        picker->setDataSource(&hours);
        picker->setDelegate(&hours);
        picker->selectRow(12, 0);
        auto texts = drawnTextsOf(*picker);
        ASSERT_EQ(texts.size(), 5U) << "the selected row and two on either side";
        EXPECT_EQ(texts[2].text, widest);
        EXPECT_EQ(texts[2].fits, whole) << widest;
        EXPECT_TRUE(texts[0].fits);
        picker->setDataSource(nullptr);
        picker->setDelegate(nullptr);
    }
}

TEST(LargerText, AlertButtonsStackAndSectionCaptionsWrapOnlyWhenTheTextIsLarger)
{
    UiFixture ui;
    for (double scale : { 1.0, 1.5 }) {
        ScaleFor larger(scale);
        auto alert = AlertView::create("Export Saved", "The files are in Hestio.", nullptr, "OK", { "Open Folder" });
        alert->setFrame(alert->preferredFrame({ 0, 0, 320, 480 }));
        alert->layoutSubviews();
        Rect ok = alert->buttonAtIndex(0)->frame(), open = alert->buttonAtIndex(1)->frame();
        if (scale == 1) {
            EXPECT_EQ(ok.y(), open.y()) << "side by side";
        } else {
            EXPECT_LT(open.maxY(), ok.minY() + 0.5) << "stacked, the cancel button last";
            EXPECT_TRUE(fits(*alert->buttonAtIndex(1)));
        }

        auto table = TableView::create({ 0, 0, 320, 400 }, TableViewStyle::Grouped);
        struct Source : TableViewDataSource {
            int numberOfSectionsInTableView(TableView&) override { return 1; }
            int numberOfRowsInSection(TableView&, int) override { return 1; }
            std::optional<std::string> titleForHeaderInSection(TableView&, int) override
            {
                return "Suggested Current Actions";
            }
            std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath) override
            {
                return TableViewCell::create(TableViewCellStyle::Default, "");
            }
        } source;
        table->setDataSource(&source);
        ui.window->addSubview(table);
        table->layoutSubviews();
        auto headers = table->findAll([](const View& v) { return v.className() == "TableSectionHeader"; });
        ASSERT_EQ(headers.size(), 1U);
        if (scale == 1)
            EXPECT_EQ(headers[0]->frame(), (Rect { 20, 14, 280, 24 })) << "as it always was";
        else
            EXPECT_TRUE(fits(*headers[0])) << "two lines in a taller header";
        table->removeFromSuperview();
        table->setDataSource(nullptr);
    }
}
