#include "UiTestSupport.h"
#include "support/UiObservers.h"

#include "platform/gfx/GlyphCoverage.h"
#include "platform/gfx/Image.h"
#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

/// Rows held as text per section; records every cell request and callback.
class Rooms : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> rows;
    std::vector<IndexPath> cellRequests;
    std::vector<std::string> calls;
    bool movable { false };
    TableViewCellEditingStyle style { TableViewCellEditingStyle::Delete };

    int numberOfSectionsInTableView(TableView&) override { return static_cast<int>(rows.size()); }
    int numberOfRowsInSection(TableView&, int s) override
    {
        return static_cast<int>(rows[static_cast<std::size_t>(s)].size());
    }
    std::optional<std::string> titleForHeaderInSection(TableView&, int s) override
    {
        return s < static_cast<int>(titles.size()) ? std::optional(titles[static_cast<std::size_t>(s)]) : std::nullopt;
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override
    {
        cellRequests.push_back(p);
        auto cell = table.dequeueReusableCellWithIdentifier("row");
        if (!cell)
            cell = TableViewCell::create(TableViewCellStyle::Default, "row");
        cell->textLabel()->setText(rows[static_cast<std::size_t>(p.section)][static_cast<std::size_t>(p.row)]);
        return cell;
    }
    bool canMoveRowAtIndexPath(TableView&, IndexPath) override { return movable; }
    void moveRowAtIndexPath(TableView&, IndexPath from, IndexPath to) override
    {
        calls.push_back("move " + from.description() + " -> " + to.description());
        auto item = rows[static_cast<std::size_t>(from.section)][static_cast<std::size_t>(from.row)];
        auto& source = rows[static_cast<std::size_t>(from.section)];
        source.erase(source.begin() + from.row);
        auto& target = rows[static_cast<std::size_t>(to.section)];
        target.insert(target.begin() + to.row, item);
    }
    void commitEditingStyle(TableView&, TableViewCellEditingStyle s, IndexPath p) override
    {
        calls.push_back(std::string(s == TableViewCellEditingStyle::Delete ? "delete " : "insert ") + p.description());
    }
    TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView&, IndexPath) override { return style; }
    void didSelectRowAtIndexPath(TableView&, IndexPath p) override { calls.push_back("select " + p.description()); }
};

struct TableFixture : UiFixture {
    Rooms rooms;
    std::shared_ptr<TableView> table;
    explicit TableFixture(TableViewStyle style = TableViewStyle::Plain)
    {
        table = TableView::create({ 0, 20, 320, 460 }, style);
        table->setDataSource(&rooms);
        table->setDelegate(&rooms);
        window->addSubview(table);
    }
    std::string text(IndexPath p)
    {
        auto cell = table->cellForRowAtIndexPath(p);
        return cell ? cell->textLabel()->text() : "<none>";
    }
    Point centerOf(IndexPath p) { return table->convertToWindow(table->rectForRowAtIndexPath(p).center()); }
};

std::vector<std::string> numbered(const std::string& prefix, int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(prefix + std::to_string(i));
    return out;
}

}

TEST(TableView, AsksOnlyForTheRowsOnScreenAndReusesCells)
{
    TableFixture f;
    f.rooms.rows = { numbered("r", 100) };
    f.table->reloadData();
    f.table->layoutIfNeeded();
    // 460 points of 44-point rows: rows 0…10 are at least partly visible.
    ASSERT_EQ(f.rooms.cellRequests.size(), 11u);
    EXPECT_EQ(f.rooms.cellRequests.back(), (IndexPath { 0, 10 }));
    auto first = f.table->cellForRowAtIndexPath({ 0, 0 });
    f.rooms.cellRequests.clear();
    f.table->setContentOffset({ 0, 44 * 50 });
    f.table->layoutIfNeeded();
    EXPECT_EQ(f.rooms.cellRequests.front(), (IndexPath { 0, 50 }));
    EXPECT_EQ(f.text({ 0, 50 }), "r50");
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 0, 0 }), nullptr);
    auto visible = f.table->visibleCells();
    EXPECT_NE(std::find(visible.begin(), visible.end(), first), visible.end()) << "the first cell is reused";
}

TEST(TableView, BatchUpdatesAskOnlyForInsertedRowsAndKeepTheOthers)
{
    TableFixture f;
    f.rooms.rows = { { "a", "b", "c" }, { "x" } };
    f.table->reloadData();
    f.table->layoutIfNeeded();
    auto cellB = f.table->cellForRowAtIndexPath({ 0, 1 });
    f.rooms.cellRequests.clear();
    hestio::test::TableUpdateLog updates(*f.table);

    f.table->beginUpdates();
    f.rooms.rows[0].insert(f.rooms.rows[0].begin(), "new");
    f.table->insertRowsAtIndexPaths({ { 0, 0 } }, TableViewRowAnimation::Top);
    f.rooms.rows[1].erase(f.rooms.rows[1].begin());
    f.table->deleteRowsAtIndexPaths({ { 1, 0 } }, TableViewRowAnimation::Right);
    f.table->endUpdates();

    EXPECT_EQ(f.rooms.cellRequests, (std::vector<IndexPath> { { 0, 0 } }));
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 0, 2 }), cellB) << "b moved down one row";
    EXPECT_EQ(f.table->numberOfRowsInSection(1), 0);
    ASSERT_EQ(updates.records().size(), 2u);
    EXPECT_EQ(updates.records()[0].animation, TableViewRowAnimation::Top);
    EXPECT_EQ(updates.records()[1].animation, TableViewRowAnimation::Right);
    EXPECT_EQ(updates.batches(), 1);
    f.settle();
    EXPECT_EQ(f.text({ 0, 0 }), "new");
    EXPECT_EQ(f.table->cellForRowAtIndexPath({ 0, 0 })->frame(), f.table->rectForRowAtIndexPath({ 0, 0 }));
}

TEST(TableView, LeavingRowsSlideOutAndTheSelectionFollowsItsRow)
{
    TableFixture f;
    f.rooms.rows = { { "a", "b", "c" } };
    f.table->reloadData();
    f.table->layoutIfNeeded();
    f.table->selectRowAtIndexPath(IndexPath { 0, 2 }, false, TableViewScrollPosition::None);
    auto leaving = f.table->cellForRowAtIndexPath({ 0, 0 });
    Rect was = leaving->frame();

    f.table->beginUpdates();
    f.rooms.rows[0].erase(f.rooms.rows[0].begin());
    f.table->deleteRowsAtIndexPaths({ { 0, 0 } }, TableViewRowAnimation::Right);
    f.rooms.rows[0].insert(f.rooms.rows[0].begin(), { "x", "y" });
    f.table->insertRowsAtIndexPaths({ { 0, 0 }, { 0, 1 } }, TableViewRowAnimation::Left);
    f.table->endUpdates();

    EXPECT_EQ(f.table->indexPathForSelectedRow(), (IndexPath { 0, 3 })) << "c went from row 2 to row 3";
    EXPECT_EQ(leaving->frame(), was.offsetBy(320, 0)) << "slid out to the right";
    EXPECT_EQ(leaving->superview(), f.table.get()) << "shown until the animation ends";
    f.settle();
    EXPECT_EQ(leaving->superview(), nullptr);
    EXPECT_EQ(f.text({ 0, 0 }), "x");
    EXPECT_EQ(f.text({ 0, 3 }), "c");
    EXPECT_TRUE(f.table->cellForRowAtIndexPath({ 0, 3 })->isSelected());

    // Without animation the row goes at once, and a selected row deleted
    // leaves nothing selected.
    auto gone = f.table->cellForRowAtIndexPath({ 0, 3 });
    f.rooms.rows[0].pop_back();
    f.table->deleteRowsAtIndexPaths({ { 0, 3 } }, TableViewRowAnimation::None);
    EXPECT_EQ(gone->superview(), nullptr);
    EXPECT_FALSE(f.table->indexPathForSelectedRow());
}

TEST(TableView, AnUpdateThatDisagreesWithTheDataSourceIsRefused)
{
    TableFixture f;
    f.rooms.rows = { { "a", "b" } };
    f.table->reloadData();
    f.table->layoutIfNeeded();
    f.rooms.rows[0].push_back("c"); // added, but two rows announced
    try {
        f.table->insertRowsAtIndexPaths({ { 0, 0 }, { 0, 1 } }, TableViewRowAnimation::Fade);
        FAIL() << "no exception";
    } catch (const InternalInconsistencyException& e) {
        EXPECT_STREQ(e.what(),
            "Invalid update: invalid number of rows in section 0. The number of rows contained in an existing section "
            "after the update (3) must be equal to the number of rows contained in that section before the update (2), "
            "plus or minus the number of rows inserted or deleted from that section (2 inserted, 0 deleted).");
    }
}

TEST(TableView, DeletingTheLastRowOfASectionWithItsSection)
{
    TableFixture f;
    f.rooms.titles = { "Den", "Kitchen" };
    f.rooms.rows = { { "lamp" }, { "kettle", "toaster" } };
    f.table->reloadData();
    f.table->layoutIfNeeded();
    f.rooms.rows.erase(f.rooms.rows.begin());
    f.rooms.titles.erase(f.rooms.titles.begin());
    f.table->deleteSections({ 0 }, TableViewRowAnimation::Right);
    EXPECT_EQ(f.table->numberOfSections(), 1);
    EXPECT_EQ(f.text({ 0, 1 }), "toaster");
}

TEST(TableView, TappingARowSelectsItAndDeselectingClearsIt)
{
    TableFixture f;
    f.rooms.rows = { { "a", "b" } };
    f.table->reloadData();
    f.window->layoutTree();
    f.fingers.tap(f.centerOf({ 0, 1 }));
    EXPECT_EQ(f.rooms.calls, (std::vector<std::string> { "select [0, 1]" }));
    EXPECT_EQ(f.table->indexPathForSelectedRow(), (IndexPath { 0, 1 }));
    EXPECT_TRUE(f.table->cellForRowAtIndexPath({ 0, 1 })->isSelected());
    f.table->deselectRowAtIndexPath({ 0, 1 }, true);
    EXPECT_FALSE(f.table->indexPathForSelectedRow());
    EXPECT_FALSE(f.table->cellForRowAtIndexPath({ 0, 1 })->isSelected());
}

TEST(TableView, SelectionDuringEditingOnlyWhenAllowed)
{
    TableFixture f;
    f.rooms.rows = { { "a", "b" } };
    f.rooms.style = TableViewCellEditingStyle::None;
    f.table->reloadData();
    f.table->setEditing(true, false);
    f.window->layoutTree();
    f.fingers.tap(f.centerOf({ 0, 0 }));
    EXPECT_TRUE(f.rooms.calls.empty());
    f.table->setAllowsSelectionDuringEditing(true);
    f.fingers.tap(f.centerOf({ 0, 0 }));
    EXPECT_EQ(f.rooms.calls, (std::vector<std::string> { "select [0, 0]" }));
}

TEST(TableView, DraggingTheGripMovesARowAcrossSections)
{
    TableFixture f;
    f.rooms.titles = { "Bedroom", "Kitchen", "Garage" };
    f.rooms.rows = { { "lamp", "fan" }, { "kettle" }, {} };
    f.rooms.movable = true;
    f.rooms.style = TableViewCellEditingStyle::None;
    f.table->reloadData();
    f.table->setEditing(true, false);
    f.window->layoutTree();
    auto cell = f.table->cellForRowAtIndexPath({ 0, 0 });
    ASSERT_NE(cell->reorderControl(), nullptr) << f.window->dumpTree();
    EXPECT_EQ(cell->editingControl(), nullptr) << "style none shows no minus";

    // Drag "lamp" by its grip into the empty Garage section.
    Point grip = cell->reorderControl()->convertToWindow(cell->reorderControl()->bounds().center());
    Rect garage = f.table->rectForSection(2);
    Point target { grip.x, f.table->convertToWindow({ 0, garage.maxY() - 5 }).y };
    f.fingers.drag(grip, target, 12, 0.5);
    ASSERT_EQ(f.rooms.calls, (std::vector<std::string> { "move [0, 0] -> [2, 0]" })) << f.window->dumpTree();
    EXPECT_EQ(f.table->numberOfRowsInSection(0), 1);
    EXPECT_EQ(f.table->numberOfRowsInSection(2), 1);
    f.settle();
    EXPECT_EQ(f.text({ 2, 0 }), "lamp");
    EXPECT_EQ(f.text({ 0, 0 }), "fan");

    // A row dropped where it started moves nothing.
    f.rooms.calls.clear();
    auto fan = f.table->cellForRowAtIndexPath({ 0, 0 });
    Point fanGrip = fan->reorderControl()->convertToWindow(fan->reorderControl()->bounds().center());
    f.fingers.drag(fanGrip, { fanGrip.x, fanGrip.y + 5 }, 3, 0.1);
    EXPECT_TRUE(f.rooms.calls.empty()) << "dropped where it was: no move";
}

TEST(TableView, SwipeToDeleteShowsTheButtonThatCommits)
{
    TableFixture f;
    f.rooms.rows = { { "home", "work" } };
    f.table->reloadData();
    f.window->layoutTree();
    f.fingers.swipe(f.centerOf({ 0, 1 }), -1, 0);
    EXPECT_EQ(f.table->swipedRow(), (IndexPath { 0, 1 }));
    auto cell = f.table->cellForRowAtIndexPath({ 0, 1 });
    ASSERT_TRUE(cell->showingDeleteConfirmation());
    EXPECT_TRUE(f.rooms.calls.empty()) << "the swipe selects nothing";
    f.window->layoutTree();
    Button* button = cell->deleteConfirmationButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->currentTitle(), "Delete");
    f.fingers.tap(button->convertToWindow(button->bounds().center()));
    EXPECT_EQ(f.rooms.calls, (std::vector<std::string> { "delete [0, 1]" }));
    EXPECT_FALSE(f.table->swipedRow());
}

TEST(TableView, ATapElsewhereOnlyHidesTheDeleteButton)
{
    TableFixture f;
    f.rooms.rows = { { "home", "work" } };
    f.table->reloadData();
    f.window->layoutTree();
    f.fingers.swipe(f.centerOf({ 0, 0 }), 1, 0);
    ASSERT_TRUE(f.table->swipedRow());
    f.fingers.tap(f.centerOf({ 0, 1 }));
    EXPECT_FALSE(f.table->swipedRow());
    EXPECT_TRUE(f.rooms.calls.empty());
}

TEST(TableView, RowsThatCannotBeDeletedIgnoreSwipes)
{
    TableFixture f;
    f.rooms.rows = { { "drawer" } };
    f.rooms.style = TableViewCellEditingStyle::None;
    f.table->reloadData();
    f.window->layoutTree();
    f.fingers.swipe(f.centerOf({ 0, 0 }), -1, 0);
    EXPECT_FALSE(f.table->swipedRow());
}

TEST(TableView, GroupedSectionsHaveTitledHeadersAndRoundedEnds)
{
    TableFixture f(TableViewStyle::Grouped);
    f.rooms.titles = { "Signed in as: demo", "" };
    f.rooms.rows = { { "Log Out" }, { "Type", "Household", "Other" } };
    f.table->reloadData();
    f.window->layoutTree();
    EXPECT_NE(f.table->findByText("Signed in as: demo"), nullptr);
    EXPECT_EQ(f.table->rectForRowAtIndexPath({ 0, 0 }).y(), 46);
    EXPECT_EQ(f.table->rectForRowAtIndexPath({ 1, 0 }).y(), 46 + 44 + 10 + 10);
    EXPECT_EQ(f.table->contentSize().height, 46 + 44 + 10 + 10 + 3 * 44 + 10);
}

namespace {

/// Three rooms in a plain table: a header of 22 points above 10, 5 and 30
/// rows of 44. Kitchen's section ends at 462, Office's at 704.
struct StickyFixture : TableFixture {
    explicit StickyFixture(TableViewStyle style = TableViewStyle::Plain)
        : TableFixture(style)
    {
        rooms.titles = { "Kitchen", "Office", "Garage" };
        rooms.rows = { numbered("k", 10), numbered("o", 5), numbered("g", 30) };
        table->reloadData();
        window->layoutTree();
    }
    double headerY(const std::string& title, double offset)
    {
        table->setContentOffset({ 0, offset });
        table->layoutIfNeeded();
        View* header = table->findByText(title);
        return header ? header->frame().y() : -1000;
    }
};

}

TEST(TableView, APlainSectionsHeaderStaysAtTheTopUntilTheNextPushesItUp)
{
    StickyFixture f;
    struct Case {
        double offset;
        double kitchen;
        double office;
    };
    const Case cases[] = {
        { 0, 0, 462 },
        { 100, 100, 462 },
        // Kitchen's header ends exactly where Office's begins…
        { 440, 440, 462 },
        // …and from there is pushed up point for point.
        { 441, 440, 462 },
        { 450, 440, 462 },
        { 462, 440, 462 },
        { 500, 440, 500 },
        // Office's header is pushed by Garage's: its section ends at 704.
        { 682, 440, 682 },
        { 690, 440, 682 },
        // Pulled down past the top, headers stay with their sections.
        { -50, 0, 462 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f.headerY("Kitchen", c.offset), c.kitchen) << "offset " << c.offset;
        EXPECT_EQ(f.headerY("Office", c.offset), c.office) << "offset " << c.offset;
    }
    // The last section's header stays at the top to the end of the list.
    double end = 704 + 22 + 30 * 44;
    EXPECT_EQ(f.headerY("Garage", end - 460), end - 460);
    EXPECT_EQ(f.table->contentSize().height, end);
}

TEST(TableView, AStuckHeaderIsDrawnOverTheRowsUnderIt)
{
    StickyFixture f;
    f.headerY("Kitchen", 200);
    // Rows scrolled under the header are still shown, below it in the views.
    auto cell = f.table->cellForRowAtIndexPath({ 0, 4 });
    ASSERT_TRUE(cell);
    const auto& views = f.table->subviews();
    auto index = [&](const View* v) {
        return std::find_if(views.begin(), views.end(), [&](const auto& s) { return s.get() == v; }) - views.begin();
    };
    EXPECT_LT(index(cell.get()), index(f.table->findByText("Kitchen")));
}

TEST(TableView, AContentInsetAtTheTopKeepsHeadersInTheirPlace)
{
    StickyFixture f;
    f.table->setContentInset({ 60, 0, 0, 0 });
    EXPECT_EQ(f.headerY("Kitchen", -60), 0);
    EXPECT_EQ(f.headerY("Kitchen", 40), 100) << "stuck below the inset";
}

TEST(TableView, GroupedHeadersScrollWithTheirSections)
{
    StickyFixture f(TableViewStyle::Grouped);
    double kitchen = f.headerY("Kitchen", 0);
    double office = f.headerY("Office", 0);
    for (double offset : { 100.0, 450.0, 600.0 }) {
        EXPECT_EQ(f.headerY("Kitchen", offset), kitchen) << "offset " << offset;
        EXPECT_EQ(f.headerY("Office", offset), office) << "offset " << offset;
    }
}

TEST(TableView, NamesInEveryScriptAndEmojiShowWithoutBoxes)
{
    TableFixture f;
    f.rooms.titles = { "Kitchen \U0001F373" };
    f.rooms.rows = { {
        "Fridge",
        "\u062b\u0644\u0627\u062c\u0629 \u0627\u0644\u0645\u0637\u0628\u062e", // Arabic: the kitchen's fridge
        "\u53a8\u623f\u7684\u51b0\u7bb1", // Chinese: the kitchen's fridge
        "\u0930\u0938\u094b\u0908 \u0915\u093e \u092b\u094d\u0930\u093f\u091c", // Devanagari: the kitchen's fridge
        "Lamp \U0001F4A1\U0001F525",
    } };
    f.table->reloadData();
    f.window->layoutTree();
    auto image = f.window->snapshot(2.0);
    EXPECT_TRUE(image->writePng(std::string(HESTIO_BINARY_DIR) + "/table-scripts.png"));

    for (const auto& name : f.rooms.rows[0])
        EXPECT_EQ(missingGlyphCount(name, Font::boldSystemFont(20)), 0) << name;
    // Every row shows dark ink where its name is; only the emoji row has colour.
    for (int row = 0; row < 5; ++row) {
        Rect r = f.table->convertRectToView(f.table->rectForRowAtIndexPath({ 0, row }), nullptr);
        int ink = 0, coloured = 0;
        for (int y = int(r.minY() * 2) + 4; y < int(r.maxY() * 2) - 4; ++y)
            for (int x = 20; x < 500; ++x) {
                Color c = image->pixelAt(x, y);
                double spread = std::max({ c.red, c.green, c.blue }) - std::min({ c.red, c.green, c.blue });
                ink += std::max({ c.red, c.green, c.blue }) < 0.3;
                coloured += spread > 0.3;
            }
        EXPECT_GT(ink, 60) << "row " << row;
        if (row == 4)
            EXPECT_GT(coloured, 200) << "the emoji are in colour";
        else
            EXPECT_EQ(coloured, 0) << "row " << row;
    }
}
