#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>

namespace hestio {

/// What a list shows in its place while it has nothing to show because the
/// service cannot be reached (and nothing was kept from an earlier run):
/// three centred lines that say so and how to try again, and a "Try Again"
/// button that does. Hidden until `update` says otherwise.
class OfflineEmptyState {
public:
    static constexpr const char* identifier = "offlineEmptyState";
    static constexpr const char* text = "The service cannot be reached.\nCheck the connection,\nthen tap Try Again.";
    static constexpr const char* buttonTitle = "Try Again";

    /// Puts the (hidden) state over `list`; `retry` runs on a tap of the
    /// button. Again on a new view, it moves there.
    void attach(platform::View& list, platform::Color textColor, std::function<void()> retry);
    /// Shows the state or hides it.
    void update(bool shown);

    [[nodiscard]] bool isShown() const { return m_view && !m_view->isHidden() && m_view->superview(); }
    [[nodiscard]] platform::Label* label() const { return m_label.get(); }
    [[nodiscard]] platform::Button* retryButton() const { return m_button.get(); }

private:
    std::shared_ptr<platform::View> m_view;
    std::shared_ptr<platform::Label> m_label;
    std::shared_ptr<platform::Button> m_button;
    std::shared_ptr<std::function<void()>> m_retry = std::make_shared<std::function<void()>>();
};

}
