#include "widgets/OfflineBar.h"

#include "platform/ui/NavigationController.h"

#include <algorithm>

namespace hestio {

using namespace platform;

void OfflineBar::update(ViewController& screen, const std::optional<std::string>& text)
{
    NavigationController* navigation = screen.navigationController();
    if (!text || !navigation) {
        if (m_label)
            m_label->setHidden(true);
        if (screen.isViewLoaded())
            giveRoomBack(*screen.view());
        return;
    }
    View& host = *navigation->view();
    Rect bar = navigation->navigationBar().frame();
    if (!m_label) {
        m_label = Label::create();
        m_label->setAccessibilityIdentifier(identifier);
        m_label->setFont(Font::boldSystemFont(12));
        m_label->setTextAlignment(TextAlignment::Center);
        m_label->setTextColor(Color::whiteColor());
        m_label->setBackgroundColor(Color::rgb(0.35, 0.35, 0.38).withAlpha(0.92));
        m_label->setAutoresizingMask(AutoresizingFlexibleWidth);
    }
    double top = navigation->isNavigationBarHidden() ? host.bounds().minY() : bar.maxY();
    m_label->setFrame({ 0, top, host.bounds().size.width, height });
    if (m_label->superview() != &host)
        host.addSubview(m_label);
    host.bringSubviewToFront(*m_label);
    m_label->setText(*text);
    m_label->setHidden(false);
    makeRoom(*screen.view(), top + height);
}

void OfflineBar::makeRoom(View& content, double below)
{
    Rect frame = content.frame();
    if (content.superview() == nullptr || frame.origin.y >= below)
        return; // already below the bar (moved before, or laid out so)
    double cut = below - frame.origin.y;
    content.setFrame({ frame.origin.x, below, frame.size.width, std::max(0.0, frame.size.height - cut) });
    m_moved = cut;
    m_movedTo = below;
}

void OfflineBar::giveRoomBack(View& content)
{
    if (m_moved <= 0)
        return;
    Rect frame = content.frame();
    // Laid out again by its navigation controller meanwhile: already back.
    if (frame.origin.y == m_movedTo)
        content.setFrame({ frame.origin.x, frame.origin.y - m_moved, frame.size.width, frame.size.height + m_moved });
    m_moved = 0;
}

}
