// Stands in for the Devices tab until its screen exists; delete this file
// when makeStatusTableViewController() is defined beside the screen.
#include "app/TabFactories.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makeStatusTableViewController()
{
    return makePlaceholderScreen("Devices");
}

}
