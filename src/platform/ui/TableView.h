#pragma once

#include "platform/ui/IndexPath.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableUpdatePlan.h"
#include "platform/ui/TableViewCell.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace hestio::platform {

class SwipeGestureRecognizer;
class TableView;

enum class TableViewStyle { Plain, Grouped };
enum class TableViewScrollPosition { None, Top, Middle, Bottom };

/// Where a table's rows come from. Only the row count and the cells are required.
class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(TableView&) { return 1; }
    virtual int numberOfRowsInSection(TableView&, int section) = 0;
    virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath path) = 0;
    virtual std::optional<std::string> titleForHeaderInSection(TableView&, int) { return std::nullopt; }
    virtual std::optional<std::string> titleForFooterInSection(TableView&, int) { return std::nullopt; }
    virtual bool canEditRowAtIndexPath(TableView&, IndexPath) { return true; }
    virtual bool canMoveRowAtIndexPath(TableView&, IndexPath) { return false; }
    virtual void commitEditingStyle(TableView&, TableViewCellEditingStyle, IndexPath) { }
    virtual void moveRowAtIndexPath(TableView&, IndexPath /*from*/, IndexPath /*to*/) { }
    /// What the row stands for, the same for the same item across reloads (a
    /// device's id): a focused row, or a switch in it, keeps the keyboard
    /// focus by it when the list reloads. None: rows are known by their name.
    virtual std::optional<std::string> identityForRowAtIndexPath(TableView&, IndexPath) { return std::nullopt; }
};

/// What a table asks and tells about its rows; every method has a default.
class TableViewDelegate : public ScrollViewDelegate {
public:
    /// The row's height; the default is the table's rowHeight.
    virtual double heightForRowAtIndexPath(TableView& table, IndexPath path);
    /// A negative answer means the table's own default for the style.
    virtual double heightForHeaderInSection(TableView&, int) { return -1; }
    virtual std::shared_ptr<View> viewForHeaderInSection(TableView&, int) { return nullptr; }
    virtual void willDisplayCell(TableView&, TableViewCell&, IndexPath) { }
    virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, IndexPath path) { return path; }
    virtual void didSelectRowAtIndexPath(TableView&, IndexPath) { }
    virtual void didDeselectRowAtIndexPath(TableView&, IndexPath) { }
    virtual void accessoryButtonTappedForRowWithIndexPath(TableView&, IndexPath) { }
    virtual TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView&, IndexPath)
    {
        return TableViewCellEditingStyle::Delete;
    }
    virtual bool shouldIndentWhileEditingRowAtIndexPath(TableView&, IndexPath) { return true; }
    virtual std::string titleForDeleteConfirmationButtonForRowAtIndexPath(TableView&, IndexPath) { return "Delete"; }
    virtual IndexPath targetIndexPathForMoveFromRowAtIndexPath(TableView&, IndexPath /*from*/, IndexPath proposed)
    {
        return proposed;
    }
    virtual void willBeginEditingRowAtIndexPath(TableView&, IndexPath) { }
    virtual void didEndEditingRowAtIndexPath(TableView&, IndexPath) { }
};

/// A vertical list of rows in sections, plain or grouped. It asks its data
/// source only for the rows it shows, reuses cells by identifier, animates
/// batch updates (inserts and deletes with the named row animations), and
/// supports edit mode, moving rows within and across sections, and swipe to
/// delete.
class TableView : public ScrollView {
public:
    static constexpr double rowAnimationDuration = 0.3;
    [[nodiscard]] static std::shared_ptr<TableView> create(Rect frame, TableViewStyle style = TableViewStyle::Plain);
    TableView(Rect frame, TableViewStyle style);
    ~TableView() override;

    std::string className() const override { return "TableView"; }
    TableViewStyle style() const { return m_style; }

    /// Non-owning; the owner outlives the table or clears these.
    TableViewDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TableViewDataSource* dataSource);
    TableViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(TableViewDelegate* delegate) { m_delegate = delegate; }
    ScrollViewDelegate* scrollDelegate() const override { return m_delegate; }

    double rowHeight() const { return m_rowHeight; }
    void setRowHeight(double height);
    std::shared_ptr<View> tableHeaderView() const { return m_tableHeaderView; }
    void setTableHeaderView(std::shared_ptr<View> view);
    bool allowsSelection() const { return m_allowsSelection; }
    void setAllowsSelection(bool allows) { m_allowsSelection = allows; }
    bool allowsSelectionDuringEditing() const { return m_allowsSelectionDuringEditing; }
    void setAllowsSelectionDuringEditing(bool allows) { m_allowsSelectionDuringEditing = allows; }

    // Data
    void reloadData();
    int numberOfSections();
    int numberOfRowsInSection(int section);
    [[nodiscard]] std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);

    // Geometry and lookup (content coordinates)
    Rect rectForRowAtIndexPath(IndexPath path);
    Rect rectForSection(int section);
    std::optional<IndexPath> indexPathForRowAtPoint(Point point);
    std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
    /// The cell shown for a row, none when the row is not on screen.
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(IndexPath path);
    std::vector<std::shared_ptr<TableViewCell>> visibleCells();
    std::vector<IndexPath> indexPathsForVisibleRows();
    void scrollToRowAtIndexPath(IndexPath path, TableViewScrollPosition position, bool animated);

    // Selection
    std::optional<IndexPath> indexPathForSelectedRow() const { return m_selected; }
    void selectRowAtIndexPath(std::optional<IndexPath> path, bool animated, TableViewScrollPosition position);
    void deselectRowAtIndexPath(IndexPath path, bool animated);

    // Batch updates
    void beginUpdates();
    void endUpdates();
    void insertRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation);
    void deleteRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation);
    void reloadRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation);
    void insertSections(const std::vector<int>& sections, TableViewRowAnimation animation);
    void deleteSections(const std::vector<int>& sections, TableViewRowAnimation animation);

    /// One change of a batch, as announced.
    using UpdateRecord = TableViewUpdate;
    using UpdateObserver = std::function<void(const std::vector<UpdateRecord>&)>;
    /// Told of every batch as the table applies it; none by default.
    void setUpdateObserver(UpdateObserver observer) { m_updateObserver = std::move(observer); }

    // Editing
    bool isEditing() const { return m_editing; }
    void setEditing(bool editing, bool animated = false);
    /// The row whose delete confirmation a swipe brought up, if any.
    std::optional<IndexPath> swipedRow() const { return m_swipedRow; }
    /// Hides a delete confirmation that is showing.
    void hideDeleteConfirmation();

    void layoutSubviews() override;
    /// A screen reader scrolls the list as a value: how far down it is,
    /// from the top to as far as it goes, a page a step.
    void describeAccessibility(AccessibleInfo& info) const override;
    bool adjustAccessibleValue(double value) override;

    // A cell's reorder control drives these while a row is dragged.
    void reorderBegan(TableViewCell& cell, const Touch& touch);
    void reorderMoved(TableViewCell& cell, const Touch& touch);
    void reorderEnded(TableViewCell& cell, bool cancelled);

protected:
    void draw(Context& context, const Rect& rect) override;
    void frameSizeDidChange(Size oldSize) override;

private:
    friend class TableViewCell;
    struct Section {
        int rows { 0 };
        std::optional<std::string> header;
        std::optional<std::string> footer;
        std::shared_ptr<View> headerView;
        double headerHeight { 0 };
        double footerHeight { 0 };
        std::vector<double> rowHeights;
        double top { 0 };
        double rowsTop { 0 };
    };

    // TableView.cpp
    void ensureData();
    void rebuildGeometry();
    void rebuildHeaderViews();
    void layoutCells(bool animated);
    std::shared_ptr<TableViewCell> makeCell(IndexPath path);
    void configureCell(TableViewCell& cell, IndexPath path);
    void recycle(const std::shared_ptr<TableViewCell>& cell);
    void userSelectedRow(IndexPath path);
    void cellTouchBegan(TableViewCell& cell, const Touch& touch);
    void cellTouchEnded(TableViewCell& cell, const Touch& touch);
    void cellTouchCancelled(TableViewCell& cell);
    void accessoryTapped(TableViewCell& cell);
    /// Whether a person may pick rows now.
    bool selectable() const;
    /// Moves the keyboard focus from `cell` to the next focusable row
    /// `direction` (+1 or -1) away, scrolling it into view.
    void moveFocusFrom(TableViewCell& cell, int direction);

    // TableViewFocus.cpp
    /// Where the keyboard focus was in the rows, taken before they change.
    struct KeptFocus {
        IndexPath path;
        std::optional<std::string> identity;
        std::string name;
        /// The focused control inside the row (a switch): its identifier and
        /// its place among the row's focusable views; -1 for the row itself.
        std::string control;
        int controlIndex { -1 };
        Rect rectInWindow;
    };
    std::optional<KeptFocus> focusInRows();
    /// Gives the focus back after the rows changed: to the same item's row
    /// (or its control), else to the row now in its place, else to the
    /// screen's nearest control; never silently to nothing.
    void restoreFocus(const KeptFocus& kept);
    std::optional<IndexPath> rowForFocus(const KeptFocus& kept);
    std::optional<IndexPath> neighbourRow(IndexPath path);

    // TableViewUpdates.cpp
    struct LeavingCell {
        std::shared_ptr<TableViewCell> cell;
        TableViewRowAnimation animation;
    };
    struct CellTarget {
        std::shared_ptr<TableViewCell> cell;
        Rect frame;
    };
    void applyUpdates();
    TableUpdatePlan planUpdates(const std::vector<UpdateRecord>& batch);
    std::vector<LeavingCell> moveCellsToNewRows(const TableUpdatePlan& plan);
    std::vector<CellTarget> cellTargetsAfterUpdate(const TableUpdatePlan& plan);
    void animateUpdate(std::vector<CellTarget> targets, std::vector<LeavingCell> leaving, bool animated);

    // TableViewEditing.cpp
    void editingControlTapped(TableViewCell& cell);
    void deleteConfirmed(TableViewCell& cell);
    void handleSwipe();
    IndexPath proposedMoveTarget(IndexPath from, double y);
    void applyMove(IndexPath from, IndexPath to);

    TableViewStyle m_style;
    TableViewDataSource* m_dataSource { nullptr };
    TableViewDelegate* m_delegate { nullptr };
    double m_rowHeight { 44 };
    std::shared_ptr<View> m_tableHeaderView;
    bool m_allowsSelection { true };
    bool m_allowsSelectionDuringEditing { false };

    bool m_dataValid { false };
    std::vector<Section> m_sections;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> m_visible;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> m_reuseQueue;
    std::optional<IndexPath> m_selected;
    std::optional<IndexPath> m_touchedRow;
    bool m_swallowTouch { false };

    int m_updateDepth { 0 };
    std::vector<UpdateRecord> m_pending;
    UpdateObserver m_updateObserver;

    bool m_editing { false };
    std::optional<IndexPath> m_swipedRow;
    std::shared_ptr<SwipeGestureRecognizer> m_swipe;
    struct Reorder {
        IndexPath from;
        std::shared_ptr<TableViewCell> cell;
        double touchStartY { 0 };
        Rect startFrame;
    };
    std::optional<Reorder> m_reorder;
};

}
