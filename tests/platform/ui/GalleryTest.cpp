#include "UiTestSupport.h"

#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Gallery.h"
#include "platform/ui/TabBarController.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

/// Renders the key window to build/gallery-<name>.png (docs/images holds
/// copies of two of them) and returns the picture.
std::shared_ptr<Image> render(UiFixture& ui, const std::string& name)
{
    ui.settle();
    auto image = ui.window->snapshot(2.0);
    EXPECT_TRUE(image->writePng(std::string(HESTIO_BINARY_DIR) + "/gallery-" + name + ".png"));
    return image;
}

}

TEST(Gallery, ShowsEveryControlAndBothTableStyles)
{
    UiFixture ui;
    auto gallery = makeGalleryViewController();
    ui.window->setRootViewController(gallery);
    auto& tabs = static_cast<TabBarController&>(*gallery);
    ASSERT_EQ(tabs.viewControllers().size(), 5u);

    auto controls = render(ui, "controls");
    EXPECT_EQ(controls->pixelWidth(), 640);
    EXPECT_EQ(controls->pixelHeight(), 960);
    for (const char* id : { "lampSwitch", "dimmer", "#username", "#password" })
        EXPECT_NE(ui.window->findByAccessibilityIdentifier(id), nullptr) << id << "\n" << ui.window->dumpTree();
    EXPECT_NE(ui.window->findByText("Living Room"), nullptr);

    // The navigation bar's green gloss and the tab bar's black.
    Color bar = controls->pixelAt(170, 2 * (20 + 30));
    EXPECT_GT(bar.green, bar.red + 0.2);
    Color tabBar = controls->pixelAt(1, 960 - 10);
    EXPECT_LT(tabBar.red + tabBar.green + tabBar.blue, 0.5);

    tabs.setSelectedIndex(1);
    render(ui, "tables");
    EXPECT_NE(ui.window->findByText("Power Draw: 12.3W"), nullptr) << ui.window->dumpTree();
    EXPECT_NE(ui.window->findByText("Kitchen"), nullptr);

    tabs.setSelectedIndex(2);
    render(ui, "pickers");
    EXPECT_NE(ui.window->findByText("Leave At:"), nullptr);
    EXPECT_NE(ui.window->findByText("7:45 AM"), nullptr) << ui.window->dumpTree();

    tabs.setSelectedIndex(3);
    ui.window->layoutTree();
    ui.fingers.tap(ui.window->findByText("Show Alert")->convertToWindow({ 140, 20 }));
    ASSERT_NE(ui.app.topAlert(), nullptr);
    EXPECT_EQ(ui.app.topAlert()->title(), "Set Location Name");
    render(ui, "alert");
}
