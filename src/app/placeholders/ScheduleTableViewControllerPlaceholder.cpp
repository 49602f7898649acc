// Stands in for the Schedule tab until its screen exists; delete this file
// when makeScheduleTableViewController() is defined beside the screen.
#include "app/TabFactories.h"

namespace hestio {

std::shared_ptr<platform::ViewController> makeScheduleTableViewController()
{
    return makePlaceholderScreen("Schedule");
}

}
