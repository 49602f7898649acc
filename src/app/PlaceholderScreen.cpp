#include "app/TabFactories.h"

#include "platform/ui/Label.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makePlaceholderScreen(const std::string& title)
{
    auto controller = std::make_shared<platform::ViewController>();
    controller->setTitle(title);
    auto label = platform::Label::create({ 0, 150, 320, 30 });
    label->setText(title);
    label->setTextAlignment(platform::TextAlignment::Center);
    label->setTextColor(platform::Color::white(0.55));
    label->setAutoresizingMask(platform::AutoresizingFlexibleWidth);
    controller->view()->addSubview(label);
    return controller;
}

}
