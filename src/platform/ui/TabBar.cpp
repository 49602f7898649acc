#include "platform/ui/TabBar.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Theme.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {
    // The bar is of a fixed height: its titles keep their size whatever the
    // text scale.
    Font titleFont()
    {
        return Font::boldSystemFont(10).fixedSize();
    }
}

std::shared_ptr<TabBar> TabBar::create(Rect frame)
{
    return std::make_shared<TabBar>(frame);
}

TabBar::TabBar(Rect frame)
    : View(frame)
{
    setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
    setAccessibilityIdentifier("tabBar");
}

void TabBar::setTabs(std::vector<Tab> tabs)
{
    m_tabs = std::move(tabs);
    setNeedsDisplay();
}

void TabBar::setSelectedIndex(int index)
{
    if (index == m_selected)
        return;
    m_selected = index;
    setNeedsDisplay();
}

Rect TabBar::rectForTab(int index) const
{
    Rect b = bounds();
    if (m_tabs.empty())
        return {};
    double margin = 2;
    double w = (b.width() - 2 * margin) / static_cast<double>(m_tabs.size());
    return { b.x() + margin + w * index, b.y() + 2, w, b.height() - 4 };
}

int TabBar::tabAtPoint(Point point) const
{
    for (int i = 0; i < static_cast<int>(m_tabs.size()); ++i)
        if (rectForTab(i).insetBy(0, -2).contains(point))
            return i;
    return -1;
}

View* TabBar::findByText(const std::string& text)
{
    for (auto& tab : m_tabs)
        if (tab.title == text)
            return this;
    return View::findByText(text);
}

std::string TabBar::visibleText() const
{
    std::string out;
    for (auto& tab : m_tabs)
        out += (out.empty() ? "" : " | ") + tab.title;
    return out;
}

void TabBar::touchesBegan(const TouchSet& touches, const Event&)
{
    m_pressed = tabAtPoint(touches.front()->locationInView(this));
}

void TabBar::touchesEnded(const TouchSet& touches, const Event&)
{
    int index = tabAtPoint(touches.front()->locationInView(this));
    if (index == m_pressed)
        selectTabAsTapped(index);
    m_pressed = -1;
}

bool TabBar::selectTabAsTapped(int index)
{
    if (index < 0 || index >= static_cast<int>(m_tabs.size()) || !m_tabs[static_cast<std::size_t>(index)].enabled
        || !m_select)
        return false;
    m_select(index);
    return true;
}

std::vector<DrawnText> TabBar::drawnTexts() const
{
    std::vector<DrawnText> texts;
    for (int i = 0; i < static_cast<int>(m_tabs.size()); ++i) {
        const std::string& title = m_tabs[static_cast<std::size_t>(i)].title;
        if (title.empty())
            continue;
        Rect r = rectForTab(i);
        Size s = sizeOfText(title, titleFont());
        texts.push_back(DrawnText::measured(title, s, { r.x(), r.maxY() - s.height - 1, r.width(), s.height }));
    }
    return texts;
}

void TabBar::draw(Context& context, const Rect& rect)
{
    {
        ContextStateSaver saver(context);
        context.clipToRect(rect);
        Gradient bar { { { 0, Color::hex(0x3a3a3a) }, { 0.5, Color::hex(0x1c1c1c) }, { 0.5001, Color::hex(0x0b0b0b) },
            { 1, Color::hex(0x000000) } } };
        context.drawLinearGradient(bar, { 0, rect.minY() }, { 0, rect.maxY() });
    }
    context.fillRect({ rect.x(), rect.minY(), rect.width(), 1 }, Color::white(0.33));
    Font font = titleFont();
    for (int i = 0; i < static_cast<int>(m_tabs.size()); ++i) {
        const Tab& tab = m_tabs[static_cast<std::size_t>(i)];
        Rect r = rectForTab(i);
        bool selected = i == m_selected;
        if (selected) {
            context.beginPath();
            context.addRoundedRect(r.insetBy(1, 0), 4);
            context.setFillColor(Color::white(1, 0.14));
            context.fill();
        }
        Color iconColor = selected ? Color::hex(0x4fb4ff) : Color::white(0.55);
        Color textColor = selected ? Color::whiteColor() : Color::white(0.6);
        std::shared_ptr<const Image> icon;
        if (!tab.imageName.empty())
            icon = theme::tintedImageNamed(tab.imageName, iconColor);
        if (!icon)
            icon = tab.image;
        if (icon) {
            Size s = icon->size();
            double scale = std::min(1.0, std::min(30.0 / std::max(s.width, 1.0), 30.0 / std::max(s.height, 1.0)));
            Size d { s.width * scale, s.height * scale };
            context.drawImage(*icon, { r.midX() - d.width / 2, r.y() + 3 + (30 - d.height) / 2, d.width, d.height },
                tab.enabled ? 1.0 : 0.4);
        }
        Size ts = sizeOfText(tab.title, font);
        context.drawText(
            tab.title, { r.midX() - std::min(ts.width, r.width()) / 2, r.maxY() - ts.height - 1 }, font, textColor);
        if (tab.badge && !tab.badge->empty())
            theme::drawBadge(context, { std::min(r.midX() + 18, r.maxX() - 10), r.y() + 9 }, *tab.badge);
    }
}

}
