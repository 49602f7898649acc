#pragma once

#include "platform/ui/IndexPath.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

namespace hestio::platform {

enum class TableViewRowAnimation { Fade, Right, Left, Top, Bottom, None, Middle };

/// Raised when a batch of updates does not match what the data source reports
/// afterwards (a programming error in the screen, as on the platform).
class InternalInconsistencyException : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

/// One change of a batch of table updates, as the screen announced it. Rows
/// and sections deleted are numbered as before the batch, those inserted as
/// after it; a reload deletes a row and inserts one at the same path.
struct TableViewUpdate {
    enum class Kind { InsertRows, DeleteRows, ReloadRows, InsertSections, DeleteSections };
    Kind kind;
    std::vector<IndexPath> paths;
    std::vector<int> sections;
    TableViewRowAnimation animation;
};

/// What a batch of updates does to a table: which sections and rows stay and
/// where they go, which leave, which come in, and with which animation. It is
/// worked out from the row counts before and after the batch alone (no views,
/// no animation), and refuses a batch that disagrees with those counts.
class TableUpdatePlan {
public:
    /// The rows of a section after the batch; asked only for the sections
    /// that stay, in order, while the batch is checked.
    using RowsAfter = std::function<int(int section)>;

    /// Throws InternalInconsistencyException, naming the first disagreement,
    /// when the batch does not turn `rowsBefore` into `sectionsAfter`
    /// sections of `rowsAfter` rows.
    TableUpdatePlan(const std::vector<TableViewUpdate>& batch, const std::vector<int>& rowsBefore, int sectionsAfter,
        const RowsAfter& rowsAfter);

    /// Where a section of before the batch is after it; none once deleted.
    [[nodiscard]] std::optional<int> sectionAfter(int sectionBefore) const;
    /// Where a row of before the batch is after it; none once deleted or
    /// reloaded, or when its section is deleted.
    [[nodiscard]] std::optional<IndexPath> pathAfter(IndexPath before) const;
    /// How a row of before the batch leaves: its own animation, else its
    /// deleted section's, else a fade.
    [[nodiscard]] TableViewRowAnimation deletionAnimation(IndexPath before) const;
    /// Whether a row after the batch is new (inserted, reloaded or in an
    /// inserted section).
    [[nodiscard]] bool isInserted(IndexPath after) const;
    /// How a new row comes in: its own animation, else its inserted
    /// section's, else a fade.
    [[nodiscard]] TableViewRowAnimation insertionAnimation(IndexPath after) const;
    /// Whether the changes move at all: a batch that is empty or names any
    /// animation but None.
    [[nodiscard]] bool animates() const { return m_animates; }

private:
    void collect(const std::vector<TableViewUpdate>& batch);
    void checkSectionCount(int sectionsBefore, int sectionsAfter) const;
    void mapSections(int sectionsBefore);
    void checkRows(const std::vector<int>& rowsBefore, const RowsAfter& rowsAfter);

    std::set<int> m_deletedSections, m_insertedSections;
    std::map<int, std::set<int>> m_deletedRows, m_insertedRows;
    std::map<IndexPath, TableViewRowAnimation> m_deleteAnimation, m_insertAnimation;
    std::map<int, TableViewRowAnimation> m_deletedSectionAnimation, m_insertedSectionAnimation;
    std::map<int, int> m_sectionAfter; ///< old section → new, for those that stay
    std::map<int, int> m_rowsAfter; ///< new section → rows, for those that stay
    bool m_animates { false };
};

}
