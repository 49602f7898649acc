#include "platform/ui/TableView.h"

#include "platform/foundation/Log.h"
#include "platform/ui/Animator.h"

#include <algorithm>
#include <set>

namespace hestio::platform {

namespace {

    using Kind = TableView::UpdateRecord::Kind;

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
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto& record : pending)
        m_updateLog.push_back(record);
    ++m_completedBatches;
    hideDeleteConfirmation();

    if (!m_dataValid || !m_dataSource) {
        reloadData();
        return;
    }

    // What changed, in the old (deletions) and new (insertions) numbering.
    std::set<int> deletedSections, insertedSections;
    std::map<int, std::set<int>> deletedRows, insertedRows;
    std::map<IndexPath, TableViewRowAnimation> deleteAnimation, insertAnimation;
    std::map<int, TableViewRowAnimation> deletedSectionAnimation, insertedSectionAnimation;
    for (auto& r : pending) {
        switch (r.kind) {
        case Kind::DeleteSections:
            for (int s : r.sections) {
                deletedSections.insert(s);
                deletedSectionAnimation[s] = r.animation;
            }
            break;
        case Kind::InsertSections:
            for (int s : r.sections) {
                insertedSections.insert(s);
                insertedSectionAnimation[s] = r.animation;
            }
            break;
        case Kind::DeleteRows:
        case Kind::ReloadRows:
            for (auto& p : r.paths) {
                deletedRows[p.section].insert(p.row);
                deleteAnimation[p] = r.animation;
            }
            if (r.kind == Kind::DeleteRows)
                break;
            [[fallthrough]];
        case Kind::InsertRows:
            for (auto& p : r.paths) {
                insertedRows[p.section].insert(p.row);
                insertAnimation[p] = r.animation;
            }
            break;
        }
    }

    int oldCount = static_cast<int>(m_sections.size());
    int newCount = std::max(0, m_dataSource->numberOfSectionsInTableView(*this));
    int expected = oldCount - static_cast<int>(deletedSections.size()) + static_cast<int>(insertedSections.size());
    if (newCount != expected)
        throw InternalInconsistencyException(
            format("Invalid update: invalid number of sections. The number of sections "
                   "contained in the table view after the update (%d) must be equal to "
                   "the number of sections contained in the table view before the "
                   "update (%d), plus or minus the number of sections inserted or "
                   "deleted (%zu inserted, %zu deleted).",
                newCount, oldCount, insertedSections.size(), deletedSections.size()));

    // Old section → new section for the sections that stay.
    std::map<int, int> sectionMap;
    {
        int n = 0;
        for (int o = 0; o < oldCount; ++o) {
            if (deletedSections.count(o))
                continue;
            while (insertedSections.count(n))
                ++n;
            sectionMap[o] = n++;
        }
    }
    std::map<int, int> newRowCounts;
    for (auto [o, n] : sectionMap) {
        int before = m_sections[static_cast<std::size_t>(o)].rows;
        for (int row : deletedRows[o])
            if (row < 0 || row >= before)
                throw InternalInconsistencyException(format("Invalid update: attempt to delete row %d from section %d, "
                                                            "which only contains %d rows before the update",
                    row, o, before));
        int after = std::max(0, m_dataSource->numberOfRowsInSection(*this, n));
        int ins = static_cast<int>(insertedRows[n].size());
        int del = static_cast<int>(deletedRows[o].size());
        if (after != before + ins - del)
            throw InternalInconsistencyException(
                format("Invalid update: invalid number of rows in section %d. The number "
                       "of rows contained in an existing section after the update (%d) "
                       "must be equal to the number of rows contained in that section "
                       "before the update (%d), plus or minus the number of rows inserted "
                       "or deleted from that section (%d inserted, %d deleted).",
                    n, after, before, ins, del));
        for (int row : insertedRows[n])
            if (row < 0 || row >= after)
                throw InternalInconsistencyException(format("Invalid update: attempt to insert row %d into section %d, "
                                                            "which only contains %d rows after the update",
                    row, n, after));
        newRowCounts[n] = after;
    }

    auto mapPath = [&](IndexPath old) -> std::optional<IndexPath> {
        auto sit = sectionMap.find(old.section);
        if (sit == sectionMap.end() || deletedRows[old.section].count(old.row))
            return std::nullopt;
        int survivorsBefore = 0;
        for (int r = 0; r < old.row; ++r)
            if (!deletedRows[old.section].count(r))
                ++survivorsBefore;
        int n = sit->second;
        int row = -1;
        for (int candidate = 0, seen = 0; candidate < newRowCounts[n]; ++candidate) {
            if (insertedRows[n].count(candidate))
                continue;
            if (seen++ == survivorsBefore) {
                row = candidate;
                break;
            }
        }
        if (row < 0)
            return std::nullopt;
        return IndexPath { n, row };
    };

    struct Dying {
        std::shared_ptr<TableViewCell> cell;
        TableViewRowAnimation animation;
    };
    std::vector<Dying> dying;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> moved;
    for (auto& [old, cell] : m_visible) {
        if (auto now = mapPath(old)) {
            moved[*now] = cell;
            continue;
        }
        auto animation = TableViewRowAnimation::Fade;
        if (auto it = deleteAnimation.find(old); it != deleteAnimation.end())
            animation = it->second;
        else if (auto s = deletedSectionAnimation.find(old.section); s != deletedSectionAnimation.end())
            animation = s->second;
        dying.push_back({ cell, animation });
    }
    if (m_selected)
        m_selected = mapPath(*m_selected);
    m_visible = std::move(moved);

    m_dataValid = false;
    ensureData();

    auto isInserted
        = [&](IndexPath p) { return insertedSections.count(p.section) || insertedRows[p.section].count(p.row); };
    auto insertionAnimation = [&](IndexPath p) {
        if (auto it = insertAnimation.find(p); it != insertAnimation.end())
            return it->second;
        if (auto s = insertedSectionAnimation.find(p.section); s != insertedSectionAnimation.end())
            return s->second;
        return TableViewRowAnimation::Fade;
    };

    // Cells that appear: inserted rows start off stage.
    double width = frame().width();
    Rect visible = bounds();
    std::vector<std::pair<std::shared_ptr<TableViewCell>, Rect>> targets;
    for (auto& [path, cell] : m_visible)
        configureCell(*cell, path);
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        for (int r = 0; r < m_sections[static_cast<std::size_t>(s)].rows; ++r) {
            IndexPath path { s, r };
            Rect target = rectForRowAtIndexPath(path);
            bool onScreen = target.maxY() > visible.minY() && target.minY() < visible.maxY() && target.height() > 0;
            auto it = m_visible.find(path);
            if (it == m_visible.end()) {
                if (!onScreen)
                    continue;
                auto cell = makeCell(path);
                if (isInserted(path)) {
                    auto start = offstage(target, insertionAnimation(path), width);
                    Animator::performWithoutAnimation([&] {
                        cell->setFrame(start.frame);
                        cell->setAlpha(start.alpha);
                    });
                }
                targets.push_back({ cell, target });
            } else {
                targets.push_back({ it->second, target });
            }
        }
    }

    bool animate = std::any_of(pending.begin(), pending.end(), [](auto& r) {
        return r.animation != TableViewRowAnimation::None;
    }) || pending.empty();
    std::weak_ptr<View> weakSelf = self();
    auto apply = [&] {
        for (auto& [cell, target] : targets) {
            cell->setFrame(target);
            cell->setAlpha(1);
        }
        for (auto& d : dying) {
            auto end = offstage(d.cell->frame(), d.animation, width);
            d.cell->setFrame(end.frame);
            d.cell->setAlpha(end.alpha);
        }
    };
    auto finish = [weakSelf, dying](bool) {
        auto self = std::static_pointer_cast<TableView>(weakSelf.lock());
        for (auto& d : dying) {
            if (self)
                self->recycle(d.cell);
            else
                d.cell->removeFromSuperview();
        }
    };
    if (animate) {
        Animator::animate(rowAnimationDuration, apply, finish);
    } else {
        Animator::performWithoutAnimation(apply);
        finish(true);
    }
    setNeedsLayout();
}

}
