#pragma once

#include "platform/ui/NavigationBar.h"

namespace hestio {

/// The green navigation bar of the tabs: it sets its tint before every draw.
class CustomUINavigationBar : public platform::NavigationBar {
public:
    static constexpr platform::Color tint = platform::Color::rgb(0.098, 0.6, 0.25);
    [[nodiscard]] static std::shared_ptr<CustomUINavigationBar> create();
    using NavigationBar::NavigationBar;
    std::string className() const override { return "CustomUINavigationBar"; }

protected:
    void draw(platform::Context& context, const platform::Rect& rect) override;
};

}
