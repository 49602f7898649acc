#include "platform/ui/TableView.h"

#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"

#include <algorithm>

namespace hestio::platform {

namespace {

    using Kind = TableViewUpdate::Kind;

    /// Where a row starts (inserted) or ends (deleted) for a row animation.
    struct Offstage {
        Rect frame;
        double alpha;
    };

    Offstage offstage(const Rect& frame, TableViewRowAnimation animation, double width)
    {
        switch (animation) {
        case TableViewRowAnimation::Right:
            return { frame.offsetBy(width, 0), 1 };
        case TableViewRowAnimation::Left:
            return { frame.offsetBy(-width, 0), 1 };
        case TableViewRowAnimation::Top:
            return { frame.offsetBy(0, -frame.height()), 0 };
        case TableViewRowAnimation::Bottom:
            return { frame.offsetBy(0, frame.height()), 0 };
        case TableViewRowAnimation::Middle:
            return { { frame.x(), frame.midY(), frame.width(), 0 }, 0 };
        case TableViewRowAnimation::Fade:
            return { frame, 0 };
        case TableViewRowAnimation::None:
            return { frame, 1 };
        }
        return { frame, 0 };
    }

}

void TableView::beginUpdates()
{
    ++m_updateDepth;
}

void TableView::endUpdates()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0)
        applyUpdates();
}

void TableView::insertRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ Kind::InsertRows, paths, {}, animation });
    endUpdates();
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ Kind::DeleteRows, paths, {}, animation });
    endUpdates();
}

void TableView::reloadRowsAtIndexPaths(const std::vector<IndexPath>& paths, TableViewRowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ Kind::ReloadRows, paths, {}, animation });
    endUpdates();
}

void TableView::insertSections(const std::vector<int>& sections, TableViewRowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ Kind::InsertSections, {}, sections, animation });
    endUpdates();
}

void TableView::deleteSections(const std::vector<int>& sections, TableViewRowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ Kind::DeleteSections, {}, sections, animation });
    endUpdates();
}

void TableView::applyUpdates()
{
    auto batch = std::move(m_pending);
    m_pending.clear();
    if (m_updateObserver)
        m_updateObserver(batch);
    hideDeleteConfirmation();

    if (!m_dataValid || !m_dataSource) {
        reloadData();
        return;
    }
    auto kept = focusInRows();
    const TableUpdatePlan plan = planUpdates(batch);
    auto leaving = moveCellsToNewRows(plan);
    m_dataValid = false;
    ensureData();
    auto targets = cellTargetsAfterUpdate(plan);
    animateUpdate(std::move(targets), std::move(leaving), plan.animates());
    setNeedsLayout();
    // A focused row on its way out hands the focus on at once, rather than
    // losing it when its cell goes at the end of the animation.
    if (kept && !plan.pathAfter(kept->path)) {
        if (auto* focused = dynamic_cast<View*>(Application::shared().firstResponder()))
            focused->resignFirstResponder();
        restoreFocus(*kept);
    }
}

TableUpdatePlan TableView::planUpdates(const std::vector<UpdateRecord>& batch)
{
    std::vector<int> rowsBefore;
    rowsBefore.reserve(m_sections.size());
    for (const auto& section : m_sections)
        rowsBefore.push_back(section.rows);
    const int sectionsAfter = std::max(0, m_dataSource->numberOfSectionsInTableView(*this));
    return TableUpdatePlan(batch, rowsBefore, sectionsAfter,
        [this](int section) { return std::max(0, m_dataSource->numberOfRowsInSection(*this, section)); });
}

std::vector<TableView::LeavingCell> TableView::moveCellsToNewRows(const TableUpdatePlan& plan)
{
    std::vector<LeavingCell> leaving;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> moved;
    for (auto& [before, cell] : m_visible) {
        if (auto after = plan.pathAfter(before))
            moved[*after] = cell;
        else
            leaving.push_back({ cell, plan.deletionAnimation(before) });
    }
    if (m_selected)
        m_selected = plan.pathAfter(*m_selected);
    m_visible = std::move(moved);
    return leaving;
}

std::vector<TableView::CellTarget> TableView::cellTargetsAfterUpdate(const TableUpdatePlan& plan)
{
    // Every cell kept goes to its row's new place; rows that come onto the
    // screen get a cell, and inserted ones start off stage.
    double width = frame().width();
    Rect visible = bounds();
    std::vector<CellTarget> targets;
    for (auto& [path, cell] : m_visible)
        configureCell(*cell, path);
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        for (int r = 0; r < m_sections[static_cast<std::size_t>(s)].rows; ++r) {
            IndexPath path { s, r };
            Rect target = rectForRowAtIndexPath(path);
            bool onScreen = target.maxY() > visible.minY() && target.minY() < visible.maxY() && target.height() > 0;
            auto it = m_visible.find(path);
            if (it != m_visible.end()) {
                targets.push_back({ it->second, target });
                continue;
            }
            if (!onScreen)
                continue;
            auto cell = makeCell(path);
            if (plan.isInserted(path)) {
                auto start = offstage(target, plan.insertionAnimation(path), width);
                Animator::performWithoutAnimation([&] {
                    cell->setFrame(start.frame);
                    cell->setAlpha(start.alpha);
                });
            }
            targets.push_back({ cell, target });
        }
    }
    return targets;
}

void TableView::animateUpdate(std::vector<CellTarget> targets, std::vector<LeavingCell> leaving, bool animated)
{
    double width = frame().width();
    std::weak_ptr<View> weakSelf = self();
    auto apply = [&] {
        for (auto& [cell, target] : targets) {
            cell->setFrame(target);
            cell->setAlpha(1);
        }
        for (auto& l : leaving) {
            auto end = offstage(l.cell->frame(), l.animation, width);
            l.cell->setFrame(end.frame);
            l.cell->setAlpha(end.alpha);
        }
    };
    auto finish = [weakSelf, leaving](bool) {
        auto self = std::static_pointer_cast<TableView>(weakSelf.lock());
        for (auto& l : leaving) {
            if (self)
                self->recycle(l.cell);
            else
                l.cell->removeFromSuperview();
        }
    };
    if (animated) {
        Animator::animate(rowAnimationDuration, apply, finish);
    } else {
        Animator::performWithoutAnimation(apply);
        finish(true);
    }
}

}
