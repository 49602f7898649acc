#include "platform/ui/TableUpdatePlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hestio::platform;

namespace {

using Kind = TableViewUpdate::Kind;
using Animation = TableViewRowAnimation;
using Rows = std::vector<int>;
using Batch = std::vector<TableViewUpdate>;

TableViewUpdate insertRows(std::vector<IndexPath> paths, Animation animation = Animation::Fade)
{
    return { Kind::InsertRows, std::move(paths), {}, animation };
}
TableViewUpdate deleteRows(std::vector<IndexPath> paths, Animation animation = Animation::Fade)
{
    return { Kind::DeleteRows, std::move(paths), {}, animation };
}
TableViewUpdate reloadRows(std::vector<IndexPath> paths, Animation animation = Animation::Fade)
{
    return { Kind::ReloadRows, std::move(paths), {}, animation };
}
TableViewUpdate insertSections(std::vector<int> sections, Animation animation = Animation::Fade)
{
    return { Kind::InsertSections, {}, std::move(sections), animation };
}
TableViewUpdate deleteSections(std::vector<int> sections, Animation animation = Animation::Fade)
{
    return { Kind::DeleteSections, {}, std::move(sections), animation };
}

std::string name(Animation animation)
{
    switch (animation) {
    case Animation::Fade:
        return "Fade";
    case Animation::Right:
        return "Right";
    case Animation::Left:
        return "Left";
    case Animation::Top:
        return "Top";
    case Animation::Bottom:
        return "Bottom";
    case Animation::None:
        return "None";
    case Animation::Middle:
        return "Middle";
    }
    return "?";
}

std::string at(IndexPath p)
{
    return std::to_string(p.section) + "." + std::to_string(p.row);
}

TableUpdatePlan plan(const Batch& batch, const Rows& before, const Rows& after)
{
    return TableUpdatePlan(batch, before, static_cast<int>(after.size()),
        [&](int section) { return after.at(static_cast<std::size_t>(section)); });
}

/// The plan in one line: where each old section goes ("1>0", "2 out"),
/// where each old row goes ("0.1>0.2") or how it leaves ("0.1 out Left"),
/// and which new rows come in and how ("+0.0 Top").
std::string describe(const Batch& batch, const Rows& before, const Rows& after)
{
    const TableUpdatePlan p = plan(batch, before, after);
    std::string sections, rows, arrivals;
    auto add = [](std::string& to, const std::string& item) { to += (to.empty() ? "" : " ") + item; };
    for (int s = 0; s < static_cast<int>(before.size()); ++s) {
        auto section = p.sectionAfter(s);
        add(sections, std::to_string(s) + (section ? ">" + std::to_string(*section) : " out"));
        for (int r = 0; r < before[static_cast<std::size_t>(s)]; ++r) {
            auto path = p.pathAfter({ s, r });
            add(rows, at({ s, r }) + (path ? ">" + at(*path) : " out " + name(p.deletionAnimation({ s, r }))));
        }
    }
    for (int s = 0; s < static_cast<int>(after.size()); ++s)
        for (int r = 0; r < after[static_cast<std::size_t>(s)]; ++r)
            if (p.isInserted({ s, r }))
                add(arrivals, "+" + at({ s, r }) + " " + name(p.insertionAnimation({ s, r })));
    return sections + " | " + rows + " | " + arrivals;
}

}

TEST(TableUpdatePlan, WhatHappensToEachRowAndSection)
{
    struct Case {
        const char* what;
        Rows before;
        Batch batch;
        Rows after;
        const char* expected;
    };
    const Case cases[] = {
        { "nothing announced", { 2 }, {}, { 2 }, "0>0 | 0.0>0.0 0.1>0.1 | " },
        { "empty sections stay empty", { 0, 0 }, {}, { 0, 0 }, "0>0 1>1 |  | " },
        { "no sections at all", {}, {}, {}, " |  | " },
        { "a row inserted at the start", { 3 }, { insertRows({ { 0, 0 } }, Animation::Top) }, { 4 },
            "0>0 | 0.0>0.1 0.1>0.2 0.2>0.3 | +0.0 Top" },
        { "a row inserted at the end", { 2 }, { insertRows({ { 0, 2 } }, Animation::Bottom) }, { 3 },
            "0>0 | 0.0>0.0 0.1>0.1 | +0.2 Bottom" },
        { "the first row deleted", { 3 }, { deleteRows({ { 0, 0 } }, Animation::Left) }, { 2 },
            "0>0 | 0.0 out Left 0.1>0.0 0.2>0.1 | " },
        { "the last row deleted", { 3 }, { deleteRows({ { 0, 2 } }) }, { 2 }, "0>0 | 0.0>0.0 0.1>0.1 0.2 out Fade | " },
        { "every row deleted, the section stays", { 2, 1 }, { deleteRows({ { 0, 0 }, { 0, 1 } }, Animation::Right) },
            { 0, 1 }, "0>0 1>1 | 0.0 out Right 0.1 out Right 1.0>1.0 | " },
        { "rows inserted into an empty section", { 0, 1 }, { insertRows({ { 0, 1 }, { 0, 0 } }) }, { 2, 1 },
            "0>0 1>1 | 1.0>1.0 | +0.0 Fade +0.1 Fade" },
        { "deletions count before, insertions after", { 4 },
            { deleteRows({ { 0, 1 }, { 0, 3 } }, Animation::Left),
                insertRows({ { 0, 0 }, { 0, 2 } }, Animation::Middle) },
            { 4 }, "0>0 | 0.0>0.1 0.1 out Left 0.2>0.3 0.3 out Left | +0.0 Middle +0.2 Middle" },
        { "a reload leaves and comes back at the same row", { 3 }, { reloadRows({ { 0, 1 } }, Animation::None) }, { 3 },
            "0>0 | 0.0>0.0 0.1 out None 0.2>0.2 | +0.1 None" },
        { "rows in another section keep their place", { 2, 2 }, { insertRows({ { 1, 0 } }) }, { 2, 3 },
            "0>0 1>1 | 0.0>0.0 0.1>0.1 1.0>1.1 1.1>1.2 | +1.0 Fade" },
        { "a section inserted at the start", { 1, 2 }, { insertSections({ 0 }, Animation::Top) }, { 3, 1, 2 },
            "0>1 1>2 | 0.0>1.0 1.0>2.0 1.1>2.1 | +0.0 Top +0.1 Top +0.2 Top" },
        { "an empty section inserted at the end", { 1 }, { insertSections({ 1 }, Animation::Bottom) }, { 1, 0 },
            "0>0 | 0.0>0.0 | " },
        { "a section inserted and rows inserted in it", { 1 },
            { insertSections({ 0 }, Animation::Top), insertRows({ { 0, 1 } }, Animation::Right) }, { 2, 1 },
            "0>1 | 0.0>1.0 | +0.0 Top +0.1 Right" },
        { "a section deleted between two", { 1, 2, 1 }, { deleteSections({ 1 }, Animation::Left) }, { 1, 1 },
            "0>0 1 out 2>1 | 0.0>0.0 1.0 out Left 1.1 out Left 2.0>1.0 | " },
        { "every section deleted", { 2, 1 }, { deleteSections({ 1, 0 }, Animation::Top) }, {},
            "0 out 1 out | 0.0 out Top 0.1 out Top 1.0 out Top | " },
        { "a row's own animation before its section's", { 2 },
            { deleteSections({ 0 }, Animation::Right), deleteRows({ { 0, 1 } }, Animation::Left) }, {},
            "0 out | 0.0 out Right 0.1 out Left | " },
        { "a section replaced in place", { 2 },
            { deleteSections({ 0 }, Animation::Left), insertSections({ 0 }, Animation::Right) }, { 1 },
            "0 out | 0.0 out Left 0.1 out Left | +0.0 Right" },
        { "sections deleted and inserted renumber those that stay", { 1, 1, 1 },
            { deleteSections({ 0 }), insertSections({ 2 }, Animation::Middle) }, { 1, 1, 2 },
            "0 out 1>0 2>1 | 0.0 out Fade 1.0>0.0 2.0>1.0 | +2.0 Middle +2.1 Middle" },
        { "a row named twice counts once, the later animation wins", { 2 },
            { deleteRows({ { 0, 0 }, { 0, 0 } }, Animation::Left), deleteRows({ { 0, 0 } }, Animation::Right) }, { 1 },
            "0>0 | 0.0 out Right 0.1>0.0 | " },
        { "a section named twice counts once", { 1 }, { insertSections({ 1, 1 }) }, { 1, 1 },
            "0>0 | 0.0>0.0 | +1.0 Fade" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(c.batch, c.before, c.after), c.expected) << c.what;
}

TEST(TableUpdatePlan, ABatchThatDisagreesWithTheCountsIsRefusedWithTheFirstDisagreement)
{
    struct Case {
        const char* what;
        Rows before;
        Batch batch;
        Rows after;
        const char* error;
    };
    const Case cases[] = {
        { "a section lost without a deletion", { 1, 1 }, {}, { 1 },
            "Invalid update: invalid number of sections. The number of sections contained in the table view after "
            "the update (1) must be equal to the number of sections contained in the table view before the update "
            "(2), plus or minus the number of sections inserted or deleted (0 inserted, 0 deleted)." },
        { "a section inserted twice counts once", { 1 }, { insertSections({ 0 }), insertSections({ 0 }) }, { 1, 1, 1 },
            "Invalid update: invalid number of sections. The number of sections contained in the table view after "
            "the update (3) must be equal to the number of sections contained in the table view before the update "
            "(1), plus or minus the number of sections inserted or deleted (1 inserted, 0 deleted)." },
        { "every section deleted, one still there", { 1, 1 }, { deleteSections({ 0, 1 }) }, { 1 },
            "Invalid update: invalid number of sections. The number of sections contained in the table view after "
            "the update (1) must be equal to the number of sections contained in the table view before the update "
            "(2), plus or minus the number of sections inserted or deleted (0 inserted, 2 deleted)." },
        { "a deleted row one past the last", { 2 }, { deleteRows({ { 0, 2 } }) }, { 1 },
            "Invalid update: attempt to delete row 2 from section 0, which only contains 2 rows before the update" },
        { "a deleted row before the first", { 2 }, { deleteRows({ { 0, -1 } }) }, { 1 },
            "Invalid update: attempt to delete row -1 from section 0, which only contains 2 rows before the update" },
        { "a row deleted from an empty section", { 0 }, { deleteRows({ { 0, 0 } }) }, { 0 },
            "Invalid update: attempt to delete row 0 from section 0, which only contains 0 rows before the update" },
        { "an insertion the source does not have", { 2 }, { insertRows({ { 0, 0 }, { 0, 1 } }) }, { 3 },
            "Invalid update: invalid number of rows in section 0. The number of rows contained in an existing section "
            "after the update (3) must be equal to the number of rows contained in that section before the update "
            "(2), plus or minus the number of rows inserted or deleted from that section (2 inserted, 0 deleted)." },
        { "every row deleted, the source still has them", { 2 }, { deleteRows({ { 0, 0 }, { 0, 1 } }) }, { 2 },
            "Invalid update: invalid number of rows in section 0. The number of rows contained in an existing section "
            "after the update (2) must be equal to the number of rows contained in that section before the update "
            "(2), plus or minus the number of rows inserted or deleted from that section (0 inserted, 2 deleted)." },
        { "a reload that changes the count", { 2 }, { reloadRows({ { 0, 0 } }) }, { 3 },
            "Invalid update: invalid number of rows in section 0. The number of rows contained in an existing section "
            "after the update (3) must be equal to the number of rows contained in that section before the update "
            "(2), plus or minus the number of rows inserted or deleted from that section (1 inserted, 1 deleted)." },
        { "a section that stays is named as after the batch", { 1, 1 }, { insertSections({ 0 }) }, { 1, 1, 2 },
            "Invalid update: invalid number of rows in section 2. The number of rows contained in an existing section "
            "after the update (2) must be equal to the number of rows contained in that section before the update "
            "(1), plus or minus the number of rows inserted or deleted from that section (0 inserted, 0 deleted)." },
        { "an inserted row one past the last", { 2 }, { insertRows({ { 0, 3 } }) }, { 3 },
            "Invalid update: attempt to insert row 3 into section 0, which only contains 3 rows after the update" },
        { "the first section's fault is named first", { 1, 1 }, { deleteRows({ { 1, 5 } }), insertRows({ { 0, 0 } }) },
            { 1, 1 },
            "Invalid update: invalid number of rows in section 0. The number of rows contained in an existing section "
            "after the update (1) must be equal to the number of rows contained in that section before the update "
            "(1), plus or minus the number of rows inserted or deleted from that section (1 inserted, 0 deleted)." },
    };
    for (const Case& c : cases) {
        try {
            (void)plan(c.batch, c.before, c.after);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const InternalInconsistencyException& e) {
            EXPECT_STREQ(e.what(), c.error) << c.what;
        }
    }
}

TEST(TableUpdatePlan, AsksForTheRowsOfTheSectionsThatStayOnlyOnceTheSectionsAgree)
{
    std::vector<int> asked;
    auto rows = [&](int section) {
        asked.push_back(section);
        return 1;
    };
    // Old 0 comes after the inserted section, old 1 goes, old 2 stays last.
    TableUpdatePlan accepted({ insertSections({ 0 }), deleteSections({ 1 }) }, { 1, 1, 1 }, 3, rows);
    EXPECT_EQ(asked, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(accepted.sectionAfter(0), 1);
    EXPECT_EQ(accepted.sectionAfter(1), std::nullopt);
    EXPECT_EQ(accepted.sectionAfter(3), std::nullopt) << "a section that never was";
    EXPECT_EQ(accepted.pathAfter({ 0, 1 }), std::nullopt) << "a row that never was";

    asked.clear();
    EXPECT_THROW(TableUpdatePlan({}, { 1, 1 }, 3, rows), InternalInconsistencyException);
    EXPECT_TRUE(asked.empty());
}

TEST(TableUpdatePlan, OnlyABatchOfChangesWithoutAnimationStandsStill)
{
    EXPECT_TRUE(plan({}, { 1 }, { 1 }).animates()) << "an empty batch still settles the rows";
    EXPECT_FALSE(plan({ reloadRows({ { 0, 0 } }, Animation::None) }, { 1 }, { 1 }).animates());
    EXPECT_TRUE(
        plan({ reloadRows({ { 0, 0 } }, Animation::None), insertRows({ { 0, 1 } }, Animation::Fade) }, { 1 }, { 2 })
            .animates());
}
