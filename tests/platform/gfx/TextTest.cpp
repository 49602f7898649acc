#include "PixelTesting.h"

#include "platform/gfx/GlyphCoverage.h"

#include <string>
#include <vector>

using namespace hestio::platform;

namespace {

const std::string sentence = "The quick brown fox jumps over the lazy dog near the river bank";

TEST(Text, MeasuresTheSameTwiceAndScalesWithSize)
{
    TextStyle style { Font { "Helvetica", 17 }, TextAlignment::Left, LineBreakMode::WordWrap, 0 };
    TextMetrics first = measureText(sentence, style, 120);
    TextMetrics second = measureText(sentence, style, 120);
    EXPECT_EQ(first.size, second.size);
    EXPECT_EQ(first.lineCount, second.lineCount);
    EXPECT_GT(first.lineCount, 1);
    EXPECT_LE(first.size.width, 120);

    Size small = sizeOfText("Energy", Font { "Helvetica", 10 });
    Size large = sizeOfText("Energy", Font { "Helvetica", 20 });
    EXPECT_NEAR(large.width, 2 * small.width, 0.05);
    EXPECT_NEAR(large.height, 2 * small.height, 0.05);
}

TEST(Text, SizesAreInPoints)
{
    // Nimbus Sans at 17 points: a line is one to 1.2 em tall and "M" 0.833 em
    // wide; read as 17 points at 96 dpi both would be a third larger.
    Size line = sizeOfText("M", Font { "Helvetica", 17 });
    EXPECT_GE(line.height, 17);
    EXPECT_LE(line.height, 17 * 1.2);
    EXPECT_NEAR(line.width, 17 * 0.833, 0.5);
    TextMetrics metrics = measureText("M", TextStyle { Font { "Helvetica", 17 } });
    EXPECT_NEAR(metrics.ascent + metrics.descent, line.height, 1e-9);
    EXPECT_GT(metrics.ascent, metrics.descent);
}

TEST(Text, PhoneFamiliesMapToMetricCompatibleFaces)
{
    struct Case {
        Font font;
        const char* family;
    };
    const Case cases[] = {
        { Font { "Helvetica", 12 }, "Nimbus Sans" },
        { Font::named("Helvetica-Bold", 12), "Nimbus Sans" },
        { Font { "Helvetica Neue", 12 }, "Nimbus Sans" },
        { Font::named("HelveticaNeue-Bold", 12), "Nimbus Sans" },
        { Font::systemFont(12), "Nimbus Sans" },
        { Font::boldSystemFont(12), "Nimbus Sans" },
        { Font::italicSystemFont(12), "Nimbus Sans" },
        { Font { "DejaVu Sans", 12 }, "DejaVu Sans" },
        // The information button's "i"; the app's configuration alone names
        // the serif faces.
        { Font { "Georgia", 12, FontWeight::Bold, FontSlant::Italic }, "Noto Serif" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.font.family);
        EXPECT_EQ(resolvedFontFamily(c.font), c.family);
    }
    EXPECT_GT(sizeOfText("Watts", Font::boldSystemFont(17)).width, sizeOfText("Watts", Font::systemFont(17)).width);
}

TEST(Text, NamedFontsSplitWeightAndSlant)
{
    struct Case {
        const char* name;
        const char* family;
        FontWeight weight;
        FontSlant slant;
    };
    const Case cases[] = {
        { "Helvetica", "Helvetica", FontWeight::Regular, FontSlant::Upright },
        { "Helvetica-Bold", "Helvetica", FontWeight::Bold, FontSlant::Upright },
        { "Helvetica-Oblique", "Helvetica", FontWeight::Regular, FontSlant::Italic },
        { "Helvetica-BoldOblique", "Helvetica", FontWeight::Bold, FontSlant::Italic },
        { "HelveticaNeue-Bold", "Helvetica Neue", FontWeight::Bold, FontSlant::Upright },
        { "HelveticaNeue", "Helvetica Neue", FontWeight::Regular, FontSlant::Upright },
        { "Some-Font", "Some-Font", FontWeight::Regular, FontSlant::Upright },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Font font = Font::named(c.name, 14);
        EXPECT_EQ(font.family, c.family);
        EXPECT_EQ(font.weight, c.weight);
        EXPECT_EQ(font.slant, c.slant);
        EXPECT_EQ(font.size, 14);
    }
}

TEST(Text, LineLimitsAndTruncation)
{
    struct Case {
        LineBreakMode mode;
        int lines;
        int expectedLines;
    };
    const Case cases[] = {
        { LineBreakMode::WordWrap, 0, -1 },
        { LineBreakMode::WordWrap, 2, 2 },
        { LineBreakMode::CharacterWrap, 2, 2 },
        { LineBreakMode::Clip, 1, 1 },
        { LineBreakMode::TruncateTail, 1, 1 },
        { LineBreakMode::TruncateTail, 2, 2 },
        { LineBreakMode::TruncateHead, 1, 1 },
        { LineBreakMode::TruncateMiddle, 1, 1 },
    };
    int unlimited
        = measureText(sentence, { Font { "Helvetica", 14 }, TextAlignment::Left, LineBreakMode::WordWrap, 0 }, 100)
              .lineCount;
    ASSERT_GT(unlimited, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << ", lines " << c.lines);
        TextMetrics m = measureText(sentence, { Font { "Helvetica", 14 }, TextAlignment::Left, c.mode, c.lines }, 100);
        EXPECT_EQ(m.lineCount, c.expectedLines < 0 ? unlimited : c.expectedLines);
        EXPECT_LE(m.size.width, 100.0 + 1e-9);
    }
    TextMetrics newlines = measureText("first\nsecond\nthird", TextStyle { Font { "Helvetica", 14 } }, 100);
    EXPECT_EQ(newlines.lineCount, 1) << "one line allowed, whatever the paragraphs";
    TextMetrics unbounded
        = measureText("first\nsecond", { Font { "Helvetica", 14 }, TextAlignment::Left, LineBreakMode::WordWrap, 0 });
    EXPECT_EQ(unbounded.lineCount, 2);
}

TEST(Text, AMeasuredWidthHoldsItsTextOnOneLine)
{
    for (const char* text : { "Power Draw", "Device Status", "Add location", "i" }) {
        SCOPED_TRACE(text);
        Font font = Font::boldSystemFont(15);
        Size size = sizeOfText(text, font);
        double x = 0.1, width = (x + size.width) - x; // arithmetic a view might do
        TextStyle style { font, TextAlignment::Center, LineBreakMode::TruncateTail, 1 };
        TextMetrics metrics = measureText(text, style, width);
        EXPECT_EQ(metrics.lineCount, 1);
        EXPECT_EQ(metrics.size.width, size.width) << "not truncated";
    }
}

TEST(Text, BrokenUtf8AndOddSizesAreLaidOutSafely)
{
    EXPECT_GT(sizeOfText(std::string("ok \xff\xfe bytes"), Font { "Helvetica", 12 }).width, 0);
    EXPECT_GT(sizeOfText("size", Font { "Helvetica", -3 }).width, 0);
    EXPECT_EQ(sizeOfText("", Font { "Helvetica", 12 }).width, 0);
}

// The ink of the canvas: the bounding box of pixels with any alpha, in pixels.
Rect inkBounds(const Image& image)
{
    int x0 = image.pixelWidth(), y0 = image.pixelHeight(), x1 = -1, y1 = -1;
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            if (image.pixelAt(x, y).alpha > 0) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
    }
    return x1 < 0 ? Rect {} : Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

TEST(Text, DrawnTextStaysUprightInAFlippedSpace)
{
    TextStyle style { Font { "Helvetica", 16 }, TextAlignment::Left, LineBreakMode::TruncateTail, 1 };
    Canvas plain(80, 40, 2);
    plain.context->drawText("Tp", Rect(10, 5, 60, 20), style, Color::black());

    Canvas flipped(80, 40, 2);
    flipped.context->flipY(40);
    // The same box seen on screen: y-up, its bottom edge at 40 - 25.
    flipped.context->drawText("Tp", Rect(10, 15, 60, 20), style, Color::black());

    Rect ink = inkBounds(*plain.image);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(inkBounds(*flipped.image), ink);
    for (int y = 0; y < plain.image->pixelHeight(); ++y)
        for (int x = 0; x < plain.image->pixelWidth(); ++x)
            ASSERT_TRUE(sameColor(flipped.image->pixelAt(x, y), plain.image->pixelAt(x, y))) << x << "," << y;

    // Upright: the T's bar is at the top of the ink and the p's tail at its
    // bottom right.
    auto row = [&](int y) {
        int count = 0;
        for (int x = 0; x < plain.image->pixelWidth(); ++x)
            count += plain.image->pixelAt(x, y).alpha > 0.5;
        return count;
    };
    EXPECT_GT(row(int(ink.y()) + 1), row(int(ink.maxY()) - 2));

    Canvas point(80, 40, 2);
    point.context->flipY(40);
    point.context->drawText("Tp", Point { 10, 35 }, Font { "Helvetica", 16 }, Color::black());
    EXPECT_EQ(inkBounds(*point.image), ink) << "a point in y-up space is the box's top-left on screen";
}

TEST(Text, AlignmentPlacesTheLineInTheBox)
{
    auto inkFor = [](TextAlignment alignment) {
        Canvas canvas(200, 30);
        canvas.context->drawText("Wh", Rect(0, 0, 200, 30), { Font { "Helvetica", 17 }, alignment }, Color::black());
        return inkBounds(*canvas.image);
    };
    Rect left = inkFor(TextAlignment::Left), center = inkFor(TextAlignment::Center),
         right = inkFor(TextAlignment::Right);
    EXPECT_LT(left.minX(), 3);
    EXPECT_NEAR(center.midX(), 100, 2);
    EXPECT_GT(right.maxX(), 197);
    EXPECT_EQ(left.height(), right.height());
}

TEST(Text, OneClippedLineIsCutAtTheEdgeOfItsBox)
{
    TextStyle style { Font { "Helvetica", 17 }, TextAlignment::Left, LineBreakMode::Clip, 1 };
    Size natural = sizeOfText("Consumption today", style.font);
    ASSERT_GT(natural.width, 60);
    TextMetrics metrics = measureText("Consumption today", style, 60);
    EXPECT_EQ(metrics.size.width, 60);
    EXPECT_EQ(metrics.lineCount, 1);

    Canvas canvas(100, 30);
    canvas.context->drawText("Consumption today", Rect(10, 0, 60, 30), style, Color::black());
    Rect ink = inkBounds(*canvas.image);
    EXPECT_GT(ink.maxX(), 66) << "the second word is drawn up to the edge";
    EXPECT_LE(ink.maxX(), 70);

    style.alignment = TextAlignment::Right;
    Canvas right(100, 30);
    right.context->drawText("Wh", Rect(0, 0, 100, 30), style, Color::black());
    EXPECT_GT(inkBounds(*right.image).maxX(), 97);
}

TEST(Text, DrawingKeepsTheCurrentPath)
{
    Canvas canvas(40, 20);
    canvas.context->addRect({ 1, 2, 3, 4 });
    canvas.context->drawText("x", Point { 10, 0 }, Font { "Helvetica", 12 }, Color::black());
    EXPECT_EQ(canvas.context->pathBoundingBox(), Rect(1, 2, 3, 4));
}

TEST(Text, EveryScriptAndEmojiHasAGlyph)
{
    // A code point no font has: the count really finds boxes.
    ASSERT_EQ(missingGlyphCount("Kitchen \u0378", Font::systemFont(17)), 1);
    const char* names[] = {
        "K\u00fcche", // Latin with an umlaut
        "\u0645\u0637\u0628\u062e", // Arabic: kitchen
        "\u53a8\u623f\u7684\u51b0\u7bb1", // Chinese: the kitchen's fridge
        "\u0930\u0938\u094b\u0908 \u0918\u0930", // Devanagari: kitchen
        "\u041a\u0443\u0445\u043d\u044f", // Cyrillic
        "\U0001F50C \U0001F4A1 \U0001F525 \u2600\ufe0f", // plug, bulb, fire, sun
        "Lamp \U0001F4A1 \u0645\u0635\u0628\u0627\u062d", // mixed
    };
    for (const char* name : names)
        for (const Font& font : { Font::systemFont(17), Font::boldSystemFont(17), Font { "Helvetica", 12 } })
            EXPECT_EQ(missingGlyphCount(name, font), 0) << name << " in " << font.family;
}

// The pixels of `text` drawn black on white.
std::vector<Color> drawn(const std::string& text, const Font& font)
{
    Canvas canvas(40, 30, 2);
    canvas.context->fillRect({ 0, 0, 40, 30 }, Color::whiteColor());
    canvas.context->drawText(text, Point { 4, 2 }, font, Color::black());
    std::vector<Color> pixels;
    for (int y = 0; y < canvas.image->pixelHeight(); ++y)
        for (int x = 0; x < canvas.image->pixelWidth(); ++x)
            pixels.push_back(canvas.image->pixelAt(x, y));
    return pixels;
}

TEST(Text, FacesWithoutItalicOrBoldAreSlantedAndEmboldened)
{
    // The Chinese face has neither an italic nor a bold: the font
    // configuration slants and emboldens it, as it does for any such face.
    const std::string kitchen = "\u53a8";
    auto upright = drawn(kitchen, Font::systemFont(20));
    auto darkness = [](const std::vector<Color>& pixels) {
        double sum = 0;
        for (const Color& c : pixels)
            sum += 1 - c.red;
        return sum;
    };
    EXPECT_TRUE(drawn(kitchen, Font::italicSystemFont(20)) != upright) << "the italic is drawn upright";
    EXPECT_GT(darkness(drawn(kitchen, Font::boldSystemFont(20))), darkness(upright) * 1.1);
}

TEST(Text, EmojiAreDrawnInColour)
{
    Canvas canvas(60, 40, 2);
    canvas.context->fillRect({ 0, 0, 60, 40 }, Color::whiteColor());
    canvas.context->drawText("\U0001F4A1\U0001F525", Point { 2, 2 }, Font::systemFont(24), Color::black());
    // Black text on white has no colour of its own; the bulb and the flame do.
    int coloured = 0;
    for (int y = 0; y < canvas.image->pixelHeight(); ++y)
        for (int x = 0; x < canvas.image->pixelWidth(); ++x) {
            Color c = canvas.image->pixelAt(x, y);
            double spread = std::max({ c.red, c.green, c.blue }) - std::min({ c.red, c.green, c.blue });
            coloured += spread > 0.3;
        }
    EXPECT_GT(coloured, 200);
}

}
