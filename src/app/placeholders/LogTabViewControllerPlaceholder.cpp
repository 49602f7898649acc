// Stands in for the Log tab until its screen exists; delete this file
// when makeLogTabViewController() is defined beside the screen.
#include "app/TabFactories.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makeLogTabViewController()
{
    return makePlaceholderScreen("Log");
}

}
