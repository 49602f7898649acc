#include "graphs/GraphViewController.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"
#include "session/OfflineStore.h"
#include "widgets/OfflineBar.h"
#include "json/Serializer.h"

#include <algorithm>

namespace hestio {

using platform::Rect;

std::optional<std::string> GraphViewController::keptWeekKey(platform::Date weekStart) const
{
    std::string name = keptGraphName();
    if (name.empty())
        return std::nullopt;
    // The day the week starts, not the moment it ends: that moves with each
    // opening of the screen, the day only once a day. The cache writes the
    // key as a safe file name (a device's id may hold any bytes).
    platform::DateFormatter day("yyyy-MM-dd");
    day.setTimeZone(m_timezone);
    return "graph-" + name + "-" + day.stringFromDate(weekStart);
}

void GraphViewController::showKeptWeek()
{
    auto span = m_weekSpans.find(0);
    std::optional<std::string> key
        = span == m_weekSpans.end() ? std::nullopt : keptWeekKey(platform::Date(span->second.start));
    if (!key) {
        m_keptWeek.reset();
        return;
    }
    m_keptWeek.emplace(m_session, *key);
    // Shown at once, through the code a live reply goes through; the live
    // week takes its place when it comes.
    if (std::optional<json::Value> kept = m_keptWeek->takeKept())
        placeWeek(0, *kept);

    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    auto& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(this, OfflineStore::stateChanged);
    center.addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
        if (auto self = weakSelf.lock())
            self->offlineStateChanged();
    });
}

void GraphViewController::keepWeek(const Week& week, const json::Value& data)
{
    auto span = m_weekSpans.find(week.index);
    std::optional<std::string> key
        = span == m_weekSpans.end() ? std::nullopt : keptWeekKey(platform::Date(span->second.start));
    std::optional<std::string> body = key ? json::JSONData(data) : std::nullopt;
    if (!body)
        return;
    if (week.index == 0 && m_keptWeek && m_keptWeek->key() == *key) {
        m_keptWeek->showsLive(*body);
        return;
    }
    // Older weeks are kept too; only the current one is shown from the cache.
    auto cache = m_session ? m_session->offline().cache() : nullptr;
    if (!cache)
        return;
    if (platform::Status stored = cache->store(*key, *body, platform::RunLoop::current().clock().now()); !stored)
        hestio::log("Could not keep the reply of " + *key + ": " + stored.error().message());
}

void GraphViewController::makeOfflineBar(platform::View& view)
{
    m_offlineBar = platform::Label::create();
    m_offlineBar->setAccessibilityIdentifier(OfflineBar::identifier);
    m_offlineBar->setFont(platform::Font::boldSystemFont(12));
    m_offlineBar->setTextAlignment(platform::TextAlignment::Center);
    m_offlineBar->setTextColor(platform::Color::whiteColor());
    m_offlineBar->setBackgroundColor(platform::Color::rgb(0.35, 0.35, 0.38).withAlpha(0.92));
    m_offlineBar->setAutoresizingMask(platform::AutoresizingFlexibleWidth);
    m_offlineBar->setHidden(true);
    view.addSubview(m_offlineBar);
}

void GraphViewController::updateOfflineBar()
{
    if (!m_offlineBar)
        return;
    std::optional<std::string> text = m_keptWeek ? m_keptWeek->barText() : std::nullopt;
    if (text)
        m_offlineBar->setText(*text);
    m_offlineBar->setHidden(!text);
    placeOfflineBar();
}

void GraphViewController::placeOfflineBar()
{
    if (!m_offlineBar || !m_navBar || !m_hostingView)
        return;
    Rect bar = m_navBar->frame();
    m_offlineBar->setFrame({ 0, bar.maxY(), bar.width(), OfflineBar::height });
    // The graph moves down rather than lose its top under the bar.
    double top = m_offlineBar->isHidden() ? bar.maxY() : bar.maxY() + OfflineBar::height;
    Rect graph = m_hostingView->frame();
    if (graph.minY() != top)
        m_hostingView->setFrame({ graph.minX(), top, graph.width(), graph.maxY() - top });
}

void GraphViewController::offlineStateChanged()
{
    updateOfflineBar();
    // Back online with the kept week on screen: the current week lost in
    // transport is asked for again at once.
    bool reachable = m_session && !m_session->offline().isOffline();
    bool currentWeekLost
        = std::any_of(m_weeksToRetry.begin(), m_weeksToRetry.end(), [](const Week& week) { return week.index == 0; });
    if (reachable && showsKeptWeek() && currentWeekLost && m_graph)
        sendWeekRequests();
}

}
