#include "widgets/OfflineBar.h"

#include "platform/ui/NavigationController.h"

namespace hestio {

using namespace platform;

void OfflineBar::update(ViewController& screen, const std::optional<std::string>& text)
{
    NavigationController* navigation = screen.navigationController();
    if (!text || !navigation) {
        if (m_label)
            m_label->setHidden(true);
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
}

}
