// Stands in for the Suggestions tab until its screen exists; delete this file
// when makeAdviceTableViewController() is defined beside the screen.
#include "app/TabFactories.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makeAdviceTableViewController()
{
    return makePlaceholderScreen("Suggestions");
}

}
