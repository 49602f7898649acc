#include "devices/CustomUINavigationBar.h"

namespace hestio {

std::shared_ptr<CustomUINavigationBar> CustomUINavigationBar::create()
{
    auto bar = std::make_shared<CustomUINavigationBar>(platform::Rect { 0, 0, 320, height });
    bar->setTintColor(tint);
    return bar;
}

void CustomUINavigationBar::draw(platform::Context& context, const platform::Rect& rect)
{
    if (tintColor() != std::optional<platform::Color>(tint))
        setTintColor(tint);
    NavigationBar::draw(context, rect);
}

}
