#include "platform/host/Device.h"

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <utility>

namespace hestio::platform {

Clock& Device::clock()
{
    return runLoop().clock();
}

Window* Device::keyWindow()
{
    return application().keyWindow();
}

std::shared_ptr<Image> Device::screenshot()
{
    return screenshot(nullptr);
}

std::shared_ptr<Image> Device::screenshot(std::shared_ptr<Image> last)
{
    Window* window = keyWindow();
    if (!window)
        return nullptr;
    return window->snapshot(application().screenScale(), std::move(last));
}

}
