#include "platform/ui/TableUpdatePlan.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <iterator>

namespace hestio::platform {

namespace {

    /// The rows of one section in a set of changed rows; none when unchanged.
    const std::set<int>& rowsIn(const std::map<int, std::set<int>>& rows, int section)
    {
        static const std::set<int> none;
        auto it = rows.find(section);
        return it == rows.end() ? none : it->second;
    }

}

TableUpdatePlan::TableUpdatePlan(const std::vector<TableViewUpdate>& batch, const std::vector<int>& rowsBefore,
    int sectionsAfter, const RowsAfter& rowsAfter)
{
    collect(batch);
    const int sectionsBefore = static_cast<int>(rowsBefore.size());
    checkSectionCount(sectionsBefore, sectionsAfter);
    mapSections(sectionsBefore);
    checkRows(rowsBefore, rowsAfter);
}

void TableUpdatePlan::collect(const std::vector<TableViewUpdate>& batch)
{
    using Kind = TableViewUpdate::Kind;
    // A later change of the same row or section names the animation.
    for (const auto& r : batch) {
        switch (r.kind) {
        case Kind::DeleteSections:
            for (int s : r.sections) {
                m_deletedSections.insert(s);
                m_deletedSectionAnimation[s] = r.animation;
            }
            break;
        case Kind::InsertSections:
            for (int s : r.sections) {
                m_insertedSections.insert(s);
                m_insertedSectionAnimation[s] = r.animation;
            }
            break;
        case Kind::DeleteRows:
        case Kind::ReloadRows:
            for (const auto& p : r.paths) {
                m_deletedRows[p.section].insert(p.row);
                m_deleteAnimation[p] = r.animation;
            }
            if (r.kind == Kind::DeleteRows)
                break;
            [[fallthrough]];
        case Kind::InsertRows:
            for (const auto& p : r.paths) {
                m_insertedRows[p.section].insert(p.row);
                m_insertAnimation[p] = r.animation;
            }
            break;
        }
    }
    m_animates = batch.empty()
        || std::any_of(batch.begin(), batch.end(), [](auto& r) { return r.animation != TableViewRowAnimation::None; });
}

void TableUpdatePlan::checkSectionCount(int sectionsBefore, int sectionsAfter) const
{
    const int expected
        = sectionsBefore - static_cast<int>(m_deletedSections.size()) + static_cast<int>(m_insertedSections.size());
    if (sectionsAfter != expected)
        throw InternalInconsistencyException(
            format("Invalid update: invalid number of sections. The number of sections "
                   "contained in the table view after the update (%d) must be equal to "
                   "the number of sections contained in the table view before the "
                   "update (%d), plus or minus the number of sections inserted or "
                   "deleted (%zu inserted, %zu deleted).",
                sectionsAfter, sectionsBefore, m_insertedSections.size(), m_deletedSections.size()));
}

void TableUpdatePlan::mapSections(int sectionsBefore)
{
    // The sections that stay keep their order, around the inserted ones.
    int after = 0;
    for (int before = 0; before < sectionsBefore; ++before) {
        if (m_deletedSections.count(before))
            continue;
        while (m_insertedSections.count(after))
            ++after;
        m_sectionAfter[before] = after++;
    }
}

void TableUpdatePlan::checkRows(const std::vector<int>& rowsBefore, const RowsAfter& rowsAfter)
{
    for (auto [o, n] : m_sectionAfter) {
        const int before = rowsBefore[static_cast<std::size_t>(o)];
        const auto& deleted = rowsIn(m_deletedRows, o);
        for (int row : deleted)
            if (row < 0 || row >= before)
                throw InternalInconsistencyException(format("Invalid update: attempt to delete row %d from section %d, "
                                                            "which only contains %d rows before the update",
                    row, o, before));
        const int after = rowsAfter(n);
        const auto& inserted = rowsIn(m_insertedRows, n);
        const int ins = static_cast<int>(inserted.size());
        const int del = static_cast<int>(deleted.size());
        if (after != before + ins - del)
            throw InternalInconsistencyException(
                format("Invalid update: invalid number of rows in section %d. The number "
                       "of rows contained in an existing section after the update (%d) "
                       "must be equal to the number of rows contained in that section "
                       "before the update (%d), plus or minus the number of rows inserted "
                       "or deleted from that section (%d inserted, %d deleted).",
                    n, after, before, ins, del));
        for (int row : inserted)
            if (row < 0 || row >= after)
                throw InternalInconsistencyException(format("Invalid update: attempt to insert row %d into section %d, "
                                                            "which only contains %d rows after the update",
                    row, n, after));
        m_rowsAfter[n] = after;
    }
}

std::optional<int> TableUpdatePlan::sectionAfter(int sectionBefore) const
{
    auto it = m_sectionAfter.find(sectionBefore);
    if (it == m_sectionAfter.end())
        return std::nullopt;
    return it->second;
}

std::optional<IndexPath> TableUpdatePlan::pathAfter(IndexPath before) const
{
    auto section = sectionAfter(before.section);
    const auto& deleted = rowsIn(m_deletedRows, before.section);
    if (!section || deleted.count(before.row))
        return std::nullopt;
    // The row keeps its place among the rows that stay; inserted rows take
    // theirs in between.
    const int upTo = std::max(0, before.row);
    int row = upTo - static_cast<int>(std::distance(deleted.begin(), deleted.lower_bound(upTo)));
    for (int inserted : rowsIn(m_insertedRows, *section)) {
        if (inserted > row)
            break;
        ++row;
    }
    if (row >= m_rowsAfter.at(*section))
        return std::nullopt;
    return IndexPath { *section, row };
}

TableViewRowAnimation TableUpdatePlan::deletionAnimation(IndexPath before) const
{
    if (auto it = m_deleteAnimation.find(before); it != m_deleteAnimation.end())
        return it->second;
    if (auto s = m_deletedSectionAnimation.find(before.section); s != m_deletedSectionAnimation.end())
        return s->second;
    return TableViewRowAnimation::Fade;
}

bool TableUpdatePlan::isInserted(IndexPath after) const
{
    return m_insertedSections.count(after.section) || rowsIn(m_insertedRows, after.section).count(after.row);
}

TableViewRowAnimation TableUpdatePlan::insertionAnimation(IndexPath after) const
{
    if (auto it = m_insertAnimation.find(after); it != m_insertAnimation.end())
        return it->second;
    if (auto s = m_insertedSectionAnimation.find(after.section); s != m_insertedSectionAnimation.end())
        return s->second;
    return TableViewRowAnimation::Fade;
}

}
