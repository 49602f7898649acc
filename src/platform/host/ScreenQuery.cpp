#include "platform/host/ScreenQuery.h"

#include "platform/ui/Accessible.h"
#include "platform/ui/Application.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cstdio>

namespace hestio::platform {

namespace {

    /// Depth first, the later (drawn on top) subviews before the earlier ones.
    void collectTopMostFirst(View& view, std::vector<View*>& out)
    {
        const auto& subviews = view.subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
            collectTopMostFirst(**it, out);
        out.push_back(&view);
    }

}

ScreenQuery::ScreenQuery(Application& application)
    : m_application(application)
{
    // Lists fill their rows when laid out: what a person sees has been laid out.
    if (Window* window = application.keyWindow())
        window->layoutTree();
}

std::vector<View*> ScreenQuery::layers() const
{
    std::vector<View*> out;
    Window* window = m_application.keyWindow();
    if (!window)
        return out;
    const auto& overlays = window->overlays();
    for (auto it = overlays.rbegin(); it != overlays.rend(); ++it)
        out.push_back(it->get());
    out.push_back(window);
    return out;
}

std::optional<Rect> ScreenQuery::visibleRect(const View& view) const
{
    if (!m_application.keyWindow())
        return std::nullopt;
    return visibleRectInWindow(view);
}

std::optional<ScreenQuery::Found> ScreenQuery::findFirst(Match match, const std::string& needle) const
{
    auto shows = [&](const std::string& shown) {
        return match == Match::Exactly ? shown == needle : shown.find(needle) != std::string::npos;
    };
    for (View* layer : layers()) {
        std::vector<View*> views;
        collectTopMostFirst(*layer, views);
        // A button's title label and the button show the same text; the
        // deepest match is as good, as its centre reaches whatever is there.
        for (View* view : views) {
            auto visible = visibleRect(*view);
            if (!visible)
                continue;
            if (match == Match::Identifier) {
                if (view->accessibilityIdentifier() == needle)
                    return Found { view, *visible };
                continue;
            }
            // Tabs are drawn by their bar rather than being views of their own.
            // A tab with a badge also answers to "Title (badge)", so scripts
            // can read the badge.
            if (auto* bar = dynamic_cast<TabBar*>(view)) {
                for (std::size_t i = 0; i < bar->tabs().size(); ++i) {
                    const TabBar::Tab& tab = bar->tabs()[i];
                    bool badged = tab.badge && !tab.badge->empty() && shows(tab.title + " (" + *tab.badge + ")");
                    if (shows(tab.title) || badged) {
                        Rect rect = bar->convertRectToView(bar->rectForTab(static_cast<int>(i)), nullptr);
                        return Found { view, rect.intersection(*visible) };
                    }
                }
                continue;
            }
            if (shows(view->visibleText()) || shows(view->accessibilityLabel()))
                return Found { view, *visible };
        }
    }
    return std::nullopt;
}

std::optional<ScreenQuery::Found> ScreenQuery::findText(const std::string& text) const
{
    if (text.empty())
        return std::nullopt;
    if (auto exact = findFirst(Match::Exactly, text))
        return exact;
    return findFirst(Match::Containing, text);
}

std::optional<ScreenQuery::Found> ScreenQuery::findIdentifier(const std::string& identifier) const
{
    return findFirst(Match::Identifier, identifier);
}

std::string ScreenQuery::describe(const View& view) const
{
    std::string out = view.className();
    if (!view.visibleText().empty())
        out += " \"" + view.visibleText() + "\"";
    if (!view.accessibilityIdentifier().empty())
        out += " #" + view.accessibilityIdentifier();
    Rect r = view.convertRectToView(view.bounds(), nullptr);
    char buf[96];
    std::snprintf(buf, sizeof buf, " at (%g, %g) %gx%g", r.x(), r.y(), r.width(), r.height());
    return out + buf;
}

}
