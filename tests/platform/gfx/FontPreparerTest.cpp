#include "platform/gfx/FontPreparer.h"
#include "platform/gfx/Context.h"

#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

using hestio::platform::Font;
using hestio::platform::FontPreparer;
using hestio::test::TestRunLoop;

namespace {

struct Prepared {
    std::vector<std::string> names;
    FontPreparer::Prepare recorder()
    {
        return [this](const Font& font, double scale) {
            names.push_back(font.family + " " + std::to_string(static_cast<int>(font.size)) + " @"
                + std::to_string(static_cast<int>(scale)));
        };
    }
};

}

TEST(FontPreparer, PreparesOneFontAStepAfterTheFirstDelayAndEachFontAndScaleOnce)
{
    TestRunLoop test;
    Prepared prepared;
    FontPreparer preparer(prepared.recorder());
    Font twelve { "Helvetica", 12 };
    Font fourteen { "Helvetica", 14 };
    preparer.prepare({ twelve, fourteen, twelve }, 2);
    EXPECT_EQ(preparer.pendingCount(), 2u) << "a font asked twice is prepared once";

    test.advance(FontPreparer::firstDelay - 0.001);
    EXPECT_TRUE(prepared.names.empty()) << "nothing before the first delay";
    test.advance(0.001);
    EXPECT_EQ(prepared.names, (std::vector<std::string> { "Helvetica 12 @2" }));
    test.advance(FontPreparer::step - 0.001);
    EXPECT_EQ(prepared.names.size(), 1u) << "one font a step";
    test.advance(0.001);
    EXPECT_EQ(prepared.names, (std::vector<std::string> { "Helvetica 12 @2", "Helvetica 14 @2" }));
    EXPECT_EQ(preparer.pendingCount(), 0u);

    // A second sign-in asks again: only what was not prepared at that scale.
    preparer.prepare({ fourteen, twelve }, 2);
    preparer.prepare({ fourteen }, 3);
    EXPECT_EQ(preparer.pendingCount(), 1u);
    test.advance(FontPreparer::firstDelay);
    EXPECT_EQ(prepared.names.back(), "Helvetica 14 @3");
    test.advance(10);
    EXPECT_EQ(prepared.names.size(), 3u);
}

TEST(FontPreparer, FontsStillQueuedAreDroppedWithThePreparer)
{
    TestRunLoop test;
    Prepared prepared;
    {
        FontPreparer preparer(prepared.recorder());
        preparer.prepare({ Font { "Helvetica", 12 }, Font { "Helvetica", 14 } }, 2);
        test.advance(FontPreparer::firstDelay);
        EXPECT_EQ(prepared.names.size(), 1u);
    }
    test.advance(10);
    EXPECT_EQ(prepared.names.size(), 1u) << "no step runs after the preparer is gone";
    EXPECT_EQ(test.loop().pendingTimerCount(), 0u);
}

TEST(FontPreparer, AnyFontAndScaleArePreparedWithoutHarm)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (double size : { 0.0, -3.0, nan, infinity, 1e12, 12.0 })
        for (double scale : { 0.0, -1.0, nan, infinity, 1e12, 2.0 })
            hestio::platform::prepareFont(Font { "No Such Family", size }, scale);
    hestio::platform::prepareFont(Font::boldSystemFont(12), 2);
    // Text measures as it did: the sizes are those of a fresh layout.
    EXPECT_GT(hestio::platform::sizeOfText("12:00 AM", Font { "Helvetica", 12 }).width, 0);
}
