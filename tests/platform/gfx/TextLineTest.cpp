// A line laid out once draws what drawing the text anew draws, and is laid
// out again exactly when what shapes it changes.

#include "platform/gfx/TextLine.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <functional>

using namespace hestio::platform;

namespace {

struct Drawing {
    double scale { 2 };
    double rotation { 0 };
    bool flipped { false };
};

std::shared_ptr<Image> drawn(const Drawing& how, const std::function<void(Context&)>& text)
{
    auto image = Image::create({ 120, 60 }, how.scale);
    auto context = Context::forImage(*image);
    if (how.flipped)
        context->flipY(60);
    context->translate(30, 20);
    context->rotate(how.rotation);
    text(*context);
    return image;
}

bool samePixels(const Image& a, const Image& b)
{
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight())
        return false;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            Color p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            if (p.red != q.red || p.green != q.green || p.blue != q.blue || p.alpha != q.alpha)
                return false;
        }
    return true;
}

}

TEST(TextLine, DrawsWhatDrawingTheTextAnewDrawsAndLaysOutOnlyWhenTheDrawingChanges)
{
    Font font = Font::systemFont(12);
    TextLine line("6:00 AM", font);
    const Color ink = Color::rgb(1, 1, 1);
    struct Step {
        const char* what;
        Drawing how;
        int layoutsAfter;
    };
    // One line drawn in turn as the steps say: it is laid out on its first
    // drawing and again whenever the rotation differs from the last
    // drawing's. Layouts are in points: another device scale needs none.
    const Step steps[] = {
        { "first drawing", {}, 1 },
        { "the same drawing again", {}, 1 },
        { "elsewhere in a flipped space", { 2, 0, true }, 1 },
        { "at another device scale", { 1, 0, false }, 1 },
        { "turned a quarter", { 1, 1.5707963267948966, false }, 2 },
        { "turned, again", { 1, 1.5707963267948966, false }, 2 },
        { "back upright", {}, 3 },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        auto kept = drawn(step.how, [&](Context& c) { c.drawText(line, { 0, 0 }, ink); });
        auto anew = drawn(step.how, [&](Context& c) { c.drawText("6:00 AM", Point { 0, 0 }, font, ink); });
        EXPECT_TRUE(samePixels(*kept, *anew));
        EXPECT_EQ(line.layoutCount(), step.layoutsAfter);
    }
}

TEST(TextLine, SharedLinesAreKeyedByTextAndFontSize)
{
    auto a = TextLine::shared("12:00", Font::systemFont(12));
    EXPECT_EQ(TextLine::shared("12:00", Font::systemFont(12)), a);
    EXPECT_NE(TextLine::shared("12:00", Font::systemFont(14)), a);
    EXPECT_NE(TextLine::shared("12:30", Font::systemFont(12)), a);
    EXPECT_EQ(a->size(), sizeOfText("12:00", Font::systemFont(12)));
    // A larger size draws and measures larger, as the text drawn anew does.
    auto larger = TextLine::shared("12:00", Font::systemFont(14));
    EXPECT_GT(larger->size().width, a->size().width);
    auto kept = drawn({}, [&](Context& c) { c.drawText(*larger, { 0, 0 }, Color::rgb(1, 1, 1)); });
    auto anew = drawn({}, [&](Context& c) {
        c.drawText("12:00", Point { 0, 0 }, Font::systemFont(14), Color::rgb(1, 1, 1));
    });
    EXPECT_TRUE(samePixels(*kept, *anew));
}

TEST(RecentLayouts, TextDrawnOrMeasuredAgainAsBeforeIsNotLaidOutAgain)
{
    const Color ink = Color::rgb(1, 1, 1);
    TextStyle style { Font::systemFont(12), TextAlignment::Center, LineBreakMode::TruncateTail, 1 };
    const std::size_t start = textLayoutsMade();
    auto laidSince = [&] { return textLayoutsMade() - start; };
    auto box = [&](Context& c, const std::string& text, double width) {
        c.drawText(text, Rect { 0, 0, width, 20 }, style, ink);
    };
    struct Step {
        const char* what;
        Drawing how;
        std::string text;
        double width;
        std::size_t laidAfter;
        bool drawsAsTheFirst { false };
    };
    // Each step draws into a fresh picture; only what shapes the text (its
    // box, its characters, the scale or rotation drawn at) lays it out again.
    const Step steps[] = {
        { "first drawing", {}, "Kept Heater", 80, 1 },
        { "the same again", {}, "Kept Heater", 80, 1, true },
        { "elsewhere in a flipped space", { 2, 0, true }, "Kept Heater", 80, 1 },
        { "narrower, so truncated", {}, "Kept Heater", 30, 2 },
        { "another text", {}, "Kept Heaters", 80, 3 },
        { "turned a quarter", { 2, 1.5707963267948966, false }, "Kept Heater", 80, 4 },
        { "first drawing again", {}, "Kept Heater", 80, 4, true },
    };
    std::shared_ptr<Image> first;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        auto image = drawn(step.how, [&](Context& c) { box(c, step.text, step.width); });
        EXPECT_EQ(laidSince(), step.laidAfter);
        if (!first)
            first = image;
        if (step.drawsAsTheFirst) {
            EXPECT_TRUE(samePixels(*image, *first));
        }
    }

    // Measuring keeps its own layouts; a larger text scale is another font.
    const std::size_t beforeMeasuring = laidSince();
    Size measured = measureText("Kept Heater", style, 80).size;
    EXPECT_EQ(measureText("Kept Heater", style, 80).size, measured);
    EXPECT_EQ(laidSince(), beforeMeasuring + 1);
    setTextScale(1.5);
    EXPECT_GT(measureText("Kept Heater", style, 200).size.width, measured.width);
    setTextScale(1);
    EXPECT_EQ(laidSince(), beforeMeasuring + 2);

    // 128 are kept: a text is still kept after 127 others, not after 128.
    auto measureNumbered = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            static_cast<void>(measureText("row " + std::to_string(i), style));
    };
    static_cast<void>(measureText("oldest", style));
    measureNumbered(0, 127);
    std::size_t laid = laidSince();
    static_cast<void>(measureText("oldest", style));
    EXPECT_EQ(laidSince(), laid) << "kept with 127 others after it";
    measureNumbered(1000, 1128);
    laid = laidSince();
    static_cast<void>(measureText("oldest", style));
    EXPECT_EQ(laidSince(), laid + 1) << "gone after 128 others";

    // Texts of up to 1,024 bytes are kept; longer ones are laid out each time.
    for (std::size_t bytes : { 1024, 1025 }) {
        const std::string page(bytes, 'x');
        laid = laidSince();
        static_cast<void>(measureText(page, style, 100));
        static_cast<void>(measureText(page, style, 100));
        EXPECT_EQ(laidSince(), laid + (bytes <= 1024 ? 1 : 2)) << bytes << " bytes";
    }
}
