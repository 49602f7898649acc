#include "graphs/GraphViewController.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"
#include "session/OfflineStore.h"
#include "widgets/OfflineBar.h"

#include <algorithm>

namespace hestio {

using platform::Date;
using platform::Rect;

std::optional<std::string> GraphViewController::keptWeekKey(unsigned week) const
{
    return GraphWeekKeeper::keyFor(keptGraphName(), week);
}

void GraphViewController::showKeptWeek(unsigned week)
{
    if (week == 0) {
        std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
        auto& center = platform::NotificationCenter::defaultCenter();
        center.removeObserver(this, OfflineStore::stateChanged);
        center.addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
            if (auto self = weakSelf.lock())
                self->offlineStateChanged();
        });
    }
    if (std::find(m_blockWeeks.begin(), m_blockWeeks.end(), week) != m_blockWeeks.end())
        return;
    // Shown through the code a live reply goes through, and replaced by the
    // live week.
    std::optional<GraphWeekKeeper::KeptWeek> kept = m_keeper.load(week);
    if (!kept)
        return;
    m_keeper.showsKept(week, *kept);
    placeWeek(week, kept->reply);
}

void GraphViewController::keepWeek(const Week& week, const json::Value& data, std::string text)
{
    auto span = m_loader.spans().find(week.index);
    m_keeper.keep(week.index, span == m_loader.spans().end() ? TimeSpan {} : span->second, data,
        platform::RunLoop::current().clock().now(), std::move(text));
}

TimeSpan GraphViewController::heldSpan(unsigned week) const
{
    if (std::optional<TimeSpan> kept = m_keeper.keptSpan(week))
        return *kept;
    auto asked = m_loader.spans().find(week);
    return asked == m_loader.spans().end() ? TimeSpan {} : asked->second;
}

std::optional<std::string> GraphViewController::offlineBarText() const
{
    return m_keeper.barText(platform::RunLoop::current().clock().now(), m_timezone);
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
    const auto& lost = m_loader.weeksToRetry();
    bool keptLost = std::any_of(lost.begin(), lost.end(), [this](const Week& week) { return showsKept(week.index); });
    if (reachable && keptLost && m_graph)
        sendWeekRequests();
}

}
