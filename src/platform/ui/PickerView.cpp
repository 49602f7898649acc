#include "platform/ui/PickerView.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Theme.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {
    constexpr double frameInset = 10;
    // Rows a wheel shows whole above and below its selection.
    constexpr int wholeRows = 2;

    Font wheelFont()
    {
        return Font::boldSystemFont(20);
    }

    // A row's line of text: 26 points high, taller for larger text (a row
    // holds it up to its own height).
    Rect wheelLine(const Rect& column, double centreY)
    {
        double height = std::clamp(std::ceil(sizeOfText("Ag", wheelFont()).height), 26.0, PickerView::rowHeight);
        return { column.x() + 10, centreY - height / 2, column.width() - 20, height };
    }

    Rect wheelColumn(const Rect& rect, double x, double width)
    {
        return { x + 2, rect.y() + frameInset, width - 4, rect.height() - 2 * frameInset };
    }
}

std::shared_ptr<PickerView> PickerView::create(Rect frame)
{
    return std::make_shared<PickerView>(frame);
}

PickerView::PickerView(Rect frame)
    : View({ frame.origin, { frame.width() > 0 ? frame.width() : 320, defaultHeight } })
{
}

void PickerView::setDataSource(PickerViewDataSource* dataSource)
{
    m_dataSource = dataSource;
    reloadAllComponents();
}

void PickerView::setDelegate(PickerViewDelegate* delegate)
{
    m_delegate = delegate;
    setNeedsDisplay();
}

void PickerView::setShowsSelectionIndicator(bool shows)
{
    m_showsIndicator = shows;
    setNeedsDisplay();
}

int PickerView::numberOfComponents()
{
    return m_dataSource ? std::max(0, m_dataSource->numberOfComponentsInPickerView(*this)) : 0;
}

int PickerView::numberOfRowsInComponent(int component)
{
    return m_dataSource ? std::max(0, m_dataSource->numberOfRowsInComponent(*this, component)) : 0;
}

int PickerView::selectedRowInComponent(int component) const
{
    if (component < 0 || component >= static_cast<int>(m_selected.size()))
        return -1;
    return m_selected[static_cast<std::size_t>(component)];
}

void PickerView::selectRow(int row, int component, bool)
{
    int components = numberOfComponents();
    if (component < 0 || component >= components)
        return;
    m_selected.resize(static_cast<std::size_t>(components), 0);
    int rows = numberOfRowsInComponent(component);
    m_selected[static_cast<std::size_t>(component)] = rows == 0 ? -1 : std::clamp(row, 0, rows - 1);
    setNeedsDisplay();
}

void PickerView::reloadAllComponents()
{
    int components = numberOfComponents();
    m_selected.resize(static_cast<std::size_t>(components), 0);
    for (int c = 0; c < components; ++c) {
        int rows = numberOfRowsInComponent(c);
        auto& s = m_selected[static_cast<std::size_t>(c)];
        s = rows == 0 ? -1 : std::clamp(s, 0, rows - 1);
    }
    setNeedsDisplay();
}

void PickerView::reloadComponent(int)
{
    reloadAllComponents();
}

void PickerView::userSelectRow(int row, int component)
{
    selectRow(row, component);
    int selected = selectedRowInComponent(component);
    if (selected >= 0 && m_delegate)
        m_delegate->didSelectRow(*this, selected, component);
}

std::string PickerView::visibleText() const
{
    if (!m_delegate)
        return {};
    std::string out;
    auto& self = const_cast<PickerView&>(*this);
    for (std::size_t c = 0; c < m_selected.size(); ++c)
        if (m_selected[c] >= 0)
            out += (out.empty() ? "" : " ") + m_delegate->titleForRow(self, m_selected[c], static_cast<int>(c));
    return out;
}

int PickerView::keyboardFocusStops() const
{
    return std::max(1, static_cast<int>(componentWidths().size()));
}

Rect PickerView::keyboardFocusRect(int stop) const
{
    return wheelRect(bounds(), componentWidths(), stop);
}

Rect PickerView::wheelRect(const Rect& rect, const std::vector<double>& widths, int index)
{
    if (index < 0 || index >= static_cast<int>(widths.size()))
        return rect;
    double x = rect.x() + frameInset;
    for (int i = 0; i < index; ++i)
        x += widths[static_cast<std::size_t>(i)];
    return { x, rect.y(), widths[static_cast<std::size_t>(index)], rect.height() };
}

bool PickerView::keyPressed(const KeyPress& key)
{
    if (key.code != KeyCode::Up && key.code != KeyCode::Down)
        return false;
    int component = keyboardFocusStop();
    if (component >= numberOfComponents())
        return false;
    int row = selectedRowInComponent(component) + (key.code == KeyCode::Down ? 1 : -1);
    if (row >= 0 && row < numberOfRowsInComponent(component))
        userSelectRow(row, component);
    return true;
}

std::vector<double> PickerView::componentWidths() const
{
    int n
        = m_dataSource ? std::max(0, m_dataSource->numberOfComponentsInPickerView(const_cast<PickerView&>(*this))) : 0;
    std::vector<double> widths;
    double usable = bounds().width() - 2 * frameInset;
    for (int c = 0; c < n; ++c)
        widths.push_back(usable / n);
    return widths;
}

std::pair<int, int> PickerView::wheelAndRowOffset(const Rect& rect, const std::vector<double>& widths, Point point)
{
    double x = rect.x() + frameInset;
    int wheel = -1;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (point.x >= x && point.x < x + widths[i])
            wheel = static_cast<int>(i);
        x += widths[i];
    }
    int offset = static_cast<int>(std::lround((point.y - rect.midY()) / rowHeight));
    return { wheel, offset };
}

void PickerView::touchesBegan(const TouchSet& touches, const Event&)
{
    m_touchStart = touches.front()->locationInView(this);
}

void PickerView::touchesEnded(const TouchSet& touches, const Event&)
{
    Point end = touches.front()->locationInView(this);
    auto [component, offset] = wheelAndRowOffset(bounds(), componentWidths(), m_touchStart);
    if (component < 0)
        return;
    double dy = end.y - m_touchStart.y;
    // A drag turns the wheel by the rows it covered; a tap picks the row tapped.
    int delta = std::abs(dy) > 10 ? -static_cast<int>(std::lround(dy / rowHeight)) : offset;
    if (delta == 0)
        return;
    userSelectRow(selectedRowInComponent(component) + delta, component);
}

void PickerView::drawWheels(Context& context, const Rect& rect, const std::vector<Wheel>& wheels, bool indicator)
{
    {
        ContextStateSaver saver(context);
        context.clipToRect(rect);
        context.drawLinearGradient(
            Gradient::between(Color::hex(0x8e8f9a), Color::hex(0x3c3d45)), { 0, rect.minY() }, { 0, rect.maxY() });
    }
    double x = rect.x() + frameInset;
    Font font = wheelFont();
    for (const auto& wheel : wheels) {
        Rect column = wheelColumn(rect, x, wheel.width);
        ContextStateSaver saver(context);
        context.clipToRect(column);
        context.fillRect(column, Color::whiteColor());
        for (int offset = -3; offset <= 3; ++offset) {
            int row = wheel.selected + offset;
            if (row < 0 || row >= static_cast<int>(wheel.titles.size()))
                continue;
            double cy = rect.midY() + offset * rowHeight;
            TextStyle style { font, wheel.alignment, LineBreakMode::TruncateTail, 1 };
            Rect line = wheelLine(column, cy);
            context.drawText(wheel.titles[static_cast<std::size_t>(row)], line, style, Color::black());
        }
        Gradient shade { { { 0, Color::white(0.1, 0.75) }, { 0.3, Color::white(0.3, 0.0) },
            { 0.7, Color::white(0.3, 0.0) }, { 1, Color::white(0.1, 0.75) } } };
        context.drawLinearGradient(shade, { 0, column.minY() }, { 0, column.maxY() });
        context.fillRect({ column.x(), column.y(), 1, column.height() }, Color::white(0.2, 0.6));
        context.fillRect({ column.maxX() - 1, column.y(), 1, column.height() }, Color::white(0.2, 0.6));
        x += wheel.width;
    }
    if (indicator) {
        Rect band { rect.x() + 4, rect.midY() - rowHeight / 2, rect.width() - 8, rowHeight };
        context.beginPath();
        context.addRoundedRect(band, 4);
        Gradient glass { { { 0, Color::rgb(0.8, 0.84, 0.95, 0.45) }, { 0.5, Color::rgb(0.66, 0.71, 0.88, 0.3) },
            { 0.5001, Color::rgb(0.55, 0.61, 0.82, 0.3) }, { 1, Color::rgb(0.6, 0.66, 0.86, 0.35) } } };
        context.fillPathWithLinearGradient(glass, { 0, band.minY() }, { 0, band.maxY() });
        context.strokeRect(band.insetBy(0.5, 0.5), Color::rgb(0.3, 0.33, 0.45, 0.8), 1);
    }
}

std::vector<DrawnText> PickerView::wheelTexts(const Rect& rect, const std::vector<Wheel>& wheels)
{
    std::vector<DrawnText> texts;
    double x = rect.x() + frameInset;
    TextStyle style { wheelFont(), TextAlignment::Left, LineBreakMode::Clip, 1 };
    for (const auto& wheel : wheels) {
        Rect column = wheelColumn(rect, x, wheel.width);
        for (int offset = -wholeRows; offset <= wholeRows; ++offset) {
            int row = wheel.selected + offset;
            if (row < 0 || row >= static_cast<int>(wheel.titles.size()))
                continue;
            const std::string& title = wheel.titles[static_cast<std::size_t>(row)];
            if (!title.empty())
                texts.push_back(DrawnText::measured(
                    title, measureText(title, style).size, wheelLine(column, rect.midY() + offset * rowHeight)));
        }
        x += wheel.width;
    }
    return texts;
}

std::vector<PickerView::Wheel> PickerView::wheels()
{
    std::vector<Wheel> wheels;
    auto widths = componentWidths();
    for (int c = 0; c < static_cast<int>(widths.size()); ++c) {
        Wheel wheel;
        wheel.width = widths[static_cast<std::size_t>(c)];
        wheel.selected = std::max(0, selectedRowInComponent(c));
        int rows = numberOfRowsInComponent(c);
        int first = std::max(0, wheel.selected - 3), last = std::min(rows - 1, wheel.selected + 3);
        wheel.titles.assign(static_cast<std::size_t>(std::max(rows, 0)), std::string {});
        for (int r = first; r <= last; ++r)
            wheel.titles[static_cast<std::size_t>(r)]
                = m_delegate ? m_delegate->titleForRow(*this, r, c) : std::to_string(r);
        wheels.push_back(std::move(wheel));
    }
    return wheels;
}

std::vector<DrawnText> PickerView::drawnTexts() const
{
    // Asking the data source and delegate for rows does not change the picker.
    return wheelTexts(bounds(), const_cast<PickerView*>(this)->wheels());
}

void PickerView::draw(Context& context, const Rect& rect)
{
    drawWheels(context, rect, wheels(), m_showsIndicator);
}

}
