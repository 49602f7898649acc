#include "platform/host/ScreenQuery.h"

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cstdio>

namespace hestio::platform {

namespace {

    bool textIs(const View& view, const std::string& text)
    {
        return view.visibleText() == text || view.accessibilityLabel() == text;
    }

    bool textContains(const View& view, const std::string& text)
    {
        return view.visibleText().find(text) != std::string::npos
            || view.accessibilityLabel().find(text) != std::string::npos;
    }

    bool identifierIs(const View& view, const std::string& identifier)
    {
        return view.accessibilityIdentifier() == identifier;
    }

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
    Window* window = m_application.keyWindow();
    if (!window)
        return std::nullopt;
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden() || v->alpha() <= 0.01)
            return std::nullopt;
    Rect visible = view.convertRectToView(view.bounds(), nullptr);
    for (const View* v = view.superview(); v; v = v->superview())
        if (v->clipsToBounds())
            visible = visible.intersection(v->convertRectToView(v->bounds(), nullptr));
    visible = visible.intersection(window->bounds());
    if (visible.isEmpty())
        return std::nullopt;
    return visible;
}

View* ScreenQuery::findFirst(bool (*match)(const View&, const std::string&), const std::string& needle) const
{
    for (View* layer : layers()) {
        std::vector<View*> views;
        collectTopMostFirst(*layer, views);
        // A view drawn later is on top, but a person reads a parent's text
        // (a button's title) as the parent, so the deepest match is fine:
        // touching its centre reaches whatever is really there.
        for (View* view : views)
            if (match(*view, needle) && visibleRect(*view))
                return view;
    }
    return nullptr;
}

View* ScreenQuery::findText(const std::string& text) const
{
    if (text.empty())
        return nullptr;
    if (View* exact = findFirst(textIs, text))
        return exact;
    return findFirst(textContains, text);
}

View* ScreenQuery::findIdentifier(const std::string& identifier) const
{
    return findFirst(identifierIs, identifier);
}

std::vector<View*> ScreenQuery::keyViewChain() const
{
    for (View* layer : layers()) {
        std::vector<View*> views;
        collectTopMostFirst(*layer, views);
        std::vector<std::pair<Rect, View*>> fields;
        for (View* view : views)
            if (view->canBecomeFirstResponder() && view->isUserInteractionEnabled())
                if (auto rect = visibleRect(*view))
                    fields.push_back({ *rect, view });
        if (fields.empty())
            continue;
        std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) {
            if (a.first.minY() != b.first.minY())
                return a.first.minY() < b.first.minY();
            return a.first.minX() < b.first.minX();
        });
        std::vector<View*> chain;
        for (auto& [rect, view] : fields)
            chain.push_back(view);
        return chain;
    }
    return {};
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
