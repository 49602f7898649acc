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

using platform::Date;
using platform::Rect;

std::optional<std::string> GraphViewController::keptWeekKey(Date weekStart) const
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

void GraphViewController::showKeptWeek(unsigned week)
{
    if (week == 0) {
        auto cache = m_session ? m_session->offline().cache() : nullptr;
        m_keptFolder = cache ? std::optional(cache->folder()) : std::nullopt;
        std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
        auto& center = platform::NotificationCenter::defaultCenter();
        center.removeObserver(this, OfflineStore::stateChanged);
        center.addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
            if (auto self = weakSelf.lock())
                self->offlineStateChanged();
        });
    }
    auto span = m_weekSpans.find(week);
    std::optional<std::string> key = span == m_weekSpans.end() ? std::nullopt : keptWeekKey(Date(span->second.start));
    if (!key || std::find(m_blockWeeks.begin(), m_blockWeeks.end(), week) != m_blockWeeks.end())
        return;
    // Read and checked as the lists' kept replies are; shown through the
    // code a live reply goes through, and replaced by the live week.
    CachedList kept(m_session, *key);
    std::optional<json::Value> reply = kept.takeKept();
    if (!reply || !kept.shownFetchedAt())
        return;
    placeWeek(week, *reply);
    m_keptShown[week] = *kept.shownFetchedAt();
}

void GraphViewController::keepWeek(const Week& week, const json::Value& data)
{
    Date now = platform::RunLoop::current().clock().now();
    if (week.index == 0)
        m_liveAt = now;
    auto span = m_weekSpans.find(week.index);
    std::optional<std::string> key = span == m_weekSpans.end() ? std::nullopt : keptWeekKey(Date(span->second.start));
    auto cache = key && m_session ? m_session->offline().cache() : nullptr;
    if (!cache || cache->folder() != m_keptFolder)
        return; // signed out, or another user signed in meanwhile
    // The reply reaches the screen decoded; it is kept written out again.
    std::optional<std::string> body = json::JSONData(data);
    if (!body)
        return;
    if (platform::Status stored = cache->store(*key, *body, now); !stored)
        hestio::log("Could not keep the reply of " + *key + ": " + stored.error().message());
}

std::optional<std::string> GraphViewController::offlineBarText() const
{
    if (!m_session)
        return std::nullopt;
    std::optional<Date> shownAt = m_liveAt;
    for (const auto& [week, fetchedAt] : m_keptShown)
        shownAt = shownAt ? std::min(*shownAt, fetchedAt) : fetchedAt;
    return CachedList::barTextFor(m_session->offline().isOffline(), !m_keptShown.empty(), shownAt,
        platform::RunLoop::current().clock().now(), m_timezone);
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
    std::optional<std::string> text = offlineBarText();
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
    // Back online with kept weeks on screen: the weeks lost in transport are
    // asked for again at once, rather than on the next move back.
    bool reachable = m_session && !m_session->offline().isOffline();
    bool keptLost = std::any_of(
        m_weeksToRetry.begin(), m_weeksToRetry.end(), [this](const Week& week) { return showsKept(week.index); });
    if (reachable && keptLost && m_graph)
        sendWeekRequests();
}

}
