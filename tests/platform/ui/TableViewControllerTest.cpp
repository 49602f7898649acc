#include "UiTestSupport.h"

#include "platform/ui/NavigationController.h"
#include "platform/ui/TableViewController.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

/// A list that grows a drawer row and records what its table tells it.
class DrawerList : public TableViewController {
public:
    std::vector<std::string> calls;
    int drawerRow { -1 };
    int rows { 3 };

    int numberOfRowsInSection(TableView&, int) override { return rows; }
    double heightForRowAtIndexPath(TableView&, IndexPath p) override { return p.row == drawerRow ? 90 : 44; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override
    {
        calls.push_back("cell " + p.description());
        auto cell = table.dequeueReusableCellWithIdentifier("Range");
        return cell ? cell : TableViewCell::create(TableViewCellStyle::Value1, "Range");
    }
    void willDisplayCell(TableView&, TableViewCell& cell, IndexPath) override
    {
        cell.setSelectionStyle(TableViewCellSelectionStyle::None);
    }
    void scrollViewWillBeginDragging(ScrollView&) override { calls.push_back("willBeginDragging"); }
    void scrollViewDidEndDragging(ScrollView& s, bool) override
    {
        calls.push_back("didEndDragging " + std::to_string(static_cast<int>(s.contentOffset().y)));
    }
};

}

TEST(TableViewController, LoadsItsTableOnFirstAppearanceAndHearsItsScrolling)
{
    UiFixture ui;
    auto list = std::make_shared<DrawerList>();
    ui.window->setRootViewController(NavigationController::create(list));
    ui.window->layoutTree();
    EXPECT_EQ(list->calls, (std::vector<std::string> { "cell [0, 0]", "cell [0, 1]", "cell [0, 2]" }));
    EXPECT_EQ(list->tableView().cellForRowAtIndexPath({ 0, 1 })->selectionStyle(), TableViewCellSelectionStyle::None);
    list->calls.clear();
    Point top = list->tableView().convertToWindow({ 160, 20 });
    ui.fingers.drag(top, { top.x, top.y + 60 }, 6, 0.3);
    EXPECT_EQ(list->calls, (std::vector<std::string> { "willBeginDragging", "didEndDragging -60" }));
}

TEST(TableViewController, AnEmptyBatchAnimatesNewRowHeights)
{
    UiFixture ui;
    auto list = std::make_shared<DrawerList>();
    ui.window->setRootViewController(list);
    ui.window->layoutTree();
    list->calls.clear();
    auto& table = list->tableView();
    auto third = table.cellForRowAtIndexPath({ 0, 2 });
    list->drawerRow = 1;
    table.beginUpdates();
    table.endUpdates();
    EXPECT_TRUE(list->calls.empty()) << "no cell is asked for again";
    EXPECT_EQ(table.rectForRowAtIndexPath({ 0, 1 }).height(), 90);
    EXPECT_EQ(third->frame().y(), 134) << "the model is final";
    EXPECT_EQ(third->presentationFrame().y(), 88) << "the drawing starts where the row was";
    ui.settle();
    EXPECT_EQ(third->presentationFrame().y(), 134);
    EXPECT_EQ(table.cellForRowAtIndexPath({ 0, 1 })->frame().height(), 90);
}

TEST(TableViewController, EditingReachesTheTable)
{
    UiFixture ui;
    auto list = std::make_shared<DrawerList>();
    ui.window->setRootViewController(list);
    ui.window->layoutTree();
    list->setEditing(true, true);
    EXPECT_TRUE(list->isEditing());
    EXPECT_TRUE(list->tableView().isEditing());
    auto cell = list->tableView().cellForRowAtIndexPath({ 0, 0 });
    EXPECT_TRUE(cell->isEditing());
    ASSERT_NE(cell->editingControl(), nullptr);
    ui.settle();
    EXPECT_EQ(cell->contentView().frame().x(), 32) << "rows indent for the minus";
}

TEST(TableViewController, ACellKeptByAScreenOutlivesItsTable)
{
    std::shared_ptr<TableViewCell> kept;
    {
        UiFixture ui;
        auto list = std::make_shared<DrawerList>();
        ui.window->setRootViewController(list);
        ui.window->layoutTree();
        kept = list->tableView().cellForRowAtIndexPath({ 0, 0 });
    }
    kept->setNeedsLayout();
    kept->layoutIfNeeded();
    SUCCEED();
}
