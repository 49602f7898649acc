#include "UiTestSupport.h"

#include "platform/ui/Button.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {

/// Rows named by their items, each with a switch; identities (the item
/// with a "#" before it) only when asked for.
class Items : public TableViewDataSource {
public:
    std::vector<std::string> items;
    bool identities { true };
    int numberOfRowsInSection(TableView&, int) override { return static_cast<int>(items.size()); }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCellWithIdentifier("item");
        if (!cell) {
            cell = TableViewCell::create(TableViewCellStyle::Default, "item");
            auto toggle = Switch::create();
            toggle->setAccessibilityIdentifier("switch");
            cell->setAccessoryView(toggle);
        }
        cell->textLabel()->setText(items[static_cast<std::size_t>(path.row)]);
        return cell;
    }
    std::optional<std::string> identityForRowAtIndexPath(TableView&, IndexPath path) override
    {
        if (!identities)
            return std::nullopt;
        return "#" + items[static_cast<std::size_t>(path.row)];
    }
};

}

TEST(TableViewFocus, AReloadKeepsTheFocusOnTheSameItemOrHandsItToANeighbourNeverToNothing)
{
    struct Case {
        const char* what;
        bool identities;
        bool onSwitch;
        std::vector<std::string> after;
        /// What holds the focus after: "row NAME", "switch NAME" or a button's title.
        std::string focused;
        bool byUpdate { false };
    };
    const std::vector<std::string> before { "Fan", "Heater", "Lamp" };
    const Case cases[] = {
        { "the row, moved to the end", true, false, { "Fan", "Lamp", "Kettle", "Heater" }, "row Heater" },
        { "the row, known by its name only", false, false, { "Heater", "Fan", "Lamp" }, "row Heater" },
        { "the switch in the row, moved", true, true, { "Heater", "Fan", "Lamp" }, "switch Heater" },
        { "the item went: the row now in its place", true, false, { "Fan", "Lamp" }, "row Lamp" },
        { "the item went from the end: the row before", true, false, { "Fan", "Heater" }, "row Heater" },
        { "its switch went with it: the neighbour's switch", true, true, { "Fan", "Lamp" }, "switch Lamp" },
        { "every row went: the control below the list", true, false, {}, "Below" },
        { "deleted by an update: the row now in its place", true, false, { "Fan", "Lamp" }, "row Lamp", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hestio::test::UiFixture ui;
        auto above = Button::create(Button::Type::RoundedRect, { 10, 30, 100, 30 });
        above->setTitle("Above");
        auto below = Button::create(Button::Type::RoundedRect, { 10, 420, 100, 30 });
        below->setTitle("Below");
        auto table = TableView::create({ 0, 70, 320, 340 });
        Items items;
        items.items = before;
        items.identities = c.identities;
        table->setDataSource(&items);
        for (std::shared_ptr<View> view : std::vector<std::shared_ptr<View>> { above, table, below })
            ui.window->addSubview(view);
        ui.settle();
        auto heater = table->cellForRowAtIndexPath({ 0, 1 });
        ASSERT_TRUE(heater);
        View& first = c.onSwitch ? *heater->accessoryView() : static_cast<View&>(*heater);
        ASSERT_TRUE(first.becomeFirstResponder());

        items.items = c.after;
        if (c.byUpdate)
            table->deleteRowsAtIndexPaths({ { 0, 1 } }, TableViewRowAnimation::Fade);
        else
            table->reloadData();
        ui.settle();

        auto* focused = dynamic_cast<View*>(ui.app.firstResponder());
        ASSERT_NE(focused, nullptr) << "the focus went to nothing";
        std::string seen = focused->visibleText();
        if (auto* cell = dynamic_cast<TableViewCell*>(focused))
            seen = "row " + cell->textLabel()->text();
        else if (dynamic_cast<Switch*>(focused))
            seen = "switch " + static_cast<TableViewCell*>(focused->superview())->textLabel()->text();
        EXPECT_EQ(seen, c.focused);
        EXPECT_TRUE(focused->visibleRectInWindow()) << "what has the focus is on screen";
    }
}
