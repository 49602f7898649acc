// Stands in for the Home tab until its screen exists; delete this file
// when makeHomeTabViewController() is defined beside the screen.
#include "app/TabFactories.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makeHomeTabViewController()
{
    return makePlaceholderScreen("Home");
}

}
