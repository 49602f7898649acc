// hestio: the household energy client on its host.

#include "platform/host/CommandLine.h"
#include "platform/host/HostMain.h"

#if __has_include("platform/ui/Gallery.h")
#include "platform/ui/Gallery.h"
#define HESTIO_HAS_GALLERY 1
#else
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#endif

#include <iostream>

using namespace hestio::platform;

namespace {

std::shared_ptr<ViewController> makeFirstScreen()
{
    // The application's own screens arrive with the session; until then
    // every run shows the toolkit's gallery.
#ifdef HESTIO_HAS_GALLERY
    return makeGalleryViewController();
#else
    auto controller = std::make_shared<ViewController>();
    controller->view()->setBackgroundColor(Color::whiteColor());
    auto label = Label::create({ 20, 200, 280, 40 });
    label->setText("Hestio");
    label->setTextAlignment(TextAlignment::Center);
    controller->view()->addSubview(label);
    return controller;
#endif
}

}

int main(int argc, char** argv)
{
    auto line = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (line.error) {
        std::cerr << *line.error << "\n";
        return 2;
    }
    const HostOptions& options = line.options;
    if (options.showHelp) {
        std::cout << CommandLine::usage();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "hestio " << HESTIO_VERSION << "\n";
        return 0;
    }
    HostSetup setup;
    setup.makeRootViewController = makeFirstScreen;
    return runHost(options, setup);
}
