#include "platform/ui/Accessible.h"
#include "platform/ui/Application.h"
#include "platform/ui/KeyboardFocus.h"
#include "platform/ui/TableView.h"

#include <algorithm>
#include <cstdlib>

namespace hestio::platform {

namespace {

    /// The views inside `root` that take the focus but no text (a row's
    /// switch), in drawing order.
    void focusableIn(View& root, std::vector<View*>& out)
    {
        for (const auto& sub : root.subviews()) {
            if (sub->isHidden())
                continue;
            if (sub->canBecomeFirstResponder() && !sub->wantsKeyboard())
                out.push_back(sub.get());
            focusableIn(*sub, out);
        }
    }

    /// Focuses what stood for the focused view in the row before: the
    /// control with its identifier or at its place, else the row itself,
    /// else the row's first control.
    bool focusInCell(TableViewCell& cell, const std::string& control, int controlIndex)
    {
        std::vector<View*> controls;
        focusableIn(cell, controls);
        if (controlIndex >= 0) {
            auto named = std::find_if(controls.begin(), controls.end(),
                [&](View* v) { return !control.empty() && v->accessibilityIdentifier() == control; });
            if (named != controls.end() && (*named)->becomeFirstResponder())
                return true;
            if (controlIndex < static_cast<int>(controls.size())
                && controls[static_cast<std::size_t>(controlIndex)]->becomeFirstResponder())
                return true;
        }
        if (cell.canBecomeFirstResponder() && cell.becomeFirstResponder())
            return true;
        return std::any_of(controls.begin(), controls.end(), [](View* v) { return v->becomeFirstResponder(); });
    }

}

void TableView::describeAccessibility(AccessibleInfo& info) const
{
    double top = minimumContentOffset().y;
    double bottom = std::max(top, maximumContentOffset().y);
    info.interfaces |= AccessibleHasValue;
    info.value = AccessibleValue { std::clamp(contentOffset().y, top, bottom), top, bottom,
        std::max(1.0, frame().height() - contentInset().top - contentInset().bottom) };
}

bool TableView::adjustAccessibleValue(double value)
{
    double top = minimumContentOffset().y;
    double bottom = std::max(top, maximumContentOffset().y);
    setContentOffset({ contentOffset().x, std::clamp(value, top, bottom) }, false);
    return true;
}

std::optional<TableView::KeptFocus> TableView::focusInRows()
{
    auto* focused = dynamic_cast<View*>(Application::shared().firstResponder());
    // A field being edited ends its editing as it always did: its text is
    // the row's, and the new row's field starts empty.
    if (!focused || focused->wantsKeyboard())
        return std::nullopt;
    for (auto& [path, cell] : m_visible) {
        if (focused != cell.get() && !focused->isDescendantOf(*cell))
            continue;
        KeptFocus kept { path, cell->m_rowIdentity };
        kept.name = accessibleInfo(Application::shared(), { cell.get() }).name;
        kept.rectInWindow = focused->convertRectToView(focused->bounds(), nullptr);
        if (focused != cell.get()) {
            kept.control = focused->accessibilityIdentifier();
            std::vector<View*> controls;
            focusableIn(*cell, controls);
            auto at = std::find(controls.begin(), controls.end(), focused);
            kept.controlIndex = at == controls.end() ? 0 : static_cast<int>(at - controls.begin());
        }
        return kept;
    }
    return std::nullopt;
}

std::optional<IndexPath> TableView::neighbourRow(IndexPath path)
{
    // The row that moved into the place, else the one before it (the last
    // row went), else the nearest row of the sections after, then before.
    int sections = numberOfSections();
    for (int s = std::min(path.section, sections - 1); s < sections && s >= 0; ++s) {
        int rows = numberOfRowsInSection(s);
        if (rows > 0)
            return IndexPath { s, s == path.section ? std::min(path.row, rows - 1) : 0 };
    }
    for (int s = std::min(path.section, sections) - 1; s >= 0; --s)
        if (int rows = numberOfRowsInSection(s); rows > 0)
            return IndexPath { s, rows - 1 };
    return std::nullopt;
}

std::optional<IndexPath> TableView::rowForFocus(const KeptFocus& kept)
{
    auto place = neighbourRow(kept.path);
    if (!place)
        return std::nullopt;
    auto distance = [&](IndexPath p) {
        return std::abs(p.section - kept.path.section) * 100000 + std::abs(p.row - kept.path.row);
    };
    std::optional<IndexPath> best;
    auto consider = [&](IndexPath p) {
        if (!best || distance(p) < distance(*best))
            best = p;
    };
    if (kept.identity && m_dataSource) {
        // Every row answers cheaply: the item is found wherever it went.
        for (int s = 0; s < numberOfSections(); ++s)
            for (int r = 0; r < numberOfRowsInSection(s); ++r)
                if (m_dataSource->identityForRowAtIndexPath(*this, { s, r }) == kept.identity)
                    consider({ s, r });
        return best ? best : place;
    }
    // Known by name only: looked for among the rows shown where it was.
    scrollToRowAtIndexPath(*place, TableViewScrollPosition::None, false);
    layoutIfNeeded();
    for (auto& [path, cell] : m_visible)
        if (!kept.name.empty() && accessibleInfo(Application::shared(), { cell.get() }).name == kept.name)
            consider(path);
    return best ? best : place;
}

void TableView::restoreFocus(const KeptFocus& kept)
{
    Application& application = Application::shared();
    if (application.firstResponder() || !window())
        return;
    auto keep = self();
    if (auto row = rowForFocus(kept)) {
        scrollToRowAtIndexPath(*row, TableViewScrollPosition::None, false);
        layoutIfNeeded();
        if (auto cell = cellForRowAtIndexPath(*row); cell && focusInCell(*cell, kept.control, kept.controlIndex))
            return;
    }
    // No row to take it: the screen's control at or after where it was in
    // reading order, else its last one.
    auto stops = KeyboardFocus::chain(application);
    auto after = std::find_if(stops.begin(), stops.end(),
        [&](const KeyboardFocus::Stop& stop) { return stop.rect.minY() >= kept.rectInWindow.minY(); });
    if (after == stops.end() && !stops.empty())
        after = stops.end() - 1;
    for (; after != stops.end(); ++after) {
        auto hold = after->view->self();
        after->view->setKeyboardFocusStop(after->stop);
        if (after->view->becomeFirstResponder())
            return;
    }
}

}
