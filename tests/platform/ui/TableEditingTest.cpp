#include "UiTestSupport.h"

#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

class Locations : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::string> titles { "Home", "Office" };
    std::vector<std::string> calls;
    int numberOfSectionsInTableView(TableView&) override { return 2; }
    int numberOfRowsInSection(TableView&, int s) override { return s == 0 ? 1 : static_cast<int>(titles.size()) + 1; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath p) override
    {
        auto cell = TableViewCell::create(TableViewCellStyle::Default, p.section == 0 ? "user" : "location");
        if (p.section == 0) {
            cell->textLabel()->setText("demo");
            cell->setAccessoryType(TableViewCellAccessoryType::DetailDisclosureButton);
        } else if (p.row < static_cast<int>(titles.size())) {
            cell->textLabel()->setText(titles[static_cast<std::size_t>(p.row)]);
        } else {
            cell->textLabel()->setText("Add location");
            auto add = Button::create(Button::Type::ContactAdd);
            add->addTarget(ControlEventTouchUpInside, [this](Control&) { calls.push_back("addLocation"); });
            cell->setAccessoryView(add);
        }
        return cell;
    }
    bool canEditRowAtIndexPath(TableView&, IndexPath p) override
    {
        return p.section == 1 && p.row < static_cast<int>(titles.size());
    }
    void commitEditingStyle(TableView& table, TableViewCellEditingStyle, IndexPath p) override
    {
        calls.push_back("delete " + titles[static_cast<std::size_t>(p.row)]);
        table.beginUpdates();
        titles.erase(titles.begin() + p.row);
        table.deleteRowsAtIndexPaths({ p }, TableViewRowAnimation::Right);
        table.endUpdates();
    }
    void accessoryButtonTappedForRowWithIndexPath(TableView&, IndexPath p) override
    {
        calls.push_back("accessory " + p.description());
    }
    std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, IndexPath p) override
    {
        if (p.section == 1)
            return std::nullopt; // location rows are not selectable
        return p;
    }
    void didSelectRowAtIndexPath(TableView&, IndexPath p) override { calls.push_back("select " + p.description()); }
};

struct Fixture : UiFixture {
    Locations data;
    std::shared_ptr<TableView> table { TableView::create({ 0, 20, 320, 460 }, TableViewStyle::Grouped) };
    Fixture()
    {
        table->setDataSource(&data);
        table->setDelegate(&data);
        window->addSubview(table);
        table->reloadData();
        window->layoutTree();
    }
    Point centerOf(View& v) { return v.convertToWindow(v.bounds().center()); }
};

}

TEST(TableEditing, AccessoryButtonsReachTheDelegateOrTheirOwnTarget)
{
    Fixture f;
    auto user = f.table->cellForRowAtIndexPath({ 0, 0 });
    auto* disclosure = user->findByAccessibilityIdentifier("detailDisclosureButton");
    ASSERT_NE(disclosure, nullptr) << f.window->dumpTree();
    f.fingers.tap(f.centerOf(*disclosure));
    auto add = f.table->cellForRowAtIndexPath({ 1, 2 })->accessoryView();
    f.fingers.tap(f.centerOf(*add));
    EXPECT_EQ(f.data.calls, (std::vector<std::string> { "accessory [0, 0]", "addLocation" }));
}

TEST(TableEditing, WillSelectCanRefuseARow)
{
    Fixture f;
    f.fingers.tap(f.centerOf(*f.table->cellForRowAtIndexPath({ 1, 0 })));
    f.fingers.tap(f.centerOf(*f.table->cellForRowAtIndexPath({ 0, 0 })));
    EXPECT_EQ(f.data.calls, (std::vector<std::string> { "select [0, 0]" }));
}

TEST(TableEditing, TheMinusShowsDeleteWhichCommitsAndOnlyEditableRowsGetIt)
{
    Fixture f;
    f.table->setEditing(true, false);
    f.window->layoutTree();
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 1, 2 })->editingControl(), nullptr) << "Add location cannot be deleted";
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 0, 0 })->editingControl(), nullptr);
    auto home = f.table->cellForRowAtIndexPath({ 1, 0 });
    ASSERT_NE(home->editingControl(), nullptr);
    f.fingers.tap(f.centerOf(*home->editingControl()));
    ASSERT_TRUE(home->showingDeleteConfirmation());
    f.window->layoutTree();
    f.fingers.tap(f.centerOf(*home->deleteConfirmationButton()));
    EXPECT_EQ(f.data.calls, (std::vector<std::string> { "delete Home" }));
    EXPECT_EQ(f.table->numberOfRowsInSection(1), 2);
    f.settle();
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 1, 0 })->textLabel()->text(), "Office");
    EXPECT_EQ(home->superview(), nullptr) << "the deleted row's cell has left";
}

TEST(TableEditing, SwipingTheOnlyLocationAwayLeavesTheAddRow)
{
    Fixture f;
    f.data.titles = { "Home" };
    f.table->reloadData();
    f.window->layoutTree();
    auto home = f.table->cellForRowAtIndexPath({ 1, 0 });
    f.fingers.swipe(f.centerOf(*home), -1, 0);
    f.window->layoutTree();
    ASSERT_NE(home->deleteConfirmationButton(), nullptr);
    f.fingers.tap(f.centerOf(*home->deleteConfirmationButton()));
    EXPECT_EQ(f.data.calls, (std::vector<std::string> { "delete Home" }));
    f.settle();
    EXPECT_EQ(f.table->numberOfRowsInSection(1), 1);
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 1, 0 })->textLabel()->text(), "Add location");
}

TEST(TableEditing, ReloadingARowReplacesItsCellAndAMismatchIsRefused)
{
    Fixture f;
    auto before = f.table->cellForRowAtIndexPath({ 1, 1 });
    f.data.titles[1] = "Work";
    f.table->reloadRowsAtIndexPaths({ { 1, 1 } }, TableViewRowAnimation::Fade);
    auto after = f.table->cellForRowAtIndexPath({ 1, 1 });
    EXPECT_NE(after, before);
    EXPECT_EQ(after->textLabel()->text(), "Work");
    f.data.titles.push_back("Gym"); // one row more, announced as a reload only
    EXPECT_THROW(
        f.table->reloadRowsAtIndexPaths({ { 1, 0 } }, TableViewRowAnimation::Fade), InternalInconsistencyException);
}
