#include "platform/host/ScreenFit.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {
constexpr Size phone { 320, 480 };
}

TEST(ScreenFit, ChoosesTheLargestQuarterStepThatFitsWithTheFrame)
{
    struct Case {
        Size points;
        Size usable;
        double scale;
    };
    const Case cases[] = {
        // 480 × 1.5 + 48 for the frame is exactly 768; one pixel less drops a step.
        { phone, { 1024, 768 }, 1.5 },
        { phone, { 1024, 767 }, 1.25 },
        { phone, { 2560, 1600 }, 3 },
        { phone, { 1920, 1080 }, 2 },
        { phone, { 640 + 16, 960 + 48 }, 2 },
        { phone, { 640 + 16, 960 + 47 }, 1.75 },
        { phone, { 640 + 15, 960 + 48 }, 1.75 },
        // A narrow display limits by width.
        { phone, { 500, 2000 }, 1.5 },
        // Below a half the scale is whatever fits, down to a quarter.
        { phone, { 300, 288 }, 0.5 },
        { phone, { 300, 250 }, (250.0 - 48) / 480 },
        { phone, { 50, 50 }, 0.25 },
        // Turned to landscape.
        { { 480, 320 }, { 1024, 768 }, 2 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ScreenFit::fitScale(c.points, c.usable), c.scale) << c.usable.width << "x" << c.usable.height;
}

TEST(ScreenFit, KeepsTheScreensAspectWithBarsInAResizedWindow)
{
    struct Case {
        Size window;
        double scale;
        Rect viewport;
    };
    const Case cases[] = {
        { { 640, 960 }, 2, { 0, 0, 640, 960 } },
        { { 480, 720 }, 1.5, { 0, 0, 480, 720 } },
        // Wider than the phone: bars left and right.
        { { 1000, 960 }, 2, { 180, 0, 640, 960 } },
        // Taller: bars above and below.
        { { 640, 1200 }, 2, { 0, 120, 640, 960 } },
        // An odd pixel left over goes to the far bar.
        { { 481, 480 }, 1, { 80, 0, 320, 480 } },
        { { 500, 600 }, 1.25, { 50, 0, 400, 600 } },
    };
    for (const auto& c : cases) {
        ScreenFit fit(phone, c.window);
        EXPECT_DOUBLE_EQ(fit.scale(), c.scale) << c.window.width << "x" << c.window.height;
        EXPECT_EQ(fit.viewport(), c.viewport) << c.window.width << "x" << c.window.height;
    }
}

TEST(ScreenFit, MapsWindowPlacesToPointsAtTheScreensEdges)
{
    ScreenFit fit(phone, { 1000, 960 });
    EXPECT_EQ(fit.pointAt({ 180, 0 }), (Point { 0, 0 }));
    EXPECT_EQ(fit.pointAt({ 820, 960 }), (Point { 320, 480 }));
    EXPECT_EQ(fit.pointAt({ 500, 480 }), (Point { 160, 240 }));
    EXPECT_TRUE(fit.isOnScreen({ 180, 0 }));
    EXPECT_FALSE(fit.isOnScreen({ 179, 0 })) << "the left bar";
    EXPECT_TRUE(fit.isOnScreen({ 819.5, 959.5 }));
    EXPECT_FALSE(fit.isOnScreen({ 820, 100 })) << "the right bar";
    EXPECT_EQ(fit.pointAt({ 178, 10 }), (Point { -1, 5 }));

    ScreenFit fractional(phone, { 480, 720 });
    EXPECT_EQ(fractional.pointAt({ 240, 360 }), (Point { 160, 240 }));
    EXPECT_EQ(fractional.pointAt({ 3, 6 }), (Point { 2, 4 }));
}

TEST(ScreenFit, AnEmptyWindowOrScreenMapsOneToOne)
{
    ScreenFit empty(phone, { 0, 0 });
    EXPECT_EQ(empty.scale(), 1);
    EXPECT_EQ(empty.pointAt({ 5, 6 }), (Point { 5, 6 }));
    EXPECT_FALSE(empty.isOnScreen({ 0, 0 }));
    EXPECT_EQ(ScreenFit::fitScale({ 0, 0 }, { 1024, 768 }), 1);
}

TEST(ScreenFit, PlacesTheWindowOnTheFreeAreaWithRoomForItsTitleBar)
{
    struct Case {
        Size size;
        Rect usable;
        Point at;
    };
    const Case cases[] = {
        // Exactly the frame's room left: the title bar's share above.
        { { 480, 720 }, { 0, 0, 1024, 768 }, { 272, 36 } },
        { { 960, 1440 }, { 0, 0, 2560, 1600 }, { 800, 92 } },
        // A panel at the top moves the area.
        { { 400, 600 }, { 0, 27, 1024, 741 }, { 312, 27 + 36 + 46 } },
        // Less room than a title bar: all of it above.
        { { 320, 750 }, { 0, 0, 1024, 768 }, { 352, 18 } },
        // Larger than the area (a forced scale): never off its top or left.
        { { 640, 960 }, { 0, 0, 1024, 768 }, { 192, 0 } },
        { { 2000, 960 }, { 100, 50, 1024, 768 }, { 100, 50 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenFit::placement(c.size, c.usable), c.at) << c.size.width << "x" << c.size.height;
}

TEST(ScreenFit, ARememberedSizeIsUsedOnlyWhenItFits)
{
    EXPECT_TRUE(ScreenFit::fits({ 480, 720 }, phone, { 1024, 768 }));
    EXPECT_FALSE(ScreenFit::fits({ 480, 721 }, phone, { 1024, 768 }));
    EXPECT_TRUE(ScreenFit::fits({ 1008, 500 }, phone, { 1024, 768 }));
    EXPECT_FALSE(ScreenFit::fits({ 1009, 500 }, phone, { 1024, 768 }));
    // Not smaller than a quarter of the screen in either direction.
    EXPECT_TRUE(ScreenFit::fits({ 80, 120 }, phone, { 1024, 768 }));
    EXPECT_FALSE(ScreenFit::fits({ 79, 120 }, phone, { 1024, 768 }));
    EXPECT_FALSE(ScreenFit::fits({ 80, 119 }, phone, { 1024, 768 }));
}
