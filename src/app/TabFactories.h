#pragma once

#include "platform/ui/ViewController.h"

#include <memory>

namespace hestio {

// The five tab screens, in tab order. Each is defined beside its screen.
std::shared_ptr<platform::ViewController> makeAdviceTableViewController();
std::shared_ptr<platform::ViewController> makeHomeTabViewController();
std::shared_ptr<platform::ViewController> makeStatusTableViewController();
std::shared_ptr<platform::ViewController> makeScheduleTableViewController();
std::shared_ptr<platform::ViewController> makeLogTabViewController();

/// An empty screen with a title, standing in for a tab not built yet.
std::shared_ptr<platform::ViewController> makePlaceholderScreen(const std::string& title);

}
