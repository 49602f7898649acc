#pragma once

#include "platform/host/CommandLine.h"

#include <functional>
#include <memory>

namespace hestio::platform {

class Application;
class ApplicationDelegate;
class ViewController;

/// What the program puts on the device.
struct HostSetup {
    /// Made once the application exists; its didFinishLaunching may make the
    /// window itself.
    std::function<std::unique_ptr<ApplicationDelegate>(Application&)> makeDelegate;
    /// The first screen, in a window the host makes (when set).
    std::function<std::shared_ptr<ViewController>()> makeRootViewController;
};

/// Runs the app as the options say: in a window or headless, with or without
/// a script. Returns the process exit status: 0, 1 when a script step failed,
/// 2 when the app could not start (bad script, no display, unreadable file).
[[nodiscard]] int runHost(const HostOptions& options, const HostSetup& setup);

}
