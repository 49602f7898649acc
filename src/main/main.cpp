// hestio: the household energy client on its host.

#include "app/HestioLauncher.h"
#include "platform/host/CommandLine.h"
#include "platform/host/HostMain.h"

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/Gallery.h"

#include <iostream>

using namespace hestio::platform;

namespace {

/// Writes what happens to the app to the log, so scripts run against the
/// gallery can expect it.
class LoggingDelegate final : public ApplicationDelegate {
public:
    void didEnterBackground(Application&) override { hestio::log("The app entered the background"); }
    void didBecomeActive(Application&) override { hestio::log("The app became active"); }
    void didReceiveRemoteNotification(Application&, const std::string& payload) override
    {
        hestio::log("Received a remote notification: " + payload);
    }
};

}

int main(int argc, char** argv)
{
    auto line = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!line) {
        std::cerr << line.error().message() << "\n";
        return 2;
    }
    const HostOptions& options = *line;
    if (options.showHelp) {
        std::cout << CommandLine::usage();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "hestio " << HESTIO_VERSION << "\n";
        return 0;
    }
    HostSetup setup;
    if (options.gallery) {
        // The toolkit's gallery, for trying the controls and the host alone.
        setup.makeRootViewController = makeGalleryViewController;
        setup.makeDelegate = [](Application&) { return std::make_unique<LoggingDelegate>(); };
    } else {
        setup.makeDelegate = [&options](Application& application) {
            return hestio::makeHestioApplicationDelegate(application, options);
        };
    }
    return runHost(options, setup);
}
