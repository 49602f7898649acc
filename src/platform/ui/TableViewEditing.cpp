#include "platform/ui/TableView.h"

#include "platform/ui/Animator.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/SwipeGestureRecognizer.h"

#include <algorithm>

namespace hestio::platform {

void TableView::setEditing(bool editing, bool animated)
{
    if (editing == m_editing)
        return;
    hideDeleteConfirmation();
    m_editing = editing;
    auto apply = [&] {
        for (auto& [path, cell] : m_visible) {
            configureCell(*cell, path);
            cell->setEditing(editing, animated);
            cell->layoutIfNeeded();
        }
    };
    if (animated)
        Animator::animate(rowAnimationDuration, apply);
    else
        apply();
}

void TableView::hideDeleteConfirmation()
{
    for (auto& [path, cell] : m_visible)
        cell->setShowingDeleteConfirmation(false);
    if (m_swipedRow) {
        IndexPath row = *m_swipedRow;
        m_swipedRow.reset();
        if (m_delegate)
            m_delegate->didEndEditingRowAtIndexPath(*this, row);
    }
}

void TableView::editingControlTapped(TableViewCell& cell)
{
    auto path = indexPathForCell(cell);
    if (!path || !m_dataSource)
        return;
    if (cell.editingStyle() == TableViewCellEditingStyle::Insert) {
        m_dataSource->commitEditingStyle(*this, TableViewCellEditingStyle::Insert, *path);
        return;
    }
    if (cell.showingDeleteConfirmation()) {
        cell.setShowingDeleteConfirmation(false);
        return;
    }
    for (auto& [p, other] : m_visible)
        other->setShowingDeleteConfirmation(false);
    std::string title
        = m_delegate ? m_delegate->titleForDeleteConfirmationButtonForRowAtIndexPath(*this, *path) : "Delete";
    cell.setShowingDeleteConfirmation(true, title);
}

void TableView::deleteConfirmed(TableViewCell& cell)
{
    auto path = indexPathForCell(cell);
    if (!path || !m_dataSource)
        return;
    auto keep = self();
    cell.setShowingDeleteConfirmation(false);
    bool wasSwipe = m_swipedRow.has_value();
    m_swipedRow.reset();
    m_dataSource->commitEditingStyle(*this, TableViewCellEditingStyle::Delete, *path);
    if (wasSwipe && m_delegate)
        m_delegate->didEndEditingRowAtIndexPath(*this, *path);
}

void TableView::handleSwipe()
{
    if (m_editing || m_swipe->state() != GestureRecognizer::State::Ended || !m_dataSource)
        return;
    if (m_swipedRow) {
        hideDeleteConfirmation();
        return;
    }
    auto path = indexPathForRowAtPoint(m_swipe->locationInView(this));
    if (!path || !m_dataSource->canEditRowAtIndexPath(*this, *path))
        return;
    auto style
        = m_delegate ? m_delegate->editingStyleForRowAtIndexPath(*this, *path) : TableViewCellEditingStyle::Delete;
    if (style != TableViewCellEditingStyle::Delete)
        return;
    auto cell = cellForRowAtIndexPath(*path);
    if (!cell)
        return;
    cell->setHighlighted(false);
    m_swipedRow = path;
    if (m_delegate)
        m_delegate->willBeginEditingRowAtIndexPath(*this, *path);
    std::string title
        = m_delegate ? m_delegate->titleForDeleteConfirmationButtonForRowAtIndexPath(*this, *path) : "Delete";
    cell->setShowingDeleteConfirmation(true, title);
}

void TableView::reorderBegan(TableViewCell& cell, const Touch& touch)
{
    auto path = indexPathForCell(cell);
    if (!path || !m_editing)
        return;
    m_reorder = Reorder { *path, std::static_pointer_cast<TableViewCell>(cell.shared_from_this()),
        touch.locationInWindow.y, cell.frame() };
    // While a row is dragged the table neither scrolls nor swipes.
    panGestureRecognizer().setEnabled(false);
    m_swipe->setEnabled(false);
    bringSubviewToFront(cell);
    Animator::performWithoutAnimation([&] { cell.setAlpha(0.9); });
}

void TableView::reorderMoved(TableViewCell& cell, const Touch& touch)
{
    if (!m_reorder || m_reorder->cell.get() != &cell)
        return;
    double dy = touch.locationInWindow.y - m_reorder->touchStartY;
    double top = 0, bottom = contentSize().height - cell.frame().height();
    Rect f = m_reorder->startFrame;
    f.origin.y = std::clamp(f.y() + dy, top, std::max(top, bottom));
    Animator::performWithoutAnimation([&] { cell.setFrame(f); });
}

IndexPath TableView::proposedMoveTarget(IndexPath from, double y)
{
    ensureData();
    int section = 0;
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s)
        if (y >= m_sections[static_cast<std::size_t>(s)].top)
            section = s;
    const auto& target = m_sections[static_cast<std::size_t>(section)];
    int row = 0;
    double top = target.rowsTop;
    for (int r = 0; r < target.rows; ++r) {
        double h = target.rowHeights[static_cast<std::size_t>(r)];
        bool isDragged = section == from.section && r == from.row;
        if (!isDragged && top + h / 2 < y)
            ++row;
        top += h;
    }
    return { section, row };
}

void TableView::reorderEnded(TableViewCell& cell, bool cancelled)
{
    if (!m_reorder || m_reorder->cell.get() != &cell)
        return;
    auto reorder = *m_reorder;
    m_reorder.reset();
    panGestureRecognizer().setEnabled(isScrollEnabled());
    m_swipe->setEnabled(true);
    auto keep = self();
    if (!cancelled && m_dataSource) {
        IndexPath to = proposedMoveTarget(reorder.from, cell.frame().midY());
        if (m_delegate)
            to = m_delegate->targetIndexPathForMoveFromRowAtIndexPath(*this, reorder.from, to);
        if (to != reorder.from) {
            m_dataSource->moveRowAtIndexPath(*this, reorder.from, to);
            applyMove(reorder.from, to);
        }
    }
    Animator::animate(0.2, [&] {
        cell.setAlpha(1);
        for (auto& [path, c] : m_visible)
            c->setFrame(rectForRowAtIndexPath(path));
    });
    setNeedsLayout();
}

void TableView::applyMove(IndexPath from, IndexPath to)
{
    ensureData();
    if (from.section < 0 || from.section >= static_cast<int>(m_sections.size()) || to.section < 0
        || to.section >= static_cast<int>(m_sections.size()))
        return;
    // The data source has moved the row; the table follows without asking it again.
    m_sections[static_cast<std::size_t>(from.section)].rows -= 1;
    m_sections[static_cast<std::size_t>(to.section)].rows += 1;
    auto remap = [&](IndexPath p) {
        if (p == from)
            return to;
        if (p.section == from.section && p.row > from.row)
            --p.row;
        if (p.section == to.section && p.row >= to.row)
            ++p.row;
        return p;
    };
    std::map<IndexPath, std::shared_ptr<TableViewCell>> visible;
    for (auto& [path, cell] : m_visible)
        visible[remap(path)] = cell;
    m_visible = std::move(visible);
    if (m_selected)
        m_selected = remap(*m_selected);
    rebuildGeometry();
    for (auto& [path, cell] : m_visible)
        configureCell(*cell, path);
}

}
