#include "PixelTesting.h"

#include "platform/gfx/KeptPixels.h"

#include <numbers>

using namespace hestio::platform;

namespace {

TEST(Context, GradientHalfwayShowsTheColourGradientReports)
{
    struct Case {
        Color start, end;
    };
    const Case cases[] = {
        { red, blue },
        { red, blue.withAlpha(0) },
        { Color::rgb(1, 1, 0, 0.2), Color::rgb(0, 0.5, 1, 0.9) },
        { Color::white(1), Color::black().withAlpha(0.5) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " to " << c.end);
        Canvas canvas(101, 4);
        Gradient gradient = Gradient::between(c.start, c.end);
        canvas.context->drawLinearGradient(gradient, { 0.5, 0 }, { 100.5, 0 });
        // Pixel 50 is sampled at its centre, 50.5, which is half-way.
        EXPECT_TRUE(sameColor(canvas.image->pixelAt(50, 2), gradient.colorAt(0.5), 3.0 / 255));
        EXPECT_TRUE(sameColor(canvas.image->pixelAt(0, 2), c.start));
        EXPECT_TRUE(sameColor(canvas.image->pixelAt(100, 2), c.end));
    }
}

TEST(Context, GradientWithStopsAndPaddingBeyondTheEnds)
{
    Canvas canvas(40, 4);
    Gradient gradient { { { 0, red }, { 0.5, green }, { 1, blue } } };
    canvas.context->drawLinearGradient(gradient, { 10, 0 }, { 30, 0 });
    EXPECT_TRUE(sameColor(canvas.at(2, 1), red));
    EXPECT_TRUE(sameColor(canvas.at(20, 1), green, 0.06));
    EXPECT_TRUE(sameColor(canvas.at(38, 1), blue));
}

TEST(Context, GradientFillStaysInsideThePath)
{
    Canvas canvas(20, 20);
    canvas.context->addRect({ 5, 5, 10, 10 });
    canvas.context->fillPathWithLinearGradient(Gradient::between(red, red), { 0, 0 }, { 0, 20 });
    EXPECT_TRUE(sameColor(canvas.at(10, 10), red));
    EXPECT_TRUE(sameColor(canvas.at(2, 2), Color::clear()));
}

TEST(Context, ClipLimitsEveryLaterFill)
{
    Canvas canvas(30, 30, 2);
    canvas.context->save();
    canvas.context->clipToRect({ 10, 10, 10, 10 });
    canvas.context->fillRect({ 0, 0, 30, 30 }, red);
    canvas.context->restore();
    canvas.context->fillRect({ 0, 25, 5, 5 }, blue);
    EXPECT_TRUE(sameColor(canvas.at(15, 15), red));
    EXPECT_TRUE(sameColor(canvas.at(10, 10), red));
    EXPECT_TRUE(sameColor(canvas.at(9.5, 15), Color::clear()));
    EXPECT_TRUE(sameColor(canvas.at(20, 15), Color::clear()));
    EXPECT_TRUE(sameColor(canvas.at(2, 27), blue)) << "restore lifts the clip";
}

TEST(Context, ClipToAPathWithEvenOddLeavesTheHoleOut)
{
    Canvas canvas(30, 30);
    canvas.context->addRect({ 0, 0, 30, 30 });
    canvas.context->addRect({ 10, 10, 10, 10 });
    canvas.context->clip(FillRule::EvenOdd);
    canvas.context->fillRect({ 0, 0, 30, 30 }, green);
    EXPECT_TRUE(sameColor(canvas.at(5, 5), green));
    EXPECT_TRUE(sameColor(canvas.at(15, 15), Color::clear()));
}

TEST(Context, DashedLineAlternatesAndPhaseShiftsIt)
{
    auto draw = [](double phase) {
        auto canvas = std::make_unique<Canvas>(40, 10);
        Context& c = *canvas->context;
        c.setStrokeColor(red);
        c.setLineWidth(4);
        c.setLineDash({ 4, 4 }, phase);
        c.moveTo({ 0, 5 });
        c.lineTo({ 40, 5 });
        c.stroke();
        return canvas;
    };
    auto plain = draw(0);
    for (double x : { 1.5, 9.5, 17.5, 33.5 })
        EXPECT_TRUE(sameColor(plain->at(x, 5), red)) << "dash at " << x;
    for (double x : { 5.5, 13.5, 21.5 })
        EXPECT_TRUE(sameColor(plain->at(x, 5), Color::clear())) << "gap at " << x;
    auto shifted = draw(4);
    EXPECT_TRUE(sameColor(shifted->at(1.5, 5), Color::clear()));
    EXPECT_TRUE(sameColor(shifted->at(5.5, 5), red));
}

TEST(Context, UnusableDashPatternsDrawSolidAndKeepTheContextWorking)
{
    const std::vector<std::vector<double>> patterns = { {}, { 0, 0 }, { 4, -1 }, { std::nan("") } };
    for (const auto& pattern : patterns) {
        SCOPED_TRACE(testing::Message() << "pattern of " << pattern.size());
        Canvas canvas(20, 4);
        canvas.context->setStrokeColor(blue);
        canvas.context->setLineWidth(2);
        canvas.context->setLineDash(pattern);
        canvas.context->moveTo({ 0, 2 });
        canvas.context->lineTo({ 20, 2 });
        canvas.context->stroke();
        EXPECT_FALSE(canvas.context->hasError());
        for (double x : { 1.5, 5.5, 10.5, 18.5 })
            EXPECT_TRUE(sameColor(canvas.at(x, 2), blue)) << x;
    }
}

TEST(Context, EvenOddAndNonZeroFillsDifferInTheMiddle)
{
    auto draw = [](FillRule rule) {
        auto canvas = std::make_unique<Canvas>(30, 30);
        canvas->context->setFillColor(blue);
        canvas->context->addRect({ 0, 0, 30, 30 });
        canvas->context->addRect({ 10, 10, 10, 10 }); // same direction
        canvas->context->fill(rule);
        return canvas;
    };
    auto evenOdd = draw(FillRule::EvenOdd);
    EXPECT_TRUE(sameColor(evenOdd->at(5, 5), blue));
    EXPECT_TRUE(sameColor(evenOdd->at(15, 15), Color::clear()));
    auto nonZero = draw(FillRule::NonZero);
    EXPECT_TRUE(sameColor(nonZero->at(15, 15), blue));
}

TEST(Context, StrokeWidthCapAndJoin)
{
    Canvas canvas(40, 40);
    Context& c = *canvas.context;
    c.setStrokeColor(red);
    c.setLineWidth(6);
    c.setLineCap(LineCap::Square);
    c.moveTo({ 10, 10 });
    c.lineTo({ 30, 10 });
    c.stroke();
    EXPECT_TRUE(sameColor(canvas.at(8, 10), red)) << "square cap reaches past the end";
    EXPECT_TRUE(sameColor(canvas.at(20, 12.5), red));
    EXPECT_TRUE(sameColor(canvas.at(20, 14), Color::clear()));

    c.setLineCap(LineCap::Butt);
    c.setLineJoin(LineJoin::Miter);
    c.moveTo({ 10, 30 });
    c.lineTo({ 30, 30 });
    c.lineTo({ 30, 20 });
    c.stroke();
    EXPECT_TRUE(sameColor(canvas.at(8, 30), Color::clear())) << "butt cap stops at the end";
    EXPECT_TRUE(sameColor(canvas.at(32.5, 32.5), red)) << "miter fills the corner";
}

TEST(Context, SaveAndRestoreKeepColoursAlphaAndTransform)
{
    Canvas canvas(20, 20);
    Context& c = *canvas.context;
    c.setFillColor(red);
    c.save();
    c.setFillColor(blue);
    c.setAlpha(0.5);
    c.translate(10, 0);
    c.restore();
    EXPECT_TRUE(c.currentTransform().isIdentity());
    c.addRect({ 0, 0, 5, 5 });
    c.fill();
    EXPECT_TRUE(sameColor(canvas.at(2, 2), red));
    c.restore(); // one more than saved: ignored
    c.restore();
    EXPECT_FALSE(c.hasError());
}

TEST(Context, AlphaScalesFillsAndBlendModesReplaceOrClear)
{
    Canvas canvas(30, 10);
    Context& c = *canvas.context;
    c.setAlpha(0.5);
    c.fillRect({ 0, 0, 10, 10 }, red);
    c.setAlpha(1);
    c.fillRect({ 10, 0, 20, 10 }, red);
    c.setBlendMode(BlendMode::Copy);
    c.fillRect({ 10, 0, 10, 10 }, blue.withAlpha(0.5));
    c.setBlendMode(BlendMode::Clear);
    c.fillRect({ 20, 0, 10, 10 }, blue);
    EXPECT_TRUE(sameColor(canvas.at(5, 5), red.withAlpha(0.5)));
    EXPECT_TRUE(sameColor(canvas.at(15, 5), blue.withAlpha(0.5)));
    EXPECT_TRUE(sameColor(canvas.at(25, 5), Color::clear()));
}

TEST(Context, TransformsComposeAsTheMatrixSays)
{
    Canvas canvas(40, 40);
    Context& c = *canvas.context;
    c.translate(20, 20);
    c.rotate(std::numbers::pi / 2);
    c.scaleBy(2, 1);
    AffineTransform t = c.currentTransform();
    Point p = t.apply({ 5, 0 });
    EXPECT_NEAR(p.x, 20, 1e-9);
    EXPECT_NEAR(p.y, 30, 1e-9);
    c.fillRect({ 4, -1, 2, 2 }, green);
    EXPECT_TRUE(sameColor(canvas.at(20, 30), green));

    // Degenerate transforms are refused and drawing goes on.
    c.scaleBy(0, 1);
    c.concat({ 1, 2, 2, 4, 0, 0 });
    c.translate(std::nan(""), 0);
    EXPECT_EQ(c.currentTransform(), t);
    EXPECT_FALSE(c.hasError());
}

TEST(Context, NonFiniteInputNeverStopsTheDrawing)
{
    const double nan = std::nan(""), inf = INFINITY;
    Canvas canvas(20, 20);
    Context& c = *canvas.context;
    c.scaleBy(1e-300, 1e-300);
    c.flipY(inf);
    c.rotate(nan);
    c.moveTo({ nan, 3 });
    c.lineTo({ 10, inf });
    c.setLineWidth(nan);
    c.setMiterLimit(inf);
    c.stroke();
    c.drawImage(*Image::create({ 2, 2 }), { nan, 0, 5, 5 });
    c.drawText("label", Rect(0, nan, 10, 10), TextStyle {}, Color::black());
    c.drawText("label", Point { inf, 0 }, Font {}, Color::black());
    c.setAlpha(nan);
    EXPECT_FALSE(c.hasError());
    EXPECT_TRUE(c.currentTransform().isIdentity());
    c.fillRect({ 0, 0, 20, 20 }, green);
    EXPECT_TRUE(sameColor(canvas.at(10, 10), green));

    auto nowhere = Context::wrapping(nullptr, 2);
    nowhere->fillRect({ 0, 0, 5, 5 }, red);
}

TEST(Context, FlipYPutsTheOriginAtTheBottom)
{
    Canvas canvas(20, 20);
    canvas.context->flipY(20);
    canvas.context->fillRect({ 0, 0, 5, 5 }, red);
    EXPECT_TRUE(sameColor(canvas.at(2, 17), red));
    EXPECT_TRUE(sameColor(canvas.at(2, 2), Color::clear()));
}

TEST(Context, RectCallsLeaveTheCurrentPathAlone)
{
    Canvas canvas(30, 10);
    Context& c = *canvas.context;
    c.addRect({ 0, 0, 10, 10 });
    c.fillRect({ 20, 0, 10, 10 }, blue);
    EXPECT_EQ(c.pathBoundingBox(), Rect(0, 0, 10, 10));
    c.setFillColor(red);
    c.fill();
    EXPECT_TRUE(sameColor(canvas.at(5, 5), red));
    EXPECT_TRUE(sameColor(canvas.at(25, 5), blue));
    EXPECT_EQ(c.pathBoundingBox(), Rect(0, 0, 0, 0)) << "fill consumes the path";
}

TEST(Context, ArcsEllipsesAndRoundedRects)
{
    Canvas canvas(60, 20);
    Context& c = *canvas.context;
    c.setFillColor(red);
    c.addEllipse({ 0, 0, 20, 20 });
    c.fill();
    c.addRoundedRect({ 20, 0, 20, 20 }, 6);
    c.fill();
    c.moveTo({ 50, 10 });
    c.addArc({ 50, 10 }, 10, 0, std::numbers::pi / 2);
    c.closePath();
    c.fill();
    EXPECT_TRUE(sameColor(canvas.at(10, 10), red));
    EXPECT_TRUE(sameColor(canvas.at(1, 1), Color::clear())) << "outside the ellipse";
    EXPECT_TRUE(sameColor(canvas.at(20, 0), Color::clear())) << "rounded corner";
    EXPECT_TRUE(sameColor(canvas.at(21, 10), red));
    EXPECT_TRUE(sameColor(canvas.at(53, 13), red)) << "the quarter below and right";
    EXPECT_TRUE(sameColor(canvas.at(53, 7), Color::clear()));
}

TEST(Context, WrappedContextIsHandedBackAsFound)
{
    auto image = Image::create({ 10, 10 }, 1);
    auto owner = Context::forImage(*image);
    cairo_t* cr = owner->cairoForGfxOnly();
    {
        auto wrapped = Context::wrapping(cr, 1);
        wrapped->translate(5, 5);
        wrapped->save();
        wrapped->scaleBy(3, 3);
    }
    EXPECT_TRUE(owner->currentTransform().isIdentity());
    EXPECT_FALSE(owner->hasError());
}

TEST(KeptPixels, AreOpaqueOnlyWhenEveryPixelIsToTheLastRowAndColumn)
{
    // An odd width: pixels are checked two at a time, the last alone.
    Canvas canvas(37, 5);
    Rect area = KeptPixels::deviceArea(*canvas.context, { 0, 0, 37, 5 });
    struct Case {
        const char* what;
        Rect left; ///< where the pixels are only nearly opaque, if anywhere
        bool opaque;
    };
    const Case cases[] = {
        { "every pixel opaque", {}, true },
        { "the first pixel not", { 0, 0, 1, 1 }, false },
        { "the second pixel not", { 1, 0, 1, 1 }, false },
        { "the last row's last pixel not", { 36, 4, 1, 1 }, false },
        { "the first row's last pixel not", { 36, 0, 1, 1 }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KeptPixels kept;
        {
            auto drawing = kept.redraw(*canvas.context, area);
            drawing->fillRect({ 0, 0, 37, 5 }, red);
            if (!c.left.isEmpty()) {
                drawing->setBlendMode(BlendMode::Copy);
                drawing->fillRect(c.left, red.withAlpha(254.0 / 255));
            }
        }
        EXPECT_EQ(kept.isOpaque(), c.opaque);
    }
}

}
