#include "platform/ui/TableView.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Animator.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/Theme.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    /// A section title: a grey bar in plain tables, a caption above the rounded
    /// section in grouped ones.
    class SectionHeaderView final : public Label {
    public:
        SectionHeaderView(const std::string& title, bool grouped)
            : m_grouped(grouped)
        {
            setText(title);
            setFont(Font::boldSystemFont(grouped ? 17 : 18));
            setTextColor(grouped ? theme::sectionHeaderText : Color::whiteColor());
            setShadowColor(grouped ? Color::white(1, 0.9) : Color::white(0, 0.45));
            setShadowOffset({ 0, grouped ? 1.0 : -1.0 });
            // A grouped section's caption wraps rather than being cut when
            // the text is larger (at scale 1 it keeps its one line).
            if (grouped && textScale() > 1) {
                setNumberOfLines(0);
                setLineBreakMode(LineBreakMode::WordWrap);
            }
        }
        std::string className() const override { return "TableSectionHeader"; }

        /// How much taller than one line a grouped caption is, wrapped in `width`.
        static double extraLines(const std::string& title, double width)
        {
            if (textScale() <= 1 || title.empty())
                return 0;
            Font font = Font::boldSystemFont(17);
            TextStyle wrapped { font, TextAlignment::Left, LineBreakMode::WordWrap, 0 };
            double lines = std::ceil(measureText(title, wrapped, std::max(1.0, width)).size.height);
            return std::max(0.0, lines - std::ceil(sizeOfText(title, font).height));
        }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            if (!m_grouped) {
                ContextStateSaver saver(context);
                context.clipToRect(rect);
                context.drawLinearGradient(Gradient::between(Color::hex(0x8fa4b9), Color::hex(0xb7c2cd)),
                    { 0, rect.minY() }, { 0, rect.maxY() });
                context.fillRect({ rect.x(), rect.y(), rect.width(), 1 }, Color::hex(0x717d89));
                context.fillRect({ rect.x(), rect.maxY() - 1, rect.width(), 1 }, Color::hex(0x989ea4));
                Rect textRect { rect.x() + 12, rect.y(), rect.width() - 24, rect.height() };
                Label::draw(context, textRect);
                return;
            }
            Label::draw(context, rect);
        }

    private:
        bool m_grouped;
    };

}

double TableViewDelegate::heightForRowAtIndexPath(TableView& table, IndexPath)
{
    // Rows of the table's height hold text: they grow with it.
    return table.rowHeight() * textScale();
}

std::shared_ptr<TableView> TableView::create(Rect frame, TableViewStyle style)
{
    return std::make_shared<TableView>(frame, style);
}

TableView::TableView(Rect frame, TableViewStyle style)
    : ScrollView(frame)
    , m_style(style)
    , m_swipe(SwipeGestureRecognizer::create(SwipeGestureRecognizer::Left | SwipeGestureRecognizer::Right))
{
    setBackgroundColor(style == TableViewStyle::Plain ? Color::whiteColor() : theme::groupedBackground);
    m_swipe->addAction([this](GestureRecognizer&) { handleSwipe(); });
    addGestureRecognizer(m_swipe);
}

TableView::~TableView()
{
    for (auto& [path, cell] : m_visible)
        cell->m_tableView = nullptr;
    for (auto& [id, queue] : m_reuseQueue)
        for (auto& cell : queue)
            cell->m_tableView = nullptr;
}

void TableView::setDataSource(TableViewDataSource* dataSource)
{
    m_dataSource = dataSource;
    m_dataValid = false;
    setNeedsLayout();
}

void TableView::setRowHeight(double height)
{
    m_rowHeight = height;
    m_dataValid = false;
    setNeedsLayout();
}

void TableView::setTableHeaderView(std::shared_ptr<View> view)
{
    if (m_tableHeaderView)
        m_tableHeaderView->removeFromSuperview();
    m_tableHeaderView = std::move(view);
    if (m_tableHeaderView)
        addSubview(m_tableHeaderView);
    if (m_dataValid)
        rebuildGeometry();
    setNeedsLayout();
}

void TableView::ensureData()
{
    if (m_dataValid)
        return;
    m_dataValid = true;
    for (auto& s : m_sections)
        if (s.headerView)
            s.headerView->removeFromSuperview();
    m_sections.clear();
    if (!m_dataSource) {
        rebuildGeometry();
        return;
    }
    int count = std::max(0, m_dataSource->numberOfSectionsInTableView(*this));
    m_sections.resize(static_cast<std::size_t>(count));
    for (int s = 0; s < count; ++s) {
        auto& section = m_sections[static_cast<std::size_t>(s)];
        section.rows = std::max(0, m_dataSource->numberOfRowsInSection(*this, s));
        section.header = m_dataSource->titleForHeaderInSection(*this, s);
        section.footer = m_dataSource->titleForFooterInSection(*this, s);
    }
    rebuildHeaderViews();
    rebuildGeometry();
}

void TableView::rebuildHeaderViews()
{
    bool grouped = m_style == TableViewStyle::Grouped;
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        auto& section = m_sections[static_cast<std::size_t>(s)];
        if (section.headerView)
            section.headerView->removeFromSuperview();
        section.headerView = m_delegate ? m_delegate->viewForHeaderInSection(*this, s) : nullptr;
        if (!section.headerView && section.header && !section.header->empty())
            section.headerView = std::make_shared<SectionHeaderView>(*section.header, grouped);
        if (section.headerView)
            addSubview(section.headerView);
    }
}

void TableView::rebuildGeometry()
{
    bool grouped = m_style == TableViewStyle::Grouped;
    // Titled headers and footers grow with their text.
    double text = textScale();
    double y = m_tableHeaderView ? m_tableHeaderView->frame().height() : 0;
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        auto& section = m_sections[static_cast<std::size_t>(s)];
        bool titled = section.header && !section.header->empty();
        double header = grouped ? (titled ? (s == 0 ? 46 : 36) * text : 10) : (titled ? 22 * text : 0);
        if (grouped && titled)
            header += SectionHeaderView::extraLines(*section.header, frame().width() - 40);
        if (m_delegate) {
            double asked = m_delegate->heightForHeaderInSection(*this, s);
            if (asked >= 0)
                header = asked;
        }
        if (section.headerView && !titled && header <= (grouped ? 10 : 0))
            header = section.headerView->frame().height();
        bool footerTitled = section.footer && !section.footer->empty();
        section.headerHeight = header;
        section.footerHeight = grouped ? (footerTitled ? 36 * text : 10) : (footerTitled ? 22 * text : 0);
        section.top = y;
        y += header;
        section.rowsTop = y;
        section.rowHeights.assign(static_cast<std::size_t>(section.rows), m_rowHeight);
        for (int r = 0; r < section.rows; ++r) {
            double h = m_delegate ? m_delegate->heightForRowAtIndexPath(*this, { s, r }) : m_rowHeight * text;
            section.rowHeights[static_cast<std::size_t>(r)] = std::max(0.0, h);
            y += section.rowHeights[static_cast<std::size_t>(r)];
        }
        y += section.footerHeight;
    }
    setContentSize({ frame().width(), y });
}

void TableView::reloadData()
{
    auto kept = focusInRows();
    for (auto& [path, cell] : m_visible)
        recycle(cell);
    m_visible.clear();
    m_selected.reset();
    m_swipedRow.reset();
    m_dataValid = false;
    ensureData();
    setNeedsLayout();
    if (kept)
        restoreFocus(*kept);
}

int TableView::numberOfSections()
{
    ensureData();
    return static_cast<int>(m_sections.size());
}

int TableView::numberOfRowsInSection(int section)
{
    ensureData();
    if (section < 0 || section >= static_cast<int>(m_sections.size()))
        return 0;
    return m_sections[static_cast<std::size_t>(section)].rows;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier)
{
    auto it = m_reuseQueue.find(identifier);
    if (it == m_reuseQueue.end() || it->second.empty())
        return nullptr;
    auto cell = it->second.back();
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

Rect TableView::rectForRowAtIndexPath(IndexPath path)
{
    ensureData();
    if (path.section < 0 || path.section >= static_cast<int>(m_sections.size()))
        return {};
    const auto& section = m_sections[static_cast<std::size_t>(path.section)];
    if (path.row < 0 || path.row >= section.rows)
        return {};
    double y = section.rowsTop;
    for (int r = 0; r < path.row; ++r)
        y += section.rowHeights[static_cast<std::size_t>(r)];
    return { 0, y, frame().width(), section.rowHeights[static_cast<std::size_t>(path.row)] };
}

Rect TableView::rectForSection(int section)
{
    ensureData();
    if (section < 0 || section >= static_cast<int>(m_sections.size()))
        return {};
    const auto& s = m_sections[static_cast<std::size_t>(section)];
    double h = s.headerHeight + s.footerHeight;
    for (double r : s.rowHeights)
        h += r;
    return { 0, s.top, frame().width(), h };
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point)
{
    ensureData();
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        const auto& section = m_sections[static_cast<std::size_t>(s)];
        double y = section.rowsTop;
        for (int r = 0; r < section.rows; ++r) {
            double h = section.rowHeights[static_cast<std::size_t>(r)];
            if (point.y >= y && point.y < y + h)
                return IndexPath { s, r };
            y += h;
        }
    }
    return std::nullopt;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const
{
    for (auto& [path, c] : m_visible)
        if (c.get() == &cell)
            return path;
    return std::nullopt;
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(IndexPath path)
{
    layoutIfNeeded();
    auto it = m_visible.find(path);
    return it == m_visible.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells()
{
    layoutIfNeeded();
    std::vector<std::shared_ptr<TableViewCell>> out;
    for (auto& [path, cell] : m_visible)
        out.push_back(cell);
    return out;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows()
{
    layoutIfNeeded();
    std::vector<IndexPath> out;
    for (auto& [path, cell] : m_visible)
        out.push_back(path);
    return out;
}

void TableView::scrollToRowAtIndexPath(IndexPath path, TableViewScrollPosition position, bool animated)
{
    Rect r = rectForRowAtIndexPath(path);
    if (r.isEmpty())
        return;
    double h = frame().height();
    Point offset = contentOffset();
    switch (position) {
    case TableViewScrollPosition::None:
        scrollRectToVisible(r, animated);
        return;
    case TableViewScrollPosition::Top:
        offset.y = r.minY();
        break;
    case TableViewScrollPosition::Middle:
        offset.y = r.midY() - h / 2;
        break;
    case TableViewScrollPosition::Bottom:
        offset.y = r.maxY() - h;
        break;
    }
    offset.y = std::clamp(offset.y, minimumContentOffset().y, maximumContentOffset().y);
    setContentOffset(offset, animated);
}

void TableView::layoutSubviews()
{
    ensureData();
    double w = frame().width();
    if (m_tableHeaderView)
        m_tableHeaderView->setFrame({ 0, 0, w, m_tableHeaderView->frame().height() });
    bool grouped = m_style == TableViewStyle::Grouped;
    // In a plain table the header of the section at the top stays there while
    // its rows scroll under it, until the next section's header pushes it up.
    double visibleTop = bounds().minY() + contentInset().top;
    for (auto& section : m_sections) {
        if (!section.headerView)
            continue;
        if (grouped && dynamic_cast<SectionHeaderView*>(section.headerView.get())) {
            double extra = SectionHeaderView::extraLines(static_cast<Label&>(*section.headerView).text(), w - 40);
            section.headerView->setFrame({ 20, section.top + section.headerHeight - heightForText(32) - extra, w - 40,
                heightForText(24) + extra });
        } else if (grouped) {
            section.headerView->setFrame({ 0, section.top, w, section.headerHeight });
        } else {
            double end = section.rowsTop + section.footerHeight;
            for (double h : section.rowHeights)
                end += h;
            double y = std::max(section.top, std::min(visibleTop, end - section.headerHeight));
            section.headerView->setFrame({ 0, y, w, section.headerHeight });
        }
    }
    layoutCells(false);
}

void TableView::layoutCells(bool)
{
    ensureData();
    Rect visible = bounds();
    std::vector<IndexPath> needed;
    for (int s = 0; s < static_cast<int>(m_sections.size()); ++s) {
        const auto& section = m_sections[static_cast<std::size_t>(s)];
        double y = section.rowsTop;
        for (int r = 0; r < section.rows; ++r) {
            double h = section.rowHeights[static_cast<std::size_t>(r)];
            if (y + h > visible.minY() && y < visible.maxY() && h > 0)
                needed.push_back({ s, r });
            y += h;
        }
    }
    for (auto it = m_visible.begin(); it != m_visible.end();) {
        bool keep = std::binary_search(needed.begin(), needed.end(), it->first)
            || (m_reorder && m_reorder->cell == it->second);
        if (!keep) {
            recycle(it->second);
            it = m_visible.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& path : needed) {
        auto it = m_visible.find(path);
        std::shared_ptr<TableViewCell> cell = it != m_visible.end() ? it->second : makeCell(path);
        if (m_reorder && m_reorder->cell == cell)
            continue;
        cell->setFrame(rectForRowAtIndexPath(path));
    }
}

std::shared_ptr<TableViewCell> TableView::makeCell(IndexPath path)
{
    auto cell = m_dataSource ? m_dataSource->cellForRowAtIndexPath(*this, path) : nullptr;
    if (!cell)
        throw InternalInconsistencyException("The table's data source returned no cell for row " + path.description());
    m_visible[path] = cell;
    configureCell(*cell, path);
    Animator::performWithoutAnimation([&] { cell->setFrame(rectForRowAtIndexPath(path)); });
    insertSubview(cell, 0);
    if (m_delegate)
        m_delegate->willDisplayCell(*this, *cell, path);
    return cell;
}

void TableView::configureCell(TableViewCell& cell, IndexPath path)
{
    cell.m_tableView = this;
    cell.m_rowIdentity = m_dataSource ? m_dataSource->identityForRowAtIndexPath(*this, path) : std::nullopt;
    const auto& section = m_sections[static_cast<std::size_t>(path.section)];
    if (section.rows <= 1)
        cell.m_position = TableViewCell::Position::Single;
    else if (path.row == 0)
        cell.m_position = TableViewCell::Position::Top;
    else if (path.row == section.rows - 1)
        cell.m_position = TableViewCell::Position::Bottom;
    else
        cell.m_position = TableViewCell::Position::Middle;
    bool canEdit = m_dataSource && m_dataSource->canEditRowAtIndexPath(*this, path);
    auto style = !canEdit
        ? TableViewCellEditingStyle::None
        : (m_delegate ? m_delegate->editingStyleForRowAtIndexPath(*this, path) : TableViewCellEditingStyle::Delete);
    bool indent = m_delegate ? m_delegate->shouldIndentWhileEditingRowAtIndexPath(*this, path) : true;
    bool movable = canEdit && m_dataSource->canMoveRowAtIndexPath(*this, path);
    cell.m_editing = m_editing;
    cell.configureEditing(style, indent, movable);
    cell.setSelected(m_selected == path);
    cell.setNeedsLayout();
    cell.setNeedsDisplay();
}

void TableView::recycle(const std::shared_ptr<TableViewCell>& cell)
{
    cell->removeFromSuperview();
    cell->setShowingDeleteConfirmation(false);
    Animator::performWithoutAnimation([&] { cell->setAlpha(1); });
    auto& queue = m_reuseQueue[cell->reuseIdentifier()];
    if (cell->reuseIdentifier().empty() || queue.size() >= 16) {
        // A cell the table lets go of may live on in a screen's property.
        cell->m_tableView = nullptr;
        return;
    }
    if (std::find(queue.begin(), queue.end(), cell) == queue.end())
        queue.push_back(cell);
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> path, bool, TableViewScrollPosition position)
{
    if (m_selected) {
        if (auto it = m_visible.find(*m_selected); it != m_visible.end())
            it->second->setSelected(false);
    }
    m_selected = path;
    if (!path)
        return;
    if (auto it = m_visible.find(*path); it != m_visible.end())
        it->second->setSelected(true);
    if (position != TableViewScrollPosition::None)
        scrollToRowAtIndexPath(*path, position, false);
}

void TableView::deselectRowAtIndexPath(IndexPath path, bool)
{
    if (m_selected == path)
        m_selected.reset();
    if (auto it = m_visible.find(path); it != m_visible.end()) {
        it->second->setSelected(false);
        it->second->setHighlighted(false);
    }
}

void TableView::userSelectedRow(IndexPath path)
{
    if (!m_allowsSelection || (m_editing && !m_allowsSelectionDuringEditing))
        return;
    auto keep = self();
    std::optional<IndexPath> chosen = m_delegate ? m_delegate->willSelectRowAtIndexPath(*this, path) : path;
    if (!chosen)
        return;
    if (m_selected && *m_selected != *chosen) {
        IndexPath old = *m_selected;
        deselectRowAtIndexPath(old, false);
        if (m_delegate)
            m_delegate->didDeselectRowAtIndexPath(*this, old);
    }
    selectRowAtIndexPath(chosen, false, TableViewScrollPosition::None);
    if (m_delegate)
        m_delegate->didSelectRowAtIndexPath(*this, *chosen);
}

void TableView::cellTouchBegan(TableViewCell& cell, const Touch&)
{
    if (m_swipedRow || std::any_of(m_visible.begin(), m_visible.end(), [](auto& p) {
            return p.second->showingDeleteConfirmation();
        })) {
        // A touch elsewhere while a delete button shows only hides it.
        hideDeleteConfirmation();
        m_swallowTouch = true;
        return;
    }
    m_swallowTouch = false;
    m_touchedRow = indexPathForCell(cell);
    bool selectable = m_allowsSelection && (!m_editing || m_allowsSelectionDuringEditing);
    if (m_touchedRow && selectable && cell.selectionStyle() != TableViewCellSelectionStyle::None)
        cell.setHighlighted(true);
}

void TableView::cellTouchEnded(TableViewCell& cell, const Touch& touch)
{
    cell.setHighlighted(false);
    if (m_swallowTouch) {
        m_swallowTouch = false;
        return;
    }
    auto path = indexPathForCell(cell);
    bool inside = cell.bounds().contains(touch.locationInView(&cell));
    if (path && path == m_touchedRow && inside)
        userSelectedRow(*path);
    m_touchedRow.reset();
}

void TableView::cellTouchCancelled(TableViewCell& cell)
{
    cell.setHighlighted(false);
    m_touchedRow.reset();
    m_swallowTouch = false;
}

bool TableView::selectable() const
{
    return m_allowsSelection && (!m_editing || m_allowsSelectionDuringEditing);
}

void TableView::moveFocusFrom(TableViewCell& cell, int direction)
{
    auto path = indexPathForCell(cell);
    if (!path)
        return;
    auto keep = self();
    IndexPath at = *path;
    while (true) {
        int section = at.section, row = at.row + direction;
        while (section >= 0 && section < numberOfSections() && (row < 0 || row >= numberOfRowsInSection(section))) {
            section += direction;
            if (section >= 0 && section < numberOfSections())
                row = direction > 0 ? 0 : numberOfRowsInSection(section) - 1;
        }
        if (section < 0 || section >= numberOfSections())
            return;
        at = { section, row };
        scrollToRowAtIndexPath(at, TableViewScrollPosition::None, false);
        setNeedsLayout();
        layoutIfNeeded();
        auto next = cellForRowAtIndexPath(at);
        if (next && next->canBecomeFirstResponder() && next->becomeFirstResponder())
            return;
    }
}

void TableView::accessoryTapped(TableViewCell& cell)
{
    auto path = indexPathForCell(cell);
    if (path && m_delegate)
        m_delegate->accessoryButtonTappedForRowWithIndexPath(*this, *path);
}

void TableView::frameSizeDidChange(Size oldSize)
{
    ScrollView::frameSizeDidChange(oldSize);
    if (m_dataValid)
        rebuildGeometry();
    for (auto& [path, cell] : m_visible)
        cell->setNeedsLayout();
}

void TableView::draw(Context& context, const Rect& rect)
{
    if (m_style == TableViewStyle::Grouped) {
        theme::fillPinstripes(context, rect);
        return;
    }
    // Empty rows below the last one still show their separators.
    double y = contentSize().height;
    if (m_sections.empty() || y <= 0)
        return;
    for (y += m_rowHeight; y - 1 < rect.maxY(); y += m_rowHeight)
        if (y > rect.minY())
            context.fillRect({ rect.x(), y - 1, rect.width(), 1 }, theme::separator);
}

}
