#include "widgets/OfflineEmptyState.h"

#include "platform/gfx/Font.h"

namespace hestio {

using namespace platform;

void OfflineEmptyState::attach(View& list, Color textColor, std::function<void()> retry)
{
    *m_retry = std::move(retry);
    if (!m_view) {
        // Where the first rows would be, as the lists' other empty hints.
        m_view = View::create({ 20, 110, 280, 124 });
        m_view->setAccessibilityIdentifier(identifier);
        m_view->setBackgroundColor(Color::clear());
        m_view->setAutoresizingMask(AutoresizingFlexibleWidth);
        m_label = Label::create({ 0, 0, 280, 72 });
        m_label->setAccessibilityIdentifier("offlineEmptyLabel");
        m_label->setText(text);
        m_label->setNumberOfLines(3);
        m_label->setTextAlignment(TextAlignment::Center);
        m_label->setBackgroundColor(Color::clear());
        m_label->setAutoresizingMask(AutoresizingFlexibleWidth);
        m_view->addSubview(m_label);
        m_button = Button::create(Button::Type::RoundedRect, { 90, 84, 100, 36 });
        m_button->setAccessibilityIdentifier("offlineRetryButton");
        m_button->setTitle(buttonTitle);
        m_button->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin);
        // The button may outlive this object inside its view: it holds the
        // action itself.
        m_button->addTarget(ControlEventTouchUpInside, [retry = m_retry](Control&) {
            if (*retry)
                (*retry)();
        });
        m_view->addSubview(m_button);
        m_view->setHidden(true);
    }
    m_label->setTextColor(textColor);
    if (m_view->superview() != &list) {
        m_view->removeFromSuperview();
        list.addSubview(m_view);
    }
}

void OfflineEmptyState::update(bool shown)
{
    if (m_view)
        m_view->setHidden(!shown);
}

}
